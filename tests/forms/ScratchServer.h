// What the single-table window tests on a scratch program of the real application server share: the
// shell's work center reduced to what the window uses, an installation tree whose registry creates the
// application server, the counter and the spreadsheet object in process, and the environment that starts
// the sample window on the scratch program SFMI01 over the table SFMTB.
#pragma once

#include "SampleSingleForm.h"
#include "ServerClasses.h"
#include "TempTree.h"

#include "Storage.h"
#include "platform/Automation.h"
#include "platform/DialogService.h"

#include <QTest>
#include <gtest/gtest.h>

namespace kvxtest {

// The application server's counter object serves as counter and validator; message texts are their kind
// and code.
class ScratchWorkCenter : public kvx::DispatchObject {
public:
    std::shared_ptr<kvx::Dispatch> counter = kvx::CreateOleObject("KvxCounter.Class1");
    ScratchWorkCenter() : kvx::DispatchObject("Test.WorkCenter") {
        using kvx::Variant;
        using kvx::VariantList;
        addMethod("Com_Validator", [this](VariantList&) { return Variant(counter); });
        addMethod("Com_Counter", [this](VariantList&) { return Variant(counter); });
        addMethod("Com_F2Window", [](VariantList&) { return Variant(); });
        addMethod("GetMessage",
                  [](VariantList& a) { return Variant(a[0].toString() + "/" + a[1].toString() + " %s"); });
        addMethod("VersionType", [](VariantList&) { return Variant(2); });
        addMethod("ProductID", [](VariantList&) { return Variant(5); });
    }
};

// Registers the in-process server classes and points the client at 127.0.0.1.
inline void registerScratchServer(TempTree& tree) {
    kvxtest::registerServerClasses(tree);
    tree.setRegistryValue("Library", KVX_APPSERVER_LIB, "Classes\\KvxCounter.Class1");
    tree.setRegistryValue("Factory", "CreateCounterServer", "Classes\\KvxCounter.Class1");
    tree.setRegistryValue("Library", KVX_SPREADSHEET_LIB, "Classes\\Excel.Application");
    tree.setRegistryValue("Factory", "CreateSpreadsheetApplication", "Classes\\Excel.Application");
    kvxtest::pointClientAtServer(tree, 0);
}

// The program record of SFMI01 over SFMTB, and the users' and groups' rights to it copied from QLDI05's.
inline void registerScratchProgram(kvxsrv::Storage& db) {
    db.exec("INSERT INTO ADMMB SELECT 'SFMI01', '单表测试作业', 'SFMR01', MB004, 'SFMTB', 'MB001', "
            "'SELECT MB001,MB002,MB005,N,RATE,COMPANY,CREATOR,USR_GROUP,CREATE_DATE,MODIFIER,MODI_DATE,FLAG "
            "FROM SFMTB', MB008, MB009, MB010, '單表測試作業', 'Single table test', '单表测试作业', MB014, "
            "MB015, MB016, 'SFMI01C.so', COMPANY, CREATOR, USR_GROUP, CREATE_DATE, MODIFIER, MODI_DATE, FLAG "
            "FROM ADMMB WHERE MB001 = 'QLDI05'");
    db.exec("INSERT INTO KVXMF SELECT MF001, 'SFMI01', MF003, MF004, MF005, MF006, MF007, MF008, MF009, "
            "COMPANY, CREATOR, USR_GROUP, CREATE_DATE, MODIFIER, MODI_DATE, FLAG FROM KVXMF WHERE MF002 = "
            "'QLDI05'");
}

// The installation and its database; the derived environment creates the scratch program and then `wc`.
template <class WorkCenter> struct ScratchSingleEnv {
    TempTree tree;
    kvxsrv::StorageConfig config;
    std::unique_ptr<kvxsrv::Storage> db;
    std::shared_ptr<WorkCenter> wc;
    std::unique_ptr<TfrmSingleSample> w;

    ScratchSingleEnv() {
        kvx::DialogService::instance().setScripted(true);
        kvx::DialogService::instance().clear();
        registerScratchServer(tree);
        config.serverPath = tree.serverPath();
        db = std::make_unique<kvxsrv::Storage>(config);
    }
    ~ScratchSingleEnv() { w.reset(); }

    // Starts SFMI01 as user DS of company DEMO and shows it as the active window.
    void start() {
        w = std::make_unique<TfrmSingleSample>();
        w->ModulePath = "/opt/kvx/C_PKG/SFMI01C.so";
        w->AfterConstruction();
        w->SetBrokerWorkCenter(kvx::Variant(std::shared_ptr<kvx::Dispatch>(wc)));
        kvx::Variant p = kvx::Variant::array(0, 4);
        const kvx::VariantList v{"DS", "DEMO", "DEMO", 0, "ctx"};
        for (int i = 0; i <= 4; ++i)
            p[i] = v[i];
        ASSERT_TRUE(w->Start(p)) << kvx::DialogService::instance().lastText().toStdString();
        w->show();
        w->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
    }
    kvx::TClientDataSet* cds() const { return w->dm()->cdsMain; }
    QVariant cell(const QString& column, const QString& key) {
        return db->scalar(QStringLiteral("SELECT %1 FROM SFMTB WHERE MB001 = ?").arg(column), {key});
    }
    int attachments(const QString& key) {
        return db->scalar("SELECT COUNT(*) FROM ATTACH WHERE Parent = 'SFMI01' AND KeyValues = ?", {key})
            .toInt();
    }
};

} // namespace kvxtest
