// Saved schemes end to end: three clients of the real application server over a loopback socket, each
// with its data module and query dialog. CLERK saves, renames, shares and deletes through the scheme
// panel; MGR of the same group sees the shared scheme read-only; BUYER of another group does not see it.
#include "DaemonProcess.h"
#include "QBETestSupport.h"
#include "ServerClasses.h"
#include "Storage.h"
#include "data/BaseCD.h"
#include "platform/CodePage.h"
#include "query/DataSchemeStore.h"
#include "query/DocuConditionCF.h"
#include "server/Brokers.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>

using namespace kvx;

namespace {

const QString kTwenty = QStringLiteral("一二三四五六七八九十甲乙丙丁戊己庚辛壬癸");
const QString kApostrophe = QStringLiteral("O'Neil 的方案");

class ClientWindow : public TestQBEWindow, public TBrokerOwner, public TDataModuleOwner {
public:
    TQBESchemeStore* store = nullptr;
    int rebuilds = 0;
    struct Menu : TQBESchemeMenu {
        ClientWindow* w = nullptr;
        void SchemeMenuRebuild() override { ++w->rebuilds; }
        void SchemeMenuRename(const QString&, const QString&) override {}
    } menu;
    ClientWindow() { menu.w = this; }
    TQBESchemeStore* QBESchemeStore() const override { return store; }
    TQBESchemeMenu* QBESchemeMenu() const override { return const_cast<Menu*>(&menu); }
};

struct Client {
    ClientWindow window;
    TBrokers* broker = new TBrokers(&window);
    TdmBase* dm = new TdmBase(&window);
    std::unique_ptr<TdmSchemeStore> store;
    TQBEForm* form = nullptr;

    Client(const QString& user, const kvxtest::DaemonProcess& daemon) {
        broker->ProgID = "QLDI05";
        broker->UserID = user;
        broker->CompanyID = "DEMO";
        broker->DBName = "DEMO";
        dm->Broker = broker;
        // The socket signs in as this user.
        qputenv("KVX_USER", user.toUtf8());
        qputenv("KVX_PASSWORD", daemon.password(user).toUtf8());
        connected = dm->ConnectServer();
        store = std::make_unique<TdmSchemeStore>(dm);
        window.store = store.get();
        form = TKVForm::Create<TQBEForm>(&window, &window);
        form->InitQuery(window.cdsMain, "QLDMB", false, "", "MB001");
        form->show();
    }
    bool connected = false;

    QStringList captions() const {
        QStringList out;
        for (int i = 0; i < form->lstCondition->Count(); ++i)
            out << form->lstCondition->Item(i)->text();
        out.sort();
        return out;
    }
    QStandardItem* item(const QString& caption) const {
        for (int i = 0; i < form->lstCondition->Count(); ++i)
            if (form->lstCondition->Item(i)->text() == caption) return form->lstCondition->Item(i);
        return nullptr;
    }
    // Save through the naming dialog, typing the name.
    void save(const QString& name) {
        QTimer::singleShot(0, form, [name] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* d = qobject_cast<TfrmDocuCondition*>(w); d && d->isVisible()) {
                    QApplication::setActiveWindow(d);
                    d->edConName->setFocus();
                    for (const QChar c : name)
                        QTest::sendKeyEvent(QTest::Click, d->edConName, Qt::Key_unknown, QString(c),
                                            Qt::NoModifier);
                    QTest::keyClick(d->edConName, Qt::Key_Return);
                    QTest::keyClick(d->btnOk, Qt::Key_Return);
                    if (d->isVisible()) d->btnCancelClick();
                }
        });
        QTest::mouseClick(form->btnInsert, Qt::LeftButton);
    }
};

} // namespace

class SchemeServerTest : public QBEFixture {
protected:
    kvxsrv::StorageConfig config;
    kvxtest::DaemonProcess daemon;
    std::unique_ptr<kvxsrv::Storage> db;

    void SetUp() override {
        QBEFixture::SetUp();
        kvxtest::registerServerClasses(tree);
        config.serverPath = tree.serverPath();
        db = std::make_unique<kvxsrv::Storage>(config);
        ASSERT_TRUE(daemon.start(config.resolveFile()));
        kvxtest::pointClientAtServer(tree, daemon.port(), "[CodePage]\nUICodePage=936\nDBCodePage=936\n");
    }
    QString lastMsg() const { return dialogs().lastText().trimmed(); }
};

