// What the single-table window tests on a scratch program of the real application server share: the
// shell's work center reduced to what the window uses, and an installation tree whose registry creates
// the application server, the counter and the spreadsheet object in process.
#pragma once

#include "TempTree.h"

#include "platform/Automation.h"

namespace kvxtest {

// The application server's counter object serves as counter and validator; message texts are their kind
// and code.
class ScratchWorkCenter : public kvx::DispatchObject {
public:
    std::shared_ptr<kvx::Dispatch> counter = kvx::CreateOleObject("KvxCounter.Class1");
    ScratchWorkCenter() : kvx::DispatchObject("Test.WorkCenter") {
        using kvx::Variant;
        using kvx::VariantList;
        addMethod("Com_Validator", [this](VariantList&) { return Variant(counter); });
        addMethod("Com_Counter", [this](VariantList&) { return Variant(counter); });
        addMethod("Com_F2Window", [](VariantList&) { return Variant(); });
        addMethod("GetMessage",
                  [](VariantList& a) { return Variant(a[0].toString() + "/" + a[1].toString() + " %s"); });
        addMethod("VersionType", [](VariantList&) { return Variant(2); });
        addMethod("ProductID", [](VariantList&) { return Variant(5); });
    }
};

// Registers the in-process server classes and points the client at 127.0.0.1.
inline void registerScratchServer(TempTree& tree) {
    for (const char* id : {"TRIVON.Class1", "Halvex.Class1", "KvxCounter.Class1"})
        tree.setRegistryValue("Library", KVX_APPSERVER_LIB, QStringLiteral("Classes\\") + id);
    tree.setRegistryValue("Factory", "CreateTrivonServer", "Classes\\TRIVON.Class1");
    tree.setRegistryValue("Factory", "CreateHalvexServer", "Classes\\Halvex.Class1");
    tree.setRegistryValue("Factory", "CreateCounterServer", "Classes\\KvxCounter.Class1");
    tree.setRegistryValue("Library", KVX_SPREADSHEET_LIB, "Classes\\Excel.Application");
    tree.setRegistryValue("Factory", "CreateSpreadsheetApplication", "Classes\\Excel.Application");
    tree.writeText("client/StaveloC.ini", "[Server Information]\nComputerName=127.0.0.1\n");
}

} // namespace kvxtest
