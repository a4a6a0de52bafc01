#include "SeedData.h"

#include "Storage.h"
#include "platform/CodePage.h"

#include <QStringList>
#include <QVariant>

namespace kvxsrv {

namespace {
const char* const kCompany = "DEMO";
const char* const kSeedDate = "20240311";

QString u(const char* s) {
    return QString::fromUtf8(s);
}

void insertRow(Storage& s, const QString& table, const QStringList& cols, const QVariantList& vals) {
    QStringList marks;
    for (int i = 0; i < cols.size(); ++i)
        marks << QStringLiteral("?");
    // Seeded texts are never NULL: an empty text is stored as ''.
    QVariantList binds = vals;
    for (QVariant& v : binds)
        if (v.typeId() == QMetaType::QString && v.toString().isNull()) v = QStringLiteral("");
    s.exec(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)").arg(table, cols.join(','), marks.join(',')),
           binds);
}

// Audit values of a seeded row: created by the administrator, saved once.
QVariantList audit(const char* creator = "DS", const char* group = "ADMIN") {
    return {u(kCompany), u(creator), u(group), u(kSeedDate), QStringLiteral(""), QStringLiteral(""), 1.0};
}
const QStringList kAuditCols = {"COMPANY",  "CREATOR",   "USR_GROUP", "CREATE_DATE",
                                "MODIFIER", "MODI_DATE", "FLAG"};

void seedCompanyAndUsers(Storage& s) {
    insertRow(s, "KVXMB", {"MB001", "MB002", "MB003", "MB004"},
              {u(kCompany), u("演示公司(上海)有限公司"), u("DEMO"), "936"});
    const QStringList ua = {"MA001", "MA002", "MA003", "MA004", "MA005", "MA006"};
    insertRow(s, "KVXMA", ua, {"DS", u("系统管理员"), "ADMIN", "Y", "CHS", "Y"});
    insertRow(s, "KVXMA", ua, {"CLERK", u("王小明"), "SALES", "N", "CHS", "Y"});
    insertRow(s, "KVXMA", ua, {"MGR", u("李建国"), "SALES", "N", "CHS", "Y"});
    insertRow(s, "KVXMA", ua, {"OLDUSER", u("张离职"), "SALES", "N", "CHS", "N"});
    const QStringList gc = {"MC001", "MC002", "MC003"};
    insertRow(s, "KVXMC", gc, {"ADMIN", u("系统管理组"), "'ADMIN'"});
    insertRow(s, "KVXMC", gc, {"SALES", u("业务组"), "'SALES','SALES2'"});
    insertRow(s, "KVXMC", gc, {"SALES2", u("业务二组"), "'SALES2'"});

    // Rights: MF003 may run, MF004 own rights (12 characters), MF005/MF006 same-group and other-group
    // rights (7 characters), MF007 record-level rights, MF008 extra rights, MF009 basic-data limits.
    QStringList rc = {"MF001", "MF002", "MF003", "MF004", "MF005", "MF006", "MF007", "MF008", "MF009"};
    rc += kAuditCols;
    auto right = [&](const char* who, const char* prog, const char* run, const char* own, const char* same,
                     const char* other, const char* rec, const char* ex) {
        QVariantList v = {u(who), u(prog), u(run), u(own), u(same), u(other), u(rec), u(ex), "N"};
        v += audit();
        insertRow(s, "KVXMF", rc, v);
    };
    right("CLERK", "QLDI05", "Y", "NYNNNNRRNNNN", "NYNNNNN", "NYNNNNN", "Y", "BtnClear=N");
    right("CLERK", "COPI01", "Y", "NYYNNYYYYNNN", "NYYNNYN", "NNNNNYN", "Y", "");
    right("CLERK", "INVI02", "N", "NNNNNNNNNNNN", "NNNNNNN", "NNNNNNN", "N", "");
    right("MGR", "QLDI05", "Y", "NYYNNYYYNNNN", "NYYNNYN", "NYNNNYN", "Y", "");
}

void seedPrograms(Storage& s) {
    QStringList c = {"MB001", "MB002", "MB003", "MB004", "MB005", "MB006", "MB007", "MB008", "MB009",
                     "MB010", "MB011", "MB012", "MB013", "MB014", "MB015", "MB016", "MB017"};
    c += kAuditCols;
    auto prog = [&](const char* code, const char* name, const char* print, const char* sys, const char* table,
                    const char* key, const QString& select, const char* tw, const char* en, int maxRec,
                    const char* unrestricted, const char* lib) {
        QVariantList v = {u(code),
                          u(name),
                          u(print),
                          u(sys),
                          u(table),
                          u(key),
                          select,
                          QStringLiteral(""),
                          QStringLiteral(""),
                          QStringLiteral(""),
                          u(tw),
                          u(en),
                          u(name),
                          maxRec,
                          u(unrestricted),
                          QStringLiteral(""),
                          u(lib)};
        v += audit();
        insertRow(s, "ADMMB", c, v);
    };
    prog(
        "QLDI05", "文档传输设置作业", "QLDR05", "QLD", "QLDMB", "MB001",
        "SELECT MB001,MB001C,MB002,MB004,MB005,COMPANY,CREATOR,USR_GROUP,CREATE_DATE,MODIFIER,MODI_DATE,FLAG,"
        "MB003 FROM QLDMB",
        "文檔傳輸設置作業", "Document Transmission Settings", 20, "N", "QLDI05C.so");
    prog("QLDI06", "传输信息初始化服务", "", "QLD", "QLDTA", "TA001", "", "傳輸信息初始化服務",
         "Transmission Reset Service", 20, "Y", "");
    prog("INVI02", "品号信息建立作业", "INVR02", "INV", "INVMB", "MB001",
         "SELECT MB001,MB002,MB003,MB004,MB005,MB064 FROM INVMB", "品號信息建立作業", "Item Master", 30, "N",
         "INVI02C.so");
    prog("COPI01", "客户信息建立作业", "COPR01", "COP", "COPMA", "MA001",
         "SELECT MA001,MA002,MA003,MA006,MA014 FROM COPMA", "客戶信息建立作業", "Customer Master", 30, "N",
         "COPI01C.so");
    prog("PURI01", "供应商信息建立作业", "PURR01", "PUR", "PURMA", "MA001",
         "SELECT MA001,MA002,MA003,MA008,MA021 FROM PURMA", "供應商信息建立作業", "Supplier Master", 30, "N",
         "PURI01C.so");
    prog("CMSI05", "部门信息建立作业", "CMSR05", "CMS", "CMSME", "ME001", "SELECT ME001,ME002 FROM CMSME",
         "部門信息建立作業", "Departments", 40, "N", "CMSI05C.so");
}

void seedParameters(Storage& s) {
    struct P {
        const char *key, *value, *text;
    };
    const P params[] = {
        {"SYS001", "1", "日期格式(1:年月日 2:月日年 3:日月年 4/5:民国年)"},
        {"SYS002", "/", "日期分隔符"},
        {"SYS003", "RMB", "本位币"},
        {"SYS024", "Y", "存盘后自动刷新"},
        {"SYS053", "1", "品号输入方式(1:直接 2:条码 3:开窗)"},
        {"SYS054", "1", "客户输入方式"},
        {"SYS055", "1", "供应商输入方式"},
        {"SYS056", "1", "费用项目输入方式"},
        {"SYS060", "N", "启用多语言"},
        {"sys068", "3", "数量小数位数"},
        {"SYS150", "Y", "按程序定义读取字段"},
        {"SYS151", "N", "启用单据签核"},
        {"SYS174", "Y", "启用颜色管理"},
        {"KVX002", "演示公司", "公司简称"},
    };
    for (const P& p : params)
        insertRow(s, "ADMSP", {"SP001", "SP002", "SP003", "SP004"},
                  {u(kCompany), u(p.key), u(p.value), u(p.text)});

    QStringList cc = {"MF001", "MF002", "MF003", "MF004", "MF005", "MF006"};
    cc += kAuditCols;
    auto cur = [&](const char* code, const char* name, int a, int b, int c2, int d) {
        QVariantList v = {u(code), u(name), a, b, c2, d};
        v += audit();
        insertRow(s, "CMSMF", cc, v);
    };
    cur("RMB", "人民币", 4, 2, 4, 2);
    cur("USD", "美元", 4, 2, 4, 2);
    cur("HKD", "港币", 4, 2, 4, 2);
    cur("JPY", "日元", 2, 0, 2, 0);
    cur("NTD", "新台币", 3, 0, 3, 0);

    const QStringList nc = {"FD001", "FD002", "FD003", "FD004"};
    insertRow(s, "NUMFD", nc, {"QLDMB", "FLAG", 16, 0});
    insertRow(s, "NUMFD", nc, {"INVMB", "MB064", 16, 3});
    insertRow(s, "NUMFD", nc, {"CMSMF", "MF003", 1, 0});

    const QStringList wc = {"NT001", "NT002", "NT003"};
    insertRow(s, "WARRANT", wc, {"QLDR05-01", u("标准格式"), u("<layout paper=\"A4\"/>")});
    insertRow(s, "WARRANT", wc, {"QLDR05-02", u("简易格式"), u("<layout paper=\"A5\"/>")});
    insertRow(s, "WARRANT", wc, {"INVR02-01", u("品号清单"), u("<layout paper=\"A4\"/>")});
    const QStringList qc = {"MQ001", "MQ002", "MQ003"};
    insertRow(s, "ADMMQ", qc, {"QLDI05", "****", "N"});
    insertRow(s, "ADMMQ", qc, {"COPI01", "NUMBER", "C%03d"});
    insertRow(s, "EFSMC", {"MC001", "MC002", "MC006"}, {"QLDI05", "****", "N"});
}

// Message catalogue: every message kind and code the module shows, Simplified Chinese and English.
void seedMessages(Storage& s) {
    struct M {
        const char *kind, *code, *chs, *eng;
    };
    const M msgs[] = {
        {"C", "000001", "确定要删除这笔资料吗?", "Delete this record?"},
        {"C", "000002", "确定要放弃本次更改吗?", "Discard the changes to this record?"},
        {"C", "000004", "确定要放弃新增的资料吗?", "Discard the new record?"},
        {"D", "000001", "新增的资料尚未存盘, 是否存盘?", "The new record has not been saved. Save it?"},
        {"D", "000002", "更改的资料尚未存盘, 是否存盘?", "The changes have not been saved. Save them?"},
        {"E", "000003", "\"%s\" 不可空白!", "\"%s\" must not be blank."},
        {"E", "000004", "您没有运行此程序的权限!", "You have no rights to run this program."},
        {"E", "000005", "日期错误, 请重新输入!", "Invalid date. Please enter it again."},
        {"E", "000007", "删除失败!", "The record could not be deleted."},
        {"E", "000008", "存盘失败!", "The record could not be saved."},
        {"E", "000015", "无法读取系统注册信息, 请重新安装客户端!",
         "The system registry key cannot be read. Please reinstall the client."},
        {"E", "000016", "客户端配置文件中没有应用服务器地址!",
         "The client configuration names no application server."},
        {"E", "000032", "%s", "%s"},
        {"E", "000033", "取单号失败!", "No document number could be obtained."},
        {"E", "000038", "此程序必须从主程序中运行!", "This program must be started from the main program."},
        {"E", "100002", "月份必须在 1 到 12 之间!", "The month must be between 1 and 12."},
        {"E", "100187", "时间格式错误!", "Invalid time."},
        {"E", "100280", "\"%s\" 不能大于 %s!", "\"%s\" must not be greater than %s."},
        {"E", "100288", "\"%s\" 不能小于 %s!", "\"%s\" must not be less than %s."},
        {"E", "200570", "您没有这些基础数据的权限!", "You have no rights to these basic data."},
        {"E", "200571", "您没有下列基础数据的权限:%s", "You have no rights to the following basic data:%s"},
        {"E", "200820", "年份必须在 1753 到 9999 之间!", "The year must be between 1753 and 9999."},
        {"W", "000001", "查询失败, 请检查查询条件!", "The query failed. Please check the conditions."},
        {"W", "100079", "%s", "%s"},
        {"W", "200010", "%s", "%s"},
        {"I", "000001", "操作完成!", "Done."},
        {"Q", "000001", "确定要继续吗?", "Continue?"},
        {"T", "000001", "提示", "Note"},
    };
    for (const M& m : msgs) {
        const QStringList c = {"MSG001", "MSG002", "MSG003", "MSG004"};
        insertRow(s, "MSGCAT", c, {u(m.kind), u(m.code), "CHS", u(m.chs)});
        insertRow(s, "MSGCAT", c, {u(m.kind), u(m.code), "ENG", u(m.eng)});
    }
}

void seedScreenAndColours(Storage& s) {
    insertRow(s, "MTFMT", {"FM001", "FM002", "FM003"},
              {u(kCompany), "QLDI05",
               u("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<MT_User>\n"
                 "  <Control Name=\"edMB005\" Caption=\"备注\" DataSource=\"Custom\"/>\n"
                 "  <Control Name=\"cboMB002\" Caption=\"传输方式\"/>\n</MT_User>\n")});
    insertRow(
        s, "ADMNH", {"NH001", "NH002", "NH003"},
        {"QLDI05", u("传输方式颜色"),
         u("<colormanager><head>"
           "<component name=\"gdHead\" enable=\"Y\">"
           "<condition value=\"MB002='2'\" colorx=\"16711680\" bkcolor=\"'\" msg=\"汇出\"/>"
           "<condition value=\"MB002='3'\" colorx=\"32768\" bkcolor=\"'\" msg=\"汇入\"/>"
           "</component>"
           "<component name=\"cboMB002\" enable=\"Y\">"
           "<condition value=\"MB002='2'\" colorx=\"255\" bkcolor=\"65535\"/>"
           "</component>"
           "<component name=\"edMB005\" enable=\"N\"><condition value=\"1=1\" colorx=\"255\"/></component>"
           "</head></colormanager>")});
    const QStringList mr = {"MR001", "MR002", "MR003", "MR004", "MR005", "MR006", "MR007", "MR011"};
    insertRow(s, "ADMMR", mr, {"COPI01", "01", "", "MA014", "MF001", "CMSI01", u("币别"), 1});
    insertRow(s, "ADMMR", mr, {"INVI02", "01", "", "MB005", "ME001", "CMSI05", u("部门"), 1});
    insertRow(s, "ADMTK", {"TK001", "TK002", "TK003"}, {"Z01001", u("品名规格合并"), "Y"});
    insertRow(s, "ADMTL", {"TL001", "TL002", "TL003", "TL005", "TL006", "TL010", "TL011", "TL012", "TL013"},
              {"Z01001", 1, "INVI02", "Z01", "UDF01", "Y", 1, "MB002,MB003", "R001"});
    const QStringList md = {"MD001", "MD002", "MD003", "MD004", "MD005"};
    insertRow(s, "ADMMD", md, {"INVMB", "UDF01", u("品名规格"), u("品名規格"), "Name and spec"});
    insertRow(s, "ADMMD", md, {"COPMA", "UDF01", u("客户等级"), u("客戶等級"), "Customer grade"});
    insertRow(s, "F2LINK", {"LK001", "LK002", "LK003", "LK004", "LK005", "LK006"},
              {"1", "COPMA", "01", "COPMA", "MA001,MA002", u("客户编号,客户简称")});
    insertRow(s, "F2LINK", {"LK001", "LK002", "LK003", "LK004", "LK005", "LK006"},
              {"1", "INVMB", "01", "INVMB", "MB001,MB002,MB003", u("品号,品名,规格")});
    insertRow(s, "ATTACH", {"Parent", "KeyValues", "CompanyID", "DocID", "FileName", "Creator", "CreateDate"},
              {"QLDI05", "COPTC", u(kCompany), "DOC0001", u("订单传输格式说明.pdf"), "DS", u(kSeedDate)});
    insertRow(s, "USRDEF", {"UD001", "UD002", "UD003", "UD004", "UD005"},
              {u(kCompany), "DS", "QLDI05", "NumberFieldsSetting",
               u("<Setting><QuantityFieldAutoZero>True</QuantityFieldAutoZero><QuantityFieldThousand>True"
                 "</QuantityFieldThousand><MoneyFieldAutoZero>True</MoneyFieldAutoZero><MoneyFieldThousand>"
                 "True</MoneyFieldThousand></Setting>")});
    insertRow(s, "DOCUS", {"NCONDITION", "CREATOR", "PROGRAMME", "VCONDITION", "ActivePage", "CREATE_DATE"},
              {u("汇出类单据"), "DS", "QLDI05", u("MB002='2' and MB004='2'"), 0, u(kSeedDate)});
}

// One item of MB003: table, description, order, head/body, operation, overwrite, batch size, format
// version, file name, key columns ("+"-joined).
QString item(const char* table, const char* desc, int seq, const char* part, const char* keys) {
    return QStringLiteral("%1_%2_%3_%4_A_Y_500_80_%1.XML_%5")
        .arg(u(table), u(desc), QString::number(seq), u(part), u(keys));
}
} // namespace

