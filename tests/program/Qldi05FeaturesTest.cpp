// What the transmission settings window takes from the framework, on the real server over loopback and
// driven as a user drives it: the query dialog and a saved scheme, find, both Excel exports read back,
// the options dialog, the colour rules painting the grid, the settings initialisation without export
// records, and every text of the window in Traditional Chinese and English.
#include "Qldi05WindowFixture.h"
#include "XlsReader.h"
#include "XlsxReader.h"

#include "controls/CheckBoxes.h"
#include "controls/StringAlignGrid.h"
#include "lang/LangCommon.h"
#include "platform/CodePage.h"
#include "query/KvQBE.h"
#include "query/KvSearch.h"
#include "query/OptionsCF.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTabBar>
#include <QTableView>
#include <functional>
#include <set>

namespace {

// Runs a script on the first modal window of type T (or popup menu, for QMenu) as soon as it is up,
// inside its own event loop, from a zero-interval timer; stops with the object.
template <class T> class WhenShown {
public:
    explicit WhenShown(std::function<void(T*)> script) : script_(std::move(script)) {
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            QWidget* up = std::is_same_v<T, QMenu> ? QApplication::activePopupWidget()
                                                   : QApplication::activeModalWidget();
            T* target = qobject_cast<T*>(up);
            if (!target || !target->isVisible()) return;
            timer_.stop();
            ran = true;
            script_(target);
        });
        timer_.start(0);
    }
    bool ran = false;

private:
    std::function<void(T*)> script_;
    QTimer timer_;
};

QStringList keysOf(TfrmQldi05* w) {
    TClientDataSet* cds = w->dm()->cdsMain;
    cds->FetchAll();
    QStringList keys;
    for (cds->First(); !cds->Eof(); cds->Next())
        keys << cds->FieldByName("MB001")->AsString();
    keys.sort();
    return keys;
}

// The grid row of a record and a column by field name.
int rowOf(TfrmQldi05* w, const QString& key) {
    TClientDataSet* cds = w->dm()->cdsMain;
    cds->FetchAll();
    return cds->Locate("MB001", key) ? cds->RecNo() - 1 : -1;
}
int columnOf(TfrmQldi05* w, const QString& field) {
    for (int c = 0; c < w->gdHead->columnCount(); ++c)
        if (w->gdHead->column(c)->FieldName() == field) return c;
    return -1;
}

// How the grid's delegate paints a cell: the colours the window gives it for the record in that row.
struct Paint {
    QColor text, back;
    QFont font;
};
Paint cellPaint(TfrmQldi05* w, const QString& key, const QString& field) {
    Paint p{Qt::black, Qt::white, w->gdHead->font()};
    emit w->gdHead->CalcCellColors(field, rowOf(w, key), false, p.font, p.text, p.back);
    return p;
}

// The colour of a painted cell on screen, away from its text.
QColor screenColour(TfrmQldi05* w, const QString& key, const QString& field) {
    const int row = rowOf(w, key), col = columnOf(w, field);
    QTableView* view = w->gdHead->view();
    view->scrollTo(view->model()->index(row, col));
    const QRect r = view->visualRect(view->model()->index(row, col));
    const QImage shot = view->viewport()->grab().toImage();
    return shot.pixelColor(r.right() - 3, r.top() + 2);
}

QColor fromBgr(int bgr) {
    return QColor(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF);
}

