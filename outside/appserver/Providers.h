// Providers of a program server object: record packets with field metadata over one table, the data
// request (condition, order), and applying a delta with optimistic concurrency in one transaction.
#pragma once

#include "Storage.h"
#include "platform/DataPacket.h"

#include <QHash>
#include <QSqlQuery>
#include <memory>
#include <optional>

namespace kvxsrv {

class StatementCache;
class CurrentRows;

// Reconcile error codes (ReconcileError::errorCode).
enum ApplyErrorCode {
    kChangedByOther = 1, // the stored row differs from the row as fetched
    kDeletedByOther = 2, // the row no longer exists
    kConstraint = 3,     // the database refused the change (duplicate key, missing value, ...)
    kTooLong = 4,        // a text exceeds its column size in the database code page
    kNotPermitted = 5,   // the user's rights do not allow the change
    kBadDelta = 6,       // the delta names unknown fields or lacks the key
};

// detachCursor (Storage::CursorHolder) reads what is left of an open cursor into memory, so that the
// connection may write.
class Provider : public Storage::CursorHolder {
public:
    virtual kvx::Variant dataRequest(const kvx::Variant& data) = 0;
    virtual kvx::DataPacket getRecords(int count) = 0;
    virtual kvx::ApplyResult applyUpdates(const kvx::Delta& delta, int maxErrors) = 0;
};

class TableProvider : public Provider {
public:
    struct Computed {
        QString name;
        QString expression; // trusted server-side SQL
    };
    struct Options {
        QString table;
        QStringList keyFields;
        QStringList columns; // empty: every column of the table in declared order
        QList<Computed> computed;
        QHash<QString, QVariant> pinned; // column = value: rows outside are neither read nor written
        // Trusted server-side SQL that replaces the pinned columns for reading (writes stay pinned), so a
        // provider can show more rows than it may change.
        QString readScope;
        QVariantList readScopeBinds;
        bool readOnly = false;
        bool canInsert = true, canModify = true, canDelete = true;
        // The signed-in user's side of a maintained table: the audit columns are the server's, and with
        // record-level rights a change or deletion takes its right from the record creator's group.
        struct Audit {
            bool on = false;
            QString user, group, company, groupList;
            bool recordLevel = false;
            QString own, same, other; // rights characters as in POWER_DATA
        } audit;
    };

    TableProvider(Storage& storage, Options options);
    ~TableProvider() override;
    TableProvider(const TableProvider&) = delete;
    TableProvider& operator=(const TableProvider&) = delete;

    kvx::Variant dataRequest(const kvx::Variant& data) override;
    kvx::DataPacket getRecords(int count) override;
    kvx::ApplyResult applyUpdates(const kvx::Delta& delta, int maxErrors) override;
    void detachCursor() override;

    void setPinned(const QHash<QString, QVariant>& pinned);
    void setReadScope(const QString& sql, const QVariantList& binds);
    void setRowLimit(int rows) { rowLimit_ = rows; }
    // Rows matching the current request.
    int recordCount();
    const QList<kvx::FieldDesc>& fields() const { return fields_; }
    QString condition() const { return condition_; }
    QString order() const { return order_; }

private:
    Storage& storage_;
    Options opt_;
    QList<kvx::FieldDesc> fields_;
    QStringList tableColumns_; // fields_ that are table columns, in order
    QString condition_, order_;
    int rowLimit_ = 0;
    std::unique_ptr<QSqlQuery> cursor_;
    // The statement dataRequest checked, prepared and not yet run (SQLite), and its text: openCursor runs
    // it when its statement is still the same.
    std::unique_ptr<QSqlQuery> checked_;
    QString checkedSql_;
    QList<kvx::Row> buffered_;
    bool exhausted_ = false;
    QStringList keySelectKeys_; // the keys keySelect_ finds a row by
    QString keySelect_;
    bool started_ = false;

    QString whereClause(QVariantList& binds) const;
    QString selectStatement(QVariantList& binds) const;
    void openCursor();
    kvx::Row readRow(const QSqlQuery& q) const;
    // The stored row of the key; `cache` holds the statement prepared once per apply.
    std::optional<kvx::Row> currentRow(const QStringList& keys, const QVariantList& keyValues,
                                       StatementCache* cache = nullptr);
    // Reads the stored rows of a batch of keys (the apply's next changes and deletions) in one statement.
    // `batchLoose` holds the loose spelling of each key (see CurrentRows).
    void prefetchRows(CurrentRows& rows, const QStringList& keys, const QList<QVariantList>& batch,
                      const QStringList& batchLoose, StatementCache& cache);
    kvx::Variant toVariant(const QVariant& v, kvx::FieldType t) const;
};

QVariant toSqlValue(const kvx::Variant& v);
kvx::FieldType fieldTypeOf(const QString& declType, int& size);

} // namespace kvxsrv
