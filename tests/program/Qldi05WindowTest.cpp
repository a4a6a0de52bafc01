// The transmission settings window end to end: the window created as the controller creates it, with the
// shell's work center, connected to the application-server daemon over a loopback socket. Keys are real
// key presses, message boxes are answered by the scripted dialog service, and what a save did is read
// back from the database. A recording proxy in front of the broker's counter service counts the server
// calls ("QLDI06", "SimpleSql") with their arguments.
#include "Qldi05WindowFixture.h"

TEST_F(Qldi05Window, RoadOfOneChangeFromF7ToTheServerCall) {
    RecordingCounter* rec = nullptr;
    TfrmQldi05* w = open(&rec);
    ASSERT_EQ(cell("MB002", kNone).toString(), "1");
    const double flag = cell("FLAG", kNone).toDouble();
    go(w, kNone);

    press(w, Qt::Key_F7);
    ASSERT_EQ(w->EditState, TfrmBase::esEdit);
    EXPECT_EQ(w->pgHead->ActivePage(), w->tbsHead1);
    EXPECT_EQ(w->Status->panel(0)->Text(), "更改");
    EXPECT_EQ(w->OldMB002, "1");
    pickMode(w, "2");
    EXPECT_EQ(w->cboMB002->Text(), "2:汇出");
    press(w, Qt::Key_F12);

    EXPECT_EQ(w->EditState, TfrmBase::esBrowse);
    EXPECT_EQ(cell("MB002", kNone).toString(), "2");
    EXPECT_EQ(cell("MODIFIER", kNone).toString(), "DS");
    EXPECT_EQ(cell("MODI_DATE", kNone).toString(), QDate::currentDate().toString("yyyyMMdd"));
    EXPECT_EQ(cell("FLAG", kNone).toDouble(), double(qint64(flag + 1) % 1000));
    EXPECT_EQ(w->dm()->cdsMainFLAG->AsFloat(), cell("FLAG", kNone).toDouble());
    const auto calls = rec->named("QLDI06");
    ASSERT_EQ(calls.size(), 1);
    EXPECT_EQ(calls[0].params.at(0).toString(), itemsOf(kNone));
    EXPECT_EQ(calls[0].params.at(1).toString(), "2");
    EXPECT_EQ(calls[0].params.at(2).toString(), cell("MB004", kNone).toString());
    EXPECT_EQ(resetRows(kNone, "Y"), itemsOf(kNone).split(';').size()); // the server reset every item
    EXPECT_TRUE(DialogService::instance().shown().isEmpty())
        << DialogService::instance().lastText().toStdString();
    EXPECT_FALSE(w->btnAdd->isEnabled());
}

TEST_F(Qldi05Window, OnlyChangesToOrFromExportCallTheServerWithTheNewMode) {
    RecordingCounter* rec = nullptr;
    TfrmQldi05* w = open(&rec);
    // 1 -> 3: nothing to report.
    go(w, kNone);
    press(w, Qt::Key_F7);
    pickMode(w, "3");
    press(w, Qt::Key_F12);
    EXPECT_EQ(cell("MB002", kNone).toString(), "3");
    EXPECT_TRUE(rec->named("QLDI06").isEmpty());
    // 3 -> 2 and 2 -> 3: one call each, with the new mode.
    for (const QString& mode : {QStringLiteral("2"), QStringLiteral("3")}) {
        rec->calls.clear();
        go(w, kNone);
        press(w, Qt::Key_F7);
        pickMode(w, mode);
        press(w, Qt::Key_F12);
        ASSERT_EQ(cell("MB002", kNone).toString(), mode);
        const auto calls = rec->named("QLDI06");
        ASSERT_EQ(calls.size(), 1) << mode.toStdString();
        EXPECT_EQ(calls[0].params.at(1).toString(), mode);
    }
    EXPECT_EQ(resetRows(kNone), 0); // leaving export removed the items again
    // A remark change alone (mode kept) calls nothing, and F12 again in Browse repeats nothing.
    rec->calls.clear();
    go(w, kExport);
    press(w, Qt::Key_F7);
    w->dm()->cdsMainMB005->SetAsString(QStringLiteral("只改备注"));
    press(w, Qt::Key_F12);
    press(w, Qt::Key_F12);
    EXPECT_EQ(cell("MB005", kExport).toString(), "只改备注");
    EXPECT_TRUE(rec->named("QLDI06").isEmpty());
}

