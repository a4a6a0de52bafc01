// TPellanWorkCenter: the shell's work-center automation object ("PellanWorkCenter.Manager").
//
// Program libraries receive it through their controller's WorkCenter and reach the shell's services
// through it by late binding. It lives in its own library (PellanWorkCenter.so) so that a window running
// outside the shell can create it by program identifier as well.
#pragma once

#include "platform/Automation.h"

class TPellanWorkCenter : public kvx::DispatchObject {
public:
    // The interface version this work center offers to program libraries.
    static constexpr int InterfaceVersion = 8000;

    TPellanWorkCenter();
};

// Factory registered for "PellanWorkCenter.Manager".
extern "C" __attribute__((visibility("default"))) kvx::Dispatch* CreatePellanWorkCenter(const char* progid);
