#include "BuildVariant.h"

namespace kvx {

// The current build; entry/OlderBuild.cpp replaces this definition in the older program library.
[[gnu::weak]] BuildVariant ModuleBuildVariant() noexcept {
    return BuildVariant::Current;
}

const ModuleFeatures& Features() noexcept {
    static constexpr ModuleFeatures kCurrent{
        BuildVariant::Current, true, true, true, true, true, true, true, true};
    static constexpr ModuleFeatures kOlder{
        BuildVariant::Older, false, false, false, false, false, false, false, false};
    return ModuleBuildVariant() == BuildVariant::Older ? kOlder : kCurrent;
}

} // namespace kvx
