// TPellanWorkCenter: the shell's work-center automation object ("PellanWorkCenter.Manager").
//
// Program libraries receive it through their controller's WorkCenter and reach the shell's services
// through it by late binding. It lives in its own library (PellanWorkCenter.so) so that a window running
// outside the shell can create it by program identifier as well. docs/workcenter.md lists its methods.
#pragma once

#include "platform/Automation.h"

#include <memory>

namespace pellan {
class Session;
}

class TPellanWorkCenter : public kvx::DispatchObject {
public:
    // The interface version this work center offers to program libraries.
    static constexpr int InterfaceVersion = 8000;
    static constexpr int Edition = 1; // VersionType
    static constexpr int Product = 3; // ProductID

    // A work center with a session of its own (connection from the client configuration).
    TPellanWorkCenter();
    // A work center sharing a session (handed to programs started with ExecWork).
    explicit TPellanWorkCenter(std::shared_ptr<pellan::Session> session);
    ~TPellanWorkCenter() override;

    pellan::Session& session() { return *session_; }

private:
    std::shared_ptr<pellan::Session> session_;
    bool ownsSession_ = false;

    void addMembers();
};

// Factory registered for "PellanWorkCenter.Manager".
extern "C" __attribute__((visibility("default"))) kvx::Dispatch* CreatePellanWorkCenter(const char* progid);
