#include <gtest/gtest.h>

#include "platform/ui/UITestFixture.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"

using memorant_test::UITest;

namespace {

// Counts what the platform tells a view.
class ProbeView : public View {
public:
    using View::View;
    int layouts = 0, tintChanges = 0, windowMoves = 0;
    Window* lastWindow = nullptr;
    void layoutSubviews() override { ++layouts; }
    void tintColorDidChange() override { ++tintChanges; }
    void didMoveToWindow() override {
        ++windowMoves;
        lastWindow = window();
    }
};

std::vector<const Layer*> layersOf(const View& view) {
    std::vector<const Layer*> layers;
    for (const auto& l : view.layer().sublayers()) layers.push_back(l.get());
    return layers;
}

}  // namespace

class ViewTest : public UITest {};

TEST_F(ViewTest, SubviewsAndTheirLayersKeepOneOrder) {
    auto root = std::make_shared<View>(Rect(0, 0, 100, 100));
    auto a = std::make_shared<View>(), b = std::make_shared<View>(), c = std::make_shared<View>();
    auto decoration = Layer::layer();
    root->addSubview(a);
    root->layer().addSublayer(decoration);  // a layer that is no view's
    root->addSubview(b);
    root->insertSubview(c, 0);
    ASSERT_EQ((std::vector<std::shared_ptr<View>>{c, a, b}), root->subviews());
    EXPECT_EQ((std::vector<const Layer*>{&c->layer(), &a->layer(), decoration.get(), &b->layer()}), layersOf(*root));

    root->insertSubviewAbove(c, b.get());
    EXPECT_EQ((std::vector<std::shared_ptr<View>>{a, b, c}), root->subviews());
    root->sendSubviewToBack(b.get());
    root->insertSubviewBelow(a, b.get());
    EXPECT_EQ((std::vector<std::shared_ptr<View>>{a, b, c}), root->subviews());
    EXPECT_EQ(&a->layer(), layersOf(*root).front());

    // Moving a view to another parent takes it out of the first.
    auto other = std::make_shared<View>();
    other->addSubview(b);
    EXPECT_EQ(other.get(), b->superview());
    EXPECT_EQ((std::vector<std::shared_ptr<View>>{a, c}), root->subviews());
    b->removeFromSuperview();
    EXPECT_EQ(nullptr, b->superview());
    EXPECT_EQ(nullptr, b->layer().superlayer());
    c->setTag(7);
    EXPECT_EQ(c.get(), root->viewWithTag(7));
}

TEST_F(ViewTest, GeometryAndConversions) {
    auto root = std::make_shared<View>(Rect(0, 0, 200, 200));
    auto scrolled = std::make_shared<View>(Rect(10, 20, 100, 100));
    scrolled->setBounds(Rect(30, 0, 100, 100));  // content moved 30 to the left
    auto child = std::make_shared<View>(Rect(40, 5, 10, 10));
    root->addSubview(scrolled);
    scrolled->addSubview(child);
    EXPECT_EQ((Point{60, 70}), scrolled->center());
    EXPECT_EQ((Point{20, 25}), child->convertPointToView({0, 0}, root.get()));
    EXPECT_EQ((Point{0, 0}), child->convertPointFromView({20, 25}, root.get()));
    EXPECT_EQ((Point{0, 0}), root->convertPointToView({20, 25}, child.get()));

    // A transform moves the frame but not the bounds.
    child->setTransform(AffineTransform::scale(2, 2));
    EXPECT_EQ(Rect(40, 5, 10, 10).size, child->bounds().size);
    EXPECT_EQ(Rect(35, 0, 20, 20), child->frame());
    EXPECT_EQ((Point{15, 20}), child->convertPointToView({0, 0}, root.get()));
}

TEST_F(ViewTest, HitTestingSkipsWhatCannotBeTouched) {
    auto root = std::make_shared<View>(Rect(0, 0, 100, 100));
    auto panel = std::make_shared<View>(Rect(0, 0, 50, 50));
    auto button = std::make_shared<View>(Rect(10, 10, 20, 20));
    root->addSubview(panel);
    panel->addSubview(button);
    EXPECT_EQ(button.get(), root->hitTest({15, 15}));
    EXPECT_EQ(panel.get(), root->hitTest({40, 40}));
    EXPECT_EQ(root.get(), root->hitTest({80, 80}));
    EXPECT_EQ(nullptr, root->hitTest({150, 10}));

    struct Case {
        const char* what;
        std::function<void(View&)> change;
    } cases[] = {
        {"hidden", [](View& v) { v.setHidden(true); }},
        {"no interaction", [](View& v) { v.setUserInteractionEnabled(false); }},
        {"transparent", [](View& v) { v.setAlpha(0); }},
    };
    for (const auto& c : cases) {
        auto probe = std::make_shared<View>(Rect(10, 10, 20, 20));
        panel->addSubview(probe);
        EXPECT_EQ(probe.get(), root->hitTest({15, 15})) << c.what;
        c.change(*probe);
        EXPECT_EQ(button.get(), root->hitTest({15, 15})) << c.what;
        probe->removeFromSuperview();
    }
}

TEST_F(ViewTest, TintIsInheritedAndChangesAreAnnounced) {
    auto root = std::make_shared<View>();
    auto child = std::make_shared<ProbeView>();
    root->addSubview(child);
    EXPECT_EQ(Color::systemBlueColor(), child->tintColor());
    const int before = child->tintChanges;
    root->setTintColor(Color::redColor());
    EXPECT_EQ(Color::redColor(), child->tintColor());
    EXPECT_EQ(before + 1, child->tintChanges);
    child->setTintColor(Color::greenColor());
    root->setTintColor(Color::blueColor());  // the child keeps its own
    EXPECT_EQ(Color::greenColor(), child->tintColor());
    EXPECT_EQ(before + 2, child->tintChanges);
}

