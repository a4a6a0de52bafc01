#include "FakeWorkCenter.h"
#include "TempTree.h"
#include "lang/Language_Convert.h"
#include "platform/ClientDataSet.h"
#include "platform/DialogService.h"
#include "platform/Field.h"
#include "platform/Settings.h"
#include "server/StaveloINI.h"

#include <QFile>
#include <gtest/gtest.h>

using namespace brokertest;
using kvx::DialogService;
using kvx::MessageRequest;

namespace {

const QString kContinue = QString::fromUtf8("是否继续?");

// An installation tree whose client folder holds the mapping file the build generates.
class LanguageTree {
public:
    LanguageTree() {
        QFile generated(qEnvironmentVariable("KVX_BUILD_DIR") + QStringLiteral("/client/Language"));
        if (generated.open(QIODevice::ReadOnly))
            tree.writeFile(QStringLiteral("client/Language"), generated.readAll());
        kvx::lang::LanguageConvert::instance().unload();
    }
    ~LanguageTree() { kvx::lang::LanguageConvert::instance().unload(); }

private:
    kvxtest::TempTree tree;
};

class BrokerTest : public ::testing::Test {
protected:
    kvxtest::ScopedEnv codePage{"KVX_CODEPAGE", "936"};
    LanguageTree languageTree;
    FakeWindow window;
    std::shared_ptr<FakeWorkCenter> wc = std::make_shared<FakeWorkCenter>();
    CountingBroker* broker = new CountingBroker(&window);

    void SetUp() override {
        DialogService::instance().clear();
        window.setWindowTitle(QString::fromUtf8("文档传输设置作业[KVX]"));
        broker->ProgID = QStringLiteral("QLDI05");
        broker->UserID = QStringLiteral("DS");
        broker->CompanyID = QStringLiteral("KV01");
        broker->DBName = QStringLiteral("KVDEMO");
        broker->WorkCenter = Variant(std::shared_ptr<kvx::Dispatch>(wc));
        wc->catalogue.insert(QStringLiteral("E/000032"), QStringLiteral("%s"));
        wc->catalogue.insert(QStringLiteral("E/000003"), QString::fromUtf8("栏位[%s]不可为空"));
        wc->catalogue.insert(QStringLiteral("C/000001"), QString::fromUtf8("确定要删除吗?"));
        wc->catalogue.insert(QStringLiteral("D/000002"), QString::fromUtf8("资料已更改, 是否保存?"));
        wc->catalogue.insert(QStringLiteral("W/000001"), QString::fromUtf8("查询失败"));
        wc->catalogue.insert(QStringLiteral("I/000009"), QString::fromUtf8("完成"));
        wc->catalogue.insert(QStringLiteral("Q/000010"), QString::fromUtf8("继续?"));
        wc->catalogue.insert(QStringLiteral("X/000011"), QString::fromUtf8("其他"));
        wc->counter->programs.insert(QStringLiteral("QLDI06"), {QString::fromUtf8("传输设置"),
                                                                QStringLiteral("Transfer settings"), "", ""});
    }
    void TearDown() override { DialogService::instance().clear(); }

    void connect() { ASSERT_TRUE(broker->ConnectServices()); }
    const MessageRequest& lastShown() const { return DialogService::instance().shown().last(); }
    int shownCount() const { return int(DialogService::instance().shown().size()); }
};

} // namespace

TEST_F(BrokerTest, SystemParametersAreNameValueLinesWithoutCase) {
    broker->SetSysParam(QStringLiteral("SYS001"), QStringLiteral("1"));
    broker->SetSysParam(QStringLiteral("sys003"), QStringLiteral("Y"));
    broker->SetSysParam(QStringLiteral("SYS001"), QStringLiteral("4"));
    broker->SetSysParam(QString(), QStringLiteral("lost"));
    EXPECT_EQ(broker->SysParams, QStringList({"SYS001=4", "sys003=Y"}));
    EXPECT_EQ(broker->GetSysParam(QStringLiteral("SYS003")), QStringLiteral("Y"));
    EXPECT_EQ(broker->GetSysParam(QStringLiteral("SYS002")), QString());
    EXPECT_EQ(broker->GetSysParam(QString()), QString());

    broker->SetSysParam(QStringLiteral("SYS002"), QStringLiteral("a=b"));
    EXPECT_EQ(broker->GetSysParam(QStringLiteral("sys002")), QStringLiteral("a=b"));
}

TEST_F(BrokerTest, MaxRecordIsCappedAtFortyAndZeroWhenNotANumber) {
    const struct {
        const char* value;
        int expected;
    } cases[] = {{"100", 40}, {"abc", 0}, {"-5", -5}, {"40", 40}, {"12", 12}, {"", 0}, {"7.5", 0}};
    for (const auto& c : cases) {
        broker->LoginInfo =
            QStringList{QStringLiteral("USER_GROUP=ADM"), QStringLiteral("max_record=") + c.value};
        EXPECT_EQ(broker->GetMaxRecord(), c.expected) << c.value;
    }
    broker->LoginInfo.clear();
    EXPECT_EQ(broker->GetMaxRecord(), 0);
}

