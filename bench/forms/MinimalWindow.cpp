// The peer of the start-up benchmark: a minimal Qt widgets program that shows one window and prints
// "painted" at its first paint, then closes.
#include <QApplication>
#include <QPaintEvent>
#include <QTimer>
#include <QWidget>
#include <cstdio>

namespace {
class Window : public QWidget {
protected:
    void paintEvent(QPaintEvent* event) override {
        QWidget::paintEvent(event);
        if (painted_) return;
        painted_ = true;
        std::fputs("painted\n", stdout);
        std::fflush(stdout);
        QTimer::singleShot(0, this, &QWidget::close);
    }

private:
    bool painted_ = false;
};
} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    Window w;
    w.resize(560, 360);
    w.show();
    return app.exec();
}
