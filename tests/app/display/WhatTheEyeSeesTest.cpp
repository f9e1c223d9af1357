// What a person sees and a screen reader reads on the program's own screens,
// reached by taps on what the screen shows (the main storyboard's window on a
// fresh app folder): the accessible elements are only those in sight, the
// summary's counts show large, and the bar items keep the app's tint after a
// study session.

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <regex>

#include "app/display/LaunchedAppTest.h"
#include "app/shell/AppDelegateTestSupport.h"
#include "app/study/StatsButton.h"
#include "platform/display/DisplayScreen.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/StringUtils.h"
#include "platform/ui/ApplicationDelegate.h"
#include "platform/ui/NavigationBar.h"
#include "platform/ui/Screen.h"

namespace {

using namespace memorant_test;
using nlohmann::json;

class WhatTheEyeSeesTest : public LaunchedAppTest {
protected:
    static std::string names() {
        std::string text;
        for (const auto& element : DisplayScreen::accessibleElements())
            text += element["role"].get<std::string>() + " '" + element["name"].get<std::string>() + "'\n";
        return text;
    }
    static bool shows(const std::string& role, const std::string& pattern) { return !elementsNamed(role, pattern).empty(); }

    // Taps the one element of that role and name the screen shows (a second
    // one would be a covered one read out).
    ::testing::AssertionResult tap(const std::string& role, const std::string& pattern) {
        const auto found = elementsNamed(role, pattern);
        if (found.size() != 1)
            return ::testing::AssertionFailure()
                   << found.size() << " of " << role << " /" << pattern << "/ among\n" << names();
        if (!tapScreen(pointOn(found.front())))
            return ::testing::AssertionFailure() << role << " /" << pattern << "/ takes no tap among\n" << names();
        settle();
        return ::testing::AssertionSuccess();
    }
    // Answers the storage question and opens the tutorial deck's card list.
    void openTutorial() {
        ASSERT_TRUE(runMainLoopUntil([] { return UIDriver::presentedAlert() != nullptr; }));
        while (UIDriver::presentedAlert()) ASSERT_TRUE(tap("button", "^Later$"));
        ASSERT_TRUE(tap("row", "^Tutorial"));
        // A phone shows the first card's editor over the list.
        if (GetParam().idiom == UserInterfaceIdiom::Phone && !shows("row", "What is a deck")) {
            ASSERT_TRUE(tap("button", "^(Back|chevron\\.backward)$"));
        }
    }
    // Every element's name and role shown more than once where they should
    // be once: a covered screen read out beside the one over it.
    static std::vector<std::string> repeated(const std::vector<std::string>& roles) {
        std::map<std::string, int> seen;
        for (const auto& element : DisplayScreen::accessibleElements())
            if (std::find(roles.begin(), roles.end(), element["role"].get<std::string>()) != roles.end())
                ++seen[element["role"].get<std::string>() + " '" + element["name"].get<std::string>() + "'"];
        std::vector<std::string> twice;
        for (const auto& [name, count] : seen)
            if (count > 1) twice.push_back(name);
        return twice;
    }

};

// The rows (in pixels) of a view's picture where it draws (it is clear
// elsewhere).
std::vector<int> inkRows(const Image& image) {
    std::vector<int> rows;
    for (int y = 0; y < image.pixelHeight(); ++y)
        for (int x = 0; x < image.pixelWidth(); ++x) {
            if (image.colorAtPixel(x, y).alpha() > 0.3) {
                rows.push_back(y);
                break;
            }
        }
    return rows;
}

}  // namespace

// The test summary's counts show their figure large over a small caption, as
// their styled titles ask.
TEST_P(WhatTheEyeSeesTest, TheTestSummaryShowsItsCountsAsLargeFigures) {
    openTutorial();
    ASSERT_TRUE(tap("button", "^Multiple Choice$"));
    for (int pages = 0; !shows("button", "^Start Over$"); ++pages) {
        ASSERT_LT(pages, 30) << "the test ends in a summary";
        ASSERT_TRUE(dragScreen(0.85, -250));
    }
    std::vector<StatsButton*> counts;
    std::function<void(View&)> visit = [&](View& view) {
        if (view.isHidden()) return;
        if (auto count = dynamic_cast<StatsButton*>(&view)) counts.push_back(count);
        for (const auto& child : view.subviews())
            if (child) visit(*child);
    };
    for (const auto& window : DisplayScreen::visibleWindows()) visit(*window);
    ASSERT_EQ(2u, counts.size());
    for (StatsButton* count : counts) {
        SCOPED_TRACE(count->label());
        EXPECT_TRUE(shows("button", "^" + count->statistic() + "\n" + count->label() + "$")) << names();
        auto image = renderViewToImage(*count, 1);
        const auto rows = inkRows(*image);
        ASSERT_FALSE(rows.empty());
        // The figure's glyphs and the gap below them come first; the caption
        // is one line of small text at the bottom.
        std::vector<std::vector<int>> runs{{rows.front()}};
        for (std::size_t i = 1; i < rows.size(); ++i) {
            if (rows[i] != rows[i - 1] + 1) runs.emplace_back();
            runs.back().push_back(rows[i]);
        }
        ASSERT_EQ(2u, runs.size()) << "a figure and a caption";
        EXPECT_GE(runs[0].size(), 25u) << "the figure is drawn in the large face";
        EXPECT_LE(runs[1].size(), 16u);
    }
}

