// Data that must never be half-stored, wire values and parameters that must be refused, and the limits
// that keep one client from stopping the others (in process and against the daemon over loopback).
#include "Passwords.h"
#include "RpcSession.h"
#include "ServerEnv.h"
#include "platform/SocketConnection.h"

#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlDatabase>
#include <QTcpSocket>

using namespace kvxsrv;
using kvx::Variant;

namespace {
kvx::Delta insertion(const QList<kvx::FieldDesc>& fields, const QList<kvx::Row>& rows) {
    kvx::Delta d;
    d.fields = fields;
    for (const kvx::Row& r : rows)
        d.rows.append({kvx::UpdateStatus::Inserted, {}, r});
    return d;
}

kvx::Delta change(const kvx::DataPacket& p, int row, const QString& field, const Variant& value) {
    kvx::Delta d;
    d.fields = p.fields;
    kvx::DeltaRow r{kvx::UpdateStatus::Modified, p.rows[row], {}};
    for (int i = 0; i < p.fields.size(); ++i)
        r.newValues.append(Variant());
    r.newValues[p.fieldIndex(field)] = value;
    d.rows.append(r);
    return d;
}

// A table of the test's own with one column of each kind.
std::unique_ptr<TableProvider> typedTable(Storage& s) {
    apptest::ownerExec(
        s, "CREATE TABLE IF NOT EXISTS TT (K VARCHAR(10) PRIMARY KEY, S VARCHAR(4), N INTEGER, D FLOAT)");
    TableProvider::Options o;
    o.table = "TT";
    o.keyFields = {"K"};
    return std::make_unique<TableProvider>(s, o);
}

kvx::DataPacket fetchAll(TableProvider& p) {
    p.dataRequest(kvx::DataRequest{"All", "K", {}}.toVariant());
    return p.getRecords(-1);
}

QJsonObject reply(RpcSession& s, const QJsonObject& req) {
    QJsonObject r = req;
    r.insert("jsonrpc", "2.0");
    r.insert("id", 1);
    return QJsonDocument::fromJson(s.handleLine(QJsonDocument(r).toJson(QJsonDocument::Compact))).object();
}
int code(const QJsonObject& r) {
    return r.value("error").toObject().value("code").toInt();
}
QJsonObject call(const char* method, const QJsonObject& params) {
    return {{"method", method}, {"params", params}};
}

// One raw client of the daemon: request lines out, answer lines in, with a bounded wait.
struct RawClient {
    QTcpSocket sock;
    QByteArray buffer;
    explicit RawClient(int port) {
        sock.connectToHost("127.0.0.1", quint16(port));
        sock.waitForConnected(5000);
    }
    void send(const QByteArray& line) {
        sock.write(line);
        sock.waitForBytesWritten(5000);
    }
    QJsonObject request(const char* method, const QJsonObject& params) {
        send(QJsonDocument(QJsonObject{{"jsonrpc", "2.0"}, {"method", method}, {"params", params}, {"id", 1}})
                 .toJson(QJsonDocument::Compact) +
             '\n');
        return QJsonDocument::fromJson(readLine(10000)).object();
    }
    QByteArray readLine(int ms) {
        QElapsedTimer t;
        t.start();
        while (!buffer.contains('\n') && t.elapsed() < ms) {
            if (sock.bytesAvailable() == 0 && !sock.waitForReadyRead(100) &&
                sock.state() != QAbstractSocket::ConnectedState)
                break;
            buffer += sock.readAll();
        }
        const qsizetype end = buffer.indexOf('\n');
        if (end < 0) return {};
        const QByteArray line = buffer.left(end);
        buffer.remove(0, end + 1);
        return line;
    }
    // Whether the server closed the connection within the time.
    bool closedWithin(int ms) {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < ms) {
            if (sock.state() != QAbstractSocket::ConnectedState) return true;
            sock.waitForReadyRead(100);
            buffer += sock.readAll();
        }
        return sock.state() != QAbstractSocket::ConnectedState;
    }
};

