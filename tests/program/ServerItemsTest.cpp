// The item lists the window builds from every seeded QLDMB content, as the server's "QLDI06" takes them:
// an export resets one QLDTB row per item, any other mode removes them again.
#include "Storage.h"
#include "TempTree.h"
#include "TransmissionReset.h"
#include "program/Qldi05Items.h"

#include <QSqlQuery>
#include <gtest/gtest.h>

TEST(ServerItems, EverySeededContentGivesAListTheServerAccepts) {
    kvxtest::TempTree tree;
    kvxsrv::StorageConfig config;
    config.serverPath = tree.serverPath();
    kvxsrv::Storage db(config);
    kvxsrv::TransmissionReset reset(db);

    QSqlQuery q(db.db());
    ASSERT_TRUE(q.exec("SELECT MB001, MB003, MB004 FROM QLDMB WHERE MB003 <> '' ORDER BY MB001"));
    int checked = 0;
    while (q.next()) {
        const QString kind = q.value(0).toString();
        const QString list = kvx::TransmissionItemList(q.value(1).toString());
        const int items = int(q.value(1).toString().split('|').size());
        SCOPED_TRACE(kind.toStdString());
        ASSERT_EQ(list.split(';').size(), items);
        EXPECT_EQ(reset.run(list, "2", q.value(2).toString()), "");
        const QString first = list.section(',', 0, 0);
        EXPECT_EQ(db.scalar("SELECT TB006 || TB005 FROM QLDTB WHERE TB001 = ?", {first}).toString(),
                  "Y" + q.value(2).toString());
        EXPECT_EQ(reset.run(list, "3", q.value(2).toString()), "");
        EXPECT_FALSE(db.scalar("SELECT 1 FROM QLDTB WHERE TB001 = ?", {first}).isValid());
        ++checked;
    }
    EXPECT_GT(checked, 30);
}
