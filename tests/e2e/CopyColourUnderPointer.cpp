#include "CaptureJourney.h"

namespace quillet::e2e {
namespace {

class CopyColourUnderPointer : public CaptureJourney { };

// C with nothing selected copies the frozen pixel under the pointer as #RRGGBB and ends.
TEST_F(CopyColourUnderPointer, PatternPixelAsHex)
{
    ASSERT_TRUE(screenPattern());
    startTraced();
    ASSERT_TRUE(waitForQuilletReady());
    for (const QPoint at : {QPoint(517, 300), QPoint(1100, 777)}) {
        SCOPED_TRACE(at.x());
        ASSERT_TRUE(mouseMove(at));
        ASSERT_TRUE(openCapture());
        ASSERT_TRUE(key("c"));
        ASSERT_TRUE(waitSessionGone());
        const QString expected = QColor(patternColor(at.x(), at.y())).name().toUpper();
        QByteArray text;
        EXPECT_TRUE(waitFor([&] {
            text = runTool("xclip", {"-selection", "clipboard", "-o"}).out;
            return text == expected.toLatin1();
        })) << text.toStdString()
            << " expected " << expected.toStdString();
        EXPECT_EQ(text.size(), 7);
    }
}

} // namespace
} // namespace quillet::e2e