void writeLimits(const QString& serverFolder, const QString& limits) {
    QFile f(QDir(serverFolder).filePath("StaveloS.ini"));
    ASSERT_TRUE(f.open(QIODevice::Append));
    f.write(("\n[Limits]\n" + limits + "\n").toUtf8());
}
} // namespace

TEST(ApplySafety, ATransactionEndedByTheDatabaseStopsTheApplyAndStoresNothing) {
    APPTEST_SQLITE_ONLY(); // a trigger that rolls back the transaction
    apptest::ServerEnv env;
    Storage s(env.config);
    TableProvider::Options o;
    o.table = "QLDMB";
    o.keyFields = {"MB001"};
    TableProvider p(s, o);
    const int before = s.scalar("SELECT COUNT(*) FROM QLDMB").toInt();
    // The database rolls the whole transaction back at the 50th row (as disk full or an I/O error may).
    s.exec("CREATE TEMP TRIGGER fail50 BEFORE INSERT ON QLDMB WHEN NEW.MB001 = 'T0050' "
           "BEGIN SELECT RAISE(ROLLBACK, 'simulated failure'); END");
    QList<kvx::Row> rows;
    const auto fields = p.fields();
    for (int i = 0; i < 200; ++i) {
        kvx::Row r;
        for (const kvx::FieldDesc& f : fields)
            r.append(f.name == "MB001"                 ? Variant(QString("T%1").arg(i, 4, 10, QChar('0')))
                     : f.name == "MB002"               ? Variant("1")
                     : f.type == kvx::FieldType::Float ? Variant(0.0)
                                                       : Variant(""));
        rows.append(r);
    }
    EXPECT_THROW(p.applyUpdates(insertion(fields, rows), -1), StorageError);
    EXPECT_EQ(s.scalar("SELECT COUNT(*) FROM QLDMB").toInt(), before); // not one row of it
    EXPECT_FALSE(s.inTransaction());
}

TEST(ApplySafety, OriginalValuesCompareExactlyAndValuesMustSuitTheirColumns) {
    apptest::ServerEnv env;
    Storage s(env.config);
    auto p = typedTable(s);
    s.exec("INSERT INTO TT VALUES ('A', 'ab', 5000000000000, 0.30000000000000004)");
    const auto fetched = fetchAll(*p);
    // Another client adds 3; a stale -2 on the fetched value must not overwrite it.
    s.exec("UPDATE TT SET N = N + 3");
    auto r = p->applyUpdates(change(fetched, 0, "N", Variant(qint64(4999999999998))), 0);
    ASSERT_EQ(r.errorCount, 1);
    EXPECT_EQ(r.errors[0].errorCode, kChangedByOther);
    EXPECT_EQ(s.scalar("SELECT N FROM TT").toLongLong(), 5000000000003);
    // A double differing in the last bit is a change too; the exact value is not.
    const auto now = fetchAll(*p);
    kvx::Delta nearly = change(now, 0, "S", "x");
    nearly.rows[0].oldValues[now.fieldIndex("D")] = Variant(0.3);
    EXPECT_EQ(p->applyUpdates(nearly, 0).errors.value(0).errorCode, kChangedByOther);
    EXPECT_EQ(p->applyUpdates(change(now, 0, "S", "x"), 0).errorCount, 0);

    const auto again = fetchAll(*p);
    struct Case {
        const char* field;
        Variant value;
        int code; // 0: stored
    };
    const QList<Case> cases = {
        {"S", Variant("ABCDE"), kTooLong},
        {"S", Variant(QString::fromUtf8("中文")), 0},                        // 4 bytes in GBK
        {"S", Variant(QString::fromUtf8("a\xF0\x9F\x98\x80")), kConstraint}, // emoji: outside GBK
        {"S", Variant(12), kConstraint},
        {"S", Variant::fromDate(45000.0), kConstraint},
        {"N", Variant("12"), kConstraint},
        {"N", Variant(1.5), kConstraint},
        {"N", Variant(2.0), 0},
        {"D", Variant("1.5"), kConstraint},
        {"D", Variant(7), 0},
    };
    for (const Case& c : cases) {
        const auto cur = fetchAll(*p);
        const auto res = p->applyUpdates(change(cur, 0, c.field, c.value), 0);
        EXPECT_EQ(res.errors.value(0).errorCode, c.code)
            << c.field << " " << c.value.toString().toStdString();
    }
    EXPECT_EQ(s.scalar("SELECT S FROM TT").toString(), QString::fromUtf8("中文"));
    (void)again;
}

