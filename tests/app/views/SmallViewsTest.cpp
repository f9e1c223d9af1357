#include <gtest/gtest.h>

#include "app/views/ColorAdditions.h"
#include "app/views/FIBasicTableCellContentView.h"
#include "app/views/FIBorderedButton.h"
#include "app/views/FICardEntryView.h"
#include "app/views/FILineProgressView.h"
#include "app/views/FILineView.h"
#include "app/views/FIPlaceholderTableViewDataSource.h"
#include "app/views/FISolidColorButton.h"
#include "app/views/FITwoFaceButton.h"
#include "app/views/GradientView.h"
#include "app/views/MultilineButton.h"
#include "app/views/PassthroughView.h"
#include "app/views/SafeAreaLayoutHelper.h"
#include "app/views/SelectionButton.h"
#include "platform/ui/Application.h"
#include "platform/ui/UITestFixture.h"
#include "platform/ui/Window.h"

using memorant_test::colorNear;

class SmallViewsTest : public memorant_test::UITest {};

namespace {

std::vector<std::string> describeAll(const std::vector<std::shared_ptr<LayoutConstraint>>& constraints,
                                     const std::map<const View*, std::string>& names) {
    std::vector<std::string> out;
    for (const auto& c : constraints) {
        auto name = [&](const std::shared_ptr<View>& v) {
            auto it = names.find(v.get());
            return it == names.end() ? std::string("-") : it->second;
        };
        out.push_back(name(c->firstItem()) + "." + layoutAttributeName(c->firstAttribute()) + "=" +
                      (c->secondItem() ? name(c->secondItem()) + "." + layoutAttributeName(c->secondAttribute()) : "") +
                      "+" + std::to_string(static_cast<int>(c->constant())));
    }
    return out;
}

}  // namespace

TEST_F(SmallViewsTest, LineProgressViewShowsItsFraction) {
    auto view = std::make_shared<FILineProgressView>(Rect(0, 0, 300, 4));
    EXPECT_TRUE(colorNear(*view->backgroundColor(), Color(200 / 255.0, 199 / 255.0, 204 / 255.0)));
    EXPECT_EQ(Color::redColor(), view->progressColor());
    view->setPercentComplete(0.5);
    EXPECT_EQ(Rect(0, 0, 150, 4), view->progressIndicatorView()->frame());
    view->setProgressColor(Color::greenColor());
    EXPECT_EQ(Color::greenColor(), *view->progressIndicatorView()->backgroundColor());
    view->setFrame(Rect(0, 0, 100, 4));
    view->layoutIfNeeded();
    EXPECT_EQ(Rect(0, 0, 50, 4), view->progressIndicatorView()->frame());
}

TEST_F(SmallViewsTest, TwoFaceButtonFlipsBothWays) {
    auto button = std::make_shared<FITwoFaceButton>(Rect(0, 0, 44, 44));
    const auto& front = button->frontFaceImageView();
    const auto& back = button->backSideImageView();
    EXPECT_EQ(button.get(), front->superview());
    EXPECT_EQ(nullptr, back->superview());
    EXPECT_FALSE(front->isUserInteractionEnabled());
    EXPECT_EQ(ContentMode::Center, front->contentMode());
    auto picture = Image::render({10, 10}, 1, nullptr);
    button->setBackSideImage(picture);
    EXPECT_EQ(picture, back->image());

    struct Step {
        bool front;
        const char* subtype;
    } steps[] = {{false, "fromRight"}, {true, "fromLeft"}};
    for (const auto& step : steps) {
        button->flip();
        EXPECT_EQ(step.front, button->isShowingFrontFace());
        EXPECT_EQ(button.get(), (step.front ? front : back)->superview());
        EXPECT_EQ(nullptr, (step.front ? back : front)->superview());
        auto flip = std::dynamic_pointer_cast<const TransitionAnimation>(button->layer().animationForKey("transition"));
        ASSERT_NE(nullptr, flip);
        EXPECT_EQ(step.subtype, flip->subtype());
        EXPECT_DOUBLE_EQ(0.5, flip->duration());
        advance(0.5);
    }
}

