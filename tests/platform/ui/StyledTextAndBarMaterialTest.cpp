// What the eye sees of styled text and of the bars: an attributed text draws
// each run in its own font and colour, and a translucent bar lets the colours
// of what lies under it through, never its text.

#include <gtest/gtest.h>

#include <algorithm>

#include "platform/ui/AttributedString.h"
#include "platform/ui/Button.h"
#include "platform/ui/Label.h"
#include "platform/ui/NavigationBar.h"
#include "platform/ui/TextField.h"
#include "platform/ui/UITestFixture.h"

using memorant_test::colorNear;
using memorant_test::UITest;

namespace {

// The rows (in pixels) holding a pixel near the colour within the picture's
// columns [left, right).
std::vector<int> inkRows(const Image& image, const Color& color, int left = 0, int right = -1) {
    if (right < 0) right = image.pixelWidth();
    std::vector<int> rows;
    for (int y = 0; y < image.pixelHeight(); ++y)
        for (int x = left; x < right; ++x)
            if (colorNear(image.colorAtPixel(x, y), color, 0.25)) {
                rows.push_back(y);
                break;
            }
    return rows;
}

int span(const std::vector<int>& rows) {
    return rows.empty() ? 0 : rows.back() - rows.front() + 1;
}

double luminance(const Color& c) {
    return 0.2126 * c.red() + 0.7152 * c.green() + 0.0722 * c.blue();
}

}  // namespace

class StyledTextAndBarMaterialTest : public UITest {};

// A count over its caption ("7" in a large thin face and red, "Correct" small
// and blue): each shows in its run's font and colour, in a label and as a
// button's attributed title, and the view measures the lines as drawn.
TEST_F(StyledTextAndBarMaterialTest, AnAttributedTextDrawsEachRunInItsFontAndColour) {
    const Color red(0.9, 0, 0), blue(0, 0, 0.9);
    AttributedString title("7\nCorrect");
    AttributedString::Attributes figure, caption;
    figure.font = Font::systemFont(42, FontWeight::Thin);
    figure.foregroundColor = red;
    caption.font = Font::systemFont(14);
    caption.foregroundColor = blue;
    title.addAttributes(figure, Range{0, 1});
    title.addAttributes(caption, Range{2, 7});

    auto label = std::make_shared<Label>(Rect(0, 0, 130, 90));
    label->setNumberOfLines(2);
    label->setTextAlignment(TextAlignment::Center);
    label->setAttributedText(title);
    auto button = std::make_shared<Button>(Rect(0, 0, 130, 90));
    button->titleLabel()->setNumberOfLines(2);
    button->titleLabel()->setTextAlignment(TextAlignment::Center);
    button->setAttributedTitle(title, ControlStateNormal);
    button->layoutIfNeeded();

    const double twoLines =
        std::ceil(Font::systemFont(42).lineHeight() + Font::systemFont(14).lineHeight());
    for (View* view : {static_cast<View*>(label.get()), static_cast<View*>(button.get())}) {
        SCOPED_TRACE(view == label.get() ? "label" : "button");
        Label& shown = view == label.get() ? *label : *button->titleLabel();
        EXPECT_NEAR(twoLines, shown.intrinsicContentSize().height, 1);
        EXPECT_FALSE(shown.isTextCut());
        auto image = renderPNG(*view, "count");
        const auto figureRows = inkRows(*image, red), captionRows = inkRows(*image, blue);
        // The figure is a large glyph, the caption a line of small text under it.
        EXPECT_GE(span(figureRows), 25);
        EXPECT_GT(span(captionRows), 5);
        EXPECT_LE(span(captionRows), 16);
        ASSERT_FALSE(figureRows.empty() || captionRows.empty());
        EXPECT_LT(figureRows.back(), captionRows.front());
    }

    // Without styled runs the text takes the label's font and colour.
    auto plain = std::make_shared<Label>(Rect(0, 0, 130, 30));
    plain->setTextColor(blue);
    plain->setAttributedText(AttributedString("Correct"));
    EXPECT_GT(span(inkRows(*renderPNG(*plain, "plain"), blue)), 5);
}

