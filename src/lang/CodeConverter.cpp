#include "CodeConverter.h"

#include "LangCommon.h"
#include "Log.h"
#include "platform/Collection.h"
#include "platform/FontSubstitution.h"
#include "platform/PropertySetter.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMetaEnum>
#include <QMetaProperty>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTextEdit>
#include <QToolTip>
#include <QTreeWidget>
#include <QWidget>

using kvx::Variant;
using kvx::lang::CodePageSettings;

namespace {

const QChar kFieldSeparator(0x03);

// Whether a descendant of the window belongs to another window or to a data module it owns: those are not
// the window's components (a data module's fields hold data, not interface texts, and writing their Text
// would change the records; owned dialogs convert themselves).
bool ownedByAnother(const QObject* component, const QObject* form) {
    for (const QObject* p = component; p && p != form; p = p->parent()) {
        // A menu is a pop-up window of its own, but its texts are the window's.
        if (const auto* w = qobject_cast<const QWidget*>(p);
            w && w->isWindow() && !qobject_cast<const QMenu*>(w))
            return true;
        if (kvx::lang::InheritsClass(p, "TDataModule") || kvx::lang::InheritsClass(p, "TdmRadical"))
            return true;
    }
    return false;
}

// Published properties only: the converter never creates a property on a component.
bool hasProperty(const QObject* o, const char* name) {
    return o->metaObject()->indexOfProperty(name) >= 0;
}

bool isWritable(const QObject* o, const char* name) {
    const int i = o->metaObject()->indexOfProperty(name);
    return i >= 0 && o->metaObject()->property(i).isWritable();
}

// Every write goes through the one property setter; a refused write is logged, the translation goes on.
void writeProperty(QObject* c, const char* name, const QVariant& value) {
    if (!kvx::PropertySetter::setValue(c, QString::fromLatin1(name), value))
        qCWarning(kvx::lcLang) << "could not set" << name << "of" << c->objectName();
}

bool holds(const QVariant& v, int typeId) {
    return v.metaType().id() == typeId;
}

// The property that holds a component's caption: "Caption", else the Qt property showing the same text.
const char* captionProperty(const QObject* c) {
    if (hasProperty(c, "Caption")) return "Caption";
    if (qobject_cast<const QGroupBox*>(c) || qobject_cast<const QMenu*>(c)) return "title";
    if (auto* w = qobject_cast<const QWidget*>(c); w && w->isWindow()) return "windowTitle";
    if (qobject_cast<const QAbstractButton*>(c) || qobject_cast<const QLabel*>(c) ||
        qobject_cast<const QAction*>(c))
        return "text";
    return nullptr;
}

const char* textProperty(const QObject* c) {
    if (hasProperty(c, "Text")) return "Text";
    const char* caption = captionProperty(c);
    if (caption && qstrcmp(caption, "text") == 0) return nullptr; // the caption conversion has it
    if (qobject_cast<const QComboBox*>(c)) return nullptr;        // follows the converted items
    return hasProperty(c, "text") ? "text" : nullptr;
}

// Whether an enumeration property's current value is the key `key`.
QByteArray enumKey(const QObject* c, const char* name) {
    const int i = c->metaObject()->indexOfProperty(name);
    if (i < 0) return {};
    const QMetaProperty p = c->metaObject()->property(i);
    if (!p.isEnumType()) return {};
    return p.enumerator().valueToKey(p.read(c).toInt());
}

bool setEnumKey(QObject* c, const char* name, const char* key) {
    const int i = c->metaObject()->indexOfProperty(name);
    if (i < 0) return false;
    const QMetaProperty p = c->metaObject()->property(i);
    bool ok = false;
    p.enumerator().keyToValue(key, &ok);
    return ok && kvx::PropertySetter::set(c, QString::fromLatin1(name), QString::fromLatin1(key));
}

// A Qt combo box, or a component whose "Style" is of the combo-box style type.
bool isComboBox(const QObject* c) {
    if (qobject_cast<const QComboBox*>(c)) return true;
    const int i = c->metaObject()->indexOfProperty("Style");
    if (i < 0) return false;
    const QMetaProperty p = c->metaObject()->property(i);
    bool ok = false;
    if (p.isEnumType()) p.enumerator().keyToValue("csDropDown", &ok);
    return ok;
}

int itemIndex(const QObject* c) {
    if (auto* combo = qobject_cast<const QComboBox*>(c)) return combo->currentIndex();
    return hasProperty(c, "ItemIndex") ? c->property("ItemIndex").toInt() : -1;
}

void setItemIndex(QObject* c, int index) {
    if (auto* combo = qobject_cast<QComboBox*>(c))
        combo->setCurrentIndex(index);
    else if (hasProperty(c, "ItemIndex"))
        writeProperty(c, "ItemIndex", index);
}

// Converts a list in one call (its lines joined), item by item when a line break inside an item
// would break the split. An item "display\tvalue" has only its display part converted: the value
// after the tab is stored data.
QStringList convertList(const QStringList& list, const std::function<QString(const QString&)>& fn) {
    QStringList shown;
    QStringList stored;
    for (const QString& item : list) {
        const qsizetype tab = item.indexOf(QLatin1Char('\t'));
        shown << (tab < 0 ? item : item.left(tab));
        stored << (tab < 0 ? QString() : item.mid(tab));
    }
    QStringList back = fn(shown.join(QLatin1Char('\n'))).split(QLatin1Char('\n'));
    if (back.size() != list.size()) {
        back.clear();
        for (const QString& s : std::as_const(shown))
            back << fn(s);
    }
    for (qsizetype i = 0; i < back.size(); ++i)
        back[i] += stored[i];
    return back;
}

// A data-bound control: its text shows a field, and writing it would edit the record.
bool isDataBound(const QObject* c) {
    return hasProperty(c, "DataField") && !c->property("DataField").toString().isEmpty();
}

} // namespace

