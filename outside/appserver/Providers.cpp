#include "Providers.h"

#include "SqlGuard.h"
#include "SqliteRows.h"
#include "platform/CodePage.h"

#include <QDate>
#include <QLoggingCategory>
#include <QRegularExpression>
#include <QSet>
#include <QSqlError>
#include <QVarLengthArray>
#include <algorithm>
#include <cmath>
#include <unordered_map>

Q_LOGGING_CATEGORY(lcProviders, "kvx.appserver")

namespace kvxsrv {

using kvx::Variant;

kvx::FieldType fieldTypeOf(const QString& declType, int& size) {
    static const QRegularExpression sized(QStringLiteral("\\((\\d+)"));
    const QString t = declType.toUpper();
    size = 0;
    if (t.contains(QLatin1String("CHAR")) || t.contains(QLatin1String("TEXT")) ||
        t.contains(QLatin1String("CLOB"))) {
        const auto m = sized.match(t);
        size = m.hasMatch() ? m.captured(1).toInt() : 0;
        return size > 0 ? kvx::FieldType::String : kvx::FieldType::Memo;
    }
    if (t.contains(QLatin1String("INT"))) return kvx::FieldType::Integer;
    if (t.contains(QLatin1String("BLOB"))) return kvx::FieldType::Blob;
    return kvx::FieldType::Float; // FLOAT, REAL, DOUBLE, NUMERIC, DECIMAL
}

QVariant toSqlValue(const Variant& v) {
    switch (v.type()) {
    case kvx::VarType::Unassigned:
    case kvx::VarType::Null:
        return QVariant();
    case kvx::VarType::Bool:
        return v.toBool() ? 1 : 0;
    case kvx::VarType::Int:
        return v.toInt();
    case kvx::VarType::Double:
    case kvx::VarType::Currency:
    case kvx::VarType::Date:
        return v.toDouble();
    case kvx::VarType::ByteString:
        return v.toBytes();
    default: {
        // An empty text is stored as '', never as NULL: a null QString binds as NULL, which a NOT NULL
        // column refuses.
        const QString text = v.toString();
        return text.isNull() ? QVariant(QStringLiteral("")) : QVariant(text);
    }
    }
}

TableProvider::TableProvider(Storage& storage, Options options)
    : storage_(storage), opt_(std::move(options)) {
    const auto cols = storage_.columns(opt_.table);
    if (cols.isEmpty())
        throw StorageError(QStringLiteral("table %1 does not exist").arg(opt_.table).toStdString());
    auto add = [&](const SqlDialect::Column& c) {
        int size = 0;
        const kvx::FieldType type = fieldTypeOf(c.declType, size);
        kvx::FieldDesc f(c.name, type, size);
        f.required = c.notNull;
        f.inKey = opt_.keyFields.contains(c.name, Qt::CaseInsensitive);
        f.readOnly = opt_.readOnly;
        fields_.append(f);
        tableColumns_.append(c.name);
    };
    if (opt_.columns.isEmpty()) {
        for (const auto& c : cols)
            add(c);
    } else {
        for (const QString& name : opt_.columns)
            for (const auto& c : cols)
                if (c.name.compare(name, Qt::CaseInsensitive) == 0) add(c);
    }
    for (const Computed& c : opt_.computed) {
        kvx::FieldDesc f(c.name, kvx::FieldType::String, 255);
        f.readOnly = true;
        fields_.append(f);
    }
    storage_.addCursorHolder(this);
}

TableProvider::~TableProvider() {
    storage_.removeCursorHolder(this);
}

void TableProvider::setPinned(const QHash<QString, QVariant>& pinned) {
    detachCursor();
    opt_.pinned = pinned;
    started_ = false;
    buffered_.clear();
}

void TableProvider::setReadScope(const QString& sql, const QVariantList& binds) {
    detachCursor();
    opt_.readScope = sql;
    opt_.readScopeBinds = binds;
    started_ = false;
    buffered_.clear();
}

Variant TableProvider::dataRequest(const Variant& data) {
    const kvx::DataRequest req = kvx::DataRequest::fromVariant(data);
    for (const QString& text : {req.condition, req.order}) {
        const QString why = checkClauseText(text);
        if (!why.isEmpty()) throw GuardError(QStringLiteral("Condition refused: %1").arg(why).toStdString());
    }
    QString cond = req.condition.trimmed();
    if (cond.compare(QLatin1String("All"), Qt::CaseInsensitive) == 0) cond.clear();
    const QString oldCondition = condition_, oldOrder = order_;
    condition_ = cond;
    order_ = req.order.trimmed();
    // Refused texts are refused here, and the previous request stays in force.
    checked_.reset();
    try {
        QVariantList binds;
        const QString sql = selectStatement(binds);
        auto probe = std::make_unique<QSqlQuery>(storage_.db());
        probe->setForwardOnly(true);
        execGuardedSelect(*probe, storage_, sql, {opt_.table}, binds, false);
        if (!storage_.dialect().isPostgres()) {
            checked_ = std::move(probe);
            checkedSql_ = sql;
        }
    } catch (...) {
        condition_ = oldCondition;
        order_ = oldOrder;
        throw;
    }
    cursor_.reset();
    buffered_.clear();
    started_ = false;
    exhausted_ = false;
    return Variant(true);
}

QString TableProvider::whereClause(QVariantList& binds) const {
    QStringList terms;
    if (!opt_.readScope.isEmpty()) {
        terms << QStringLiteral("(%1)").arg(opt_.readScope);
        binds << opt_.readScopeBinds;
    } else {
        for (auto it = opt_.pinned.constBegin(); it != opt_.pinned.constEnd(); ++it) {
            terms << QStringLiteral("%1 = ?").arg(it.key());
            binds << it.value();
        }
    }
    if (!condition_.isEmpty()) terms << QStringLiteral("(%1)").arg(condition_);
    return terms.isEmpty() ? QString() : QStringLiteral(" WHERE ") + terms.join(QLatin1String(" AND "));
}

QString TableProvider::selectStatement(QVariantList& binds) const {
    QStringList select = tableColumns_;
    for (const Computed& c : opt_.computed)
        select << QStringLiteral("(%1) AS %2").arg(c.expression, c.name);
    QString sql = QStringLiteral("SELECT %1 FROM %2").arg(select.join(','), opt_.table) + whereClause(binds);
    if (!order_.isEmpty())
        sql += QStringLiteral(" ORDER BY ") + order_;
    else if (!opt_.keyFields.isEmpty())
        sql += QStringLiteral(" ORDER BY ") + opt_.keyFields.join(',');
    if (rowLimit_ > 0) sql += storage_.dialect().limitClause(rowLimit_);
    return sql;
}

void TableProvider::openCursor() {
    QVariantList binds;
    const QString sql = selectStatement(binds);
    const bool prepared = checked_ && checkedSql_ == sql;
    if (prepared) {
        cursor_ = std::move(checked_);
    } else {
        cursor_ = std::make_unique<QSqlQuery>(storage_.db());
        cursor_->setForwardOnly(true);
    }
    checked_.reset();
    try {
        Storage::TimeLimit limit(storage_);
        if (prepared)
            execPreparedGuardedSelect(*cursor_, storage_.db(), {opt_.table}, binds);
        else
            execGuardedSelect(*cursor_, storage_, sql, {opt_.table}, binds);
    } catch (...) {
        cursor_.reset();
        storage_.throwIfStopped();
        throw;
    }
    started_ = true;
    exhausted_ = false;
}

Variant TableProvider::toVariant(const QVariant& v, kvx::FieldType t) const {
    return fieldValue(v, t);
}

kvx::Row TableProvider::readRow(const QSqlQuery& q) const {
    kvx::Row row;
    row.reserve(fields_.size());
    for (int i = 0; i < fields_.size(); ++i)
        row.append(toVariant(q.value(i), fields_[i].type));
    return row;
}

kvx::DataPacket TableProvider::getRecords(int count) {
    kvx::DataPacket p;
    p.fields = fields_;
    if (count == 0) {
        p.eof = started_ && exhausted_ && buffered_.isEmpty();
        return p;
    }
    if (!started_) openCursor();
    Storage::TimeLimit limit(storage_);
    // A step that fails (stopped by the time limit, I/O) is an error, never a short packet.
    auto step = [&] {
        if (cursor_->next()) return true;
        if (cursor_->lastError().isValid()) {
            const QString why = cursor_->lastError().databaseText();
            cursor_.reset();
            started_ = false;
            storage_.throwIfStopped();
            throw StorageError(QStringLiteral("Query failed: %1").arg(why).toStdString());
        }
        return false;
    };
    while ((count < 0 || p.rows.size() < count) && !buffered_.isEmpty())
        p.rows.append(buffered_.takeFirst());
    while ((count < 0 || p.rows.size() < count) && cursor_ && !exhausted_) {
        if (step()) {
            p.rows.append(readRow(*cursor_));
        } else {
            exhausted_ = true;
            cursor_.reset();
        }
    }
    // Look one row ahead so that the packet can say whether more follow.
    if (buffered_.isEmpty() && cursor_ && !exhausted_) {
        if (step()) {
            buffered_.append(readRow(*cursor_));
        } else {
            exhausted_ = true;
            cursor_.reset();
        }
    }
    p.eof = buffered_.isEmpty() && (exhausted_ || !cursor_);
    return p;
}

void TableProvider::detachCursor() {
    if (!cursor_) return;
    while (cursor_->next())
        buffered_.append(readRow(*cursor_));
    exhausted_ = true;
    cursor_.reset();
}

int TableProvider::recordCount() {
    QVariantList binds;
    const QString sql = QStringLiteral("SELECT COUNT(*) FROM %1").arg(opt_.table) + whereClause(binds);
    QSqlQuery q(storage_.db());
    q.setForwardOnly(true);
    Storage::TimeLimit limit(storage_);
    try {
        execGuardedSelect(q, storage_, sql, {opt_.table}, binds);
    } catch (const GuardError&) {
        storage_.throwIfStopped();
        throw;
    }
    const bool any = q.next();
    if (!any && q.lastError().isValid()) {
        storage_.throwIfStopped();
        throw StorageError(q.lastError().databaseText().toStdString());
    }
    const int n = any ? q.value(0).toInt() : 0;
    return rowLimit_ > 0 ? qMin(n, rowLimit_) : n;
}

// The statements of one apply, each prepared once and bound anew for every row.
class StatementCache {
public:
    explicit StatementCache(const QSqlDatabase& db) : db_(db), sqlite_(sqliteHandle(db)) {}
    // The prepared statement of `sql`; null with `error` set when it does not prepare.
    QSqlQuery* get(const QString& sql, QString& error) {
        auto it = prepared_.find(sql);
        if (it != prepared_.end()) return it->second.get();
        auto q = std::make_unique<QSqlQuery>(db_);
        q->setForwardOnly(true);
        if (!q->prepare(sql)) {
            error = q->lastError().databaseText();
            return nullptr;
        }
        return prepared_.emplace(sql, std::move(q)).first->second.get();
    }
    // On SQLite, the statement prepared on the connection itself for reading rows; null on another
    // engine, or with `error` set when it does not prepare.
    SqliteStatement* reader(const QString& sql, QString& error) {
        if (!sqlite_) return nullptr;
        auto it = readers_.find(sql);
        if (it != readers_.end()) return it->second.get();
        auto s = std::make_unique<SqliteStatement>(sqlite_, sql);
        if (!s->ok()) {
            error = s->error();
            return nullptr;
        }
        return readers_.emplace(sql, std::move(s)).first->second.get();
    }

private:
    QSqlDatabase db_;
    sqlite3* sqlite_;
    std::unordered_map<QString, std::unique_ptr<QSqlQuery>> prepared_;
    std::unordered_map<QString, std::unique_ptr<SqliteStatement>> readers_;
};

// The stored rows of the keys an apply changes or deletes, read for many keys in one statement rather
// than one statement a row. A row is taken from a batch only when its stored key reads exactly as the key
// the delta names (value and kind) and no other row of the batches reads alike; every statement of the
// apply forgets the rows of its key, compared loosely (case, blanks, numbers by value) so that a collation
// that equates two spellings never leaves a stale row behind. Anything else is read alone.
class CurrentRows {
public:
    static constexpr int kBatch = 64;

