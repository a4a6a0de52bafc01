// Abort: the silent exception. An operation that raises EAbort ends without any message box; handlers
// that report errors let it pass (catch it first and do nothing).
#pragma once

#include <exception>

namespace kvx {

class EAbort : public std::exception {
public:
    const char* what() const noexcept override { return "Operation aborted"; }
};

// Ends the current operation silently.
[[noreturn]] inline void Abort() {
    throw EAbort();
}

} // namespace kvx