int dbByteLength(const char* utf8) {
    return int(kvx::codepage::encode(u(utf8), 936).size());
}

void seedReferenceData(Storage& s) {
    seedCompanyAndUsers(s);
    seedPrograms(s);
    seedParameters(s);
    seedMessages(s);
    seedScreenAndColours(s);
}

void seedQldi05ScreenSettings(Storage& s) {
    // The remark is relabelled and required, the file name hidden, the grid shows the category before
    // the mode.
    const QString doc = u(
        "<?xml version=\"1.0\" encoding=\"GB2312\"?><!-- QorinERP用户设置 -->\n"
        "<MT_User CompanyID=\"DEMO\" ProgID=\"QLDI05\">\n"
        "  <Components>\n"
        "    <Component ID=\"edMB005\"><DisplayLabel>说明</DisplayLabel><Required>-1</Required></Component>\n"
        "    <Component ID=\"edMB001C\"><DCVisible>0</DCVisible></Component>\n"
        "  </Components>\n"
        "  <gdHead>\n"
        "    <Field ID=\"MB005\"><DisplayLabel>说明</DisplayLabel></Field>\n"
        "    <Field ID=\"MB004\"><Index>2</Index></Field>\n"
        "    <Field ID=\"MB002\"><Index>3</Index></Field>\n"
        "  </gdHead>\n"
        "</MT_User>\n");
    s.exec(QStringLiteral("DELETE FROM MTFMT WHERE FM001 = ? AND FM002 = ?"), {u(kCompany), "QLDI05"});
    insertRow(s, "MTFMT", {"FM001", "FM002", "FM003"}, {u(kCompany), "QLDI05", doc});
}

