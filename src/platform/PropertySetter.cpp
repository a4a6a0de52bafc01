#include "platform/PropertySetter.h"

#include "platform/Collection.h"
#include "platform/Color.h"
#include "platform/Logging.h"

#include <QHash>
#include <QLoggingCategory>
#include <QMetaEnum>
#include <cstring>
#include <limits>

namespace kvx {

namespace {

Q_LOGGING_CATEGORY(lcProps, "kvx.platform")

// How far past the end of a string list a line may be addressed: the gap is filled with empty lines,
// so an absurd index would allocate millions of them.
constexpr int kMaxAddedLines = 4096;

struct IdentRegistry {
    QHash<QString, IdentMap> byName;          // lower-case property name
    QList<QPair<QString, IdentMap>> bySuffix; // lower-case suffix, from "*Color"

    IdentRegistry() {
        IdentMap colors;
        for (const auto& e : colorIdents())
            colors.append(e);
        add({"Color", "*Color"}, colors);
        add({"Charset"}, {{"ANSI_CHARSET", 0},
                          {"DEFAULT_CHARSET", 1},
                          {"SYMBOL_CHARSET", 2},
                          {"MAC_CHARSET", 77},
                          {"SHIFTJIS_CHARSET", 128},
                          {"HANGEUL_CHARSET", 129},
                          {"JOHAB_CHARSET", 130},
                          {"GB2312_CHARSET", 134},
                          {"CHINESEBIG5_CHARSET", 136},
                          {"GREEK_CHARSET", 161},
                          {"TURKISH_CHARSET", 162},
                          {"VIETNAMESE_CHARSET", 163},
                          {"HEBREW_CHARSET", 177},
                          {"ARABIC_CHARSET", 178},
                          {"BALTIC_CHARSET", 186},
                          {"RUSSIAN_CHARSET", 204},
                          {"THAI_CHARSET", 222},
                          {"EASTEUROPE_CHARSET", 238},
                          {"OEM_CHARSET", 255}});
    }
    void add(const QStringList& names, const IdentMap& map) {
        for (const QString& n : names) {
            if (n.startsWith('*'))
                bySuffix.append({n.mid(1).toLower(), map});
            else
                byName.insert(n.toLower(), map);
        }
    }
    const IdentMap* find(const QString& propertyName) const {
        const QString key = propertyName.toLower();
        if (auto it = byName.constFind(key); it != byName.constEnd()) return &it.value();
        for (const auto& [suffix, map] : bySuffix)
            if (key.endsWith(suffix)) return &map;
        return nullptr;
    }
};

// The property of a class named `name`, exactly or else in another case, or -1. The answer is remembered
// per class and name: a window asks each of its hundreds of components for the same few names (ImeName,
// Font, NumGlyphs), which most plain Qt widgets lack. Per thread, so no lock; an answer is used only for a
// class of the same name, so a meta-object address reused by another class after a library was unloaded is
// never mistaken for it.
int propertyIndex(const QMetaObject* mo, const QString& name) {
    struct Known {
        QByteArray className;
        int index;
    };
    thread_local QHash<std::pair<const QMetaObject*, QString>, Known> known;
    const auto key = std::pair{mo, name};
    if (const auto it = known.constFind(key); it != known.constEnd() && it->className == mo->className())
        return it->index;
    // One pass, the class's own properties before its bases', each level from its last property: an exact
    // name wins wherever it is, else the first caseless one.
    const QByteArray latin = name.toLatin1();
    int exact = -1;
    int caseless = -1;
    for (const QMetaObject* m = mo; m && exact < 0; m = m->superClass())
        for (int i = m->propertyCount() - 1; i >= m->propertyOffset(); --i) {
            const char* n = m->property(i).name();
            if (qstricmp(n, latin.constData()) != 0) continue;
            if (std::strcmp(n, latin.constData()) == 0) {
                exact = i;
                break;
            }
            if (caseless < 0) caseless = i;
        }
    const int found = exact >= 0 ? exact : caseless;
    known.insert(key, Known{QByteArray(mo->className()), found});
    return found;
}

IdentRegistry& registry() {
    static IdentRegistry r;
    return r;
}

bool negativeWord(const QString& text) {
    // Empty is true; otherwise false when the text occurs in the negative-word list.
    const QString up = text.toUpper();
    return !up.isEmpty() && QStringLiteral("N||FALSE||0").contains(up);
}

std::optional<bool> parseBool(const QString& text, const PropertySetter::Rules& rules) {
    if (rules.negativeWordBooleans) return !negativeWord(text);
    const QString t = text.trimmed();
    if (t.compare("true", Qt::CaseInsensitive) == 0) return true;
    if (t.compare("false", Qt::CaseInsensitive) == 0) return false;
    if (auto n = PropertySetter::parseInteger(t)) return *n != 0;
    return std::nullopt;
}

std::optional<int> enumValue(const QMetaEnum& me, const QString& text) {
    const QString t = text.trimmed();
    bool ok = false;
    int v = me.keyToValue(t.toLatin1().constData(), &ok);
    if (ok) return v;
    for (int i = 0; i < me.keyCount(); ++i)
        if (t.compare(QLatin1String(me.key(i)), Qt::CaseInsensitive) == 0) return me.value(i);
    if (auto n = PropertySetter::parseInteger(t)) return int(*n);
    return std::nullopt;
}

std::optional<int> setFromText(const QMetaEnum& me, const QString& text) {
    QString t = text.trimmed();
    if (auto n = PropertySetter::parseInteger(t)) return int(*n);
    if (t.startsWith('[') && t.endsWith(']')) t = t.mid(1, t.size() - 2);
    int result = 0;
    for (const QString& raw : t.split(',', Qt::SkipEmptyParts)) {
        auto v = enumValue(me, raw);
        if (!v) return std::nullopt;
        result |= *v;
    }
    return result;
}

QStringList splitLines(const QString& text) {
    if (text.isEmpty()) return {};
    QString t = text;
    t.replace("\r\n", "\n").replace('\r', '\n');
    if (t.endsWith('\n')) t.chop(1);
    return t.split('\n');
}

bool isIntegerType(int id) {
    switch (id) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::SChar:
    case QMetaType::UChar:
        return true;
    default:
        return false;
    }
}

bool writeProperty(QObject* obj, const QMetaProperty& p, QVariant v) {
    if (!p.isWritable()) return false;
    // "$80000005" and other values above the signed range belong in a 32-bit integer as their bit pattern.
    if (p.metaType().id() == QMetaType::Int && v.metaType().id() == QMetaType::LongLong) {
        const qint64 n = v.toLongLong();
        if (n < std::numeric_limits<int>::min() || n > qint64(std::numeric_limits<uint>::max())) return false;
        v = int(quint32(n));
    }
    return p.write(obj, v);
}

} // namespace

