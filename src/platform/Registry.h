// Registry: the machine registry as an INI-format file, one section per key path below the root
// (section "Software\KVX\Stavelo" for HKEY_LOCAL_MACHINE\Software\KVX\Stavelo).
//
// Location: $KVX_REGISTRY, else /etc/kvx/registry.ini, else ~/.config/kvx/registry.ini (the first that
// exists; the last when none does). Program identifiers of automation objects live in sections
// "Classes\<progid>" with the values Library and Factory.
#pragma once

#include "IniFile.h"

#include <memory>

namespace kvx {

class Registry {
public:
    static QString filePath();

    // Opens a key for reading; false when the registry file or the key does not exist.
    bool openKeyReadOnly(const QString& keyPath);
    bool keyExists(const QString& keyPath);
    void closeKey();
    bool isOpen() const { return !key_.isEmpty(); }

    bool valueExists(const QString& name) const;
    // Value of the open key; empty when the value (or the open key) is missing.
    QString readString(const QString& name) const;

private:
    std::unique_ptr<IniFile> file_;
    QString key_;
    IniFile& file();
};

// Normalises a key path: "\" separators, no leading or trailing "\", the HKEY_LOCAL_MACHINE root dropped.
QString normaliseKeyPath(const QString& keyPath);

} // namespace kvx
