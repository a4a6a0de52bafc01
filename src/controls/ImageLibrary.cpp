#include "controls/ImageLibrary.h"

#include "platform/DialogService.h"

#include <QAbstractButton>
#include <QDir>
#include <QFileInfo>
#include <QIcon>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <functional>

namespace kvx {

namespace {

constexpr int kSize = 16;

using Draw = std::function<void(QPainter&)>;

QPen pen(const QColor& c, qreal w = 1.5) {
    return QPen(c, w, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

void arrow(QPainter& p, const QPointF& from, const QPointF& to, const QColor& c) {
    p.setPen(pen(c, 2));
    p.drawLine(from, to);
    const QLineF l(to, from);
    QLineF a = l, b = l;
    a.setLength(5);
    b.setLength(5);
    a.setAngle(l.angle() + 35);
    b.setAngle(l.angle() - 35);
    p.drawLine(a);
    p.drawLine(b);
}

void triangle(QPainter& p, bool left, qreal x, const QColor& c) {
    QPainterPath path;
    if (left) {
        path.moveTo(x + 5, 3);
        path.lineTo(x, 8);
        path.lineTo(x + 5, 13);
    } else {
        path.moveTo(x, 3);
        path.lineTo(x + 5, 8);
        path.lineTo(x, 13);
    }
    path.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawPath(path);
}

const QColor kBlue(30, 80, 170), kGreen(20, 140, 40), kRed(200, 30, 30), kDark(60, 60, 60),
    kGold(210, 160, 20);

// The built-in images, in number order (1 first).
const QList<Draw>& builtins() {
    static const QList<Draw> list = {
        // 1 lookup (magnifier)
        [](QPainter& p) {
            p.setPen(pen(kBlue, 2));
            p.drawEllipse(QRectF(2, 2, 8, 8));
            p.drawLine(QPointF(9, 9), QPointF(14, 14));
        },
        // 2 open folder
        [](QPainter& p) {
            p.setPen(pen(kDark, 1));
            p.setBrush(kGold);
            p.drawRect(QRectF(1.5, 4.5, 13, 9));
            p.drawRect(QRectF(1.5, 3.5, 5, 2));
        },
        // 3 calendar
        [](QPainter& p) {
            p.setPen(pen(kDark, 1));
            p.setBrush(Qt::white);
            p.drawRect(QRectF(1.5, 2.5, 13, 12));
            p.fillRect(QRectF(2, 3, 12, 3), kRed);
            for (int r = 0; r < 2; ++r)
                for (int c = 0; c < 3; ++c)
                    p.fillRect(QRectF(3.5 + c * 3.5, 8 + r * 3, 2, 2), kDark);
        },
        // 4 printer
        [](QPainter& p) {
            p.setPen(pen(kDark, 1));
            p.setBrush(Qt::white);
            p.drawRect(QRectF(4.5, 1.5, 7, 5));
            p.setBrush(QColor(160, 160, 160));
            p.drawRect(QRectF(1.5, 6.5, 13, 6));
            p.setBrush(Qt::white);
            p.drawRect(QRectF(4.5, 10.5, 7, 4));
        },
        // 5 calculator
        [](QPainter& p) {
            p.setPen(pen(kDark, 1));
            p.setBrush(QColor(220, 220, 220));
            p.drawRect(QRectF(2.5, 1.5, 11, 13));
            p.fillRect(QRectF(4, 3, 8, 3), kGreen);
            for (int r = 0; r < 2; ++r)
                for (int c = 0; c < 3; ++c)
                    p.fillRect(QRectF(4 + c * 3, 8 + r * 3, 2, 2), kDark);
        },
        // 6 find (binoculars)
        [](QPainter& p) {
            p.setPen(pen(kDark, 1.5));
            p.setBrush(kBlue);
            p.drawEllipse(QRectF(1.5, 7.5, 5.5, 5.5));
            p.drawEllipse(QRectF(9, 7.5, 5.5, 5.5));
            p.drawRect(QRectF(3, 3, 2.5, 5));
            p.drawRect(QRectF(10.5, 3, 2.5, 5));
        },
        // 7 left arrow
        [](QPainter& p) {
            arrow(p, {14, 8}, {2, 8}, kGreen);
        },
        // 8 right arrow
        [](QPainter& p) {
            arrow(p, {2, 8}, {14, 8}, kGreen);
        },
        // 9 up arrow
        [](QPainter& p) {
            arrow(p, {8, 14}, {8, 2}, kGreen);
        },
        // 10 OK (check mark)
        [](QPainter& p) {
            p.setPen(pen(kGreen, 2.5));
            p.drawPolyline(QPolygonF({{2, 8}, {6, 12}, {14, 3}}));
        },
        // 11 common phrases (note with lines)
        [](QPainter& p) {
            p.setPen(pen(kDark, 1));
            p.setBrush(QColor(255, 250, 205));
            p.drawRect(QRectF(2.5, 1.5, 11, 13));
            p.setPen(pen(kBlue, 1));
            for (int i = 0; i < 4; ++i)
                p.drawLine(QPointF(4.5, 4.5 + i * 2.5), QPointF(11.5, 4.5 + i * 2.5));
        },
        // 12 cancel / clear (cross)
        [](QPainter& p) {
            p.setPen(pen(kRed, 2.5));
            p.drawLine(QPointF(3, 3), QPointF(13, 13));
            p.drawLine(QPointF(13, 3), QPointF(3, 13));
        },
        // 13 add (plus)
        [](QPainter& p) {
            p.setPen(pen(kGreen, 2.5));
            p.drawLine(QPointF(8, 2), QPointF(8, 14));
            p.drawLine(QPointF(2, 8), QPointF(14, 8));
        },
        // 14 remove (minus)
        [](QPainter& p) {
            p.setPen(pen(kRed, 2.5));
            p.drawLine(QPointF(2, 8), QPointF(14, 8));
        },
        // 15 refresh (circular arrow)
        [](QPainter& p) {
            p.setPen(pen(kBlue, 2));
            p.drawArc(QRectF(2.5, 2.5, 11, 11), 90 * 16, 270 * 16);
            triangle(p, false, 8, kBlue);
        },
        // 16 save (disk)
        [](QPainter& p) {
            p.setPen(pen(kDark, 1));
            p.setBrush(kBlue);
            p.drawRect(QRectF(1.5, 1.5, 13, 13));
            p.fillRect(QRectF(4, 2, 8, 5), Qt::white);
            p.fillRect(QRectF(4, 10, 8, 4), QColor(200, 200, 200));
        },
        // 17 first
        [](QPainter& p) {
            p.fillRect(QRectF(3, 3, 2, 10), kBlue);
            triangle(p, true, 6, kBlue);
        },
        // 18 prior
        [](QPainter& p) { triangle(p, true, 5, kBlue); },
        // 19 next
        [](QPainter& p) { triangle(p, false, 6, kBlue); },
        // 20 last
        [](QPainter& p) {
            triangle(p, false, 5, kBlue);
            p.fillRect(QRectF(11, 3, 2, 10), kBlue);
        },
        // 21 remove all (double left)
        [](QPainter& p) {
            triangle(p, true, 2, kGreen);
            triangle(p, true, 8, kGreen);
        },
        // 22 add all (double right)
        [](QPainter& p) {
            triangle(p, false, 3, kGreen);
            triangle(p, false, 9, kGreen);
        },
        // 23 help (question mark drawn as strokes)
        [](QPainter& p) {
            p.setPen(pen(kBlue, 2));
            p.drawArc(QRectF(4, 1.5, 8, 7), 0, 180 * 16);
            p.drawArc(QRectF(4, 1.5, 8, 7), -90 * 16, 90 * 16);
            p.drawLine(QPointF(8, 8.5), QPointF(8, 10.5));
            p.drawPoint(QPointF(8, 13.5));
        },
        // 24 lookup pair: a normal and a disabled glyph side by side (two glyphs in one image)
        nullptr,
    };
    return list;
}

QImage drawBuiltin(int n) {
    const auto& list = builtins();
    if (n == int(list.size())) {
        // Two glyphs: the magnifier in colour, then in grey.
        QImage img(kSize * 2, kSize, QImage::Format_ARGB32_Premultiplied);
        img.fill(Qt::transparent);
        QPainter p(&img);
        p.setRenderHint(QPainter::Antialiasing);
        list[0](p);
        p.translate(kSize, 0);
        p.setPen(pen(QColor(150, 150, 150), 2));
        p.drawEllipse(QRectF(2, 2, 8, 8));
        p.drawLine(QPointF(9, 9), QPointF(14, 14));
        return img;
    }
    QImage img(kSize, kSize, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    list[n - 1](p);
    return img;
}

QString overrideDir() {
    return qEnvironmentVariable("KVX_BMP_DIR");
}

int highestFileNumber(const QString& dir) {
    int best = 0;
    if (dir.isEmpty()) return 0;
    const QStringList files = QDir(dir).entryList({"*.png"}, QDir::Files);
    for (const QString& f : files) {
        bool ok = false;
        const int n = QFileInfo(f).completeBaseName().toInt(&ok);
        if (ok && n > best) best = n;
    }
    return best;
}

} // namespace

int ImageLibrary::GetMaxBmpID() {
    return qMax(int(builtins().size()), highestFileNumber(overrideDir()));
}

bool ImageLibrary::LoadBmp(QPixmap& bmp, int n) {
    if (n <= 0 || n > GetMaxBmpID()) return false;
    const QString dir = overrideDir();
    if (!dir.isEmpty()) {
        const QString file = QDir(dir).filePath(QString::number(n) + ".png");
        if (QFileInfo::exists(file)) {
            QImage img;
            if (!img.load(file, "PNG") || img.isNull()) return false;
            bmp = QPixmap::fromImage(img);
            return true;
        }
    }
    if (n > int(builtins().size())) return false;
    bmp = QPixmap::fromImage(drawBuiltin(n));
    return true;
}

QString ImageLibrary::loadErrorText() {
    return QString::fromUtf8("读取 BMP 发生错误");
}

void ButtonGlyph::setIndex(int n) {
    index_ = n;
    button_->setText(QString::number(n));
    if (n <= 0 || n > ImageLibrary::GetMaxBmpID()) {
        glyph_ = QPixmap();
        numGlyphs_ = 1;
        refresh();
        return;
    }
    QPixmap img;
    if (!ImageLibrary::LoadBmp(img, n)) {
        MessageRequest req;
        req.type = MsgDlgType::Error;
        req.buttons = mbOK;
        req.text = ImageLibrary::loadErrorText();
        req.parent = button_->window();
        DialogService::instance().showMessage(req);
        return;
    }
    button_->setText(QString());
    glyph_ = img;
    numGlyphs_ = img.height() > 0 ? qMax(1, img.width() / img.height()) : 1;
    refresh();
}

void ButtonGlyph::setGlyph(const QPixmap& p) {
    glyph_ = p;
    refresh();
}

void ButtonGlyph::setNumGlyphs(int n) {
    numGlyphs_ = qMax(1, n);
    refresh();
}

void ButtonGlyph::refresh() {
    if (glyph_.isNull()) {
        button_->setIcon(QIcon());
        return;
    }
    // The glyphs stand side by side: normal, disabled (when there are two or more).
    const int w = glyph_.width() / numGlyphs_;
    QIcon icon;
    icon.addPixmap(glyph_.copy(0, 0, w, glyph_.height()), QIcon::Normal);
    if (numGlyphs_ >= 2) icon.addPixmap(glyph_.copy(w, 0, w, glyph_.height()), QIcon::Disabled);
    button_->setIcon(icon);
    button_->setIconSize(QSize(w, glyph_.height()));
}

} // namespace kvx