void seedTransmissionSettings(Storage& s) {
    struct Kind {
        const char* code;
        const char* mode;
        const char* category;
        const char* remark;
        QStringList items;
    };
    const QList<Kind> kinds = {
        {"CMSMB", "3", "1", "工厂信息由总部统一维护", {item("CMSMB", "工厂信息", 1, "H", "MB001")}},
        {"CMSMC", "3", "1", "仓库编号全集团统一", {item("CMSMC", "仓库信息", 1, "H", "MC001")}},
        {"CMSME", "3", "1", "", {item("CMSME", "部门信息", 1, "H", "ME001")}},
        {"CMSMV", "1", "1", "员工信息各厂自行维护", {item("CMSMV", "员工信息", 1, "H", "MV001")}},
        {"CMSMF",
         "3",
         "1",
         "含每日汇率",
         {item("CMSMF", "币别信息", 1, "H", "MF001"), item("CMSMG", "汇率", 2, "B", "MG001+MG002")}},
        {"CMSMQ", "3", "1", "单据性质需与总部一致", {item("CMSMQ", "单据性质", 1, "H", "MQ001")}},
        {"CMSNA", "3", "1", "", {item("CMSNA", "付款条件", 1, "H", "NA001+NA002")}},
        {"CMSMR", "1", "1", "", {item("CMSMR", "地区信息", 1, "H", "MR001+MR002")}},
        {"CMSXB", "1", "1", "国家代码依ISO", {item("CMSXB", "国家信息", 1, "H", "XB001")}},
        {"INVMA", "3", "1", "", {item("INVMA", "品号类别", 1, "H", "MA001+MA002")}},
        {"INVMB",
         "3",
         "1",
         "新品号由总部研发中心建立",
         {item("INVMB", "品号信息", 1, "H", "MB001"), item("INVMC", "品号仓库", 2, "B", "MC001+MC002"),
          item("INVMH", "条码信息", 3, "B", "MH001")}},
        {"INVMI", "3", "1", "", {item("INVMI", "单位换算", 1, "H", "MI001+MI002")}},
        {"BOMMC",
         "3",
         "1",
         "BOM以总部工程变更为准",
         {item("BOMMC", "BOM单头", 1, "H", "MC001"), item("BOMMD", "BOM单身", 2, "B", "MD001+MD002")}},
        {"COPMA",
         "2",
         "1",
         "分公司新增客户汇出至总部",
         {item("COPMA", "客户信息", 1, "H", "MA001"), item("COPMB", "客户品号", 2, "B", "MB001+MB002")}},
        {"COPMG", "3", "1", "客户价格由总部核定", {item("COPMG", "客户价格", 1, "H", "MG001+MG002+MG003")}},
        {"PURMA",
         "3",
         "1",
         "",
         {item("PURMA", "供应商信息", 1, "H", "MA001"), item("PURMB", "供应商品号", 2, "B", "MB001+MB002")}},
        {"PURMC", "3", "1", "", {item("PURMC", "采购价格", 1, "H", "MC001+MC002")}},
        {"ACTMA", "3", "1", "会计科目全集团统一", {item("ACTMA", "会计科目", 1, "H", "MA001")}},
        {"CMSMD", "1", "1", "", {item("CMSMD", "工作中心", 1, "H", "MD001")}},
        {"MOCMA", "1", "1", "工艺路线各厂自行维护", {item("MOCMA", "工艺路线", 1, "H", "MA001")}},
        {"COPTA",
         "1",
         "2",
         "",
         {item("COPTA", "报价单头", 1, "H", "TA001+TA002"),
          item("COPTB", "报价单身", 2, "B", "TB001+TB002+TB003")}},
        {"COPTC",
         "2",
         "2",
         "客户订单每日汇出",
         {item("COPTC", "订单单头", 1, "H", "TC001+TC002"),
          item("COPTD", "订单单身", 2, "B", "TD001+TD002+TD003")}},
        {"COPTE",
         "2",
         "2",
         "订单变更随订单汇出",
         {item("COPTE", "变更单头", 1, "H", "TE001+TE002+TE003"),
          item("COPTF", "变更单身", 2, "B", "TF001+TF002+TF003+TF004")}},
        {"COPTG",
         "2",
         "2",
         "",
         {item("COPTG", "销货单头", 1, "H", "TG001+TG002"),
          item("COPTH", "销货单身", 2, "B", "TH001+TH002+TH003")}},
        {"COPTI",
         "2",
         "2",
         "",
         {item("COPTI", "销退单头", 1, "H", "TI001+TI002"),
          item("COPTJ", "销退单身", 2, "B", "TJ001+TJ002+TJ003")}},
        {"EPSTA", "1", "2", "出货通知暂不传输", {item("EPSTA", "出货通知", 1, "H", "TA001+TA002")}},
        {"PURTA",
         "2",
         "2",
         "请购单汇出给总部集中采购",
         {item("PURTA", "请购单头", 1, "H", "TA001+TA002"),
          item("PURTB", "请购单身", 2, "B", "TB001+TB002+TB003")}},
        {"PURTC",
         "3",
         "2",
         "总部采购单汇入",
         {item("PURTC", "采购单头", 1, "H", "TC001+TC002"),
          item("PURTD", "采购单身", 2, "B", "TD001+TD002+TD003")}},
        {"PURTE", "3", "2", "", {item("PURTE", "采购变更", 1, "H", "TE001+TE002+TE003")}},
        {"PURTG",
         "2",
         "2",
         "",
         {item("PURTG", "进货单头", 1, "H", "TG001+TG002"),
          item("PURTH", "进货单身", 2, "B", "TH001+TH002+TH003")}},
        {"PURTI",
         "2",
         "2",
         "",
         {item("PURTI", "退货单头", 1, "H", "TI001+TI002"),
          item("PURTJ", "退货单身", 2, "B", "TJ001+TJ002+TJ003")}},
        {"INVTA",
         "2",
         "2",
         "库存异动单月结前汇出",
         {item("INVTA", "异动单头", 1, "H", "TA001+TA002"),
          item("INVTB", "异动单身", 2, "B", "TB001+TB002+TB003")}},
        {"INVTF",
         "1",
         "2",
         "",
         {item("INVTF", "借出单头", 1, "H", "TF001+TF002"),
          item("INVTG", "借出单身", 2, "B", "TG001+TG002+TG003")}},
        {"INVTH", "1", "2", "", {item("INVTH", "借出归还", 1, "H", "TH001+TH002")}},
        {"INVTJ", "2", "2", "", {item("INVTJ", "调拨单", 1, "H", "TJ001+TJ002")}},
        {"MOCTA",
         "2",
         "2",
         "工单汇出供总部排程",
         {item("MOCTA", "工单单头", 1, "H", "TA001+TA002"),
          item("MOCTB", "工单单身", 2, "B", "TB001+TB002+TB003")}},
        {"MOCTC",
         "2",
         "2",
         "",
         {item("MOCTC", "领料单头", 1, "H", "TC001+TC002"),
          item("MOCTE", "领料单身", 2, "B", "TE001+TE002+TE003")}},
        {"MOCTF",
         "2",
         "2",
         "",
         {item("MOCTF", "入库单头", 1, "H", "TF001+TF002"),
          item("MOCTG", "入库单身", 2, "B", "TG001+TG002+TG003")}},
        {"MOCTH", "1", "2", "委外进货暂不传输", {item("MOCTH", "委外进货", 1, "H", "TH001+TH002")}},
        {"QMSTA", "1", "2", "", {item("QMSTA", "检验单", 1, "H", "TA001+TA002")}},
        {"ACRTA", "2", "2", "结账单汇出至总部财务", {item("ACRTA", "结账单", 1, "H", "TA001+TA002")}},
        {"ACPTA", "2", "2", "", {item("ACPTA", "应付凭单", 1, "H", "TA001+TA002")}},
        {"ACTTA",
         "2",
         "2",
         "会计凭证月结后汇出",
         {item("ACTTA", "凭证单头", 1, "H", "TA001+TA002"),
          item("ACTTB", "凭证单身", 2, "B", "TB001+TB002+TB003")}},
        {"CMSTA", "1", "2", "", {}},
    };
    QStringList c = {"MB001", "MB001C", "MB002", "MB004", "MB005", "MB003"};
    c += kAuditCols;
    for (const Kind& k : kinds) {
        const QString content = k.items.join('|');
        if (kvx::codepage::encode(content, 936).size() > 255)
            throw StorageError(
                QStringLiteral("seed content of %1 exceeds 255 bytes").arg(u(k.code)).toStdString());
        QVariantList v = {u(k.code),   QStringLiteral("KV_%1.XML").arg(u(k.code)),
                          u(k.mode),   u(k.category),
                          u(k.remark), content};
        v += audit();
        insertRow(s, "QLDMB", c, v);
    }

    QStringList ic = {"MB001", "MB002", "MB003", "MB004", "MB005", "MB064"};
    ic += kAuditCols;
    auto itemRow = [&](const char* no, const char* name, const char* spec, const char* unit, double qty) {
        QVariantList v = {u(no), u(name), u(spec), u(unit), "PD", qty};
        v += audit();
        insertRow(s, "INVMB", ic, v);
    };
    itemRow("1010001", "不锈钢螺丝", "M4*12", "PCS", 12500);
    itemRow("1010002", "不锈钢螺母", "M4", "PCS", 8300);
    itemRow("2030015", "电源适配器", "12V 2A", "PCS", 420);
    itemRow("3000001", "控制主板", "KB-220 V2", "PCS", 75.5);
    QStringList cc = {"MA001", "MA002", "MA003", "MA006", "MA014"};
    cc += kAuditCols;
    auto cust = [&](const char* no, const char* name, const char* full, const char* tel, const char* cur) {
        QVariantList v = {u(no), u(name), u(full), u(tel), u(cur)};
        v += audit("CLERK", "SALES");
        insertRow(s, "COPMA", cc, v);
    };
    cust("C001", "华东电子", "上海华东电子科技有限公司", "021-58881234", "RMB");
    cust("C002", "鸿达贸易", "深圳鸿达贸易有限公司", "0755-26661188", "RMB");
    cust("C003", "Pacific", "Pacific Components Inc.", "+1-408-5550100", "USD");
    QStringList pc = {"MA001", "MA002", "MA003", "MA008", "MA021"};
    pc += kAuditCols;
    QVariantList pv = {"V001", u("精工五金"), u("昆山精工五金制品有限公司"), "0512-57123456", "RMB"};
    pv += audit();
    insertRow(s, "PURMA", pc, pv);
    QStringList dc = {"ME001", "ME002"};
    dc += kAuditCols;
    for (auto [no, name] :
         {std::pair{"100", "总经理室"}, {"200", "业务部"}, {"300", "采购部"}, {"400", "财务部"}}) {
        QVariantList v = {u(no), u(name)};
        v += audit();
        insertRow(s, "CMSME", dc, v);
    }
}