TCodeConverter::TCodeConverter(QObject* owner, TDesignType designType)
    : TCodeConverter(kvx::readSettings(), owner, designType) {}

TCodeConverter::TCodeConverter(const kvx::Settings& settings, QObject* owner, TDesignType designType)
    : QObject(owner), designType_(designType), all_(settings) {
    applySettings();
}

TCodeConverter::TCodeConverter(const CodePageSettings& settings, QObject* owner)
    : QObject(owner), settings_(settings) {
    all_.client = all_.server = settings;
    if (settings_.uiLangMode != kvx::ConvKind::None) translator_ = std::make_unique<TTranslator>();
}

TCodeConverter::TCodeConverter(const CodePageSettings& settings, std::unique_ptr<TTranslator> translator,
                               QObject* owner)
    : QObject(owner), settings_(settings), translator_(std::move(translator)) {
    all_.client = all_.server = settings;
}

TCodeConverter::~TCodeConverter() = default;

void TCodeConverter::applySettings() {
    settings_ = all_.codePages(designType_ == dtServer);
    translator_.reset();
    if (settings_.uiLangMode != kvx::ConvKind::None) translator_ = std::make_unique<TTranslator>();
}

void TCodeConverter::setDesignType(TDesignType t) {
    if (t == designType_) return;
    designType_ = t;
    applySettings();
}

void TCodeConverter::setSettings(const kvx::Settings& settings) {
    all_ = settings;
    applySettings();
}

QString TCodeConverter::convert(int kind, const QString& text) const {
    if (kind == 1) return Big5ToGB(text);
    if (kind == 2) return GBToBig5(text);
    return text;
}

QString TCodeConverter::Big5ToGB(const QString& text) const {
    if (text.isEmpty() || !translator_) return text;
    return translator_->Big5ToGB(text);
}

QString TCodeConverter::GBToBig5(const QString& text) const {
    if (text.isEmpty() || !translator_) return text;
    return translator_->GBToBig5(text);
}

Variant TCodeConverter::StrTransCode(int kind, const Variant& value) const {
    if ((kind != 1 && kind != 2) || !translator_ || value.isEmptyOrNull()) return value;
    if (value.isString()) return Variant(convert(kind, value.toString()));
    if (!value.isArray()) return value; // numbers, dates and booleans read the same in both scripts
    Variant out = value;
    if (value.dimCount() == 1) {
        for (int i = value.lowBound(1); i <= value.highBound(1); ++i) {
            const Variant& e = value.at(i);
            if (e.isArray())
                out[i] = StrTransCode(kind, e);
            else if (e.isString())
                out[i] = Variant(convert(kind, e.toString()));
        }
    } else if (value.dimCount() == 2) {
        for (int i = value.lowBound(1); i <= value.highBound(1); ++i)
            for (int j = value.lowBound(2); j <= value.highBound(2); ++j)
                out.item(i, j) = StrTransCode(kind, value.at(i, j));
    }
    return out;
}

