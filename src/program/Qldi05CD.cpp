#include "Qldi05CD.h"

#include "platform/ClientDataSet.h"
#include "platform/Field.h"
#include "platform/SocketConnection.h"

namespace kvx {

namespace {

TField* stringField(TdmQldi05* dm, const char* name, int size, const QString& label, int width) {
    auto* f = new TStringField(dm);
    const QString fieldName = QString::fromLatin1(name);
    f->setObjectName(QStringLiteral("cdsMain") + fieldName);
    f->SetFieldName(fieldName);
    f->SetSize(size);
    if (!label.isEmpty()) f->SetDisplayLabel(label);
    f->SetDisplayWidth(width);
    f->SetDataSet(dm->cdsMain);
    return f;
}

} // namespace

TdmQldi05::TdmQldi05(QObject* owner) : TdmSingle(owner) {
    setObjectName(QStringLiteral("dmQldi05"));
    MIDAS->setServerName(QStringLiteral("Trivon.Class1"));
    cdsMain->SetProviderName(QStringLiteral("pvdMain"));

    cdsMainMB001 = stringField(this, "MB001", 20, QStringLiteral("文档编号"), 20);
    cdsMainMB001C = stringField(this, "MB001C", 24, QStringLiteral("文件名"), 24);
    cdsMainMB002 = stringField(this, "MB002", 1, QStringLiteral("传输方式"), 20);
    cdsMainMB004 = stringField(this, "MB004", 1, QStringLiteral("类别"), 10);
    cdsMainMB005 = stringField(this, "MB005", 255, QStringLiteral("备注"), 20);
    cdsMainCOMPANY = stringField(this, "COMPANY", 10, {}, 10);
    cdsMainCREATOR = stringField(this, "CREATOR", 10, {}, 10);
    cdsMainUSR_GROUP = stringField(this, "USR_GROUP", 10, {}, 10);
    cdsMainCREATE_DATE = stringField(this, "CREATE_DATE", 8, {}, 8);
    cdsMainMODIFIER = stringField(this, "MODIFIER", 10, {}, 10);
    cdsMainMODI_DATE = stringField(this, "MODI_DATE", 8, {}, 8);
    auto* flag = new TFloatField(this);
    flag->setObjectName(QStringLiteral("cdsMainFLAG"));
    flag->SetFieldName(QStringLiteral("FLAG"));
    flag->SetDisplayWidth(10);
    flag->SetDataSet(cdsMain);
    cdsMainFLAG = flag;
    cdsMainMB003 = stringField(this, "MB003", 255, QStringLiteral("内容"), 20);
    cdsMainMB003->SetVisible(false);

    MainControlType = {QStringLiteral("MB002;CustomEdit;cboMB002G"),
                       QStringLiteral("MB004;CustomEdit;cboMB004G")};
}

} // namespace kvx
