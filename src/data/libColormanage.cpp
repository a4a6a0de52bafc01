#include "libColormanage.h"

#include "Log.h"
#include "controls/FDBGrid.h"
#include "platform/ClientDataSet.h"
#include "platform/Field.h"
#include "platform/PropertySetter.h"

#include <QAbstractItemView>
#include <QRegularExpression>
#include <pugixml.hpp>

namespace kvx {

namespace {

QString attr(const pugi::xml_node& n, const char* name) {
    return QString::fromUtf8(n.attribute(name).value());
}

TFont* fontOf(QObject* component) {
    if (!component) return nullptr;
    return qobject_cast<TFont*>(component->property("Font").value<QObject*>());
}

bool hasColor(const QObject* component) {
    return component && component->metaObject()->indexOfProperty("Color") >= 0;
}

// Colours compared as the user sees them: system colours resolved against the palette.
bool sameColor(TColor a, TColor b) {
    return toQColor(a).rgb() == toQColor(b).rgb();
}

QString styleText(TFont::FontStyles s) {
    QStringList parts;
    if (s & TFont::fsBold) parts << QStringLiteral("fsBold");
    if (s & TFont::fsItalic) parts << QStringLiteral("fsItalic");
    if (s & TFont::fsUnderline) parts << QStringLiteral("fsUnderline");
    if (s & TFont::fsStrikeOut) parts << QStringLiteral("fsStrikeOut");
    return QLatin1Char('[') + parts.join(QLatin1Char(',')) + QLatin1Char(']');
}

void writeOrThrow(QObject* target, const QString& path, const QVariant& value) {
    if (!PropertySetter::setValue(target, path, value))
        throw std::runtime_error(
            QStringLiteral("%1 of %2 cannot be set").arg(path, target->objectName()).toStdString());
}

void writeStyle(QObject* target, TFont::FontStyles s) {
    if (!PropertySetter::set(target, QStringLiteral("Font.Style"), styleText(s)))
        throw std::runtime_error(
            QStringLiteral("Font.Style of %1 cannot be set").arg(target->objectName()).toStdString());
}

// A colour item of a settings text: nothing when absent or "'", an error when it is no number.
std::optional<TColor> settingColor(const QString& settings, const QString& name) {
    const QString v = ColorSettingValue(settings, name);
    if (v.isEmpty()) return std::nullopt;
    const auto c = ColorSettingColor(v);
    if (!c) throw std::runtime_error(QStringLiteral("%1 is no colour: %2").arg(name, v).toStdString());
    return c;
}

bool settingFlag(const QString& settings, const QString& name) {
    return ColorSettingValue(settings, name).trimmed().compare(QLatin1String("Y"), Qt::CaseInsensitive) == 0;
}

} // namespace

EColorManageError::EColorManageError() : std::runtime_error("颜色管理xml格式错误") {}

// --- conditions ---------------------------------------------------------------------------------------

TColorCondition::TColorCondition(TCollection* owner) : TCollectionItem(owner) {}

void TColorCondition::Assign(const TColorCondition& other) {
    Value = other.Value;
    ColorX = other.ColorX;
    BkColor = other.BkColor;
    Msg = other.Msg;
    Tag = other.Tag;
}

TColorConditions::TColorConditions(QObject* parent)
    : TCollection([](TCollection* c) { return new TColorCondition(c); }, parent) {}

TColorCondition* TColorConditions::Add() {
    return static_cast<TColorCondition*>(TCollection::Add());
}

void TColorConditions::Assign(const TColorConditions& other) {
    if (&other == this) return;
    Clear();
    for (int i = 0; i < other.Count(); ++i)
        Add()->Assign(*other.Items(i));
}

// --- components ---------------------------------------------------------------------------------------

TColorComponent::TColorComponent(TCollection* owner)
    : TCollectionItem(owner), Conditions(new TColorConditions(this)), SavedFont(new TFont(this)) {}

TColorComponents::TColorComponents(QObject* ownerForm, const QString& sectionName, const QString& xml,
                                   QObject* parent)
    : TCollection([](TCollection* c) { return new TColorComponent(c); }, parent), ownerForm_(ownerForm),
      section_(sectionName) {
    pugi::xml_document doc;
    const QByteArray bytes = xml.toUtf8();
    if (!doc.load_buffer(bytes.constData(), size_t(bytes.size()), pugi::parse_default, pugi::encoding_utf8) ||
        !doc.document_element())
        throw EColorManageError();
    static const QRegularExpression name(QStringLiteral("^[A-Za-z_][A-Za-z0-9_.-]*$"));
    if (!name.match(sectionName).hasMatch()) {
        qCWarning(lcData) << "colour rules: no section can be named" << sectionName;
        return;
    }
    const QByteArray path = ("//colormanager/" + sectionName + "/component[@enable=\"Y\"]").toUtf8();
    const bool body = sectionName == QLatin1String("body");
    const auto findComponent = [this](const QString& n) -> QObject* {
        if (!ownerForm_ || n.isEmpty()) return nullptr;
        if (ownerForm_->objectName() == n) return ownerForm_;
        return ownerForm_->findChild<QObject*>(n);
    };
    for (const pugi::xpath_node& xn : doc.select_nodes(path.constData())) {
        const pugi::xml_node c = xn.node();
        TColorComponent* item = static_cast<TColorComponent*>(Add());
        item->Name = attr(c, "name");
        if (body && item->Name != QLatin1String("gdBody1")) {
            item->Component = findComponent(QStringLiteral("gdBody1"));
            item->ColumnName = item->Name;
        } else {
            item->Component = findComponent(item->Name);
        }
        for (const pugi::xml_node& cond : c.children("condition")) {
            TColorCondition* rule = item->Conditions->Add();
            rule->Value = attr(cond, "value");
            rule->ColorX = attr(cond, "colorx");
            rule->BkColor = attr(cond, "bkcolor");
            rule->Msg = attr(cond, "msg");
        }
    }
}

bool TColorComponents::IsGrid(const QObject* component) {
    return qobject_cast<const TFDBGrid*>(component) || qobject_cast<const QAbstractItemView*>(component);
}

TColorComponent* TColorComponents::FindComponentRule(const QString& componentName,
                                                     const QString& columnName) const {
    for (int i = 0; i < Count(); ++i) {
        TColorComponent* item = Items(i);
        const QString name = item->Component ? item->Component->objectName()
                                             : (item->ColumnName.isEmpty() ? item->Name : QString());
        if (name.compare(componentName, Qt::CaseInsensitive) == 0 &&
            item->ColumnName.compare(columnName, Qt::CaseInsensitive) == 0)
            return item;
    }
    return nullptr;
}

TColorComponent* TColorComponents::FindColumnRule(const QString& columnName) const {
    for (int i = 0; i < Count(); ++i)
        if (Items(i)->ColumnName.compare(columnName, Qt::CaseInsensitive) == 0) return Items(i);
    return nullptr;
}

void TColorComponents::SaveColors() {
    for (int i = 0; i < Count(); ++i) {
        TColorComponent* item = Items(i);
        QObject* c = item->Component;
        if (!c || IsGrid(c)) continue;
        if (TFont* f = fontOf(c)) item->SavedFont->Assign(*f);
        bool ok = false;
        const int colour = c->property("Color").toInt(&ok);
        item->SavedColor = ok ? colour : colors::clWhite;
        item->Saved = true;
    }
}

void TColorComponents::ResetColors() {
    for (int i = 0; i < Count(); ++i) {
        TColorComponent* item = Items(i);
        QObject* c = item->Component;
        if (!c || !item->Saved || IsGrid(c)) continue;
        try {
            if (fontOf(c)) {
                writeOrThrow(c, QStringLiteral("Font.Color"), item->SavedFont->Color());
                writeStyle(c, item->SavedFont->Style());
            }
            if (hasColor(c)) writeOrThrow(c, QStringLiteral("Color"), item->SavedColor);
        } catch (const std::exception& e) {
            qCWarning(lcData) << "colour rules: the look of" << item->Name << "is not restored:" << e.what();
        }
    }
}

void TColorComponents::ApplyRecordColors(const TClientDataSet* colorDataSet) {
    if (!colorDataSet || !colorDataSet->Active()) return;
    for (int i = 0; i < Count(); ++i) {
        TColorComponent* item = Items(i);
        QObject* c = item->Component;
        if (!c || IsGrid(c) || !hasColor(c) || !fontOf(c)) continue;
        const TField* f = colorDataSet->FindField(item->Name);
        QString settings;
        try {
            if (f && !colorDataSet->IsEmpty()) settings = f->AsString();
        } catch (const std::exception& e) {
            qCWarning(lcData) << "colour rules: settings of" << item->Name << "not read:" << e.what();
        }
        applyToControl(item, settings);
    }
}

void TColorComponents::applyToControl(TColorComponent* item, const QString& settings) {
    QObject* c = item->Component;
    TFont* font = fontOf(c);
    const auto restore = [&] {
        try {
            if (item->Saved) {
                writeOrThrow(c, QStringLiteral("Font.Color"), item->SavedFont->Color());
                writeOrThrow(c, QStringLiteral("Color"), item->SavedColor);
            }
            writeStyle(c, item->Saved ? item->SavedFont->Style() : TFont::FontStyles());
        } catch (const std::exception& e) {
            qCWarning(lcData) << "colour rules: the look of" << item->Name << "is not restored:" << e.what();
        }
    };
    // Each record starts from the saved look, so that nothing of the previous record stays.
    restore();
    if (settings.trimmed().isEmpty()) return;
    try {
        writeStyle(c, {});
        bool coloured = false;
        if (const auto bk = settingColor(settings, QStringLiteral("bkcolor"))) {
            const TColor saved = item->SavedColor;
            if (saved == colors::clWhite || saved == colors::clWindow || saved == colors::clHighlightText) {
                writeOrThrow(c, QStringLiteral("Color"), *bk);
                coloured = true;
            }
        }
        if (const auto fc = settingColor(settings, QStringLiteral("colorx"))) {
            writeOrThrow(c, QStringLiteral("Font.Color"), *fc);
            coloured = true;
        }
        if (coloured) {
            const TColor back = c->property("Color").toInt();
            if (sameColor(font->Color(), back))
                writeOrThrow(c, QStringLiteral("Font.Color"), ContrastColor(back));
        }
        TFont::FontStyles style;
        if (settingFlag(settings, QStringLiteral("bold"))) style |= TFont::fsBold;
        if (settingFlag(settings, QStringLiteral("italic"))) style |= TFont::fsItalic;
        writeStyle(c, style);
    } catch (const std::exception& e) {
        // A setting that cannot be applied leaves the control readable in its saved look.
        qCWarning(lcData) << "colour rules:" << item->Name << "not coloured:" << e.what();
        restore();
    }
}

namespace {
// A record's key as one text: the values joined by "||".
QString keyTextOf(const Variant& values) {
    QStringList parts;
    if (values.isArray() && values.dimCount() == 1)
        for (const Variant& v : values.toList())
            parts << (v.isEmptyOrNull() ? QString() : v.toString());
    else
        parts << (values.isEmptyOrNull() ? QString() : values.toString());
    return parts.join(QStringLiteral("||"));
}

QString currentKeyText(const QList<const TField*>& fields) {
    QStringList parts;
    for (const TField* f : fields)
        parts << f->AsString();
    return parts.join(QStringLiteral("||"));
}
} // namespace

void TColorComponents::rebuildIndex(TClientDataSet* colorDataSet, const QStringList& keyFields) {
    if (index_.dataSet != colorDataSet) {
        QObject::disconnect(index_.changes);
        index_.dataSet = colorDataSet;
        index_.changes =
            connect(colorDataSet, &TClientDataSet::dataEvent, this, [this](TDataEvent e, TField*) {
                if (e != TDataEvent::deDataSetScroll && e != TDataEvent::deUpdateState &&
                    e != TDataEvent::deUpdateRecord)
                    index_.dirty = true;
            });
    }
    index_.keyFields = keyFields;
    index_.count = colorDataSet->RecordCount();
    index_.dirty = false;
    index_.positions.clear();
    QList<const TField*> fields;
    for (const QString& k : keyFields)
        fields << colorDataSet->FieldByName(k);
    // The first record of a key wins, as a search from the start finds it.
    for (int pos = 0; pos < index_.count; ++pos)
        colorDataSet->withRecordAt(pos, [&] {
            const QString key = currentKeyText(fields);
            if (!index_.positions.contains(key)) index_.positions.insert(key, pos);
        });
}

QString TColorComponents::settingsOf(TClientDataSet* colorDataSet, const QStringList& keyFields,
                                     const QString& keyText, const QString& field) {
    QList<const TField*> fields;
    for (const QString& k : keyFields)
        fields << colorDataSet->FieldByName(k);
    const TField* settings = colorDataSet->FieldByName(field);
    if (index_.dirty || index_.dataSet != colorDataSet || index_.keyFields != keyFields ||
        index_.count != colorDataSet->RecordCount())
        rebuildIndex(colorDataSet, keyFields);
    for (int attempt = 0; attempt < 2; ++attempt) {
        const auto it = index_.positions.constFind(keyText);
        if (it == index_.positions.constEnd()) return {};
        QString text;
        bool same = false;
        colorDataSet->withRecordAt(*it, [&] {
            same = currentKeyText(fields) == keyText;
            if (same) text = settings->AsString();
        });
        if (same) return text;
        rebuildIndex(colorDataSet, keyFields); // a change the dataset did not report
    }
    return {};
}

Variant TColorComponents::KeyValuesAt(const TClientDataSet* dataSet, int position,
                                      const QString& keyFieldList) {
    if (!dataSet || !dataSet->Active()) return Variant::null();
    QList<const TField*> fields;
    for (const QString& k :
         QString(keyFieldList).replace(QLatin1Char(','), QLatin1Char(';')).split(QLatin1Char(';'))) {
        if (k.trimmed().isEmpty()) continue;
        const TField* f = dataSet->FindField(k.trimmed());
        if (!f) return Variant::null();
        fields << f;
    }
    if (fields.isEmpty()) return Variant::null();
    VariantList values;
    dataSet->withRecordAt(position, [&] {
        for (const TField* f : fields)
            values << f->Value();
    });
    return values.isEmpty() ? Variant::null() : Variant::fromList(values);
}

bool TColorComponents::PaintGridCell(QObject* grid, const QString& fieldName, TColor& brushColor, TFont& font,
                                     TClientDataSet* colorDataSet, const Variant& keyValues,
                                     const QString& keyFieldList) {
    if (!grid || !colorDataSet || !colorDataSet->Active()) return true;
    const QString gridName = grid->objectName();
    QStringList keys;
    for (const QString& k :
         QString(keyFieldList).replace(QLatin1Char(','), QLatin1Char(';')).split(QLatin1Char(';')))
        if (!k.trimmed().isEmpty()) keys << k.trimmed();
    const QString keyText = keyTextOf(keyValues);
    const bool rowField = colorDataSet->FindField(gridName) != nullptr;
    const bool columnRuleForField = !fieldName.isEmpty() && FindColumnRule(fieldName) != nullptr;
    bool result = true;
    for (int i = 0; i < Count(); ++i) {
        TColorComponent* item = Items(i);
        if (item->Component != grid) continue;
        try {
            const bool rowItem = rowField && item->ColumnName.isEmpty() && !columnRuleForField;
            if (!rowItem &&
                (item->ColumnName.isEmpty() || item->ColumnName.compare(fieldName, Qt::CaseInsensitive) != 0))
                continue;
            const QString colourField = rowItem ? gridName : item->ColumnName;
            if (!colorDataSet->FindField(colourField) || keys.isEmpty()) continue;
            const QString settings = settingsOf(colorDataSet, keys, keyText, colourField);
            if (settings.trimmed().isEmpty()) continue;
            if (const auto bk = settingColor(settings, QStringLiteral("bkcolor"))) brushColor = *bk;
            if (const auto fc = settingColor(settings, QStringLiteral("colorx"))) font.setColor(*fc);
            TFont::FontStyles style = font.Style();
            if (settingFlag(settings, QStringLiteral("bold"))) style |= TFont::fsBold;
            if (settingFlag(settings, QStringLiteral("italic"))) style |= TFont::fsItalic;
            font.setStyle(style);
            if (sameColor(brushColor, font.Color())) font.setColor(ContrastColor(brushColor));
        } catch (const std::exception& e) {
            qCWarning(lcData) << "colour rules: cell" << fieldName << "of" << gridName
                              << "not painted:" << e.what();
            result = false;
        }
    }
    return result;
}

bool TColorComponents::PaintGridCell(QObject* grid, const QString& fieldName, QColor& background, QFont& font,
                                     QColor& text, TClientDataSet* colorDataSet, const Variant& keyValues,
                                     const QString& keyFieldList) {
    TColor brush = fromQColor(background);
    TFont f;
    f.setFont(font);
    f.setColor(fromQColor(text));
    const bool result = PaintGridCell(grid, fieldName, brush, f, colorDataSet, keyValues, keyFieldList);
    background = toQColor(brush);
    text = toQColor(f.Color());
    font.setBold(f.font().bold());
    font.setItalic(f.font().italic());
    return result;
}

// --- settings texts -----------------------------------------------------------------------------------

QString ColorSettingValue(const QString& settings, const QString& name) {
    const QString key = name + QLatin1Char('=');
    const int at = settings.indexOf(key);
    if (at < 0) return {};
    const int from = at + key.size();
    const int end = settings.indexOf(QLatin1Char(';'), from);
    const QString value = settings.mid(from, end < 0 ? -1 : end - from);
    return value == QLatin1String("'") ? QString() : value;
}

std::optional<TColor> ColorSettingColor(const QString& value) {
    const QString t = value.trimmed();
    if (t.isEmpty()) return std::nullopt;
    bool ok = false;
    const qlonglong n = t.toLongLong(&ok);
    if (!ok || n < std::numeric_limits<int>::min() || n > 0xFFFFFFFFLL) return std::nullopt;
    return TColor(quint32(n));
}

TColor ContrastColor(TColor color) {
    const QColor c = toQColor(color);
    return tcolorRGB(255 - c.red(), 255 - c.green(), 255 - c.blue());
}

} // namespace kvx
