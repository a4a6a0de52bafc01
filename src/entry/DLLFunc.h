// The program library's entry: the class registry and the export GetController.
#pragma once

#include "entry/DLLBaseCtrller.h"
#include "entry/ProgramWindow.h"

#include <QString>

// Constructs a controller (plain constructor).
using TDLLControllerClass = TDLLBaseController* (*)();

// Process-wide class registry, filled by the unit initialisations of the library. Defined here (inline)
// so that the program window unit registers its class without linking the entry library.
inline TDLLControllerClass DLLControllerClass = nullptr; // set by the controller unit
inline TfrmRadicalClass frmRadicalClass = nullptr;       // set by the program window unit

// The library's interface version that the work center must answer to DependencyVersion.
inline constexpr int kDLLInterfaceVersion = 8000;
// The older build accepts every work center whose DependencyVersion divided by 100 gives this.
inline constexpr int kOlderInterfaceSeries = 70;

// Returns a new controller of DLLControllerClass; raises when no controller class is registered.
extern "C" __attribute__((visibility("default"))) TDLLBaseController* GetController();

// Full file name of the library (or executable) that holds this code.
QString GetModuleFileName();