// Every text the window shows the user (not data, not names users gave): caption, menus, tabs, labels and
// captions, buttons and their hints, combo items, grid titles, status panels and the memo lines the program
// shows.
QStringList shownTexts(TfrmQldi05* w) {
    QStringList out;
    auto add = [&out](const QObject* from, const QString& text) {
        if (!text.trimmed().isEmpty())
            out << QStringLiteral("%1: %2").arg(from ? from->objectName() : QString(), text);
    };
    add(w, w->windowTitle());
    std::function<void(const QList<QAction*>&)> menu = [&](const QList<QAction*>& actions) {
        for (QAction* a : actions) {
            if (!a->isVisible() || a->isSeparator()) continue;
            // Saved schemes carry the names their users gave them.
            if (w->mnCondition->actions().contains(a)) continue;
            add(a, a->text());
            if (a->menu()) menu(a->menu()->actions());
        }
    };
    menu(w->MainMenu->actions());
    for (QWidget* c : w->findChildren<QWidget*>()) {
        if (!c->isVisibleTo(w) || c == w->memLNG || w->memLNG->isAncestorOf(c)) continue;
        add(c, c->toolTip());
        if (auto* control = qobject_cast<TControl*>(c)) add(c, control->Caption());
        if (auto* label = qobject_cast<QLabel*>(c)) add(c, label->text());
        if (auto* button = qobject_cast<QAbstractButton*>(c)) {
            add(c, button->text());
            if (auto* tb = qobject_cast<QToolButton*>(c); tb && tb->menu()) menu(tb->menu()->actions());
        }
        if (auto* tabs = qobject_cast<QTabBar*>(c))
            for (int i = 0; i < tabs->count(); ++i)
                if (tabs->isTabVisible(i)) add(c, tabs->tabText(i));
        if (auto* combo = qobject_cast<QComboBox*>(c); combo && !combo->isEditable())
            for (int i = 0; i < combo->count(); ++i)
                add(c, combo->itemText(i));
    }
    for (const TKvDBComboBox* combo : {w->cboMB002G, w->cboMB004G})
        for (const QString& item : combo->Items())
            add(combo, item.section('\t', 0, 0));
    QTableView* view = w->gdHead->view();
    for (int c = 0; c < view->model()->columnCount(); ++c)
        if (!view->isColumnHidden(c))
            add(w->gdHead, view->model()->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString());
    for (int i = 0; i < w->Status->Panels()->Count(); ++i)
        add(w->Status, w->Status->shownText(i));
    for (const QString& line : w->memLNG->Lines())
        add(w->memLNG, line);
    return out;
}

// Characters a Big5 interface cannot show: Chinese characters outside Big5 (the simplified forms).
QString gbOnly(const QString& text) {
    QString found;
    for (const QChar c : text)
        if (c.unicode() >= 0x3400 && kvx::codepage::encode(QString(c), 950) == "?") found += c;
    return found;
}

QString shownTextsOf(const QList<MessageRequest>& shown) {
    QStringList texts;
    for (const MessageRequest& r : shown)
        texts << r.text;
    return texts.join(" | ");
}

} // namespace

TEST_F(Qldi05Window, AQueryThroughTheDialogAndThroughASavedScheme) {
    TfrmQldi05* w = open();
    // F6: the query dialog; the general page asks for file names containing "CMS", OK by mouse.
    WhenShown<TQBEForm> query([](TQBEForm* f) {
        f->sg1->setCells(0, 1, QStringLiteral("文件名"));
        f->sg1->setCells(1, 1, QStringLiteral("包含"));
        f->sg1->setCells(2, 1, QStringLiteral("CMS"));
        f->sg1->setCells(3, 1, QStringLiteral("AND"));
        QTest::mouseClick(f->btnOK, Qt::LeftButton);
    });
    press(w, Qt::Key_F6);
    ASSERT_TRUE(query.ran);
    QStringList expected = keysWhere("MB001C LIKE '%CMS%'");
    ASSERT_FALSE(expected.isEmpty());
    EXPECT_EQ(keysOf(w), expected) << shownTextsOf(DialogService::instance().shown()).toStdString();
    EXPECT_EQ(w->pgHead->ActivePage(), w->tbsBrowse);

    // The query button's drop-down: the seeded scheme "汇出类单据" (export documents), chosen by keys.
    QAction* scheme = nullptr;
    for (QAction* a : w->btnQuery->menu()->actions())
        if (a->text().contains("汇出类单据")) scheme = a;
    ASSERT_NE(scheme, nullptr);
    WhenShown<QMenu> pick([scheme](QMenu* m) {
        m->setActiveAction(scheme);
        QTest::keyClick(m, Qt::Key_Return);
    });
    w->btnQuery->showMenu();
    ASSERT_TRUE(pick.ran);
    expected = keysWhere("MB002 = '2' AND MB004 = '2'");
    ASSERT_FALSE(expected.isEmpty());
    EXPECT_EQ(keysOf(w), expected) << shownTextsOf(DialogService::instance().shown()).toStdString();
}

