// Edit masks: Qt masks, masked texts, date masks by style, typing into masked edits.
#include "controls/EditMask.h"
#include "controls/KvDBEdit.h"

#include <QLineEdit>
#include <QTest>
#include <gtest/gtest.h>

using namespace kvx;

TEST(EditMask, TranslatesToQtMasks) {
    EXPECT_EQ(EditMask("99:99;1; ").qtInputMask(), "00:00; ");
    EXPECT_EQ(EditMask("###.##%;1; ").qtInputMask(), "###.##%; ");
    EXPECT_EQ(EditMask("0000-00;0;_").qtInputMask(), "9999-99;_");
    EXPECT_EQ(EditMask(">LL<ll;1;_").qtInputMask(), ">AA<aa;_");
    EXPECT_EQ(EditMask("\\A99;1; ").qtInputMask(), "\\A00; "); // an escaped mask character stays literal
    EXPECT_TRUE(EditMask("").qtInputMask().isEmpty());
    EXPECT_TRUE(EditMask("99:99;1; ").saveLiterals());
    EXPECT_FALSE(EditMask("99:99;0; ").saveLiterals());
}

TEST(EditMask, MaskedTexts) {
    const EditMask time("99:99;1; ");
    EXPECT_EQ(time.emptyMaskedText(), "  :  ");
    EXPECT_EQ(time.maskedText("12:3 "), "12:3 ");
    EXPECT_FALSE(time.hasInput("  :  "));
    EXPECT_TRUE(time.hasInput("1 :  "));
    const EditMask noLiterals("99:99;0;_");
    EXPECT_EQ(noLiterals.maskedText("12:3_"), "123 ");
}

TEST(EditMask, DateMasksByStyle) {
    EXPECT_EQ(EditMask::dateMask(1, '/'), "9999/99/99;1; ");
    EXPECT_EQ(EditMask::dateMask(2, '-'), "99-99-9999;1; ");
    EXPECT_EQ(EditMask::dateMask(3, '.'), "99.99.9999;1; ");
    EXPECT_EQ(EditMask::dateMask(4, '/'), "99/99/99;1; ");
    EXPECT_EQ(EditMask::dateMask(5, '/'), "999/99/99;1; ");
    EXPECT_EQ(EditMask::dateMask(1, '9'), "9999\\999\\999;1; "); // a separator that is a mask character
    EXPECT_EQ(EditMask::yearMonthMask(2, '/'), "99/9999;1; ");
    EXPECT_EQ(EditMask::yearMonthMask(5, '/'), "999/99;1; ");
    EXPECT_EQ(EditMask::monthDayMask('/'), "99/99;1; ");
    EXPECT_EQ(EditMask::yearMask(4), "99;1; ");
}

TEST(EditMask, TypingIntoAMaskedEdit) {
    TKvDBEdit ed;
    ed.setEditMask("99:99;1; ");
    ed.show();
    ed.editor()->setFocus();
    ed.editor()->home(false);
    QTest::keyClicks(ed.editor(), "0930");
    EXPECT_EQ(ed.Text(), "09:30");
    ed.editor()->clear();
    ed.editor()->home(false);
    QTest::keyClicks(ed.editor(), "7x");
    EXPECT_EQ(ed.Text(), "7 :  "); // letters are refused by the digit positions

    TKvDBEdit pct;
    pct.setEditMask("###.##%;1; ");
    pct.show();
    pct.editor()->setFocus();
    pct.editor()->home(false);
    QTest::keyClicks(pct.editor(), "12550");
    EXPECT_EQ(pct.Text(), "125.50%");
}
