#include "MT_Doc.h"

#include "Log.h"

#include "controls/ExtPageControl.h"
#include "controls/FDBGrid.h"
#include "lang/LangCommon.h"
#include "platform/ClientDataSet.h"
#include "platform/DataSource.h"
#include "platform/Field.h"
#include "platform/PropertySetter.h"

#include <QLayout>
#include <QMetaProperty>
#include <QScopeGuard>
#include <QVariant>
#include <QWidget>
#include <algorithm>

namespace kvx {

const char* const TMT_Doc::kEmptyDocument =
    "<?xml version=\"1.0\" encoding=\"GB2312\"?><!-- QorinERP用户设置 -->"
    "<MT_User CompanyID=\"\" ProgID=\"\"><Components /></MT_User>";

namespace {

QString textOf(pugi::xml_node node) {
    return QString::fromUtf8(node.child_value());
}

QString nameOf(pugi::xml_node node) {
    return QString::fromUtf8(node.name());
}

bool isElement(pugi::xml_node node) {
    return node.type() == pugi::node_element;
}

// A property the object publishes under exactly this name (element names are case-sensitive).
bool publishes(const QObject* obj, const QString& name) {
    return obj && !name.isEmpty() && obj->metaObject()->indexOfProperty(name.toUtf8().constData()) >= 0;
}

bool isDataAwareCombo(const QObject* obj) {
    return lang::InheritsClass(obj, "TKvDBComboBox") || lang::InheritsClass(obj, "TwwDBCustomComboBox");
}

TClientDataSet* dataSetOf(const QObject* control) {
    const QVariant v = control->property("DataSource");
    auto* source = qobject_cast<TDataSource*>(v.value<QObject*>());
    return source ? source->DataSet() : nullptr;
}

bool setSimple(QObject* obj, const QString& name, const QString& value) {
    if (!publishes(obj, name)) {
        qCDebug(lcEntry) << "screen setting" << name << "skipped:" << obj->objectName()
                         << "does not publish it";
        return false;
    }
    return PropertySetter::set(obj, name, value, PropertySetter::Rules::screenSettings());
}

} // namespace

TMT_Doc::TMT_Doc() {
    loadEmpty();
}

std::unique_ptr<TMT_Doc> TMT_Doc::CreateFromXml(const QString& xml) {
    auto doc = std::make_unique<TMT_Doc>();
    doc->LoadXml(xml);
    return doc;
}

std::unique_ptr<TMT_Doc> TMT_Doc::CreateFromXml(const QByteArray& xml) {
    auto doc = std::make_unique<TMT_Doc>();
    doc->LoadXml(xml);
    return doc;
}

void TMT_Doc::loadEmpty() {
    document_.reset();
    document_.load_string(kEmptyDocument);
    root_ = document_.document_element();
    components_ = root_.child("Components");
}

bool TMT_Doc::adopt(pugi::xml_document& parsed, const QString& error) {
    if (!error.isEmpty() || !parsed.document_element()) {
        qCWarning(lcEntry) << "screen settings not loaded, the empty document is used:"
                           << (error.isEmpty() ? QStringLiteral("no document element") : error);
        loadEmpty();
        return false;
    }
    document_.reset(parsed);
    root_ = document_.document_element();
    components_ = root_.child("Components");
    if (!components_) components_ = root_.append_child("Components");
    return true;
}

bool TMT_Doc::LoadXml(const QString& xml) {
    // The text is decoded already: whatever encoding its declaration names, it is parsed as UTF-8.
    const QByteArray utf8 = xml.toUtf8();
    pugi::xml_document parsed;
    const pugi::xml_parse_result r =
        parsed.load_buffer(utf8.constData(), size_t(utf8.size()), pugi::parse_default, pugi::encoding_utf8);
    return adopt(parsed, r ? QString() : QString::fromUtf8(r.description()));
}

bool TMT_Doc::LoadXml(const QByteArray& xml) {
    pugi::xml_document parsed;
    const QString error = lang::LoadXmlBytes(parsed, xml);
    return adopt(parsed, error);
}

bool TMT_Doc::IsEmpty() const {
    for (pugi::xml_node n = root_.first_child(); n; n = n.next_sibling())
        if (isElement(n) && (n != components_ || components_.find_child(isElement))) return false;
    return true;
}

pugi::xml_node TMT_Doc::SelectById(pugi::xml_node parent, const QString& elementName, const QString& id) {
    if (!parent || elementName.isEmpty()) return {};
    // The ID travels as an XPath variable, so quotes of either kind in it need no escaping.
    pugi::xpath_variable_set vars;
    vars.set("id", id.toUtf8().constData());
    try {
        const pugi::xpath_query q((elementName + QStringLiteral("[@ID=$id]")).toUtf8().constData(), &vars);
        return parent.select_node(q).node();
    } catch (const pugi::xpath_exception& e) {
        throw EMTDocError(std::string("screen settings: invalid element name: ") + e.what());
    }
}

QString TMT_Doc::convertUI(const QString& text) const {
    return converter_ ? converter_->ConvertUIString(Variant(text)).toString() : text;
}

bool TMT_Doc::IsDisplayText(const QString& name) {
    return name == QLatin1String("DisplayLabel") || name == QLatin1String("Caption") ||
           name == QLatin1String("Hint");
}

std::optional<QString> TMT_Doc::uiValue(const QString& name, const QString& text) const {
    const QString converted = convertUI(text);
    if (!translator_ || !IsDisplayText(name)) return converted;
    return translator_(text, converted);
}

QObject* TMT_Doc::findComponent(QWidget* form, const QString& id) const {
    if (!form || id.isEmpty()) return nullptr;
    if (id == form->objectName()) return form;
    return form->findChild<QObject*>(id);
}

void TMT_Doc::ApplyToForm(QWidget* form) {
    if (!form) return;
    form_ = form;
    auto forget = qScopeGuard([this] { form_ = nullptr; });
    for (pugi::xml_node comp = components_.first_child(); comp; comp = comp.next_sibling()) {
        if (!isElement(comp)) continue;
        const QString id = QString::fromUtf8(comp.attribute("ID").value());
        QObject* component = findComponent(form, id);
        if (!component) {
            qCDebug(lcEntry) << "screen settings for" << id << "skipped: the window has no such component";
            continue;
        }
        for (pugi::xml_node prop = comp.first_child(); prop; prop = prop.next_sibling()) {
            if (!isElement(prop)) continue;
            const QString name = nameOf(prop);
            if (const std::optional<QString> value = uiValue(name, textOf(prop)))
                SetProperty(component, name, *value);
        }
    }
}

void TMT_Doc::ApplyDefaults(QWidget* form) {
    if (!form) return;
    for (pugi::xml_node comp = components_.first_child(); comp; comp = comp.next_sibling()) {
        if (!isElement(comp)) continue;
        QObject* component = findComponent(form, QString::fromUtf8(comp.attribute("ID").value()));
        auto* combo = qobject_cast<QWidget*>(component);
        if (!combo || !isDataAwareCombo(combo) || combo->isHidden() || combo->x() <= 0) continue;
        TClientDataSet* ds = dataSetOf(combo);
        if (!ds) continue;
        for (pugi::xml_node prop = comp.first_child(); prop; prop = prop.next_sibling()) {
            if (!isElement(prop) || nameOf(prop).toUpper() != QLatin1String("DEFAULTTEXT")) continue;
            const QString text = textOf(prop);
            if (text.isEmpty()) continue;
            TField* field = ds->FindField(combo->property("DataField").toString());
            if (!field) continue;
            // A default belongs to a record being written; a browsed record is never changed behind
            // the user's back.
            if (ds->State() != TDataSetState::dsEdit && ds->State() != TDataSetState::dsInsert) {
                qCDebug(lcEntry) << "default of" << combo->objectName() << "not written: dataset not editing";
                continue;
            }
            field->SetAsString(text);
        }
    }
}

void TMT_Doc::ApplyToGrid(TFDBGrid* grid) {
    if (!grid) return;
    const pugi::xml_node gridNode = root_.child(grid->objectName().toUtf8().constData());
    if (grid->objectName().isEmpty() || !gridNode) return;
    auto* source = qobject_cast<TDataSource*>(grid->DataSource());
    TClientDataSet* ds = source ? source->DataSet() : nullptr;
    if (!ds) return;

    // The grid follows all the settings at once. Setting an index reorders the dataset's field list:
    // work on a copy taken up front.
    const TFieldUpdate batch(ds);
    const QList<TField*> fields = ds->Fields();
    QList<QPair<QString, TField*>> order;
    for (TField* field : fields) {
        const pugi::xml_node fieldNode = SelectById(gridNode, QStringLiteral("Field"), field->FieldName());
        if (!fieldNode) continue;
        if (qobject_cast<TMemoField*>(field)) continue; // memo fields keep their settings
        for (pugi::xml_node prop = fieldNode.first_child(); prop; prop = prop.next_sibling()) {
            if (!isElement(prop)) continue;
            const QString name = nameOf(prop);
            const std::optional<QString> value = uiValue(name, textOf(prop));
            if (!value) continue;
            if (name == QLatin1String("Index"))
                order.append({*value, field}); // applied below, in the order of the texts
            else
                SetProperty(field, name, *value);
        }
    }
    std::stable_sort(order.begin(), order.end(), [](const auto& a, const auto& b) {
        return a.first.compare(b.first, Qt::CaseInsensitive) < 0;
    });
    for (const auto& [text, field] : order)
        SetProperty(field, QStringLiteral("Index"), text);
}

QString TMT_Doc::GetComponentValue(const QString& componentID, const QString& name) const {
    const pugi::xml_node comp = SelectById(components_, QStringLiteral("Component"), componentID);
    if (!comp || name.isEmpty()) return {};
    return textOf(comp.child(name.toUtf8().constData()));
}

void TMT_Doc::GetFieldValue(const QString& gridPath, const QString& fieldID, QString& value,
                            const QString& name) const {
    value.clear();
    if (gridPath.isEmpty() || name.isEmpty()) return;
    pugi::xml_node grid;
    try {
        grid = root_.select_node(gridPath.toUtf8().constData()).node();
    } catch (const pugi::xpath_exception& e) {
        throw EMTDocError(std::string("screen settings: invalid path: ") + e.what());
    }
    const pugi::xml_node field = SelectById(grid, QStringLiteral("Field"), fieldID);
    if (field) value = textOf(field.child(name.toUtf8().constData()));
}

QString TMT_Doc::ListIDs(const QString& xpath) const {
    pugi::xpath_node_set nodes;
    try {
        nodes = root_.select_nodes(xpath.toUtf8().constData());
    } catch (const pugi::xpath_exception& e) {
        throw EMTDocError(std::string("screen settings: invalid path: ") + e.what());
    }
    nodes.sort(); // document order
    QStringList ids;
    for (const pugi::xpath_node& n : nodes)
        ids << QString::fromUtf8(n.node().attribute("ID").value()).right(5);
    return ids.join(u',');
}

void TMT_Doc::moveToParent(QWidget* control, const QString& value) const {
    QWidget* form = form_ && form_->isAncestorOf(control) ? form_.data() : control->window();
    QWidget* target = nullptr;
    if (value == convertUI(QStringLiteral("单头")) || value == QLatin1String("Header")) {
        target = form->findChild<QWidget*>(QStringLiteral("pnlHead"));
    } else if (value == convertUI(QStringLiteral("单尾")) || value == QLatin1String("Tail")) {
        target = form->findChild<QWidget*>(QStringLiteral("pnlFoot"));
    } else if (auto* pages = form->findChild<TExtPageControl*>(QStringLiteral("pgHead"))) {
        for (int i = 0; i < pages->PageCount(); ++i) {
            TTabSheet* page = pages->Pages(i);
            if (page->objectName() == value || page->Caption() == value) target = page; // the last match
        }
    }
    if (!target || target == control || control->isAncestorOf(target)) {
        qCDebug(lcEntry) << "Parent" << value << "of" << control->objectName() << "names no container";
        return;
    }
    if (target == control->parentWidget()) return;
    const bool hidden = control->isHidden();
    const QPoint pos = control->pos();
    control->setParent(target);
    if (target->layout())
        target->layout()->addWidget(control);
    else
        control->move(pos);
    control->setVisible(!hidden);
}

void TMT_Doc::SetProperty(QObject* component, const QString& name, const QString& value) {
    if (!component || name.isEmpty()) return;
    auto* control = qobject_cast<QWidget*>(component);
    if (name == QLatin1String("Parent")) {
        if (control) moveToParent(control, value);
    } else if (name == QLatin1String("DCVisible")) {
        setSimple(component,
                  publishes(component, QStringLiteral("TabVisible")) ? QStringLiteral("TabVisible")
                                                                     : QStringLiteral("Visible"),
                  value);
    } else if (name == QLatin1String("DisplayLabel")) {
        if (publishes(component, name)) setSimple(component, name, value);
        if (control && publishes(control, QStringLiteral("Caption")))
            setSimple(control, QStringLiteral("Caption"), value);
    } else if (name == QLatin1String("Items")) {
        // The item text of a user-defined-field combo; carriage-return/line-feed pairs become tabs.
        if (isDataAwareCombo(component) && component->objectName().contains(QLatin1String("UDF")) &&
            publishes(component, name)) {
            QString text = value;
            text.replace(QLatin1String("\r\n"), QLatin1String("\t"));
            PropertySetter::set(component, name, text);
        }
    } else {
        setSimple(component, name, value);
    }
}

} // namespace kvx
