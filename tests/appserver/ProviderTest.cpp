#include "ServerEnv.h"
#include "platform/Automation.h"
#include "platform/SocketConnection.h"

#include <QDate>
#include <QSet>

using namespace kvxsrv;
using kvx::Variant;

namespace {
kvx::DataPacket fetch(kvx::ProviderEndpoint& p, const QString& cond, const QString& order = {},
                      int count = -1) {
    p.dataRequest("pvdMain", kvx::DataRequest{cond, order, {}}.toVariant());
    return p.getRecords("pvdMain", count);
}

// A modification of one field of a fetched row, as a client dataset's change log holds it.
kvx::Delta modification(const kvx::DataPacket& p, int row, const QString& field, const Variant& value) {
    kvx::Delta d;
    d.fields = p.fields;
    kvx::DeltaRow r;
    r.status = kvx::UpdateStatus::Modified;
    r.oldValues = p.rows[row];
    for (int i = 0; i < p.fields.size(); ++i)
        r.newValues.append(Variant());
    r.newValues[p.fieldIndex(field)] = value;
    d.rows.append(r);
    return d;
}

kvx::Delta deletion(const kvx::DataPacket& p, int row) {
    kvx::Delta d;
    d.fields = p.fields;
    d.rows.append({kvx::UpdateStatus::Deleted, p.rows[row], {}});
    return d;
}

QString storedRemark(apptest::ServerEnv& env, const QString& kind) {
    Storage s(env.config);
    return s.scalar("SELECT MB005 FROM QLDMB WHERE MB001 = ?", {kind}).toString();
}
using apptest::ServerEnv;
} // namespace

TEST(ProgramServer, ConnectChecksUserCompanyDatabaseProgramAndRights) {
    ServerEnv env;
    ProgramServer s(env.config);
    auto code = [&](const QString& prog, const QString& user, const QString& company, const QString& db) {
        kvx::VariantList args{Variant::fromList({prog, user, company, db, true, false})};
        return int(s.invoke("Connect", args).toInt());
    };
    EXPECT_EQ(code("QLDI05", "DS", "DEMO", "DEMO"), kConnected);
    EXPECT_TRUE(s.call("SvrData").toString().contains("M11_TABLE=QLDMB"));
    EXPECT_EQ(code("QLDI05", "NOBODY", "DEMO", "DEMO"), kUnknownUser);
    EXPECT_FALSE(s.call("LastError").toString().isEmpty());
    EXPECT_EQ(s.call("SvrData").toString(), QString()); // a failed connect leaves no session
    EXPECT_EQ(code("QLDI05", "OLDUSER", "DEMO", "DEMO"), kUnknownUser);
    EXPECT_EQ(code("QLDI05", "DS", "ACME", "DEMO"), kUnknownCompany);
    EXPECT_EQ(code("QLDI05", "DS", "DEMO", "OTHER"), kWrongDatabase);
    EXPECT_EQ(code("NOPROG", "DS", "DEMO", "DEMO"), kUnknownProgram);
    EXPECT_EQ(code("INVI02", "CLERK", "DEMO", "DEMO"), kNoRight);
    EXPECT_TRUE(s.call("LastError").toString().contains("INVI02"));
    EXPECT_THROW(s.getRecords("pvdMain", 5), kvx::AutomationError);
    EXPECT_EQ(code("qldi05", "CLERK", "DEMO", "demo"), kConnected);
}