// The rows an apply reports are the rows as stored, whether they are read back or made from what was
// written; statements of different shapes in one apply do not mix up their values.
TEST(ApplySafety, AppliedRowsAreTheStoredRowsWhateverTheShapeOfEachChange) {
    apptest::ServerEnv env;
    Storage s(env.config);
    apptest::ownerExec(
        s, "CREATE TABLE TDEF (K VARCHAR(10) PRIMARY KEY, S VARCHAR(8) DEFAULT 'dflt', N INTEGER, D FLOAT)");
    TableProvider::Options o;
    o.table = "TDEF";
    o.keyFields = {"K"};
    TableProvider p(s, o);
    const auto fields = p.fields();
    kvx::Delta d = insertion(fields, {{"A", "a", Variant(2.0), Variant(qint64(3))},
                                      {"B", Variant(), Variant(qint64(7)), Variant(1.25)}, // S: the default
                                      {"A", "dup", Variant(qint64(1)), Variant(1.0)},
                                      {"C", "c", Variant(qint64(9)), Variant(0.5)}});
    const auto r = p.applyUpdates(d, -1);
    ASSERT_EQ(r.errorCount, 1);
    EXPECT_EQ(r.errors[0].deltaIndex, 2);
    EXPECT_EQ(r.errors[0].errorCode, kConstraint);
    EXPECT_EQ(r.errors[0].context, "Insert TDEF [K=A]");
    ASSERT_EQ(r.applied.size(), 3);
    const auto stored = fetchAll(p);
    ASSERT_EQ(stored.rows.size(), 3);
    auto same = [](const kvx::Row& a, const kvx::Row& b) {
        if (a.size() != b.size()) return false;
        for (int i = 0; i < a.size(); ++i)
            if (a[i].type() != b[i].type() || a[i].toString() != b[i].toString()) return false;
        return true;
    };
    EXPECT_TRUE(same(r.applied[0].second, stored.rows[0])) << "an integral double in an integer column";
    EXPECT_TRUE(same(r.applied[1].second, stored.rows[1])) << "a default filled in by the table";
    EXPECT_EQ(stored.rows[1][1].toString(), "dflt");
    EXPECT_TRUE(same(r.applied[2].second, stored.rows[2]));

    // Changes of different columns, one after the other, in one apply.
    kvx::Delta c;
    c.fields = stored.fields;
    for (int row = 0; row < 3; ++row) {
        kvx::Row changed(stored.fields.size());
        changed[row == 1 ? 3 : 1] = row == 1 ? Variant(qint64(4)) : Variant(QStringLiteral("n%1").arg(row));
        c.rows.append({kvx::UpdateStatus::Modified, stored.rows[row], changed});
    }
    const auto rc = p.applyUpdates(c, 0);
    ASSERT_EQ(rc.errorCount, 0);
    const auto after = fetchAll(p);
    for (int row = 0; row < 3; ++row)
        EXPECT_TRUE(same(rc.applied[row].second, after.rows[row])) << row;
    EXPECT_EQ(after.rows[0][1].toString(), "n0");
    EXPECT_EQ(after.rows[1][3].toDouble(), 4.0);
    EXPECT_EQ(after.rows[1][1].toString(), "dflt");
    EXPECT_EQ(after.rows[2][1].toString(), "n2");
}

