// PropertySetter: the one way the system sets published properties by name.
//
// A published property is a Q_PROPERTY; names are matched exactly first, then without regard to case.
// A path is parts separated by "." (blanks around parts ignored). Walking from the root object, every
// part but the last selects an object-valued property (a QObject*); a part "Items_N" or "Columns_N"
// selects item N (from 0) of a collection (TCollection) - the current object itself, or its object
// property of that name - or, for other list owners, what their invokable
// `QObject* indexedItem(QString name, int index)` returns. Any other indexed part ends the walk.
// The last part names the property to set; when it carries an index ("Items_3", "Lines_0") and the
// target has a string-list property of that name, it addresses a line: the list grows with empty lines
// until the line exists (at most 4096 lines past its end; a line further out is refused and logged).
//
// Text is converted by the property's kind: integers (with the identifier maps registered for the
// property name, e.g. colour names for "Color"; "$hex" and decimal texts), floats, strings and
// characters, enumerations (identifier or number, trimmed), booleans, sets ("[fsBold,fsItalic]"),
// string lists (one item per line). Object-valued properties cannot be set from text.
#pragma once

#include <QList>
#include <QMetaProperty>
#include <QObject>
#include <QPair>
#include <QString>
#include <QStringList>
#include <optional>

namespace kvx {

using IdentMap = QList<QPair<QString, int>>;

class PropertySetter {
public:
    enum class Kind {
        None,
        Integer,
        Float,
        Char,
        String,
        Enumeration,
        Boolean,
        Set,
        StringList,
        Object,
        Other
    };

    struct Rules {
        // Booleans (and, with enumsAsBoolean, every enumeration) are false when the upper-cased text
        // occurs in "N||FALSE||0" and true otherwise (an empty text is true) - the screen-settings rule.
        bool negativeWordBooleans = false;
        bool enumsAsBoolean = false;
        // Integer texts are mapped through the registered identifier maps.
        bool identMaps = true;
        // Kinds other than integer, string, character and enumeration are left alone.
        bool simpleKindsOnly = false;

        static Rules screenSettings() { return {true, true, false, true}; }
    };

    // Where a path leads: the object and the property there, and a line for indexed string lists.
    struct Target {
        QObject* object = nullptr;
        QMetaProperty property;
        int line = -1;
        bool isValid() const { return object && property.isValid(); }
    };

    static Target resolve(QObject* root, const QString& path);
    static bool exists(QObject* root, const QString& path) { return resolve(root, path).isValid(); }
    static Kind kind(QObject* root, const QString& path);
    static Kind kindOf(const QMetaProperty& p);

    // Sets the property from text; false when the path does not resolve or the text does not fit.
    static bool set(QObject* root, const QString& path, const QString& text, const Rules& rules);
    static bool set(QObject* root, const QString& path, const QString& text);
    // Sets the property from a value of any type (converted by Qt's rules when the types differ).
    static bool setValue(QObject* root, const QString& path, const QVariant& value);
    // The value as text: integers in decimal, booleans "True"/"False", enumerations and sets by their
    // identifiers, string lists one item per line, objects by name. Nothing when the path fails.
    static std::optional<QString> get(QObject* root, const QString& path);
    static QVariant value(QObject* root, const QString& path);

    // One property by name on one object (exact, then case-insensitive); invalid when missing.
    static QMetaProperty findProperty(const QObject* obj, const QString& name);
    // The object held by an object-valued property, or null.
    static QObject* objectProperty(const QObject* obj, const QString& name);
    // Item N of the list that "Name_N" addresses on obj, or null.
    static QObject* indexedItem(QObject* obj, const QString& name, int index);

    // Splits "Items_3" into ("Items", 3); the index is -1 for a plain name.
    static QPair<QString, int> splitIndex(const QString& part);
    // Decimal, "$hex" and "0xhex" integers.
    static std::optional<qint64> parseInteger(const QString& text);

    // Identifier maps for integer properties, by property name (case-insensitive). Colours ("Color",
    // "TitleColor", "FixedColor", ...) and font character sets ("Charset") are registered from the start.
    static void registerIdentMap(const QStringList& propertyNames, const IdentMap& map);
    static std::optional<int> identToInt(const QString& propertyName, const QString& ident);
    static std::optional<QString> intToIdent(const QString& propertyName, int value);
};

// The generic setter under the name the framework calls it by: sets a published property given a dotted path.
inline bool SetPropValueIncludeSub(QObject* obj, const QString& path, const QString& value) {
    return PropertySetter::set(obj, path, value);
}

} // namespace kvx
