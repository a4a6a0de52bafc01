// Program window unit of the sample program library (built as lib/radical-sample/QLDI05C.so): registers
// the sample radical window, which reports its session state in a message box when first shown.
#include "SampleRadicalForm.h"

#include "entry/DLLFunc.h"

namespace {
TProgramWindow* NewSampleWindow() {
    auto* w = TKVForm::Create<TfrmRadicalSample>();
    // Timing runs print the first paint instead of showing the report box.
    w->ReportFirstPaint = qEnvironmentVariableIsSet("KVX_REPORT_FIRST_PAINT");
    w->ReportOnShow = !w->ReportFirstPaint;
    w->ApplyScreenSettings = true;
    return w;
}
const bool registered = (frmRadicalClass = &NewSampleWindow, true);
} // namespace
