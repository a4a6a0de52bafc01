// The program's memo: lines kept while it is hidden read back exactly as its editor would give them.
#include "program/Qldi05CF.h"

#include <QPlainTextEdit>
#include <gtest/gtest.h>

using namespace kvx;

namespace {

QStringList throughEditor(const QStringList& lines) {
    QPlainTextEdit edit;
    edit.setPlainText(lines.join('\n'));
    const QString text = edit.toPlainText();
    return text.isEmpty() ? QStringList() : text.split('\n');
}

} // namespace

TEST(Memo, HiddenLinesReadBackAsTheEditorGivesThem) {
    // Breaks and spaces the editor rewrites: CR LF, a lone CR, Unicode line and paragraph separators,
    // frame marks, no-break space; a tab and an empty line it keeps.
    const QStringList cases[] = {
        {},
        {""},
        {"", ""},
        {"系统初始化会将例行传输的信息档清空,", "运行系统初始化完毕!"},
        {"a\r\nb", "c\rd", QString("e") + QChar::LineSeparator + "f",
         QString("g") + QChar::ParagraphSeparator},
        {QString("h") + QChar(0xfdd0) + "i" + QChar(0xfdd1), QString("j") + QChar::Nbsp + "k\tl", "", "m\n"},
    };
    for (const QStringList& lines : cases) {
        SCOPED_TRACE(lines.join('|').toStdString());
        TMemo memo;
        memo.setLines(lines);
        const QStringList expected = throughEditor(lines);
        EXPECT_EQ(memo.findChild<QPlainTextEdit*>(), nullptr); // built when first shown
        EXPECT_EQ(memo.Lines(), expected);
        memo.show(); // the editor takes the text now and answers from then on
        EXPECT_EQ(memo.findChild<QPlainTextEdit*>()->toPlainText(), expected.join('\n'));
        EXPECT_EQ(memo.Lines(), expected);
    }
}

TEST(Memo, AShownMemoAnswersFromItsEditor) {
    QWidget parent;
    auto* memo = new TMemo(&parent);
    memo->setLines({"one", "two"});
    parent.show();
    auto* edit = memo->findChild<QPlainTextEdit*>();
    EXPECT_EQ(edit->toPlainText(), "one\ntwo");
    edit->appendPlainText("three"); // typed by the user
    EXPECT_EQ(memo->Lines(), QStringList({"one", "two", "three"}));
    memo->setLines({"four"}); // while shown: straight into the editor
    EXPECT_EQ(edit->toPlainText(), "four");

    memo->hide();
    memo->setLines({"five", "six"});
    EXPECT_EQ(edit->toPlainText(), "four"); // hidden: kept until shown
    EXPECT_EQ(memo->Lines(), QStringList({"five", "six"}));
    memo->show();
    EXPECT_EQ(edit->toPlainText(), "five\nsix");
}
