#include "SampleRadicalForm.h"

#include "entry/MT_Doc.h"
#include "platform/DialogService.h"

#include <QGridLayout>
#include <QLabel>
#include <QPaintEvent>
#include <QToolButton>
#include <QVBoxLayout>
#include <cstdio>

TfrmRadicalSample::TfrmRadicalSample(QWidget* parent) : TfrmRadical(parent) {
    setObjectName(QStringLiteral("frmRadicalSample"));
    auto* layout = new QVBoxLayout(this);
    tbMain = new QWidget(this);
    tbMain->setObjectName(QStringLiteral("tbMain"));
    tbMain->setFixedHeight(26);
    for (const char* name : {"btnQuery", "btnEdit", "btnSave"}) {
        auto* b = new QToolButton(tbMain);
        b->setObjectName(QString::fromLatin1(name));
        b->setText(QString::fromLatin1(name).mid(3));
        b->resize(60, 24);
    }
    layout->addWidget(tbMain);
    // The caption as the window shows it (a rendered window has no title bar of its own).
    auto* caption = new QLabel(this);
    caption->setObjectName(QStringLiteral("lblCaption"));
    QFont bold = caption->font();
    bold.setBold(true);
    caption->setFont(bold);
    connect(this, &QWidget::windowTitleChanged, caption, &QLabel::setText);
    layout->addWidget(caption);
    auto* fields = new QGridLayout;
    auto edit = [this, fields](const char* name, const QString& caption, int row) {
        auto* e = new kvx::TKvDBEdit(this);
        e->setObjectName(QString::fromLatin1(name));
        e->setCaption(caption);
        fields->addWidget(e, row, 0);
        return e;
    };
    edMB001 = edit("edMB001", QStringLiteral("单据性质"), 0);
    edMB002 = edit("edMB002", QStringLiteral("传输方式"), 1);
    edMB005 = edit("edMB005", QStringLiteral("备注"), 2);
    edMB001C = edit("edMB001C", QStringLiteral("文件名"), 3);
    layout->addLayout(fields);
    gdHead = new kvx::TFDBGrid(this);
    gdHead->setObjectName(QStringLiteral("gdHead"));
    layout->addWidget(gdHead, 1);
    resize(560, 360);
}

kvx::TdmBase* TfrmRadicalSample::dm() const {
    return qobject_cast<kvx::TdmBase*>(DataModule.data());
}

kvx::TdmBase* TfrmRadicalSample::CreateDataModule() {
    return new kvx::TdmBase(this);
}

void TfrmRadicalSample::FormCreate() {
    kvx::TdmBase* module = CreateDataModule();
    DataModule = module;
    for (auto [edit, field] : {std::pair{edMB001, "MB001"}, std::pair{edMB002, "MB002"},
                               std::pair{edMB005, "MB005"}, std::pair{edMB001C, "MB001C"}}) {
        edit->setDataSource(module->dsMain);
        edit->setDataField(QString::fromLatin1(field));
    }
    gdHead->setDataSource(module->dsMain);
    TfrmRadical::FormCreate();
    kvx::ArrangeToolButtons(tbMain);
}

void TfrmRadicalSample::journal(const char* key, QObject* control) {
    KeyJournal << QStringLiteral("%1 %2 %3")
                      .arg(QString::fromLatin1(key), control ? control->objectName() : QStringLiteral("-"))
                      .arg(LookupPhase_);
}

void TfrmRadicalSample::DoF2Key(int& Key, QObject* Control) {
    journal("F2", Control);
    if (LookupPhase_ == 1)
        LookupParams = kvx::Variant::fromList({QStringLiteral("QLDMB"), QStringLiteral("MB001")});
    if (LookupPhase_ == 2) TakenResult = LookupResult_;
    TfrmRadical::DoF2Key(Key, Control);
}

void TfrmRadicalSample::DoF3Key(int& Key, QObject* Control) {
    journal("F3", Control);
    TfrmRadical::DoF3Key(Key, Control);
}

void TfrmRadicalSample::AfterShow() {
    TfrmRadical::AfterShow();
    if (ApplyScreenSettings && !screenApplied_ && dm() && dm()->Server()) {
        screenApplied_ = true;
        const kvx::Variant xml =
            dm()->Server()->call(QStringLiteral("GetFormat"), {Broker->CompanyID, Broker->ProgID});
        std::unique_ptr<kvx::TMT_Doc> doc = kvx::TMT_Doc::CreateFromXml(xml.toString());
        doc->SetConverter(KvConverter());
        doc->ApplyToForm(this);
        doc->ApplyToGrid(gdHead);
    }
    if (!ReportOnShow || reported_) return;
    reported_ = true;
    const bool connected = dm() && dm()->cdsMain->Active();
    QStringList columns;
    for (int i = 0; i < gdHead->Columns()->Count(); ++i)
        columns << gdHead->column(i)->FieldName();
    kvx::DialogService::instance().inform(
        QStringLiteral("Screen: %1 %2 %3 Columns=%4")
            .arg(edMB005->Caption(),
                 edMB001C->isHidden() ? QStringLiteral("hidden") : QStringLiteral("shown"))
            .arg(gdHead->column(0) ? gdHead->column(0)->Title()->Caption() : QString(), columns.join(',')),
        Caption());
    kvx::DialogService::instance().inform(
        QStringLiteral("Caption=%1 Rights=0x%2 SqlType=%3 Connected=%4 Records=%5")
            .arg(Caption())
            .arg(RightsSet, 0, 16)
            .arg(SqlType)
            .arg(connected ? QStringLiteral("yes") : QStringLiteral("no"))
            .arg(connected ? dm()->RecordCount : 0),
        Caption());
}

void TfrmRadicalSample::paintEvent(QPaintEvent* event) {
    TfrmRadical::paintEvent(event);
    if (!ReportFirstPaint || painted_) return;
    painted_ = true;
    std::fputs("painted\n", stdout);
    std::fflush(stdout);
    QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
}

void TfrmRadicalSample::FormClose(TCloseAction& Action) {
    TfrmRadical::FormClose(Action);
    Action = caFree;
}
