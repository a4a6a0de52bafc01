// pellan on the sample program library (a radical window named QLDI05C.so) against the application
// server created in process: the whole chain controller -> Start -> connected data module -> caption ->
// rights, as the window reports it when shown, and the rendered window.
#include "Storage.h"
#include "TempTree.h"

#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <gtest/gtest.h>

namespace {

QString buildDir() {
    return qEnvironmentVariable("KVX_BUILD_DIR");
}

class RadicalPellan : public ::testing::Test {
protected:
    kvxtest::TempTree tree;
    kvxsrv::StorageConfig config;
    std::unique_ptr<kvxsrv::Storage> db;

    void SetUp() override {
        QFile classes(buildDir() + "/classes.ini");
        ASSERT_TRUE(classes.open(QIODevice::ReadOnly));
        QFile reg(tree.registryPath());
        ASSERT_TRUE(reg.open(QIODevice::Append));
        reg.write("\n" + classes.readAll());
        reg.close();
        config.serverPath = tree.serverPath();
        db = std::make_unique<kvxsrv::Storage>(config); // creates and seeds the database
        tree.writeText(
            "client/StaveloC.ini",
            "[Server Information]\nComputerName=127.0.0.1\n[CodePage]\nUICodePage=936\nDBCodePage=936\n");
    }

    QStringList pellan(const QStringList& args, int& exitCode, QString& err) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("KVX_CODEPAGE", "936");
        p.setProcessEnvironment(env);
        p.start(buildDir() + "/bin/pellan", args);
        if (!p.waitForFinished(120000)) {
            p.kill();
            p.waitForFinished();
            ADD_FAILURE() << "pellan did not finish";
        }
        exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        err = QString::fromUtf8(p.readAllStandardError());
        return QString::fromUtf8(p.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    }
};

TEST_F(RadicalPellan, ControllerStartsAConnectedWindowWithCaptionAndRights) {
    const QString png = tree.root() + "/radical.png";
    int rc = -1;
    QString err;
    const QStringList out =
        pellan({"--module", KVX_SAMPLE_MODULE, "--user", "CLERK", "--screenshot", png}, rc, err);
    ASSERT_EQ(rc, 0) << err.toStdString() << out.join('\n').toStdString();
    EXPECT_TRUE(out.contains("program: CLERK DEMO QLDI05 文档传输设置作业 version "))
        << out.join('\n').toStdString();

    // POWER_DATA of CLERK for QLDI05: "QLDI05,Y,Y,NYNNNNRRNNNN,NYNNNNN,NYNNNNN" -> bits 0-14, 30, 31, 34,
    // 35, 37, 38 (own edit), 47 (same-group edit), 54 (other-group edit).
    const quint64 rights = 0x7FFFull | (1ull << 30) | (1ull << 31) | (1ull << 34) | (1ull << 35) |
                           (1ull << 37) | (1ull << 38) | (1ull << 47) | (1ull << 54);
    const int records = db->scalar("SELECT COUNT(*) FROM QLDMB").toInt();
    ASSERT_GT(records, 0);
    const QString report = QStringLiteral("message: Caption=文档传输设置作业[演示公司] Rights=0x%1 SqlType=1 "
                                          "Connected=yes Records=%2")
                               .arg(rights, 0, 16)
                               .arg(records);
    EXPECT_TRUE(out.contains(report)) << out.join('\n').toStdString() << "\nwanted: " << report.toStdString();

    // The company's screen settings: edMB005 relabelled, edMB001C hidden, MB004 and MB002 at 2 and 3.
    const QStringList screens = out.filter(QRegularExpression("^message: Screen: "));
    ASSERT_EQ(screens.size(), 1) << out.join('\n').toStdString();
    EXPECT_TRUE(screens.first().startsWith("message: Screen: 说明 hidden ")) << screens.first().toStdString();
    const QStringList columns = screens.first().section("Columns=", 1).split(',');
    ASSERT_GT(columns.size(), 3);
    EXPECT_EQ(columns.indexOf("MB004"), 2) << columns.join(',').toStdString();
    EXPECT_EQ(columns.indexOf("MB002"), 3) << columns.join(',').toStdString();

    QImage image(png);
    ASSERT_FALSE(image.isNull());
    EXPECT_GE(image.width(), 300);
}

} // namespace
