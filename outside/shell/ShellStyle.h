// ShellStyle: the application style of the shell, the platform's default style with the tool and menu
// bars' extension arrows read by Qt's built-in PNG reader.
//
// Every QMenuBar asks its style for the extension arrow when it is built. The common style reads that
// icon's files with format detection, which loads every image-format plugin (gif, ico, jpeg with libjpeg)
// to ask whether it reads PNG. Here the same files are read as PNG without detection: the icon is the
// same, and a program window starts without those plugins. Everything else is the default style's.
#pragma once

#include <QProxyStyle>

namespace pellan {

class ShellStyle : public QProxyStyle {
    Q_OBJECT
public:
    ShellStyle(); // over the default style of the platform

    QIcon standardIcon(StandardPixmap icon, const QStyleOption* option = nullptr,
                       const QWidget* widget = nullptr) const override;
};

} // namespace pellan
