// The shell pellan run as a process on a temporary installation tree.
#include "PellanProcess.h"
#include "TempTree.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <gtest/gtest.h>

namespace {

using kvxtest::buildDir;
using kvxtest::PellanRun;

class PellanTest : public ::testing::Test {
protected:
    kvxtest::TempTree tree;

    void SetUp() override { ASSERT_FALSE(buildDir().isEmpty()); }

    // Adds the build's program identifiers (the work center) to the tree's registry file.
    void registerBuiltClasses() { kvxtest::registerBuiltClasses(tree); }

    PellanRun pellan(const QStringList& args, const QString& workingDir = {},
                     const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment()) {
        return kvxtest::runPellan(args, env, workingDir);
    }

    QString testModule() const { return buildDir() + "/lib/QLDI99C.so"; }

    // QLDI05C.so in the client folder, its servers in process (127.0.0.1).
    void installRealModule() {
        registerBuiltClasses();
        QDir().mkpath(tree.clientPath() + "C_PKG");
        ASSERT_TRUE(QFile::link(buildDir() + "/lib/QLDI05C.so", tree.clientPath() + "C_PKG/QLDI05C.so"));
        tree.writeText("client/StaveloC.ini", "[Server Information]\nComputerName=127.0.0.1\n"
                                              "[CodePage]\nUICodePage=936\nDBCodePage=936\n");
    }
};

} // namespace

TEST_F(PellanTest, RealModuleFromTheClientFolderOpensTheProgramAndRendersIt) {
    installRealModule();
    const QString png = tree.root() + "/program.png";
    const PellanRun r = pellan({"--screenshot", png});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString() << r.out.join('\n').toStdString();
    EXPECT_TRUE(r.out.contains("program: DS DEMO QLDI05 文档传输设置作业 version 881213-1.00.00"))
        << r.out.join('\n').toStdString();
    EXPECT_EQ(r.notifications().mid(0, 2),
              QStringList({"notify 0x100 256 created", "notify 0x110 272 shown"}));
    // Rendered in browse state: the window, not an error box (no message was shown).
    EXPECT_TRUE(r.out.filter(QRegularExpression("^message: ")).isEmpty()) << r.out.join('\n').toStdString();
    const QImage shot(png);
    EXPECT_GE(shot.width(), 555);
    EXPECT_GE(shot.height(), 319);

    // The start-up measurement's report: "painted" once the window has painted itself, then it closes.
    const PellanRun timed = pellan({"--first-paint"});
    EXPECT_EQ(timed.exitCode, 0) << timed.err.toStdString();
    EXPECT_EQ(timed.out.filter("painted").size(), 1) << timed.out.join('\n').toStdString();
}

// What the dynamic loader maps up to the first paint of the program: its libraries and the in-process
// server, but neither QtNetwork (the socket client is loaded only for a remote server) nor the image-format
// plugins (the button images and the menu bar's arrow are read as PNG without probing them).
TEST_F(PellanTest, ProgramStartedInProcessLoadsNeitherNetworkNorImagePlugins) {
    installRealModule();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("LD_DEBUG", "files");
    env.insert("LD_DEBUG_OUTPUT", tree.root() + "/ld");
    const PellanRun r = pellan({"--first-paint"}, {}, env);
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.out.filter("painted").size(), 1) << r.out.join('\n').toStdString();
    QByteArray loaded;
    for (const QFileInfo& f : QDir(tree.root()).entryInfoList({"ld.*"}, QDir::Files)) {
        QFile log(f.filePath());
        ASSERT_TRUE(log.open(QIODevice::ReadOnly));
        loaded += log.readAll();
    }
    for (const char* expected : {"libQt6Widgets.so", "/QLDI05C.so", "/libkvxappserver.so", "/libqsqlite.so"})
        EXPECT_TRUE(loaded.contains(expected)) << expected;
    for (const char* unwanted : {"libQt6Network.so", "libkvxremote.so", "/imageformats/", "libjpeg.so"})
        EXPECT_FALSE(loaded.contains(unwanted)) << unwanted;
}