    // Whether a batch has read the key (by its loose spelling) since the apply last wrote it.
    bool asked(const QString& loose) const { return asked_.contains(loose); }
    void markAsked(const QString& loose) { asked_.insert(loose); }
    // The stored row of the key from a batch (once); empty when it is to be read alone.
    std::optional<kvx::Row> take(const QString& loose, const QVariantList& key) {
        const auto it = rows_.find(loose);
        if (it == rows_.end() || !it->unique || !sameKey(it->key, key)) return std::nullopt;
        std::optional<kvx::Row> row(std::move(it->row));
        rows_.erase(it);
        return row;
    }
    void add(const QString& loose, const QVariantList& key, kvx::Row row) {
        const auto it = rows_.find(loose);
        if (it != rows_.end())
            it->unique = false;
        else
            rows_.insert(loose, Entry{key, std::move(row), true});
    }
    // A stored row the database matched to a key of another spelling: its key is read alone.
    void block(const QString& loose) { rows_[loose].unique = false; }
    void touch(const QString& loose) {
        asked_.remove(loose);
        rows_.remove(loose);
    }

    // Whether two keys read exactly alike: the same kind (number, text, null) and text of each value.
    static bool sameKey(const QVariantList& a, const QVariantList& b) {
        auto kind = [](const QVariant& v) {
            const bool isText = v.typeId() == QMetaType::QString || v.typeId() == QMetaType::QByteArray;
            return v.isNull() ? 0 : isText ? 1 : 2;
        };
        if (a.size() != b.size()) return false;
        for (qsizetype i = 0; i < a.size(); ++i)
            if (kind(a[i]) != kind(b[i]) || a[i].toString() != b[i].toString()) return false;
        return true;
    }
    // One spelling for the keys a database may take as equal: texts trimmed and case-folded, numbers
    // (and texts that read as numbers) by value.
    static QString looseKey(const QVariantList& key) {
        auto loose = [](const QVariant& v) {
            QString text = v.toString().trimmed();
            if (v.typeId() != QMetaType::QString || mayBeNumber(text)) {
                bool isNumber = false;
                const double n = text.toDouble(&isNumber);
                if (isNumber) return QString::number(n, 'g', 17);
            }
            return std::move(text).toCaseFolded();
        };
        if (key.size() == 1) return loose(key[0]);
        QString out;
        for (const QVariant& v : key) {
            const QString text = loose(v);
            out += QString::number(text.size()) + QLatin1Char(':') + text;
        }
        return out;
    }
    // Whether a trimmed text may read as a number: digits, signs, points and exponents, or infinity and
    // not-a-number.
    static bool mayBeNumber(QStringView text) {
        if (text.isEmpty()) return false;
        const bool numeric = std::all_of(text.begin(), text.end(), [](QChar c) {
            return (c >= u'0' && c <= u'9') || c == u'+' || c == u'-' || c == u'.' || c == u'e' || c == u'E';
        });
        if (numeric) return true;
        QStringView rest = text;
        if (rest.front() == u'+' || rest.front() == u'-') rest = rest.mid(1);
        return rest.compare(u"inf", Qt::CaseInsensitive) == 0 ||
               rest.compare(u"infinity", Qt::CaseInsensitive) == 0 ||
               rest.compare(u"nan", Qt::CaseInsensitive) == 0;
    }

private:
    struct Entry {
        QVariantList key;
        kvx::Row row;
        bool unique = true;
    };
    QHash<QString, Entry> rows_;
    QSet<QString> asked_;
};

void TableProvider::prefetchRows(CurrentRows& rows, const QStringList& keys, const QList<QVariantList>& batch,
                                 const QStringList& batchLoose, StatementCache& cache) {
    QList<int> keyColumn;
    for (const QString& k : keys)
        for (int c = 0; c < tableColumns_.size(); ++c)
            if (tableColumns_[c].compare(k, Qt::CaseInsensitive) == 0) {
                keyColumn << c;
                break;
            }
    if (batch.isEmpty() || keyColumn.size() != keys.size()) return; // read row by row
    // One statement for every batch: the last key fills the places the batch leaves.
    QString where;
    if (keys.size() == 1) {
        where = QStringLiteral("%1 IN (?%2)")
                    .arg(keys[0], QString(QStringLiteral(",?")).repeated(CurrentRows::kBatch - 1));
    } else {
        QStringList terms;
        for (const QString& k : keys)
            terms << QStringLiteral("%1 = ?").arg(k);
        where = QStringList(CurrentRows::kBatch,
                            QLatin1Char('(') + terms.join(QLatin1String(" AND ")) + QLatin1Char(')'))
                    .join(QLatin1String(" OR "));
    }
    const QString sql =
        QStringLiteral("SELECT %1 FROM %2 WHERE %3").arg(tableColumns_.join(','), opt_.table, where);
    // Stored rows are known by the keys of the batch they read exactly as.
    QMultiHash<QString, int> byFirstText;
    for (int n = 0; n < batch.size(); ++n)
        byFirstText.insert(batch[n].value(0).toString(), n);
    auto keep = [&](kvx::Row&& row, const QVariantList& key) {
        int match = -1;
        const QString first = key.value(0).toString();
        for (auto it = byFirstText.constFind(first);
             it != byFirstText.cend() && it.key() == first && match < 0; ++it)
            if (CurrentRows::sameKey(batch[*it], key)) match = *it;
        if (match >= 0)
            rows.add(batchLoose[match], key, std::move(row));
        else
            rows.block(CurrentRows::looseKey(key));
    };
    auto boundAt = [&](int n) -> const QVariantList& {
        return batch[std::min<qsizetype>(n, batch.size() - 1)];
    };
    // A batch that fails (a key value its column cannot take, on PostgreSQL) leaves its keys to be read
    // alone, row by row, as they come; its savepoint keeps the transaction usable.
    QString error;
    QVariantList key;
    if (SqliteStatement* s =
            cache.reader(sql, error)) { // SQLite: a failed read leaves the transaction as it was
        bool ok = true;
        int b = 0;
        for (int n = 0; n < CurrentRows::kBatch && ok; ++n)
            for (const QVariant& v : boundAt(n))
                ok = ok && s->bind(b++, v);
        while (ok && s->next()) {
            kvx::Row row;
            row.reserve(tableColumns_.size());
            for (int c = 0; c < tableColumns_.size(); ++c)
                row.append(s->value(c, fields_[c].type));
            key.clear();
            for (int c : std::as_const(keyColumn))
                key << s->qtValue(c);
            keep(std::move(row), key);
        }
        if (!ok || s->failed()) qCDebug(lcProviders) << "a batch of keys failed:" << s->error();
        s->reset();
        return;
    }
    if (!error.isEmpty()) {
        qCDebug(lcProviders) << "reading rows by batches refused:" << error;
        return;
    }
    QSqlQuery* q = cache.get(sql, error);
    if (!q) {
        qCDebug(lcProviders) << "reading rows by batches refused:" << error;
        return;
    }
    Storage::StatementSavepoint savepoint(storage_);
    int b = 0;
    for (int n = 0; n < CurrentRows::kBatch; ++n)
        for (const QVariant& v : boundAt(n))
            q->bindValue(b++, v);
    if (!q->exec()) {
        qCDebug(lcProviders) << "a batch of keys failed:" << q->lastError().text();
        savepoint.rollBack();
        return;
    }
    while (q->next()) {
        kvx::Row row;
        row.reserve(tableColumns_.size());
        for (int c = 0; c < tableColumns_.size(); ++c)
            row.append(toVariant(q->value(c), fields_[c].type));
        key.clear();
        for (int c : std::as_const(keyColumn))
            key << q->value(c);
        keep(std::move(row), key);
    }
    if (q->lastError().isValid()) {
        qCDebug(lcProviders) << "a batch of keys failed:" << q->lastError().text();
        savepoint.rollBack();
    }
    q->finish();
}

std::optional<kvx::Row> TableProvider::currentRow(const QStringList& keys, const QVariantList& keyValues,
                                                  StatementCache* cache) {
    if (keys != keySelectKeys_) {
        QStringList terms;
        for (const QString& k : keys)
            terms << QStringLiteral("%1 = ?").arg(k);
        keySelect_ = QStringLiteral("SELECT %1 FROM %2 WHERE %3")
                         .arg(tableColumns_.join(','), opt_.table, terms.join(QLatin1String(" AND ")));
        keySelectKeys_ = keys;
    }
    const QString sql = keySelect_;
    std::optional<QSqlQuery> own;
    QSqlQuery* q = nullptr;
    QString error;
    if (SqliteStatement* s = cache ? cache->reader(sql, error) : nullptr) {
        bool ok = true;
        for (int i = 0; i < keyValues.size() && ok; ++i)
            ok = s->bind(i, keyValues[i]);
        std::optional<kvx::Row> row;
        if (ok && s->next()) {
            row.emplace();
            row->reserve(tableColumns_.size());
            for (int i = 0; i < tableColumns_.size(); ++i)
                row->append(s->value(i, fields_[i].type));
        }
        const QString failure = s->failed() ? s->error() : QString();
        s->reset();
        if (!failure.isEmpty()) throw StorageError(failure.toStdString());
        return row;
    }
    if (!error.isEmpty()) throw StorageError(error.toStdString());
    if (cache) {
        q = cache->get(sql, error);
        if (!q) throw StorageError(error.toStdString());
    } else {
        own.emplace(storage_.db());
        q = &*own;
        q->setForwardOnly(true);
        q->prepare(sql);
    }
    for (int i = 0; i < keyValues.size(); ++i)
        q->bindValue(i, keyValues[i]);
    if (!q->exec()) throw StorageError(q->lastError().text().toStdString());
    std::optional<kvx::Row> row;
    if (q->next()) {
        row.emplace();
        row->reserve(tableColumns_.size());
        for (int i = 0; i < tableColumns_.size(); ++i)
            row->append(toVariant(q->value(i), fields_[i].type));
    }
    q->finish();
    return row;
}

namespace {
QString describeKey(const QStringList& keys, const QVariantList& values) {
    QStringList parts;
    for (int i = 0; i < keys.size() && i < values.size(); ++i)
        parts << QStringLiteral("%1=%2").arg(keys[i], values[i].toString());
    return parts.join(QLatin1String(", "));
}

// Values compare exactly as the client fetched them: integers as integers, currency by its scaled
// integer, other numbers by their exact double (the wire carries doubles with 17 digits), texts exactly,
// Null only with Null.
bool sameValue(const Variant& a, const Variant& b) {
    if (a.isString() && b.isString()) return a.toString() == b.toString();
    if (a.isEmptyOrNull() || b.isEmptyOrNull()) return a.isEmptyOrNull() == b.isEmptyOrNull();
    if (a.isNumeric() && b.isNumeric()) {
        using kvx::VarType;
        if (a.type() == VarType::Int && b.type() == VarType::Int) return a.toInt() == b.toInt();
        if (a.type() == VarType::Currency || b.type() == VarType::Currency)
            return std::llround(a.toDouble() * 10000.0) == std::llround(b.toDouble() * 10000.0);
        if (a.type() == VarType::Int || b.type() == VarType::Int) {
            // An integer against a double: equal only when the double is that very integer.
            const Variant& i = a.type() == VarType::Int ? a : b;
            const double d = (a.type() == VarType::Int ? b : a).toDouble();
            return std::trunc(d) == d && std::fabs(d) < 9.2e18 && qint64(d) == i.toInt();
        }
        return a.toDouble() == b.toDouble();
    }
    if (a.isNumeric() != b.isNumeric()) return false;
    return a.toString() == b.toString();
}

// The size of texts in the database code page (GBK), one character at a time: GBK is a stateless
// double-byte code, so a text converts exactly when each of its characters does, and its size is the sum
// of theirs. Each character is converted (there and back) once per apply.
class GbkSizer {
public:
    // Bytes of `text` in GBK, or -1 when a character has no exact GBK form.
    qsizetype size(const QString& text) {
        qsizetype bytes = 0;
        const QChar* p = text.constData();
        const qsizetype n = text.size();
        for (qsizetype i = 0; i < n; ++i) {
            const char16_t u = p[i].unicode();
            if (u < 0x80) {
                ++bytes; // ASCII is one byte in GBK
                continue;
            }
            int b;
            if (QChar::isHighSurrogate(u) && i + 1 < n && QChar::isLowSurrogate(p[i + 1].unicode())) {
                b = convert(QStringView(p + i, 2));
                ++i;
            } else {
                signed char& known = bmp_[u];
                if (known == 0) known = static_cast<signed char>(convert(QStringView(p + i, 1)));
                b = known;
            }
            if (b < 0) return -1;
            bytes += b;
        }
        return bytes;
    }

private:
    std::vector<signed char> bmp_ = std::vector<signed char>(0x10000, 0); // 0: not yet converted
    static int convert(QStringView unit) {
        const QString text = unit.toString();
        const QByteArray bytes = kvx::codepage::encode(text, 936);
        return kvx::codepage::decode(bytes, 936) == text ? int(bytes.size()) : -1;
    }
};

// Empty when the value may be stored in the column; otherwise why not.
QString checkColumnValue(const kvx::FieldDesc& f, const Variant& v, int& code, GbkSizer& gbk) {
    using kvx::VarType;
    code = kConstraint;
    if (v.isEmptyOrNull()) return {};
    if (v.isArray()) return QStringLiteral("%1 cannot hold an array").arg(f.name);
    switch (f.type) {
    case kvx::FieldType::String:
    case kvx::FieldType::Memo: {
        if (v.type() != VarType::String)
            return QStringLiteral("%1 is a text column; the value %2 is not a text")
                .arg(f.name, v.toString());
        const qsizetype length = gbk.size(v.toString());
        if (length < 0)
            return QStringLiteral("%1: the text has characters the database code page (GBK) lacks")
                .arg(f.name);
        if (f.type == kvx::FieldType::String && length > f.size) {
            code = kTooLong;
            return QStringLiteral("%1 holds at most %2 bytes; the new value has %3")
                .arg(f.name)
                .arg(f.size)
                .arg(length);
        }
        return {};
    }
    case kvx::FieldType::Integer:
        if (v.type() == VarType::Int || v.type() == VarType::Bool) return {};
        if ((v.type() == VarType::Double || v.type() == VarType::Currency) && std::isfinite(v.toDouble()) &&
            std::trunc(v.toDouble()) == v.toDouble())
            return {};
        return QStringLiteral("%1 is an integer column; the value %2 is not an integer")
            .arg(f.name, v.toString());
    case kvx::FieldType::Float:
        if (v.type() == VarType::Int || v.type() == VarType::Bool || v.type() == VarType::Currency) return {};
        if (v.type() == VarType::Double && std::isfinite(v.toDouble())) return {};
        return QStringLiteral("%1 is a numeric column; the value %2 is not a number")
            .arg(f.name, v.toString());
    default:
        return {};
    }
}
} // namespace

namespace {
char rightChar(const QString& rights, int pos) {
    return pos - 1 < rights.size() ? rights.at(pos - 1).toLatin1() : 'N';
}
} // namespace

kvx::ApplyResult TableProvider::applyUpdates(const kvx::Delta& delta, int maxErrors) {
    kvx::ApplyResult result;
    if (opt_.readOnly) {
        for (int i = 0; i < delta.rows.size(); ++i)
            result.errors.append(
                {i, kNotPermitted, QStringLiteral("This provider is read-only"), opt_.table, 0, {}});
        result.errorCount = result.errors.size();
        return result;
    }
    detachCursor();

    // Delta field i -> table column index (or -1).
    QList<int> colOf;
    for (const kvx::FieldDesc& f : delta.fields) {
        int found = -1;
        for (int c = 0; c < tableColumns_.size(); ++c)
            if (tableColumns_[c].compare(f.name, Qt::CaseInsensitive) == 0) found = c;
        colOf.append(found);
    }
    QStringList keys = opt_.keyFields;
    if (keys.isEmpty())
        for (int c = 0; c < tableColumns_.size(); ++c)
            keys << tableColumns_[c];
    auto columnIndex = [&](const char* name) {
        for (int c = 0; c < tableColumns_.size(); ++c)
            if (tableColumns_[c].compare(QLatin1String(name), Qt::CaseInsensitive) == 0) return c;
        return -1;
    };
    const auto& audit = opt_.audit;
    const int creatorCol = columnIndex("CREATOR"), groupCol = columnIndex("USR_GROUP"),
              flagCol = columnIndex("FLAG");
    const QString today = QDate::currentDate().toString(QStringLiteral("yyyyMMdd"));
    // Delta field of a column name (upper case), the first of equal names.
    QHash<QString, int> deltaField;
    for (int f = delta.fields.size() - 1; f >= 0; --f)
        deltaField.insert(delta.fields[f].name.toUpper(), f);
    QList<int> keyField;
    for (const QString& k : keys)
        keyField.append(deltaField.value(k.toUpper(), -1));
    // The key values of a row as fetched (old) or as inserted (new); false when a key field is missing.
    auto keyOf = [&](const kvx::DeltaRow& row, QVariantList& values) {
        const kvx::Row& source = row.status == kvx::UpdateStatus::Inserted ? row.newValues : row.oldValues;
        bool complete = true;
        values.clear();
        values.reserve(keys.size());
        for (int k = 0; k < keys.size(); ++k) {
            const int f = keyField[k];
            const bool present = f >= 0 && f < source.size() && !source[f].isUnassigned();
            values << (present ? toSqlValue(source[f]) : QVariant());
            complete = complete && present;
        }
        return complete;
    };
    // Audit columns the server stamps, by table column.
    struct Stamp {
        int column;
        QVariant value;
    };
    QList<Stamp> insertStamps, modifyStamps;
    if (audit.on) {
        auto stamp = [&](QList<Stamp>& to, const char* column, const QVariant& value) {
            if (const int c = columnIndex(column); c >= 0) to.append({c, value});
        };
        stamp(insertStamps, "COMPANY", audit.company);
        stamp(insertStamps, "CREATOR", audit.user);
        stamp(insertStamps, "USR_GROUP", audit.group);
        stamp(insertStamps, "CREATE_DATE", today);
        stamp(insertStamps, "FLAG", 1);
        stamp(modifyStamps, "MODIFIER", audit.user);
        stamp(modifyStamps, "MODI_DATE", today);
    }
    // Whether the delta's fields are the table's columns in order: the stored row is then the applied row.
    bool sameOrder = delta.fields.size() == tableColumns_.size();
    for (int f = 0; f < colOf.size() && sameOrder; ++f)
        sameOrder = colOf[f] == f;

    Storage::Transaction tx(storage_);
    StatementCache statements(storage_.db());
    // Statement shapes: the kind and the table columns written, in order.
    struct Shape {
        QString sql;
        QSqlQuery* query = nullptr;
        bool writesEveryColumn = false;
    };
    QHash<QByteArray, Shape> shapes;
    GbkSizer gbk;
    CurrentRows prefetched;
    // The loose spelling of each row's key (old, or new for an insert), made once.
    QStringList looseOf(delta.rows.size());
    auto looseAt = [&](int row, const QVariantList& key) -> const QString& {
        if (looseOf[row].isNull()) looseOf[row] = CurrentRows::looseKey(key);
        return looseOf[row];
    };
    result.applied.reserve(delta.rows.size());
    int previous = 0;
    for (int i = 0; i < delta.rows.size(); ++i) {
        const kvx::DeltaRow& d = delta.rows[i];
        // Never continue outside the transaction: what follows would be stored row by row.
        if (!storage_.inTransaction())
            throw StorageError(QStringLiteral("The apply stopped before row %1: the database ended the "
                                              "transaction; nothing was stored")
                                   .arg(i)
                                   .toStdString());
        kvx::ReconcileError err;
        err.deltaIndex = i;
        QVariantList keyValues;
        // The texts of an error are made only for the rows that fail.
        auto fail = [&](int code, const QString& msg) {
            const QString verb = d.status == kvx::UpdateStatus::Inserted  ? QStringLiteral("Insert")
                                 : d.status == kvx::UpdateStatus::Deleted ? QStringLiteral("Delete")
                                                                          : QStringLiteral("Modify");
            err.context = QStringLiteral("%1 %2 [%3]").arg(verb, opt_.table, describeKey(keys, keyValues));
            err.errorCode = code;
            err.message = msg;
            err.previousError = previous;
            previous = code;
            result.errors.append(err);
        };
        auto fieldValue = [&](const kvx::Row& row, int f, bool& present) -> Variant {
            present = f >= 0 && f < row.size() && !row[f].isUnassigned();
            return present ? row[f] : Variant();
        };
        auto valueOf = [&](const kvx::Row& row, const QString& col, bool& present) -> Variant {
            return fieldValue(row, deltaField.value(col.toUpper(), -1), present);
        };
        if (d.status == kvx::UpdateStatus::Unmodified) continue;
        const bool keyComplete = keyOf(d, keyValues);
        const auto verb = [&] {
            return d.status == kvx::UpdateStatus::Inserted  ? QStringLiteral("insert")
                   : d.status == kvx::UpdateStatus::Deleted ? QStringLiteral("delete")
                                                            : QStringLiteral("modify");
        };
        // Columns the server sets whatever the client sent (table column, value).
        QVarLengthArray<std::pair<int, QVariant>, 8> forced;
        auto isForced = [&](int c) {
            return std::any_of(forced.cbegin(), forced.cend(), [c](const auto& p) { return p.first == c; });
        };
        if (!keyComplete) {
            fail(kBadDelta,
                 QStringLiteral("The change does not carry the key fields %1").arg(keys.join(',')));
            continue;
        }
        const bool allowed = (d.status == kvx::UpdateStatus::Inserted && opt_.canInsert) ||
                             (d.status == kvx::UpdateStatus::Modified && opt_.canModify) ||
                             (d.status == kvx::UpdateStatus::Deleted && opt_.canDelete);
        if (!allowed) {
            fail(kNotPermitted,
                 QStringLiteral("You have no right to %1 records of %2").arg(verb(), opt_.table));
            continue;
        }
        // Rows outside the pinned values (another user's saved schemes, ...) are not touched.
        bool outside = false;
        for (auto it = opt_.pinned.constBegin(); it != opt_.pinned.constEnd(); ++it)
            for (const kvx::Row* r : {&d.oldValues, &d.newValues}) {
                bool present = false;
                const Variant v = valueOf(*r, it.key(), present);
                if (present && toSqlValue(v).toString() != it.value().toString()) outside = true;
            }
        if (outside) {
            fail(kNotPermitted, QStringLiteral("The record belongs to another user or program"));
            continue;
        }
        // A change must name fields of the table; values must suit their columns.
        bool anyKnown = false, anyAssigned = false;
        for (int f = 0; f < delta.fields.size() && f < d.newValues.size(); ++f) {
            if (d.newValues[f].isUnassigned()) continue;
            anyAssigned = true;
            anyKnown = anyKnown || colOf[f] >= 0;
        }
        if (d.status != kvx::UpdateStatus::Deleted && anyAssigned && !anyKnown) {
            fail(kBadDelta, QStringLiteral("The change names no field of %1").arg(opt_.table));
            continue;
        }
        QString refused;
        int refusedCode = 0;
        for (int f = 0; f < delta.fields.size() && f < d.newValues.size() && refused.isEmpty(); ++f)
            if (colOf[f] >= 0 && d.status != kvx::UpdateStatus::Deleted)
                refused = checkColumnValue(fields_[colOf[f]], d.newValues[f], refusedCode, gbk);
        if (!refused.isEmpty()) {
            fail(refusedCode, refused);
            continue;
        }

        std::optional<kvx::Row> current;
        QString loose; // the key's spelling for the batches
        if (d.status != kvx::UpdateStatus::Inserted) {
            loose = looseAt(i, keyValues);
            if (!prefetched.asked(loose)) {
                // The keys of this row and of the changes and deletions after it, for one read.
                QList<QVariantList> batch{keyValues};
                QStringList batchLoose{loose};
                prefetched.markAsked(loose);
                const int end = std::min<qsizetype>(delta.rows.size(), i + 4 * CurrentRows::kBatch);
                QVariantList other;
                for (int j = i + 1; j < end && batch.size() < CurrentRows::kBatch; ++j) {
                    const kvx::DeltaRow& next = delta.rows[j];
                    if (next.status != kvx::UpdateStatus::Modified &&
                        next.status != kvx::UpdateStatus::Deleted)
                        continue;
                    if (!keyOf(next, other) || std::any_of(other.cbegin(), other.cend(),
                                                           [](const QVariant& v) { return v.isNull(); }))
                        continue;
                    const QString& otherLoose = looseAt(j, other);
                    if (prefetched.asked(otherLoose)) continue;
                    prefetched.markAsked(otherLoose);
                    batch.append(other);
                    batchLoose.append(otherLoose);
                }
                prefetchRows(prefetched, keys, batch, batchLoose, statements);
            }
            current = prefetched.take(loose, keyValues);
            if (!current) current = currentRow(keys, keyValues, &statements);
            if (!current) {
                fail(kDeletedByOther, QStringLiteral("The record was deleted by another user"));
                continue;
            }
            bool changed = false;
            for (int f = 0; f < delta.fields.size() && f < d.oldValues.size(); ++f) {
                const int c = colOf[f];
                if (c < 0 || d.oldValues[f].isUnassigned()) continue;
                if (!sameValue(d.oldValues[f], current->at(c))) changed = true;
            }
            if (changed) {
                for (int f = 0; f < delta.fields.size(); ++f)
                    err.currentValues.append(colOf[f] >= 0 ? current->at(colOf[f]) : Variant());
                fail(kChangedByOther, QStringLiteral("The record was changed by another user"));
                continue;
            }
            if (audit.on && audit.recordLevel && creatorCol >= 0) {
                // The right comes from the group of the record's creator, as the window decides it.
                const QString creator = current->at(creatorCol).toString().trimmed();
                const QString group = groupCol >= 0 ? current->at(groupCol).toString().trimmed() : QString();
                const int pos = d.status == kvx::UpdateStatus::Deleted ? 3 : 2;
                char right;
                if (creator.isEmpty() || creator.compare(audit.user, Qt::CaseInsensitive) == 0)
                    right = rightChar(audit.own, pos);
                else if (!group.isEmpty() &&
                         (audit.groupList.contains(QLatin1Char('\'') + group + QLatin1Char('\'')) ||
                          audit.groupList.contains(QLatin1Char('"') + group + QLatin1Char('"'))))
                    right = rightChar(audit.same, pos);
                else
                    right = rightChar(audit.other, pos);
                if (right != 'Y') {
                    fail(kNotPermitted,
                         QStringLiteral("You have no right to %1 the records of %2").arg(verb(), creator));
                    continue;
                }
            }
            if (audit.on && d.status == kvx::UpdateStatus::Modified && flagCol >= 0) {
                // The modification counter: the stored value plus one, wrapping at 1000.
                const qint64 expected = (qint64(current->at(flagCol).toDouble()) + 1) % 1000;
                bool present = false;
                const Variant sent = valueOf(d.newValues, QStringLiteral("FLAG"), present);
                if (present && !(sent.isNumeric() && sent.toDouble() == double(expected))) {
                    for (int f = 0; f < delta.fields.size(); ++f)
                        err.currentValues.append(colOf[f] >= 0 ? current->at(colOf[f]) : Variant());
                    fail(kChangedByOther,
                         QStringLiteral("FLAG must be the stored value plus one (%1), not %2")
                             .arg(expected)
                             .arg(sent.toString()));
                    continue;
                }
                forced.append({flagCol, expected});
            }
        }
        for (const Stamp& st : d.status == kvx::UpdateStatus::Inserted   ? insertStamps
                               : d.status == kvx::UpdateStatus::Modified ? modifyStamps
                                                                         : QList<Stamp>())
            if (!isForced(st.column)) forced.append({st.column, st.value});

        // The columns written, in the order bound, with their values.
        QVarLengthArray<std::pair<int, QVariant>, 32> writes;
        QVariantList newKey = keyValues;
        char kind = 'D';
        if (d.status != kvx::UpdateStatus::Deleted) {
            kind = d.status == kvx::UpdateStatus::Inserted ? 'I' : 'U';
            for (int f = 0; f < delta.fields.size() && f < d.newValues.size(); ++f) {
                if (colOf[f] < 0 || d.newValues[f].isUnassigned() || isForced(colOf[f])) continue;
                writes.append({colOf[f], toSqlValue(d.newValues[f])});
                if (kind == 'U')
                    if (const int k = keys.indexOf(tableColumns_[colOf[f]]); k >= 0)
                        newKey[k] = writes.back().second;
            }
            // A change that writes nothing of the table also leaves the audit columns alone.
            if (kind == 'U' && writes.isEmpty()) {
                kvx::Row applied;
                applied.reserve(delta.fields.size());
                for (int f = 0; f < delta.fields.size(); ++f)
                    applied.append(colOf[f] >= 0 ? current->at(colOf[f]) : Variant());
                result.applied.append(qMakePair(i, std::move(applied)));
                continue;
            }
            writes.append(forced.cbegin(), forced.size());
        }
        // The statement of a shape is made and prepared the first time only.
        QVarLengthArray<int, 40> shapeOf{int(kind)};
        for (const auto& w : std::as_const(writes))
            shapeOf.append(w.first);
        const QByteArray shapeKey = QByteArray::fromRawData(
            reinterpret_cast<const char*>(shapeOf.constData()), shapeOf.size() * qsizetype(sizeof(int)));
        auto found = shapes.find(shapeKey);
        if (found == shapes.end())
            found = shapes.insert(QByteArray(shapeKey.constData(), shapeKey.size()), Shape());
        Shape& shape = *found;
        if (shape.sql.isEmpty()) {
            QStringList names, terms;
            QList<bool> covered(tableColumns_.size(), false);
            for (const auto& w : std::as_const(writes)) {
                names << tableColumns_[w.first];
                covered[w.first] = true;
            }
            shape.writesEveryColumn = !covered.contains(false);
            for (const QString& k : keys)
                terms << QStringLiteral("%1 = ?").arg(k);
            const QString where = terms.join(QLatin1String(" AND "));
            if (kind == 'D')
                shape.sql = QStringLiteral("DELETE FROM %1 WHERE %2").arg(opt_.table, where);
            else if (kind == 'I')
                shape.sql = QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                                .arg(opt_.table, names.join(','),
                                     QStringList(names.size(), QStringLiteral("?")).join(','));
            else
                shape.sql = QStringLiteral("UPDATE %1 SET %2 = ? WHERE %3")
                                .arg(opt_.table, names.join(QLatin1String(" = ?, ")), where);
        }
        Storage::StatementSavepoint savepoint(storage_);
        QString prepareError;
        if (!shape.query) shape.query = statements.get(shape.sql, prepareError);
        QSqlQuery* q = shape.query;
        bool ok = q != nullptr;
        if (q) {
            int b = 0;
            for (const auto& w : std::as_const(writes))
                q->bindValue(b++, w.second);
            if (kind != 'I')
                for (const QVariant& k : std::as_const(keyValues))
                    q->bindValue(b++, k);
            ok = q->exec(); // a change has no result to finish
            if (!ok) prepareError = q->lastError().databaseText();
        }
        // Rows of these keys read before are stale now.
        prefetched.touch(loose.isNull() ? CurrentRows::looseKey(keyValues) : loose);
        if (kind == 'U' && newKey != keyValues) prefetched.touch(CurrentRows::looseKey(newKey));
        if (!ok) {
            savepoint.rollBack();
            // Disk full, I/O errors and the like can roll the whole transaction back: stop then.
            if (!storage_.inTransaction())
                throw StorageError(QStringLiteral("The apply stopped at row %1 (%2): the database rolled the "
                                                  "transaction back; nothing was stored")
                                       .arg(i)
                                       .arg(prepareError)
                                       .toStdString());
            fail(kConstraint, prepareError);
            continue;
        }
        if (kind == 'D') {
            result.applied.append(qMakePair(i, kvx::Row()));
            continue;
        }
        // The row as stored: what was written over the row read before (a change) or, for an insert
        // that sets every column, what was written; the values pass through the same conversion as
        // values read. Otherwise (defaults of the table) it is read back.
        std::optional<kvx::Row> row = std::move(current);
        if (!row && shape.writesEveryColumn) row.emplace(tableColumns_.size());
        if (row) {
            for (const auto& [c, value] : std::as_const(writes))
                (*row)[c] = toVariant(value, fields_[c].type);
        } else {
            row = currentRow(keys, newKey, &statements);
        }
        if (row) {
            if (sameOrder) {
                result.applied.append(qMakePair(i, std::move(*row)));
            } else {
                kvx::Row applied;
                applied.reserve(delta.fields.size());
                for (int f = 0; f < delta.fields.size(); ++f)
                    applied.append(colOf[f] >= 0 ? row->at(colOf[f]) : Variant());
                result.applied.append(qMakePair(i, std::move(applied)));
            }
        }
    }
    result.errorCount = result.errors.size();
    if (maxErrors >= 0 && result.errorCount > maxErrors) {
        result.applied.clear(); // the transaction rolls back: nothing of this delta is stored
        return result;
    }
    tx.commit();
    return result;
}

} // namespace kvxsrv