TEST_F(BrokerTest, ConnectServicesObtainsMaskedServicesAndLoadsTheProgramRecord) {
    wc->validator->checkResult =
        Variant::fromList({QString::fromUtf8("文档传输设置作业"), QStringLiteral("P05"), "", "", "", "", "",
                           QStringLiteral("Y"), "", QStringLiteral("Transfer settings job")});
    broker->LoginInfo = QStringList{QStringLiteral("BaseLimited=N")};
    connect();
    EXPECT_TRUE(TBrokers::IsPresent(broker->Validator));
    EXPECT_TRUE(TBrokers::IsPresent(broker->F2Window));
    EXPECT_TRUE(TBrokers::IsPresent(broker->Counter));
    EXPECT_EQ(broker->GetProgramName(), QString::fromUtf8("文档传输设置作业"));
    EXPECT_EQ(broker->GetPrintID(), QStringLiteral("P05"));
    EXPECT_TRUE(broker->Unrestricted);
    EXPECT_EQ(broker->beeps, 0);

    const Call* check = wc->validator->last(QStringLiteral("CheckValue"));
    ASSERT_NE(check, nullptr);
    EXPECT_EQ(check->args[0].toString(), QStringLiteral("ADMMB"));
    EXPECT_EQ(check->args[1].toString(), QStringLiteral("06"));
    EXPECT_EQ(check->args[2].toString(), QStringLiteral("KVDEMO"));
    EXPECT_TRUE(
        check->args[3].identical(Variant::fromList({QStringLiteral("QLDI05"), QStringLiteral("KVDEMO")})));
    EXPECT_EQ(wc->validator->productId.toInt(), 5);
    EXPECT_EQ(wc->validator->baseLimited.toString(), QStringLiteral("N"));

    // Services are obtained once; a second connect keeps them.
    EXPECT_TRUE(broker->ConnectServices());
    EXPECT_EQ(wc->count(QStringLiteral("Com_Counter")), 1);
}

TEST_F(BrokerTest, ProgramRecordGivesTheEnglishNameOnlyForAnEnglishInterface) {
    VariantList row{
        QString::fromUtf8("传输"), QStringLiteral("  "), "", "", "", "", "", QStringLiteral("N"), "",
        QStringLiteral("Transfer")};
    wc->validator->checkResult = Variant::fromList(row);
    connect();
    EXPECT_EQ(broker->ProgramName, QString::fromUtf8("传输"));
    EXPECT_FALSE(broker->Unrestricted);

    window.uiCodePage = QStringLiteral("437");
    broker->LoadProgramInfo();
    EXPECT_EQ(broker->ProgramName, QStringLiteral("Transfer"));

    row.removeLast(); // nine elements: no English name
    wc->validator->checkResult = Variant::fromList(row);
    broker->LoadProgramInfo();
    EXPECT_EQ(broker->ProgramName, QString::fromUtf8("传输"));

    // A refused check clears the name.
    wc->validator->answer = false;
    broker->LoadProgramInfo();
    EXPECT_EQ(broker->ProgramName, QString());
}

TEST_F(BrokerTest, ConnectServicesHonoursTheMaskAndBeepsThreeTimesOnFailure) {
    broker->ServiceMask = TBrokers::svCounter;
    connect();
    EXPECT_FALSE(TBrokers::IsPresent(broker->Validator));
    EXPECT_FALSE(TBrokers::IsPresent(broker->F2Window));
    EXPECT_TRUE(TBrokers::IsPresent(broker->Counter));

    CountingBroker failing(&window);
    failing.WorkCenter = broker->WorkCenter;
    wc->failingService = QStringLiteral("Com_F2Window");
    EXPECT_FALSE(failing.ConnectServices());
    EXPECT_EQ(failing.beeps, 3);
    EXPECT_TRUE(TBrokers::IsPresent(failing.Validator)); // obtained before the failure
    EXPECT_EQ(shownCount(), 0);

    CountingBroker noCenter(&window);
    noCenter.WorkCenter = QStringLiteral("not an object");
    EXPECT_FALSE(noCenter.ConnectServices());
    EXPECT_EQ(noCenter.beeps, 0);
}

