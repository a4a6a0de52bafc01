// ServerTls: the daemon's optional TLS, from [TLS] of StaveloS.ini: `Certificate` (PEM: the server's
// certificate, then any intermediate ones), `Key` (its private key, PEM, RSA or EC, not encrypted) and
// `Required` (Y, the default: plain connections are refused with an error line; N: a connection that
// starts with a TLS handshake is served over TLS, any other in plain text).
#pragma once

#include <QSslConfiguration>
#include <QString>
#include <memory>

namespace kvxsrv {

struct ServerTls {
    QSslConfiguration configuration;
    bool required = true;
    QString certificateFile, keyFile;

    // Null when the file names no certificate; relative paths are taken from the file's folder. Raises
    // std::runtime_error when a named file is missing or holds no usable certificate or key.
    static std::shared_ptr<const ServerTls> fromIni(const QString& iniFile);
};

// The first byte of a TLS connection: a handshake record.
constexpr unsigned char kTlsHandshakeByte = 0x16;

} // namespace kvxsrv
