#include "ShellStyle.h"

#include <QGuiApplication>
#include <QImageReader>
#include <QPixmap>
#include <QStyleOption>

namespace pellan {

namespace {

// The icon of the common style's files "<stem>-<size>.png", each read as PNG without format detection.
QIcon pngIcon(const QString& stem, std::initializer_list<int> sizes) {
    QIcon icon;
    for (int size : sizes) {
        QImageReader png(
            QStringLiteral(":/qt-project.org/styles/commonstyle/images/%1-%2.png").arg(stem).arg(size),
            QByteArrayLiteral("png"));
        png.setAutoDetectImageFormat(false);
        const QImage image = png.read();
        if (image.isNull()) return {}; // files of another Qt: the default style answers
        icon.addPixmap(QPixmap::fromImage(image));
    }
    return icon;
}

} // namespace

ShellStyle::ShellStyle() : QProxyStyle(nullptr) {}

QIcon ShellStyle::standardIcon(StandardPixmap icon, const QStyleOption* option, const QWidget* widget) const {
    QIcon own;
    if (!QIcon::themeName().isEmpty()) {
        // An icon theme may supply its own arrows: the default style chooses.
    } else if (icon == SP_ToolBarHorizontalExtensionButton) {
        const bool rtl = option ? option->direction == Qt::RightToLeft : QGuiApplication::isRightToLeft();
        own =
            pngIcon(rtl ? QStringLiteral("toolbar-ext-h-rtl") : QStringLiteral("toolbar-ext-h"), {8, 16, 32});
    } else if (icon == SP_ToolBarVerticalExtensionButton) {
        own = pngIcon(QStringLiteral("toolbar-ext-v"), {5, 10, 20});
    }
    return own.isNull() ? QProxyStyle::standardIcon(icon, option, widget) : own;
}

} // namespace pellan