TEST(ApplySafety, UnknownStatusesAndRowsWithoutAKnownFieldAreErrors) {
    apptest::ServerEnv env;
    Storage s(env.config);
    auto p = typedTable(s);
    s.exec("INSERT INTO TT VALUES ('A', 'ab', 1, 1.0)");
    QJsonObject delta{{"fields", QJsonArray{QJsonObject{{"name", "K"}, {"type", "String"}, {"size", 10}}}},
                      {"rows", QJsonArray{QJsonObject{
                                   {"status", "Deleted"}, {"old", QJsonArray{"A"}}, {"new", QJsonArray{}}}}}};
    EXPECT_THROW(kvx::Delta::fromJson(delta), kvx::VariantError);

    kvx::Delta d;
    d.fields = {kvx::FieldDesc("K", kvx::FieldType::String, 10),
                kvx::FieldDesc("NOPE", kvx::FieldType::String, 10)};
    d.rows.append({kvx::UpdateStatus::Modified, {Variant("A"), Variant("x")}, {Variant(), Variant("y")}});
    const auto r = p->applyUpdates(d, -1);
    EXPECT_EQ(r.errors.value(0).errorCode, kBadDelta);
    EXPECT_TRUE(r.applied.isEmpty());
}

TEST(ApplySafety, AuditFieldsAreTheServersAndRecordLevelRightsHold) {
    apptest::ServerEnv env;
    {
        Storage s(env.config);
        // CLERK may edit only records of its own (record-level rights on, no same- or other-group rights).
        s.exec("UPDATE KVXMF SET MF004 = 'YYNNNNNNNNNN', MF005 = 'NNNNNNN', MF006 = 'NNNNNNN', MF007 = 'Y' "
               "WHERE MF002 = 'QLDI05' AND MF001 IN ('CLERK', 'SALES')");
        s.exec("UPDATE QLDMB SET CREATOR = 'MGR', USR_GROUP = 'OTHER', FLAG = 998 WHERE MB001 = 'COPTC'");
        s.exec("UPDATE QLDMB SET CREATOR = 'CLERK', FLAG = 999 WHERE MB001 = 'PURTC'");
    }
    auto clerk = env.connect("CLERK");
    clerk->dataRequest("pvdMain", kvx::DataRequest{"MB001 IN ('COPTC','PURTC')", "MB001", {}}.toVariant());
    const auto rows = clerk->getRecords("pvdMain", -1);
    ASSERT_EQ(rows.rows.size(), 2);
    // Another user's record: refused whatever the client claims about its creator.
    auto other = change(rows, 0, "MB005", "x");
    other.rows[0].oldValues[rows.fieldIndex("CREATOR")] = Variant(); // not compared
    EXPECT_EQ(clerk->applyUpdates("pvdMain", other, 0).errors.value(0).errorCode, kNotPermitted);
    // Its own record: stored, with the server's modifier and date; FLAG 999 wraps to 0.
    auto own = change(rows, 1, "MB005", "mine");
    own.rows[0].newValues[rows.fieldIndex("MODIFIER")] = "DS";
    own.rows[0].newValues[rows.fieldIndex("MODI_DATE")] = "19990101";
    own.rows[0].newValues[rows.fieldIndex("FLAG")] = 0.0;
    const auto res = clerk->applyUpdates("pvdMain", own, 0);
    ASSERT_EQ(res.errorCount, 0) << res.errors.value(0).message.toStdString();
    const kvx::Row stored = res.applied.value(0).second;
    EXPECT_EQ(stored[rows.fieldIndex("MODIFIER")].toString(), "CLERK");
    EXPECT_EQ(stored[rows.fieldIndex("MODI_DATE")].toString(), QDate::currentDate().toString("yyyyMMdd"));
    EXPECT_EQ(stored[rows.fieldIndex("FLAG")].toDouble(), 0.0);
    // A FLAG that is not the stored value plus one is refused.
    clerk->dataRequest("pvdMain", kvx::DataRequest{"MB001 = 'PURTC'", "MB001", {}}.toVariant());
    const auto fresh = clerk->getRecords("pvdMain", -1);
    auto skipped = change(fresh, 0, "MB005", "again");
    skipped.rows[0].newValues[fresh.fieldIndex("FLAG")] = 5.0;
    EXPECT_EQ(clerk->applyUpdates("pvdMain", skipped, 0).errors.value(0).errorCode, kChangedByOther);
}

