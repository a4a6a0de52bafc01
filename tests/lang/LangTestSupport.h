// Helpers of the language tests: build outputs and small mapping files.
#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QMap>
#include <QString>

namespace langtest {

inline QString buildDir() {
    const QString env = qEnvironmentVariable("KVX_BUILD_DIR");
    return env.isEmpty() ? QCoreApplication::applicationDirPath() + QStringLiteral("/..") : env;
}
inline QString kvlanguagePath() {
    return buildDir() + QStringLiteral("/lib/Kvlanguage.so");
}
inline QString brokenLibraryPath() {
    return buildDir() + QStringLiteral("/lib/kvx_test_kvlanguage_broken.so");
}
inline QString generatedMappingFile() {
    return buildDir() + QStringLiteral("/client/Language");
}

// A mapping file with `big5Count` Big5 and `gbCount` GB entries, all blank except the given ones
// (index -> code). Headings and blank lines are mixed in as a real file has them.
inline QByteArray mappingFile(int big5Count, const QMap<int, quint16>& big5, int gbCount,
                              const QMap<int, quint16>& gb) {
    QByteArray out = "[BIG5]\n\n";
    for (int i = 0; i < big5Count; ++i)
        out += "BIG5" + QByteArray::number(i) + "=$" +
               QByteArray::number(big5.value(i, 0), 16).toUpper().rightJustified(4, '0') + "\n";
    out += "\n[GB]\n";
    for (int i = 0; i < gbCount; ++i)
        out += "GB" + QByteArray::number(i) + "=$" +
               QByteArray::number(gb.value(i, 0), 16).toUpper().rightJustified(4, '0') + "\r\n";
    return out;
}

} // namespace langtest
