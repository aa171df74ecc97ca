#include "ui/AppIcons.h"
#include "Pixels.h"
#include "platform/AppIdentity.h"

#include <QDir>
#include <QFile>
#include <QIcon>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace quillet;

namespace {

// How many pixels of `icon` stand out from a panel of colour `panel` by at least a third of the
// full range, drawn at 22 px as trays usually ask.
int readablePixels(const QIcon& icon, QColor panel)
{
    QImage img = test::filled(QSize(22, 22), panel);
    {
        QPainter p(&img);
        icon.paint(&p, img.rect());
    }
    int count = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (std::abs(qGray(img.pixel(x, y)) - qGray(panel.rgb())) > 85)
                ++count;
    return count;
}

// The tray glyph carries no colour and must read on any panel: a dark one, a light one and the
// greys in between.
TEST(AppIconsTest, BuiltInTrayGlyphReadsOnDarkAndLightPanels)
{
    QIcon::setThemeSearchPaths({});
    ASSERT_FALSE(trayIconFromTheme());
    const QIcon tray = trayIcon();
    for (const QColor panel : {QColor(0, 0, 0), QColor(48, 48, 48), QColor(128, 128, 128),
             QColor(210, 210, 210), QColor(255, 255, 255)})
        EXPECT_GT(readablePixels(tray, panel), 22) << panel.name().toStdString();
    for (int size : {16, 22, 48})
        EXPECT_EQ(tray.pixmap(size, size).size(), QSize(size, size));
    EXPECT_FALSE(appIcon().pixmap(48, 48).isNull());
}

// Installed icons are found under <prefix>/share/icons by their application ID; the built-in
// drawings stand in only when the theme lacks them.
TEST(AppIconsTest, ThemeIconsWinOverTheBuiltInOnes)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString theme = dir.filePath(QStringLiteral("hicolor"));
    ASSERT_TRUE(QDir().mkpath(theme + QStringLiteral("/48x48/apps")));
    QFile index(theme + QStringLiteral("/index.theme"));
    ASSERT_TRUE(index.open(QIODevice::WriteOnly));
    index.write("[Icon Theme]\nName=Hicolor\nDirectories=48x48/apps\n\n"
                "[48x48/apps]\nSize=48\nType=Fixed\n");
    index.close();
    QImage red = test::filled(QSize(48, 48), Qt::red, 1, QImage::Format_ARGB32);
    const QString id = QString::fromLatin1(appId);
    ASSERT_TRUE(red.save(theme + QStringLiteral("/48x48/apps/") + id + QStringLiteral(".png")));
    ASSERT_TRUE(
        red.save(theme + QStringLiteral("/48x48/apps/") + id + QStringLiteral("-symbolic.png")));

    QIcon::setThemeSearchPaths({dir.path()});
    QIcon::setThemeName(QStringLiteral("hicolor"));
    EXPECT_TRUE(appIconFromTheme());
    EXPECT_TRUE(trayIconFromTheme());
    EXPECT_EQ(appIcon().pixmap(48, 48).toImage().pixel(24, 24), qRgb(255, 0, 0));
    EXPECT_EQ(trayIcon().pixmap(48, 48).toImage().pixel(24, 24), qRgb(255, 0, 0));
    QIcon::setThemeSearchPaths({});
}

} // namespace