TEST(ProgramServer, ServerDataCarriesMetadataAndRights) {
    ServerEnv env;
    auto lines = [](const QString& text) {
        QHash<QString, QString> m;
        for (const QString& l : text.split("\r\n"))
            m.insert(l.section('=', 0, 0), l.section('=', 1));
        return m;
    };
    const auto ds = lines(env.connect("DS")->svrData());
    EXPECT_EQ(ds["M11_KEY"], "MB001");
    EXPECT_TRUE(ds["M11_SELECT"].startsWith("SELECT MB001,MB001C,MB002,MB004,MB005,"));
    EXPECT_EQ(ds["MAX_RECORD"], "20");
    EXPECT_EQ(ds["USER_GROUP"], "ADMIN");
    EXPECT_EQ(ds["POWER_DATA"], "QLDI05,Y,N,YYYYYYYYYYYY,YYYYYYY,YYYYYYY");
    EXPECT_EQ(ds["BaseLimited"], "N");
    for (const char* key : {"D11_SELECT", "D11_KEY", "D11_TABLE", "H11_KEY", "EX_POWER", "GROUP_LIST"})
        EXPECT_TRUE(ds.contains(key)) << key;
    const auto clerk = lines(env.connect("CLERK")->svrData());
    EXPECT_EQ(clerk["POWER_DATA"], "QLDI05,Y,Y,NYNNNNRRNNNN,NYNNNNN,NYNNNNN");
    EXPECT_EQ(clerk["GROUP_LIST"], "'SALES','SALES2'");
    EXPECT_EQ(clerk["EX_POWER"], "BtnClear=N");
}

TEST(ProgramServer, AnswersWhatisFormatsAndCounts) {
    ServerEnv env;
    auto s = env.connect();
    EXPECT_EQ(s->call("Whatis", {"TODAY"}).toString(), QDate::currentDate().toString("yyyyMMdd"));
    EXPECT_EQ(s->call("Whatis", {"SQLTYPE"}).toInt(), 1);
    const QString format = s->call("GetFormat", {"DEMO", "QLDI05"}).toString();
    EXPECT_TRUE(format.contains("<MT_User CompanyID=\"DEMO\" ProgID=\"QLDI05\">"));
    EXPECT_TRUE(format.contains("<Component ID=\"edMB005\">"));
    EXPECT_EQ(s->call("GetFormat", {"DEMO", "COPI01"}).toString(), QString());
    s->dataRequest("pvdMain", kvx::DataRequest{"MB004 = '1'", {}, {}}.toVariant());
    const qint64 basic = s->call("GetRecCount").toInt();
    EXPECT_EQ(basic, s->getRecords("pvdMain", -1).rows.size());
    s->call("SetTopRow", {5});
    s->dataRequest("pvdMain", kvx::DataRequest{"", {}, {}}.toVariant());
    EXPECT_EQ(s->getRecords("pvdMain", -1).rows.size(), 5);
    const Variant limited = s->call("GetBaseLimitedRecs", {"H11", "MB001='COPTC'", 1});
    EXPECT_EQ(limited.at(0).toInt(), -1); // no basic-data limits: the check passes
    EXPECT_TRUE(s->call("GetMessage", {"E", "000003", "ENG"}).toString().contains("must not be blank"));
}

TEST(Providers, PacketsOfTheRequestedSizeCoverEveryRowOnce) {
    ServerEnv env;
    auto s = env.connect();
    const kvx::DataPacket meta = s->getRecords("pvdMain", 0);
    EXPECT_TRUE(meta.rows.isEmpty());
    ASSERT_EQ(meta.fields.size(), 13);
    EXPECT_EQ(meta.fields[0].name, "MB001");
    EXPECT_TRUE(meta.fields[0].inKey);
    EXPECT_EQ(meta.fields[0].size, 20);
    EXPECT_EQ(meta.fields[1].size, 24);
    EXPECT_EQ(meta.fields[meta.fieldIndex("MB005")].size, 255);
    EXPECT_EQ(meta.fields[meta.fieldIndex("FLAG")].type, kvx::FieldType::Float);
    EXPECT_EQ(meta.fields.last().name, "MB003");

    s->dataRequest("pvdMain", kvx::DataRequest{"All", "MB001 DESC", {}}.toVariant());
    const int total = int(s->call("GetRecCount").toInt());
    QStringList seen;
    bool eof = false;
    int packets = 0;
    while (!eof) {
        const kvx::DataPacket p = s->getRecords("pvdMain", 7);
        EXPECT_LE(p.rows.size(), 7);
        for (const kvx::Row& r : p.rows)
            seen << r[0].toString();
        eof = p.eof;
        ASSERT_LT(++packets, 100);
        if (!eof) {
            EXPECT_EQ(p.rows.size(), 7);
        }
    }
    EXPECT_EQ(seen.size(), total);
    EXPECT_EQ(QSet<QString>(seen.begin(), seen.end()).size(), total);
    QStringList sorted = seen;
    std::sort(sorted.begin(), sorted.end(), std::greater<>());
    EXPECT_EQ(seen, sorted);
    EXPECT_TRUE(s->getRecords("pvdMain", 7).rows.isEmpty());

    const kvx::DataPacket exports = fetch(*s, "MB002 = '2' AND MB004 = '2'", "MB001");
    ASSERT_FALSE(exports.rows.isEmpty());
    for (const kvx::Row& r : exports.rows)
        EXPECT_EQ(r[2].toString() + r[3].toString(), "22");
}