TEST_F(Qldi05Window, ARecordWithoutItemsNeverCallsTheServer) {
    RecordingCounter* rec = nullptr;
    TfrmQldi05* w = open(&rec);
    const QString key =
        db->scalar("SELECT MB001 FROM QLDMB WHERE MB003 = '' AND MB002 = '1' AND MB005 <> ''").toString();
    ASSERT_FALSE(key.isEmpty());
    go(w, key);
    press(w, Qt::Key_F7);
    pickMode(w, "2");
    press(w, Qt::Key_F12);
    EXPECT_EQ(cell("MB002", key).toString(), "2");
    EXPECT_TRUE(rec->named("QLDI06").isEmpty());
}

TEST_F(Qldi05Window, AddStaysDisabledInEveryStateAndDeletingIsRemoved) {
    TfrmQldi05* w = open();
    EXPECT_FALSE(w->HasRightBit(36));
    EXPECT_FALSE(w->HasRightBit(39));
    EXPECT_FALSE(w->HasRightBit(48));
    EXPECT_FALSE(w->HasRightBit(55));
    auto addOff = [w](const char* when) {
        EXPECT_FALSE(w->btnAdd->isEnabled()) << when;
        EXPECT_FALSE(w->miAdd->isEnabled()) << when;
    };
    addOff("browse");
    press(w, Qt::Key_F5);
    EXPECT_EQ(w->EditState, TfrmBase::esBrowse);
    go(w, kExport);
    press(w, Qt::Key_F7);
    ASSERT_EQ(w->EditState, TfrmBase::esEdit);
    addOff("edit");
    press(w, Qt::Key_Escape);
    EXPECT_EQ(w->EditState, TfrmBase::esBrowse);
    addOff("after cancel");
    press(w, Qt::Key_F7);
    press(w, Qt::Key_F12);
    addOff("after save");
    w->UpdateCommands();
    addOff("after a rights update");
}

TEST_F(Qldi05Window, EditPageSettingsRequiredFieldsAndTabOrder) {
    TfrmQldi05* w = open();
    EXPECT_EQ(w->windowTitle().left(8), "文档传输设置作业");
    EXPECT_EQ(w->ProgramVersion, "881213-1.00.00");
    // The settings-initialisation image follows the framework's images in ImageList1: image 14.
    EXPECT_EQ(w->BtnClear->ImageIndex(), 14);
    EXPECT_EQ(w->BtnClear->ImageIndex(), w->ImageList1->Count() - 1);
    EXPECT_FALSE(w->ImageList1->Icon(w->BtnClear->ImageIndex()).isNull());
    EXPECT_EQ(w->BtnClear->toolTip(), "设置初始化");
    // Declared by the window; the demo company's screen settings add the remark.
    EXPECT_EQ(w->RequiredFields(), "cdsMain:MB002,MB004,MB005");
    EXPECT_EQ(w->FirstEditControl, w->cboMB002);
    EXPECT_EQ(w->FirstAddControl, w->edMB001);
    EXPECT_FALSE(w->memLNG->isVisible());
    EXPECT_EQ(w->memLNG->Lines().size(), 8);
    go(w, kExport);
    press(w, Qt::Key_F7);
    // The key and file name stay read-only; the focus starts on the mode; Tab reaches the remark.
    EXPECT_FALSE(w->edMB001->isEnabled());
    EXPECT_FALSE(w->edMB001C->isEnabled());
    EXPECT_FALSE(w->cboMB004->isEnabled());
    EXPECT_TRUE(w->cboMB002->isAncestorOf(QApplication::focusWidget()) ||
                QApplication::focusWidget() == w->cboMB002);
    press(w, Qt::Key_Tab);
    EXPECT_TRUE(w->edMB005->isAncestorOf(QApplication::focusWidget()));
    // The grid shows the mapped texts of the mode and category.
    press(w, Qt::Key_Escape);
    EXPECT_TRUE(w->gdHead->ControlType().contains("MB002;CustomEdit;cboMB002G"));
}

