// Set-up of the single-table data-module tests: a fake single-table window (both the broker's and the
// module's owner) whose hooks record what the module asks, a broker on the fake work center, and a
// TdmSingle whose main dataset reads an in-memory provider.
#pragma once

#include "DataTestEnv.h"
#include "data/SingleCD.h"

#include <QStringList>

namespace datatest {

class FakeSingleForm : public QWidget, public TBrokerOwner, public kvx::TSingleModuleOwner {
public:
    int editingMode = 0;
    QString codePage = QStringLiteral("936");
    bool colorManagement = false;
    bool sortAllowed = true;
    QStringList controlTypes;
    QHash<QString, QStringList> combos;
    QList<kvx::TBookmark> selected;
    QList<kvx::TUdfDefault> udfs;
    QString workPath;
    // What the module asked, in order.
    QStringList calls;
    std::function<void()> onUserDefaults;
    std::function<bool(kvx::TField*, kvx::TCellColors&)> cellColors;
    QStringList opened;
    // Progress: the rows stepped, and the step at which the user presses Cancel (0: never).
    int steps = 0;
    int cancelAtStep = 0;
    int progressMax = -1;
    bool progressClosed = false;

    int EditingMode() const override { return editingMode; }
    QString CodePage() const override { return codePage; }
    QString DisplayConvert(const QString& t) const override {
        return QStringLiteral("<") + t + QStringLiteral(">");
    }
    bool ColorManagement() const override { return colorManagement; }
    void ResetColorRules() override { calls << QStringLiteral("reset"); }
    void ApplyColorRules(kvx::TClientDataSet* colorData) override {
        calls << QStringLiteral("apply:") + colorData->FieldByName("MB001")->AsString();
    }
    void ReloadColorData(bool newRecord) override {
        calls << (newRecord ? QStringLiteral("reload:new") : QStringLiteral("reload:last"));
    }
    bool SortAllowed() const override { return sortAllowed; }
    bool GridRowSelected(kvx::TBookmark b) const override { return selected.contains(b); }
    QStringList ControlTypes(kvx::TClientDataSet*) const override { return controlTypes; }
    void SetControlType(kvx::TClientDataSet*, const QString& field, const QString& control) override {
        calls << QStringLiteral("control:") + field + QLatin1Char(';') + control;
    }
    void RefreshGridLayout() override { calls << QStringLiteral("layout"); }
    QStringList ComboItems(const QString& name) const override { return combos.value(name); }
    void ApplyUserDefaults() override {
        calls << QStringLiteral("userDefaults");
        if (onUserDefaults) onUserDefaults();
    }
    QList<kvx::TUdfDefault> UdfDefaults(const QString& kind, const QString& flag) const override {
        const_cast<FakeSingleForm*>(this)->calls << QStringLiteral("udf:") + kind + QLatin1Char(',') + flag;
        return udfs;
    }
    QString ClientWorkPath() const override { return workPath; }
    bool CellColors(kvx::TField* f, kvx::TCellColors& c) override { return cellColors && cellColors(f, c); }
    void OpenDocument(const QString& fileName) override { opened << fileName; }

    class Progress : public kvx::TExportProgress {
    public:
        explicit Progress(FakeSingleForm* f) : form(f) {}
        void Start(const QString& text, int, int max) override {
            form->calls << QStringLiteral("progress:") + text;
            form->progressMax = max;
        }
        void SetMax(int max) override { form->progressMax = max; }
        void Step() override { ++form->steps; }
        bool Cancelled() const override {
            return form->cancelAtStep > 0 && form->steps >= form->cancelAtStep;
        }
        void Close() override { form->progressClosed = true; }
        FakeSingleForm* form;
    };
    std::unique_ptr<kvx::TExportProgress> CreateExportProgress() override {
        return std::make_unique<Progress>(this);
    }
};

struct SingleEnv {
    kvxtest::TempTree tree;
    kvx::test::MemoryProvider provider;
    FakeSingleForm form;
    brokertest::FakeWorkCenter* wc = new brokertest::FakeWorkCenter;
    std::shared_ptr<kvx::Dispatch> wcHolder{wc};
    TBrokers* broker = new TBrokers(&form);
    kvx::TdmSingle* dm = new kvx::TdmSingle(&form);

    SingleEnv() {
        kvx::DialogService::instance().setScripted(true);
        kvx::DialogService::instance().clear();
        bindDemoModule(broker, wcHolder, dm, provider);
        form.workPath = tree.clientPath();
    }
    void connectServices() { ASSERT_TRUE(broker->ConnectServices()); }
    void addRow(const kvx::Row& r) { provider.table("pvdMain").rows << r; }
    kvx::Row storedRow(int i) { return provider.table("pvdMain").rows.value(i); }
    kvx::TField* field(const char* name) const { return dm->cdsMain->FieldByName(QString::fromLatin1(name)); }
    static QString lastMessage() { return kvx::DialogService::instance().lastText(); }
    static int messageCount() { return int(kvx::DialogService::instance().shown().size()); }
};

} // namespace datatest
