// TranslatorU: applying a loaded language package to a component tree.
//
// TLangReader walks a component and everything it owns (its QObject children, in creation order). A form
// or data module receives the attributes of the document element; every named component that is not
// excluded receives the attributes of the first element whose tag is its name. Each attribute is a
// property path ("Caption", "Font.Name", "Columns_1.Title.Caption", "Items_3") set from the attribute
// text through the generic property setter; paths that do not resolve are skipped.
#pragma once

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <functional>
#include <limits>
#include <memory>
#include <pugixml.hpp>

namespace kvx::lang {
class PackageDocument;
}

// Notification around applying one element to one component.
using TLoadComponentEvent = std::function<void(QObject* component, const pugi::xml_node& element)>;

// Applies one element's attributes to one component, in document order.
class TComponentRead {
public:
    TComponentRead(QObject* component, const pugi::xml_node& element);
    virtual ~TComponentRead() = default;
    TComponentRead(const TComponentRead&) = delete;
    TComponentRead& operator=(const TComponentRead&) = delete;

    virtual void Apply();

    QObject* Component() const { return component_; }
    const pugi::xml_node& Element() const { return element_; }

protected:
    void ApplyAttributes();

private:
    QPointer<QObject> component_;
    pugi::xml_node element_;
};

// Combo boxes: the selected item survives a change of the item list.
class TCustomComboBoxRead : public TComponentRead {
public:
    using TComponentRead::TComponentRead;
    void Apply() override;

protected:
    virtual int ItemIndex() const;
    virtual void SetItemIndex(int index);
};

// The data-aware combo boxes of the controls library (value-mapped lists).
class TwwDBCustomComboBoxRead : public TCustomComboBoxRead {
public:
    using TCustomComboBoxRead::TCustomComboBoxRead;

protected:
    int ItemIndex() const override;
    void SetItemIndex(int index) override;
};

// Chooses the reader for a component.
class TReaderFactory {
public:
    static std::unique_ptr<TComponentRead> Create(QObject* component, const pugi::xml_node& element);
    static bool IsDataAwareComboBox(const QObject* component);
    static bool IsComboBox(const QObject* component);
};

// Applies a loaded package (the document must outlive the reader) to component trees. The document
// element goes to the object Apply is called for when it is a window or a data module.
class TLangReader {
public:
    TLangReader(std::shared_ptr<const kvx::lang::PackageDocument> package, const QStringList& excludeControls,
                TLoadComponentEvent beforeLoad = {}, TLoadComponentEvent afterLoad = {});

    // Names of components whose own element is not applied (trimmed, compared without case).
    void SetExcludeControls(const QStringList& names);
    const QStringList& ExcludeControls() const { return exclude_; }
    bool IsExcluded(const QString& name) const;

    // Applies the package to component and, recursively, to every component it owns.
    void Apply(QObject* component);

    // Whether a component is translated from the document element: a window or a data module.
    static bool IsFormOrDataModule(const QObject* component);

private:
    std::shared_ptr<const kvx::lang::PackageDocument> package_;
    QStringList exclude_;
    TLoadComponentEvent beforeLoad_;
    TLoadComponentEvent afterLoad_;

    // The components from the one Apply was called for down to the one being applied; writes so far;
    // the first position on the path whose component a write deleted (none: the largest value).
    QList<QObject*> path_;
    quint64 writes_ = 0;
    qsizetype deadFrom_ = std::numeric_limits<qsizetype>::max();

    // False when the component did not survive its element.
    bool ApplyElement(QObject* component, const pugi::xml_node& element);
    void ApplyTree(QObject* component, bool top);
};

// Sets one property path of a component from a package text. False when the path does not resolve or
// the text cannot be stored.
bool SetLangProperty(QObject* component, const QString& path, const QString& value);