TEST_F(Qldi05Window, SettingsInitialisationResetsEveryRecordInTwoClasses) {
    RecordingCounter* rec = nullptr;
    TfrmQldi05* w = open(&rec);
    auto& dialogs = DialogService::instance();
    bool progressShownAtEnd = true;
    dialogs.setObserver([&](const MessageRequest& r) {
        if (r.text.contains("运行系统初始化完毕")) progressShownAtEnd = w->frmStatus->isVisible();
    });
    dialogs.queueAnswer(mrOk);
    dialogs.queueAnswer(mrOk);
    rec->calls.clear();
    EXPECT_EQ(w->frmStatus, nullptr); // created at the first initialisation, not with the window
    QTest::mouseClick(w->BtnClear, Qt::LeftButton);
    ASSERT_NE(w->frmStatus, nullptr);
    dialogs.setObserver(nullptr);

    const auto shown = dialogs.shown();
    ASSERT_EQ(shown.size(), 3);
    EXPECT_TRUE(
        shown[0].text.contains("系统初始化会将例行传输的信息档清空,\r通常是在要做同步化传输前做此动作!\r"
                               "确定要运行传输系统初始化?"));
    EXPECT_TRUE(shown[1].text.contains("运行完毕请重新做一次同步化传输!!"));
    EXPECT_TRUE(shown[2].text.contains("运行系统初始化完毕!"));
    EXPECT_FALSE(progressShownAtEnd);

    const auto sql = rec->named("SimpleSql");
    ASSERT_EQ(sql.size(), 2);
    EXPECT_EQ(sql[0].params.at(0).toString(), "Select * from $$QLDMB where MB002='2' ");
    EXPECT_EQ(sql[1].params.at(0).toString(), "Select * from $$QLDMB where MB002<>'2' ");
    const auto resets = rec->named("QLDI06");
    EXPECT_EQ(resets.size(), db->scalar("SELECT COUNT(*) FROM QLDMB WHERE MB003 <> ''").toInt());
    int exports = 0;
    for (const auto& c : resets)
        exports += c.params.at(1).toString() == "2";
    EXPECT_EQ(exports, db->scalar("SELECT COUNT(*) FROM QLDMB WHERE MB003 <> '' AND MB002 = '2'").toInt());
    EXPECT_EQ(resetRows(kExport, "Y"), itemsOf(kExport).split(';').size());
    EXPECT_EQ(resetRows(kNone), 0);
}

TEST_F(Qldi05Window, WithoutExportRecordsOnlyTheOtherClassRuns) {
    db->exec("UPDATE QLDMB SET MB002 = '1' WHERE MB002 = '2'");
    RecordingCounter* rec = nullptr;
    TfrmQldi05* w = open(&rec);
    auto& dialogs = DialogService::instance();
    dialogs.queueAnswer(mrOk);
    dialogs.queueAnswer(mrOk);
    w->BtnClearClick();
    const auto resets = rec->named("QLDI06");
    ASSERT_FALSE(resets.isEmpty());
    for (const auto& c : resets)
        EXPECT_EQ(c.params.at(1).toString(), "1");
    EXPECT_TRUE(w->frmStatus->Label1->text().contains("非汇出类"));
    EXPECT_TRUE(dialogs.lastText().contains("运行系统初始化完毕!"));
}

TEST_F(Qldi05Window, CancellingEitherQuestionShowsNothingFurther) {
    RecordingCounter* rec = nullptr;
    TfrmQldi05* w = open(&rec);
    rec->calls.clear();
    auto& dialogs = DialogService::instance();
    dialogs.queueAnswer(mrCancel);
    w->BtnClearClick();
    EXPECT_EQ(dialogs.shown().size(), 1);
    dialogs.clear();
    dialogs.queueAnswer(mrOk);
    dialogs.queueAnswer(mrCancel);
    w->BtnClearClick();
    EXPECT_EQ(dialogs.shown().size(), 2);
    EXPECT_TRUE(rec->named("SimpleSql").isEmpty());
    EXPECT_TRUE(rec->named("QLDI06").isEmpty());
}

TEST_F(Qldi05Window, ClosingTheWindowDuringTheInitialisationStopsIt) {
    RecordingCounter* rec = nullptr;
    TfrmQldi05* w = open(&rec);
    auto& dialogs = DialogService::instance();
    dialogs.queueAnswer(mrOk);
    dialogs.queueAnswer(mrOk);
    // The close arrives while the progress window processes events at its first step.
    QTimer::singleShot(0, w, &QWidget::close);
    w->BtnClearClick();
    EXPECT_LE(rec->named("QLDI06").size(), 1);
    EXPECT_EQ(dialogs.shown().size(), 2); // no completion message
    EXPECT_EQ(w->frmStatus, nullptr);
}

