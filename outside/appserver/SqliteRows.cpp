#include "SqliteRows.h"

#include <QDateTime>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <sqlite3.h>

namespace kvxsrv {

using kvx::Variant;

Variant fieldValue(const QVariant& v, kvx::FieldType t) {
    if (v.isNull()) return Variant::null();
    switch (t) {
    case kvx::FieldType::Integer:
        return Variant(v.toLongLong());
    case kvx::FieldType::Float:
        return Variant(v.toDouble());
    case kvx::FieldType::Bytes:
    case kvx::FieldType::VarBytes:
    case kvx::FieldType::Blob:
        return Variant::fromBytes(v.toByteArray());
    default:
        return Variant(v.toString());
    }
}

sqlite3* sqliteHandle(const QSqlDatabase& db) {
    if (!db.driver()) return nullptr;
    const QVariant v = db.driver()->handle();
    if (v.isValid() && qstrcmp(v.typeName(), "sqlite3*") == 0) return *static_cast<sqlite3* const*>(v.data());
    return nullptr;
}

SqliteStatement::SqliteStatement(sqlite3* db, const QString& sql) : db_(db) {
    const QByteArray text = sql.toUtf8();
    if (sqlite3_prepare_v3(db_, text.constData(), int(text.size()), SQLITE_PREPARE_PERSISTENT, &stmt_,
                           nullptr) != SQLITE_OK) {
        keepError();
        sqlite3_finalize(stmt_);
        stmt_ = nullptr;
    }
}

SqliteStatement::~SqliteStatement() {
    sqlite3_finalize(stmt_);
}

void SqliteStatement::keepError() {
    error_ = QString::fromUtf8(sqlite3_errmsg(db_));
    if (error_.isEmpty()) error_ = QStringLiteral("SQLite error");
}

namespace {
// Null as the driver takes it: an empty variant, or a null text, byte string, date or time in one.
bool boundAsNull(const QVariant& v) {
    if (v.isNull()) return true;
    switch (v.typeId()) {
    case QMetaType::QString:
        return static_cast<const QString*>(v.constData())->isNull();
    case QMetaType::QByteArray:
        return static_cast<const QByteArray*>(v.constData())->isNull();
    case QMetaType::QDate:
        return static_cast<const QDate*>(v.constData())->isNull();
    case QMetaType::QTime:
        return static_cast<const QTime*>(v.constData())->isNull();
    case QMetaType::QDateTime:
        return static_cast<const QDateTime*>(v.constData())->isNull();
    default:
        return false;
    }
}
} // namespace

bool SqliteStatement::bind(int index, const QVariant& value) {
    const int i = index + 1;
    int rc;
    if (boundAsNull(value)) {
        rc = sqlite3_bind_null(stmt_, i);
    } else {
        switch (value.typeId()) {
        case QMetaType::QByteArray: {
            const QByteArray b = value.toByteArray();
            rc = sqlite3_bind_blob64(stmt_, i, b.constData(), sqlite3_uint64(b.size()), SQLITE_TRANSIENT);
            break;
        }
        case QMetaType::Int:
        case QMetaType::Bool:
            rc = sqlite3_bind_int(stmt_, i, value.toInt());
            break;
        case QMetaType::Double:
            rc = sqlite3_bind_double(stmt_, i, value.toDouble());
            break;
        case QMetaType::UInt:
        case QMetaType::LongLong:
            rc = sqlite3_bind_int64(stmt_, i, value.toLongLong());
            break;
        default: {
            // Texts as UTF-16, as the driver binds them (other types by their text).
            const QString s = value.toString();
            rc = sqlite3_bind_text16(stmt_, i, s.utf16(), int(s.size() * 2), SQLITE_TRANSIENT);
            break;
        }
        }
    }
    if (rc != SQLITE_OK) keepError();
    return rc == SQLITE_OK;
}

bool SqliteStatement::next() {
    const int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) return true;
    if (rc != SQLITE_DONE) keepError();
    return false;
}

void SqliteStatement::reset() {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
    error_.clear();
}

int SqliteStatement::columnCount() const {
    return sqlite3_column_count(stmt_);
}

QVariant SqliteStatement::qtValue(int c) const {
    switch (sqlite3_column_type(stmt_, c)) {
    case SQLITE_INTEGER:
        return QVariant(qlonglong(sqlite3_column_int64(stmt_, c)));
    case SQLITE_FLOAT:
        return QVariant(sqlite3_column_double(stmt_, c));
    case SQLITE_NULL:
        return QVariant(QMetaType::fromType<QString>());
    case SQLITE_BLOB:
        return QVariant(QByteArray(static_cast<const char*>(sqlite3_column_blob(stmt_, c)),
                                   sqlite3_column_bytes(stmt_, c)));
    default: {
        // Valid UTF-8 decodes alike here and in SQLite; anything else as the driver has SQLite decode it.
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, c));
        const int n = sqlite3_column_bytes(stmt_, c);
        if (n == 0) return QVariant(QStringLiteral(""));
        if (QByteArrayView(text, n).isValidUtf8()) return QVariant(QString::fromUtf8(text, n));
        return QVariant(QString(reinterpret_cast<const QChar*>(sqlite3_column_text16(stmt_, c)),
                                sqlite3_column_bytes16(stmt_, c) / 2));
    }
    }
}

Variant SqliteStatement::value(int c, kvx::FieldType t) const {
    const int type = sqlite3_column_type(stmt_, c);
    if (type == SQLITE_NULL) return Variant::null();
    const bool bytes =
        t == kvx::FieldType::Bytes || t == kvx::FieldType::VarBytes || t == kvx::FieldType::Blob;
    // The usual pairs directly; a value stored in another class than its field's goes the long way.
    if (type == SQLITE_INTEGER && t == kvx::FieldType::Integer)
        return Variant(qint64(sqlite3_column_int64(stmt_, c)));
    if (type == SQLITE_INTEGER && t == kvx::FieldType::Float)
        return Variant(double(sqlite3_column_int64(stmt_, c)));
    if (type == SQLITE_FLOAT && t == kvx::FieldType::Float) return Variant(sqlite3_column_double(stmt_, c));
    if (type == SQLITE_TEXT && t != kvx::FieldType::Integer && t != kvx::FieldType::Float && !bytes) {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, c));
        const int n = sqlite3_column_bytes(stmt_, c);
        if (n == 0) return Variant(QStringLiteral(""));
        if (QByteArrayView(text, n).isValidUtf8()) return Variant(QString::fromUtf8(text, n));
    }
    return fieldValue(qtValue(c), t);
}

} // namespace kvxsrv