TEST_F(SchemeServerTest, SchemesAreSavedRenamedSharedWithTheGroupAndDeleted) {
    Client a("CLERK", daemon);
    ASSERT_TRUE(a.connected);
    EXPECT_TRUE(a.captions().isEmpty()); // the administrator's seeded scheme is his own
    // CLERK saves three schemes through the naming dialog.
    a.form->sg1->setCells(2, 1, "COPTC");
    a.save("月报");
    a.save(kApostrophe);
    a.save(kTwenty);
    EXPECT_EQ(a.window.rebuilds, 3);
    QStringList expected = {"月报", kApostrophe, kTwenty};
    expected.sort();
    ASSERT_EQ(a.captions(), expected) << lastMsg().toStdString();
    // The names are stored as typed, within the column's GBK bytes.
    const QVariant stored =
        db->scalar("SELECT NCONDITION FROM DOCUS WHERE CREATOR = 'CLERK' AND NCONDITION LIKE '一%'");
    EXPECT_EQ(stored.toString(), kTwenty);
    EXPECT_EQ(codepage::encode(stored.toString(), 936).size(), 40);
    EXPECT_EQ(db->scalar("SELECT USR_GROUP FROM DOCUS WHERE NCONDITION = ?", {kApostrophe}).toString(),
              "SALES");
    // A 21-character name and a name the database code page lacks are refused by the server.
    EXPECT_FALSE(a.store->Insert(kTwenty + "子", "x", 0, false).isEmpty());
    EXPECT_FALSE(a.store->Insert(QStringLiteral("😀"), "x", 0, false).isEmpty());
    // Saving an existing name again asks; OK replaces it.
    dialogs().queueAnswer(mrOk);
    a.form->sg1->setCells(2, 1, "PURTC");
    a.save("月报");
    EXPECT_TRUE(db->scalar("SELECT VCONDITION FROM DOCUS WHERE NCONDITION = ?", {"月报"})
                    .toString()
                    .contains("PURTC"));

    // Rename in place.
    ASSERT_TRUE(a.form->lstConditionEdited(a.item("月报"), "月报二"));
    a.item("月报")->setText("月报二");
    a.form->LoadSchemes();
    expected = QStringList{"月报二", kApostrophe, kTwenty};
    expected.sort();
    EXPECT_EQ(a.captions(), expected);

    // Share it and make it CLERK's default.
    a.form->lstCondition->SetSelected(a.item("月报二"));
    a.form->miShare->trigger();
    a.form->miDefault->trigger();
    ASSERT_TRUE(a.form->DefaultScheme());
    EXPECT_EQ(a.form->DefaultScheme()->name, "月报二");

    Client b("MGR", daemon);
    ASSERT_TRUE(b.connected);
    EXPECT_EQ(b.captions(), QStringList({"月报二 (CLERK)"}));
    EXPECT_FALSE(b.item("月报二 (CLERK)")->isEditable());
    EXPECT_FALSE(b.form->DefaultScheme()); // the owner's default is not MGR's
    // MGR runs it, but can neither delete nor rename it, by the panel or by the server calls.
    QString cond, order;
    ASSERT_TRUE(b.form->RunScheme("月报二", "CLERK", cond, order));
    EXPECT_TRUE(cond.contains("PURTC")) << cond.toStdString();
    b.form->lstCondition->SetSelected(b.item("月报二 (CLERK)"));
    QTest::mouseClick(b.form->btnDelete, Qt::LeftButton);
    EXPECT_EQ(lastMsg(), "此方案由 CLERK 共享，只有创建者可以更改或删除!");
    EXPECT_FALSE(b.store->Delete("月报二").isEmpty());
    EXPECT_FALSE(b.dm->Server()
                     ->call("DeleteConTable", {Variant::fromList({"月报二", "CLERK", "QLDI05"})})
                     .toString()
                     .isEmpty());
    EXPECT_FALSE(b.dm->Server()
                     ->call("ChangeConName", {Variant::fromList({"月报二", "CLERK", "QLDI05"}),
                                              Variant::fromList({"抢走", "CLERK", "QLDI05"})})
                     .toString()
                     .isEmpty());
    EXPECT_FALSE(b.dm->Server()
                     ->call("ShareConTable", {Variant::fromList({"月报二", "CLERK", "QLDI05", "N"})})
                     .toString()
                     .isEmpty());
    // A scheme of MGR's own of the same name is MGR's, and does not touch CLERK's.
    EXPECT_EQ(b.store->Insert("月报二", "mine", 0, false), "");
    EXPECT_EQ(db->scalar("SELECT COUNT(*) FROM DOCUS WHERE NCONDITION = ?", {"月报二"}).toInt(), 2);

    Client c("BUYER", daemon);
    ASSERT_TRUE(c.connected);
    EXPECT_TRUE(c.captions().isEmpty());

    // CLERK deletes the shared scheme; MGR no longer sees it.
    a.form->lstCondition->SetSelected(a.item("月报二"));
    dialogs().queueAnswer(mrYes);
    QTest::mouseClick(a.form->btnDelete, Qt::LeftButton);
    expected = QStringList{kApostrophe, kTwenty};
    expected.sort();
    EXPECT_EQ(a.captions(), expected);
    b.form->LoadSchemes();
    EXPECT_EQ(b.captions(), QStringList({"月报二"}));
}

TEST_F(SchemeServerTest, OneDefaultPerUserAndProgram) {
    Client a("CLERK", daemon);
    ASSERT_TRUE(a.connected);
    ASSERT_EQ(a.store->Insert("甲", QString("500") + QChar(7), 0, false), "");
    ASSERT_EQ(a.store->Insert("乙", QString("500") + QChar(7), 0, false), "");
    EXPECT_EQ(a.store->SetDefault("甲", true), "");
    EXPECT_EQ(a.store->SetDefault("乙", true), "");
    EXPECT_EQ(db->scalar("SELECT COUNT(*) FROM DOCUS WHERE CREATOR = 'CLERK' AND IS_DEFAULT = 'Y'").toInt(),
              1);
    a.form->LoadSchemes();
    ASSERT_TRUE(a.form->DefaultScheme());
    EXPECT_EQ(a.form->DefaultScheme()->name, "乙");
    EXPECT_FALSE(a.store->SetDefault("没有", true).isEmpty());
    // The seeded scheme of the administrator reads back as a scheme of the advanced page.
    Client ds("DS", daemon);
    ASSERT_TRUE(ds.connected);
    QString cond, order;
    ASSERT_TRUE(ds.form->RunScheme("汇出类单据", "DS", cond, order));
    EXPECT_EQ(cond, "(QLDMB.MB002 = '2')\n  AND (QLDMB.MB004 = '2')");
    EXPECT_EQ(order, "");
}