TEST_F(Qldi05Window, ARefusedItemListIsShownAndTheNextRowsGoOn) {
    // A table name the server does not take makes it refuse that record's list; the text is shown.
    db->exec("UPDATE QLDMB SET MB003 = 'NO-SUCH_x_1_H_A_Y_1_1_n.XML_K' WHERE MB001 = ?", {kExport});
    RecordingCounter* rec = nullptr;
    TfrmQldi05* w = open(&rec);
    auto& dialogs = DialogService::instance();
    dialogs.queueAnswer(mrOk);
    dialogs.queueAnswer(mrOk);
    w->BtnClearClick();
    QStringList texts;
    for (const MessageRequest& r : dialogs.shown())
        texts << r.text;
    EXPECT_EQ(texts.size(), 4) << texts.join(" | ").toStdString();
    EXPECT_TRUE(texts[2].contains("NO-SUCH")) << texts.join(" | ").toStdString();
    EXPECT_TRUE(texts.last().contains("运行系统初始化完毕!"));
    EXPECT_EQ(rec->named("QLDI06").size(),
              db->scalar("SELECT COUNT(*) FROM QLDMB WHERE MB003 <> ''").toInt());
}

TEST_F(Qldi05Window, TwoUsersEditingOneRecordKeepTheFirstChange) {
    TfrmQldi05* a = open();
    TfrmQldi05* b = nullptr;
    {
        // The second user signs in over the socket with his own credentials.
        kvxtest::ScopedEnv user("KVX_USER", "CLERK");
        kvxtest::ScopedEnv password("KVX_PASSWORD", daemon.password("CLERK").toUtf8());
        b = open(nullptr, "CLERK");
    }
    ASSERT_EQ(b->Broker->UserID, "CLERK");
    go(a, kExport);
    go(b, kExport);
    a->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(a));
    press(a, Qt::Key_F7);
    ASSERT_EQ(a->EditState, TfrmBase::esEdit);
    a->dm()->cdsMainMB005->SetAsString(QStringLiteral("第一位用户"));
    b->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(b));
    press(b, Qt::Key_F7);
    ASSERT_EQ(b->EditState, TfrmBase::esEdit) << DialogService::instance().lastText().toStdString();
    b->dm()->cdsMainMB005->SetAsString(QStringLiteral("第二位用户"));
    a->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(a));
    ASSERT_TRUE(a->DoSave());
    EXPECT_EQ(cell("MB005", kExport).toString(), "第一位用户");
    DialogService::instance().clear();
    EXPECT_FALSE(b->DoSave());
    EXPECT_EQ(cell("MB005", kExport).toString(), "第一位用户");
    EXPECT_EQ(cell("MODIFIER", kExport).toString(), "DS");
    QStringList texts;
    for (const MessageRequest& r : DialogService::instance().shown())
        texts << r.text;
    EXPECT_FALSE(texts.filter("MB005").isEmpty()) << texts.join(" | ").toStdString();
}

TEST_F(Qldi05Window, ExportsTheSettingsBothWays) {
    TfrmQldi05* w = open();
    ASSERT_TRUE(w->miTable2Excel->isEnabled());
    // Each export asks whether to open the workbook: No.
    auto& dialogs = DialogService::instance();
    dialogs.queueAnswer(mrNo);
    w->miTable2Excel->trigger();
    dialogs.queueAnswer(mrNo);
    w->miTable2Excel2->trigger();
    const QDir folder(w->dm()->ExportFolder());
    const QStringList files = folder.entryList({"QLDI05_*"}, QDir::Files);
    ASSERT_EQ(files.size(), 2) << folder.path().toStdString() << " " << dialogs.lastText().toStdString();
    for (const QString& f : files)
        EXPECT_GT(QFileInfo(folder.filePath(f)).size(), 1000) << f.toStdString();
    EXPECT_EQ(folder.entryList({"QLDI05_*.xlsx"}, QDir::Files).size(), 1);
}

// The common-phrase window of the work center: answers GetPhrase2 with a chosen phrase, or -1 (cancelled).
class PhraseWindow : public Dispatch {
public:
    QString answer;
    QStringList asked;
    Variant invoke(const QString& name, VariantList& args) override {
        if (name != QLatin1String("GetPhrase2") || args.size() < 4) return Variant();
        asked << args[3].toString();
        if (answer.isEmpty()) return -1;
        args[3] = answer;
        return 1;
    }
    Variant getProperty(const QString&) override { return Variant(); }
    void setProperty(const QString&, const Variant&) override {}
    QString className() const override { return QStringLiteral("PhraseWindow"); }
};

