// Linked only into the older program library (and the tests of that variant): makes it the older build.
#include "server/BuildVariant.h"

namespace kvx {

BuildVariant ModuleBuildVariant() noexcept {
    return BuildVariant::Older;
}

} // namespace kvx