TEST(WireSafety, ArrayBoundsAndParametersAreCheckedBeforeUse) {
    const char* bad[] = {
        R"({"t":"a","lo":[-2147483648],"hi":[2147483647],"v":[]})",
        R"({"t":"a","lo":[0],"hi":[100000000],"v":[1,2]})",
        R"({"t":"a","lo":[0,0],"hi":[65535,65535],"v":[]})",
        R"({"t":"a","lo":[0.5],"hi":[1],"v":[1]})",
        R"({"t":"a","lo":["0"],"hi":[1],"v":[1,2]})",
        R"({"t":"d","v":"2024-01-01"})",
    };
    for (const char* text : bad) {
        const QJsonValue j = QJsonDocument::fromJson(QByteArray("[") + text + "]").array().at(0);
        EXPECT_THROW(Variant::fromJson(j), kvx::VariantError) << text;
    }
    const Variant ok = Variant::fromJson(
        QJsonDocument::fromJson(R"([{"t":"a","lo":[-2,1],"hi":[-1,2],"v":[1,2,3,4]}])").array().at(0));
    EXPECT_EQ(ok.toJson(),
              QJsonDocument::fromJson(R"([{"t":"a","lo":[-2,1],"hi":[-1,2],"v":[1,2,3,4]}])").array().at(0));

    apptest::ServerEnv env;
    RpcSession s(env.config);
    const int obj = reply(s, call("create", {{"progid", "TRIVON.Class1"}}))
                        .value("result")
                        .toObject()
                        .value("object")
                        .toInt();
    ASSERT_GT(obj, 0);
    reply(s, call("invoke", {{"object", obj},
                             {"method", "Connect"},
                             {"args", QJsonArray{QJsonArray{"QLDI05", "DS", "DEMO", "DEMO", true, false}}}}));
    const double two31 = 2147483648.0;
    EXPECT_EQ(
        code(reply(s, call("getRecords", {{"object", obj}, {"provider", "pvdMain"}, {"count", two31}}))),
        RpcSession::kInvalidParams);
    EXPECT_EQ(code(reply(s, call("getRecords", {{"object", obj}, {"provider", "pvdMain"}, {"count", 0.5}}))),
              RpcSession::kInvalidParams);
    EXPECT_EQ(code(reply(s, call("getRecords", {{"object", 1.5}, {"provider", "pvdMain"}, {"count", 1}}))),
              RpcSession::kInvalidParams);
    EXPECT_EQ(code(reply(s, call("applyUpdates",
                                 {{"object", obj},
                                  {"provider", "pvdMain"},
                                  {"delta", QJsonObject{{"fields", QJsonArray{}}, {"rows", QJsonArray{}}}},
                                  {"maxErrors", "x"}}))),
              RpcSession::kInvalidParams);
    EXPECT_EQ(
        code(reply(s, call("invoke",
                           {{"object", obj}, {"method", "SetTopRow"}, {"args", QJsonArray{4294967297.0}}}))),
        RpcSession::kInvalidParams);
    EXPECT_EQ(code(reply(s, call("invoke", {{"object", obj},
                                            {"method", "Whatis"},
                                            {"args", QJsonArray{QJsonObject{{"t", "a"},
                                                                            {"lo", QJsonArray{0}},
                                                                            {"hi", QJsonArray{100000000}},
                                                                            {"v", QJsonArray{}}}}}}))),
              RpcSession::kInvalidParams);
    QJsonObject badStatus{{"fields", QJsonArray{}}, {"rows", QJsonArray{QJsonObject{{"status", "Deleted"}}}}};
    EXPECT_EQ(code(reply(
                  s, call("applyUpdates", {{"object", obj}, {"provider", "pvdMain"}, {"delta", badStatus}}))),
              RpcSession::kInvalidParams);
    // The session goes on.
    EXPECT_EQ(reply(s, call("getRecords", {{"object", obj}, {"provider", "pvdMain"}, {"count", 1}}))
                  .value("result")
                  .toObject()
                  .value("rows")
                  .toArray()
                  .size(),
              1);
}

