#include "TestBaseForm.h"

#include "entry/MT_Doc.h"
#include "platform/Field.h"

#include <QGridLayout>
#include <QVBoxLayout>
#include <stdexcept>

using namespace kvx;

TfrmBaseTest::TfrmBaseTest(QWidget* parent) : TfrmBase(parent) {
    setObjectName(QStringLiteral("frmBaseTest"));
    gdHead = new TFDBGrid(ClientArea);
    gdHead->setObjectName(QStringLiteral("gdHead"));
    ClientLayout->addWidget(gdHead, 1);
    pgMain = new TExtPageControl(ClientArea);
    pgMain->setObjectName(QStringLiteral("pgMain"));
    tbsMain = new TTabSheet(pgMain);
    tbsMain->setObjectName(QStringLiteral("tbsMain"));
    tbsMain->setCaption(QStringLiteral("基本资料"));
    tbsOther = new TTabSheet(pgMain);
    tbsOther->setObjectName(QStringLiteral("tbsOther"));
    tbsOther->setCaption(QStringLiteral("其他"));
    auto edit = [](QWidget* sheet, QGridLayout* grid, const char* name, const QString& caption, int row) {
        auto* e = new TKvDBEdit(sheet);
        e->setObjectName(QString::fromLatin1(name));
        e->setCaption(caption);
        grid->addWidget(e, row, 0);
        return e;
    };
    auto* first = new QGridLayout(tbsMain);
    edMB001 = edit(tbsMain, first, "edMB001", QStringLiteral("单据性质"), 0);
    edMB002 = edit(tbsMain, first, "edMB002", QStringLiteral("传输方式"), 1);
    auto* second = new QGridLayout(tbsOther);
    edMB005 = edit(tbsOther, second, "edMB005", QStringLiteral("备注"), 0);
    ClientLayout->addWidget(pgMain);
    resize(640, 420);
}

void TfrmBaseTest::FormCreate() {
    TdmBase* module = ModuleFactory ? ModuleFactory(this) : new TdmBase(this);
    DataModule = module;
    for (auto [e, field] :
         {std::pair{edMB001, "MB001"}, std::pair{edMB002, "MB002"}, std::pair{edMB005, "MB005"}}) {
        e->setDataSource(module->dsMain);
        e->setDataField(QString::fromLatin1(field));
    }
    gdHead->setDataSource(module->dsMain);
    TfrmBase::FormCreate();
}

bool TfrmBaseTest::DoSave() {
    ++Saves;
    TClientDataSet* ds = dm() ? dm()->cdsMain : nullptr;
    if (!ds) return false;
    try {
        if (ds->State() == TDataSetState::dsEdit || ds->State() == TDataSetState::dsInsert) ds->Post();
    } catch (const EAbort&) {
        return false; // the required-field check refused the post
    }
    if (!dm()->ApplyMain(ds)) {
        SaveFailed = true;
        return false;
    }
    SetState(esBrowse);
    UpdateRecordInfo(ds);
    return true;
}

bool TfrmBaseTest::DoQuery() {
    if (FailQuery) throw std::runtime_error("the query server is gone");
    return TfrmBase::DoQuery();
}

void TfrmBaseTest::InitGrids() {
    TfrmBase::InitGrids();
    // The company's screen settings (column order), then the program's labels and widths.
    SettingsDocument()->ApplyToGrid(gdHead);
    const QList<std::tuple<const char*, QString, int>> columns = {{"MB001", QStringLiteral("单据性质"), 10},
                                                                  {"MB001C", QStringLiteral("文件名"), 16},
                                                                  {"MB002", QStringLiteral("传输方式"), 8},
                                                                  {"MB004", QStringLiteral("类别"), 6},
                                                                  {"MB005", QStringLiteral("备注"), 24}};
    TClientDataSet* ds = dm() ? dm()->cdsMain : nullptr;
    for (const auto& [name, label, width] : columns) {
        if (TField* f = ds ? ds->FindField(QString::fromLatin1(name)) : nullptr) {
            f->SetDisplayLabel(label);
            f->SetDisplayWidth(width); // characters
        }
    }
}

void TfrmBaseTest::DoF2Key(int& Key, QObject* Control) {
    TfrmBase::DoF2Key(Key, Control);
    KeyJournal << QStringLiteral("F2 %1").arg(Control ? Control->objectName() : QStringLiteral("-"));
}
