// The daemon over TLS: certificates made by a CA of the test's own (openssl command line), a client that
// verifies the server's certificate, and clear refusals when one side speaks TLS and the other does not.
#include "ServerEnv.h"
#include "ServerTls.h"
#include "platform/Automation.h"
#include "platform/SocketConnection.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSslCertificate>
#include <QSslKey>
#include <QTcpSocket>
#include <QTemporaryDir>

using kvx::Variant;

namespace {

bool openssl(const QStringList& args, const QString& dir) {
    QProcess p;
    p.setWorkingDirectory(dir);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start("openssl", args);
    if (!p.waitForFinished(60000) || p.exitCode() != 0) {
        ADD_FAILURE() << "openssl " << args.join(' ').toStdString() << ": " << p.readAll().toStdString();
        return false;
    }
    return true;
}

void writeFile(const QString& path, const QByteArray& text, bool append = false) {
    QFile f(path);
    ASSERT_TRUE(f.open(append ? QIODevice::Append : QIODevice::WriteOnly)) << path.toStdString();
    f.write(text);
}

// A CA ("ca.pem", "ca.key") and a server certificate it signed for 127.0.0.1 and localhost
// ("server.pem", "server.key"), plus a CA that signed nothing ("other-ca.pem").
struct Certificates {
    QTemporaryDir dir;
    bool made = false;
    Certificates() {
        const QString d = dir.path();
        const QStringList ec{"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"};
        auto ca = [&](const QString& name, const QString& cn) {
            return openssl(QStringList{"req", "-x509"} + ec +
                               QStringList{"-keyout", name + ".key", "-out", name + ".pem", "-days", "2",
                                           "-subj", "/CN=" + cn, "-addext",
                                           "basicConstraints=critical,CA:TRUE", "-addext",
                                           "keyUsage=critical,keyCertSign,cRLSign"},
                           d);
        };
        writeFile(d + "/server.ext", "basicConstraints=CA:FALSE\n"
                                     "keyUsage=critical,digitalSignature,keyAgreement\n"
                                     "extendedKeyUsage=serverAuth\n"
                                     "subjectAltName=IP:127.0.0.1,DNS:localhost\n");
        made =
            ca("ca", "KVX Test CA") && ca("other-ca", "Other Test CA") &&
            openssl(QStringList{"req"} + ec +
                        QStringList{"-keyout", "server.key", "-out", "server.csr", "-subj", "/CN=localhost"},
                    d) &&
            openssl({"x509", "-req", "-in", "server.csr", "-CA", "ca.pem", "-CAkey", "ca.key",
                     "-CAcreateserial", "-out", "server.pem", "-days", "2", "-extfile", "server.ext"},
                    d);
        QFile::setPermissions(d + "/server.key", QFile::ReadOwner | QFile::WriteOwner);
    }
    QString path(const QString& name) const { return dir.filePath(name); }
};

// Names the certificate and key in [TLS] of the StaveloS.ini the daemon of `dbFile` reads.
void configureTls(const QString& dbFile, const Certificates& certs, const QString& extra = {}) {
    writeFile(QFileInfo(dbFile).dir().filePath("StaveloS.ini"),
              ("\n[TLS]\nCertificate=" + certs.path("server.pem") + "\nKey=" + certs.path("server.key") +
               "\n" + extra + "\n")
                  .toUtf8(),
              true);
}

kvx::ClientTls trusting(const QString& caFile, const QString& peer = {}) {
    return {true, caFile, peer};
}

// Opens the program server over the socket with `tls`; the error text when refused, else "" (and the
// connection stays in `c`).
QString openWith(kvx::SocketConnection& c, int port, const kvx::ClientTls& tls) {
    c.setAddress("127.0.0.1");
    c.setPort(port);
    c.setServerName("TRIVON.Class1");
    c.setTls(tls);
    c.setTimeoutMs(20000);
    try {
        c.open();
        return {};
    } catch (const kvx::AutomationError& e) {
        return QString::fromUtf8(e.what());
    }
}

int fetchedRows(kvx::SocketConnection& c) {
    if (c.appServer()
            ->call("Connect", {Variant::fromList({"QLDI05", "DS", "DEMO", "DEMO", true, false})})
            .toInt() != 0)
        return -1;
    c.providers()->dataRequest("pvdMain", kvx::DataRequest{"All", "MB001", {}}.toVariant());
    return int(c.providers()->getRecords("pvdMain", -1).rows.size());
}

int stored(const apptest::ServerEnv& env) {
    kvxsrv::Storage s(env.config);
    return s.scalar("SELECT COUNT(*) FROM QLDMB").toInt();
}

} // namespace

