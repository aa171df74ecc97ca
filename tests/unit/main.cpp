#include <QApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "settings/Prefs.h"

int main(int argc, char** argv)
{
    // Every run gets a settings home of its own, so nothing the user has leaks in or out.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    quillet::Prefs::registerDefaults();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
