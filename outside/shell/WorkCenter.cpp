#include "WorkCenter.h"

TPellanWorkCenter::TPellanWorkCenter() : DispatchObject(QStringLiteral("PellanWorkCenter.Manager")) {
    addMethod(QStringLiteral("DependencyVersion"),
              [](kvx::VariantList&) { return kvx::Variant(InterfaceVersion); });
}

kvx::Dispatch* CreatePellanWorkCenter(const char*) {
    return new TPellanWorkCenter;
}
