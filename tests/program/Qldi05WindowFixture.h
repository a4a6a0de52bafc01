// Fixture of the transmission settings window tests: the window created as the controller creates it,
// with the shell's work center, connected to the application-server daemon over a loopback socket, and a
// recording proxy in front of the broker's counter service.
#pragma once

#include "DaemonProcess.h"
#include "ServerClasses.h"
#include "Storage.h"
#include "TempTree.h"
#include "TransmissionReset.h"

#include "controls/ExtPageControl.h"
#include "controls/FDBGrid.h"
#include "controls/KvDBComboBox.h"
#include "controls/KvDBEdit.h"
#include "controls/StatusBar.h"
#include "forms/StatusForm.h"
#include "platform/Automation.h"
#include "platform/ClientDataSet.h"
#include "platform/DialogService.h"
#include "platform/Dispatch.h"
#include "platform/Field.h"
#include "program/Qldi05CD.h"
#include "program/Qldi05CF.h"
#include "program/Qldi05Items.h"
#include "server/Brokers.h"

#include <QApplication>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QSqlQuery>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

using namespace kvx;

inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

namespace qldi05test {

// Forwards every call to the real counter and keeps [name, params] of each GETCOUNTER.
class RecordingCounter : public Dispatch {
public:
    explicit RecordingCounter(std::shared_ptr<Dispatch> inner) : inner_(std::move(inner)) {}
    Variant invoke(const QString& name, VariantList& args) override {
        if (name.compare(QLatin1String("GETCOUNTER"), Qt::CaseInsensitive) == 0 && args.size() >= 2)
            calls.append({args[0].toString(), args[1]});
        return inner_->invoke(name, args);
    }
    Variant getProperty(const QString& name) override { return inner_->getProperty(name); }
    void setProperty(const QString& name, const Variant& value) override { inner_->setProperty(name, value); }
    QString className() const override { return inner_->className(); }

    struct Call {
        QString name;
        Variant params;
    };
    QList<Call> calls;
    QList<Call> named(const QString& n) const {
        QList<Call> out;
        for (const Call& c : calls)
            if (c.name.compare(n, Qt::CaseInsensitive) == 0) out << c;
        return out;
    }

private:
    std::shared_ptr<Dispatch> inner_;
};

inline void copyTree(const QString& from, const QString& to) {
    QDir src(from);
    QDir().mkpath(to);
    for (const QFileInfo& fi : src.entryInfoList(QDir::Dirs | QDir::Files | QDir::NoDotAndDotDot)) {
        if (fi.isDir())
            copyTree(fi.filePath(), to + "/" + fi.fileName());
        else
            QFile::copy(fi.filePath(), to + "/" + fi.fileName());
    }
}

class Qldi05Window : public ::testing::Test {
protected:
    kvxtest::TempTree tree;
    kvxsrv::StorageConfig config;
    std::unique_ptr<kvxsrv::Storage> db;
    kvxtest::DaemonProcess daemon;
    QList<QPointer<TfrmQldi05>> windows;

    void SetUp() override {
        DialogService::instance().setScripted(true);
        DialogService::instance().clear();
        QFile classes(qEnvironmentVariable("KVX_BUILD_DIR") + "/classes.ini");
        ASSERT_TRUE(classes.open(QIODevice::ReadOnly));
        QFile reg(tree.registryPath());
        ASSERT_TRUE(reg.open(QIODevice::Append));
        reg.write("\n" + classes.readAll());
        reg.close();
        // Language packages and the GB/Big5 mapping file, as the set-up installs them.
        copyTree(qEnvironmentVariable("KVX_BUILD_DIR") + "/client", tree.clientPath());
        config.serverPath = tree.serverPath();
        db = std::make_unique<kvxsrv::Storage>(config);
        ASSERT_TRUE(daemon.start(config.resolveFile()));
        writeClientConfig("936");
    }
    void TearDown() override {
        for (const QPointer<TfrmQldi05>& w : windows)
            if (w) delete w.data();
        DialogService::instance().clear();
    }