TEST_F(Qldi05Window, F2OnTheRemarkTakesAPhraseAndKeepsTheTextWhenNoneIsChosen) {
    TfrmQldi05* w = open();
    auto phrases = std::make_shared<PhraseWindow>();
    w->Broker->F2Window = Variant(std::shared_ptr<Dispatch>(phrases));
    go(w, kExport);
    const QString before = w->dm()->cdsMainMB005->AsString();
    auto f2OnRemark = [w] {
        w->edMB005->focusTarget()->setFocus();
        QTest::keyClick(w->edMB005->focusTarget(), Qt::Key_F2);
    };
    // In Browse the remark cannot change: no phrase window.
    f2OnRemark();
    EXPECT_TRUE(phrases->asked.isEmpty());
    press(w, Qt::Key_F7);
    ASSERT_EQ(w->EditState, TfrmBase::esEdit);
    // Cancelled: the remark stays as it was.
    f2OnRemark();
    ASSERT_EQ(phrases->asked, QStringList({before}));
    EXPECT_EQ(w->dm()->cdsMainMB005->AsString(), before);
    // Chosen: the phrase replaces the remark and is saved with the record.
    phrases->answer = QStringLiteral("每日汇出至总部");
    f2OnRemark();
    EXPECT_EQ(w->dm()->cdsMainMB005->AsString(), "每日汇出至总部");
    press(w, Qt::Key_F12);
    EXPECT_EQ(cell("MB005", kExport).toString(), "每日汇出至总部");
}

TEST_F(Qldi05Window, InterfaceLanguagesTranslateEveryText) {
    struct Case {
        const char* codePage;
        const char* caption;
        const char* mode;
        const char* done;
        const char* label;
    };
    for (const Case& c : {Case{"950", "文檔傳輸設置作業", "2:匯出", "執行系統初始化完畢!", "傳輸方式"},
                          Case{"437", "Document Transmission Settings", "2:Export",
                               "System initialisation finished.", "Transfer mode"}}) {
        SCOPED_TRACE(c.codePage);
        writeClientConfig(QString::fromLatin1(c.codePage));
        TfrmQldi05* w = open();
        EXPECT_TRUE(w->windowTitle().startsWith(QString::fromUtf8(c.caption)))
            << w->windowTitle().toStdString();
        EXPECT_EQ(w->cboMB002->Items().value(1).section('\t', 0, 0), QString::fromUtf8(c.mode));
        EXPECT_EQ(w->cboMB002G->Items().value(1).section('\t', 0, 0), QString::fromUtf8(c.mode));
        EXPECT_EQ(w->MemoLine(TfrmQldi05::mlDone), QString::fromUtf8(c.done));
        EXPECT_NE(w->edMB001->Caption(), "文档编号");
        // The data module's package: the grid's titles come from the field labels.
        EXPECT_EQ(w->dm()->cdsMainMB002->DisplayLabel(), QString::fromUtf8(c.label));
        delete w;
    }
}

// Renders the window in browse and edit state in the three interface languages, and the progress window
// of the settings initialisation; with KVX_SCREENSHOT_DIR set the images are written there
// (docs/images/program-*.png).
TEST_F(Qldi05Window, RendersBrowseEditAndProgress) {
    const QString dir = qEnvironmentVariable("KVX_SCREENSHOT_DIR");
    auto save = [&dir](QWidget* w, const QString& name) {
        const QPixmap shot = w->grab();
        EXPECT_FALSE(shot.isNull()) << name.toStdString();
        EXPECT_GE(shot.width(), 400) << name.toStdString();
        if (!dir.isEmpty()) {
            EXPECT_TRUE(shot.save(dir + "/program-" + name + ".png", "PNG")) << name.toStdString();
        }
    };
    for (const auto& [codePage, lang] :
         {std::pair{"936", "chs"}, std::pair{"950", "cht"}, std::pair{"437", "eng"}}) {
        writeClientConfig(QString::fromLatin1(codePage));
        TfrmQldi05* w = open();
        w->pgHead->setActivePage(w->tbsBrowse);
        QApplication::processEvents();
        save(w, QStringLiteral("browse-%1").arg(QString::fromLatin1(lang)));
        go(w, kExport);
        press(w, Qt::Key_F7);
        ASSERT_EQ(w->EditState, TfrmBase::esEdit);
        QApplication::processEvents();
        save(w, QStringLiteral("edit-%1").arg(QString::fromLatin1(lang)));
        if (QString::fromLatin1(lang) == "chs") {
            TfrmStatus* progress = w->ProgressForm();
            progress->Start(w->MemoLine(TfrmQldi05::mlProgressName), w->MemoLine(TfrmQldi05::mlExportClass),
                            0, 13);
            for (int i = 0; i < 5; ++i)
                progress->Step();
            save(progress, QStringLiteral("progress"));
            progress->HideStatus();
        }
        press(w, Qt::Key_Escape);
        delete w;
    }
}
