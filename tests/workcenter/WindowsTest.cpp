// The lookup and phrase windows driven offscreen with keys and mouse, as a user would.
#include "services/LookupWindow.h"
#include "services/PhraseWindow.h"

#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>
#include <stdexcept>

using pellan::LookupWindow;
using pellan::PhraseWindow;

namespace {
QList<QStringList> customers() {
    return {{"C001", "华东电子", "RMB"},
            {"C002", "鸿达贸易", "RMB"},
            {"C003", "Pacific", "USD"},
            {"C010", "Pacifica", "USD"}};
}

// Opens the window modally, lets `drive` act on it once shown, and returns exec()'s result.
// A window the drive left open is rejected, so that a failing test cannot hang.
int runModal(QDialog& w, const std::function<void()>& drive) {
    QTimer::singleShot(0, &w, [&w, drive] {
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&w));
        drive();
        if (w.isVisible()) w.reject();
    });
    return w.exec();
}

class MemoryPhrases : public pellan::PhraseStore {
public:
    QStringList items{"按总部通知执行", "各厂自行维护", "暂不传输"};
    bool failing = false;
    QStringList phrases() override {
        if (failing) throw std::runtime_error("server gone");
        return items;
    }
    void add(const QString& p) override {
        if (failing) throw std::runtime_error("server gone");
        items << p;
    }
    void remove(const QString& p) override { items.removeAll(p); }
};
} // namespace

TEST(LookupWindow, TypingNarrowsTheGridAndEnterPicksTheFirstMatch) {
    LookupWindow w("开窗", {"编号", "简称", "币别"}, customers());
    EXPECT_EQ(w.visibleRowCount(), 4);
    const int rc = runModal(w, [&] {
        QTest::keyClicks(w.searchBox(), "pacif");
        EXPECT_EQ(w.visibleRowCount(), 2); // any column, any case
        QTest::keyClick(w.searchBox(), Qt::Key_Return);
    });
    EXPECT_EQ(rc, QDialog::Accepted);
    EXPECT_EQ(w.chosenRow(), (QStringList{"C003", "Pacific", "USD"}));
    EXPECT_EQ(w.chosenIndex(), 2);
}

TEST(LookupWindow, ArrowKeysMoveThroughTheFilteredRowsAndStopAtTheEnd) {
    LookupWindow w("开窗", {"编号", "简称"}, customers());
    runModal(w, [&] {
        QTest::keyClicks(w.searchBox(), "RMB");
        QTest::keyClick(w.searchBox(), Qt::Key_Down);
        QTest::keyClick(w.searchBox(), Qt::Key_Down); // already on the last match
        QTest::keyClick(w.searchBox(), Qt::Key_Enter);
    });
    EXPECT_EQ(w.chosenRow().value(0), "C002");
}

TEST(LookupWindow, DoubleClickPicksTheRowUnderTheMouse) {
    LookupWindow w("开窗", {"编号", "简称"}, customers());
    runModal(w, [&] {
        QTableView* g = w.grid();
        const QRect cell = g->visualRect(g->model()->index(3, 1));
        ASSERT_TRUE(cell.isValid());
        QTest::mouseClick(g->viewport(), Qt::LeftButton, {}, cell.center());
        QTest::mouseDClick(g->viewport(), Qt::LeftButton, {}, cell.center());
    });
    EXPECT_EQ(w.chosenRow().value(0), "C010");
}

TEST(LookupWindow, EscCancelsAndEnterWithoutMatchPicksNothing) {
    LookupWindow w("开窗", {"编号"}, customers());
    const int rc = runModal(w, [&] {
        QTest::keyClicks(w.searchBox(), "no such text");
        EXPECT_EQ(w.visibleRowCount(), 0);
        QTest::keyClick(w.searchBox(), Qt::Key_Return); // nothing to pick: the window stays
        EXPECT_TRUE(w.isVisible());
        QTest::keyClick(w.searchBox(), Qt::Key_Escape);
    });
    EXPECT_EQ(rc, QDialog::Rejected);
    EXPECT_TRUE(w.chosenRow().isEmpty());
    EXPECT_EQ(w.chosenIndex(), -1);
}

TEST(PhraseWindow, StartsWithTheFieldTextAndPicksAMatchingPhrase) {
    MemoryPhrases store;
    PhraseWindow w(store, "自行");
    EXPECT_EQ(w.shownPhrases(), QStringList{"各厂自行维护"});
    runModal(w, [&] { QTest::keyClick(w.textBox(), Qt::Key_Return); });
    EXPECT_EQ(w.chosenText(), "各厂自行维护");
}

TEST(PhraseWindow, TypedTextWithoutMatchIsTakenAndCanBeStored) {
    MemoryPhrases store;
    PhraseWindow w(store, "");
    runModal(w, [&] {
        w.textBox()->clear();
        w.textBox()->insert("月底前汇出");     // typed through an input method
        EXPECT_EQ(w.shownPhrases().size(), 3); // no match: the whole list stays in view
        QTest::mouseClick(w.addButton(), Qt::LeftButton);
        EXPECT_TRUE(store.items.contains("月底前汇出"));
        EXPECT_EQ(w.shownPhrases(), QStringList{"月底前汇出"});
        QTest::mouseClick(w.addButton(), Qt::LeftButton); // no duplicate
        EXPECT_EQ(store.items.count("月底前汇出"), 1);
        QTest::keyClick(w.textBox(), Qt::Key_Return);
    });
    EXPECT_EQ(w.chosenText(), "月底前汇出");
}

TEST(PhraseWindow, DeleteRemovesTheSelectedPhraseAndEscCancels) {
    MemoryPhrases store;
    PhraseWindow w(store, "");
    const int rc = runModal(w, [&] {
        w.list()->setCurrentRow(1);
        QTest::mouseClick(w.deleteButton(), Qt::LeftButton);
        QTest::keyClick(w.textBox(), Qt::Key_Escape);
    });
    EXPECT_EQ(rc, QDialog::Rejected);
    EXPECT_EQ(store.items, (QStringList{"按总部通知执行", "暂不传输"}));
    EXPECT_TRUE(w.chosenText().isEmpty());
}

TEST(PhraseWindow, AStoreFailureIsShownAndNothingIsAdded) {
    MemoryPhrases store;
    PhraseWindow w(store, "新的常用语");
    store.failing = true;
    QTest::mouseClick(w.addButton(), Qt::LeftButton);
    EXPECT_EQ(w.lastError(), "server gone");
    EXPECT_FALSE(store.items.contains("新的常用语"));
}
