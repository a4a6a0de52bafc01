#include "PgLib.h"

#include <QLoggingCategory>
#include <QSqlDriver>
#include <QVariant>
#include <dlfcn.h>

Q_LOGGING_CATEGORY(lcPgLib, "kvx.appserver")

namespace kvxsrv::pq {

namespace {

template <typename Fn> bool resolve(void* lib, const char* name, Fn& fn) {
    fn = reinterpret_cast<Fn>(::dlsym(lib, name));
    if (!fn) qCWarning(lcPgLib) << "libpq lacks" << name;
    return fn != nullptr;
}

Api load() {
    Api a;
    // The soname the QPSQL driver links: when a PostgreSQL connection exists, this finds the loaded copy.
    void* lib = ::dlopen("libpq.so.5", RTLD_NOW | RTLD_LOCAL);
    if (!lib) {
        qCWarning(lcPgLib) << "cannot load libpq:" << ::dlerror();
        return {};
    }
    // The library stays loaded for the life of the process, as the driver keeps it.
    if (!resolve(lib, "PQstatus", a.status) || !resolve(lib, "PQtransactionStatus", a.transactionStatus) ||
        !resolve(lib, "PQgetCancel", a.getCancel) || !resolve(lib, "PQcancel", a.cancel) ||
        !resolve(lib, "PQfreeCancel", a.freeCancel))
        return {};
    return a;
}

} // namespace

const Api* api() {
    static const Api loaded = load();
    return loaded.status ? &loaded : nullptr;
}

PGconn* connectionOf(QSqlDatabase& db) {
    if (!db.driver()) return nullptr;
    const QVariant v = db.driver()->handle();
    if (!v.isValid() || (qstrcmp(v.typeName(), "PGconn*") != 0 && qstrcmp(v.typeName(), "pg_conn*") != 0))
        return nullptr;
    PGconn* conn = *static_cast<PGconn* const*>(v.data());
    return conn && api() ? conn : nullptr;
}

} // namespace kvxsrv::pq
