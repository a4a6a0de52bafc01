// Dispatch: a late-bound automation object. Methods are invoked by name with their arguments passed by
// reference (a callee may write results back into them); properties are read and written by name.
// Failures raise AutomationError whose text names what was missing; callers report that text.
#pragma once

#include "Variant.h"

#include <stdexcept>

namespace kvx {

class AutomationError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class Dispatch {
public:
    virtual ~Dispatch() = default;
    // Calls a method by name; arguments are passed by reference.
    virtual Variant invoke(const QString& name, VariantList& args) = 0;
    virtual Variant getProperty(const QString& name) = 0;
    virtual void setProperty(const QString& name, const Variant& value) = 0;
    // Program identifier or class name, for error texts.
    virtual QString className() const = 0;

    // Convenience for calls whose arguments are not written back.
    Variant call(const QString& name, VariantList args = {}) { return invoke(name, args); }
};

// Argument helpers for methods of automation objects implemented here.

// Ends the call with an automation error whose text the caller shows.
[[noreturn]] inline void refuse(const QString& why) {
    throw AutomationError(why.toStdString());
}

// Argument i as trimmed text: empty when missing, Unassigned or Null; an array is refused.
inline QString textArg(const VariantList& args, int i) {
    const Variant v = i < args.size() ? args[i] : Variant();
    if (v.isArray()) refuse(QStringLiteral("argument %1 must be a text, not an array").arg(i + 1));
    return v.isEmptyOrNull() ? QString() : v.toString().trimmed();
}

} // namespace kvx
