#include "ServerEnv.h"
#include "platform/Automation.h"

#include <QSqlDatabase>
#include <QTemporaryDir>
#include <thread>

using namespace kvxsrv;
using kvx::Variant;

namespace {
StorageConfig sharing(const apptest::ServerEnv& env) {
    StorageConfig c = env.config;
    c.shareInProcess = true;
    return c;
}

std::shared_ptr<ProgramServer> connected(const StorageConfig& config, const QString& user = "DS") {
    auto s = std::make_shared<ProgramServer>(config);
    EXPECT_EQ(s->connect("QLDI05", user, "DEMO", "DEMO"), 0) << s->lastError().toStdString();
    return s;
}

kvx::DataPacket open(ProgramServer& s, int count) {
    s.dataRequest("pvdMain", kvx::DataRequest{{}, {}, {}}.toVariant());
    return s.getRecords("pvdMain", count);
}

QStringList column(const QList<kvx::Row>& rows, int field) {
    QStringList out;
    for (const kvx::Row& r : rows)
        out << r[field].toString();
    return out;
}
} // namespace

TEST(InProcessConnections, ObjectsOfOneThreadShareOneConnectionPerDatabase) {
    apptest::ServerEnv env;
    { Storage migrated(env.config); }
    const auto before = QSqlDatabase::connectionNames().size();
    ASSERT_EQ(sharedInProcessConnections(), 0);
    {
        auto a = connected(sharing(env));
        auto b = connected(sharing(env), "CLERK");
        LookupServer lookup(sharing(env));
        kvx::VariantList args{Variant::fromList({"DS", "DEMO"})};
        EXPECT_EQ(lookup.invoke("Connect", args).toInt(), 0);
        EXPECT_EQ(sharedInProcessConnections(), 1);
        EXPECT_EQ(QSqlDatabase::connectionNames().size(), before + 1);

        // An object that does not ask to share keeps a connection of its own.
        auto own = connected(env.config);
        EXPECT_EQ(QSqlDatabase::connectionNames().size(), before + 2);

        // Another thread never uses this thread's connection.
        const auto rows = open(*a, -1).rows.size();
        std::thread other([&] {
            auto c = connected(sharing(env));
            EXPECT_EQ(open(*c, -1).rows.size(), rows);
            EXPECT_EQ(sharedInProcessConnections(), 2);
        });
        other.join();
        EXPECT_EQ(sharedInProcessConnections(), 1);
        EXPECT_EQ(open(*b, -1).rows.size(), open(*a, -1).rows.size());
    }
    EXPECT_EQ(sharedInProcessConnections(), 0); // closed with its last object
    EXPECT_EQ(QSqlDatabase::connectionNames().size(), before);
}

TEST(InProcessConnections, AnotherDatabaseGetsItsOwnConnection) {
    APPTEST_SQLITE_ONLY();
    apptest::ServerEnv env;
    QTemporaryDir dir;
    StorageConfig other = sharing(env);
    other.databaseFile = dir.filePath("other.db");
    auto a = connected(sharing(env));
    auto b = connected(other);
    EXPECT_EQ(sharedInProcessConnections(), 2);
    // A change in one database is not in the other.
    const kvx::DataPacket p = open(*a, -1);
    kvx::Delta d;
    d.fields = p.fields;
    kvx::Row added = p.rows[0];
    added[p.fieldIndex("MB001")] = "ZZZ99";
    d.rows.append({kvx::UpdateStatus::Inserted, {}, added});
    ASSERT_EQ(a->applyUpdates("pvdMain", d, 0).errorCount, 0);
    EXPECT_EQ(open(*a, -1).rows.size(), p.rows.size() + 1);
    EXPECT_EQ(open(*b, -1).rows.size(), p.rows.size());
}

TEST(InProcessConnections, AWriteOfOneObjectLeavesTheOpenPacketsOfAnotherAsTheyWereRead) {
    apptest::ServerEnv env;
    auto reader = connected(sharing(env));
    auto writer = connected(sharing(env));
    ASSERT_EQ(sharedInProcessConnections(), 1);

    const kvx::DataPacket first = open(*reader, 5);
    ASSERT_EQ(first.rows.size(), 5);
    ASSERT_FALSE(first.eof);
    const int key = first.fieldIndex("MB001"), remark = first.fieldIndex("MB005");

    // The writer changes the last row and adds one after it while the reader's cursor is open.
    const kvx::DataPacket all = open(*writer, -1);
    const kvx::Row last = all.rows.last();
    kvx::Delta d;
    d.fields = all.fields;
    kvx::DeltaRow change;
    change.status = kvx::UpdateStatus::Modified;
    change.oldValues = last;
    for (int i = 0; i < all.fields.size(); ++i)
        change.newValues.append(Variant());
    change.newValues[remark] = "changed while another object read";
    d.rows.append(change);
    kvx::Row added = last;
    added[key] = "ZZZ99";
    d.rows.append({kvx::UpdateStatus::Inserted, {}, added});
    const kvx::ApplyResult r = writer->applyUpdates("pvdMain", d, -1);
    ASSERT_EQ(r.errorCount, 0) << r.errors.value(0).message.toStdString();

    // The reader's remaining packets are the rows as they were when it opened them, each once.
    const kvx::DataPacket rest = reader->getRecords("pvdMain", -1);
    EXPECT_TRUE(rest.eof);
    const QStringList keys = column(first.rows, key) + column(rest.rows, key);
    EXPECT_EQ(keys, column(all.rows, key));
    EXPECT_EQ(rest.rows.last()[remark].toString(), last[remark].toString());

    // Opened again, it sees the change.
    const kvx::DataPacket again = open(*reader, -1);
    EXPECT_EQ(again.rows.size(), all.rows.size() + 1);
    EXPECT_EQ(again.rows.last()[key].toString(), "ZZZ99");
}

