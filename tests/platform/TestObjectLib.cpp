// A tiny automation class for the CreateOleObject tests.
#include "platform/Automation.h"

namespace {
class Counter : public kvx::DispatchObject {
public:
    Counter() : DispatchObject("Test.Counter") {
        addMethod("Add", [this](kvx::VariantList& a) {
            total_ += arg(a, 0).toInt();
            if (a.size() > 1) a[1] = total_; // by-reference result
            return kvx::Variant(total_);
        });
        addProperty(
            "Total", [this] { return kvx::Variant(total_); },
            [this](const kvx::Variant& v) { total_ = v.toInt(); });
        addProperty("Version", [] { return kvx::Variant(8000); });
    }

private:
    qint64 total_ = 0;
};
} // namespace

extern "C" __attribute__((visibility("default"))) kvx::Dispatch* CreateTestCounter(const char*) {
    return new Counter;
}
