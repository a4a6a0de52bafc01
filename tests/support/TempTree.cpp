#include "TempTree.h"

#include "PgTestDatabase.h"

#include "platform/IniFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace kvxtest {

TempTree::TempTree(bool withRegistryKey) {
    QDir(dir_.path()).mkpath("client");
    QDir(dir_.path()).mkpath("server");
    hadRegistry_ = qEnvironmentVariableIsSet("KVX_REGISTRY");
    savedRegistry_ = qgetenv("KVX_REGISTRY");
    qputenv("KVX_REGISTRY", QFile::encodeName(registryPath()));
    if (withRegistryKey) {
        setRegistryValue("ClientPath", clientPath());
        setRegistryValue("ServerPath", serverPath());
        setRegistryValue("ProfileType", "0");
    }
    if (PgTestDatabase::wanted()) {
        const QString passFile = serverPath() + "pgpass";
        pg_ = std::make_unique<PgTestDatabase>(passFile);
        writeText("server/StaveloS.ini", pg_->iniSection("pgpass"));
        hadPassFile_ = qEnvironmentVariableIsSet("KVX_DB_PASSFILE");
        savedPassFile_ = qgetenv("KVX_DB_PASSFILE");
        qputenv("KVX_DB_PASSFILE", QFile::encodeName(passFile));
    }
}

TempTree::~TempTree() {
    if (pg_) {
        if (hadPassFile_)
            qputenv("KVX_DB_PASSFILE", savedPassFile_);
        else
            qunsetenv("KVX_DB_PASSFILE");
    }
    if (hadRegistry_)
        qputenv("KVX_REGISTRY", savedRegistry_);
    else
        qunsetenv("KVX_REGISTRY");
}

QString TempTree::writeFile(const QString& relPath, const QByteArray& bytes) {
    const QString path = dir_.path() + "/" + relPath;
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate)) f.write(bytes);
    return path;
}

void TempTree::setRegistryValue(const QString& name, const QString& value, const QString& key) {
    kvx::IniFile(registryPath()).writeString(key, name, value);
}

ScopedEnv::ScopedEnv(const char* name, const QByteArray& value)
    : name_(name), old_(qgetenv(name)), had_(qEnvironmentVariableIsSet(name)) {
    qputenv(name, value);
}

ScopedEnv::~ScopedEnv() {
    if (had_)
        qputenv(name_, old_);
    else
        qunsetenv(name_);
}

} // namespace kvxtest
