#include <gtest/gtest.h>

#include "platform/ui/UITestFixture.h"
#include "platform/ui/View.h"

using namespace memorant_test;

class KeyframeStartTest : public UITest {};

// Beginning from the current state with nothing in flight starts from the
// value before the change (the model value has already changed then).
TEST_F(KeyframeStartTest, BeginningFromTheCurrentStateWithNothingInFlight) {
    auto view = std::make_shared<View>(Rect(0, 0, 10, 10));
    view->setAlpha(0);
    View::animateKeyframes(2, 0, ViewAnimationOptionBeginFromCurrentState,
                           [&] { View::addKeyframe(0.5, 0.5, [&] { view->setAlpha(1); }); });
    EXPECT_DOUBLE_EQ(view->layer().presentationDouble("opacity"), 0);
    advance(1.5);
    EXPECT_NEAR(view->layer().presentationDouble("opacity"), 0.5, 1e-9);
}
