#include "TestQBEWindow.h"

using kvx::FieldType;

namespace {
const QStringList kModes = {QStringLiteral("1:不处理\t1"), QStringLiteral("2:汇出\t2"),
                            QStringLiteral("3.汇入\t3")};
const QStringList kCategories = {QStringLiteral("1:基本信息\t1"), QStringLiteral("2:单据\t2")};
} // namespace

void addSettingsFields(kvx::TClientDataSet* ds) {
    auto& d = ds->FieldDefs();
    d.Add("MB001", FieldType::String, 20);
    d.Add("MB001C", FieldType::String, 24);
    d.Add("MB002", FieldType::String, 1);
    d.Add("MB004", FieldType::String, 1);
    d.Add("MB005", FieldType::String, 255);
    d.Add("COMPANY", FieldType::String, 10);
    d.Add("CREATOR", FieldType::String, 10);
    d.Add("USR_GROUP", FieldType::String, 10);
    d.Add("CREATE_DATE", FieldType::String, 8);
    d.Add("MODIFIER", FieldType::String, 10);
    d.Add("MODI_DATE", FieldType::String, 8);
    d.Add("FLAG", FieldType::Float);
    d.Add("MB003", FieldType::String, 255);
}

void labelSettingsFields(kvx::TClientDataSet* ds) {
    const QList<QPair<QString, QString>> labels = {
        {"MB001", "单据性质"},  {"MB001C", "文件名称"},    {"MB002", "传输方式"},
        {"MB004", "类别"},      {"MB005", "备注"},         {"COMPANY", "公司别"},
        {"CREATOR", "建立者"},  {"USR_GROUP", "用户组"},   {"CREATE_DATE", "建立日期"},
        {"MODIFIER", "修改者"}, {"MODI_DATE", "修改日期"}, {"FLAG", "标志"},
        {"QTY01", "数量"},      {"DATE01", "日期"},        {"YM01", "年月"},
        {"CHK01", "确认"},      {"USERNAME", "用户名称"}};
    for (const auto& [name, label] : labels)
        if (kvx::TField* f = ds->FindField(name)) f->SetDisplayLabel(label);
    if (kvx::TField* f = ds->FindField("MB003")) f->SetVisible(false);
}

TestQBEWindow::TestQBEWindow(Options o) {
    setObjectName("frmTestQBE");
    cdsMain = new kvx::TClientDataSet(this);
    cdsMain->setObjectName("cdsMain");
    addSettingsFields(cdsMain);
    if (o.extraFields) {
        auto& d = cdsMain->FieldDefs();
        d.Add("QTY01", FieldType::Float);
        d.Add("DATE01", FieldType::String, 8);
        d.Add("YM01", FieldType::String, 6);
        d.Add("CHK01", FieldType::String, 1);
        d.Add("USERNAME", FieldType::String, 20);
    }
    cdsMain->CreateDataSet();
    labelSettingsFields(cdsMain);

    gdHead = new QWidget(this);
    gdHead->setObjectName("gdHead");
    cboMB002G = new kvx::TKvDBComboBox(gdHead);
    cboMB002G->setObjectName("cboMB002G");
    cboMB002G->setStyle(kvx::TKvDBComboBox::csDropDownList);
    cboMB002G->setMapList(true);
    cboMB002G->setItems(kModes);
    cboMB002G->setDataField("MB002");
    cboMB004G = new kvx::TKvDBComboBox(gdHead);
    cboMB004G->setObjectName("cboMB004G");
    cboMB004G->setStyle(kvx::TKvDBComboBox::csDropDownList);
    cboMB004G->setMapList(true);
    cboMB004G->setItems(kCategories);
    cboMB004G->setDataField("MB004");

    if (o.detail) {
        withDetail = true;
        cdsDetail = new kvx::TClientDataSet(this);
        cdsDetail->setObjectName("cdsDetail");
        cdsDetail->FieldDefs().Add("MD001", FieldType::String, 20);
        cdsDetail->FieldDefs().Add("MD002", FieldType::String, 20);
        cdsDetail->FieldDefs().Add("MD003", FieldType::Integer);
        cdsDetail->CreateDataSet();
        cdsDetail->FindField("MD002")->SetDisplayLabel("项目");
        cdsDetail->FindField("MD003")->SetDisplayLabel("顺序");
        detailInputs.dataSet = cdsDetail;
        detailInputs.tableName = "QLDMD";
        detailInputs.keyFields = "MD001";
    }
}

kvx::TQBEEditKind TestQBEWindow::QBEFieldEditKind(const kvx::TField* field) const {
    if (field->FieldName() == "DATE01") return kvx::TQBEEditKind::Date;
    if (field->FieldName() == "YM01") return kvx::TQBEEditKind::YearMonth;
    return TQBEOwner::QBEFieldEditKind(field);
}

QStringList TestQBEWindow::QBEControlTypes() const {
    return {"MB002;CustomEdit;cboMB002G", "MB004;CustomEdit;cboMB004G", "CHK01;CheckBox;Y;N"};
}

kvx::TKvDBComboBox* TestQBEWindow::QBEFindCombo(const QString& name) const {
    return findChild<kvx::TKvDBComboBox*>(name);
}

QList<kvx::TKvDBComboBox*> TestQBEWindow::QBEGridEditors() const {
    return gdHead->findChildren<kvx::TKvDBComboBox*>();
}
