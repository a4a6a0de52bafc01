#include "CopyDatabase.h"

#include "Providers.h"

#include <QCryptographicHash>
#include <QSqlError>
#include <QSqlQuery>
#include <QtEndian>

namespace kvxsrv {

namespace {

// Tables of the migration machinery: the target has its own.
bool bookkeeping(const QString& table) {
    return table.compare(QLatin1String("schema_version"), Qt::CaseInsensitive) == 0 ||
           table.compare(QLatin1String("kvx_names"), Qt::CaseInsensitive) == 0;
}

QString canonical(const QVariant& v, kvx::FieldType type) {
    if (v.isNull()) return QStringLiteral("\x01N");
    switch (type) {
    case kvx::FieldType::Integer:
        return QString::number(v.toLongLong());
    case kvx::FieldType::Float:
        return QString::number(v.toDouble(), 'g', 17);
    case kvx::FieldType::Blob:
        return QString::fromLatin1(v.toByteArray().toHex());
    default:
        return v.toString();
    }
}

QString columnList(const QList<SqlDialect::Column>& cols) {
    QStringList names;
    for (const auto& c : cols)
        names << c.name;
    return names.join(QLatin1Char(','));
}

} // namespace

CopiedTable tableChecksum(Storage& s, const QString& table) {
    const auto cols = s.dialect().columns(s.db(), table);
    QList<kvx::FieldType> types;
    for (const auto& c : cols) {
        int size = 0;
        types << fieldTypeOf(c.declType, size);
    }
    QSqlQuery q(s.db());
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral("SELECT %1 FROM %2").arg(columnList(cols), table)))
        throw StorageError(
            QStringLiteral("Cannot read %1: %2").arg(table, q.lastError().text()).toStdString());
    CopiedTable t;
    t.name = table;
    quint64 sum = 0;
    while (q.next()) {
        QCryptographicHash h(QCryptographicHash::Sha256);
        for (int i = 0; i < cols.size(); ++i) {
            const QByteArray part = canonical(q.value(i), types[i]).toUtf8();
            h.addData(QByteArray::number(part.size()) + ':' + part);
        }
        sum += qFromBigEndian<quint64>(h.result().constData());
        ++t.rows;
    }
    t.checksum = QStringLiteral("%1").arg(sum, 16, 16, QLatin1Char('0'));
    return t;
}

QList<CopiedTable> copyDatabase(Storage& source, const StorageConfig& targetConfig) {
    {
        StorageConfig probe = targetConfig;
        probe.runMigrations = false;
        Storage t(probe);
        const QStringList existing = t.dialect().tableNames(t.db());
        if (!existing.isEmpty())
            throw StorageError(
                QStringLiteral("The target database %1 is not empty (%2 tables, among them %3): "
                               "copy only into an empty database")
                    .arg(t.filePath())
                    .arg(existing.size())
                    .arg(existing.first())
                    .toStdString());
    }
    // The same schema as the source: the migrations bring both to the latest version.
    StorageConfig full = targetConfig;
    full.runMigrations = true;
    full.migrateUpTo = -1;
    Storage target(full);
    if (target.schemaVersion() != source.schemaVersion())
        throw StorageError(QStringLiteral("Schema versions differ: source %1, target %2")
                               .arg(source.schemaVersion())
                               .arg(target.schemaVersion())
                               .toStdString());

    QStringList tables;
    for (const QString& t : source.dialect().tableNames(source.db()))
        if (!bookkeeping(t)) tables << t;

    QList<CopiedTable> expected;
    for (const QString& t : tables)
        expected << tableChecksum(source, t);

    Storage::Transaction tx(target);
    for (const QString& table : tables) {
        if (!target.dialect().tableExists(target.db(), table))
            throw StorageError(QStringLiteral("The target has no table %1").arg(table).toStdString());
        const auto cols = source.dialect().columns(source.db(), table);
        QStringList marks;
        for (int i = 0; i < cols.size(); ++i)
            marks << QStringLiteral("?");
        // The migrations' seed rows make way for the source's rows.
        target.execDirect(QStringLiteral("DELETE FROM %1").arg(table));
        QSqlQuery in(source.db());
        in.setForwardOnly(true);
        if (!in.exec(QStringLiteral("SELECT %1 FROM %2").arg(columnList(cols), table)))
            throw StorageError(in.lastError().text().toStdString());
        QSqlQuery out(target.db());
        if (!out.prepare(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                             .arg(table, columnList(cols), marks.join(QLatin1Char(',')))))
            throw StorageError(out.lastError().text().toStdString());
        while (in.next()) {
            for (int i = 0; i < cols.size(); ++i)
                out.bindValue(i, in.value(i));
            if (!out.exec())
                throw StorageError(
                    QStringLiteral("Copying %1: %2").arg(table, out.lastError().text()).toStdString());
        }
        if (target.dialect().isPostgres())
            // Generated keys go on after the highest copied one.
            for (const auto& c : cols) {
                const QVariant seq = target.scalar(QStringLiteral("SELECT pg_get_serial_sequence(?, ?)"),
                                                   {table.toLower(), c.name.toLower()});
                if (!seq.isNull() && seq.isValid())
                    target.scalar(
                        QStringLiteral("SELECT setval(?, COALESCE((SELECT MAX(%1) FROM %2), 0) + 1, false)")
                            .arg(c.name, table),
                        {seq});
            }
    }
    QList<CopiedTable> copied;
    for (int i = 0; i < tables.size(); ++i) {
        const CopiedTable got = tableChecksum(target, tables[i]);
        if (got.rows != expected[i].rows || got.checksum != expected[i].checksum)
            throw StorageError(
                QStringLiteral("%1: %2 rows, checksum %3 in the source but %4 rows, checksum %5 "
                               "in the target; nothing was copied")
                    .arg(tables[i])
                    .arg(expected[i].rows)
                    .arg(expected[i].checksum)
                    .arg(got.rows)
                    .arg(got.checksum)
                    .toStdString());
        copied << got;
    }
    tx.commit();
    return copied;
}

} // namespace kvxsrv
