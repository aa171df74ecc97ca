#pragma once

// The one application object of the in-process benchmarks: offscreen unless a platform is
// named, default preferences in a private settings folder (none of the user's own), so every
// benchmark measures the same program whichever of them runs first.

#include "settings/Prefs.h"

#include <QApplication>
#include <QTemporaryDir>

namespace quillet::bench {

inline void ensureApp()
{
    if (QCoreApplication::instance())
        return;
    static QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "quillet_bench";
    static char* argv[] = {name, nullptr};
    new QApplication(argc, argv); // lives for the whole run
    Prefs::registerDefaults();
}

} // namespace quillet::bench
