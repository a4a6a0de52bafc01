// A temporary installation whose client configuration names a UI code page, with language packages.
#pragma once

#include "TempTree.h"

#include <QDir>
#include <QFile>
#include <QString>
#include <memory>

class LangTree {
public:
    explicit LangTree(const QString& uiCodePage, const QString& sysCodePage = QStringLiteral("936"))
        : sysCp_("KVX_CODEPAGE", sysCodePage.toLatin1()) {
        tree_.writeText(QStringLiteral("client/StaveloC.ini"),
                        QStringLiteral("[CodePage]\nUICodePage=%1\nDBCodePage=936\n").arg(uiCodePage));
        tree_.writeText(QStringLiteral("server/StaveloS.ini"),
                        QStringLiteral("[CodePage]\nUICodePage=%1\nDBCodePage=936\n").arg(uiCodePage));
    }
    kvxtest::TempTree& tree() { return tree_; }
    QString clientPath() const { return tree_.clientPath(); }

    // Writes client/MultiLanguage/<code>/<name>.Lng (or the server's with server set).
    QString writePackage(const QString& code, const QString& name, const QByteArray& xml,
                         bool server = false) {
        return tree_.writeFile(
            QStringLiteral("%1/MultiLanguage/%2/%3.Lng")
                .arg(server ? QStringLiteral("server") : QStringLiteral("client"), code, name),
            xml);
    }
    // Copies every package of a source folder laid out as MultiLanguage/<code>/*.Lng into the client folder.
    void copyPackages(const QString& multiLanguageDir) {
        for (const QString& code : QDir(multiLanguageDir).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            QDir(clientPath()).mkpath(QStringLiteral("MultiLanguage/") + code);
            for (const QString& f :
                 QDir(multiLanguageDir + u'/' + code).entryList({QStringLiteral("*.Lng")})) {
                const QString target = clientPath() + QStringLiteral("MultiLanguage/") + code + u'/' + f;
                QFile::remove(target);
                QFile::copy(multiLanguageDir + u'/' + code + u'/' + f, target);
            }
        }
    }

private:
    kvxtest::ScopedEnv sysCp_;
    kvxtest::TempTree tree_;
};

inline QString sourceDir() {
    return qEnvironmentVariable("KVX_SOURCE_DIR");
}
inline QString buildDir() {
    return qEnvironmentVariable("KVX_BUILD_DIR");
}