    void writeClientConfig(const QString& uiCodePage) {
        kvxtest::pointClientAtServer(
            tree, daemon.port(),
            QStringLiteral("[CodePage]\nUICodePage=%1\nDBCodePage=936\n").arg(uiCodePage));
    }

    // The window as the controller makes it: created, given the library path and the work center,
    // started with the login parameters and shown; the counter service is recorded.
    TfrmQldi05* open(RecordingCounter** recorder = nullptr, const QString& user = "DS") {
        // Given the library path before its creation steps, the window knows it is hosted by a shell.
        auto* w = new TfrmQldi05();
        windows << w;
        w->ModulePath = tree.clientPath() + "C_PKG/QLDI05C.so";
        w->AfterConstruction();
        w->SetBrokerWorkCenter(Variant(CreateOleObject("PellanWorkCenter.Manager")));
        Variant params = Variant::array(0, 4);
        params[0] = user;
        params[1] = QStringLiteral("DEMO");
        params[2] = QStringLiteral("DEMO");
        params[3] = 0;
        params[4] = QStringLiteral("test");
        EXPECT_TRUE(w->Start(params));
        auto* rec = new RecordingCounter(w->Broker->Counter.toDispatch());
        w->Broker->Counter = Variant(std::shared_ptr<Dispatch>(rec));
        if (recorder) *recorder = rec;
        w->show();
        w->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(w));
        return w;
    }

    static void press(TfrmQldi05* w, Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QWidget* target = QApplication::focusWidget();
        QTest::keyClick(target && w->isAncestorOf(target) ? target : static_cast<QWidget*>(w), key, mods);
    }
    static void go(TfrmQldi05* w, const QString& key) {
        w->dm()->cdsMain->FetchAll();
        ASSERT_TRUE(w->dm()->cdsMain->Locate("MB001", key)) << key.toStdString();
    }
    // Picks a mode in the edit page's combo box with the arrow keys.
    static void pickMode(TfrmQldi05* w, const QString& mode) {
        QWidget* combo = w->cboMB002->focusTarget();
        combo->setFocus();
        for (int i = 0; i < 3 && w->dm()->cdsMainMB002->AsString() != mode; ++i)
            QTest::keyClick(combo, w->dm()->cdsMainMB002->AsString() < mode ? Qt::Key_Down : Qt::Key_Up);
        ASSERT_EQ(w->dm()->cdsMainMB002->AsString(), mode);
    }
    QVariant cell(const QString& column, const QString& key) {
        return db->scalar(QStringLiteral("SELECT %1 FROM QLDMB WHERE MB001 = ?").arg(column), {key});
    }
    // Keys of the records meeting a condition, in key order.
    QStringList keysWhere(const QString& where) {
        QSqlQuery q(db->db());
        EXPECT_TRUE(q.exec("SELECT MB001 FROM QLDMB WHERE " + where + " ORDER BY MB001"))
            << where.toStdString();
        QStringList keys;
        while (q.next())
            keys << q.value(0).toString();
        return keys;
    }
    QString itemsOf(const QString& key) { return TransmissionItemList(cell("MB003", key).toString()); }
    int resetRows(const QString& key, const QString& sent = QString()) {
        int n = 0;
        for (const QString& item : itemsOf(key).split(';', Qt::SkipEmptyParts))
            n += db->scalar("SELECT COUNT(*) FROM QLDTB WHERE TB001 = ? AND (? = '' OR TB006 = ?)",
                            {item.section(',', 0, 0), sent, sent})
                     .toInt();
        return n;
    }
};

// A record of mode "1" with items (CMSMV: employees, one item) and one of mode "2" (COPMA: customers).
inline const QString kNone = QStringLiteral("CMSMV");
inline const QString kExport = QStringLiteral("COPMA");

} // namespace qldi05test

using namespace qldi05test;