TEST_F(PellanTest, ShowsTheWindowReportsItsLifeAndRendersIt) {
    registerBuiltClasses();
    const QString png = tree.root() + "/shot.png";
    const PellanRun r =
        pellan({"--module", testModule(), "--user", "U1", "--company", "C1", "--db", "D1", "--open-mode",
                "10", "--rights", "0x0", "--open-param", "MB001='X'", "--screenshot", png});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString() << r.out.join('\n').toStdString();
    EXPECT_EQ(r.notifications(),
              QStringList({"notify 0x100 256 created", "notify 0x110 272 shown", "notify 0x140 320 closed",
                           "notify 0x120 288 hidden", "notify 0x130 304 destroyed"}));
    // The window received the login parameters, the module's own path, the open mode, rights and parameter.
    EXPECT_TRUE(r.out.contains("program: U1 C1 QLDI99C Test program version 990101-1.00.00"))
        << r.out.join('\n').toStdString();
    EXPECT_TRUE(
        r.out.contains("message: RunMode=9 CommandMask=0x100 InitCondition=MB001='X' Caption=Test [U1]"))
        << r.out.join('\n').toStdString();
    EXPECT_TRUE(r.out.contains("result: 2 returned")) << r.out.join('\n').toStdString();

    const QStringList shots = r.out.filter(QRegularExpression("^screenshot: "));
    ASSERT_EQ(shots.size(), 1);
    QImage image(png);
    ASSERT_FALSE(image.isNull());
    EXPECT_TRUE(shots.first().endsWith(QStringLiteral(" %1x%2").arg(image.width()).arg(image.height())));
    EXPECT_GE(image.width(), 100);
    // Something was drawn: not every pixel has the same colour.
    const QRgb first = image.pixel(0, 0);
    bool varied = false;
    for (int y = 0; y < image.height() && !varied; y += 2)
        for (int x = 0; x < image.width() && !varied; x += 2)
            varied = image.pixel(x, y) != first;
    EXPECT_TRUE(varied);
}

TEST_F(PellanTest, ModalRunEndsWithCloseThenDestroy) {
    registerBuiltClasses();
    const PellanRun r = pellan({"--module", testModule(), "--modal", "--open-mode", "7", "--screenshot",
                                tree.root() + "/modal.png"});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QStringList n = r.notifications();
    ASSERT_GE(n.size(), 3);
    EXPECT_EQ(n.first(), "notify 0x100 256 created");
    EXPECT_EQ(n.mid(n.size() - 2), QStringList({"notify 0x140 320 closed", "notify 0x130 304 destroyed"}));
    EXPECT_TRUE(r.out.contains("modal result: returned")) << r.out.join('\n').toStdString();
    EXPECT_TRUE(r.out.contains("result: 1 returned")) << r.out.join('\n').toStdString(); // open mode 7
    // Defaults of the login.
    EXPECT_TRUE(r.out.contains("program: DS DEMO QLDI99C Test program version 990101-1.00.00"));
}

TEST_F(PellanTest, ARelativeModulePathStillNamesTheProgram) {
    registerBuiltClasses();
    const PellanRun r =
        pellan({"--module", "lib/QLDI99C.so", "--screenshot", tree.root() + "/rel.png"}, buildDir());
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains("program: DS DEMO QLDI99C Test program version 990101-1.00.00"))
        << r.out.join('\n').toStdString();
}

TEST_F(PellanTest, FailuresArePrintedAndExitNonZero) {
    // No work center registered.
    PellanRun r = pellan({"--module", testModule()});
    EXPECT_NE(r.exitCode, 0);
    EXPECT_TRUE(
        r.err.contains("cannot create the work center PellanWorkCenter.Manager: Invalid class string"))
        << r.err.toStdString();

    registerBuiltClasses();
    r = pellan({"--module", tree.root() + "/missing.so"});
    EXPECT_NE(r.exitCode, 0);
    EXPECT_TRUE(r.err.contains("cannot load " + tree.root() + "/missing.so")) << r.err.toStdString();

    r = pellan({"--module", testModule(), "--open-mode", "seven"});
    EXPECT_NE(r.exitCode, 0);
    EXPECT_TRUE(r.err.contains("--open-mode needs a number")) << r.err.toStdString();

    // No module given and no client folder registered.
    kvxtest::TempTree bare(false);
    r = pellan({});
    EXPECT_NE(r.exitCode, 0);
    EXPECT_TRUE(r.err.contains("no --module given")) << r.err.toStdString();
}
