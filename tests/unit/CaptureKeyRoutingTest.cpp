#include "CaptureFixtures.h"

#include <gtest/gtest.h>

using namespace quillet;
using namespace quillet::test;

// The global hot keys during a capture are recognised by the application (see AppDelegateTest);
// here: which overlay the keys go to.
TEST(CaptureKeyRouting, KeysStayWithTheScreenThatHoldsTheSelection)
{
    auto f = makeSession({fakeScreen(QStringLiteral("L"), QRectF(0, 0, 800, 600)),
        fakeScreen(QStringLiteral("R"), QRectF(800, 0, 640, 480))});
    f.session->show(false);
    f.view(0).mouseEnteredView();
    dragSelect(f.view(0), {600, 100}, {800, 300});
    ASSERT_TRUE(f.view(0).selected());
    // The drag ended past the edge: the pointer is on the right screen now.
    f.view(1).mouseEnteredView();
    EXPECT_EQ(f.session->keyView(), &f.view(0));
    f.session->finish(false);
}