TEST_F(Qldi05Window, FindLandsOnTheRecordOfTheTypedKey) {
    TfrmQldi05* w = open();
    w->pgHead->setActivePage(w->tbsBrowse);
    w->dm()->cdsMain->First();
    w->gdHead->setCurrentColumn(columnOf(w, "MB001"));
    w->gdHead->view()->setFocus();
    QString searched;
    WhenShown<TfrmSearchDlg> find([&searched](TfrmSearchDlg* d) {
        searched = d->SelectedFieldName();
        QLineEdit* edit = d->cbbText->lineEdit();
        QTest::keyClicks(edit, kExport);
        QTest::keyClick(edit, Qt::Key_Return);
        QTest::keyClick(edit, Qt::Key_Escape);
    });
    press(w, Qt::Key_F, Qt::ControlModifier);
    ASSERT_TRUE(find.ran);
    EXPECT_EQ(searched, "MB001");
    EXPECT_EQ(w->dm()->cdsMainMB001->AsString(), kExport);
    EXPECT_EQ(w->gdHead->currentRow(), rowOf(w, kExport));
    EXPECT_TRUE(DialogService::instance().shown().isEmpty())
        << shownTextsOf(DialogService::instance().shown()).toStdString();
}

TEST_F(Qldi05Window, BothExportsWriteTheSettingsCellByCell) {
    TfrmQldi05* w = open();
    TClientDataSet* cds = w->dm()->cdsMain;
    cds->FetchAll();
    const int records = cds->RecordCount();
    auto& dialogs = DialogService::instance();
    dialogs.queueAnswer(mrNo); // do not open the workbook
    w->miTable2Excel->trigger();
    dialogs.queueAnswer(mrNo);
    w->miTable2Excel2->trigger();
    const QDir folder(w->dm()->ExportFolder());
    const QStringList xlsx = folder.entryList({"QLDI05_*.xlsx"}, QDir::Files);
    const QStringList xls = folder.entryList({"QLDI05_*.xls"}, QDir::Files);
    ASSERT_EQ(xlsx.size(), 1) << shownTextsOf(dialogs.shown()).toStdString();
    ASSERT_EQ(xls.size(), 1) << shownTextsOf(dialogs.shown()).toStdString();

    // "资料转Excel": a title row of the grid's labels, then every record; the export record by its key.
    kvxtest::XlsxReader book(folder.filePath(xlsx[0]));
    ASSERT_TRUE(book.ok()) << book.error().toStdString();
    EXPECT_EQ(book.rowCount(0), records + 1);
    QMap<QString, int> at; // column of each label
    for (int c = 1; c <= 20; ++c)
        if (!book.cell(0, 1, c).value.isEmpty()) at[book.cell(0, 1, c).value] = c;
    ASSERT_TRUE(at.contains("文档编号") && at.contains("传输方式") && at.contains("文件名"))
        << QStringList(at.keys()).join(",").toStdString();
    EXPECT_FALSE(at.contains("内容")); // MB003 is not shown
    int exportRow = 0;
    for (int r = 2; r <= records + 1; ++r)
        if (book.cell(0, r, at["文档编号"]).value == kExport) exportRow = r;
    ASSERT_GT(exportRow, 0);
    EXPECT_EQ(book.cell(0, exportRow, at["文件名"]).value, cell("MB001C", kExport).toString());
    EXPECT_EQ(book.cell(0, exportRow, at["传输方式"]).value.left(1), "2");

    // "资料转Excel(不含格式)": the texts as the grid shows them.
    const std::vector<kvxtest::XlsSheet> sheets = kvxtest::readXlsWorkbook(folder.filePath(xls[0]));
    ASSERT_EQ(sheets.size(), 1u);
    const kvxtest::XlsSheet& sheet = sheets[0];
    ASSERT_EQ(int(sheet.rows), records + 1);
    QMap<QString, int> col;
    for (unsigned short c = 0; c < sheet.columns; ++c)
        col[sheet.cells[0][c].text] = c;
    ASSERT_TRUE(col.contains("文档编号") && col.contains("传输方式"));
    bool found = false;
    for (unsigned r = 1; r < sheet.rows; ++r) {
        if (sheet.cells[r][col["文档编号"]].text != kExport) continue;
        found = true;
        EXPECT_EQ(sheet.cells[r][col["传输方式"]].text, "2:汇出");
        EXPECT_EQ(sheet.cells[r][col["文件名"]].text, cell("MB001C", kExport).toString());
    }
    EXPECT_TRUE(found);
}