TEST_F(BrokerTest, ValidatorPropertyErrorsAreIgnoredAndCallErrorsGiveFalse) {
    connect();
    wc->validator->throwOnProperties = true;
    wc->validator->checkResult = QStringLiteral("row");
    Variant result;
    EXPECT_TRUE(broker->QueryData(QStringLiteral("ADMMD"), QStringLiteral("03"), result, Variant()));
    EXPECT_EQ(result.toString(), QStringLiteral("row"));
    EXPECT_EQ(wc->validator->last(QStringLiteral("QueryData"))->args[0].toString(), QStringLiteral("ADMMD"));

    wc->validator->throwOnCall = true;
    EXPECT_FALSE(broker->CheckValue(QStringLiteral("DOCUS"), QStringLiteral("01"), result, Variant()));
    EXPECT_TRUE(result.isUnassigned());

    // The product code falls back to 3 when the work center cannot tell it.
    wc->validator->throwOnProperties = false;
    wc->validator->throwOnCall = false;
    wc->productIdThrows = true;
    EXPECT_TRUE(broker->CheckValue(QStringLiteral("DOCUS"), QStringLiteral("01"), result, Variant()));
    EXPECT_EQ(wc->validator->productId.toInt(), 3);
    EXPECT_THROW(broker->GetProductID(), kvx::AutomationError);
}

TEST_F(BrokerTest, SystemParametersLoadFromTheCounterByColumns) {
    connect();
    Variant info = Variant::array2(0, 1, 0, 2);
    const char* names[] = {"SYS001", "SYS002", "KVX002"};
    const char* values[] = {"1", "/", "DEMO"};
    for (int j = 0; j < 3; ++j) {
        info.item(0, j) = names[j];
        info.item(1, j) = values[j];
    }
    wc->counter->sysInfo = info;
    EXPECT_TRUE(broker->LoadSysParams());
    EXPECT_EQ(broker->GetSysParam(QStringLiteral("KVX002")), QStringLiteral("DEMO"));
    EXPECT_EQ(broker->GetSysParam(QStringLiteral("sys002")), QStringLiteral("/"));
    EXPECT_EQ(wc->counter->last(QStringLiteral("GetSysInfo"))->args[0].toString(), QStringLiteral("KV01"));

    wc->counter->sysInfo = Variant();
    EXPECT_FALSE(broker->LoadSysParams());
}

TEST_F(BrokerTest, CounterCallsCarryCompanyAndDatabase) {
    connect();
    const Variant params = Variant::fromList({QStringLiteral("a"), 2});
    EXPECT_EQ(broker->CallCounter(QStringLiteral("QLDI06"), params).toString(), QStringLiteral("done"));
    const Call* call = wc->counter->last(QStringLiteral("GETCOUNTER"));
    ASSERT_NE(call, nullptr);
    EXPECT_EQ(call->args[0].toString(), QStringLiteral("QLDI06"));
    EXPECT_TRUE(call->args[1].identical(params));
    EXPECT_TRUE(
        call->args[2].identical(Variant::fromList({QStringLiteral("KV01"), QStringLiteral("KVDEMO")})));
}

TEST_F(BrokerTest, MessageKindsChooseDialogTypeButtonsAndChineseCaptions) {
    using namespace kvx;
    const struct {
        const char* kind;
        const char* code;
        MsgDlgType type;
        MsgDlgButtons buttons;
    } kinds[] = {
        {"C", "000001", MsgDlgType::Warning, mbOK | mbCancel},
        {"D", "000002", MsgDlgType::Warning, mbYes | mbNo | mbCancel},
        {"E", "000003", MsgDlgType::Error, mbOK},
        {"I", "000009", MsgDlgType::Information, mbOK},
        {"Q", "000010", MsgDlgType::Confirmation, mbOK | mbCancel},
        {"W", "000001", MsgDlgType::Warning, mbOK | mbCancel},
        {"X", "000011", MsgDlgType::Custom, mbOK},
        {"T", "000003", MsgDlgType::Error, mbYes | mbNo | mbCancel | mbYesToAll},
    };
    for (const auto& k : kinds) {
        broker->ShowMsg(k.kind, k.code);
        const MessageRequest& r = lastShown();
        EXPECT_EQ(r.type, k.type) << k.kind;
        EXPECT_EQ(r.buttons, k.buttons) << k.kind;
        EXPECT_EQ(r.caption, window.windowTitle());
        EXPECT_EQ(r.parent, &window);
        EXPECT_EQ(r.buttonCaptions.size(), buttonsInOrder(k.buttons).size()) << k.kind;
    }
    // "T" shows the error text of its code and asks whether to go on.
    EXPECT_EQ(lastShown().text, QString::fromUtf8("栏位[]不可为空 \r\n") + kContinue);
    EXPECT_EQ(wc->last(QStringLiteral("GetMessage"))->args[0].toString(), QStringLiteral("E"));
    EXPECT_EQ(lastShown().buttonCaptions.value(mbYes), QString::fromUtf8("是(&Y)"));
    EXPECT_EQ(lastShown().buttonCaptions.value(mbYesToAll), QString::fromUtf8("全是(&A)"));
    EXPECT_EQ(window.afterMessages, 8);

    broker->ShowMsg("C", "000001");
    EXPECT_EQ(lastShown().text, QString::fromUtf8("确定要删除吗? "));
    EXPECT_EQ(lastShown().buttonCaptions.value(mbOK), QString::fromUtf8("确定"));
    EXPECT_EQ(lastShown().buttonCaptions.value(mbCancel), QString::fromUtf8("取消"));
    EXPECT_EQ(lastShown().font.family(), QStringLiteral("SimSun"));
    EXPECT_EQ(lastShown().fontCharset, 134);

    // An English interface keeps the standard captions.
    window.uiCodePage = QStringLiteral("437");
    broker->ShowMsg("D", "000002");
    EXPECT_TRUE(lastShown().buttonCaptions.isEmpty());
}

