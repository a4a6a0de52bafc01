// Unit initialisation of the language layer in the program library: the extended Big5 mapping is installed
// when the library is loaded and removed when it is unloaded. Nothing references this file, so executables
// that link qldi_lang (tests, tools) leave it out; the program library links the archive whole.
#include "FixWideCharCodepage.h"

namespace {
const kvx::lang::TFixWideCharCodepage kModuleMapping;
} // namespace
