// The preferences as read from the settings file: any bytes in the file, and every value read
// the way the program reads it.
#include "FuzzSupport.h"

#include "settings/Prefs.h"

#include <QFileInfo>
#include <QUrl>
#include <cmath>

using namespace quillet;

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::makeApp(fuzz::AppKind::core);
    fuzz::privateConfigHome();
    Prefs::registerDefaults();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::writeSettingsFile(Prefs::filePath(), fuzz::bytes(data, size));

    (void)Prefs::detectWindows();
    (void)Prefs::showMagnifier();
    (void)Prefs::showToast();
    (void)Prefs::quickSave();
    (void)Prefs::pinShadow();
    // Numbers that reach painting and geometry are finite whatever the file says.
    const double numbers[]
        = {Prefs::dimAlpha(), Prefs::defaultWidth(), Prefs::pinOpacity(), Prefs::fontSize()};
    for (const double d : numbers)
        FUZZ_CHECK(std::isfinite(d));
    (void)Prefs::defaultColor();
    (void)Prefs::textStyle();
    // Saves always have a folder that exists.
    const QUrl dir = Prefs::saveDir();
    FUZZ_CHECK(dir.isLocalFile());
    FUZZ_CHECK(QFileInfo::exists(dir.toLocalFile()));

    // What the program writes back reads the same.
    const double width = Prefs::defaultWidth();
    const double font = Prefs::fontSize();
    const qint64 color = Prefs::defaultColor();
    const qint64 style = Prefs::textStyle();
    Prefs::setDefaultWidth(width);
    Prefs::setFontSize(font);
    Prefs::setDefaultColor(color);
    Prefs::setTextStyle(style);
    FUZZ_CHECK(Prefs::defaultWidth() == width);
    FUZZ_CHECK(Prefs::fontSize() == font);
    FUZZ_CHECK(Prefs::defaultColor() == color);
    FUZZ_CHECK(Prefs::textStyle() == style);
    return 0;
}
