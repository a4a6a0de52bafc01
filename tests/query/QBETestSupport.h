// Fixture of the dialog tests: a temporary installation with the module's language packages, the test
// owner window and its dialog, and helpers that act on the dialog as a user does.
#pragma once

#include "TempTree.h"
#include "TestQBEWindow.h"
#include "controls/ExtPageControl.h"
#include "controls/StringAlignGrid.h"
#include "platform/DialogService.h"
#include "query/KvQBE.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QTableWidget>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

class QBEFixture : public ::testing::Test {
public:
    using Options = TestQBEWindow::Options;

protected:
    kvxtest::ScopedEnv sysCodePage{"KVX_CODEPAGE", "936"};
    kvxtest::TempTree tree;
    std::unique_ptr<TestQBEWindow> window;
    kvx::TQBEForm* form = nullptr;

    void SetUp() override {
        kvx::DialogService::instance().setScripted(true);
        kvx::DialogService::instance().clear();
        setUICodePage("936");
    }
    void TearDown() override {
        window.reset();
        kvx::DialogService::instance().clear();
    }

    void setUICodePage(const QString& cp) {
        tree.writeText("client/StaveloC.ini", QString("[CodePage]\nUICodePage=%1\nDBCodePage=936\n").arg(cp));
        const QString src = qEnvironmentVariable("KVX_SOURCE_DIR");
        for (const QString& folder : {src + "/src/lang/MultiLanguage", src + "/src/query/MultiLanguage"})
            for (const QString& code : QDir(folder).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
                for (const QString& f : QDir(folder + '/' + code).entryList({"*.Lng"})) {
                    QDir(tree.clientPath()).mkpath("MultiLanguage/" + code);
                    const QString target = tree.clientPath() + "MultiLanguage/" + code + '/' + f;
                    QFile::remove(target);
                    QFile::copy(folder + '/' + code + '/' + f, target);
                }
    }

    void open(const QString& keys = "MB001", const QString& select = "", Options o = Options{}) {
        window = std::make_unique<TestQBEWindow>(o);
        form = TKVForm::Create<kvx::TQBEForm>(window.get(), window.get());
        configure(*window);
        form->InitQuery(window->cdsMain, "QLDMB", false, select, keys);
        form->show();
        QApplication::setActiveWindow(form);
        form->activateWindow();
        grid()->table()->setFocus();
    }
    // Settings the test chose before open() are kept on the new window.
    virtual void configure(TestQBEWindow& w) {
        w.dateFormat = pendingDateFormat;
        w.sqlType = pendingSqlType;
    }
    int pendingDateFormat = 1;
    int pendingSqlType = 0;

    kvx::TStringAlignGrid* grid() const { return form->sg1; }
    QWidget* focus() const { return QApplication::focusWidget(); }
    kvx::DialogService& dialogs() const { return kvx::DialogService::instance(); }
    void key(int k, Qt::KeyboardModifiers m = Qt::NoModifier) {
        QWidget* w = focus();
        QTest::keyClick(w ? w : grid()->table(), Qt::Key(k), m);
    }
    void selectCell(int col, int row) {
        QTableWidget* t = grid()->table();
        if (focus() != t && !t->isAncestorOf(focus())) t->setFocus();
        if (t->currentRow() == row && t->currentColumn() == col) {
            if (!t->isAncestorOf(focus())) t->edit(t->currentIndex());
        } else {
            t->setCurrentCell(row, col);
        }
    }
    // Chooses a field in column 0 of a row and leaves the cell with Tab, as a user does.
    void pickField(int row, const QString& caption) {
        selectCell(0, row);
        auto* combo = qobject_cast<QComboBox*>(focus());
        ASSERT_TRUE(combo) << "no field drop-down in row " << row << " focus "
                           << (focus() ? focus()->metaObject()->className() : "none") << " active "
                           << (QApplication::activeWindow()
                                   ? QApplication::activeWindow()->metaObject()->className()
                                   : "none")
                           << " cur " << grid()->Row() << "," << grid()->Col();
        const int i = combo->findText(caption);
        ASSERT_GE(i, 0) << caption.toStdString();
        combo->setCurrentIndex(i);
        key(Qt::Key_Tab);
    }
    // Fills a row by program (the state a user leaves behind) with the value cell prepared for the field.
    void fillRow(int row, const QString& caption, const QString& op, const QString& value,
                 const QString& conn) {
        grid()->setCells(0, row, caption);
        grid()->setCells(1, row, op);
        grid()->setCells(2, row, value);
        grid()->setCells(3, row, conn);
    }
    void showPage(kvx::TTabSheet* page) { form->pgQBE->setActivePage(page); }
    void chooseAdvancedField(const QString& fieldName) {
        const int i = form->AdvancedFieldNames().indexOf(fieldName);
        ASSERT_GE(i, 0) << fieldName.toStdString();
        form->cboField->setCurrentIndex(i);
        form->cboFieldChange();
    }
};
