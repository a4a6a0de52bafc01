#include "ServerEnv.h"
#include "SqlGuard.h"

using namespace kvxsrv;

TEST(SqlGuard, AcceptsConditionsAsClientsWriteThem) {
    for (const char* ok :
         {"MB002='2'", "MB005 like '%;--%'", "MB005 = 'it''s; /* not a comment */'",
          "MB001 in (select MB001 from QLDMB where MB002 = '1')", "[MB001] = 'x' and \"MB002\" <> '3'",
          "(MB002 = '2' or MB002 = '3') and MB004 = '2'", "MB001 DESC, MB002", "",
          "substr(MB001, 1, 3) = 'COP'", "MB005 = 'DELETE FROM QLDMB'"})
        EXPECT_EQ(checkClauseText(QString::fromUtf8(ok)), QString()) << ok;
}

TEST(SqlGuard, RefusesStackedStatementsCommentsAndStatementKeywords) {
    const struct {
        const char* text;
        const char* reason;
    } refused[] = {
        {"1=1; DELETE FROM QLDMB", "second statement"},
        {"1=1); DROP TABLE QLDMB; --", "\")\""},
        {"MB002 = '2' -- and MB004 = '1'", "comments"},
        {"MB002 = '2' /* x */", "comments"},
        {"1=1) OR (1=1", "\")\""},
        {"(MB002 = '2'", "not closed"},
        {"MB001 = 'x", "not closed"},
        {"1=1 ATTACH DATABASE 'x.db' AS y", "ATTACH"},
        {"PRAGMA writable_schema", "PRAGMA"},
        {"1=1 UNION ALL SELECT * FROM KVXMA WHERE 1=1 UPDATE", "UPDATE"},
    };
    for (const auto& r : refused) {
        const QString why = checkClauseText(QString::fromUtf8(r.text));
        EXPECT_TRUE(why.contains(QString::fromUtf8(r.reason))) << r.text << " -> " << why.toStdString();
    }
    EXPECT_TRUE(checkClauseText(QString("MB001 = 'a'") + QChar(0) + "; DROP TABLE QLDMB").contains("NUL"));
}

TEST(SqlGuard, ProvidersRunConditionsOnlyAsOneReadOnlySelectOverTheirTable) {
    apptest::ServerEnv env;
    auto server = env.connect();
    auto message = [&](const QString& cond, const QString& order = {}) -> QString {
        try {
            server->dataRequest("pvdMain", kvx::DataRequest{cond, order, {}}.toVariant());
        } catch (const kvx::AutomationError& e) {
            return QString::fromUtf8(e.what());
        }
        return {};
    };
    EXPECT_TRUE(message("MB001 IN (SELECT MA001 FROM KVXMA)").contains("may not read table KVXMA"));
    EXPECT_TRUE(message("MB001 = (SELECT sql FROM sqlite_master LIMIT 1)").contains("sqlite_master"));
    EXPECT_TRUE(message("load_extension('/tmp/x.so') IS NULL").contains("load_extension"));
    EXPECT_TRUE(message("1=1", "MB001; DROP TABLE QLDMB").contains("second statement"));
    EXPECT_TRUE(message("MB001 = ").contains("Condition refused"));
    EXPECT_TRUE(message("1=1) UNION SELECT MA001 FROM KVXMA WHERE (1=1").contains("\")\""));

    // A refused request leaves the previous one in force and the table untouched.
    EXPECT_EQ(message("MB002 = '3'"), QString());
    EXPECT_NE(message("1=1; DELETE FROM QLDMB"), QString());
    const kvx::DataPacket p = server->getRecords("pvdMain", -1);
    ASSERT_FALSE(p.rows.isEmpty());
    for (const kvx::Row& r : p.rows)
        EXPECT_EQ(r[p.fieldIndex("MB002")].toString(), "3");
    Storage s(env.config);
    EXPECT_GT(s.scalar("SELECT COUNT(*) FROM QLDMB").toInt(), 30);
}
