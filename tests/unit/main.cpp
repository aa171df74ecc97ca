#include <QApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "output/Output.h"
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
    // No test may ever sit in a modal dialog: saving answers "cancelled" unless a test says else.
    quillet::Output::saveInteraction().choosePath
        = [](const QString&, const QString&) { return std::optional<QString>(); };
    quillet::Output::saveInteraction().reportFailure
        = [](const QString&, const QString&) { return false; };
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
