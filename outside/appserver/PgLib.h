// The few libpq calls the server makes on the PostgreSQL driver's own connection (transaction status,
// connection status, cancel requests), resolved at run time from the libpq that Qt's QPSQL driver has
// already loaded. The server library itself does not link libpq: a server on SQLite, as every program
// started against 127.0.0.1 runs it in process, never loads libpq and its TLS, Kerberos and LDAP
// dependencies (about 17 ms of CPU at each program start).
#pragma once

#include <QSqlDatabase>
#include <libpq-fe.h>

namespace kvxsrv::pq {

struct Api {
    decltype(&PQstatus) status = nullptr;
    decltype(&PQtransactionStatus) transactionStatus = nullptr;
    decltype(&PQgetCancel) getCancel = nullptr;
    decltype(&PQcancel) cancel = nullptr;
    decltype(&PQfreeCancel) freeCancel = nullptr;
};

// The functions, loaded at the first call; nullptr (logged once) when libpq or one of them is missing.
const Api* api();

// The libpq connection under a QPSQL connection; nullptr for any other driver, or when the functions
// cannot be loaded (then the caller treats the connection as one it cannot inspect).
PGconn* connectionOf(QSqlDatabase& db);

} // namespace kvxsrv::pq