TEST(QueryLimits, RunawayQueriesStopWithAClearErrorAndTheSessionGoesOn) {
    apptest::ServerEnv env;
    env.config.queryMs = 300;
    auto s = env.connect();
    const QString runaway =
        "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c) SELECT MAX(x) FROM c";
    QElapsedTimer t;
    t.start();
    try {
        s->call("SimpleSql", {runaway, "", "DEMO", 0});
        ADD_FAILURE() << "the runaway statement was not stopped";
    } catch (const kvx::AutomationError& e) {
        EXPECT_TRUE(QString::fromUtf8(e.what()).contains("ran longer")) << e.what();
    }
    EXPECT_LT(t.elapsed(), 5000);
    // A condition that runs away is stopped the same way, and an error is never a short packet.
    s->dataRequest(
        "pvdMain",
        kvx::DataRequest{"MB001 IN (SELECT a.MB001 FROM QLDMB a, QLDMB b, QLDMB c, QLDMB d, "
                         "QLDMB e WHERE a.MB005 || b.MB005 || c.MB005 || d.MB005 || e.MB005 = 'x')",
                         "MB001",
                         {}}
            .toVariant());
    EXPECT_THROW(s->getRecords("pvdMain", -1), kvx::AutomationError);
    EXPECT_EQ(s->call("SimpleSql", {"SELECT COUNT(*) AS N FROM QLDMB", "N", "DEMO", 0}).toList().size(), 1);
    // The users table, their password hashes and other users' settings are never readable.
    EXPECT_THROW(s->call("SimpleSql", {"SELECT MA007 FROM KVXMA", "", "DEMO", 0}), kvx::AutomationError);
    EXPECT_THROW(s->call("SimpleSql", {"SELECT * FROM USRDEF", "", "DEMO", 0}), kvx::AutomationError);
}

TEST(StorageSafety, FailedOpensLeaveNoConnectionAndOpensNeedNoWriteLock) {
    apptest::ServerEnv env;
    Storage first(env.config); // creates and migrates
    const int before = int(QSqlDatabase::connectionNames().size());
    if (!apptest::onPostgres()) {
        QFile junk(QDir(env.tree.serverPath()).filePath("junk.db"));
        ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
        junk.write(QByteArray(4096, 'x'));
        junk.close();
        StorageConfig bad = env.config;
        bad.databaseFile = junk.fileName();
        for (int i = 0; i < 3; ++i)
            EXPECT_THROW(Storage{bad}, StorageError);
        EXPECT_EQ(int(QSqlDatabase::connectionNames().size()), before);
    }
    StorageConfig unreachable = env.config;
    unreachable.databaseFile = "postgresql://nobody@/nowhere?host=/nonexistent";
    EXPECT_THROW(Storage{unreachable}, StorageError);
    EXPECT_EQ(int(QSqlDatabase::connectionNames().size()), before);

    // Another connection holds the write lock: opening an up-to-date database does not wait for it.
    first.execDirect(first.dialect().beginWrite());
    QElapsedTimer t;
    t.start();
    Storage second(env.config);
    EXPECT_LT(t.elapsed(), 3000);
    first.exec("ROLLBACK");
}

