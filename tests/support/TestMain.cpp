// Shared main of the test executables: an offscreen QApplication with the font substitutions, scripted
// dialogs, and a private HOME/XDG area so that nothing reaches the user's files.
#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "platform/DialogService.h"
#include "platform/FontSubstitution.h"

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir home;
    qputenv("HOME", QFile::encodeName(home.path()));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.path() + "/.config"));
    qputenv("XDG_DATA_HOME", QFile::encodeName(home.path() + "/.local/share"));
    qputenv("KVX_REGISTRY", QFile::encodeName(home.path() + "/no-registry.ini"));
    QApplication app(argc, argv);
    // As pellan does before the first window: every test draws the Windows font names alike.
    kvx::fonts::installFontSubstitutions();
    kvx::DialogService::instance().setScripted(true);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