TEST_F(BrokerTest, MessageTextFormatsArgumentsAndIgnoresThemWithoutPlaceholders) {
    EXPECT_EQ(broker->ShowMsg("E", "000003", {QStringLiteral("MB002")}), kvx::mrOk);
    EXPECT_EQ(lastShown().text, QString::fromUtf8("栏位[MB002]不可为空 "));

    broker->ShowMsg("C", "000001", {QStringLiteral("ignored"), 12});
    EXPECT_EQ(lastShown().text, QString::fromUtf8("确定要删除吗? "));

    // An unknown code shows the bare blank rather than failing.
    broker->ShowMsg("E", "999999", {QStringLiteral("x")});
    EXPECT_EQ(lastShown().text, QStringLiteral(" "));
}

TEST_F(BrokerTest, DefaultButtonFollowsTheButtonNameIndex) {
    using namespace kvx;
    broker->ShowMsg("C", "000001", {}, 936, false, TBrokers::dbOK);
    EXPECT_EQ(lastShown().defaultButton, mbOK);
    EXPECT_FALSE(lastShown().noDefaultButton);

    broker->ShowMsg("C", "000001", {}, 936, false, TBrokers::dbCancel);
    EXPECT_EQ(lastShown().defaultButton, mbCancel);
    EXPECT_EQ(DialogService::instance().shown().size(), 2);

    // An unanswered dialog gives its default button.
    EXPECT_EQ(broker->ShowMsg("C", "000001", {}, 936, false, TBrokers::dbCancel), mrCancel);

    // A default that the dialog lacks leaves no button default.
    broker->ShowMsg("D", "000002", {}, 936, false, TBrokers::dbOK);
    EXPECT_TRUE(lastShown().noDefaultButton);
    broker->ShowMsg("D", "000002", {}, 936, false, 42);
    EXPECT_TRUE(lastShown().noDefaultButton);
}

TEST_F(BrokerTest, WarningAbortsSilentlyOnlyWhenAsked) {
    DialogService::instance().queueAnswer(kvx::mrCancel);
    EXPECT_THROW(broker->ShowMsg("W", "000001", {}, 936, true), kvx::EAbort);
    EXPECT_EQ(shownCount(), 1); // no further message
    EXPECT_EQ(window.afterMessages, 0);

    DialogService::instance().queueAnswer(kvx::mrCancel);
    EXPECT_EQ(broker->ShowMsg("W", "000001", {}, 936, false), kvx::mrCancel);
    EXPECT_EQ(window.afterMessages, 1);

    DialogService::instance().queueAnswer(kvx::mrOk);
    EXPECT_EQ(broker->ShowMsg("W", "000001", {}, 936, true), kvx::mrOk);

    // Only "W" aborts.
    DialogService::instance().queueAnswer(kvx::mrCancel);
    EXPECT_EQ(broker->ShowMsg("C", "000001", {}, 936, true), kvx::mrCancel);
}

TEST(BrokerSettings, HandedSettingsStandInForTheOwnerAndLocateTheTables) {
    kvxtest::ScopedEnv codePage{"KVX_CODEPAGE", "936"};
    kvxtest::TempTree tables;
    QFile generated(qEnvironmentVariable("KVX_BUILD_DIR") + QStringLiteral("/client/Language"));
    ASSERT_TRUE(generated.open(QIODevice::ReadOnly));
    tables.writeFile(QStringLiteral("client/Language"), generated.readAll());
    auto& convert = kvx::lang::LanguageConvert::instance();
    convert.unload();
    // The reader of unowned windows knows no client folder: only the handed settings lead to the tables.
    kvx::setSettingsReader([] { return kvx::Settings{}; });
    DialogService::instance().clear();

    QWidget window; // no TBrokerOwner
    auto wc = std::make_shared<FakeWorkCenter>();
    wc->catalogue.insert(QStringLiteral("C/000001"), QString::fromUtf8("确定要删除吗?"));
    auto* broker = new TBrokers(&window);
    broker->WorkCenter = Variant(std::shared_ptr<kvx::Dispatch>(wc));
    kvx::Settings settings;
    settings.clientPath = tables.clientPath();
    settings.client = kvx::CodePages::from(kvx::CodePage::Gbk, kvx::CodePage::Big5, kvx::CodePage::Gbk);
    broker->setSettings(settings);

    broker->ShowMsg("C", "000001");
    const auto& shown = DialogService::instance().shown();
    ASSERT_EQ(shown.size(), 1); // no "Can't find file Language" first
    EXPECT_TRUE(shown.last().text.startsWith(QString::fromUtf8("確定要刪除嗎?    "))) << qPrintable(shown.last().text);
    EXPECT_EQ(shown.last().fontCharset, 136);
    EXPECT_EQ(shown.last().buttonCaptions.value(kvx::mbOK), QString::fromUtf8("確定"));

    convert.unload();
    DialogService::instance().clear();
    kvx::InstallSettingsReader();
}

