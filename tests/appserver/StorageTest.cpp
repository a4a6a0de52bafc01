#include "Storage.h"
#include "SeedData.h"
#include "ServerEnv.h"
#include "platform/CodePage.h"

#include <QSet>
#include <QSqlQuery>

using namespace kvxsrv;

namespace {
QStringList column(Storage& s, const QString& sql) {
    QSqlQuery q(s.db());
    EXPECT_TRUE(q.exec(sql)) << sql.toStdString();
    QStringList out;
    while (q.next())
        out << q.value(0).toString();
    return out;
}
} // namespace

TEST(Storage, NewDatabaseHasLatestSchemaAndSeededTransmissionSettings) {
    apptest::ServerEnv env;
    Storage s(env.config);
    EXPECT_EQ(s.schemaVersion(), latestSchemaVersion());
    if (apptest::onPostgres()) {
        EXPECT_TRUE(s.filePath().startsWith("postgresql://kvx_server@/")) << s.filePath().toStdString();
    } else {
        EXPECT_TRUE(s.filePath().startsWith(env.tree.serverPath()));
        EXPECT_TRUE(s.filePath().endsWith("/kvx.db"));
    }

    const QStringList kinds = column(s, "SELECT MB001 FROM QLDMB");
    EXPECT_GE(kinds.size(), 30);
    EXPECT_LE(kinds.size(), 60);
    QSqlQuery q(s.db());
    ASSERT_TRUE(q.exec("SELECT MB001, MB001C, MB002, MB004, MB003, COMPANY, FLAG FROM QLDMB"));
    int withItems = 0;
    while (q.next()) {
        const QString kind = q.value(0).toString();
        EXPECT_LE(q.value(1).toString().size(), 24) << kind.toStdString();
        EXPECT_TRUE(QStringList({"1", "2", "3"}).contains(q.value(2).toString())) << kind.toStdString();
        EXPECT_TRUE(QStringList({"1", "2"}).contains(q.value(3).toString())) << kind.toStdString();
        const QString content = q.value(4).toString();
        EXPECT_LE(kvx::codepage::encode(content, 936).size(), 255) << kind.toStdString();
        if (!content.isEmpty()) {
            ++withItems;
            for (const QString& item : content.split('|'))
                EXPECT_EQ(item.split('_').size(), 10) << item.toStdString();
        }
        EXPECT_EQ(q.value(5).toString(), "DEMO");
        EXPECT_EQ(q.value(6).toDouble(), 1.0);
    }
    EXPECT_GT(withItems, 30);
    EXPECT_EQ(column(s, "SELECT DISTINCT MB004 FROM QLDMB ORDER BY 1"), QStringList({"1", "2"}));
}

TEST(Storage, MessageCatalogueHasEveryCodeTheModuleShows) {
    apptest::ServerEnv env;
    Storage s(env.config);
    const QStringList shown = {"C000001", "C000002", "C000004", "D000001", "D000002", "E000003", "E000004",
                               "E000005", "E000007", "E000008", "E000015", "E000016", "E000032", "E000033",
                               "E000038", "E100002", "E100187", "E100280", "E100288", "E200570", "E200571",
                               "E200820", "W000001", "W100079", "W200010"};
    for (const char* lang : {"CHS", "ENG"}) {
        const QStringList have = column(s, QString("SELECT MSG001 || MSG002 FROM MSGCAT WHERE MSG003 = '%1'")
                                               .arg(QString::fromLatin1(lang)));
        for (const QString& code : shown)
            EXPECT_TRUE(have.contains(code)) << code.toStdString() << " " << lang;
    }
    // Messages taking arguments keep their placeholders in both languages.
    EXPECT_EQ(column(s, "SELECT COUNT(*) FROM MSGCAT WHERE MSG002 IN ('100280','100288') AND MSG004 LIKE "
                        "'%\\%s%\\%s%' ESCAPE '\\'"),
              QStringList({"4"}));
}

