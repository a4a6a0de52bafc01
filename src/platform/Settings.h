// Settings: the installation's configuration as one typed value, read once by the configuration readers
// (src/server) and handed down to the converter, the language packages, the GB/Big5 tables and the broker,
// so that no lower layer reads configuration files itself.
//
// Code pages are numbers ("936", "950", "437" in the files); a code page the files name that has no
// enumerator keeps its number. The conversion kinds use one numbering for UI and data conversions.
#pragma once

#include <QList>
#include <QString>
#include <QtGlobal>
#include <functional>

namespace kvx {

enum class CodePage : int { Unknown = 0, Us = 437, Gbk = 936, Big5 = 950 };

// 1 Big5 to GB, 2 GB to Big5, 4 a GB interface on a Big5 system; 3 is no conversion with Big5 fonts.
enum class ConvKind : quint8 { None = 0, Big5ToGb = 1, GbToBig5 = 2, Big5Font = 3, GbOnBig5 = 4 };

// "936" -> CodePage::Gbk; any other decimal text keeps its number; anything else is Unknown.
CodePage codePageFromText(const QString& text);
// The decimal text ("936"); empty for Unknown.
QString codePageText(CodePage cp);
// The kind as an integer, the form the windows' published operations return.
inline int kindNumber(ConvKind kind) {
    return int(kind);
}

// The code pages in force on one side (client or server) and the kinds derived from them.
struct CodePages {
    CodePage sys = CodePage::Gbk;
    CodePage ui = CodePage::Gbk;
    CodePage db = CodePage::Gbk;
    ConvKind uiLangMode = ConvKind::None;
    ConvKind dataConvMode = ConvKind::None;

    // GbToBig5 for a Big5 UI; GbOnBig5 for a GB UI on a Big5 system; otherwise None.
    static ConvKind uiModeFor(CodePage ui, CodePage sys);
    // GbToBig5 for a Big5 UI over GB data; Big5ToGb for a GB UI over Big5 data; otherwise None.
    static ConvKind dataModeFor(CodePage ui, CodePage db);
    // Code pages with both kinds derived from them.
    static CodePages from(CodePage sys, CodePage ui, CodePage db);
    static CodePages from(const QString& sys, const QString& ui, const QString& db);

    bool operator==(const CodePages&) const = default;
};

struct ServerAddress {
    QString address;
    int port = 0;
    bool operator==(const ServerAddress&) const = default;
};

// How a client reaches a socket server over TLS (StaveloC.ini [Server Information] Tls, TlsCaFile,
// TlsPeerName). The server's certificate is verified against the CA certificates of `caFile` (PEM), or
// the system's store when it is empty, and must name `peerName` (the server address when empty).
struct ClientTls {
    bool enabled = false;
    QString caFile;
    QString peerName;
    bool operator==(const ClientTls&) const = default;
};

struct Settings {
    CodePages client;   // StaveloC.ini
    CodePages server;   // StaveloS.ini
    QString clientPath; // ends with "/"; empty when the installation has none
    QString serverPath; // ends with "/"; empty when the installation has none
    QList<ServerAddress> servers;
    ClientTls tls;
    bool supportCallBack = false;
    QString langType;

    const CodePages& codePages(bool serverSide) const { return serverSide ? server : client; }
    const QString& basePath(bool serverSide) const { return serverSide ? serverPath : clientPath; }
    bool operator==(const Settings&) const = default;
};

// Where a window without an owning window takes its settings from. The program (or a test) installs the
// reader of its configuration; without one, readSettings() gives the default value (GB everywhere, no
// paths). Part of the process-wide registries.
using SettingsReader = std::function<Settings()>;
void setSettingsReader(SettingsReader reader);
Settings readSettings();

} // namespace kvx