TEST_F(SmallViewsTest, SolidColorButtonKeepsItsFirstColours) {
    auto button = std::make_shared<FISolidColorButton>(Rect(0, 0, 100, 40));
    button->setBackgroundColor(Color(0.5, 0.4, 0.05));
    button->setBackgroundColor(Color::blueColor());
    EXPECT_EQ(Color::blueColor(), *button->backgroundColor());
    EXPECT_TRUE(colorNear(*button->originalBackgroundColor(), Color(0.5, 0.4, 0.05), 1e-12));
    EXPECT_TRUE(colorNear(*button->darkerBackgroundColor(), Color(0.4, 0.3, 0), 1e-12));
    button->setHighlighted(true);
    EXPECT_TRUE(colorNear(*button->backgroundColor(), Color(0.4, 0.3, 0), 1e-12));
    button->setHighlighted(false);
    EXPECT_TRUE(colorNear(*button->backgroundColor(), Color(0.5, 0.4, 0.05), 1e-12));
}

TEST_F(SmallViewsTest, BorderedButtonFollowsItsTint) {
    auto button = std::make_shared<FIBorderedButton>(Rect(0, 0, 100, 40));
    EXPECT_DOUBLE_EQ(5, button->layer().cornerRadius());
    EXPECT_DOUBLE_EQ(1, button->layer().borderWidth());
    EXPECT_EQ((EdgeInsets{10, 15, 10, 15}), button->contentEdgeInsets());
    EXPECT_EQ(Color::systemBlueColor(), *button->layer().borderColor());
    // On its way into a window it takes the tint of where it is then.
    auto container = std::make_shared<View>();
    container->setTintColor(*twColorFromHexString("e45050"));
    container->addSubview(button);
    EXPECT_EQ(Color::systemBlueColor(), *button->layer().borderColor());
    auto window = std::make_shared<Window>();
    window->addSubview(container);
    EXPECT_TRUE(colorNear(*button->layer().borderColor(), *twColorFromHexString("e45050")));
    // From an interface file the border comes with awakeFromNib.
    auto fromNib = instantiateFromNib<FIBorderedButton>(Rect(0, 0, 100, 40));
    EXPECT_DOUBLE_EQ(1, fromNib->layer().borderWidth());
}

TEST_F(SmallViewsTest, BasicContentViewMakesRoomForAnImage) {
    auto view = FIBasicTableCellContentView::make(Rect(0, 0, 320, 44));
    EXPECT_EQ(Color::whiteColor(), *view->backgroundColor());
    const auto& text = view->textLabel();
    EXPECT_EQ(Rect(44, 0, 100, 44), text->frame());
    std::map<const View*, std::string> names{{view.get(), "super"}, {text.get(), "text"}};
    EXPECT_EQ((std::vector<std::string>{"text.leading=super.leading+15", "super.trailingMargin=text.trailing+0",
                                        "text.top=super.top+0", "super.bottom=text.bottom+0"}),
              describeAll(view->constraints(), names));

    auto icon = Image::render({24, 24}, 1, nullptr);
    view->setImage(icon);
    const auto image = view->imageView();
    ASSERT_NE(nullptr, image);
    names[image.get()] = "image";
    EXPECT_EQ(Rect(0, 0, 24, 44), image->frame());
    EXPECT_EQ(ContentMode::Center, image->contentMode());
    EXPECT_EQ(
        (std::vector<std::string>{"super.trailingMargin=text.trailing+0", "text.top=super.top+0",
                                  "super.bottom=text.bottom+0", "image.top=super.top+0", "super.bottom=image.bottom+0",
                                  "image.leading=super.leading+15", "text.leading=image.trailing+15"}),
        describeAll(view->constraints(), names));
    EXPECT_DOUBLE_EQ(24, view->imageViewWidthConstraint()->constant());
    view->setImage(Image::render({30, 24}, 1, nullptr));
    EXPECT_EQ(image, view->imageView());
    EXPECT_DOUBLE_EQ(30, view->imageViewWidthConstraint()->constant());

    view->setImage(nullptr);
    EXPECT_EQ(nullptr, view->imageView());
    EXPECT_EQ(nullptr, image->superview());
    EXPECT_EQ(4u, view->constraints().size());
    EXPECT_EQ(view->textLeftEdgeConstraints().front(), view->constraints().back());
    view->layoutIfNeeded();
    EXPECT_DOUBLE_EQ(44, view->leftInset());
}

TEST_F(SmallViewsTest, LineViewIsADashedVerticalLine) {
    auto view = std::make_shared<FILineView>(Rect(0, 0, 4, 100));
    view->setTintColor(Color::redColor());
    EXPECT_EQ(nullptr, view->lineLayer());
    view->layoutIfNeeded();
    const auto& line = view->lineLayer();
    ASSERT_NE(nullptr, line);
    EXPECT_EQ((std::vector<double>{10, 7}), line->lineDashPattern());
    EXPECT_DOUBLE_EQ(4, line->lineWidth());
    auto picture = renderPNG(*view, "line");
    EXPECT_TRUE(colorNear(picture->colorAtPixel(1, 5), Color::redColor()));
    EXPECT_EQ(0, picture->colorAtPixel(1, 13).alpha());  // in a gap
    EXPECT_TRUE(colorNear(picture->colorAtPixel(2, 20), Color::redColor()));
}

