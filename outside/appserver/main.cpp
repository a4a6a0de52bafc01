// kvx-appserver [--listen ADDRESS:PORT] [--db FILE|URI | --server-path DIR] [--init | --copy-to URI]
// Serves the program server objects over JSON-RPC 2.0 (docs/protocol.md). Listens on 127.0.0.1:211
// unless told otherwise, over TLS when [TLS] of StaveloS.ini names a certificate; SIGTERM and SIGINT stop it
// after the running requests have finished.
#include "CopyDatabase.h"
#include "Daemon.h"
#include "Passwords.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHostAddress>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <sys/socket.h>
#include <unistd.h>

namespace {
int signalPipe[2] = {-1, -1};

void onSignal(int) {
    const char c = 1;
    [[maybe_unused]] ssize_t n = ::write(signalPipe[1], &c, 1);
}
} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kvx-appserver"));
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Application server of the KVX stand-in (JSON-RPC over TCP)"));
    parser.addHelpOption();
    parser.addOption({QStringLiteral("listen"),
                      QStringLiteral("Address and port to listen on (default 127.0.0.1:211)."),
                      QStringLiteral("ADDRESS:PORT"), QStringLiteral("127.0.0.1:211")});
    parser.addOption(
        {QStringLiteral("db"),
         QStringLiteral("Database file, or postgresql://[user@][host][:port]/database[?host=DIR]."),
         QStringLiteral("FILE|URI")});
    parser.addOption(
        {QStringLiteral("server-path"),
         QStringLiteral("Server folder with StaveloS.ini (default: ServerPath of the registry)."),
         QStringLiteral("DIR")});
    parser.addOption(
        {QStringLiteral("init"),
         QStringLiteral("Create or upgrade the database, give users without a password a random one "
                        "(printed once), then exit.")});
    parser.addOption(
        {QStringLiteral("copy-to"),
         QStringLiteral("Copy the database into an empty one (a file or postgresql:// URI), table by "
                        "table, verifying row counts and checksums, then exit."),
         QStringLiteral("URI")});
    parser.process(app);

    const QString listen = parser.value(QStringLiteral("listen"));
    const int colon = listen.lastIndexOf(QLatin1Char(':'));
    bool portOk = false;
    const int port = colon >= 0 ? listen.mid(colon + 1).toInt(&portOk) : 0;
    QString host = colon >= 0 ? listen.left(colon) : listen;
    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
        host = host.mid(1, host.size() - 2);
    QHostAddress address;
    if (!portOk || port < 0 || port > 65535 || !address.setAddress(host)) {
        std::fprintf(stderr, "kvx-appserver: --listen needs ADDRESS:PORT, got \"%s\"\n", qPrintable(listen));
        return 2;
    }

    kvxsrv::StorageConfig config = kvxsrv::StorageConfig::fromRegistry();
    if (parser.isSet(QStringLiteral("server-path")))
        config.serverPath = parser.value(QStringLiteral("server-path"));
    if (parser.isSet(QStringLiteral("db"))) config.databaseFile = parser.value(QStringLiteral("db"));
    kvxsrv::ServerLimits limits;
    std::shared_ptr<const kvxsrv::ServerTls> tls;
    try {
        // Creates or upgrades the database once, before the first client arrives.
        kvxsrv::Storage storage(config);
        std::fprintf(stderr, "kvx-appserver: database %s, schema version %d\n",
                     qPrintable(storage.filePath()), storage.schemaVersion());
        const bool file = !storage.location().isPostgres();
        const QString ini =
            config.serverPath.isEmpty()
                ? (file ? QFileInfo(storage.filePath()).dir().filePath(QStringLiteral("StaveloS.ini"))
                        : QString())
                : QDir(config.serverPath).filePath(QStringLiteral("StaveloS.ini"));
        limits = kvxsrv::ServerLimits::fromIni(ini);
        if (config.serverPath.isEmpty() && file) {
            config.serverPath = QFileInfo(storage.filePath()).absolutePath();
            config.databaseFile = storage.filePath();
        }
        config.loadLimits();
        if (parser.isSet(QStringLiteral("copy-to"))) {
            kvxsrv::StorageConfig target;
            auto loc = std::make_shared<kvxsrv::DatabaseLocation>(
                kvxsrv::DatabaseLocation::parse(parser.value(QStringLiteral("copy-to"))));
            loc->findPasswords();
            target.location = loc;
            target.queryMs = 0;
            qint64 total = 0;
            const auto tables = kvxsrv::copyDatabase(storage, target);
            for (const auto& t : tables) {
                std::printf("copied %s %lld rows checksum %s\n", qPrintable(t.name), qint64(t.rows),
                            qPrintable(t.checksum));
                total += t.rows;
            }
            std::printf("copied %lld tables, %lld rows into %s; counts and checksums match\n",
                        qint64(tables.size()), total, qPrintable(loc->describe()));
            std::fflush(stdout);
            return 0;
        }
        if (parser.isSet(QStringLiteral("init"))) {
            // Printed this once only: the database keeps the hashes, never the passwords.
            const auto set = kvxsrv::setMissingPasswords(storage);
            QStringList users = set.keys();
            users.sort();
            for (const QString& u : users)
                std::printf("password %s %s\n", qPrintable(u), qPrintable(set.value(u)));
            std::fflush(stdout);
            return 0;
        }
        tls = kvxsrv::ServerTls::fromIni(ini);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "kvx-appserver: %s\n", e.what());
        return 1;
    }

    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0) return 1;
    struct sigaction sa = {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    kvxsrv::Daemon daemon(config, limits);
    daemon.setTls(tls);
    if (!tls && !address.isLoopback())
        std::fprintf(stderr,
                     "kvx-appserver: warning: listening on %s without TLS; passwords and data cross the "
                     "network in clear text (name a certificate and key in [TLS] of StaveloS.ini)\n",
                     qPrintable(listen));
    if (!daemon.listen(address, quint16(port))) {
        std::fprintf(stderr, "kvx-appserver: cannot listen on %s: %s\n", qPrintable(listen),
                     qPrintable(daemon.errorString()));
        return 1;
    }
    QSocketNotifier notifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, &app, [&] {
        char c;
        [[maybe_unused]] ssize_t n = ::read(signalPipe[0], &c, 1);
        std::fprintf(stderr, "kvx-appserver: stopping\n");
        if (!daemon.shutdown()) {
            // A session past the deadline is abandoned: its open transaction is rolled back by the
            // database when the process ends.
            std::fprintf(stderr, "kvx-appserver: sessions still running at the deadline; exiting\n");
            std::fflush(stderr);
            std::_Exit(0);
        }
        app.quit();
    });
    std::printf("kvx-appserver listening on %s:%d%s\n", qPrintable(daemon.serverAddress().toString()),
                int(daemon.serverPort()),
                !tls            ? ""
                : tls->required ? " (TLS only)"
                                : " (TLS or plain)");
    std::fflush(stdout);
    return app.exec();
}
