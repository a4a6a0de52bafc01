// The attachment window "Morvel.Class1" and the document server "VoskC.VOSKClass1" against the
// in-process counter object of a temporary installation.
#include "TempTree.h"
#include "platform/Automation.h"
#include "platform/DialogService.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

using kvx::Variant;

namespace {

struct DocumentsEnv {
    kvxtest::TempTree tree;
    DocumentsEnv() {
        tree.setRegistryValue("Library", KVX_APPSERVER_LIB, "Classes\\KvxCounter.Class1");
        tree.setRegistryValue("Factory", "CreateCounterServer", "Classes\\KvxCounter.Class1");
        for (const char* id : {"Morvel.Class1", "VoskC.VOSKClass1"})
            tree.setRegistryValue("Library", KVX_DOCUMENTS_LIB, QStringLiteral("Classes\\") + id);
        tree.setRegistryValue("Factory", "CreateMorvelAttachments", "Classes\\Morvel.Class1");
        tree.setRegistryValue("Factory", "CreateVoskDocumentServer", "Classes\\VoskC.VOSKClass1");
    }
    std::shared_ptr<kvx::Dispatch> attachments(const QString& key) {
        auto w = kvx::CreateOleObject("Morvel.Class1");
        w->call("Init", {"DEMO", "DS", "QLDI05", key, "MB001", "1"});
        return w;
    }
    QList<QStringList> attachRows(const QString& key) {
        auto counter = kvx::CreateOleObject("KvxCounter.Class1");
        QList<QStringList> out;
        const Variant rows = counter->call("Attachments", {"QLDI05", "DEMO", key});
        for (const Variant& r : rows.toList()) {
            QStringList row;
            for (const Variant& v : r.toList())
                row << v.toString();
            out << row;
        }
        return out;
    }
};

} // namespace

TEST(MorvelAttachments, AddListAndRemoveAFileOfOneRecord) {
    DocumentsEnv env;
    const QString source = env.tree.writeText("incoming/说明 O'Neil.txt", "attachment body");
    const QString key = QStringLiteral("A'01||B");
    auto window = env.attachments(key);
    const QString id = window->call("AddFile", {source}).toString();
    ASSERT_FALSE(id.isEmpty());

    const QList<QStringList> rows = env.attachRows(key);
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows[0][0], id);
    EXPECT_EQ(rows[0][1], QStringLiteral("说明 O'Neil.txt"));
    EXPECT_EQ(rows[0][2], "DS");
    // Another record of the program sees nothing of it.
    EXPECT_TRUE(env.attachRows("A'01").isEmpty());

    const QString stored = env.tree.clientPath() + "DocStore/attach/DEMO/" + id + "/说明 O'Neil.txt";
    QFile f(stored);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("attachment body"));
    f.close();

    window->call("RemoveFile", {id});
    EXPECT_TRUE(env.attachRows(key).isEmpty());
    EXPECT_FALSE(QFile::exists(stored));
}

TEST(MorvelAttachments, AMissingFileIsRefusedAndRecordsNothing) {
    DocumentsEnv env;
    auto window = env.attachments("K1");
    EXPECT_THROW(window->call("AddFile", {env.tree.root() + "/nothing.txt"}), kvx::AutomationError);
    EXPECT_TRUE(env.attachRows("K1").isEmpty());
}

TEST(MorvelAttachments, TheWindowListsTheFilesAndRemovesTheChosenOne) {
    DocumentsEnv env;
    auto window = env.attachments("K2");
    window->call("AddFile", {env.tree.writeText("a.txt", "a")});
    window->call("AddFile", {env.tree.writeText("b.txt", "b")});
    int shownRows = -1;
    int rowsAfterRemove = -1;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        auto* table = dialog->findChild<QTableWidget*>("gdFiles");
        shownRows = table->rowCount();
        table->setCurrentCell(0, 0);
        QTest::mouseClick(dialog->findChild<QPushButton*>("btnRemove"), Qt::LeftButton);
        rowsAfterRemove = table->rowCount();
        QTest::mouseClick(dialog->findChild<QPushButton*>("btnClose"), Qt::LeftButton);
    });
    window->call("ShowModal");
    EXPECT_EQ(shownRows, 2);
    EXPECT_EQ(rowsAfterRemove, 1);
    EXPECT_EQ(env.attachRows("K2").size(), 1);
}

TEST(VoskDocumentServer, CheckOutFindsTheStoredFileOrReportsMinusOne) {
    DocumentsEnv env;
    const QString file = env.tree.writeText("client/DocStore/DOC01/2/manual.pdf", "%PDF");
    auto server = kvx::CreateOleObject("VoskC.VOSKClass1");
    kvx::VariantList args{"DS", "R", "DOC01", "2", "", Variant()};
    EXPECT_EQ(server->invoke("CheckOut", args).toInt(), 0);
    EXPECT_EQ(QDir::cleanPath(args[5].toString()), QDir::cleanPath(file));

    kvx::VariantList missing{"DS", "R", "DOC01", "3", "", Variant()};
    EXPECT_EQ(server->invoke("CheckOut", missing).toInt(), -1);
    EXPECT_TRUE(missing[5].toString().isEmpty());
    // An identifier that climbs out of the store finds nothing.
    kvx::VariantList climbing{"DS", "R", "..", "DocStore", "", Variant()};
    EXPECT_EQ(server->invoke("CheckOut", climbing).toInt(), -1);
}
