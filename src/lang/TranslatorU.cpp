#include "TranslatorU.h"

#include "LangCommon.h"
#include "Log.h"
#include "platform/PropertySetter.h"

#include <QComboBox>
#include <QList>
#include <QListWidget>
#include <QScopeGuard>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QWidget>
#include <limits>
#include <optional>
#include <utility>

namespace {

// The node of a tree at `index` in index order (depth first, parents before children).
QTreeWidgetItem* nodeAt(QTreeWidget* tree, int index) {
    int n = 0;
    for (QTreeWidgetItemIterator it(tree); *it; ++it, ++n)
        if (n == index) return *it;
    return nullptr;
}

// "Items_N.Caption|Text" and "Columns_N.Caption|Text" on list and tree views, whose items are no
// objects with properties: the N-th node's text, the N-th column's title. Empty when the path is not
// of that form; false when the item does not exist.
std::optional<bool> setViewItem(QObject* component, const QString& path, const QString& value) {
    auto* tree = qobject_cast<QTreeWidget*>(component);
    auto* list = qobject_cast<QListWidget*>(component);
    if (!tree && !list) return std::nullopt;
    const QStringList parts = path.split(QLatin1Char('.'));
    if (parts.isEmpty() || parts.size() > 2) return std::nullopt;
    const auto [name, index] = kvx::PropertySetter::splitIndex(parts.first().trimmed());
    const bool items = name.compare(QLatin1String("Items"), Qt::CaseInsensitive) == 0;
    const bool columns = name.compare(QLatin1String("Columns"), Qt::CaseInsensitive) == 0;
    if (index < 0 || (!items && !columns)) return std::nullopt;
    const QString prop = parts.size() == 2 ? parts[1].trimmed() : QString();
    if (!prop.isEmpty() && prop.compare(QLatin1String("Caption"), Qt::CaseInsensitive) != 0 &&
        prop.compare(QLatin1String("Text"), Qt::CaseInsensitive) != 0)
        return std::nullopt;
    if (list) {
        if (!items || index >= list->count()) return false;
        list->item(index)->setText(value);
        return true;
    }
    if (columns) {
        if (index >= tree->columnCount()) return false;
        tree->headerItem()->setText(index, value);
        return true;
    }
    QTreeWidgetItem* node = nodeAt(tree, index);
    if (!node) return false;
    node->setText(0, value);
    return true;
}

// Whether the text is what a string property (or the addressed line of a string list) holds already.
// Writing it again would change nothing but re-measure and re-lay out the control, and most texts of a
// package for the interface language the windows are designed in are their design texts.
bool holdsText(QObject* component, const QString& path, const QString& value) {
    using kvx::PropertySetter;
    const PropertySetter::Target t = PropertySetter::resolve(component, path);
    if (!t.isValid()) return false;
    if (t.line >= 0) {
        if (PropertySetter::kindOf(t.property) != PropertySetter::Kind::StringList) return false;
        const QStringList lines = t.property.read(t.object).toStringList();
        return t.line < lines.size() && lines.at(t.line) == value;
    }
    if (PropertySetter::kindOf(t.property) != PropertySetter::Kind::String) return false;
    const QVariant current = t.property.read(t.object);
    return current.metaType().id() == QMetaType::QString && current.toString() == value;
}

} // namespace

bool SetLangProperty(QObject* component, const QString& path, const QString& value) {
    if (!component || path.trimmed().isEmpty()) return false;
    if (const std::optional<bool> done = setViewItem(component, path, value)) return *done;
    try {
        if (holdsText(component, path, value)) return true;
        return kvx::SetPropValueIncludeSub(component, path, value);
    } catch (const std::exception& e) {
        qCWarning(kvx::lcLang) << "language package entry" << path << "not applied:" << e.what();
        return false;
    }
}

// ---- component readers

TComponentRead::TComponentRead(QObject* component, const pugi::xml_node& element)
    : component_(component), element_(element) {}

void TComponentRead::Apply() {
    ApplyAttributes();
}

void TComponentRead::ApplyAttributes() {
    for (const pugi::xml_attribute& attr : element_.attributes()) {
        if (!component_) return; // a property change may have destroyed the component
        SetLangProperty(component_, QString::fromUtf8(attr.name()), QString::fromUtf8(attr.value()));
    }
}

void TCustomComboBoxRead::Apply() {
    const int index = ItemIndex();
    ApplyAttributes();
    if (Component()) SetItemIndex(index);
}

int TCustomComboBoxRead::ItemIndex() const {
    if (const auto* combo = qobject_cast<const QComboBox*>(Component())) return combo->currentIndex();
    const QVariant v = Component() ? Component()->property("ItemIndex") : QVariant();
    return v.isValid() ? v.toInt() : -1;
}

void TCustomComboBoxRead::SetItemIndex(int index) {
    if (auto* combo = qobject_cast<QComboBox*>(Component())) {
        combo->setCurrentIndex(index < combo->count() ? index : -1);
        return;
    }
    if (Component() && Component()->property("ItemIndex").isValid())
        Component()->setProperty("ItemIndex", index);
}

// The data-aware combo box publishes its selection as "ItemIndex" (its stored value follows it); the
// embedded editor's index is only the fallback.
int TwwDBCustomComboBoxRead::ItemIndex() const {
    const QVariant v = Component() ? Component()->property("ItemIndex") : QVariant();
    return v.isValid() ? v.toInt() : TCustomComboBoxRead::ItemIndex();
}