// Colour rules of QLDI05 (replacing the first definition) and a user-defined-field rule that describes a
// setting from its mode and category. Colours are $00BBGGRR numbers.
void seedColourAndUdfRules(Storage& s) {
    s.exec(QStringLiteral("DELETE FROM ADMNH WHERE NH001 = 'QLDI05'"));
    insertRow(
        s, "ADMNH", {"NH001", "NH002", "NH003"},
        {"QLDI05", u("传输方式颜色"),
         u("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<colormanager>\n"
           "  <head>\n"
           "    <component name=\"gdHead\" enable=\"Y\">\n"
           "      <condition value=\"MB002 = '2'\" colorx=\"8388608\" bkcolor=\"16771276\" msg=\"汇出\"/>\n"
           "      <condition value=\"MB002 = '3'\" colorx=\"25600\" bkcolor=\"14087638\" msg=\"汇入\"/>\n"
           "      <condition value=\"TRIM(MB005) = ''\" colorx=\"8421504\" bkcolor=\"'\" italic=\"Y\" "
           "msg=\"无说明\"/>\n"
           "    </component>\n"
           "    <component name=\"cboMB002\" enable=\"Y\">\n"
           "      <condition value=\"MB002 = '2'\" colorx=\"8388608\" bkcolor=\"16771276\" bold=\"Y\" "
           "msg=\"汇出\"/>\n"
           "      <condition value=\"MB002 = '3'\" colorx=\"25600\" bkcolor=\"14087638\" bold=\"Y\" "
           "msg=\"汇入\"/>\n"
           "    </component>\n"
           "    <component name=\"edMB005\" enable=\"Y\">\n"
           "      <condition value=\"TRIM(MB005) = ''\" colorx=\"'\" bkcolor=\"14745599\" "
           "msg=\"请填写说明\"/>\n"
           "    </component>\n"
           "    <component name=\"edMB001C\" enable=\"N\">\n"
           "      <condition value=\"1 = 1\" colorx=\"255\" bkcolor=\"'\" msg=\"停用\"/>\n"
           "    </component>\n"
           "  </head>\n"
           "</colormanager>\n")});
    // Kind Z09, not the windows' automatic kind Z01: QLDMB has no user-defined field, and an automatic
    // rule on MB005 would overwrite the remark a user typed whenever the mode changes.
    insertRow(s, "ADMTK", {"TK001", "TK002", "TK003"}, {"Z01002", u("传输方式说明"), "Y"});
    insertRow(s, "ADMTL", {"TL001", "TL002", "TL003", "TL005", "TL006", "TL010", "TL011", "TL012", "TL013"},
              {"Z01002", 1, "QLDI05", "Z09", "MB005", "Y", 1, "QLDMB.MB002;QLDMB.MB004;", "R003"});
    // A disabled line and a line without related fields: read only by the matching filters.
    insertRow(s, "ADMTL", {"TL001", "TL002", "TL003", "TL005", "TL006", "TL010", "TL011", "TL012", "TL013"},
              {"Z01002", 2, "QLDI05", "Z09", "MB001C", "N", 2, "QLDMB.MB001;", "R001"});
    insertRow(s, "ADMTL", {"TL001", "TL002", "TL003", "TL005", "TL006", "TL010", "TL011", "TL012", "TL013"},
              {"Z01002", 3, "QLDI05", "Z09", "MB005", "Y", 3, "", "R003"});
    // Sources in the order of TL012: mode, then category.
    insertRow(s, "UDFRL", {"RL001", "RL002", "RL003", "RL004"},
              {"R003", "Q",
               u("SELECT (CASE ? WHEN '2' THEN '汇出' WHEN '3' THEN '汇入' ELSE '不传输' END) || '·' || "
                 "(CASE ? WHEN '1' THEN '基本信息' WHEN '2' THEN '单据' ELSE '未分类' END)"),
               u("传输方式说明")});
}

