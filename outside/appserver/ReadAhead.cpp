#include "ReadAhead.h"

#include "CounterServer.h"

#include <QFileInfo>
#include <QLoggingCategory>

namespace kvxsrv {

namespace {
Q_LOGGING_CATEGORY(lcReadAhead, "kvx.appserver")

bool sameMethod(const QString& a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

bool sameArgs(const kvx::VariantList& a, const kvx::VariantList& b) {
    if (a.size() != b.size()) return false;
    for (int i = 0; i < a.size(); ++i)
        if (!a[i].identical(b[i])) return false;
    return true;
}

[[noreturn]] void noMembers(const QString& name) {
    throw kvx::AutomationError(
        QStringLiteral("'%1' not supported by the counter's read-ahead answers").arg(name).toStdString());
}
} // namespace

bool ReadAheadAnswers::isReadOnly(const Call& call) {
    // CheckValue and QueryData run the validator's table functions (lookups); GetSysInfo reads ADMSP.
    // None of them reads the object's ProductID or BaseLimited.
    for (const char* m : {"CheckValue", "QueryData", "GetSysInfo"})
        if (sameMethod(call.method, QLatin1String(m))) return true;
    if (!sameMethod(call.method, QLatin1String("GETCOUNTER")) || call.args.isEmpty()) return false;
    const kvx::Variant name = call.args.first();
    if (!name.isString()) return false;
    // SimpleSQL runs one guarded SELECT; GetUserDefine reads a stored setting.
    for (const char* f : {"SimpleSQL", "GetUserDefine", "GetSysInfo"})
        if (sameMethod(name.toString().trimmed(), QLatin1String(f))) return true;
    return false;
}

std::shared_ptr<ReadAheadAnswers> ReadAheadAnswers::compute(const StorageConfig& config,
                                                            const QList<Call>& calls) {
    auto set = std::make_shared<ReadAheadAnswers>();
    std::shared_ptr<Storage> db; // the server's connection too, when it shares (in process)
    std::unique_ptr<CounterServer> server;
    try {
        // Never create, migrate or log in to a database here: an existing SQLite file of the latest
        // schema, or nothing.
        StorageConfig own = config;
        own.runMigrations = false;
        own.connection.reset();
        const DatabaseLocation where = own.resolveLocation();
        if (where.isPostgres() || !QFileInfo::exists(where.file)) return set;
        own.location = std::make_shared<DatabaseLocation>(where);
        db = openStorage(own);
        if (db->schemaVersion() != latestSchemaVersion()) return set;
        server = std::make_unique<CounterServer>(own);
    } catch (const std::exception& e) {
        qCDebug(lcReadAhead) << "nothing read ahead:" << e.what();
        return set;
    }
    for (const Call& call : calls) {
        if (!isReadOnly(call)) continue;
        Answer a;
        a.call = call;
        a.generation = Storage::writeGeneration();
        a.began = std::chrono::steady_clock::now();
        a.argsAfter = call.args;
        try {
            a.result = server->invoke(call.method, a.argsAfter);
        } catch (const std::exception& e) {
            // The caller runs the call again and raises, and logs, where it always has.
            qCDebug(lcReadAhead) << "not read ahead:" << call.method << e.what();
            continue;
        }
        set->answers_.append(std::move(a));
    }
    return set;
}

bool ReadAheadAnswers::take(const QString& method, kvx::VariantList& args, kvx::Variant& result) {
    std::lock_guard lock(mutex_);
    for (Answer& a : answers_) {
        if (a.taken || !sameMethod(a.call.method, method) || !sameArgs(a.call.args, args)) continue;
        a.taken = true; // handed out once, or found stale
        if (a.generation != Storage::writeGeneration()) return false;
        if (std::chrono::steady_clock::now() - a.began > kMaxAge) return false;
        result = std::move(a.result);
        args = std::move(a.argsAfter);
        ++taken_;
        return true;
    }
    return false;
}

int ReadAheadAnswers::answered() const {
    std::lock_guard lock(mutex_);
    return int(answers_.size());
}

int ReadAheadAnswers::taken() const {
    std::lock_guard lock(mutex_);
    return taken_;
}

kvx::Variant ReadAheadAnswers::invoke(const QString& name, kvx::VariantList&) {
    noMembers(name);
}

kvx::Variant ReadAheadAnswers::getProperty(const QString& name) {
    noMembers(name);
}

void ReadAheadAnswers::setProperty(const QString& name, const kvx::Variant&) {
    noMembers(name);
}

QString ReadAheadAnswers::className() const {
    return QStringLiteral("KvxCounter.ReadAhead");
}

} // namespace kvxsrv