TEST(StorageSafety, TheObjectsOfOneClientShareOneDatabaseConnection) {
    apptest::ServerEnv env;
    { Storage migrated(env.config); }
    const auto before = QSqlDatabase::connectionNames().size();
    StorageConfig shared = env.config;
    shared.connection = std::make_shared<SharedConnection>();
    {
        RpcSession s(shared);
        for (const char* progid : {"TRIVON.Class1", "TRIVON.Class1", "Halvex.Class1", "KvxCounter.Class1"}) {
            const int obj = reply(s, call("create", {{"progid", progid}}))
                                .value("result")
                                .toObject()
                                .value("object")
                                .toInt();
            reply(s, call("invoke",
                          {{"object", obj},
                           {"method", "Connect"},
                           {"args", QJsonArray{QJsonArray{"QLDI05", "DS", "DEMO", "DEMO", true, false}}}}));
            reply(s, call("invoke",
                          {{"object", obj}, {"method", "GetMessage"}, {"args", QJsonArray{"E", "000001"}}}));
        }
        EXPECT_EQ(QSqlDatabase::connectionNames().size(), before + 1);
    }
    shared.connection.reset();
    EXPECT_EQ(QSqlDatabase::connectionNames().size(), before); // closed with the session
}

TEST(Passwords, HashesVerifyOnlyTheirPassword) {
    const QString h = hashPassword("s3cret");
    EXPECT_TRUE(h.startsWith("$argon2id$"));
    EXPECT_TRUE(verifyPassword(h, "s3cret"));
    EXPECT_FALSE(verifyPassword(h, "s3cre"));
    EXPECT_FALSE(verifyPassword("", ""));
    EXPECT_NE(hashPassword("s3cret"), h); // salted
    EXPECT_NE(randomPassword(), randomPassword());
}

TEST(DaemonSafety, SocketClientsSignInAndAreBoundToTheirUser) {
    apptest::ServerEnv env;
    apptest::DaemonProcess daemon;
    ASSERT_TRUE(daemon.start(env.dbFile()));
    ASSERT_FALSE(daemon.password("DS").isEmpty());
    {
        RawClient c(daemon.port());
        EXPECT_EQ(code(c.request("create", {{"progid", "TRIVON.Class1"}})), RpcSession::kLoginRequired);
        EXPECT_EQ(code(c.request("create", {{"progid", "KvxCounter.Class1"}})), RpcSession::kLoginRequired);
        EXPECT_EQ(code(c.request("login", {{"user", "DS"}, {"password", "wrong"}})),
                  RpcSession::kLoginFailed);
        EXPECT_EQ(code(c.request("login", {{"user", "NOBODY"}, {"password", "x"}})),
                  RpcSession::kLoginFailed);
        EXPECT_EQ(code(c.request("login", {{"user", "DS"}, {"password", ""}})), RpcSession::kLoginFailed);
        EXPECT_TRUE(c.closedWithin(3000)); // three failures end the connection
    }
    RawClient c(daemon.port());
    EXPECT_EQ(c.request("login", {{"user", "CLERK"}, {"password", daemon.password("CLERK")}})
                  .value("result")
                  .toObject()
                  .value("user")
                  .toString(),
              "CLERK");
    const int obj =
        c.request("create", {{"progid", "TRIVON.Class1"}}).value("result").toObject().value("object").toInt();
    auto connectAs = [&](const char* user) {
        return c
            .request("invoke",
                     {{"object", obj},
                      {"method", "Connect"},
                      {"args", QJsonArray{QJsonArray{"QLDI05", user, "DEMO", "DEMO", true, false}}}})
            .value("result")
            .toObject()
            .value("result")
            .toInt(-1);
    };
    EXPECT_EQ(connectAs("DS"), kUnknownUser); // signed in as CLERK
    EXPECT_EQ(connectAs("CLERK"), kConnected);
    // The counter object serves only the signed-in user's phrases and settings.
    const int counter = c.request("create", {{"progid", "KvxCounter.Class1"}})
                            .value("result")
                            .toObject()
                            .value("object")
                            .toInt();
    auto phrases = [&](const char* user) {
        return c.request("invoke",
                         {{"object", counter}, {"method", "Phrases"}, {"args", QJsonArray{"DEMO", user}}});
    };
    EXPECT_EQ(code(phrases("DS")), RpcSession::kServerError);
    EXPECT_FALSE(phrases("CLERK").contains("error"));
}