// Along a study session only what is in sight is read out: no name twice
// (a covered screen beside the one over it), the search field waits unread
// under the bar until the list is pulled down to it, and the card list is
// not read under the study screen that covers it.
TEST_P(WhatTheEyeSeesTest, OnlyWhatIsInSightIsReadOut) {
    openTutorial();
    const std::vector<std::string> roles{"button", "row", "textbox", "radio"};
    EXPECT_TRUE(repeated(roles).empty()) << names();
    EXPECT_FALSE(shows("textbox", "^Search$")) << names();
    const auto rows = elementsNamed("row", "How do I rate myself");
    ASSERT_EQ(1u, rows.size());
    const json& row = rows.front();
    const Point from{row["x"].get<double>() + 20, row["y"].get<double>() + row["height"].get<double>() / 2};
    ASSERT_TRUE(dragOnScreen(from, {0, 300}, {0, 1200}));
    settle();
    EXPECT_TRUE(shows("textbox", "^Search$")) << names();
    EXPECT_TRUE(shows("radio", "^Difficulty$")) << names();

    ASSERT_TRUE(tap("button", "^Memorize$"));
    EXPECT_TRUE(repeated(roles).empty()) << names();
    EXPECT_FALSE(shows("row", "How do I rate myself")) << names();
    EXPECT_FALSE(shows("button", "^Multiple Choice$")) << names();
}

// After a study session the card list's edit item still draws in the app's
// tint; grouped by difficulty the list cannot be edited and the item shows
// disabled, in grey, until the grouping is none again.
TEST_P(WhatTheEyeSeesTest, TheEditItemKeepsTheTintAfterStudying) {
    openTutorial();
    ASSERT_TRUE(tap("button", "^Memorize$"));
    for (int ratings = 0; !shows("button", "^Start Over$"); ++ratings) {
        ASSERT_LT(ratings, 20) << "the batch ends in a summary";
        ASSERT_TRUE(tap("button", "^Easy$"));
    }
    ASSERT_TRUE(tap("button", "^Done$"));
    // The colour the drawn "Edit" shows most, away from the bar's own fill.
    auto editColour = [&]() -> std::optional<Color> {
        const auto found = elementsNamed("button", "^Edit$");
        if (found.size() != 1) return std::nullopt;
        const Rect place(found[0]["x"].get<double>(), found[0]["y"].get<double>(), found[0]["width"].get<double>(),
                         found[0]["height"].get<double>());
        auto image = DisplayScreen::render(2);
        std::optional<Color> darkest;
        double least = 3;
        for (double y = place.minY(); y < place.maxY(); y += 0.5)
            for (double x = place.minX(); x < place.maxX(); x += 0.5) {
                const Color c = image->colorAtPoint({x, y});
                const double sum = c.red() + c.green() + c.blue();
                if (sum < least) least = sum, darkest = c;
            }
        return darkest;
    };
    const Color tint = Application::shared().keyWindow()->tintColor();
    auto shown = editColour();
    ASSERT_TRUE(shown) << names();
    EXPECT_TRUE(colorNear(*shown, tint, 0.1)) << shown->description() << " for the tint " << tint.description();

    const auto rows = elementsNamed("row", "How do I rate myself");
    ASSERT_EQ(1u, rows.size());
    const Point from{rows[0]["x"].get<double>() + 20, rows[0]["y"].get<double>() + rows[0]["height"].get<double>() / 2};
    ASSERT_TRUE(dragOnScreen(from, {0, 300}, {0, 1200}));
    settle();
    ASSERT_TRUE(tap("radio", "^Difficulty$"));
    shown = editColour();
    ASSERT_TRUE(shown) << names();
    EXPECT_NEAR(shown->red(), shown->green(), 0.05) << shown->description() << " is grey";
    ASSERT_TRUE(tap("radio", "^None$"));
    shown = editColour();
    ASSERT_TRUE(shown) << names();
    EXPECT_TRUE(colorNear(*shown, tint, 0.1)) << shown->description() << " for the tint " << tint.description();
}

INSTANTIATE_TEST_SUITE_P(Devices, WhatTheEyeSeesTest,
                         phoneAndTablet(), deviceCaseName);