// A word in red with a dotted line under it, the rest in the view's own
// colour: a text field draws the runs as a label does, and the line shows
// under the word only, broken into dots.
TEST_F(StyledTextAndBarMaterialTest, AFieldAndALabelDrawTheirRunsAndADottedUnderline) {
    const Color red(0.9, 0, 0), blue(0, 0, 0.9);
    AttributedString text("ace more");
    AttributedString::Attributes word;
    word.foregroundColor = red;
    text.addAttributes(word, Range{0, 3});
    text.addUnderlineStyle(AttributedString::UnderlineStyleSingle | AttributedString::UnderlinePatternDot,
                           Range{0, 3});
    auto field = std::make_shared<TextField>(Rect(0, 0, 160, 40));
    field->setTextColor(blue);
    field->setAttributedText(text);
    auto label = std::make_shared<Label>(Rect(0, 0, 160, 40));
    label->setTextColor(blue);
    label->setAttributedText(text);
    for (View* view : {static_cast<View*>(field.get()), static_cast<View*>(label.get())}) {
        SCOPED_TRACE(view == field.get() ? "field" : "label");
        auto image = renderPNG(*view, "underlined");
        const auto wordRows = inkRows(*image, red), restRows = inkRows(*image, blue);
        ASSERT_FALSE(wordRows.empty());
        ASSERT_FALSE(restRows.empty());
        // The line lies below the letters, which have no descenders.
        EXPECT_GE(wordRows.back(), restRows.back() + 1);
        // Its row is dotted: ink and gaps alternate along it.
        int changes = 0;
        bool inked = false;
        for (int x = 0; x < image->pixelWidth(); ++x) {
            const bool here = colorNear(image->colorAtPixel(x, wordRows.back()), red, 0.25);
            if (here != inked) ++changes;
            inked = here;
        }
        EXPECT_GE(changes, 6);
    }
}

// Text under a translucent bar shows only as a soft blur of its colour, while
// a coloured view under it still tints the bar; text outside the bar stays
// sharp.
TEST_F(StyledTextAndBarMaterialTest, ATranslucentBarBlursWhatLiesUnderIt) {
    auto screen = std::make_shared<View>(Rect(0, 0, 390, 200));
    screen->setBackgroundColor(Color::whiteColor());
    auto underBar = std::make_shared<Label>(Rect(16, 10, 200, 24));
    underBar->setText(std::string("Search"));
    auto outside = std::make_shared<Label>(Rect(16, 100, 200, 24));
    outside->setText(std::string("Search"));
    auto red = std::make_shared<View>(Rect(300, 0, 90, 44));
    red->setBackgroundColor(Color::redColor());
    auto bar = std::make_shared<NavigationBar>(Rect(0, 0, 390, NavigationBar::kHeight));
    for (const auto& view : std::initializer_list<std::shared_ptr<View>>{underBar, outside, red, bar})
        screen->addSubview(view);

    auto image = renderViewToImage(*screen, 2);
    auto contrast = [&](const Rect& rect) {
        double lightest = 0, darkest = 1;
        for (double y = rect.minY(); y < rect.maxY(); y += 0.5)
            for (double x = rect.minX(); x < rect.maxX(); x += 0.5) {
                const double l = luminance(image->colorAtPoint({x, y}));
                lightest = std::max(lightest, l);
                darkest = std::min(darkest, l);
            }
        return lightest - darkest;
    };
    EXPECT_GT(contrast(Rect(16, 100, 80, 24)), 0.5);
    // Legible text needs a few percent of contrast at least.
    EXPECT_LT(contrast(Rect(16, 10, 80, 24)), 0.02);
    const Color tinted = image->colorAtPoint({370, 22});
    EXPECT_GT(tinted.red() - tinted.green(), 0.03);
}

namespace {

// Widths are kept per face: a thin face of a family measured after the
// regular one at the same size (or before it) gets its own width, not the
// other's. Each order uses a text measured nowhere else.
TEST(FontMeasureTest, AThinFaceIsMeasuredApartFromTheRegularOne) {
    const Font regular = Font::systemFont(42), thin = Font::systemFont(42, FontWeight::Thin);
    const std::string first = "Weights apart, first", second = "Weights apart, second";
    const double thinFirst = thin.sizeOfText(first).width, regularAfter = regular.sizeOfText(first).width;
    const double regularFirst = regular.sizeOfText(second).width, thinAfter = thin.sizeOfText(second).width;
    // Same order of widths whichever face was measured first.
    EXPECT_EQ(thinFirst < regularAfter, thinAfter < regularFirst);
    EXPECT_NE(regularFirst, thinAfter) << "the installed family has no lighter weight";
}

}  // namespace