PropertySetter::Kind PropertySetter::kindOf(const QMetaProperty& p) {
    if (!p.isValid()) return Kind::None;
    if (p.isFlagType()) return Kind::Set;
    if (p.isEnumType()) return Kind::Enumeration;
    const QMetaType mt = p.metaType();
    const int id = mt.id();
    if (id == QMetaType::Bool) return Kind::Boolean;
    if (id == QMetaType::Char || id == QMetaType::QChar) return Kind::Char;
    if (isIntegerType(id)) return Kind::Integer;
    if (id == QMetaType::Double || id == QMetaType::Float) return Kind::Float;
    if (id == QMetaType::QString || id == QMetaType::QByteArray) return Kind::String;
    if (id == QMetaType::QStringList) return Kind::StringList;
    if (mt.flags().testFlag(QMetaType::PointerToQObject)) return Kind::Object;
    return Kind::Other;
}

QMetaProperty PropertySetter::findProperty(const QObject* obj, const QString& name) {
    if (!obj || name.isEmpty()) return {};
    const QMetaObject* mo = obj->metaObject();
    const int i = propertyIndex(mo, name);
    return i >= 0 ? mo->property(i) : QMetaProperty();
}

QObject* PropertySetter::objectProperty(const QObject* obj, const QString& name) {
    const QMetaProperty p = findProperty(obj, name);
    if (kindOf(p) != Kind::Object) return nullptr;
    return p.read(obj).value<QObject*>();
}

QObject* PropertySetter::indexedItem(QObject* obj, const QString& name, int index) {
    if (!obj || index < 0) return nullptr;
    if (auto* c = qobject_cast<TCollection*>(obj)) return c->Item(index);
    if (auto* c = qobject_cast<TCollection*>(objectProperty(obj, name))) return c->Item(index);
    const int m = obj->metaObject()->indexOfMethod("indexedItem(QString,int)");
    if (m < 0) return nullptr;
    QObject* result = nullptr;
    obj->metaObject()->method(m).invoke(obj, Qt::DirectConnection, Q_RETURN_ARG(QObject*, result),
                                        Q_ARG(QString, name), Q_ARG(int, index));
    return result;
}

