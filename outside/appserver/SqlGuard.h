// SqlGuard: client conditions and orders are SQL text by design. They are run only inside one read-only
// SELECT over the tables a provider names: the text is scanned first (quotes respected) and refused with
// a clear reason for a second statement, a comment, unbalanced parentheses or a statement keyword; the
// assembled SELECT is then prepared under an authorizer that allows reading the named tables and
// calling ordinary functions only, and it must be a read-only statement.
#pragma once

#include "Storage.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStringList>
#include <stdexcept>

namespace kvxsrv {

class GuardError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Empty when the text may stand as a condition or order; otherwise the reason it is refused.
QString checkClauseText(const QString& text);

// Prepares `sql` on `q` with the authorizer in place, checks that it is read-only and (unless only
// checking) executes it with the bind values. A readable table "*" stands for every table of the main
// database except SQLite's own; "!TABLE" is never readable, even with "*". Raises GuardError with a reason
// the client can show.
void execGuardedSelect(QSqlQuery& q, QSqlDatabase& db, const QString& sql, const QStringList& readableTables,
                       const QVariantList& binds = {}, bool execute = true);
// Runs a statement execGuardedSelect prepared without running it (execute = false) under the same rules,
// with its bind values (SQLite).
void execPreparedGuardedSelect(QSqlQuery& q, QSqlDatabase& db, const QStringList& readableTables,
                               const QVariantList& binds = {});
// The same on the connection of a Storage, whichever its engine. On PostgreSQL the statement runs in a
// read-only transaction with the time limit as statement_timeout, its plan is checked for the tables it
// reads, and a client's SQLite/SQL Server habits ([name], case-blind LIKE) are carried over.
void execGuardedSelect(QSqlQuery& q, Storage& s, const QString& sql, const QStringList& readableTables,
                       const QVariantList& binds = {}, bool execute = true);

} // namespace kvxsrv