Variant TCodeConverter::ConvertDataString(const Variant& value) const {
    return StrTransCode(int(settings_.dataConvMode), value);
}

Variant TCodeConverter::ConvertUIString(const Variant& value) const {
    return StrTransCode(int(settings_.uiLangMode), value);
}

namespace {
int reverseKind(int kind) {
    return kind == 1 ? 2 : kind == 2 ? 1 : 0;
}
} // namespace

Variant TCodeConverter::RecoverDataString(const Variant& value) const {
    const int kind = reverseKind(int(settings_.dataConvMode));
    if (kind == 0) return value;
    try {
        return StrTransCode(kind, value);
    } catch (const std::exception& e) {
        qCWarning(kvx::lcLang) << "recovering a string failed, value kept:" << e.what();
        return value;
    }
}

Variant TCodeConverter::RecoverUIString(const Variant& value) const {
    const int kind = reverseKind(int(settings_.uiLangMode));
    if (kind == 0) return value;
    try {
        return StrTransCode(kind, value);
    } catch (const std::exception& e) {
        qCWarning(kvx::lcLang) << "recovering a string failed, value kept:" << e.what();
        return value;
    }
}

std::optional<TCodeConverter::UIFont> TCodeConverter::fontRule(int kind) {
    switch (kind) {
    case 0:
    case 1:
    case 4:
        return UIFont{QStringLiteral("SimSun"), 134};
    case 2:
    case 3:
        return UIFont{QStringLiteral("SimSun"), 136};
    default:
        return std::nullopt;
    }
}

bool TCodeConverter::SetUIFont(int kind, QFont& font) {
    const std::optional<UIFont> rule = fontRule(kind);
    if (!rule) return false;
    // The face first; the CJK font of the system draws what the face lacks.
    font.setFamilies({rule->name, kvx::fonts::cjkFallbackFamily()});
    return true;
}

void TCodeConverter::convertStringProperty(QObject* c, const char* name, int kind) const {
    if (!c || !name || !hasProperty(c, name) || !isWritable(c, name)) return;
    const QVariant v = c->property(name);
    if (!holds(v, QMetaType::QString)) return;
    const QString text = v.toString();
    if (text.isEmpty()) return;
    writeProperty(c, name, convert(kind, text));
}

void TCodeConverter::applyFontProperty(QObject* c, const char* name, int kind) const {
    if (!c || !hasProperty(c, name)) return;
    const QVariant v = c->property(name);
    if (v.metaType().flags().testFlag(QMetaType::PointerToQObject)) {
        // A font object of the controls library (read-only property): its face and character set.
        QObject* font = v.value<QObject*>();
        const std::optional<UIFont> rule = fontRule(kind);
        if (!font || !rule || !hasProperty(font, "Name")) return;
        writeProperty(font, "Name", rule->name);
        writeProperty(font, "Charset", rule->charset);
        c->setProperty("FontCharset", rule->charset);
        return;
    }
    if (!isWritable(c, name)) return;
    if (!holds(v, QMetaType::QFont)) return;
    QFont font = v.value<QFont>();
    if (!SetUIFont(kind, font)) return;
    writeProperty(c, name, font);
    // The character set is a note on the component, not a published property.
    c->setProperty("FontCharset", fontRule(kind)->charset);
}

void TCodeConverter::SetObjectCaption(QObject* c, int kind) const {
    if (c) convertStringProperty(c, captionProperty(c), kind);
}

void TCodeConverter::SetObjectHint(QObject* c, int kind) const {
    if (!c) return;
    convertStringProperty(c, hasProperty(c, "Hint") ? "Hint" : "toolTip", kind);
    convertStringProperty(c, "ButtonHint", kind);
}

void TCodeConverter::SetObjectFont(QObject* c, int kind) const {
    if (c) applyFontProperty(c, hasProperty(c, "Font") ? "Font" : "font", kind);
}

void TCodeConverter::SetObjectTitleFont(QObject* c, int kind) const {
    if (c) applyFontProperty(c, "TitleFont", kind);
}

