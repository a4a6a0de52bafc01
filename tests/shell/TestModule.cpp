// Program window unit of the test program library QLDI99C.so: registers the test window class, which
// reports its state in a message box when it is first shown.
#include "../entry/TestWindow.h"

#include "entry/DLLFunc.h"

namespace {
TProgramWindow* NewReportingWindow() {
    auto* w = new TestWindow;
    w->ReportOnShow = true;
    return w;
}
const bool registered = (frmRadicalClass = &NewReportingWindow, true);
} // namespace