TEST(Providers, ConcurrentEditOfOneRowGivesAReconcileErrorAndLosesNothing) {
    ServerEnv env;
    auto alice = env.connect("DS");
    auto bob = env.connect("MGR");
    const kvx::DataPacket a = fetch(*alice, "MB001 = 'COPTC'");
    const kvx::DataPacket b = fetch(*bob, "MB001 = 'COPTC'");
    ASSERT_EQ(a.rows.size(), 1);

    const kvx::ApplyResult first =
        alice->applyUpdates("pvdMain", modification(a, 0, "MB005", "改为每小时汇出"), 0);
    EXPECT_EQ(first.errorCount, 0);
    ASSERT_EQ(first.applied.size(), 1);
    EXPECT_EQ(first.applied[0].second[a.fieldIndex("MB005")].toString(), "改为每小时汇出");

    const kvx::ApplyResult second =
        bob->applyUpdates("pvdMain", modification(b, 0, "MB005", "bob's remark"), 0);
    ASSERT_EQ(second.errorCount, 1);
    const kvx::ReconcileError& e = second.errors[0];
    EXPECT_EQ(e.errorCode, kChangedByOther);
    EXPECT_EQ(e.deltaIndex, 0);
    EXPECT_TRUE(e.context.contains("QLDMB")) << e.context.toStdString();
    EXPECT_TRUE(e.context.contains("COPTC"));
    EXPECT_EQ(e.currentValues[a.fieldIndex("MB005")].toString(), "改为每小时汇出");
    EXPECT_EQ(storedRemark(env, "COPTC"), "改为每小时汇出");
    EXPECT_EQ(bob->applyUpdates("pvdMain", deletion(b, 0), 0).errors.value(0).errorCode, kChangedByOther);

    // Bob refreshes and tries again: now it applies.
    const kvx::DataPacket b2 = fetch(*bob, "MB001 = 'COPTC'");
    EXPECT_EQ(bob->applyUpdates("pvdMain", modification(b2, 0, "MB005", "bob's remark"), 0).errorCount, 0);
    EXPECT_EQ(storedRemark(env, "COPTC"), "bob's remark");

    // A row deleted meanwhile is reported as such, with the previous error of the same apply.
    const kvx::DataPacket a2 = fetch(*alice, "MB001 IN ('CMSTA', 'COPTC')", "MB001");
    ASSERT_EQ(a2.rows.size(), 2);
    // MGR may not delete records of other groups (record-level rights): an administrator deletes it.
    EXPECT_EQ(bob->applyUpdates("pvdMain", deletion(fetch(*bob, "MB001 = 'CMSTA'"), 0), 0)
                  .errors.value(0)
                  .errorCode,
              kNotPermitted);
    auto admin = env.connect("DS");
    EXPECT_EQ(admin->applyUpdates("pvdMain", deletion(fetch(*admin, "MB001 = 'CMSTA'"), 0), 0).errorCount, 0);
    EXPECT_EQ(bob->applyUpdates("pvdMain", modification(fetch(*bob, "MB001 = 'COPTC'"), 0, "MB002", "1"), 0)
                  .errorCount,
              0);
    kvx::Delta both = modification(a2, 0, "MB005", "x");
    both.rows += modification(a2, 1, "MB005", "y").rows;
    const kvx::ApplyResult r = alice->applyUpdates("pvdMain", both, -1);
    ASSERT_EQ(r.errorCount, 2);
    EXPECT_EQ(r.errors[0].errorCode, kDeletedByOther);
    EXPECT_EQ(r.errors[1].errorCode, kChangedByOther);
    EXPECT_EQ(r.errors[1].previousError, kDeletedByOther);
}