QPair<QString, int> PropertySetter::splitIndex(const QString& part) {
    const int us = part.lastIndexOf('_');
    if (us <= 0 || us == part.size() - 1) return {part, -1};
    bool ok = false;
    const QStringView digits = QStringView(part).mid(us + 1);
    for (QChar c : digits)
        if (!c.isDigit() || c.unicode() > 127) return {part, -1};
    const int n = digits.toInt(&ok);
    return ok ? QPair<QString, int>{part.left(us), n} : QPair<QString, int>{part, -1};
}

std::optional<qint64> PropertySetter::parseInteger(const QString& text) {
    QString t = text.trimmed();
    if (t.isEmpty()) return std::nullopt;
    bool neg = false;
    if (t.startsWith('-') || t.startsWith('+')) {
        neg = t.startsWith('-');
        t = t.mid(1);
    }
    bool ok = false;
    qint64 v = 0;
    if (t.startsWith('$'))
        v = t.mid(1).toLongLong(&ok, 16);
    else if (t.startsWith("0x", Qt::CaseInsensitive))
        v = t.mid(2).toLongLong(&ok, 16);
    else if (!t.isEmpty() && t[0].isDigit())
        v = t.toLongLong(&ok, 10);
    if (!ok) return std::nullopt;
    return neg ? -v : v;
}

PropertySetter::Target PropertySetter::resolve(QObject* root, const QString& path) {
    if (!root) return {};
    QStringList parts = path.split('.');
    for (QString& p : parts) {
        p = p.trimmed();
        if (p.isEmpty()) return {};
    }
    QObject* obj = root;
    for (int i = 0; i + 1 < parts.size(); ++i) {
        const auto [name, index] = splitIndex(parts[i]);
        QObject* next = nullptr;
        if (index >= 0) {
            if (name.compare("Items", Qt::CaseInsensitive) == 0 ||
                name.compare("Columns", Qt::CaseInsensitive) == 0)
                next = indexedItem(obj, name, index);
        } else {
            next = objectProperty(obj, name);
        }
        if (!next) return {};
        obj = next;
    }
    const auto [name, index] = splitIndex(parts.last());
    if (index >= 0) {
        const QMetaProperty list = findProperty(obj, name);
        if (kindOf(list) == Kind::StringList) return {obj, list, index};
    }
    const QMetaProperty p = findProperty(obj, parts.last());
    if (!p.isValid()) return {};
    return {obj, p, -1};
}

PropertySetter::Kind PropertySetter::kind(QObject* root, const QString& path) {
    const Target t = resolve(root, path);
    if (!t.isValid()) return Kind::None;
    return t.line >= 0 ? Kind::String : kindOf(t.property);
}

bool PropertySetter::set(QObject* root, const QString& path, const QString& text, const Rules& rules) {
    try {
        const Target t = resolve(root, path);
        if (!t.isValid()) return false;
        const QMetaProperty& p = t.property;
        if (t.line >= 0) {
            QStringList lines = p.read(t.object).toStringList();
            if (t.line >= lines.size() + kMaxAddedLines) {
                qCWarning(lcProps) << "line" << t.line << "of" << path << "is far beyond the" << lines.size()
                                   << "lines: refused";
                return false;
            }
            while (lines.size() <= t.line)
                lines.append(QString());
            lines[t.line] = text;
            return writeProperty(t.object, p, lines);
        }
        QVariant v;
        switch (kindOf(p)) {
        case Kind::Integer: {
            std::optional<qint64> n;
            if (rules.identMaps)
                if (auto id = identToInt(QString::fromLatin1(p.name()), text)) n = *id;
            if (!n) n = parseInteger(text);
            if (!n) return false;
            v = *n;
            break;
        }
        case Kind::Float: {
            bool ok = false;
            const double d = text.trimmed().toDouble(&ok);
            if (!ok || rules.simpleKindsOnly) return false;
            v = d;
            break;
        }
        case Kind::Char:
            if (p.metaType().id() == QMetaType::QChar)
                v = QVariant::fromValue(text.isEmpty() ? QChar() : text.at(0));
            else
                v = QVariant::fromValue(char(text.isEmpty() ? 0 : text.at(0).toLatin1()));
            break;
        case Kind::String:
            v = p.metaType().id() == QMetaType::QByteArray ? QVariant(text.toUtf8()) : QVariant(text);
            break;
        case Kind::Boolean: {
            const auto b = parseBool(text, rules);
            if (!b) return false;
            v = *b;
            break;
        }
        case Kind::Enumeration: {
            if (rules.enumsAsBoolean) {
                v = negativeWord(text) ? 0 : 1;
                break;
            }
            const auto e = enumValue(p.enumerator(), text);
            if (!e) return false;
            v = *e;
            break;
        }
        case Kind::Set: {
            if (rules.simpleKindsOnly) return false;
            const auto s = setFromText(p.enumerator(), text);
            if (!s) return false;
            v = *s;
            break;
        }
        case Kind::StringList:
            if (rules.simpleKindsOnly) return false;
            v = splitLines(text);
            break;
        case Kind::Other: {
            if (rules.simpleKindsOnly) return false;
            v = text;
            if (!v.convert(p.metaType())) return false;
            break;
        }
        case Kind::Object:
        case Kind::None:
            return false;
        }
        return writeProperty(t.object, p, v);
    } catch (const std::exception& e) {
        qCDebug(lcPlatform) << "property" << path << "not set from" << text << ":" << e.what();
        return false;
    }
}