TEST_F(Qldi05Window, ColourRulesPaintTheGridRowsByTheirMode) {
    ASSERT_EQ(db->scalar("SELECT UD005 FROM USRDEF WHERE UD002 = 'DS' AND UD003 = 'QLDI05' AND "
                         "UD004 = 'InputSettings003'")
                  .toString()
                  .contains("<IsColorManage>True"),
              true);
    const QString import = db->scalar("SELECT MIN(MB001) FROM QLDMB WHERE MB002 = '3'").toString();
    const QString plain =
        db->scalar("SELECT MIN(MB001) FROM QLDMB WHERE MB002 = '1' AND TRIM(MB005) <> ''").toString();
    const QString noRemark =
        db->scalar("SELECT MIN(MB001) FROM QLDMB WHERE MB002 = '1' AND TRIM(MB005) = ''").toString();
    ASSERT_FALSE(import.isEmpty() || plain.isEmpty() || noRemark.isEmpty());
    TfrmQldi05* w = open();
    ASSERT_TRUE(w->ColorManage);
    ASSERT_TRUE(w->dm()->cdsMainColor->Active());
    w->pgHead->setActivePage(w->tbsBrowse);

    const Paint exp = cellPaint(w, kExport, "MB001C");
    EXPECT_EQ(exp.back, fromBgr(16771276));
    EXPECT_EQ(exp.text, fromBgr(8388608));
    const Paint imp = cellPaint(w, import, "MB001C");
    EXPECT_EQ(imp.back, fromBgr(14087638));
    EXPECT_EQ(imp.text, fromBgr(25600));
    const Paint none = cellPaint(w, noRemark, "MB001C");
    EXPECT_EQ(none.text, fromBgr(8421504));
    EXPECT_TRUE(none.font.italic());
    const Paint other = cellPaint(w, plain, "MB001C");
    EXPECT_EQ(other.back, QColor(Qt::white));
    EXPECT_EQ(other.text, QColor(Qt::black));

    // On screen, rows other than the current one.
    w->dm()->cdsMain->Locate("MB001", plain);
    QApplication::processEvents();
    EXPECT_EQ(screenColour(w, kExport, "MB001C"), fromBgr(16771276));
    EXPECT_EQ(screenColour(w, import, "MB001C"), fromBgr(14087638));
    EXPECT_NE(screenColour(w, noRemark, "MB001C"), fromBgr(14087638));

    // The edit page: the mode combo of an export record in the rule's colours.
    go(w, kExport);
    EXPECT_TRUE(w->cboMB002->Font()->font().bold());
    EXPECT_EQ(w->cboMB002->Font()->Color(), TColor(8388608));
}

