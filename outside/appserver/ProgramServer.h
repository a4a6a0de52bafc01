// The program server object "TRIVON.Class1": one per client connection. After Connect it holds the
// session (user, company, database, program), the program's metadata and the providers pvdMain,
// pvdColor and pvdConSave.
#pragma once

#include "Providers.h"
#include "Storage.h"
#include "platform/Automation.h"

#include <map>
#include <memory>

namespace kvxsrv {

// Codes returned by Connect.
enum ConnectCode {
    kConnected = 0,
    kUnknownUser = 1,
    kUnknownCompany = 2,
    kWrongDatabase = 3,
    kUnknownProgram = 4,
    kNoRight = 5,
    kStorageFailed = 9,
};

class ProgramServer : public kvx::DispatchObject, public kvx::ProviderEndpoint {
public:
    explicit ProgramServer(StorageConfig config);
    ~ProgramServer() override;

    // ProviderEndpoint
    kvx::Variant dataRequest(const QString& provider, const kvx::Variant& data) override;
    kvx::DataPacket getRecords(const QString& provider, int count) override;
    kvx::ApplyResult applyUpdates(const QString& provider, const kvx::Delta& delta, int maxErrors) override;

    int connect(const QString& prog, const QString& user, const QString& company, const QString& dbName);
    QString lastError() const { return lastError_; }
    QString svrData() const;

private:
    struct Session {
        QString user, userName, group, groupList, company, companyName, dbName, prog, progName;
        QString table, keys, select, detailSelect, detailKeys, detailTable, headKeys;
        int maxRecord = 20;
        QString powerData, exPower, baseLimited = QStringLiteral("N");
        bool canAdd = true, canEdit = true, canDelete = true;
    };

    StorageConfig config_;
    std::shared_ptr<Storage> storage_;
    std::unique_ptr<Session> session_;
    std::map<QString, std::unique_ptr<TableProvider>> providers_; // lower-case names
    int topRow_ = 0;
    QString lastError_;

    Storage& storage();
    TableProvider& provider(const QString& name);
    void requireSession() const;
    void detachAll();
    void createProviders();
    QList<TableProvider::Computed> colourColumns(const QStringList& takenNames);
    QString writeScheme(const kvx::VariantList& args);
    QString deleteScheme(const kvx::VariantList& key);
    QString renameScheme(const kvx::VariantList& oldKey, const kvx::VariantList& newKey);
    int fail(int code, const QString& reason);
};

// The lookup server "Halvex.Class1": connects for a user and company and answers lookups defined in
// F2LINK.
class LookupServer : public kvx::DispatchObject {
public:
    explicit LookupServer(StorageConfig config);

private:
    StorageConfig config_;
    std::shared_ptr<Storage> storage_;
    QString user_, company_;
};

// Creates a server object by program identifier ("TRIVON.Class1", "Halvex.Class1", any case);
// nullptr for an unknown identifier.
std::shared_ptr<kvx::Dispatch> createServerObject(const QString& progid, const StorageConfig& config);

} // namespace kvxsrv
