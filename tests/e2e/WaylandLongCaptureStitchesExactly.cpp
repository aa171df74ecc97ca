// A long capture on a headless sway, read through screen copy and scrolled through a virtual
// pointer: the page of tools/tallview comes out exactly, row for row.
#include "WaylandRig.h"

namespace quillet::e2e {
namespace {

class WaylandLongCaptureStitchesExactly : public WaylandRig {
protected:
    QString longCapture()
    {
        for (const QString& line : status().split(QLatin1Char('\n'))) {
            if (line.startsWith(QLatin1String("long-capture: ")))
                return line.mid(14);
        }
        return {};
    }
    int gathered() { return longCapture().section(QLatin1Char(' '), 1).toInt(); }
};

TEST_F(WaylandLongCaptureStitchesExactly, ByAutoScroll)
{
    startCompositor({noise({1280, 720}, 31)});
    if (IsSkipped() || HasFatalFailure())
        return;
    startInput();
    ASSERT_FALSE(HasFatalFailure());
    const QRect view(300, 60, 320, 600);
    const QString png = m_dir.filePath(QStringLiteral("page.png"));
    ASSERT_TRUE(startReady(QStringLiteral(TALLVIEW_BINARY), {png, "0", "0", "320", "600", "3000"}))
        << "the view never showed";
    ASSERT_EQ(runTool(QStringLiteral("swaymsg"),
                  {"[title=\"tallview\"] border none, move absolute position 300 60"})
                  .exitCode,
        0);
    const QImage page = QImage(png).convertToFormat(QImage::Format_RGB32);
    ASSERT_FALSE(page.isNull());
    ASSERT_TRUE(pointer("move 1279 719"));
    ASSERT_TRUE(waitFor([&] {
        const QImage shown = outputImage();
        return !shown.isNull() && shown.copy(view) == page.copy(0, 0, 320, 600);
    })) << "the view is not where it was put";

    QProcessEnvironment route;
    route.insert(QStringLiteral("QUILLET_WAYLAND_GRAB"), QStringLiteral("screencopy"));
    startProgram(route);
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_TRUE(openCapture(1));
    ASSERT_TRUE(drag(view.topLeft(), view.topLeft() + QPoint(view.width(), view.height())));
    ASSERT_TRUE(pointer("move 1279 719"));
    ASSERT_TRUE(key({QStringLiteral("l")}));
    ASSERT_TRUE(waitFor([&] { return gathered() > 0; })) << longCapture().toStdString();
    ASSERT_TRUE(key({QStringLiteral("a")}));
    ASSERT_TRUE(waitFor([&] { return longCapture().startsWith("auto"); }));
    ASSERT_TRUE(waitFor([&] { return longCapture().startsWith("manual"); }, 90000))
        << longCapture().toStdString();
    EXPECT_EQ(gathered(), page.height());
    ASSERT_TRUE(key({QStringLiteral("-k"), QStringLiteral("Return")}));
    const QImage copied = waitClipboardPng();
    ASSERT_EQ(copied.size(), page.size());
    EXPECT_EQ(differingPixels(copied, page), 0);
}

} // namespace
} // namespace quillet::e2e
