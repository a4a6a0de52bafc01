// libColormanage: colour rules of a window. TColorComponents is read from the colour-rule XML (root
// "colormanager", one section per grid family, "component" elements with enable="Y" holding "condition"
// elements); it stores the controls' colours and fonts (SaveColors/ResetColors), colours controls from the
// current record of the colour dataset (ApplyRecordColors) and paints grid cells (PaintGridCell). The
// conditions are evaluated by the application server (provider "pvdColor"): per record and component the
// colour dataset carries a settings text "bkcolor=..;colorx=..;bold=Y;italic=N;" that this unit only reads.
// Controls are reached through their published "Color" and "Font" properties, so any control qualifies.
#pragma once

#include "platform/Collection.h"
#include "platform/Color.h"
#include "platform/Font.h"
#include "platform/Variant.h"

#include <QFont>
#include <QHash>
#include <QPointer>
#include <QString>
#include <optional>
#include <stdexcept>

namespace kvx {

class TClientDataSet;

// Malformed colour-rule XML; what() is "颜色管理xml格式错误".
class EColorManageError : public std::runtime_error {
public:
    EColorManageError();
};

// One rule: the condition text and the colours it sets. Tag is free for the user of the rule (the
// colour query keeps its selection flag there, non-zero = selected).
class TColorCondition : public TCollectionItem {
    Q_OBJECT
public:
    explicit TColorCondition(TCollection* owner);
    QString Value;   // the condition (an SQL expression over the program's table)
    QString ColorX;  // font colour, decimal $00BBGGRR text, may be empty
    QString BkColor; // background colour, same form
    QString Msg;     // the rule's caption ("msg"), may be empty
    int Tag = 0;
    // Copies the four texts and the tag.
    void Assign(const TColorCondition& other);
};

class TColorConditions : public TCollection {
    Q_OBJECT
public:
    explicit TColorConditions(QObject* parent = nullptr);
    TColorCondition* Add();
    TColorCondition* Items(int index) const { return itemAs<TColorCondition>(index); }
    // Replaces every item by a copy of other's items (same order).
    void Assign(const TColorConditions& other);
};

// One coloured component: a control or grid of the form, or one column of the body grid.
class TColorComponent : public TCollectionItem {
    Q_OBJECT
public:
    explicit TColorComponent(TCollection* owner);
    QPointer<QObject> Component;  // none when the form has no component of that name
    TColorConditions* Conditions; // owned
    QString Name;                 // as written in the XML
    TFont* SavedFont;             // owned; the control's font before colouring
    TColor SavedColor = colors::clWhite;
    QString ColumnName; // body section: the column of gdBody1 the rules apply to
    bool Saved = false; // SaveColors has stored the control's font and colour
};

class TColorComponents : public TCollection {
    Q_OBJECT
public:
    // Reads the components of `sectionName` ("head", "body") from the XML text; components of the form
    // `ownerForm` are found by object name among its descendants. Raises EColorManageError when the text
    // is no XML document.
    TColorComponents(QObject* ownerForm, const QString& sectionName, const QString& xml,
                     QObject* parent = nullptr);

    QObject* OwnerForm() const { return ownerForm_; }
    QString SectionName() const { return section_; }
    TColorComponent* Items(int index) const { return itemAs<TColorComponent>(index); }

    // Key fields of the main table, comma-separated; and a second text the form sets (its required
    // fields).
    QString KeyFields;
    QString RequiredFields;

    // The first item whose component name (the component's object name; the item's name for an item
    // without component and column) and column name both match, without regard to case; null when none.
    TColorComponent* FindComponentRule(const QString& componentName, const QString& columnName) const;
    // The first item with that column name; null when none.
    TColorComponent* FindColumnRule(const QString& columnName) const;

    // Restores every non-grid control saved by SaveColors: font colour and style, and "Color".
    void ResetColors();
    // Stores the font and "Color" of every non-grid control ($FFFFFF when it has no colour).
    void SaveColors();

    // Paints one cell of `grid` for the field `fieldName`: the record with `keyValues` (one value or an
    // array, in the order of `keyFieldList`, comma- or semicolon-separated) is looked up in the colour
    // dataset without moving its cursor, and its settings text sets `brushColor` and `font` (colour and
    // bold/italic). False when an item failed; the other items are still handled.
    bool PaintGridCell(QObject* grid, const QString& fieldName, TColor& brushColor, TFont& font,
                       TClientDataSet* colorDataSet, const Variant& keyValues, const QString& keyFieldList);
    // The same on Qt colours and fonts, as a grid's cell-colour event hands them over.
    bool PaintGridCell(QObject* grid, const QString& fieldName, QColor& background, QFont& font, QColor& text,
                       TClientDataSet* colorDataSet, const Variant& keyValues, const QString& keyFieldList);

    // Colours every non-grid component from the current record of the colour dataset: the saved look
    // first, then the record's settings. A component whose settings cannot be applied keeps its saved look.
    void ApplyRecordColors(const TClientDataSet* colorDataSet);

    // The key values of the record at `position` of `dataSet`'s current order, in the order of
    // `keyFieldList` (comma- or semicolon-separated): what a grid's cell event hands to PaintGridCell.
    // Null when the position holds no record or a key field is missing.
    static Variant KeyValuesAt(const TClientDataSet* dataSet, int position, const QString& keyFieldList);

    // Whether an object counts as a grid (painted by cells, never coloured as a whole).
    static bool IsGrid(const QObject* component);

private:
    // Positions of the colour dataset's records by key text, so that painting a cell does not scan the
    // dataset; rebuilt after the dataset reports a change of its records, when the dataset, its key fields
    // or its record count change, or when a hit is stale.
    struct KeyIndex {
        QPointer<QObject> dataSet;
        QMetaObject::Connection changes;
        QStringList keyFields;
        int count = -1;
        bool dirty = true;
        QHash<QString, int> positions;
    };

    QPointer<QObject> ownerForm_;
    QString section_;
    KeyIndex index_;
    void applyToControl(TColorComponent* item, const QString& settings);
    // The settings text of `field` in the record with `keyText`; empty when there is none.
    QString settingsOf(TClientDataSet* colorDataSet, const QStringList& keyFields, const QString& keyText,
                       const QString& field);
    void rebuildIndex(TClientDataSet* colorDataSet, const QStringList& keyFields);
};

// --- settings texts -----------------------------------------------------------------------------------

// The value of `name` in a settings text: the text after the first "name=" up to the next ";" (to the end
// without one); a single "'" means empty. Empty when the name is absent.
QString ColorSettingValue(const QString& settings, const QString& name);
// A colour value of a settings text or rule: a decimal integer; nothing when empty or not a number.
std::optional<TColor> ColorSettingColor(const QString& value);
// The colour with each of red, green and blue replaced by 255 minus it (system colours resolved first).
TColor ContrastColor(TColor color);

} // namespace kvx