void TCodeConverter::SetObjectItems(QObject* c, int kind) const {
    if (!c) return;
    auto fn = [this, kind](const QString& s) { return convert(kind, s); };
    auto* combo = qobject_cast<QComboBox*>(c);
    int remembered = -1;
    if (hasProperty(c, "Items") && isWritable(c, "Items")) {
        const QVariant v = c->property("Items");
        if (!holds(v, QMetaType::QStringList)) return;
        const QStringList items = v.toStringList();
        const bool indexed = isComboBox(c) && !items.isEmpty();
        if (indexed) remembered = itemIndex(c);
        writeProperty(c, "Items", convertList(items, fn));
        if (indexed && remembered >= 0) setItemIndex(c, remembered);
    } else if (combo) {
        remembered = combo->count() > 0 ? combo->currentIndex() : -1;
        QStringList items;
        for (int i = 0; i < combo->count(); ++i)
            items << combo->itemText(i);
        const QStringList converted = convertList(items, fn);
        for (int i = 0; i < combo->count(); ++i)
            combo->setItemText(i, converted[i]);
        if (remembered >= 0) combo->setCurrentIndex(remembered);
    } else if (auto* list = qobject_cast<QListWidget*>(c)) {
        QStringList items;
        for (int i = 0; i < list->count(); ++i)
            items << list->item(i)->text();
        const QStringList converted = convertList(items, fn);
        for (int i = 0; i < list->count(); ++i)
            list->item(i)->setText(converted[i]);
    }
}

void TCodeConverter::SetObjectLines(QObject* c, int kind) const {
    if (!c) return;
    auto fn = [this, kind](const QString& s) { return convert(kind, s); };
    if (hasProperty(c, "Lines") && isWritable(c, "Lines")) {
        const QVariant v = c->property("Lines");
        if (holds(v, QMetaType::QStringList))
            writeProperty(c, "Lines", convertList(v.toStringList(), fn));
        else if (holds(v, QMetaType::QString) && !v.toString().isEmpty())
            writeProperty(c, "Lines", fn(v.toString()));
    } else if (auto* plain = qobject_cast<QPlainTextEdit*>(c)) {
        if (!plain->toPlainText().isEmpty()) plain->setPlainText(fn(plain->toPlainText()));
    } else if (auto* rich = qobject_cast<QTextEdit*>(c)) {
        if (!rich->toPlainText().isEmpty()) rich->setHtml(fn(rich->toHtml()));
    }
}

void TCodeConverter::SetObjectText(QObject* c, int kind) const {
    // A bound control's text is the field's value: the data conversion shows it, the window's does not.
    if (c && !isDataBound(c)) convertStringProperty(c, textProperty(c), kind);
}

void TCodeConverter::SetObjectStyle(QObject* c, int kind) const {
    if (!c || kind == 0) return;
    const QByteArray style = enumKey(c, "Style");
    if (style.isEmpty()) return;
    const int before = itemIndex(c);
    if (style == "csDropDown")
        setEnumKey(c, "Style", "csOwnerDrawVariable");
    else if (style == "csDropDownList")
        setEnumKey(c, "Style", "csOwnerDrawFixed");
    else if (style == "lbStandard")
        setEnumKey(c, "Style", "lbOwnerDrawFixed");
    else
        return;
    if (before >= 0 && itemIndex(c) < 0) setItemIndex(c, before);
}

void TCodeConverter::SetObjectPanels(QObject* c, int kind) const {
    if (!c || !hasProperty(c, "Panels")) return;
    const QVariant v = c->property("Panels");
    if (auto* panels = qobject_cast<kvx::TCollection*>(v.value<QObject*>())) {
        // Status-bar panels: every panel's text.
        for (int i = 0; i < panels->Count(); ++i)
            convertStringProperty(panels->Item(i), "Text", kind);
        return;
    }
    if (!isWritable(c, "Panels")) return;
    if (!holds(v, QMetaType::QStringList)) return;
    QStringList panels = v.toStringList();
    for (QString& text : panels)
        text = convert(kind, text);
    writeProperty(c, "Panels", panels);
}

void TCodeConverter::SetFormCaption(QWidget* form) const {
    if (!form || settings_.sys != kvx::CodePage::Big5) return;
    const char* name = hasProperty(form, "Caption") ? "Caption" : "windowTitle";
    const QString caption = form->property(name).toString();
    writeProperty(form, name, StrTransCode(2, Variant(caption)).toString());
}

