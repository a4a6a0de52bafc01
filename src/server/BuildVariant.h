// The module's build variant and the features it switches.
//
// One tree builds two program libraries from the same objects: the current QLDI05C.so and the older one
// (build/lib/older/QLDI05C.so) that sites run beside older shells. The older build accepts the 70xx work
// centers and leaves out colour management, the lookup-server connection, automatic user-defined field
// values, the XML import, the attachment clean-up after a delete, the find dialog and the field help key,
// and exports "资料转Excel(不含格式)" through the spreadsheet application instead of writing a file.
//
// The variant is fixed when the program library is linked: qldi_server carries a weak ModuleBuildVariant()
// that answers Current, and the older library links entry/OlderBuild.cpp, whose definition replaces it.
// So the module libraries are compiled once for both. Each difference is asked, through Features(), only
// where its feature is created or registered (docs/architecture.md lists the places).
#pragma once

namespace kvx {

enum class BuildVariant { Current, Older };

// The variant of the program library this code was linked into.
BuildVariant ModuleBuildVariant() noexcept;

struct ModuleFeatures {
    BuildVariant variant;
    bool colourManagement;   // cdsMainColor, colour rules, colour query form, colour-filter button and menu
    bool lookupServer;       // scLookUpData connected at login
    bool automaticUdfValues; // server-computed user-defined field values (rules of kind Z01)
    bool xmlImport;          // run mode 11 imports the open parameter
    bool attachmentCleanUp;  // ATTACH rows of a deleted record removed
    bool findDialog;         // "快速定位" and Ctrl+F
    bool fieldHelp;          // F1 opens the topic of the focused field
    bool xlsFileExport;      // "资料转Excel(不含格式)" writes a workbook file (else ExportToExcelText)
};

const ModuleFeatures& Features() noexcept;

} // namespace kvx