TEST(DaemonSafety, LimitsRefuseClearlyAndTheOthersAreStillServed) {
    apptest::ServerEnv env;
    writeLimits(env.tree.serverPath(),
                "ObjectsPerConnection=3\nMaxConnectionsPerAddress=4\nPartialLineSeconds=1\n"
                "QuerySeconds=60\nShutdownSeconds=2");
    apptest::DaemonProcess daemon;
    ASSERT_TRUE(daemon.start(env.dbFile()));
    const QJsonObject login{{"user", "DS"}, {"password", daemon.password("DS")}};
    RawClient a(daemon.port());
    a.request("login", login);
    for (int i = 0; i < 3; ++i)
        EXPECT_GT(a.request("create", {{"progid", "TRIVON.Class1"}})
                      .value("result")
                      .toObject()
                      .value("object")
                      .toInt(),
                  0);
    EXPECT_EQ(code(a.request("create", {{"progid", "TRIVON.Class1"}})), RpcSession::kLimitReached);

    // A line begun and never finished is dropped after its time.
    RawClient partial(daemon.port());
    partial.send("{\"jsonrpc\":\"2.0\",");
    EXPECT_TRUE(partial.closedWithin(5000));

    // Four connections from this address at most: the fifth is refused with a clear error.
    RawClient b(daemon.port()), c(daemon.port()), e(daemon.port());
    EXPECT_EQ(code(e.request("login", login)), 0);
    RawClient d(daemon.port());
    EXPECT_EQ(code(QJsonDocument::fromJson(d.readLine(5000)).object()), RpcSession::kLimitReached);
    EXPECT_TRUE(d.closedWithin(3000));
    // The first client is still served.
    EXPECT_EQ(code(a.request("create", {{"progid", "TRIVON.Class1"}})), RpcSession::kLimitReached);
    EXPECT_EQ(a.request("release", {{"object", 1}}).value("result").toBool(), true);

    // A runaway query is interrupted by SIGTERM, and the daemon ends within its deadline.
    b.request("login", login);
    const int obj =
        b.request("create", {{"progid", "TRIVON.Class1"}}).value("result").toObject().value("object").toInt();
    b.request("invoke", {{"object", obj},
                         {"method", "Connect"},
                         {"args", QJsonArray{QJsonArray{"QLDI05", "DS", "DEMO", "DEMO", true, false}}}});
    b.send(QJsonDocument(
               QJsonObject{{"jsonrpc", "2.0"},
                           {"method", "invoke"},
                           {"id", 9},
                           {"params", QJsonObject{{"object", obj},
                                                  {"method", "SimpleSql"},
                                                  {"args", QJsonArray{"WITH RECURSIVE c(x) AS (SELECT 1 "
                                                                      "UNION ALL SELECT x + 1 FROM c) "
                                                                      "SELECT MAX(x) FROM c",
                                                                      "", "DEMO", 0}}}}})
               .toJson(QJsonDocument::Compact) +
           '\n');
    b.sock.waitForReadyRead(500); // the query is running
    QElapsedTimer t;
    t.start();
    EXPECT_EQ(daemon.stop(SIGTERM), 0);
    EXPECT_LT(t.elapsed(), 5000);
}