void TCodeConverter::translateByClass(QObject* c, bool deep) const {
    const int kind = int(settings_.uiLangMode);
    auto fn = [this, kind](const QString& s) { return convert(kind, s); };
    if (auto* tree = qobject_cast<QTreeWidget*>(c)) {
        // Column captions and the items with their sub-items; every node when deep.
        QTreeWidgetItem* header = tree->headerItem();
        for (int col = 0; header && col < header->columnCount(); ++col)
            header->setText(col, fn(header->text(col)));
        std::function<void(QTreeWidgetItem*, bool)> walk = [&](QTreeWidgetItem* item, bool children) {
            for (int col = 0; col < item->columnCount(); ++col)
                item->setText(col, fn(item->text(col)));
            if (children)
                for (int i = 0; i < item->childCount(); ++i)
                    walk(item->child(i), true);
        };
        for (int i = 0; i < tree->topLevelItemCount(); ++i)
            walk(tree->topLevelItem(i), deep);
    } else if (auto* bar = qobject_cast<QTabBar*>(c)) {
        const int current = bar->currentIndex();
        for (int i = 0; i < bar->count(); ++i)
            bar->setTabText(i, fn(bar->tabText(i)));
        bar->setCurrentIndex(current);
    } else if (auto* tabs = qobject_cast<QTabWidget*>(c)) {
        // Pages with a caption of their own are converted as components.
        const int current = tabs->currentIndex();
        for (int i = 0; i < tabs->count(); ++i)
            if (!hasProperty(tabs->widget(i), "Caption")) tabs->setTabText(i, fn(tabs->tabText(i)));
        tabs->setCurrentIndex(current);
    } else if (auto* combo = qobject_cast<QComboBox*>(c)) {
        if (enumKey(c, "Style") != "csSimple" && combo->count() > 0 && combo->currentIndex() < 0)
            combo->setCurrentIndex(0);
    } else if (deep) {
        // A string grid, or the unnamed grid inside a control of the library (aligned string grid).
        QTableWidget* grid = qobject_cast<QTableWidget*>(c);
        if (!grid)
            for (QTableWidget* inner : c->findChildren<QTableWidget*>(Qt::FindDirectChildrenOnly))
                if (inner->objectName().isEmpty() || inner->objectName().startsWith(QLatin1String("qt_"))) {
                    grid = inner;
                    break;
                }
        if (grid) {
            for (int r = 0; r < grid->rowCount(); ++r)
                for (int col = 0; col < grid->columnCount(); ++col)
                    if (QTableWidgetItem* item = grid->item(r, col)) {
                        item->setText(fn(item->text()));
                        item->setToolTip(fn(item->toolTip()));
                    }
            for (int col = 0; col < grid->columnCount(); ++col)
                if (QTableWidgetItem* item = grid->horizontalHeaderItem(col)) item->setText(fn(item->text()));
            for (int r = 0; r < grid->rowCount(); ++r)
                if (QTableWidgetItem* item = grid->verticalHeaderItem(r)) item->setText(fn(item->text()));
        }
    }
    // Lists of the navigator's button hints and of the selection panel's words and chosen items (its
    // items are converted as Items; the chosen ones must follow or they would show in both lists).
    for (const char* name : {"Hints", "BeginWords", "FinalWords", "Selected"}) {
        if (!hasProperty(c, name) || !isWritable(c, name)) continue;
        const QVariant v = c->property(name);
        if (holds(v, QMetaType::QStringList)) writeProperty(c, name, convertList(v.toStringList(), fn));
    }
    convertStringProperty(c, "HintWord", kind);
}

void TCodeConverter::translateComponent(QObject* c, bool deep) {
    const int kind = int(settings_.uiLangMode);
    if (!exclusions_.isEmpty()) {
        const QString name = c->objectName().toUpper();
        for (const QString& entry : std::as_const(exclusions_)) {
            const QStringList fields = entry.split(kFieldSeparator);
            if (fields.first().toUpper() != name) continue;
            if (hasProperty(c, "ParentFont"))
                writeProperty(c, "ParentFont", false);
            else if (auto* w = qobject_cast<QWidget*>(c))
                w->setFont(w->font());      // an explicit font no longer follows the parent's
            if (fields.size() == 1) return; // the name alone: left as designed
            // Only the property names count, so a component name cannot exclude a property by accident.
            const QString props = fields.mid(1).join(kFieldSeparator).toUpper();
            auto unless = [&](const char* prop, void (TCodeConverter::*fn)(QObject*, int) const) {
                if (!props.contains(QLatin1String(prop).toString().toUpper())) (this->*fn)(c, kind);
            };
            unless("Caption", &TCodeConverter::SetObjectCaption);
            unless("Hint", &TCodeConverter::SetObjectHint);
            unless("Font", &TCodeConverter::SetObjectFont);
            unless("TitleFont", &TCodeConverter::SetObjectTitleFont);
            unless("Items", &TCodeConverter::SetObjectItems);
            unless("Lines", &TCodeConverter::SetObjectLines);
            unless("Text", &TCodeConverter::SetObjectText);
            unless("Style", &TCodeConverter::SetObjectStyle);
            unless("Panels", &TCodeConverter::SetObjectPanels);
            translateByClass(c, deep);
            return;
        }
    }
    SetObjectFont(c, kind);
    SetObjectTitleFont(c, kind);
    SetObjectCaption(c, kind);
    SetObjectHint(c, kind);
    SetObjectItems(c, kind);
    SetObjectLines(c, kind);
    SetObjectText(c, kind);
    SetObjectStyle(c, kind);
    SetObjectPanels(c, kind);
    translateByClass(c, deep);
}

