// Shared set-up of the data-module tests: a fake window that is both the broker's and the data module's
// owner, a broker on the fake work center, and a TdmBase whose main dataset reads an in-memory provider
// with the audit columns.
#pragma once

#include "FakeWorkCenter.h"
#include "MemoryProvider.h"
#include "TempTree.h"
#include "data/BaseCD.h"
#include "platform/DialogService.h"
#include "server/Brokers.h"

#include <QWidget>
#include <gtest/gtest.h>

inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

namespace datatest {

using kvx::Variant;
using kvx::VariantList;

class FakeDataForm : public QWidget, public TBrokerOwner, public kvx::TDataModuleOwner {
public:
    int editingMode = 0;
    bool acceptPost = true;
    int recordChanges = 0;
    bool throwOnRecordChange = false;
    QString codePage = QStringLiteral("936");

    int EditingMode() const override { return editingMode; }
    bool BeforePostCheck(kvx::TClientDataSet*) override { return acceptPost; }
    void RecordChanged(kvx::TClientDataSet*) override {
        ++recordChanges;
        if (throwOnRecordChange) throw std::runtime_error("window refused");
    }
    QString CodePage() const override { return codePage; }
    QString DisplayConvert(const QString& t) const override {
        return QStringLiteral("<") + t + QStringLiteral(">");
    }
    QString InputConvert(const QString& t) const override { return t.toUpper(); }
};

// Main table: MB001 key, MB002, MB005, AMT and QTY numbers, CUR currency code, N integer, audit columns.
inline QList<kvx::FieldDesc> mainLayout() {
    using kvx::FieldDesc;
    using kvx::FieldType;
    FieldDesc key("MB001", FieldType::String, 20);
    key.inKey = true;
    return {key,
            FieldDesc("MB002", FieldType::String, 1),
            FieldDesc("MB005", FieldType::String, 20),
            FieldDesc("AMT", FieldType::Float),
            FieldDesc("QTY", FieldType::Float),
            FieldDesc("CUR", FieldType::String, 4),
            FieldDesc("N", FieldType::Integer),
            FieldDesc("COMPANY", FieldType::String, 10),
            FieldDesc("CREATOR", FieldType::String, 10),
            FieldDesc("USR_GROUP", FieldType::String, 10),
            FieldDesc("CREATE_DATE", FieldType::String, 8),
            FieldDesc("MODIFIER", FieldType::String, 10),
            FieldDesc("MODI_DATE", FieldType::String, 8),
            FieldDesc("FLAG", FieldType::Float)};
}

inline kvx::Row mainRow(const QString& key, double flag, const QString& cur = QStringLiteral("USD"),
                        int n = 1) {
    return {key,
            QStringLiteral("1"),
            QStringLiteral("remark"),
            10.0,
            2.0,
            cur,
            n,
            QStringLiteral("DEMO"),
            QStringLiteral("DS"),
            QStringLiteral("ADMIN"),
            QStringLiteral("20260101"),
            QString(),
            QString(),
            flag};
}

// The demo user's broker on a module, with an in-memory pvdMain of the QLDMB layout behind cdsMain.
inline void bindDemoModule(TBrokers* broker, const std::shared_ptr<kvx::Dispatch>& wcHolder, kvx::TdmBase* dm,
                           kvx::test::MemoryProvider& provider) {
    broker->WorkCenter = Variant(wcHolder);
    broker->ProgID = QStringLiteral("QLDI05");
    broker->UserID = QStringLiteral("DS");
    broker->CompanyID = QStringLiteral("DEMO");
    broker->DBName = QStringLiteral("DEMO");
    broker->UserGroup = QStringLiteral("ADMIN");
    dm->Broker = broker;
    dm->ServerDate = QStringLiteral("20261208");
    provider.table("pvdMain").fields = mainLayout();
    dm->cdsMain->SetRemoteServer(&provider);
    dm->cdsMain->SetPacketRecords(-1);
}

struct DataEnv {
    kvxtest::TempTree tree;
    kvx::test::MemoryProvider provider; // outlives the module that reads it
    FakeDataForm form;
    brokertest::FakeWorkCenter* wc = new brokertest::FakeWorkCenter;
    std::shared_ptr<kvx::Dispatch> wcHolder{wc};
    TBrokers* broker = new TBrokers(&form);
    kvx::TdmBase* dm = new kvx::TdmBase(&form);

    DataEnv() {
        kvx::DialogService::instance().setScripted(true);
        kvx::DialogService::instance().clear();
        wc->catalogue.insert("E/100280", QStringLiteral("\"%s\" 不能大于 %s!"));
        wc->catalogue.insert("E/100288", QStringLiteral("\"%s\" 不能小于 %s!"));
        wc->catalogue.insert("E/100187", QStringLiteral("时间格式错误!"));
        wc->catalogue.insert("E/100002", QStringLiteral("月份必须在 1 到 12 之间!"));
        wc->catalogue.insert("E/200820", QStringLiteral("年份必须在 1753 到 9999 之间!"));
        wc->catalogue.insert("E/000005", QStringLiteral("日期错误, 请重新输入!"));
        bindDemoModule(broker, wcHolder, dm, provider);
    }
    void connectServices() { ASSERT_TRUE(broker->ConnectServices()); }
    void addRow(const kvx::Row& r) { provider.table("pvdMain").rows << r; }
    kvx::Row storedRow(int i) { return provider.table("pvdMain").rows.value(i); }
    static QString lastMessage() { return kvx::DialogService::instance().lastText(); }
    static int messageCount() { return int(kvx::DialogService::instance().shown().size()); }
};

} // namespace datatest
