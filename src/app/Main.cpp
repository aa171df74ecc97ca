#include "app/Main.h"

#include "settings/Prefs.h"

#include <QApplication>

namespace quillet {

int runMain(int argc, char** argv)
{
    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    Prefs::registerDefaults();
    return app.exec();
}

} // namespace quillet
