// Small components with the published properties language packages address: a combo box with an
// item list, a grid with a column collection whose titles carry captions, a status bar with a panel
// collection, an image button and a control with a font object and an input-method name.
#pragma once

#include "platform/Collection.h"
#include "platform/Font.h"

#include <QComboBox>
#include <QLabel>
#include <QPixmap>
#include <QStatusBar>
#include <QTableWidget>
#include <QToolButton>

class TTestComboBox : public QComboBox {
    Q_OBJECT
    Q_PROPERTY(QStringList Items READ Items WRITE SetItems)
    Q_PROPERTY(QString ImeName MEMBER imeName)
public:
    explicit TTestComboBox(QWidget* parent = nullptr) : QComboBox(parent) {}
    QStringList Items() const { return items_; }
    // Lines are "display\tvalue"; the list shows the display part.
    void SetItems(const QStringList& lines) {
        items_ = lines;
        clear();
        for (const QString& l : lines)
            addItem(l.section(u'\t', 0, 0));
    }
    QString imeName = QStringLiteral("Chinese (Simplified) - Microsoft Pinyin");

private:
    QStringList items_;
};

// A combo box of the data-aware kind: its selection is published as ItemIndex.
class TKvDBComboBox : public TTestComboBox {
    Q_OBJECT
    Q_PROPERTY(int ItemIndex READ currentIndex WRITE setCurrentIndex)
public:
    using TTestComboBox::TTestComboBox;
};

class TTestColumnTitle : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString Caption READ Caption WRITE setCaption)
public:
    using QObject::QObject;
    QString Caption() const { return caption_; }
    void setCaption(const QString& c) {
        caption_ = c;
        emit changed();
    }
signals:
    void changed();

private:
    QString caption_;
};

class TTestColumn : public kvx::TCollectionItem {
    Q_OBJECT
    Q_PROPERTY(TTestColumnTitle* Title READ Title)
public:
    explicit TTestColumn(kvx::TCollection* owner)
        : kvx::TCollectionItem(owner), title_(new TTestColumnTitle(this)) {
        connect(title_, &TTestColumnTitle::changed, this, [this] { notifyChanged(); });
    }
    TTestColumnTitle* Title() const { return title_; }

private:
    TTestColumnTitle* title_;
};

class TTestGrid : public QTableWidget {
    Q_OBJECT
    Q_PROPERTY(kvx::TCollection* Columns READ Columns)
public:
    explicit TTestGrid(QWidget* parent = nullptr);
    kvx::TCollection* Columns() const { return columns_; }
    void AddColumn(const QString& caption);

private:
    kvx::TCollection* columns_;
    void refresh();
};

class TTestPanel : public kvx::TCollectionItem {
    Q_OBJECT
    Q_PROPERTY(QString Text READ Text WRITE SetText)
public:
    using kvx::TCollectionItem::TCollectionItem;
    QString Text() const { return text_; }
    void SetText(const QString& t) {
        text_ = t;
        notifyChanged();
    }

private:
    QString text_;
};

class TTestStatusBar : public QStatusBar {
    Q_OBJECT
    Q_PROPERTY(kvx::TCollection* Panels READ Panels)
public:
    explicit TTestStatusBar(QWidget* parent = nullptr);
    kvx::TCollection* Panels() const { return panels_; }
    void AddPanel(const QString& text, int width);
    QString PanelText(int i) const;

private:
    kvx::TCollection* panels_;
    QList<QLabel*> labels_;
    void refresh();
};

// A button holding its image(s) side by side: normal, then disabled.
class TTestGlyphButton : public QToolButton {
    Q_OBJECT
    Q_PROPERTY(QPixmap Glyph READ Glyph WRITE SetGlyph)
    Q_PROPERTY(int NumGlyphs READ NumGlyphs WRITE SetNumGlyphs)
public:
    using QToolButton::QToolButton;
    QPixmap Glyph() const { return glyph_; }
    void SetGlyph(const QPixmap& p);
    int NumGlyphs() const { return numGlyphs_; }
    void SetNumGlyphs(int n);

protected:
    void changeEvent(QEvent* e) override;

private:
    QPixmap glyph_;
    int numGlyphs_ = 1;
    void refresh();
};

// A control with a font object, as the controls library publishes it.
class TTestFontLabel : public QLabel {
    Q_OBJECT
    Q_PROPERTY(kvx::TFont* Font READ Font)
    Q_PROPERTY(QString Caption READ text WRITE setText)
public:
    explicit TTestFontLabel(const QString& text, QWidget* parent = nullptr);
    kvx::TFont* Font() const { return font_; }

private:
    kvx::TFont* font_;
};