bool PropertySetter::set(QObject* root, const QString& path, const QString& text) {
    return set(root, path, text, Rules{});
}

bool PropertySetter::setValue(QObject* root, const QString& path, const QVariant& value) {
    const Target t = resolve(root, path);
    if (!t.isValid()) return false;
    if (t.line >= 0) {
        QStringList lines = t.property.read(t.object).toStringList();
        while (lines.size() <= t.line)
            lines.append(QString());
        lines[t.line] = value.toString();
        return writeProperty(t.object, t.property, lines);
    }
    return writeProperty(t.object, t.property, value);
}

QVariant PropertySetter::value(QObject* root, const QString& path) {
    const Target t = resolve(root, path);
    if (!t.isValid()) return {};
    const QVariant v = t.property.read(t.object);
    if (t.line >= 0) return v.toStringList().value(t.line);
    return v;
}

std::optional<QString> PropertySetter::get(QObject* root, const QString& path) {
    const Target t = resolve(root, path);
    if (!t.isValid()) return std::nullopt;
    const QMetaProperty& p = t.property;
    const QVariant v = p.read(t.object);
    if (t.line >= 0) return v.toStringList().value(t.line);
    switch (kindOf(p)) {
    case Kind::Integer:
        return QString::number(v.toLongLong());
    case Kind::Float:
        return QString::number(v.toDouble(), 'g', 15);
    case Kind::Boolean:
        return v.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    case Kind::Enumeration: {
        const char* key = p.enumerator().valueToKey(v.toInt());
        return key ? QString::fromLatin1(key) : QString::number(v.toInt());
    }
    case Kind::Set: {
        QString keys = QString::fromLatin1(p.enumerator().valueToKeys(v.toInt()));
        keys.replace('|', ',');
        return '[' + keys + ']';
    }
    case Kind::StringList:
        return v.toStringList().join('\n');
    case Kind::Object: {
        const QObject* o = v.value<QObject*>();
        return o ? o->objectName() : QString();
    }
    case Kind::Char:
        return p.metaType().id() == QMetaType::QChar ? QString(v.value<QChar>())
                                                     : QString(QChar::fromLatin1(v.value<char>()));
    default:
        return v.toString();
    }
}

void PropertySetter::registerIdentMap(const QStringList& propertyNames, const IdentMap& map) {
    registry().add(propertyNames, map);
}

std::optional<int> PropertySetter::identToInt(const QString& propertyName, const QString& ident) {
    const IdentMap* map = registry().find(propertyName);
    if (!map) return std::nullopt;
    const QString t = ident.trimmed();
    for (const auto& [name, value] : *map)
        if (name.compare(t, Qt::CaseInsensitive) == 0) return value;
    return std::nullopt;
}

std::optional<QString> PropertySetter::intToIdent(const QString& propertyName, int value) {
    const IdentMap* map = registry().find(propertyName);
    if (!map) return std::nullopt;
    for (const auto& [name, v] : *map)
        if (v == value) return name;
    return std::nullopt;
}

} // namespace kvx