TEST(Providers, AnApplyIsOneTransactionBoundedByMaxErrors) {
    ServerEnv env;
    auto s = env.connect();
    const kvx::DataPacket p = fetch(*s, "MB001 IN ('COPTC', 'COPTG')", "MB001");
    ASSERT_EQ(p.rows.size(), 2);
    kvx::Delta d = modification(p, 0, "MB005", "first");
    d.rows += modification(p, 1, "MB005", QString(200, QChar(0x6C47))).rows; // 400 bytes in GBK
    kvx::ApplyResult r = s->applyUpdates("pvdMain", d, 0);
    ASSERT_EQ(r.errorCount, 1);
    EXPECT_EQ(r.errors[0].errorCode, kTooLong);
    EXPECT_TRUE(r.applied.isEmpty());
    EXPECT_EQ(storedRemark(env, "COPTC"), "客户订单每日汇出"); // rolled back with the failing row
    r = s->applyUpdates("pvdMain", d, 1);
    EXPECT_EQ(r.errorCount, 1);
    EXPECT_EQ(storedRemark(env, "COPTC"), "first");

    // Inserts and deletes follow the rights: the clerk may edit but not delete.
    auto clerk = env.connect("CLERK");
    const kvx::DataPacket c = fetch(*clerk, "MB001 = 'COPTG'");
    EXPECT_EQ(clerk->applyUpdates("pvdMain", deletion(c, 0), 0).errors.value(0).errorCode, kNotPermitted);
    kvx::Delta ins;
    ins.fields = c.fields;
    kvx::Row row = c.rows[0];
    row[0] = "NEW01";
    ins.rows.append({kvx::UpdateStatus::Inserted, {}, row});
    EXPECT_EQ(clerk->applyUpdates("pvdMain", ins, 0).errors.value(0).errorCode, kNotPermitted);
    const kvx::ApplyResult byAdmin = s->applyUpdates("pvdMain", ins, 0);
    EXPECT_EQ(byAdmin.errorCount, 0);
    EXPECT_EQ(s->applyUpdates("pvdMain", ins, 0).errors.value(0).errorCode, kConstraint); // duplicate key
}

TEST(Providers, AnEmptyTextIsStoredAsEmptyTextNotNull) {
    ServerEnv env;
    auto s = env.connect();
    const kvx::DataPacket p = fetch(*s, "MB001 = 'COPTC'");
    ASSERT_EQ(p.rows.size(), 1);
    // A new record as a client's null fill leaves it: empty texts held as null strings.
    kvx::Row row = p.rows[0];
    row[p.fieldIndex("MB001")] = QStringLiteral("NEW02");
    row[p.fieldIndex("MB005")] = Variant(QString());
    row[p.fieldIndex("MODIFIER")] = Variant(QString());
    row[p.fieldIndex("MODI_DATE")] = Variant(QString());
    kvx::Delta ins;
    ins.fields = p.fields;
    ins.rows.append({kvx::UpdateStatus::Inserted, {}, row});
    const kvx::ApplyResult r = s->applyUpdates("pvdMain", ins, 0);
    ASSERT_EQ(r.errorCount, 0) << (r.errors.isEmpty() ? std::string() : r.errors[0].message.toStdString());
    Storage st(env.config);
    EXPECT_EQ(st.scalar("SELECT COUNT(*) FROM QLDMB WHERE MB001 = 'NEW02' AND MB005 = '' AND MODIFIER = '' "
                        "AND MODI_DATE = ''")
                  .toInt(),
              1);
}