TEST(Tls, AVerifiedServerServesSignInAndDataAndOthersAreRefused) {
    APPTEST_SQLITE_ONLY(); // the transport is the same on every engine
    Certificates certs;
    ASSERT_TRUE(certs.made);
    apptest::ServerEnv env;
    configureTls(env.dbFile(), certs);
    apptest::DaemonProcess daemon;
    ASSERT_TRUE(daemon.start(env.dbFile())) << daemon.errors().toStdString();

    {
        kvx::SocketConnection c;
        ASSERT_EQ(openWith(c, daemon.port(), trusting(certs.path("ca.pem"))), "");
        EXPECT_EQ(fetchedRows(c), stored(env)) << "sign-in, Connect and a fetch over TLS";
    }
    {
        // The certificate names localhost too; the peer name is what is checked, not the address.
        kvx::SocketConnection c;
        EXPECT_EQ(openWith(c, daemon.port(), trusting(certs.path("ca.pem"), "localhost")), "");
    }
    {
        kvx::SocketConnection c;
        const QString why = openWith(c, daemon.port(), trusting(certs.path("other-ca.pem")));
        EXPECT_TRUE(why.contains("failed the certificate check")) << why.toStdString();
        EXPECT_FALSE(c.connected());
    }
    {
        // The system's store does not know the test's CA.
        kvx::SocketConnection c;
        const QString why = openWith(c, daemon.port(), trusting({}));
        EXPECT_TRUE(why.contains("failed the certificate check")) << why.toStdString();
    }
    {
        kvx::SocketConnection c;
        const QString why = openWith(c, daemon.port(), trusting(certs.path("ca.pem"), "erp.example.com"));
        EXPECT_TRUE(why.contains("failed the certificate check")) << why.toStdString();
    }
    {
        kvx::SocketConnection c;
        const QString why = openWith(c, daemon.port(), trusting(certs.path("missing.pem")));
        EXPECT_TRUE(why.contains("Cannot read the CA file")) << why.toStdString();
    }
    {
        kvx::SocketConnection c;
        const QString why = openWith(c, daemon.port(), {});
        EXPECT_TRUE(why.contains("accepts only TLS")) << why.toStdString();
        EXPECT_FALSE(c.connected());
    }
    {
        // What a plain client sees on the wire: one error line, then the end of the connection.
        QTcpSocket raw;
        raw.connectToHost("127.0.0.1", quint16(daemon.port()));
        ASSERT_TRUE(raw.waitForConnected(5000));
        raw.write(R"({"jsonrpc":"2.0","method":"login","params":{"user":"DS","password":"x"},"id":1})"
                  "\n");
        QByteArray got;
        while (!got.contains('\n') && raw.waitForReadyRead(10000))
            got += raw.readAll();
        const QJsonObject err = QJsonDocument::fromJson(got.left(got.indexOf('\n'))).object();
        EXPECT_EQ(err.value("error").toObject().value("code").toInt(), -32006) << got.toStdString();
        EXPECT_TRUE(err.value("id").isNull());
    }
    // The refused and failed connections left the daemon serving.
    kvx::SocketConnection again;
    ASSERT_EQ(openWith(again, daemon.port(), trusting(certs.path("ca.pem"))), "");
    EXPECT_EQ(fetchedRows(again), stored(env));
}

