// The counter server object "KvxCounter.Class1": the application-server side of the shell's work-center
// services. It runs the counter's named server functions (GETCOUNTER), the validator's table functions,
// system information, the message catalogue, program access checks for starting programs, lookup rows,
// common phrases and the document list. Reached in process or over the socket like the program server.
#pragma once

#include "ReadAhead.h"
#include "Storage.h"
#include "platform/Automation.h"

#include <memory>

namespace kvxsrv {

class CounterServer : public kvx::DispatchObject {
public:
    explicit CounterServer(StorageConfig config);
    ~CounterServer() override;

    // Hands out the answer of the read-ahead set when it holds this call (ReadAheadAnswers::take), else
    // runs the call.
    kvx::Variant invoke(const QString& name, kvx::VariantList& args) override;

    // Runs a named counter function; `context` is [company, database]. Unknown names raise
    // AutomationError naming the function.
    kvx::Variant counter(const QString& name, const kvx::Variant& params, const kvx::Variant& context);
    // Names GETCOUNTER knows (compared without case).
    static QStringList counterNames();

    // System parameters of a company: a two-dimensional array, row 0 names, row 1 values.
    kvx::Variant sysInfo(const QString& company);

private:
    StorageConfig config_;
    std::shared_ptr<Storage> storage_;
    int productId_ = 3;
    QString baseLimited_ = QStringLiteral("N");
    std::shared_ptr<ReadAheadAnswers> readAhead_; // answers this object hands out first (UseReadAhead)

    Storage& storage();
    kvx::Variant readAhead(const kvx::VariantList& args);
    kvx::Variant useReadAhead(const kvx::VariantList& args);
    QString ownUser(const QString& user) const;
    QString companyDatabase(const QString& company);
    void checkContext(const kvx::Variant& context);
    kvx::Variant udfData(const kvx::Variant& params);
    kvx::Variant programAccess(const QString& user, const QString& company, const QString& program);
    kvx::Variant lookupRows(const QString& code, const QString& selector);
    kvx::Variant documents(const QString& user, int mode);
};

std::shared_ptr<kvx::Dispatch> createCounterServer(const StorageConfig& config);

} // namespace kvxsrv