TEST(Providers, ColourProviderGivesSettingsPerRecordFromTheProgramsRules) {
    ServerEnv env;
    auto s = env.connect();
    s->dataRequest("pvdColor",
                   kvx::DataRequest{"MB001 IN ('COPTC', 'PURTC', 'CMSMV')", "MB001", {}}.toVariant());
    const kvx::DataPacket p = s->getRecords("pvdColor", -1);
    ASSERT_EQ(p.rows.size(), 3);
    ASSERT_EQ(p.fields.size(), 4); // key, gdHead, cboMB002, edMB005; the disabled edMB001C rule is left out
    EXPECT_EQ(p.fieldIndex("edMB001C"), -1);
    const int grid = p.fieldIndex("gdHead"), combo = p.fieldIndex("cboMB002");
    EXPECT_EQ(p.rows[0][0].toString(), "CMSMV");
    EXPECT_EQ(p.rows[0][grid].toString(), "");
    EXPECT_EQ(p.rows[1][grid].toString(),
              "bkcolor=16771276;colorx=8388608;bold=N;italic=N;"); // COPTC exports
    EXPECT_EQ(p.rows[1][combo].toString(), "bkcolor=16771276;colorx=8388608;bold=Y;italic=N;");
    EXPECT_EQ(p.rows[2][grid].toString(), "bkcolor=14087638;colorx=25600;bold=N;italic=N;"); // PURTC imports
    EXPECT_EQ(s->applyUpdates("pvdColor", modification(p, 0, "gdHead", "x"), -1).errors.value(0).errorCode,
              kNotPermitted);
}

TEST(Providers, SavedQuerySchemesBelongToTheirUserAndProgram) {
    ServerEnv env;
    auto ds = env.connect("DS");
    auto clerk = env.connect("CLERK");
    auto list = [](ProgramServer& s) {
        s.dataRequest("pvdConSave", kvx::DataRequest{}.toVariant());
        QStringList names;
        for (const kvx::Row& r : s.getRecords("pvdConSave", -1).rows)
            names << r[0].toString();
        return names;
    };
    auto scheme = [](const QString& name, const QString& user, bool replace) {
        return Variant::fromList({name, user, "20240601", "QLDI05", "MB002='2'", 1, replace});
    };
    EXPECT_EQ(ds->call("LoadTable", {Variant::fromList({"DS", "QLDI05"})}).toString(), QString());
    EXPECT_EQ(list(*ds), QStringList({"汇出类单据"}));
    EXPECT_EQ(clerk->call("InsertConTable", {scheme("我的方案", "CLERK", false)}).toString(), QString());
    EXPECT_FALSE(clerk->call("InsertConTable", {scheme("我的方案", "CLERK", false)}).toString().isEmpty());
    EXPECT_EQ(clerk->call("InsertConTable", {scheme("我的方案", "CLERK", true)}).toString(), QString());
    EXPECT_FALSE(clerk->call("InsertConTable", {scheme("冒名", "DS", false)}).toString().isEmpty());
    EXPECT_EQ(list(*clerk), QStringList({"我的方案"}));
    EXPECT_EQ(list(*ds), QStringList({"汇出类单据"}));

    EXPECT_EQ(clerk
                  ->call("ChangeConName", {Variant::fromList({"我的方案", "CLERK", "QLDI05"}),
                                           Variant::fromList({"新名称", "CLERK", "QLDI05"})})
                  .toString(),
              QString());
    EXPECT_FALSE(clerk
                     ->call("ChangeConName", {Variant::fromList({"没有", "CLERK", "QLDI05"}),
                                              Variant::fromList({"别的", "CLERK", "QLDI05"})})
                     .toString()
                     .isEmpty());
    EXPECT_EQ(list(*clerk), QStringList({"新名称"}));
    EXPECT_FALSE(clerk->call("DeleteConTable", {Variant::fromList({"汇出类单据", "DS", "QLDI05"})})
                     .toString()
                     .isEmpty());

    // The clerk cannot reach the administrator's scheme through the provider either.
    ds->dataRequest("pvdConSave", kvx::DataRequest{}.toVariant());
    const kvx::DataPacket dsRows = ds->getRecords("pvdConSave", -1);
    EXPECT_EQ(clerk->applyUpdates("pvdConSave", deletion(dsRows, 0), 0).errors.value(0).errorCode,
              kNotPermitted);
    EXPECT_EQ(clerk->call("DeleteConTable", {Variant::fromList({"新名称", "CLERK", "QLDI05"})}).toString(),
              QString());
    EXPECT_TRUE(list(*clerk).isEmpty());
    EXPECT_EQ(list(*ds).size(), 1);
}

