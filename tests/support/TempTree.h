// TempTree: a temporary installation tree (client and server folders) with its own registry file,
// installed as $KVX_REGISTRY for the lifetime of the object.
#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>
#include <memory>

namespace kvxtest {

class PgTestDatabase;

// With KVX_TEST_PG set (PgTestDatabase.h), the server folder's StaveloS.ini names a new PostgreSQL
// database of the test server instead of the SQLite file; KVX_DB_PASSFILE names its password file.
class TempTree {
public:
    // Creates client/ and server/ and a registry whose Stavelo key points at them.
    explicit TempTree(bool withRegistryKey = true);
    ~TempTree();

    QString root() const { return dir_.path(); }
    QString clientPath() const { return dir_.path() + "/client/"; } // ends with '/'
    QString serverPath() const { return dir_.path() + "/server/"; }
    QString registryPath() const { return dir_.path() + "/registry.ini"; }
    // The PostgreSQL database of this tree (null on SQLite).
    const PgTestDatabase* postgres() const { return pg_.get(); }

    // Writes a file below the tree (folders are created); bytes are written as given.
    QString writeFile(const QString& relPath, const QByteArray& bytes);
    QString writeText(const QString& relPath, const QString& utf8Text) {
        return writeFile(relPath, utf8Text.toUtf8());
    }
    // Sets a value of the registry's Stavelo key (or of another key path).
    void setRegistryValue(const QString& name, const QString& value,
                          const QString& key = QStringLiteral("Software\\KVX\\Stavelo"));

private:
    QTemporaryDir dir_;
    QByteArray savedRegistry_;
    bool hadRegistry_ = false;
    std::unique_ptr<PgTestDatabase> pg_;
    QByteArray savedPassFile_;
    bool hadPassFile_ = false;
};

// Sets an environment variable for a scope and restores it afterwards.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const QByteArray& value);
    ~ScopedEnv();

private:
    const char* name_;
    QByteArray old_;
    bool had_;
};

} // namespace kvxtest