void seedNumberFormats(Storage& s) {
    QStringList cc = {"MF001", "MF002", "MF003", "MF004", "MF005", "MF006"};
    cc += kAuditCols;
    QVariantList v = {u("KWD"), u("科威特第纳尔"), 3, 3, 3, 3};
    v += audit();
    insertRow(s, "CMSMF", cc, v);

    const QStringList nc = {"FD001", "FD002", "FD003", "FD004"};
    insertRow(s, "NUMFD", nc, {"CMSMF", "MF004", 1, 0});
    insertRow(s, "NUMFD", nc, {"CMSMF", "MF005", 1, 0});
    insertRow(s, "NUMFD", nc, {"CMSMF", "MF006", 1, 0});

    auto setting = [&](const char* user, bool qZero, bool qThousand, bool mZero, bool mThousand) {
        auto b = [](bool on) { return on ? QStringLiteral("True") : QStringLiteral("False"); };
        insertRow(s, "USRDEF", {"UD001", "UD002", "UD003", "UD004", "UD005"},
                  {u(kCompany), u(user), "QLDI05", "NumberFieldsSetting",
                   QStringLiteral(
                       "<Setting><QuantityFieldAutoZero>%1</QuantityFieldAutoZero><QuantityFieldThousand>"
                       "%2</QuantityFieldThousand><MoneyFieldAutoZero>%3</MoneyFieldAutoZero>"
                       "<MoneyFieldThousand>%4</MoneyFieldThousand></Setting>")
                       .arg(b(qZero), b(qThousand), b(mZero), b(mThousand))});
    };
    setting("CLERK", false, false, true, true);
    setting("MGR", true, true, false, true);
}

} // namespace kvxsrv
