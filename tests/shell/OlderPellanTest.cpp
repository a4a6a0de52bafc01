// The older program library run end to end by pellan, whose work center presents the interface version
// given on the command line: 7000 opens the program, 7100 and the shell's own 8000 are refused with the
// older build's one message.
#include "PellanProcess.h"
#include "TempTree.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <gtest/gtest.h>

namespace {

using kvxtest::buildDir;
using kvxtest::PellanRun;

const QString kRefused = "PellanWorkCenter version too old,please update!";

class OlderPellan : public ::testing::Test {
protected:
    kvxtest::TempTree tree;

    void SetUp() override {
        ASSERT_FALSE(buildDir().isEmpty());
        kvxtest::registerBuiltClasses(tree);
        // The older library installed under the same name in the client folder.
        QDir().mkpath(tree.clientPath() + "C_PKG");
        ASSERT_TRUE(
            QFile::link(buildDir() + "/lib/older/QLDI05C.so", tree.clientPath() + "C_PKG/QLDI05C.so"));
        tree.writeText("client/StaveloC.ini", "[Server Information]\nComputerName=127.0.0.1\n"
                                              "[CodePage]\nUICodePage=936\nDBCodePage=936\n");
    }

    PellanRun pellan(const QStringList& args) { return kvxtest::runPellan(args); }
};

} // namespace

TEST_F(OlderPellan, ASeventyThousandWorkCenterOpensTheOlderProgram) {
    const QString png = tree.root() + "/older.png";
    const PellanRun r = pellan({"--dependency-version", "7000", "--screenshot", png});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString() << r.out.join('\n').toStdString();
    EXPECT_TRUE(r.out.contains("program: DS DEMO QLDI05 文档传输设置作业 version 881213-1.00.00"))
        << r.out.join('\n').toStdString();
    EXPECT_EQ(r.out.filter(QRegularExpression("^notify ")).mid(0, 2),
              QStringList({"notify 0x100 256 created", "notify 0x110 272 shown"}));
    EXPECT_TRUE(r.out.filter(QRegularExpression("^message: ")).isEmpty()) << r.out.join('\n').toStdString();
    const QImage shot(png);
    EXPECT_GE(shot.width(), 555);
    EXPECT_GE(shot.height(), 319);
}

TEST_F(OlderPellan, TheNextSeriesAndTheCurrentVersionAreRefusedWithOneMessage) {
    for (const QStringList& args : {QStringList{"--dependency-version", "7100"}, QStringList{}}) {
        SCOPED_TRACE(args.join(' ').toStdString());
        const PellanRun r = pellan(args + QStringList{"--screenshot", tree.root() + "/refused.png"});
        EXPECT_NE(r.exitCode, 0);
        EXPECT_EQ(r.out.filter(QRegularExpression("^message: ")), QStringList({"message: " + kRefused}))
            << r.out.join('\n').toStdString();
        EXPECT_TRUE(r.err.contains("pellan: " + kRefused)) << r.err.toStdString();
        // The window was never given the work center: no "created" notification.
        EXPECT_TRUE(r.out.filter("notify 0x100").isEmpty()) << r.out.join('\n').toStdString();
    }
}

TEST_F(OlderPellan, TheVersionOptionTakesOnlyANumber) {
    const PellanRun r = pellan({"--dependency-version", "seventy"});
    EXPECT_NE(r.exitCode, 0);
    EXPECT_TRUE(r.err.contains("--dependency-version needs a number")) << r.err.toStdString();
}