void TwwDBCustomComboBoxRead::SetItemIndex(int index) {
    if (Component() && Component()->property("ItemIndex").isValid()) {
        Component()->setProperty("ItemIndex", index);
        return;
    }
    TCustomComboBoxRead::SetItemIndex(index);
}

bool TReaderFactory::IsDataAwareComboBox(const QObject* component) {
    using kvx::lang::InheritsClass;
    return InheritsClass(component, "TKvDBComboBox") || InheritsClass(component, "TwwDBCustomComboBox");
}

bool TReaderFactory::IsComboBox(const QObject* component) {
    return qobject_cast<const QComboBox*>(component) ||
           kvx::lang::InheritsClass(component, "TCustomComboBox");
}

std::unique_ptr<TComponentRead> TReaderFactory::Create(QObject* component, const pugi::xml_node& element) {
    if (IsDataAwareComboBox(component)) return std::make_unique<TwwDBCustomComboBoxRead>(component, element);
    if (IsComboBox(component)) return std::make_unique<TCustomComboBoxRead>(component, element);
    return std::make_unique<TComponentRead>(component, element);
}

// ---- package reader

TLangReader::TLangReader(std::shared_ptr<const kvx::lang::PackageDocument> package,
                         const QStringList& excludeControls, TLoadComponentEvent beforeLoad,
                         TLoadComponentEvent afterLoad)
    : package_(std::move(package)), beforeLoad_(std::move(beforeLoad)), afterLoad_(std::move(afterLoad)) {
    SetExcludeControls(excludeControls);
}

void TLangReader::SetExcludeControls(const QStringList& names) {
    exclude_.clear();
    for (const QString& n : names)
        if (!n.trimmed().isEmpty()) exclude_ << n.trimmed();
}

bool TLangReader::IsExcluded(const QString& name) const {
    return exclude_.contains(name.trimmed(), Qt::CaseInsensitive);
}

bool TLangReader::IsFormOrDataModule(const QObject* component) {
    if (!component) return false;
    if (const auto* w = qobject_cast<const QWidget*>(component)) return w->isWindow();
    return kvx::lang::InheritsClass(component, "TDataModule") ||
           kvx::lang::InheritsClass(component, "TdmRadical");
}

bool TLangReader::ApplyElement(QObject* component, const pugi::xml_node& element) {
    // A write (or a notification) may delete the component or any component around it: the walk's path
    // is guarded for the duration, so that it ends where an ancestor went away.
    ++writes_;
    QList<QPointer<QObject>> path;
    path.reserve(path_.size());
    for (QObject* o : path_)
        path << o;
    QPointer<QObject> guard(component);
    if (beforeLoad_) beforeLoad_(component, element);
    if (guard) TReaderFactory::Create(component, element)->Apply();
    if (guard && afterLoad_) afterLoad_(component, element);
    for (qsizetype i = 0; i < path.size(); ++i) {
        if (!path.at(i)) {
            deadFrom_ = qMin(deadFrom_, i);
            break;
        }
    }
    return !guard.isNull();
}

void TLangReader::Apply(QObject* component) {
    // A package without attributes and elements (a root package kept for its place in the class chain)
    // gives nothing to any component: the walk is skipped.
    const pugi::xml_node root = package_->document().document_element();
    if (!root || (!root.first_attribute() &&
                  !root.find_child([](const pugi::xml_node& n) { return n.type() == pugi::node_element; })))
        return;
    // A write may apply a package again (a nested Apply): each walk keeps its own path.
    const QList<QObject*> outerPath = std::exchange(path_, {});
    const qsizetype outerDead = std::exchange(deadFrom_, std::numeric_limits<qsizetype>::max());
    const auto restore = qScopeGuard([&] {
        path_ = outerPath;
        deadFrom_ = outerDead;
    });
    ApplyTree(component, true);
}

void TLangReader::ApplyTree(QObject* component, bool top) {
    if (!component) return;
    const qsizetype depth = path_.size();
    path_ << component;
    const auto leave = qScopeGuard([this] { path_.removeLast(); });
    // The document element belongs to the object the package was loaded for; windows and data modules
    // it happens to own (dialogs, its data module) have packages of their own.
    if (top && IsFormOrDataModule(component)) {
        const pugi::xml_node root = package_->document().document_element();
        if (root && !ApplyElement(component, root)) return;
    }
    if (deadFrom_ <= depth) return;
    const QString name = component->objectName();
    if (!name.isEmpty() && !IsExcluded(name)) {
        const pugi::xml_node element = package_->element(name);
        if (element && !ApplyElement(component, element)) return;
    }
    if (deadFrom_ <= depth) return;
    // The children as they are now. Setting properties can create or delete children (list items,
    // columns): once anything was written, a child is visited only while this component still owns it.
    const QObjectList owned = component->children();
    const quint64 writes = writes_;
    for (QObject* child : owned) {
        if (writes_ != writes && !component->children().contains(child)) continue;
        ApplyTree(child, false);
        if (deadFrom_ <= depth) return;
        deadFrom_ = std::numeric_limits<qsizetype>::max(); // only below this component: done with
    }
}