TEST(Tls, WithTlsOptionalBothKindsOfClientAreServed) {
    APPTEST_SQLITE_ONLY(); // the transport is the same on every engine
    Certificates certs;
    ASSERT_TRUE(certs.made);
    apptest::ServerEnv env;
    configureTls(env.dbFile(), certs, "Required=N");
    apptest::DaemonProcess daemon;
    ASSERT_TRUE(daemon.start(env.dbFile()));
    kvx::SocketConnection secure, plain;
    ASSERT_EQ(openWith(secure, daemon.port(), trusting(certs.path("ca.pem"))), "");
    ASSERT_EQ(openWith(plain, daemon.port(), {}), "");
    EXPECT_EQ(fetchedRows(secure), stored(env));
    EXPECT_EQ(fetchedRows(plain), stored(env));
}

TEST(Tls, ATlsClientOfAPlainServerIsToldAtOnce) {
    Certificates certs;
    ASSERT_TRUE(certs.made);
    apptest::ServerEnv env;
    apptest::DaemonProcess daemon;
    ASSERT_TRUE(daemon.start(env.dbFile()));
    kvx::SocketConnection c;
    QElapsedTimer t;
    t.start();
    const QString why = openWith(c, daemon.port(), trusting(certs.path("ca.pem")));
    EXPECT_TRUE(why.contains("does it use TLS")) << why.toStdString();
    EXPECT_LT(t.elapsed(), 15000) << "not left to the handshake's time limit";
}

TEST(Tls, AServerWithAnUnusableCertificateOrKeyDoesNotStart) {
    APPTEST_SQLITE_ONLY(); // the transport is the same on every engine
    Certificates certs;
    ASSERT_TRUE(certs.made);
    auto startWith = [&](const QString& section) {
        apptest::ServerEnv env;
        writeFile(QFileInfo(env.dbFile()).dir().filePath("StaveloS.ini"), ("\n[TLS]\n" + section).toUtf8(),
                  true);
        QProcess p;
        p.start(KVX_APPSERVER_BIN, {"--listen", "127.0.0.1:0", "--db", env.dbFile()});
        const bool ended = p.waitForFinished(30000);
        if (!ended) p.kill();
        return ended && p.exitCode() == 1 ? QString::fromUtf8(p.readAllStandardError()) : QString();
    };
    EXPECT_TRUE(startWith("Certificate=" + certs.path("server.pem") + "\n").contains("no Key"));
    EXPECT_TRUE(
        startWith("Certificate=" + certs.path("server.pem") + "\nKey=" + certs.path("server.csr") + "\n")
            .contains("private key"));
    EXPECT_TRUE(
        startWith("Certificate=" + certs.path("none.pem") + "\nKey=" + certs.path("server.key") + "\n")
            .contains("Cannot read the TLS certificate"));
}

TEST(Tls, ConfigurationFilesNameTheFilesRelativeToTheirFolder) {
    Certificates certs;
    ASSERT_TRUE(certs.made);
    writeFile(certs.path("StaveloC.ini"),
              "[Server Information]\nComputerName=erp.example.com\nTls=Y\nTlsCaFile=ca.pem\n"
              "TlsPeerName=erp\n");
    const kvx::ClientTls c = kvx::readClientTls(certs.path("StaveloC.ini"));
    EXPECT_TRUE(c.enabled);
    EXPECT_EQ(QFileInfo(c.caFile).canonicalFilePath(), QFileInfo(certs.path("ca.pem")).canonicalFilePath());
    EXPECT_EQ(c.peerName, "erp");
    writeFile(certs.path("plain.ini"), "[Server Information]\nComputerName=erp\n");
    EXPECT_EQ(kvx::readClientTls(certs.path("plain.ini")), kvx::ClientTls{});

    writeFile(certs.path("StaveloS.ini"), "[TLS]\nCertificate=server.pem\nKey=server.key\nRequired=N\n");
    const auto s = kvxsrv::ServerTls::fromIni(certs.path("StaveloS.ini"));
    ASSERT_TRUE(s);
    EXPECT_FALSE(s->required);
    EXPECT_EQ(s->configuration.localCertificate().subjectInfo(QSslCertificate::CommonName),
              QStringList{"localhost"});
    EXPECT_FALSE(s->configuration.privateKey().isNull());
    writeFile(certs.path("none.ini"), "[Limits]\nQuerySeconds=2\n");
    EXPECT_EQ(kvxsrv::ServerTls::fromIni(certs.path("none.ini")), nullptr);
}
