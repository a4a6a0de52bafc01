#include "Gauge.h"

#include "platform/Font.h"

#include <QPainter>
#include <algorithm>

namespace kvx {

TGauge::TGauge(QWidget* parent) : QWidget(parent), font_(new TFont(this)) {
    font_->setFont(font());
    connect(font_, &TFont::changed, this, [this] {
        setFont(font_->font());
        update();
    });
}

void TGauge::setMinValue(int v) {
    min_ = v;
    max_ = std::max(max_, v);
    setProgress(progress_);
    update();
}

void TGauge::setMaxValue(int v) {
    max_ = v;
    min_ = std::min(min_, v);
    setProgress(progress_);
    update();
}

void TGauge::setProgress(int v) {
    v = std::clamp(v, min_, max_);
    if (v == progress_) return;
    progress_ = v;
    update();
}

int TGauge::percentDone() const {
    if (max_ == min_) return 0;
    return int((qint64(progress_) - min_) * 100 / (qint64(max_) - min_));
}

void TGauge::setForeColor(TColor c) {
    fore_ = c;
    update();
}

void TGauge::setBackColor(TColor c) {
    back_ = c;
    update();
}

void TGauge::setShowText(bool on) {
    showText_ = on;
    update();
}

void TGauge::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QRect frame = rect().adjusted(0, 0, -1, -1);
    const QRect inner = rect().adjusted(1, 1, -1, -1);
    p.fillRect(inner, toQColor(back_, palette()));
    const QColor fore = toQColor(fore_, palette());
    const qint64 span = qint64(max_) - min_;
    const int filled = span > 0 ? int(inner.width() * (qint64(progress_) - min_) / span) : 0;
    const QRect done(inner.left(), inner.top(), filled, inner.height());
    p.fillRect(done, fore);
    p.setPen(palette().color(QPalette::Mid));
    p.drawRect(frame);
    if (!showText_) return;
    // The percentage in the font colour, inverted where it lies on the filled part.
    const QString text = QStringLiteral("%1%").arg(percentDone());
    p.setFont(font_->font());
    p.setPen(toQColor(font_->Color(), palette()));
    p.drawText(inner, Qt::AlignCenter, text);
    p.setClipRect(done);
    p.setPen(toQColor(back_, palette()));
    p.drawText(inner, Qt::AlignCenter, text);
}

} // namespace kvx
