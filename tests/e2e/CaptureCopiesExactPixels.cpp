#include "E2eEnv.h"

#include <QImage>

namespace quillet::e2e {
namespace {

class CaptureCopiesExactPixels : public E2eEnv { };

TEST_F(CaptureCopiesExactPixels, HotKeyDragReturnPutsTheScreenOnTheClipboard)
{
    ASSERT_TRUE(screenPattern());
    startQuillet();
    ASSERT_TRUE(waitForQuilletReady());

    ASSERT_TRUE(key("F1"));
    ASSERT_TRUE(waitFor([&] { return quilletStatus().value("session") == "open"; }));
    ASSERT_TRUE(drag({100, 120}, {340, 300}));
    ASSERT_TRUE(key("Return"));
    ASSERT_TRUE(waitFor([&] { return quilletStatus().value("session") == "none"; }));

    QImage copied;
    ASSERT_TRUE(waitFor([&] { return copied.loadFromData(clipboardPng(), "PNG"); }));
    ASSERT_EQ(copied.size(), QSize(240, 180));
    int wrong = 0;
    QPoint first(-1, -1);
    for (int y = 0; y < copied.height(); ++y) {
        for (int x = 0; x < copied.width(); ++x) {
            if ((copied.pixel(x, y) & 0xffffff) != (patternColor(x + 100, y + 120) & 0xffffff)) {
                if (!wrong++)
                    first = {x, y};
            }
        }
    }
    EXPECT_EQ(wrong, 0) << "first wrong pixel at " << first.x() << "," << first.y();
}

} // namespace
} // namespace quillet::e2e
