#include <gtest/gtest.h>

#include "platform/ui/DynamicAnimator.h"
#include "platform/ui/UITestFixture.h"

using namespace memorant_test;

namespace {

constexpr double dt = DynamicAnimator::kStepInterval;

class DynamicAnimatorTest : public UITest {
protected:
    std::shared_ptr<View> reference = std::make_shared<View>(Rect(0, 0, 390, 844));
    std::shared_ptr<View> item = std::make_shared<View>(Rect(150, 350, 100, 100));  // centre (200, 400)
    std::shared_ptr<DynamicAnimator> animator = DynamicAnimator::make(reference);

    void SetUp() override { reference->addSubview(item); }
};

TEST_F(DynamicAnimatorTest, GravityAcceleratesItemsStepByStepOnTheClock) {
    auto gravity = std::make_shared<GravityBehavior>(std::vector<std::shared_ptr<View>>{item});
    EXPECT_EQ((Vector{0, 1}), gravity->gravityDirection());
    gravity->setGravityDirection({0, -1});
    gravity->setMagnitude(0.125);
    EXPECT_EQ((Vector{0, -0.125}), gravity->gravityDirection());
    animator->addBehavior(gravity);
    EXPECT_TRUE(animator->isRunning());
    EXPECT_EQ(animator, gravity->dynamicAnimator());

    // Semi-implicit Euler: v += a dt, then x += v dt; a = 125 points/s² upwards.
    advance(dt);
    EXPECT_EQ(1, animator->stepCount());
    EXPECT_NEAR(400 - 125 * dt * dt, item->center().y, 1e-9);
    advance(2 * dt);
    EXPECT_EQ(3, animator->stepCount());
    EXPECT_NEAR(400 - 125 * dt * dt * (1 + 2 + 3), item->center().y, 1e-9);
    EXPECT_DOUBLE_EQ(200, item->center().x);

    animator->removeBehavior(gravity.get());
    EXPECT_EQ(nullptr, gravity->dynamicAnimator());
    EXPECT_FALSE(animator->isRunning());
    advance(1);
    EXPECT_EQ(3, animator->stepCount());
}

TEST_F(DynamicAnimatorTest, CollisionsKeepItemsInsideTheInsetBoundsAndBounceByElasticity) {
    const std::vector<std::shared_ptr<View>> items{item};
    auto gravity = std::make_shared<GravityBehavior>(items);
    gravity->setGravityDirection({0, -1});
    auto collision = std::make_shared<CollisionBehavior>(items);
    collision->setTranslatesReferenceBoundsIntoBoundaryWithInsets({100, 0, 0, 0});
    auto properties = std::make_shared<DynamicItemBehavior>(items);
    properties->setElasticity(0.5);
    animator->addBehavior(gravity);
    animator->addBehavior(collision);
    animator->addBehavior(properties);

    double highest = 1e9;
    bool bounced = false;
    for (int i = 0; i < 60; ++i) {
        advance(dt);
        highest = std::min(highest, item->frame().minY());
        if (properties->linearVelocityForItem(item.get()).dy > 0) bounced = true;
    }
    EXPECT_GE(highest, 100 - 1e-9);
    EXPECT_TRUE(bounced);
    // It comes to rest against the boundary; the animator pauses.
    advance(10);
    EXPECT_NEAR(150, item->center().y, 0.1);
    EXPECT_FALSE(animator->isRunning());
    // A new velocity wakes it.
    properties->addLinearVelocity({0, 300}, item.get());
    EXPECT_TRUE(animator->isRunning());
}

TEST_F(DynamicAnimatorTest, AnInstantaneousPushActsOnceAndHeavierItemsMoveLess) {
    auto big = std::make_shared<View>(Rect(0, 600, 200, 200));
    reference->addSubview(big);
    auto push = std::make_shared<PushBehavior>(std::vector<std::shared_ptr<View>>{item, big},
                                               PushBehaviorMode::Instantaneous);
    push->setMagnitude(-1);  // angle 0: to the left
    EXPECT_TRUE(push->active());
    animator->addBehavior(push);
    advance(dt);
    EXPECT_FALSE(push->active());
    auto properties = std::make_shared<DynamicItemBehavior>(std::vector<std::shared_ptr<View>>{item, big});
    animator->addBehavior(properties);
    EXPECT_EQ((Vector{-100, 0}), properties->linearVelocityForItem(item.get()));
    EXPECT_EQ((Vector{-25, 0}), properties->linearVelocityForItem(big.get()));
    advance(dt);
    EXPECT_NEAR(200 - 2 * 100 * dt, item->center().x, 1e-9);
    EXPECT_EQ((Vector{-100, 0}), properties->linearVelocityForItem(item.get()));
}

TEST_F(DynamicAnimatorTest, ItemBehavioursAddVelocitiesAndActionsRunAfterEveryStep) {
    auto properties = std::make_shared<DynamicItemBehavior>(std::vector<std::shared_ptr<View>>{item});
    // Added before the behaviour is in an animator: applied when it is.
    properties->addLinearVelocity({60, 0}, item.get());
    properties->addLinearVelocity({0, 60}, reference.get());  // not an item of it: nothing
    EXPECT_EQ((Vector{}), properties->linearVelocityForItem(item.get()));
    std::vector<double> seen;
    std::weak_ptr<DynamicItemBehavior> weak = properties;
    properties->setAction([&, weak] {
        seen.push_back(item->center().x);
        if (seen.size() == 3)
            if (auto self = weak.lock()) self->dynamicAnimator()->removeBehavior(self.get());
    });
    animator->addBehavior(properties);
    EXPECT_EQ((Vector{60, 0}), properties->linearVelocityForItem(item.get()));
    advance(10 * dt);
    EXPECT_EQ((std::vector<double>{201, 202, 203}), seen);
    EXPECT_TRUE(animator->behaviors().empty());
    EXPECT_FALSE(animator->isRunning());

    // Child behaviours act with their parent.
    auto parent = std::make_shared<DynamicBehavior>();
    auto gravity = std::make_shared<GravityBehavior>(std::vector<std::shared_ptr<View>>{item});
    parent->addChildBehavior(gravity);
    animator->addBehavior(parent);
    EXPECT_EQ(animator, gravity->dynamicAnimator());
    advance(dt);
    EXPECT_GT(item->center().y, 400);
    animator->removeAllBehaviors();
    EXPECT_EQ(nullptr, gravity->dynamicAnimator());
}

}  // namespace
