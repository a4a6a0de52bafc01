#include "SampleWidgets.h"

#include <QBitmap>
#include <QEvent>
#include <QHeaderView>

TTestGrid::TTestGrid(QWidget* parent)
    : QTableWidget(parent),
      columns_(new kvx::TCollection([](kvx::TCollection* c) { return new TTestColumn(c); }, this)) {
    connect(columns_, &kvx::TCollection::changed, this, &TTestGrid::refresh);
    connect(columns_, &kvx::TCollection::itemChanged, this, &TTestGrid::refresh);
    verticalHeader()->hide();
}

void TTestGrid::AddColumn(const QString& caption) {
    auto* col = static_cast<TTestColumn*>(columns_->Add());
    col->Title()->setCaption(caption);
    refresh();
}

void TTestGrid::refresh() {
    setColumnCount(columns_->Count());
    QStringList labels;
    for (int i = 0; i < columns_->Count(); ++i)
        labels << columns_->itemAs<TTestColumn>(i)->Title()->Caption();
    setHorizontalHeaderLabels(labels);
    resizeColumnsToContents();
}

TTestStatusBar::TTestStatusBar(QWidget* parent)
    : QStatusBar(parent),
      panels_(new kvx::TCollection([](kvx::TCollection* c) { return new TTestPanel(c); }, this)) {
    connect(panels_, &kvx::TCollection::changed, this, &TTestStatusBar::refresh);
    connect(panels_, &kvx::TCollection::itemChanged, this, &TTestStatusBar::refresh);
    setSizeGripEnabled(false);
}

void TTestStatusBar::AddPanel(const QString& text, int width) {
    auto* label = new QLabel(this);
    label->setMinimumWidth(width);
    label->setFrameShape(QFrame::Panel);
    label->setFrameShadow(QFrame::Sunken);
    addWidget(label);
    labels_ << label;
    static_cast<TTestPanel*>(panels_->Add())->SetText(text);
}

QString TTestStatusBar::PanelText(int i) const {
    return panels_->itemAs<TTestPanel>(i)->Text();
}

void TTestStatusBar::refresh() {
    for (int i = 0; i < labels_.size() && i < panels_->Count(); ++i)
        labels_[i]->setText(panels_->itemAs<TTestPanel>(i)->Text());
}

void TTestGlyphButton::SetGlyph(const QPixmap& p) {
    glyph_ = p;
    refresh();
}

void TTestGlyphButton::SetNumGlyphs(int n) {
    numGlyphs_ = qMax(1, n);
    refresh();
}

void TTestGlyphButton::changeEvent(QEvent* e) {
    QToolButton::changeEvent(e);
    if (e->type() == QEvent::EnabledChange) refresh();
}

void TTestGlyphButton::refresh() {
    if (glyph_.isNull()) {
        setIcon({});
        return;
    }
    const int w = glyph_.width() / numGlyphs_;
    const int part = (!isEnabled() && numGlyphs_ > 1) ? 1 : 0;
    // The bottom-left pixel of the whole glyph is its transparent colour.
    QPixmap pix = glyph_.copy(part * w, 0, w, glyph_.height());
    const QColor key = glyph_.toImage().pixelColor(0, glyph_.height() - 1);
    if (!glyph_.hasAlphaChannel()) pix.setMask(pix.createMaskFromColor(key));
    setIcon(QIcon(pix));
    setIconSize(QSize(w, glyph_.height()));
}

TTestFontLabel::TTestFontLabel(const QString& text, QWidget* parent)
    : QLabel(text, parent), font_(new kvx::TFont(this)) {
    font_->setFont(font());
    connect(font_, &kvx::TFont::changed, this, [this] { setFont(font_->font()); });
}