TEST_F(BrokerTest, TraditionalInterfaceConvertsToBig5WidensTextAndUsesBig5Font) {
    window.uiCodePage = QStringLiteral("950");
    window.langMode = 2;
    broker->ShowMsg("T", "000032", {QStringLiteral("abc")});
    // Four blanks for the 950 interface before formatting, six for a converted interface after it.
    EXPECT_EQ(lastShown().text, QStringLiteral("abc    ") + QStringLiteral(" ") + QStringLiteral("\r\n") +
                                    QString::fromUtf8("是否繼續?") + QStringLiteral("      "));
    EXPECT_EQ(lastShown().fontCharset, 136);
    EXPECT_EQ(lastShown().font.family(), QStringLiteral("SimSun"));

    broker->ShowMsg("C", "000001");
    EXPECT_EQ(lastShown().text,
              QString::fromUtf8("確定要刪除嗎?    ") + QStringLiteral(" ") + QStringLiteral("      "));
    EXPECT_EQ(lastShown().buttonCaptions.value(kvx::mbOK), QString::fromUtf8("確定"));
    EXPECT_EQ(lastShown().buttonCaptions.value(kvx::mbCancel), QString::fromUtf8("取消"));
    EXPECT_EQ(shownCount(), 2); // the mapping file was found

    // Kind 1 converts Traditional catalogue texts to Simplified; captions stay GB.
    wc->catalogue.insert(QStringLiteral("I/000020"), QString::fromUtf8("資料傳輸完成"));
    window.langMode = 1;
    window.uiCodePage = QStringLiteral("936");
    broker->ShowMsg("I", "000020");
    EXPECT_EQ(lastShown().text, QString::fromUtf8("资料传输完成 ") + QStringLiteral("      "));
    EXPECT_EQ(lastShown().buttonCaptions.value(kvx::mbOK), QString::fromUtf8("确定"));
    EXPECT_EQ(lastShown().fontCharset, 134);

    // A Simplified interface on a Traditional system: GB font, widened text, GB captions.
    window.uiCodePage = QStringLiteral("936");
    window.sysCodePage = QStringLiteral("950");
    window.langMode = 4;
    broker->ShowMsg("E", "000032", {QStringLiteral("abc")});
    EXPECT_EQ(lastShown().text, QStringLiteral("abc     ") + QStringLiteral("      "));
    EXPECT_EQ(lastShown().fontCharset, 134);
    EXPECT_EQ(lastShown().buttonCaptions.value(kvx::mbOK), QString::fromUtf8("确定"));

    // On a system whose ANSI code page is not 936 the six blanks come even without conversion.
    kvxtest::ScopedEnv english("KVX_CODEPAGE", "437");
    window.sysCodePage = QStringLiteral("437");
    window.langMode = 0;
    broker->ShowMsg("E", "000032", {QStringLiteral("abc")});
    EXPECT_EQ(lastShown().text, QStringLiteral("abc ") + QStringLiteral("      "));
}

TEST_F(BrokerTest, ProgramTitleComesFromTheProgramMaster) {
    connect();
    EXPECT_EQ(broker->GetProgramTitle(QStringLiteral("QLDI06")), QString::fromUtf8("传输设置"));
    const Call* sql = wc->counter->last(QStringLiteral("GETCOUNTER"));
    ASSERT_NE(sql, nullptr);
    EXPECT_EQ(sql->args[0].toString(), QStringLiteral("SimpleSQL"));
    EXPECT_TRUE(sql->args[1].identical(Variant::fromList(
        {QStringLiteral("SELECT MB002,MB011,MB012,MB013 FROM ADMMB WHERE MB001='QLDI06'"),
         QStringLiteral("MB002,MB011,MB012,MB013"), QStringLiteral("KVDEMO"), QStringLiteral("N")})));

    window.uiCodePage = QStringLiteral("437");
    EXPECT_EQ(broker->GetProgramTitle(QStringLiteral("QLDI06")), QStringLiteral("Transfer settings"));

    EXPECT_EQ(broker->GetProgramTitle(QStringLiteral("NOPE99")), QStringLiteral("NOPE99"));
    // Quotes in the code are doubled in the statement.
    wc->counter->programs.insert(QStringLiteral("A'B"), {QStringLiteral("quoted"), ""});
    window.uiCodePage = QStringLiteral("936");
    EXPECT_EQ(broker->GetProgramTitle(QStringLiteral("A'B")), QStringLiteral("quoted"));
}