TEST_F(SmallViewsTest, GradientViewRunsFromTopRightToBottomLeft) {
    auto view = instantiateFromNib<GradientView>(Rect(0, 0, 100, 100));
    ASSERT_NE(nullptr, view->gradientLayer());
    EXPECT_EQ(view->gradientLayer(), view->layer().sublayers().front());
    view->setFrame(Rect(0, 0, 200, 100));
    auto picture = renderPNG(*view, "gradient");
    EXPECT_EQ(Rect(0, 0, 200, 100), view->gradientLayer()->frame());
    EXPECT_TRUE(colorNear(picture->colorAtPixel(199, 0), Color(80 / 255.0, 80 / 255.0, 80 / 255.0), 3.0 / 255));
    EXPECT_TRUE(colorNear(picture->colorAtPixel(0, 99), Color(157 / 255.0, 142 / 255.0, 147 / 255.0), 3.0 / 255));
}

TEST_F(SmallViewsTest, MultilineButtonWrapsItsTitle) {
    auto button = std::make_shared<MultilineButton>(Rect(0, 0, 80, 200));
    EXPECT_EQ(0, button->titleLabel()->numberOfLines());
    EXPECT_EQ(LineBreakMode::WordWrapping, button->titleLabel()->lineBreakMode());
    button->setTitle("one two three four five six", ControlStateNormal);
    button->layoutIfNeeded();
    EXPECT_DOUBLE_EQ(button->titleLabel()->frame().size.width, button->titleLabel()->preferredMaxLayoutWidth());
    EXPECT_LE(button->intrinsicContentSize().width, 80);
    EXPECT_GT(button->intrinsicContentSize().height, button->titleLabel()->font().lineHeight() * 1.5);
}

TEST_F(SmallViewsTest, SelectionButtonDrawsATickOrARing) {
    auto button = std::make_shared<SelectionButton>(Rect(0, 0, 50, 50));
    button->setTintColor(Color::blueColor());
    auto ring = renderPNG(*button, "ring");
    EXPECT_EQ(0, ring->colorAtPixel(25, 25).alpha());
    const Color edge = ring->colorAtPixel(1, 25);
    EXPECT_GT(edge.alpha(), 0.3);
    EXPECT_NEAR(2.0 / 3, edge.red(), 0.02);
    button->setSelected(true);
    auto tick = renderPNG(*button, "tick");
    EXPECT_TRUE(colorNear(tick->colorAtPixel(25, 10), Color::blueColor()));
    // On the tick's long stroke from (18, 34) to (36, 16): whitened.
    EXPECT_GT(tick->colorAtPixel(27, 24).red(), 0.5);
    EXPECT_EQ(0, tick->colorAtPixel(1, 1).alpha());
}

TEST_F(SmallViewsTest, PassthroughViewTakesTouchesOnlyOnVisibleInteractiveSubviews) {
    auto root = std::make_shared<View>(Rect(0, 0, 100, 100));
    auto passthrough = std::make_shared<PassthroughView>(Rect(0, 0, 100, 100));
    root->addSubview(passthrough);
    auto hidden = std::make_shared<View>(Rect(0, 0, 50, 50));
    hidden->setHidden(true);
    auto transparent = std::make_shared<View>(Rect(50, 0, 50, 50));
    transparent->setAlpha(0);
    auto inert = std::make_shared<View>(Rect(0, 50, 50, 50));
    inert->setUserInteractionEnabled(false);
    for (const auto& v : {hidden, transparent, inert}) passthrough->addSubview(v);
    for (Point p : {Point{25, 25}, Point{75, 25}, Point{25, 75}, Point{75, 75}})
        EXPECT_EQ(root.get(), root->hitTest(p)) << p.x << "," << p.y;
    auto live = std::make_shared<View>(Rect(50, 50, 50, 50));
    passthrough->addSubview(live);
    EXPECT_EQ(live.get(), root->hitTest({75, 75}));
    EXPECT_EQ(root.get(), root->hitTest({25, 25}));
}