TEST_F(Qldi05Window, OptionsSwitchColourManagementOffForThisProgram) {
    TfrmQldi05* w = open();
    ASSERT_TRUE(w->ColorManage);
    w->pgHead->setActivePage(w->tbsBrowse);
    ASSERT_EQ(cellPaint(w, kExport, "MB001C").back, fromBgr(16771276));
    bool wasChecked = false;
    WhenShown<TfrmOptions> options([&wasChecked](TfrmOptions* d) {
        wasChecked = d->chkColorManage->Checked();
        QTest::mouseClick(d->chkColorManage->box(), Qt::LeftButton);
        QTest::mouseClick(d->btnOK, Qt::LeftButton);
    });
    w->miOptions->trigger();
    ASSERT_TRUE(options.ran);
    EXPECT_TRUE(wasChecked);
    EXPECT_FALSE(w->ColorManage);
    EXPECT_FALSE(w->btnColorQuery->isVisible());
    // The grid is no longer painted, and the choice is stored for this program only.
    EXPECT_EQ(cellPaint(w, kExport, "MB001C").back, QColor(Qt::white));
    EXPECT_TRUE(db->scalar("SELECT UD005 FROM USRDEF WHERE UD002 = 'DS' AND UD003 = 'QLDI05' AND "
                           "UD004 = 'InputSettings003'")
                    .toString()
                    .contains("<IsColorManage>False"));
    EXPECT_FALSE(db->scalar("SELECT UD005 FROM USRDEF WHERE UD002 = 'DS' AND UD003 = '*' AND "
                            "UD004 = 'InputSettings003'")
                     .isValid());
    // A window opened afterwards starts without colour management.
    TfrmQldi05* again = open();
    EXPECT_FALSE(again->ColorManage);
}

TEST_F(Qldi05Window, WithoutExportRecordsOnlyTheNonExportProgressRunsThenTheCompletion) {
    db->exec("UPDATE QLDMB SET MB002 = '1' WHERE MB002 = '2'");
    RecordingCounter* rec = nullptr;
    TfrmQldi05* w = open(&rec);
    rec->calls.clear();
    auto& dialogs = DialogService::instance();
    dialogs.queueAnswer(mrOk);
    dialogs.queueAnswer(mrOk);
    // The progress window processes events at each step: the titles it shows are sampled there.
    std::set<QString> titles;
    int steps = 0;
    bool visibleAtCompletion = true;
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout, [&] {
        if (!w->frmStatus || !w->frmStatus->isVisible()) return;
        titles.insert(w->frmStatus->Label1->text());
        ++steps;
    });
    sampler.start(0);
    dialogs.setObserver([&](const MessageRequest& r) {
        if (r.text.contains("运行系统初始化完毕")) visibleAtCompletion = w->frmStatus->isVisible();
    });
    QTest::mouseClick(w->BtnClear, Qt::LeftButton);
    sampler.stop();
    dialogs.setObserver(nullptr);

    ASSERT_EQ(titles.size(), 1u);
    EXPECT_TRUE(titles.begin()->contains("[非汇出类]")) << titles.begin()->toStdString();
    EXPECT_GT(steps, 0);
    EXPECT_FALSE(visibleAtCompletion);
    const auto shown = dialogs.shown();
    ASSERT_EQ(shown.size(), 3) << shownTextsOf(shown).toStdString();
    EXPECT_TRUE(shown[2].text.contains("运行系统初始化完毕!"));
    const auto resets = rec->named("QLDI06");
    EXPECT_EQ(resets.size(), db->scalar("SELECT COUNT(*) FROM QLDMB WHERE MB003 <> ''").toInt());
    for (const auto& c : resets)
        EXPECT_EQ(c.params.at(1).toString(), "1");
}

