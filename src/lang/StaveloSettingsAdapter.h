// Reads the converter's settings and the client path from the client or server configuration: the
// registry key Software\KVX\Stavelo and "StaveloC.ini" / "StaveloS.ini" in the configuration folder,
// following the same rules and defaults as the configuration readers of the server layer.
#pragma once

#include "CodePageSettings.h"

namespace kvx::lang {

class StaveloSettingsAdapter {
public:
    // Reads the client configuration, or the server configuration when `server` is true.
    explicit StaveloSettingsAdapter(bool server = false);

    const CodePageSettings& codePages() const { return codePages_; }
    // ClientPath (or ServerPath) ending in "/", empty when the registry has none.
    const QString& installPath() const { return installPath_; }

private:
    CodePageSettings codePages_;
    QString installPath_;
};

} // namespace kvx::lang
