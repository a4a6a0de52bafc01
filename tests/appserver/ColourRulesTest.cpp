// Colour rules compiled into the colour provider's columns: settings texts, first match per component,
// repeated components, and conditions refused one by one with their reasons.
#include "ColourRules.h"
#include "ServerEnv.h"

#include <QSqlQuery>

using namespace kvxsrv;

namespace {

struct RulesEnv {
    apptest::ServerEnv env;
    Storage storage{env.config};
    ColourRuleSet compile(const QString& xml, const QStringList& taken = {"MB001"}) {
        return compileColourRules(storage, "QLDMB", taken, xml);
    }
    // The column's value for one record, evaluated by the database.
    QString valueOf(const TableProvider::Computed& c, const QString& key) {
        QSqlQuery q(storage.db());
        q.prepare("SELECT " + c.expression + " FROM QLDMB WHERE MB001 = ?");
        q.addBindValue(key);
        EXPECT_TRUE(q.exec() && q.next()) << c.expression.toStdString();
        return q.value(0).toString();
    }
};

QString component(const QString& name, const QString& conditions, const char* enable = "Y") {
    return QString("<component name=\"%1\" enable=\"%2\">%3</component>").arg(name, enable, conditions);
}
QString condition(const QString& value, const QString& extra = "colorx=\"255\" bkcolor=\"'\"") {
    return "<condition value=\"" + value.toHtmlEscaped() + "\" " + extra + "/>";
}
QString head(const QString& body) {
    return "<colormanager><head>" + body + "</head><body>" + component("gdBody1", condition("1=1")) +
           "</body></colormanager>";
}

} // namespace

TEST(ColourRules, FirstMetConditionGivesTheSettingsTextWithColoursAndStyles) {
    RulesEnv e;
    const ColourRuleSet set = e.compile(head(
        component("gdHead", condition("MB002 = '2'", "colorx=\"8388608\" bkcolor=\"16771276\" bold=\"Y\"") +
                                condition("MB001 = 'COPTC'", "colorx=\"1\" bkcolor=\"2\"") +
                                condition("MB002 = '3'", "colorx=\"red\" bkcolor=\"'\" italic=\"y\""))));
    EXPECT_TRUE(set.refused.isEmpty()) << set.refused.join('\n').toStdString();
    ASSERT_EQ(set.columns.size(), 1); // the body section is not the colour provider's
    EXPECT_EQ(set.columns[0].name, "gdHead");
    EXPECT_EQ(e.valueOf(set.columns[0], "COPTC"), "bkcolor=16771276;colorx=8388608;bold=Y;italic=N;");
    EXPECT_EQ(e.valueOf(set.columns[0], "PURTC"),
              "bkcolor=';colorx=';bold=N;italic=Y;"); // "red" is no number
    EXPECT_EQ(e.valueOf(set.columns[0], "CMSMV"), "");
}

TEST(ColourRules, DisabledRepeatedAndUnusableComponents) {
    RulesEnv e;
    const ColourRuleSet set = e.compile(
        head(component("edMB005", condition("1=1"), "N") + component("gdHead", condition("MB002 = '3'")) +
             component("GDHEAD", condition("1=1", "colorx=\"7\" bkcolor=\"'\"")) +
             component("MB001", condition("1=1")) + component("bad name", condition("1=1")) +
             component("cboMB002", "")));
    ASSERT_EQ(set.columns.size(), 2);
    EXPECT_EQ(set.columns[0].name, "gdHead");
    // A repeated component continues the first one's conditions.
    EXPECT_EQ(e.valueOf(set.columns[0], "PURTC"), "bkcolor=';colorx=255;bold=N;italic=N;");
    EXPECT_EQ(e.valueOf(set.columns[0], "COPTC"), "bkcolor=';colorx=7;bold=N;italic=N;");
    EXPECT_EQ(set.columns[1].name, "cboMB002");
    EXPECT_EQ(e.valueOf(set.columns[1], "COPTC"), "");
    ASSERT_EQ(set.refused.size(), 2); // MB001 would shadow the key column; a name with a blank
    EXPECT_TRUE(set.refused[0].contains("MB001"));
    EXPECT_TRUE(set.refused[1].contains("bad name"));
}

TEST(ColourRules, HostileConditionsAreRefusedOneByOneWithTheirReasons) {
    RulesEnv e;
    const QStringList hostile = {
        "1=1; DROP TABLE QLDMB",
        "MB002 = '2' OR EXISTS (SELECT 1 FROM KVXMA)",
        "(SELECT MB003 FROM KVXMB WHERE MB001 <> 'DEMO') IS NOT NULL",
        "1=1) OR (1=1",
        "1=1 /* c */",
        "writefile('/tmp/x', 'y') > 0",
        "UPDATE QLDMB SET MB005 = ''",
        "MB002 = '",
        "json('not json') IS NULL",          // fails whatever the record
        "abs(-9223372036854775807 - 1) > 0", // an integer overflow
    };
    QString conds;
    for (const QString& h : hostile)
        conds += condition(h);
    conds += condition("MB002 = '2'", "colorx=\"1\" bkcolor=\"2\"");
    const ColourRuleSet set = e.compile(head(component("gdHead", conds)));
    ASSERT_EQ(set.refused.size(), hostile.size()) << set.refused.join('\n').toStdString();
    EXPECT_TRUE(set.refused[0].contains("second statement"));
    EXPECT_TRUE(set.refused[1].contains("KVXMA"));
    EXPECT_TRUE(set.refused[2].contains("KVXMB"));
    EXPECT_TRUE(set.refused[5].contains("writefile"));
    EXPECT_TRUE(set.refused[6].contains("UPDATE"));
    // Each engine words these failures its own way.
    const bool pg = apptest::onPostgres();
    EXPECT_TRUE(set.refused[8].contains(pg ? "invalid input syntax for type json" : "malformed JSON"))
        << set.refused[8].toStdString();
    EXPECT_TRUE(set.refused[9].contains(pg ? "bigint out of range" : "integer overflow"))
        << set.refused[9].toStdString();
    ASSERT_EQ(set.columns.size(), 1);
    EXPECT_EQ(e.valueOf(set.columns[0], "COPTC"), "bkcolor=2;colorx=1;bold=N;italic=N;");
    EXPECT_EQ(e.valueOf(set.columns[0], "PURTC"), "");
    EXPECT_GT(e.storage.scalar("SELECT COUNT(*) FROM QLDMB").toInt(), 0);
}

TEST(ColourRules, TextThatIsNoDocumentGivesNoColumns) {
    RulesEnv e;
    EXPECT_TRUE(e.compile("").columns.isEmpty());
    EXPECT_TRUE(e.compile("").refused.isEmpty());
    const ColourRuleSet broken = e.compile("<colormanager><head>");
    EXPECT_TRUE(broken.columns.isEmpty());
    EXPECT_EQ(broken.refused.size(), 1);
}
