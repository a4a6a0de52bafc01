// The factory the automation registry calls for "Excel.Application".
#include "SpreadsheetApp.h"

extern "C" __attribute__((visibility("default"))) kvx::Dispatch* CreateSpreadsheetApplication(const char*) {
    return new kvxsheet::ExcelApplication;
}