TEST(InProcess, ServerObjectsAreCreatedByProgramIdentifier) {
    ServerEnv env;
    kvx::SocketConnection conn;
    conn.setAppServer(kvx::CreateOleObject("TRIVON.Class1"));
    ASSERT_TRUE(conn.connected());
    EXPECT_TRUE(conn.inProcess());
    auto server = conn.appServer();
    EXPECT_EQ(
        server->call("Connect", {Variant::fromList({"QLDI05", "DS", "DEMO", "DEMO", true, false})}).toInt(),
        0);
    ASSERT_NE(conn.providers(), nullptr);
    EXPECT_GT(fetch(*conn.providers(), "").rows.size(), 30);

    auto lookup = kvx::CreateOleObject("Halvex.Class1");
    EXPECT_EQ(lookup->call("Connect", {"DS", "DEMO"}).toInt(), 0);
    const Variant rows = lookup->call("LookupData", {"COPMA", "01", Variant::fromList({"C00"})});
    ASSERT_TRUE(rows.isArray());
    EXPECT_EQ(rows.highBound() - rows.lowBound() + 1, 3);
    EXPECT_EQ(rows.at(0).at(1).toString(), "华东电子");
    conn.close();
    EXPECT_FALSE(conn.connected());
}

TEST(ProgramServer, SimpleSqlRunsOneReadOnlySelectWrittenForTheOriginalServer) {
    ServerEnv env;
    auto s = env.connect();
    SqliteDialect d;
    EXPECT_EQ(d.translate("select top 1 MF001 from DEMO..CMSMF CMSMF where MF001='DEMO..X'", "DEMO"),
              "select MF001 from CMSMF CMSMF where MF001='DEMO..X' LIMIT 1");
    EXPECT_EQ(d.translate("SELECT * FROM demo.dbo.QLDMB", "DEMO"), "SELECT * FROM QLDMB");

    const Variant cur =
        s->call("SimpleSql", {"select top 1 MF001,MF003,MF004,MF005,MF006 from DEMO..CMSMF CMSMF "
                              "where MF001='JPY'",
                              "MF001,MF003,MF004,MF005,MF006", "DEMO", "N"});
    ASSERT_TRUE(cur.isArray());
    EXPECT_EQ(cur.at(0).at(0).toString(), "JPY");
    EXPECT_EQ(cur.at(0).at(3).toInt(), 2);
    const Variant exports =
        s->call("SimpleSql", {"Select * from DEMO..QLDMB where MB002='2' ", "MB003,MB004", "DEMO", "N"});
    ASSERT_TRUE(exports.isArray());
    EXPECT_EQ(exports.at(0).highBound(), 1); // [MB003, MB004]
    EXPECT_TRUE(
        s->call("SimpleSql", {"SELECT MB001 FROM QLDMB WHERE 1=0", "MB001", "DEMO", "N"}).isUnassigned());
    for (const char* bad : {"DELETE FROM QLDMB", "SELECT 1; DELETE FROM QLDMB", "PRAGMA table_info(QLDMB)",
                            "SELECT sql FROM sqlite_master", "SELECT MB001 FROM QLDMB -- x"})
        EXPECT_THROW(s->call("SimpleSql", {bad, "", "DEMO", "N"}), kvx::AutomationError) << bad;
    EXPECT_THROW(s->call("SimpleSql", {"SELECT MB001 FROM QLDMB", "MB009", "DEMO", "N"}),
                 kvx::AutomationError);
}