void TCodeConverter::DoTranslate(QWidget* form, const QString& exclusions, bool deep) {
    if (!translator_ || !form) return;
    const int kind = int(settings_.uiLangMode);
    SetFormCaption(form);
    SetObjectHint(form, kind);
    QFont hintFont = QToolTip::font();
    if (SetUIFont(kind, hintFont)) QToolTip::setFont(hintFont);
    for (const char* menuClass : {"QMenu", "QMenuBar"}) {
        QFont menuFont = QApplication::font(menuClass);
        if (SetUIFont(kind, menuFont)) QApplication::setFont(menuFont, menuClass);
    }
    if (kind == 0) return;
    const QStringList saved = exclusions_;
    if (exclusions.isEmpty()) exclusions_.clear();
    // Components are the window's named descendants; Qt's own parts ("qt_" names) are not.
    // Converting may replace a widget's internal parts, so the list is taken first and guarded.
    QList<QPointer<QObject>> components;
    for (QObject* c : form->findChildren<QObject*>()) {
        const QString name = c->objectName();
        if (!name.isEmpty() && !name.startsWith(QLatin1String("qt_")) && !ownedByAnother(c, form))
            components << c;
    }
    for (const QPointer<QObject>& c : std::as_const(components))
        if (c) translateComponent(c, deep);
    exclusions_ = saved;
}

void TCodeConverter::DoTranslateOptional(QWidget* form, const Variant& list, bool deep) {
    if (!translator_) return;
    exclusions_.clear();
    auto addEntry = [this](const Variant& element) {
        pendingEntry_.clear();
        if (element.isArray()) {
            const kvx::VariantList parts = element.toList();
            for (int i = 0; i < parts.size(); ++i) {
                if (i > 0) pendingEntry_ += kFieldSeparator;
                pendingEntry_ += parts[i].toString();
            }
        } else {
            pendingEntry_ = element.toString();
        }
        exclusions_ << pendingEntry_;
        pendingEntry_.clear();
    };
    if (list.isArray() && list.dimCount() == 1) {
        for (int i = list.lowBound(1); i <= list.highBound(1); ++i)
            addEntry(list.at(i));
    } else if (!list.isEmptyOrNull() && !list.isArray()) {
        addEntry(list);
    }
    DoTranslate(form, QStringLiteral("DO"), deep);
}

int TCodeConverter::MessageDlg(const QString& text, kvx::MsgDlgType type, kvx::MsgDlgButtons buttons) const {
    if (text.isEmpty()) return 0;
    kvx::MessageRequest req;
    req.type = type;
    req.buttons = buttons;
    req.defaultButton = kvx::MsgDlgBtn(0);
    req.text = text;
    // Six blanks widen the box so that the wider Chinese glyphs are not cut.
    if (settings_.ui == kvx::CodePage::Gbk || settings_.sys == kvx::CodePage::Gbk)
        req.text += QStringLiteral("      ");
    QWidget* owner = nullptr;
    for (QObject* o = parent(); o && !owner; o = o->parent())
        owner = qobject_cast<QWidget*>(o);
    if (owner) owner = owner->window();
    QFont font = owner ? owner->font() : QApplication::font();
    if (owner) {
        if (owner->isMinimized()) owner->showNormal();
        req.caption = owner->windowTitle();
        req.parent = owner;
    }
    if (SetUIFont(int(settings_.uiLangMode), font)) {
        req.font = font;
        req.hasFont = true;
    }
    return kvx::DialogService::instance().showMessage(req);
}
