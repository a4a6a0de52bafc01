#include "ServerTls.h"

#include "platform/IniFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QSslCertificate>
#include <QSslKey>
#include <QSslSocket>
#include <memory>
#include <stdexcept>

Q_DECLARE_LOGGING_CATEGORY(lcDaemon)

namespace kvxsrv {

namespace {
[[noreturn]] void fail(const QString& why) {
    throw std::runtime_error(why.toStdString());
}

QString resolve(const QString& name, const QString& iniFile) {
    return QFileInfo(name).isAbsolute() ? name : QFileInfo(iniFile).dir().filePath(name);
}

QSslKey readKey(const QString& file) {
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly)) fail(QStringLiteral("Cannot read the TLS key %1").arg(file));
    const QByteArray pem = f.readAll();
    for (QSsl::KeyAlgorithm a : {QSsl::Rsa, QSsl::Ec, QSsl::Dsa}) {
        QSslKey key(pem, a, QSsl::Pem, QSsl::PrivateKey);
        if (!key.isNull()) return key;
    }
    fail(QStringLiteral("No unencrypted RSA or EC private key (PEM) in %1").arg(file));
}
} // namespace

std::shared_ptr<const ServerTls> ServerTls::fromIni(const QString& iniFile) {
    const kvx::IniFile ini(iniFile);
    const QString section = QStringLiteral("TLS");
    const QString cert = ini.readString(section, QStringLiteral("Certificate")).trimmed();
    const QString key = ini.readString(section, QStringLiteral("Key")).trimmed();
    if (cert.isEmpty()) {
        if (!key.isEmpty()) fail(QStringLiteral("[TLS] of %1 names a key but no Certificate").arg(iniFile));
        return nullptr;
    }
    if (key.isEmpty()) fail(QStringLiteral("[TLS] of %1 names a certificate but no Key").arg(iniFile));
    if (!QSslSocket::supportsSsl())
        fail(QStringLiteral("TLS is configured but this system has no TLS library (%1)")
                 .arg(QSslSocket::sslLibraryVersionString()));

    auto tls = std::make_shared<ServerTls>();
    tls->certificateFile = resolve(cert, iniFile);
    tls->keyFile = resolve(key, iniFile);
    if (!QFileInfo(tls->certificateFile).isReadable())
        fail(QStringLiteral("Cannot read the TLS certificate %1").arg(tls->certificateFile));
    const QList<QSslCertificate> chain = QSslCertificate::fromPath(tls->certificateFile, QSsl::Pem);
    if (chain.isEmpty()) fail(QStringLiteral("No PEM certificate in %1").arg(tls->certificateFile));
    if (chain.first().isNull() || chain.first().expiryDate() < QDateTime::currentDateTimeUtc())
        fail(QStringLiteral("The TLS certificate in %1 has expired").arg(tls->certificateFile));
    const QSslKey privateKey = readKey(tls->keyFile);
    if (QFileInfo(tls->keyFile).permissions() & (QFile::ReadGroup | QFile::ReadOther))
        qCWarning(lcDaemon) << "the TLS key" << tls->keyFile
                            << "is readable by other users; make it readable by the server's user only";

    QSslConfiguration conf = QSslConfiguration::defaultConfiguration();
    conf.setLocalCertificateChain(chain);
    conf.setPrivateKey(privateKey);
    conf.setProtocol(QSsl::TlsV1_2OrLater);
    conf.setPeerVerifyMode(QSslSocket::VerifyNone); // clients prove who they are with login
    tls->configuration = conf;
    const QString required =
        ini.readString(section, QStringLiteral("Required"), QStringLiteral("Y")).trimmed().toUpper();
    tls->required = required != QLatin1String("N") && required != QLatin1String("0");
    return tls;
}

} // namespace kvxsrv
