#include "SampleSingleForm.h"

#include "controls/ExtPageControl.h"

#include <QGridLayout>

using namespace kvx;

TfrmSingleSample::TfrmSingleSample(QWidget* parent) : TfrmSingle(parent) {
    setObjectName(QStringLiteral("frmSingleSample"));
    auto edit = [](QWidget* sheet, QGridLayout* grid, const char* name, const QString& caption, int row) {
        auto* e = new TKvDBEdit(sheet);
        e->setObjectName(QString::fromLatin1(name));
        e->setCaption(caption);
        grid->addWidget(e, row, 0);
        return e;
    };
    auto* first = new QGridLayout(tbsHead1);
    edMB001 = edit(tbsHead1, first, "edMB001", QStringLiteral("单据性质"), 0);
    cboMB002 = new TKvDBComboBox(tbsHead1);
    cboMB002->setObjectName(QStringLiteral("cboMB002"));
    cboMB002->setCaption(QStringLiteral("传输方式"));
    cboMB002->setItems(
        {QStringLiteral("1:不处理\t1"), QStringLiteral("2:汇出\t2"), QStringLiteral("3.汇入\t3")});
    cboMB002->setMapList(true);
    cboMB002->setStyle(TKvDBComboBox::csDropDownList);
    first->addWidget(cboMB002, 1, 0);
    edMB005 = edit(tbsHead1, first, "edMB005", QStringLiteral("备注"), 2);
    first->setRowStretch(3, 1);

    tbsHead2 = new TTabSheet();
    tbsHead2->setObjectName(QStringLiteral("tbsHead2"));
    tbsHead2->setCaption(QStringLiteral("数量"));
    pgHead->InsertPage(1, tbsHead2);
    auto* second = new QGridLayout(tbsHead2);
    edN = edit(tbsHead2, second, "edN", QStringLiteral("数量"), 0);
    edRATE = edit(tbsHead2, second, "edRATE", QStringLiteral("比率"), 1);
    second->setRowStretch(2, 1);
    resize(720, 460);
}

void TfrmSingleSample::FormCreate() {
    TdmSingle* module = ModuleFactory ? ModuleFactory(this) : new TdmSingle(this);
    DataModule = module;
    for (auto [e, field] : {std::pair{edMB001, "MB001"}, std::pair{edMB005, "MB005"}, std::pair{edN, "N"},
                            std::pair{edRATE, "RATE"}}) {
        e->setDataSource(module->dsMain);
        e->setDataField(QString::fromLatin1(field));
    }
    cboMB002->setDataSource(module->dsMain);
    cboMB002->setDataField(QStringLiteral("MB002"));
    TfrmSingle::FormCreate();
}

void TfrmSingleSample::InitSettings() {
    TfrmSingle::InitSettings();
    FirstAddControl = edMB001;
    FirstEditControl = cboMB002;
}

bool TfrmSingleSample::DoPrint() {
    PrintJournal << (PrintPreview ? QStringLiteral("preview") : QStringLiteral("print"));
    return true;
}

int TfrmSingleSample::RunLinkedProgram(const QString& ProgramCode, const QString& Condition) {
    LinkJournal << ProgramCode + QLatin1Char('|') + Condition;
    return 0;
}

bool TfrmSingleSample::RunOptionsDialog(TSingleOptions& Options) {
    if (DefaultOptions) return TfrmSingle::RunOptionsDialog(Options);
    ++OptionsShown;
    if (OptionsOk) Options = OptionsAnswer;
    return OptionsOk;
}
