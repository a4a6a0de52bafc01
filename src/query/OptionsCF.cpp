#include "OptionsCF.h"

#include "Log.h"

#include "controls/CheckBoxes.h"
#include "controls/ExtPageControl.h"
#include "lang/CodeConverter.h"
#include "platform/DialogService.h"
#include "platform/FieldFormat.h"
#include "server/Brokers.h"
#include "server/BuildVariant.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <pugixml.hpp>

namespace kvx {

namespace {
const char* const kNumberSection = "NumberFieldsSetting";

QString boolText(bool on) {
    return on ? QStringLiteral("True") : QStringLiteral("False");
}

TKVCheckBox* checkBox(QWidget* parent, const char* name, const char* caption, bool checked) {
    auto* box = new TKVCheckBox(parent);
    box->setObjectName(QLatin1String(name));
    box->setCaption(QString::fromUtf8(caption));
    box->setChecked(checked);
    return box;
}

QLabel* redNote(QWidget* parent, const char* name) {
    auto* l = new QLabel(QStringLiteral("(下次开启生效)"), parent);
    l->setObjectName(QLatin1String(name));
    QPalette pal = l->palette();
    pal.setColor(QPalette::WindowText, Qt::red);
    l->setPalette(pal);
    return l;
}
} // namespace

TfrmOptions::TfrmOptions(QWidget* owner, TKVDialogOwner* dialogOwner) : TfrmKVDialog(owner, dialogOwner) {
    setObjectName(QStringLiteral("frmOptions"));
    setCaption(QStringLiteral("选项"));
    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(8, 8, 8, 8);
    pgMain = new TExtPageControl(this);
    pgMain->setObjectName(QStringLiteral("pgMain"));
    root->addWidget(pgMain, 1);

    tbsGeneral = new TTabSheet(pgMain);
    tbsGeneral->setObjectName(QStringLiteral("tbsGeneral"));
    tbsGeneral->setCaption(QStringLiteral("常规"));
    auto* general = new QVBoxLayout(tbsGeneral);
    general->setContentsMargins(16, 14, 16, 14);
    general->setSpacing(10);
    chkKeepOnAdd = checkBox(tbsGeneral, "chkKeepOnAdd", "保存后继续录入下一笔(&N)", true);
    chkFocusPageOne = checkBox(tbsGeneral, "chkFocusPageOne", "修改时转至第一页(&F)", true);
    chkColorManage = checkBox(tbsGeneral, "chkColorManage", "启用颜色管理", false);
    chkFastInput = checkBox(tbsGeneral, "chkFastInput", "启用模糊输入", true);
    lblColorManageNote = redNote(tbsGeneral, "lblColorManageNote");
    lblFastInputNote = redNote(tbsGeneral, "lblFastInputNote");
    general->addWidget(chkKeepOnAdd);
    general->addWidget(chkFocusPageOne);
    for (auto [box, note] :
         {std::pair{chkColorManage, lblColorManageNote}, std::pair{chkFastInput, lblFastInputNote}}) {
        auto* row = new QHBoxLayout;
        row->addWidget(box);
        row->addWidget(note);
        row->addStretch(1);
        general->addLayout(row);
    }
    general->addStretch(1);
    // The older build has no colour management to switch on.
    if (!Features().colourManagement) {
        chkColorManage->hide();
        lblColorManageNote->hide();
    }

    tbsDisplay = new TTabSheet(pgMain);
    tbsDisplay->setObjectName(QStringLiteral("tbsDisplay"));
    tbsDisplay->setCaption(QStringLiteral("显示"));
    auto* display = new QVBoxLayout(tbsDisplay);
    display->setContentsMargins(10, 10, 10, 10);
    auto* top = new QHBoxLayout;
    auto* typeColumn = new QVBoxLayout;
    lblType = new QLabel(QStringLiteral("分类(&C)"), tbsDisplay);
    lblType->setObjectName(QStringLiteral("lblType"));
    lstType = new QListWidget(tbsDisplay);
    lstType->setObjectName(QStringLiteral("lstType"));
    lstType->addItems({QStringLiteral("数值"), QStringLiteral("金额")});
    lstType->setFixedWidth(90);
    lblType->setBuddy(lstType);
    typeColumn->addWidget(lblType);
    typeColumn->addWidget(lstType, 1);
    top->addLayout(typeColumn);

    auto panel = [&](const char* name, TKVCheckBox*& thousand, const char* thousandCaption,
                     const char* thousandName, TKVCheckBox*& autoZero, const char* autoZeroName,
                     QGroupBox*& group, const char* groupName, QLabel*& example, const char* exampleName) {
        auto* p = new QWidget(tbsDisplay);
        p->setObjectName(QLatin1String(name));
        auto* l = new QVBoxLayout(p);
        l->setContentsMargins(6, 0, 0, 0);
        thousand = checkBox(p, thousandName, thousandCaption, true);
        autoZero = checkBox(p, autoZeroName, "小数位自动补零(&Z)", true);
        group = new QGroupBox(QStringLiteral("示例"), p);
        group->setObjectName(QLatin1String(groupName));
        auto* gl = new QVBoxLayout(group);
        example = new QLabel(group);
        example->setObjectName(QLatin1String(exampleName));
        gl->addWidget(example);
        l->addWidget(thousand);
        l->addWidget(autoZero);
        l->addWidget(group);
        l->addStretch(1);
        connect(thousand, &TKVCheckBox::Click, this, &TfrmOptions::RefreshExamples);
        connect(autoZero, &TKVCheckBox::Click, this, &TfrmOptions::RefreshExamples);
        top->addWidget(p, 1);
        return p;
    };
    pnlNumber = panel("pnlNumber", chkNumberThousand, "使用(,)千位分隔符(&U)", "chkNumberThousand",
                      chkNumberAutoZero, "chkNumberAutoZero", grpNumberExample, "grpNumberExample",
                      lblNumberExample, "lblNumberExample");
    pnlMoney =
        panel("pnlMoney", chkMoneyThousand, "使用千位分隔符(,)(&U)", "chkMoneyThousand", chkMoneyAutoZero,
              "chkMoneyAutoZero", grpMoneyExample, "grpMoneyExample", lblMoneyExample, "lblMoneyExample");
    display->addLayout(top, 1);
    lblNote =
        new QLabel(QStringLiteral("数值格式用于一般数字的表示。\r\n金额格式则提供了单价、金额的专用格式\r\n"),
                   tbsDisplay);
    lblNote->setObjectName(QStringLiteral("lblNote"));
    lblNote->setWordWrap(true);
    display->addWidget(lblNote);
    connect(lstType, &QListWidget::currentRowChanged, this, &TfrmOptions::lstTypeClick);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    btnOK = new QPushButton(QStringLiteral("确定"), this);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnOK->setDefault(true);
    btnCancel = new QPushButton(QStringLiteral("取消"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancel);
    root->addLayout(buttons);
    connect(btnOK, &QPushButton::clicked, this, &TfrmOptions::btnOKClick);
    connect(btnCancel, &QPushButton::clicked, this, &TfrmOptions::btnCancelClick);
    resize(440, 330);
}

QList<TKVCheckBox*> TfrmOptions::boxes() const {
    return {chkKeepOnAdd,      chkFocusPageOne,   chkColorManage,   chkFastInput,
            chkNumberAutoZero, chkNumberThousand, chkMoneyAutoZero, chkMoneyThousand};
}

bool TfrmOptions::KeepOnAdd() const {
    return chkKeepOnAdd->Checked();
}
bool TfrmOptions::FocusPageOne() const {
    return chkFocusPageOne->Checked();
}
bool TfrmOptions::ColorManage() const {
    return chkColorManage->Checked();
}
bool TfrmOptions::FastInput() const {
    return chkFastInput->Checked();
}
bool TfrmOptions::MoneyAutoZero() const {
    return chkMoneyAutoZero->Checked();
}
bool TfrmOptions::MoneyThousand() const {
    return chkMoneyThousand->Checked();
}
bool TfrmOptions::NumberAutoZero() const {
    return chkNumberAutoZero->Checked();
}
bool TfrmOptions::NumberThousand() const {
    return chkNumberThousand->Checked();
}

QString TfrmOptions::NumberSettingsXml(bool numberAutoZero, bool numberThousand, bool moneyAutoZero,
                                       bool moneyThousand) {
    return QStringLiteral(
               "<NumberFieldsSetting Enabled=\"True\">  <QuantityFieldAutoZero>%1</QuantityFieldAutoZero>"
               "  <QuantityFieldThousand>%2</QuantityFieldThousand>  <MoneyFieldAutoZero>%3"
               "</MoneyFieldAutoZero>  <MoneyFieldThousand>%4</MoneyFieldThousand></NumberFieldsSetting>")
        .arg(boolText(numberAutoZero), boolText(numberThousand), boolText(moneyAutoZero),
             boolText(moneyThousand));
}

QString TfrmOptions::ExamplePattern(bool thousand, bool autoZero, int decimals) {
    const QString digits = decimals > 0 ? QString(decimals, autoZero ? u'0' : u'#') : QString();
    // Without decimal places the point goes too: "#,##0." would print a dangling point.
    return QStringLiteral("#%1##0").arg(thousand ? QStringLiteral(",") : QString()) +
           (digits.isEmpty() ? QString() : u'.' + digits);
}

void TfrmOptions::RefreshExamples() {
    const int money = DialogOwner() ? DialogOwner()->MoneyDigits() : 2;
    lblMoneyExample->setText(formatFloat(
        ExamplePattern(chkMoneyThousand->Checked(), chkMoneyAutoZero->Checked(), money), 9999999.9));
    lblNumberExample->setText(formatFloat(
        ExamplePattern(chkNumberThousand->Checked(), chkNumberAutoZero->Checked(), 3), 9999999.9));
}

void TfrmOptions::lstTypeClick() {
    const bool money = lstType->currentRow() == 1;
    pnlNumber->setVisible(!money);
    pnlMoney->setVisible(money);
}

void TfrmOptions::readNumberSettings() {
    TBrokers* broker = Broker();
    if (!broker) return;
    try {
        const Variant v =
            broker->CallCounter(QStringLiteral("GetUserDefine"),
                                Variant::fromList({broker->CompanyID, broker->UserID, broker->ProgID,
                                                   QString::fromLatin1(kNumberSection)}));
        const QString text = v.isEmptyOrNull() ? QString() : v.toString();
        if (text.trimmed().isEmpty()) return;
        pugi::xml_document doc;
        if (!doc.load_string(text.toUtf8().constData())) {
            qCWarning(lcQuery) << "number settings are no XML:" << text;
            return;
        }
        const pugi::xml_node root = doc.document_element();
        const std::pair<const char*, TKVCheckBox*> map[] = {{"QuantityFieldAutoZero", chkNumberAutoZero},
                                                            {"QuantityFieldThousand", chkNumberThousand},
                                                            {"MoneyFieldAutoZero", chkMoneyAutoZero},
                                                            {"MoneyFieldThousand", chkMoneyThousand}};
        for (const auto& [name, box] : map) {
            const pugi::xml_node e = root.child(name);
            if (!e) continue;
            box->setChecked(QString::fromUtf8(e.text().get())
                                .trimmed()
                                .compare(QLatin1String("True"), Qt::CaseInsensitive) == 0);
        }
    } catch (const std::exception& e) {
        qCWarning(lcQuery) << "reading the number settings failed:" << e.what();
    }
}

void TfrmOptions::readGeneralSettings() {
    const TKVDialogOwner* o = DialogOwner();
    if (!o) return;
    chkFocusPageOne->setChecked(
        o->UserSetting(QStringLiteral("InputSettings001"), QStringLiteral("IsFocusPageOne"), true));
    chkKeepOnAdd->setChecked(
        o->UserSetting(QStringLiteral("InputSettings002"), QStringLiteral("IsKeepOnAdd"), true));
    chkColorManage->setChecked(
        o->UserSetting(QStringLiteral("InputSettings003"), QStringLiteral("IsColorManage"), false));
    chkFastInput->setChecked(
        o->UserSetting(QStringLiteral("InputSettings004"), QStringLiteral("FastInputEnabled"), true));
}

void TfrmOptions::FormCreate() {
    TfrmKVDialog::FormCreate();
    QString text;
    lstType->item(0)->setText(GetMessage(QStringLiteral("TfrmOptions"), QStringLiteral("sNumber"), text, true,
                                         QStringLiteral("数值")));
    lstType->item(1)->setText(GetMessage(QStringLiteral("TfrmOptions"), QStringLiteral("sMoney"), text, true,
                                         QStringLiteral("金额")));
}

void TfrmOptions::FormShow() {
    TfrmKVDialog::FormShow();
    pgMain->setActivePage(tbsGeneral);
    lstType->setCurrentRow(0);
    lstTypeClick();
    readNumberSettings();
    readGeneralSettings();
    RefreshExamples();
    initial_.clear();
    for (const TKVCheckBox* box : boxes())
        initial_.insert(box->objectName(), box->Checked());
}

bool TfrmOptions::changed(const TKVCheckBox* box) const {
    return initial_.value(box->objectName(), !box->Checked()) != box->Checked();
}

QString TfrmOptions::setUserDefine(const QString& scope, const QString& path, const QString& value) {
    TBrokers* broker = Broker();
    if (!broker) return QStringLiteral("no broker");
    QString answer;
    try {
        const Variant v =
            broker->CallCounter(QStringLiteral("SetUserDefine"),
                                Variant::fromList({broker->CompanyID, broker->UserID, scope, path, value}));
        answer = v.isEmptyOrNull() ? QString() : v.toString();
    } catch (const std::exception& e) {
        answer = QString::fromUtf8(e.what());
    }
    if (!answer.isEmpty()) qCWarning(lcQuery) << "SetUserDefine" << path << "failed:" << answer;
    return answer;
}

void TfrmOptions::btnOKClick() {
    CloseModal(this, mrOk);
    const QString all = QLatin1String(kAllPrograms);
    const QString prog = Broker() ? Broker()->ProgID : QString();
    if (changed(chkKeepOnAdd))
        setUserDefine(all, QStringLiteral("InputSettings002/IsKeepOnAdd"), boolText(chkKeepOnAdd->Checked()));
    if (changed(chkFocusPageOne))
        setUserDefine(all, QStringLiteral("InputSettings001/IsFocusPageOne"),
                      boolText(chkFocusPageOne->Checked()));
    if (changed(chkColorManage))
        setUserDefine(prog, QStringLiteral("InputSettings003/IsColorManage"),
                      boolText(chkColorManage->Checked()));
    if (changed(chkFastInput))
        setUserDefine(prog, QStringLiteral("InputSettings004/FastInputEnabled"),
                      boolText(chkFastInput->Checked()));
    if (changed(chkNumberAutoZero) || changed(chkNumberThousand) || changed(chkMoneyAutoZero) ||
        changed(chkMoneyThousand))
        setUserDefine(
            all, QStringLiteral("."),
            NumberSettingsXml(NumberAutoZero(), NumberThousand(), MoneyAutoZero(), MoneyThousand()));
}

void TfrmOptions::btnCancelClick() {
    CloseModal(this, mrCancel);
}

} // namespace kvx
