#include "HelpViewer.h"

#include "platform/Registry.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QTextBrowser>
#include <QUrl>

namespace pellan {

HelpViewer::~HelpViewer() {
    delete window_.data();
}

QString HelpViewer::topicFile(const QString& system, const QString& key) {
    static const QRegularExpression safe(QStringLiteral("^[A-Za-z0-9_-]+$"));
    if (!safe.match(system).hasMatch() || (!key.isEmpty() && !safe.match(key).hasMatch())) return {};
    kvx::Registry reg;
    if (!reg.openKeyReadOnly(QStringLiteral("Software\\KVX\\Stavelo"))) return {};
    QString client = reg.readString(QStringLiteral("ClientPath"));
    if (client.isEmpty()) return {};
    if (!client.endsWith(QLatin1Char('/'))) client += QLatin1Char('/');
    const QString folder = client + QStringLiteral("Help/") + system.toUpper() + QLatin1Char('/');
    QStringList names;
    if (!key.isEmpty()) names << key + QStringLiteral(".htm") << key + QStringLiteral(".html");
    names << QStringLiteral("index.htm") << QStringLiteral("index.html");
    for (const QString& n : names)
        if (QFileInfo(folder + n).isFile()) return folder + n;
    return {};
}

int HelpViewer::show(const QString& system, const QString& key) {
    const QString file = topicFile(system, key);
    if (file.isEmpty()) return -1;
    if (!window_) {
        window_ = new QTextBrowser;
        window_->setObjectName(QStringLiteral("frmHelp"));
        window_->setAttribute(Qt::WA_DeleteOnClose);
        window_->resize(640, 480);
    }
    window_->setSource(QUrl::fromLocalFile(file));
    window_->setWindowTitle(QStringLiteral("说明 - %1 %2").arg(system.toUpper(), key));
    window_->show();
    window_->raise();
    return 0;
}

} // namespace pellan