TEST_F(ViewTest, DynamicColoursFollowTheInterfaceStyle) {
    auto root = std::make_shared<View>();
    auto child = std::make_shared<View>();
    root->addSubview(child);
    const Color background = Color::systemBackgroundColor();
    EXPECT_EQ(UserInterfaceStyle::Light, child->traitCollection().userInterfaceStyle);
    EXPECT_TRUE(memorant_test::colorNear(background.resolvedColor(child->traitCollection()), Color::whiteColor()));

    root->setOverrideUserInterfaceStyle(UserInterfaceStyle::Dark);
    EXPECT_TRUE(memorant_test::colorNear(background.resolvedColor(child->traitCollection()), Color::blackColor()));
    Screen::main().setUserInterfaceStyle(UserInterfaceStyle::Dark);
    root->setOverrideUserInterfaceStyle(UserInterfaceStyle::Light);
    EXPECT_EQ(UserInterfaceStyle::Light, child->traitCollection().userInterfaceStyle);
    // Outside any view, the screen's style counts.
    EXPECT_TRUE(
        memorant_test::colorNear(Color::labelColor().resolvedColor(TraitCollection::current()), Color::whiteColor()));
    TraitCollection light;
    light.performAsCurrent([&] { EXPECT_DOUBLE_EQ(0, Color::labelColor().red()); });

    Device::current().setUserInterfaceIdiom(UserInterfaceIdiom::Pad);
    EXPECT_EQ(UserInterfaceSizeClass::Regular, child->traitCollection().horizontalSizeClass);
    EXPECT_EQ(820, Screen::main().bounds().size.width);
}

TEST_F(ViewTest, LayoutRunsOnceOnTheMainLoopForViewsInAWindow) {
    auto window = std::make_shared<Window>(Rect(0, 0, 100, 100));
    window->makeKeyAndVisible();
    auto view = std::make_shared<ProbeView>(Rect(0, 0, 10, 10));
    window->addSubview(view);
    EXPECT_EQ(view.get(), window->subviews().back().get());
    EXPECT_EQ(1, view->windowMoves);
    EXPECT_EQ(window.get(), view->lastWindow);
    memorant_test::drainMainLoop();
    const int after = view->layouts;
    EXPECT_GE(after, 1);
    view->setNeedsLayout();
    view->setNeedsLayout();
    memorant_test::drainMainLoop();
    EXPECT_EQ(after + 1, view->layouts);
    // A change of size asks for layout; a move does not.
    view->setFrame(Rect(5, 5, 10, 10));
    view->layoutIfNeeded();
    EXPECT_EQ(after + 1, view->layouts);
    view->setFrame(Rect(5, 5, 20, 10));
    view->layoutIfNeeded();
    EXPECT_EQ(after + 2, view->layouts);
    view->removeFromSuperview();
    EXPECT_EQ(2, view->windowMoves);
    EXPECT_EQ(nullptr, view->lastWindow);
    window->setHidden(true);
}

TEST_F(ViewTest, AnimatedChangesBecomeLayerAnimationsOnTheClock) {
    auto view = std::make_shared<View>(Rect(0, 0, 100, 100));
    view->setAlpha(1);
    std::vector<bool> completions;
    View::animate(
        0.4, 0, ViewAnimationOptionCurveLinear,
        [&] {
            view->setAlpha(0);
            view->setCenter({150, 50});
        },
        [&](bool finished) { completions.push_back(finished); });
    // The view has its new values at once; its layer shows the way there.
    EXPECT_DOUBLE_EQ(0, view->alpha());
    auto fade = std::dynamic_pointer_cast<const BasicAnimation>(view->layer().animationForKey("opacity"));
    ASSERT_NE(nullptr, fade);
    EXPECT_DOUBLE_EQ(0.4, fade->duration());
    advance(0.1);
    EXPECT_NEAR(0.75, view->layer().presentationDouble("opacity"), 1e-9);
    EXPECT_NEAR(75, std::get<Point>(*view->layer().presentationValueForKey("position")).x, 1e-9);
    EXPECT_TRUE(completions.empty());
    advance(0.3);
    EXPECT_EQ(std::vector<bool>{true}, completions);
    EXPECT_TRUE(view->layer().animationKeys().empty());

    // Without animation nothing is recorded; the completion still comes from the loop.
    View::performWithoutAnimation([&] { view->setAlpha(1); });
    View::animate(
        0, [&] { view->setAlpha(0.5); }, [&](bool) { completions.push_back(true); });
    EXPECT_TRUE(view->layer().animationKeys().empty());
    EXPECT_EQ(1u, completions.size());
    memorant_test::drainMainLoop();
    EXPECT_EQ(2u, completions.size());

    bool flipped = false;
    View::transition(
        *view, 0.5, ViewAnimationOptionTransitionFlipFromLeft, [&] { view->setAlpha(1); },
        [&](bool) { flipped = true; });
    auto flip = std::dynamic_pointer_cast<const TransitionAnimation>(view->layer().animationForKey("transition"));
    ASSERT_NE(nullptr, flip);
    EXPECT_EQ("flip", flip->type());
    EXPECT_EQ("fromLeft", flip->subtype());
    EXPECT_EQ(nullptr, view->layer().animationForKey("opacity"));
    advance(0.5);
    EXPECT_TRUE(flipped);
}
