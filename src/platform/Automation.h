// Automation: creating late-bound objects by program identifier, and a base class that implements
// Dispatch from a table of named methods and properties.
//
// CreateOleObject looks the identifier up in the registry file's section "Classes\<progid>" (values
// Library and Factory), loads the library (a bare name is looked up beside the platform library, then
// in the library path), and calls the factory:  extern "C" kvx::Dispatch* <Factory>(const char* progid);
// The caller owns the object. Libraries stay loaded for the life of the process.
#pragma once

#include "Dispatch.h"

#include <QHash>
#include <functional>
#include <memory>

namespace kvx {

using ObjectFactoryFn = Dispatch* (*)(const char* progid);

// Raises AutomationError: "Invalid class string" for an unknown identifier, or a text naming the
// library or factory that could not be loaded.
std::shared_ptr<Dispatch> CreateOleObject(const QString& progid);

// A function of a library loaded as CreateOleObject loads it (a bare name beside the platform library
// first); raises AutomationError naming the library or the function when either is missing.
QFunctionPointer resolveLibraryFunction(const QString& library, const char* function);

// Implements Dispatch over named members (names compare without case).
class DispatchObject : public Dispatch {
public:
    using Method = std::function<Variant(VariantList&)>;
    using Getter = std::function<Variant()>;
    using Setter = std::function<void(const Variant&)>;

    explicit DispatchObject(QString className) : className_(std::move(className)) {}

    Variant invoke(const QString& name, VariantList& args) override;
    Variant getProperty(const QString& name) override;
    void setProperty(const QString& name, const Variant& value) override;
    QString className() const override { return className_; }

protected:
    void addMethod(const QString& name, Method m) { methods_.insert(name.toLower(), std::move(m)); }
    // A read-only property when no setter is given.
    void addProperty(const QString& name, Getter g, Setter s = {}) {
        props_.insert(name.toLower(), {std::move(g), std::move(s)});
    }
    // Argument i, Unassigned when the caller passed fewer.
    static Variant arg(const VariantList& args, int i) { return i < args.size() ? args[i] : Variant(); }

private:
    QString className_;
    QHash<QString, Method> methods_;
    QHash<QString, QPair<Getter, Setter>> props_;
};

} // namespace kvx