TEST_F(BrokerTest, RunProgramPassesLoginAndDefaultOptions) {
    Variant result = QStringLiteral("stale");
    EXPECT_EQ(broker->RunProgram(QStringLiteral("QLDI06"), QStringLiteral("MB001='1'"), true, result), 0);
    EXPECT_EQ(result.toString(), QStringLiteral("child-result"));
    const Call* exec = wc->last(QStringLiteral("ExecWork"));
    ASSERT_NE(exec, nullptr);
    EXPECT_TRUE(exec->args[0].identical(Variant::fromList(
        {QStringLiteral("DS"), QStringLiteral("KV01"), QStringLiteral("QLDI06"), broker->OwnerHandle()})));
    EXPECT_EQ(exec->args[1].toString(), QStringLiteral("MB001='1'"));
    EXPECT_TRUE(exec->args[2].identical(Variant::fromList({0, 4, Variant()})));
    EXPECT_EQ(exec->args[3].toInt(), 2);

    const Variant options = Variant::fromList({0, 0, Variant()});
    broker->RunProgram(QStringLiteral("QLDI06"), Variant(), false, result, options);
    EXPECT_TRUE(wc->last(QStringLiteral("ExecWork"))->args[2].identical(options));
    EXPECT_EQ(shownCount(), 0);
}

TEST_F(BrokerTest, RunProgramReportsFailuresByCodeOnlyWhenAsked) {
    connect();
    Variant result = QStringLiteral("stale");
    wc->execRc = -5;
    EXPECT_EQ(broker->RunProgram(QStringLiteral("QLDI06"), Variant(), false, result), -5);
    EXPECT_TRUE(result.isUnassigned());
    EXPECT_EQ(shownCount(), 0);

    EXPECT_EQ(broker->RunProgram(QStringLiteral("QLDI06"), Variant(), true, result), -5);
    ASSERT_EQ(shownCount(), 1);
    EXPECT_EQ(lastShown().text, QString::fromUtf8("[传输设置]作业程序无运行作业权限! "));
    EXPECT_EQ(lastShown().type, kvx::MsgDlgType::Error);

    wc->execRc = -1;
    broker->RunProgram(QStringLiteral("ZZZ01"), Variant(), true, result);
    EXPECT_EQ(lastShown().text, QString::fromUtf8("[ZZZ01]作业程序文档不存在! "));

    wc->execRc = -7;
    broker->RunProgram(QStringLiteral("QLDI06"), Variant(), true, result);
    EXPECT_EQ(lastShown().text, QString::fromUtf8("[传输设置]作业程序发生不可预知的错误! "));

    wc->execRc = -12; // unlisted code: the message with an empty argument
    broker->RunProgram(QStringLiteral("QLDI06"), Variant(), true, result);
    EXPECT_EQ(lastShown().text, QStringLiteral(" "));
}

TEST_F(BrokerTest, QueryMaxSeqSendsTheCurrentValuesOfTheListedFields) {
    connect();
    const QHash<QString, QString> record{{"TA001", "A1"}, {"TA002", "2026"}};
    FieldTextReader reader = [&](const QString& f) { return record.value(f); };
    QString value;
    broker->QueryMaxSeq(reader, QStringLiteral("COPTA"), value, QStringLiteral("TA003"),
                        QStringLiteral("TA001,TA002,"));
    EXPECT_EQ(value, QStringLiteral("0005"));
    const Call* call = wc->validator->last(QStringLiteral("QueryMaxSeq"));
    ASSERT_NE(call, nullptr);
    EXPECT_TRUE(call->args[2].identical(Variant::fromList({QStringLiteral("A1"), QStringLiteral("2026")})));
    EXPECT_EQ(call->args[0].toString(), QStringLiteral("COPTA"));
    EXPECT_EQ(call->args[1].toString(), QStringLiteral("TA001,TA002,"));
    EXPECT_EQ(call->args[3].toString(), QStringLiteral("TA003"));
    EXPECT_EQ(call->args[4].toString(), QStringLiteral("QLDI05"));
    EXPECT_EQ(call->args[5].toString(), QStringLiteral("KVDEMO"));

    // The current record of a client dataset; a field it lacks gives "unKnow".
    kvx::TClientDataSet ds;
    ds.FieldDefs().Add("TA001", kvx::FieldType::String, 4);
    ds.FieldDefs().Add("TA002", kvx::FieldType::Integer);
    ds.CreateDataSet();
    ds.Append();
    ds.FieldByName("TA001")->SetAsString(QStringLiteral("B2"));
    ds.FieldByName("TA002")->SetAsInteger(2027);
    ds.Post();
    broker->QueryMaxSeq(&ds, QStringLiteral("COPTA"), value, QString(), QStringLiteral("TA001,TA002,"));
    EXPECT_EQ(value, QStringLiteral("0005"));
    EXPECT_TRUE(wc->validator->last(QStringLiteral("QueryMaxSeq"))
                    ->args[2]
                    .identical(Variant::fromList({QStringLiteral("B2"), QStringLiteral("2027")})));
    broker->QueryMaxSeq(&ds, QStringLiteral("COPTA"), value, QString(), QStringLiteral("TA009,"));
    EXPECT_EQ(value, QStringLiteral("unKnow"));

    wc->validator->answer = false;
    broker->QueryMaxSeq(reader, QStringLiteral("COPTA"), value, QString(), QStringLiteral("TA001,"));
    EXPECT_EQ(value, QStringLiteral("unKnow"));
    wc->validator->answer = true;
    wc->validator->throwOnCall = true;
    broker->QueryMaxSeq(reader, QStringLiteral("COPTA"), value, QString(), QStringLiteral("TA001,"));
    EXPECT_EQ(value, QStringLiteral("unKnow"));
}