TEST_F(Qldi05Window, EveryTextOfTheWindowIsInTheInterfaceLanguage) {
    for (const char* codePage : {"950", "437"}) {
        const bool english = QByteArray(codePage) == "437";
        SCOPED_TRACE(codePage);
        writeClientConfig(QString::fromLatin1(codePage));
        TfrmQldi05* w = open();
        QStringList texts;
        w->pgHead->setActivePage(w->tbsBrowse);
        texts << shownTexts(w);
        go(w, kExport);
        press(w, Qt::Key_F7);
        ASSERT_EQ(w->EditState, TfrmBase::esEdit);
        texts << shownTexts(w);
        ASSERT_GT(texts.size(), 40);
        for (const QString& t : texts) {
            if (english)
                EXPECT_FALSE(kvx::lang::HasHanCharacters(t)) << t.toStdString();
            else
                EXPECT_TRUE(gbOnly(t).isEmpty()) << t.toStdString() << " " << gbOnly(t).toStdString();
        }
        // The remark's label from the company's screen settings ("说明") in the interface's words.
        const QString label = english ? QStringLiteral("Description") : QStringLiteral("說明");
        EXPECT_EQ(w->edMB005->Caption(), label);
        EXPECT_EQ(w->dm()->cdsMainMB005->DisplayLabel(), label);
        // The colour rules' captions (the company's texts) in the colour-filter menu, worded the same way.
        ASSERT_FALSE(w->pmColorCondition->actions().isEmpty());
        EXPECT_EQ(w->pmColorCondition->actions().first()->text(),
                  english ? QStringLiteral("Export") : QStringLiteral("匯出"));
        press(w, Qt::Key_Escape);
        delete w;
    }
}

TEST_F(Qldi05Window, TheRemarkButtonShowsItsGlyphInEveryState) {
    TfrmQldi05* w = open();
    w->pgHead->setActivePage(w->tbsHead1);
    QApplication::processEvents();
    // Darker pixels inside the glyph's frame (the middle of the button, whose face is nearly white): the
    // lines of the phrase-list glyph, which its disabled (embossed) form must keep too.
    auto inner = [w] {
        const QImage shot = w->edMB005->button()->grab().toImage();
        const QPoint c = shot.rect().center();
        int n = 0;
        for (int y = c.y() - 4; y <= c.y() + 4; ++y)
            for (int x = c.x() - 4; x <= c.x() + 4; ++x) {
                const QRgb p = shot.pixel(x, y);
                n += qRed(p) + qGreen(p) + qBlue(p) < 600;
            }
        return n;
    };
    ASSERT_FALSE(w->edMB005->button()->isEnabled()); // Browse
    EXPECT_GT(inner(), 8);
    go(w, kExport);
    press(w, Qt::Key_F7);
    ASSERT_EQ(w->EditState, TfrmBase::esEdit);
    QApplication::processEvents();
    ASSERT_TRUE(w->edMB005->button()->isEnabled());
    EXPECT_GT(inner(), 8);
}

TEST_F(Qldi05Window, RowsOfLaterPacketsArePaintedToo) {
    // The last records of the table, fetched after the first packet: their colours are fetched with them.
    const QString lastImport = db->scalar("SELECT MAX(MB001) FROM QLDMB WHERE MB002 = '3'").toString();
    const QString lastExport = db->scalar("SELECT MAX(MB001) FROM QLDMB WHERE MB002 = '2'").toString();
    TfrmQldi05* w = open();
    w->pgHead->setActivePage(w->tbsBrowse);
    TClientDataSet* cds = w->dm()->cdsMain;
    const int firstPacket = cds->RecordCount();
    cds->FetchAll();
    ASSERT_GT(cds->RecordCount(), firstPacket) << "the table fits one packet";
    // Every fetched record has its colours before the cursor ever moves to one.
    EXPECT_EQ(w->dm()->cdsMainColor->RecordCount(), cds->RecordCount());
    const Paint imp = cellPaint(w, lastImport, "MB001C");
    EXPECT_EQ(imp.back, fromBgr(14087638)) << lastImport.toStdString();
    const Paint exp = cellPaint(w, lastExport, "MB001C");
    EXPECT_EQ(exp.back, fromBgr(16771276)) << lastExport.toStdString();
}