TEST(Storage, OlderDatabaseIsUpgradedInPlaceKeepingItsRows) {
    apptest::ServerEnv env;
    {
        StorageConfig old = env.config;
        old.migrateUpTo = 2; // a database from before the transmission settings were seeded
        Storage s(old);
        EXPECT_EQ(s.schemaVersion(), 2);
        EXPECT_EQ(s.scalar("SELECT COUNT(*) FROM QLDMB").toInt(), 0);
        s.exec("INSERT INTO QLDMB (MB001, MB001C, MB002, MB004, MB005, MB003) VALUES ('ZZ001', 'KV_ZZ.XML', "
               "'2', '2', "
               "'kept across upgrades', '')");
        s.exec("UPDATE KVXMA SET MA002 = 'renamed' WHERE MA001 = 'CLERK'");
    }
    Storage s(env.config);
    EXPECT_EQ(s.schemaVersion(), latestSchemaVersion());
    EXPECT_EQ(s.scalar("SELECT MB005 FROM QLDMB WHERE MB001 = 'ZZ001'").toString(), "kept across upgrades");
    EXPECT_EQ(s.scalar("SELECT MA002 FROM KVXMA WHERE MA001 = 'CLERK'").toString(), "renamed");
    EXPECT_GT(s.scalar("SELECT COUNT(*) FROM QLDMB").toInt(), 30);
    const int rows = s.scalar("SELECT COUNT(*) FROM QLDMB").toInt();
    const int applied = s.scalar("SELECT COUNT(*) FROM schema_version").toInt();
    Storage again(env.config); // opening once more runs nothing twice
    EXPECT_EQ(again.scalar("SELECT COUNT(*) FROM QLDMB").toInt(), rows);
    // Version numbers need not be contiguous (numbers are reserved per change).
    EXPECT_EQ(again.scalar("SELECT COUNT(*) FROM schema_version").toInt(), applied);
    EXPECT_EQ(again.scalar("SELECT MAX(version) FROM schema_version").toInt(), latestSchemaVersion());
}

TEST(Storage, DatabaseFileComesFromTheServerConfiguration) {
    apptest::ServerEnv env;
    env.tree.writeText("server/StaveloS.ini", "[Database]\nFile=data/company.db\n");
    EXPECT_EQ(StorageConfig::fromRegistry().resolveFile(), env.tree.serverPath() + "data/company.db");
    StorageConfig explicitFile;
    explicitFile.databaseFile = env.tree.root() + "/x.db";
    EXPECT_EQ(explicitFile.resolveFile(), env.tree.root() + "/x.db");
    kvxtest::ScopedEnv noRegistry("KVX_REGISTRY", (env.tree.root() + "/none.ini").toUtf8());
    EXPECT_THROW(StorageConfig::fromRegistry().resolveFile(), StorageError);
}

TEST(Storage, TableListFollowsSchemaChangesOfAnyConnection) {
    apptest::ServerEnv env;
    Storage a(env.config);
    Storage b(env.config);
    const QStringList before = a.tableNames();
    EXPECT_TRUE(before.contains("QLDMB", Qt::CaseInsensitive));
    EXPECT_EQ(a.tableNames(), before) << "listed again, the same";
    apptest::ownerExec(b, "CREATE TABLE T2SCRATCH (A INTEGER)");
    EXPECT_TRUE(a.tableNames().contains("T2SCRATCH", Qt::CaseInsensitive)) << "another connection's table";
    apptest::ownerExec(a, "DROP TABLE T2SCRATCH");
    EXPECT_FALSE(a.tableNames().contains("T2SCRATCH", Qt::CaseInsensitive));
    EXPECT_EQ(a.tableNames().size(), before.size());
}

TEST(Storage, ColumnsFollowSchemaChangesOfAnyConnection) {
    apptest::ServerEnv env;
    Storage a(env.config);
    Storage b(env.config);
    const auto names = [&a](const QString& table) {
        QStringList out;
        for (const auto& c : a.columns(table))
            out << c.name.toUpper();
        return out;
    };
    const QStringList direct = [&] {
        QStringList out;
        for (const auto& c : a.dialect().columns(a.db(), "QLDMB"))
            out << c.name.toUpper();
        return out;
    }();
    ASSERT_TRUE(direct.contains("MB001"));
    EXPECT_EQ(names("QLDMB"), direct);
    EXPECT_EQ(names("QLDMB"), direct) << "kept, the same";
    EXPECT_TRUE(names("T3SCRATCH").isEmpty());
    apptest::ownerExec(b, "CREATE TABLE T3SCRATCH (A INTEGER NOT NULL PRIMARY KEY, B VARCHAR(4))");
    EXPECT_EQ(names("T3SCRATCH"), QStringList({"A", "B"})) << "another connection's new table";
    apptest::ownerExec(b, "ALTER TABLE T3SCRATCH ADD COLUMN C INTEGER");
    EXPECT_EQ(names("T3SCRATCH"), QStringList({"A", "B", "C"})) << "another connection's new column";
    const auto key = a.columns("T3SCRATCH");
    EXPECT_TRUE(key[0].primaryKey);
    EXPECT_TRUE(key[0].notNull);
    EXPECT_FALSE(key[1].primaryKey);
    apptest::ownerExec(a, "DROP TABLE T3SCRATCH");
    EXPECT_TRUE(names("T3SCRATCH").isEmpty());
}