TEST(Providers, SharedSchemesAreSeenByTheOwnersGroupOnlyAndStayTheOwners) {
    ServerEnv env;
    auto clerk = env.connect("CLERK");
    auto mgr = env.connect("MGR");
    auto buyer = env.connect("BUYER");
    auto list = [](ProgramServer& s, const QString& user) {
        EXPECT_EQ(s.call("LoadTable", {Variant::fromList({user, "QLDI05"})}).toString(), QString());
        s.dataRequest("pvdConSave", kvx::DataRequest{}.toVariant());
        QStringList names;
        for (const kvx::Row& r : s.getRecords("pvdConSave", -1).rows)
            names << r[0].toString() + "/" + r[1].toString();
        names.sort();
        return names;
    };
    auto key = [](const QString& name, const QString& user, const QString& flag = {}) {
        kvx::VariantList v{name, user, Variant("QLDI05")};
        if (!flag.isEmpty()) v << flag;
        return Variant::fromList(v);
    };
    ASSERT_EQ(clerk
                  ->call("InsertConTable",
                         {Variant::fromList({"周报", "CLERK", "20240601", "QLDI05", "t", 0, false})})
                  .toString(),
              QString());
    EXPECT_EQ(list(*mgr, "MGR"), QStringList());
    EXPECT_EQ(clerk->call("ShareConTable", {key("周报", "CLERK", "Y")}).toString(), QString());
    EXPECT_EQ(list(*mgr, "MGR"), QStringList({"周报/CLERK"}));
    EXPECT_EQ(list(*buyer, "BUYER"), QStringList());
    // Only the owner marks, renames or deletes it.
    EXPECT_FALSE(mgr->call("ShareConTable", {key("周报", "CLERK", "N")}).toString().isEmpty());
    EXPECT_FALSE(mgr->call("SetDefaultCon", {key("周报", "CLERK", "Y")}).toString().isEmpty());
    EXPECT_FALSE(mgr->call("ShareConTable", {key("周报", "MGR", "N")}).toString().isEmpty()); // not his
    // Nor can the provider be used to change schemes or to push one into another group.
    mgr->dataRequest("pvdConSave", kvx::DataRequest{}.toVariant());
    const kvx::DataPacket rows = mgr->getRecords("pvdConSave", -1);
    EXPECT_EQ(mgr->applyUpdates("pvdConSave", deletion(rows, 0), 0).errors.value(0).errorCode, kNotPermitted);
    clerk->dataRequest("pvdConSave", kvx::DataRequest{}.toVariant());
    const kvx::DataPacket own = clerk->getRecords("pvdConSave", -1);
    EXPECT_EQ(clerk->applyUpdates("pvdConSave", modification(own, 0, "USR_GROUP", "PURCH"), 0)
                  .errors.value(0)
                  .errorCode,
              kNotPermitted);
    EXPECT_EQ(list(*buyer, "BUYER"), QStringList());
    // Taking the share back hides it again.
    EXPECT_EQ(clerk->call("ShareConTable", {key("周报", "CLERK", "N")}).toString(), QString());
    EXPECT_EQ(list(*mgr, "MGR"), QStringList());
}
