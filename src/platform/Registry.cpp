#include "Registry.h"

#include <QDir>
#include <QFileInfo>

namespace kvx {

QString Registry::filePath() {
    const QString env = qEnvironmentVariable("KVX_REGISTRY");
    if (!env.isEmpty()) return env;
    const QString system = QStringLiteral("/etc/kvx/registry.ini");
    if (QFileInfo::exists(system)) return system;
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (config.isEmpty()) config = QDir::homePath() + QStringLiteral("/.config");
    return config + QStringLiteral("/kvx/registry.ini");
}

QString normaliseKeyPath(const QString& keyPath) {
    QString k = keyPath;
    k.replace(QLatin1Char('/'), QLatin1Char('\\'));
    while (k.startsWith(QLatin1Char('\\')))
        k.remove(0, 1);
    while (k.endsWith(QLatin1Char('\\')))
        k.chop(1);
    for (const char* root : {"HKEY_LOCAL_MACHINE\\", "HKLM\\"})
        if (k.startsWith(QLatin1String(root), Qt::CaseInsensitive)) k = k.mid(int(strlen(root)));
    return k;
}

IniFile& Registry::file() {
    if (!file_) file_ = std::make_unique<IniFile>(filePath());
    return *file_;
}

bool Registry::keyExists(const QString& keyPath) {
    return file().sectionExists(normaliseKeyPath(keyPath));
}

bool Registry::openKeyReadOnly(const QString& keyPath) {
    key_.clear();
    const QString k = normaliseKeyPath(keyPath);
    if (!file().exists() || !file().sectionExists(k)) return false;
    key_ = k;
    return true;
}

void Registry::closeKey() {
    key_.clear();
}

bool Registry::valueExists(const QString& name) const {
    return file_ && !key_.isEmpty() && file_->valueExists(key_, name);
}

QString Registry::readString(const QString& name) const {
    if (!file_ || key_.isEmpty()) return {};
    return file_->readString(key_, name);
}

} // namespace kvx