TEST_F(SmallViewsTest, CardEntryViewLabelsAndConstraints) {
    auto view = FICardEntryView::make(Rect(0, 0, 320, 60));
    const auto &q = view->questionLabel(), &a = view->answerLabel(), &n = view->cardNumberLabel();
    EXPECT_TRUE(q->font().isBold());
    EXPECT_DOUBLE_EQ(17, a->font().pointSize());
    EXPECT_EQ("", a->text());
    EXPECT_EQ(LineBreakMode::TruncatingTail, n->lineBreakMode());
    EXPECT_FLOAT_EQ(750, n->contentHuggingPriorityForAxis(LayoutConstraintAxis::Horizontal));
    EXPECT_FLOAT_EQ(250, q->contentHuggingPriorityForAxis(LayoutConstraintAxis::Horizontal));
    std::map<const View*, std::string> names{{view.get(), "super"}, {q.get(), "q"}, {a.get(), "a"}};
    EXPECT_EQ((std::vector<std::string>{"q.leading=super.leading+16", "super.trailing=q.trailing+16", "a.left=q.left+0",
                                        "a.right=q.right+0", "q.top=super.top+8", "a.top=q.bottom+0",
                                        "super.bottom=a.bottom+8"}),
              describeAll(view->constraints(), names));
    EXPECT_EQ(7u, instantiateFromNib<FICardEntryView>(Rect(0, 0, 320, 60))->constraints().size());
}

TEST_F(SmallViewsTest, PlaceholderDataSourceShowsTwoRows) {
    auto table = std::make_shared<TableView>(Rect(0, 0, 320, 480));
    auto source = std::make_shared<FIPlaceholderTableViewDataSource>();
    table->setDataSource(source);
    EXPECT_TRUE(FIPlaceholderTableViewDataSource::placeholderSectionIndexSet().containsIndex(0));
    EXPECT_EQ(1u, FIPlaceholderTableViewDataSource::placeholderSectionIndexSet().count());
    for (const std::optional<std::string>& placeholder :
         {std::optional<std::string>(), std::optional<std::string>("No Cards")}) {
        source->setPlaceholder(placeholder);
        table->reloadData();
        ASSERT_EQ(1, table->numberOfSections());
        ASSERT_EQ(2, table->numberOfRowsInSection(0));
        auto first = table->cellForRowAtIndexPath({0, 0});
        auto second = table->cellForRowAtIndexPath({0, 1});
        EXPECT_EQ("FIPlaceholderTableViewCell", first->reuseIdentifier());
        EXPECT_EQ("", first->textLabel()->text());
        EXPECT_EQ(placeholder.value_or(""), second->textLabel()->text());
        EXPECT_EQ(TextAlignment::Center, second->textLabel()->textAlignment());
        EXPECT_TRUE(second->textLabel()->font().isBold());
        EXPECT_DOUBLE_EQ(18, second->textLabel()->font().pointSize());
        EXPECT_EQ(Color::lightGrayColor(), second->textLabel()->textColor());
    }
}

TEST_F(SmallViewsTest, SafeAreaOfTheKeyWindowAndConstraintsByView) {
    EXPECT_EQ(EdgeInsets{}, SafeAreaLayoutHelper::compatibleSafeAreaInsetsForKeyWindow());
    auto window = std::make_shared<Window>();
    window->setSafeAreaInsets({47, 0, 34, 0});
    window->makeKeyAndVisible();
    EXPECT_EQ((EdgeInsets{47, 0, 34, 0}), SafeAreaLayoutHelper::compatibleSafeAreaInsetsForKeyWindow());
    window->setHidden(true);

    auto a = std::make_shared<View>(), b = std::make_shared<View>();
    auto width = LayoutConstraint::constraintWithItem(a, LayoutAttribute::Width, LayoutRelation::Equal, nullptr,
                                                      LayoutAttribute::NotAnAttribute, 1, 10);
    auto height = LayoutConstraint::constraintWithItem(b, LayoutAttribute::Height, LayoutRelation::Equal, nullptr,
                                                       LayoutAttribute::NotAnAttribute, 1, 20);
    std::map<std::shared_ptr<View>, std::vector<std::shared_ptr<LayoutConstraint>>> byView{{a, {width}}, {b, {height}}};
    addConstraintsByView(byView);
    EXPECT_EQ(std::vector<std::shared_ptr<LayoutConstraint>>{width}, a->constraints());
    EXPECT_EQ(std::vector<std::shared_ptr<LayoutConstraint>>{height}, b->constraints());
    EXPECT_EQ(2u, byView.size());
    addConstraintsByView({});
}