TEST(InProcessConnections, TheAutomationFactoriesShareTheirConnection) {
    apptest::ServerEnv env;
    { Storage migrated(env.config); }
    const auto before = QSqlDatabase::connectionNames().size();
    {
        auto program = kvx::CreateOleObject("TRIVON.Class1");
        auto lookup = kvx::CreateOleObject("Halvex.Class1");
        kvx::VariantList connect{Variant::fromList({"QLDI05", "DS", "DEMO", "DEMO"})};
        EXPECT_EQ(program->invoke("Connect", connect).toInt(), 0);
        kvx::VariantList lookupConnect{Variant::fromList({"DS", "DEMO"})};
        EXPECT_EQ(lookup->invoke("Connect", lookupConnect).toInt(), 0);
        EXPECT_EQ(QSqlDatabase::connectionNames().size(), before + 1);
    }
    EXPECT_EQ(QSqlDatabase::connectionNames().size(), before);
}

TEST(KeptStatements, AKeptStatementHoldsNoSnapshotAndFollowsSchemaChanges) {
    APPTEST_SQLITE_ONLY();
    apptest::ServerEnv env;
    Storage a(env.config), b(env.config);
    const QString sql = "SELECT MB005 FROM QLDMB WHERE MB001 = ?";
    const QString kind = a.scalar("SELECT MIN(MB001) FROM QLDMB").toString();
    ASSERT_FALSE(kind.isEmpty());
    const QString before = a.scalar(sql, {kind}).toString();

    // Another connection's committed change is seen by the same statement.
    b.exec("UPDATE QLDMB SET MB005 = ? WHERE MB001 = ?", {before + " (b)", kind});
    EXPECT_EQ(a.scalar(sql, {kind}).toString(), before + " (b)");
    EXPECT_FALSE(a.scalar(sql, {"no such kind"}).isValid());

    // The table the statement reads may be dropped and made again, with other columns.
    a.exec("CREATE TABLE kept_t (k TEXT, v TEXT)");
    a.exec("INSERT INTO kept_t VALUES ('x', 'one')");
    EXPECT_EQ(a.scalar("SELECT v FROM kept_t WHERE k = ?", {"x"}).toString(), "one");
    a.exec("DROP TABLE kept_t");
    a.exec("CREATE TABLE kept_t (v INTEGER, k TEXT)");
    a.exec("INSERT INTO kept_t VALUES (2, 'x')");
    EXPECT_EQ(a.scalar("SELECT v FROM kept_t WHERE k = ?", {"x"}).toInt(), 2);
    EXPECT_THROW(a.scalar("SELECT nothing FROM kept_t"), StorageError);
    EXPECT_THROW(a.scalar("SELECT nothing FROM kept_t"), StorageError); // a failed statement is not kept
}

TEST(CheckedStatements, ARequestCheckedBeforeASchemaChangeRunsUnderTheSameRules) {
    APPTEST_SQLITE_ONLY();
    apptest::ServerEnv env;
    auto s = connected(env.config);
    const int rows = open(*s, -1).rows.size();
    s->dataRequest("pvdMain", kvx::DataRequest{"MB002 = '2'", {}, {}}.toVariant());
    {
        // Another connection changes the table's schema between the request and the first packet.
        Storage other(env.config);
        other.exec("ALTER TABLE QLDMB ADD COLUMN KEPT_X TEXT");
    }
    const kvx::DataPacket p = s->getRecords("pvdMain", -1);
    EXPECT_GT(p.rows.size(), 0);
    EXPECT_LT(p.rows.size(), rows);
    for (const kvx::Row& r : p.rows)
        EXPECT_EQ(r[p.fieldIndex("MB002")].toString(), "2");

    // A request is checked when it is made: one reading another table is refused there and then.
    EXPECT_THROW(
        s->dataRequest("pvdMain", kvx::DataRequest{"MB001 IN (SELECT MA001 FROM KVXMA)", {}, {}}.toVariant()),
        kvx::AutomationError);
}
