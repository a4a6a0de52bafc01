// TGauge: a horizontal progress gauge with a minimum, a maximum and a progress, filled in its fore colour
// on its back colour, with the percentage done written in the middle in its font.
// The progress always stays between minimum and maximum (a progress past the maximum shows the maximum);
// painting is our own so that the colours the windows ask for are what the user sees on every style.
#pragma once

#include "platform/Color.h"
#include "platform/Font.h"

#include <QWidget>

namespace kvx {

class TGauge : public QWidget {
    Q_OBJECT
    Q_PROPERTY(int MinValue READ MinValue WRITE setMinValue)
    Q_PROPERTY(int MaxValue READ MaxValue WRITE setMaxValue)
    Q_PROPERTY(int Progress READ Progress WRITE setProgress)
    Q_PROPERTY(int ForeColor READ ForeColor WRITE setForeColor)
    Q_PROPERTY(int BackColor READ BackColor WRITE setBackColor)
    Q_PROPERTY(bool ShowText READ ShowText WRITE setShowText)
    Q_PROPERTY(bool Visible READ isVisible WRITE setVisible)
    Q_PROPERTY(kvx::TFont* Font READ Font)
public:
    explicit TGauge(QWidget* parent = nullptr);

    int MinValue() const { return min_; }
    // A minimum above the maximum moves the maximum up with it.
    void setMinValue(int v);
    int MaxValue() const { return max_; }
    // A maximum below the minimum moves the minimum down with it.
    void setMaxValue(int v);
    int Progress() const { return progress_; }
    void setProgress(int v);
    void addProgress(int delta) { setProgress(progress_ + delta); }
    // Percentage of the range done, 0..100 (0 for an empty range).
    int percentDone() const;

    TColor ForeColor() const { return fore_; }
    void setForeColor(TColor c);
    TColor BackColor() const { return back_; }
    void setBackColor(TColor c);
    bool ShowText() const { return showText_; }
    void setShowText(bool on);
    TFont* Font() const { return font_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int min_ = 0;
    int max_ = 100;
    int progress_ = 0;
    TColor fore_ = colors::clBlack;
    TColor back_ = colors::clWhite;
    bool showText_ = true;
    TFont* font_;
};

} // namespace kvx
