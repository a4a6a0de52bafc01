#include "PgTestDatabase.h"

#include <QAtomicInteger>
#include <QCoreApplication>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>
#include <QUrlQuery>
#include <cstdio>

namespace kvxtest {

namespace {
const char* const kOwner = "kvx_owner";
const char* const kServer = "kvx_server";
const char* const kOwnerPassword = "owner-Pw-4t7";
const char* const kServerPassword = "server-Pw-9q2";

QString adminUri() {
    return qEnvironmentVariable("KVX_TEST_PG");
}

// Runs statements as the superuser on a database of the test server.
bool asSuperuser(const QString& database, const QStringList& statements) {
    const QUrl url(adminUri());
    static QAtomicInteger<int> counter;
    const QString conn = QStringLiteral("kvxtest-admin-%1").arg(++counter);
    bool ok = true;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), conn);
        db.setHostName(QUrlQuery(url).queryItemValue(QStringLiteral("host"), QUrl::FullyDecoded));
        db.setPort(url.port(5432));
        db.setUserName(url.userName());
        db.setDatabaseName(database);
        if (!db.open()) {
            std::fprintf(stderr, "PgTestDatabase: %s\n", qPrintable(db.lastError().text()));
            ok = false;
        }
        for (const QString& sql : statements) {
            if (!ok) break;
            QSqlQuery q(db);
            if (!q.exec(sql)) {
                std::fprintf(stderr, "PgTestDatabase: %s: %s\n", qPrintable(sql),
                             qPrintable(q.lastError().text()));
                ok = false;
            }
        }
    }
    QSqlDatabase::removeDatabase(conn);
    return ok;
}
} // namespace

bool PgTestDatabase::wanted() {
    return qEnvironmentVariable("KVX_TEST_ENGINE")
                   .compare(QLatin1String("PostgreSQL"), Qt::CaseInsensitive) == 0 &&
           !adminUri().isEmpty();
}

PgTestDatabase::PgTestDatabase(const QString& passFile) {
    const QUrl url(adminUri());
    host_ = QUrlQuery(url).queryItemValue(QStringLiteral("host"), QUrl::FullyDecoded);
    port_ = url.port(5432);
    static QAtomicInteger<int> counter;
    name_ = QStringLiteral("kvxt_%1_%2").arg(QCoreApplication::applicationPid()).arg(++counter);
    // The roles are the server's (cluster-wide): made once, by whichever test process comes first.
    asSuperuser(
        QStringLiteral("postgres"),
        {QStringLiteral("DO $$ BEGIN IF NOT EXISTS (SELECT 1 FROM pg_roles WHERE rolname = '%1') THEN "
                        "CREATE ROLE %1 LOGIN PASSWORD '%2'; END IF; "
                        "IF NOT EXISTS (SELECT 1 FROM pg_roles WHERE rolname = '%3') THEN "
                        "CREATE ROLE %3 LOGIN PASSWORD '%4'; END IF; "
                        "EXCEPTION WHEN unique_violation THEN NULL; END $$")
             .arg(QLatin1String(kOwner), QLatin1String(kOwnerPassword), QLatin1String(kServer),
                  QLatin1String(kServerPassword))});
    asSuperuser(QStringLiteral("postgres"),
                {QStringLiteral("CREATE DATABASE %1 OWNER %2").arg(name_, QLatin1String(kOwner))});
    // Nobody but the owner creates anything in the new database.
    asSuperuser(name_,
                {QStringLiteral("REVOKE CREATE ON SCHEMA public FROM PUBLIC"),
                 QStringLiteral("REVOKE ALL ON DATABASE %1 FROM PUBLIC").arg(name_),
                 QStringLiteral("GRANT CONNECT ON DATABASE %1 TO %2").arg(name_, QLatin1String(kServer))});
    QFile f(passFile);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        // The roles are the cluster's: any database of the test server.
        f.write(QStringLiteral("# test server\n*:*:*:%1:%2\n*:*:*:%3:%4\n")
                    .arg(QLatin1String(kServer), QLatin1String(kServerPassword), QLatin1String(kOwner),
                         QLatin1String(kOwnerPassword))
                    .toUtf8());
    }
}

PgTestDatabase::~PgTestDatabase() {
    asSuperuser(QStringLiteral("postgres"),
                {QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(name_)});
}

QString PgTestDatabase::uri() const {
    return QStringLiteral("postgresql://%1@/%2?host=%3&port=%4&admin=%5")
        .arg(QLatin1String(kServer), name_, QString::fromUtf8(QUrl::toPercentEncoding(host_)))
        .arg(port_)
        .arg(QLatin1String(kOwner));
}

QString PgTestDatabase::iniSection(const QString& passFileName) const {
    return QStringLiteral("[Database]\nEngine=PostgreSQL\nHost=%1\nPort=%2\nName=%3\nUser=%4\nAdminUser=%5\n"
                          "PasswordFile=%6\n")
        .arg(host_)
        .arg(port_)
        .arg(name_, QLatin1String(kServer), QLatin1String(kOwner), passFileName);
}

bool PgTestDatabase::superuserExec(const QString& sql, bool onThisDatabase) const {
    return asSuperuser(onThisDatabase ? name_ : QStringLiteral("postgres"), {sql});
}

} // namespace kvxtest