TEST_F(BrokerTest, LookupDataCapturesReturnsOrCallsTheLookupWindow) {
    connect();
    broker->LoginInfo = QStringList{QStringLiteral("BaseLimited=Y")};
    Variant result;

    // Phase 1: the opening parameters are captured, nothing is called.
    window.lookupPhase = 1;
    broker->LookupData(QStringLiteral("INVMB"), QStringLiteral("01"), result, "t1", "t2", "t3", 0, "t4", true,
                       false, "t5", QStringLiteral("p3"));
    ASSERT_EQ(window.lookupParams.highBound(), 13);
    EXPECT_TRUE(window.lookupParams.identical(Variant::fromList(
        {QStringLiteral("INVMB"), QStringLiteral("01"), QStringLiteral("p3"), 1, QStringLiteral("t5"),
         QStringLiteral("KVDEMO"), 5, QStringLiteral("t3"), QStringLiteral("t2"), QStringLiteral("t1"),
         QStringLiteral("Y"), QString(), QString(), QStringLiteral("9")})));
    broker->LookupData(Variant(), Variant(), result, "t1", "t2", "", 0, "", true, false, "", Variant());
    EXPECT_EQ(window.lookupParams.at(9).toString(), QString());
    EXPECT_EQ(window.lookupParams.at(7).toString(), QString());

    // Phase 2: the captured choice comes back.
    window.lookupPhase = 2;
    window.lookupResult = QStringLiteral("chosen");
    broker->LookupData(Variant(), Variant(), result, "", "", "", 0, "", false, false, "", Variant());
    EXPECT_EQ(result.toString(), QStringLiteral("chosen"));
    EXPECT_EQ(wc->f2->count(QStringLiteral("F2GetData")), 0);

    // Phase 0: the lookup window gets the nineteen-element request.
    window.lookupPhase = 0;
    window.rights = (quint64(1) << 35) | (quint64(1) << 30);
    broker->LookupData(QStringLiteral("INVMB"), QStringLiteral("01"), result, "t1", "t2", "t3", 77, "t4",
                       true, false, "t5", QStringLiteral("p3"));
    EXPECT_EQ(result.at(0).at(0).toString(), QStringLiteral("A01"));
    const Call* call = wc->f2->last(QStringLiteral("F2GetData"));
    ASSERT_NE(call, nullptr);
    const Variant req = call->args[0];
    ASSERT_EQ(req.highBound(), 18);
    EXPECT_EQ(req.at(3).toBool(), false);
    EXPECT_EQ(req.at(5).toString(), QStringLiteral("KV01"));
    EXPECT_EQ(req.at(7).toInt(), 77);
    EXPECT_EQ(req.at(8).toInt(), 1);
    EXPECT_EQ(req.at(9).toBool(), true);
    EXPECT_EQ(req.at(10).toInt(), 5);
    EXPECT_EQ(req.at(11).toString(), QStringLiteral("t3"));
    EXPECT_EQ(req.at(13).toString(), QStringLiteral("t1"));
    EXPECT_EQ(req.at(14).toString(), QStringLiteral("Y"));
    EXPECT_TRUE(req.at(15).toBool()); // group B visible (bit 35)
    EXPECT_FALSE(req.at(16).toBool());
    EXPECT_EQ(req.at(17).toDispatch(), broker->WorkCenter.toDispatch());
    EXPECT_EQ(req.at(18).toString(), QStringLiteral("DS"));

    // Without a handle the owner's is sent; a failing product query sends 3.
    wc->productIdThrows = true;
    broker->LookupData(Variant(), Variant(), result, "", "", "", 0, "", false, true, "", Variant());
    const Variant req2 = wc->f2->last(QStringLiteral("F2GetData"))->args[0];
    EXPECT_EQ(req2.at(7).toInt(), broker->OwnerHandle());
    EXPECT_EQ(req2.at(10).toInt(), 3);
    EXPECT_TRUE(req2.at(3).toBool());
}

TEST_F(BrokerTest, PhraseCharactersAndCalculatorGoThroughTheLookupWindow) {
    connect();
    EXPECT_EQ(broker->GetPhrase(QStringLiteral("abc")), QStringLiteral("abc-phrase"));
    const Call* phrase = wc->f2->last(QStringLiteral("GetPhrase2"));
    EXPECT_EQ(phrase->args[0].toString(), QStringLiteral("DS"));
    EXPECT_EQ(phrase->args[2].toInt(), broker->OwnerHandle());
    wc->f2->phraseRc = -1;
    EXPECT_EQ(broker->GetPhrase(QStringLiteral("abc")), QString());

    Variant result;
    broker->ShowCharacters(2, true, result);
    EXPECT_EQ(result.at(0).toString(), QStringLiteral("DOC-7"));
    const Call* chars = wc->f2->last(QStringLiteral("ShowCharaters"));
    EXPECT_EQ(chars->args[0].toString(), QStringLiteral("DS"));
    EXPECT_EQ(chars->args[1].toString(), QStringLiteral("KV01"));
    EXPECT_EQ(chars->args[2].toInt(), 2);
    EXPECT_EQ(chars->args[4].toString(), QString::number(broker->OwnerHandle()));
    broker->ShowCharacters(2, false, result, 99, QStringLiteral("C2"), QStringLiteral("U2"));
    chars = wc->f2->last(QStringLiteral("ShowCharaters"));
    EXPECT_EQ(chars->args[0].toString(), QStringLiteral("U2"));
    EXPECT_EQ(chars->args[1].toString(), QStringLiteral("C2"));
    EXPECT_EQ(chars->args[4].toString(), QStringLiteral("99"));

    EXPECT_EQ(broker->GetCalcValue(QStringLiteral("2+3")), QStringLiteral("5"));
    EXPECT_EQ(shownCount(), 0);
    wc->f2->calcThrows = true;
    window.langMode = 2;
    EXPECT_EQ(broker->GetCalcValue(QStringLiteral("2+3")), QString());
    ASSERT_EQ(shownCount(), 1);
    EXPECT_EQ(lastShown().text, QString::fromUtf8("<tc>请更新HalvexC.dll ") + QStringLiteral("      "));
}

TEST_F(BrokerTest, AbsentServicesGiveEmptyResultsWithoutErrors) {
    CountingBroker bare(&window);
    Variant result = QStringLiteral("stale");
    QString value;
    EXPECT_FALSE(bare.ConnectServices());
    EXPECT_EQ(bare.beeps, 0);
    EXPECT_EQ(bare.GetMessageText("E", "000001"), QString());
    EXPECT_EQ(bare.GetVersionType(), -1);
    EXPECT_EQ(bare.GetProductID(), -1);
    EXPECT_TRUE(bare.CallCounter(QStringLiteral("SimpleSQL"), Variant()).isUnassigned());
    EXPECT_FALSE(bare.LoadSysParams());
    EXPECT_FALSE(bare.CheckValue("ADMMB", "06", result, Variant()));
    EXPECT_TRUE(result.isUnassigned());
    EXPECT_FALSE(bare.QueryData("ADMMD", "03", result, Variant()));
    bare.QueryMaxSeq({}, "A", value, "B", "F1,");
    EXPECT_EQ(value, QStringLiteral("unKnow"));
    result = QStringLiteral("stale");
    bare.LookupData(Variant(), Variant(), result, "", "", "", 0, "", false, false, "", Variant());
    EXPECT_TRUE(result.isUnassigned());
    EXPECT_EQ(bare.GetPhrase(QStringLiteral("x")), QString());
    result = QStringLiteral("stale");
    bare.ShowCharacters(1, false, result);
    EXPECT_TRUE(result.isUnassigned());
    EXPECT_EQ(bare.GetCalcValue(QStringLiteral("1+1")), QString());
    EXPECT_EQ(bare.RunProgram("QLDI06", Variant(), true, result), -1);
    bare.WorkCenter = Variant::null();
    EXPECT_EQ(bare.RunProgram("QLDI06", Variant(), true, result), -1);
    EXPECT_EQ(bare.GetProgramTitle(QStringLiteral("QLDI06")), QStringLiteral("QLDI06"));
    bare.LoadProgramInfo();
    EXPECT_EQ(bare.ProgramName, QString());
    EXPECT_EQ(shownCount(), 0);
}

TEST(BrokerOwnerless, WorksWithoutAWindow) {
    kvxtest::ScopedEnv codePage("KVX_CODEPAGE", "936");
    DialogService::instance().clear();
    TBrokers broker;
    auto wc = std::make_shared<FakeWorkCenter>();
    wc->catalogue.insert(QStringLiteral("I/000001"), QStringLiteral("ok %d"));
    broker.WorkCenter = Variant(std::shared_ptr<kvx::Dispatch>(wc));
    EXPECT_EQ(broker.OwnerHandle(), 0);
    EXPECT_EQ(broker.ShowMsg("I", "000001", {3}), kvx::mrOk);
    const MessageRequest& r = DialogService::instance().shown().last();
    EXPECT_EQ(r.text, QStringLiteral("ok 3 "));
    EXPECT_TRUE(r.caption.isEmpty());
    EXPECT_EQ(r.parent, nullptr);
    DialogService::instance().clear();
}
