#include <gtest/gtest.h>

#include "app/views/ColorAdditions.h"
#include "app/views/CompatibleColor.h"
#include "model/TWLogger.h"
#include "platform/ui/UITestFixture.h"

using memorant_test::colorNear;

namespace {
constexpr double kExact = 1e-9;
}

TEST(ColorAdditions, HexStringsToColours) {
    struct Case {
        std::optional<std::string> text;
        std::optional<Color> expected;
    } cases[] = {
        {"#3996f9", Color(57 / 255.0, 150 / 255.0, 249 / 255.0)},
        {"3996f9", Color(57 / 255.0, 150 / 255.0, 249 / 255.0)},
        {"e45050", Color(228 / 255.0, 80 / 255.0, 80 / 255.0)},
        {"fff", Color(0, 15 / 255.0, 1)},  // a number, not a shorthand
        {"#ff#0000", Color(1, 0, 0)},      // every "#" goes
        {"0x00FF00", Color(0, 1, 0)},
        {" 0000ff", Color(0, 0, 1)},
        {"12zz", Color(0, 0, 18 / 255.0)},  // reading stops at the first non-digit
        {"transparent", Color(0, 0, 0)},    // nothing readable is 0
        {"", Color(0, 0, 0)},
        {"#ffffffffff", Color(1, 1, 1)},  // too large saturates
        {std::nullopt, std::nullopt},
    };
    for (const auto& c : cases) {
        auto color = twColorFromHexString(c.text);
        ASSERT_EQ(c.expected.has_value(), color.has_value()) << c.text.value_or("nil");
        if (color) {
            EXPECT_TRUE(colorNear(*color, *c.expected, kExact)) << *c.text;
        }
    }
}

TEST(ColorAdditions, ColoursToHexStrings) {
    EXPECT_EQ("#3996f9", twRGBColorToHexString(twColorFromHexString("#3996f9")));
    EXPECT_EQ("#ffffff", twRGBColorToHexString(Color(1, 1, 1)));
    EXPECT_EQ("#7f7f7f", twRGBColorToHexString(Color(0.5, 0.5, 0.5, 0.2)));  // alpha plays no part
    EXPECT_EQ("#000000", twRGBColorToHexString(Color::clearColor()));
    EXPECT_EQ(std::nullopt, twRGBColorToHexString(std::nullopt));
}

TEST(ColorAdditions, BlendsAndDarkening) {
    const Color black(0, 0, 0), white(1, 1, 1);
    struct Case {
        double t;
        Color expected;
    } twoStops[] = {{1.5, white}, {-1, black}, {0.25, Color(0.25, 0.25, 0.25)}, {0, black}, {1, white}};
    for (const auto& c : twoStops)
        EXPECT_TRUE(colorNear(twColorByInterpolating(c.t, black, white), c.expected, kExact)) << c.t;
    // Alpha moves too, and the result carries single-precision components.
    Color half = twColorByInterpolating(0.5, Color(0, 0, 0, 0), Color(0.3, 1, 1, 1));
    EXPECT_DOUBLE_EQ(static_cast<double>(0.15f), half.red());
    EXPECT_DOUBLE_EQ(0.5, half.alpha());

    const Color red(1, 0, 0), green(0, 1, 0), blue(0, 0, 1);
    struct ThreeCase {
        double t;
        Color expected;
    } threeStops[] = {{0, red}, {0.25, Color(0.5, 0.5, 0)}, {0.5, green}, {0.75, Color(0, 0.5, 0.5)}, {1, blue}};
    for (const auto& c : threeStops)
        EXPECT_TRUE(colorNear(twColorByInterpolating(c.t, red, green, blue), c.expected, 1e-7)) << c.t;

    auto darker = twDarkerColor(Color(0.3, 0.1, 0.05, 0.7), 0.2);
    ASSERT_TRUE(darker);
    EXPECT_TRUE(colorNear(*darker, Color(0.1, 0, 0, 0.7), 1e-12));
}

TEST(ColorAdditions, DynamicColoursResolveByStyle) {
    TraitCollection light, dark;
    dark.userInterfaceStyle = UserInterfaceStyle::Dark;
    const Color background = CompatibleColor::systemBackground();
    EXPECT_TRUE(colorNear(background.resolvedColor(light), Color::whiteColor(), kExact));
    EXPECT_TRUE(colorNear(background.resolvedColor(dark), Color::blackColor(), kExact));
    // Helpers read a dynamic colour in the current style.
    dark.performAsCurrent([&] {
        EXPECT_EQ("#000000", twRGBColorToHexString(background));
        EXPECT_TRUE(
            colorNear(twColorByInterpolating(0.5, background, Color::whiteColor()), Color(0.5, 0.5, 0.5), kExact));
    });
    light.performAsCurrent([&] { EXPECT_EQ("#ffffff", twRGBColorToHexString(background)); });
}

TEST(ColorAdditions, CSSColours) {
    const Color clear = Color::clearColor();
    struct Case {
        std::optional<std::string> text;
        std::optional<Color> expected;
    } cases[] = {
        {"rgb(57, 150, 249)", Color(57 / 255.0, 150 / 255.0, 249 / 255.0, 1)},
        {"rgba(255, 0, 0, 1)", Color(1, 0, 0, 1)},
        {"rgba(0, 0, 0, 0)", clear},
        {"rgba(255, 0, 0, 0)", clear},
        {"rgba(255, 0, 0, 0.0)", clear},
        // The alpha keeps its decimal point and stays within 0..1.
        {"rgba(10, 20, 30, 0.5)", Color(10 / 255.0, 20 / 255.0, 30 / 255.0, 0.5)},
        {"rgba(10, 20, 30, .25)", Color(10 / 255.0, 20 / 255.0, 30 / 255.0, 0.25)},
        {"rgba(10, 20, 30, 5)", Color(10 / 255.0, 20 / 255.0, 30 / 255.0, 1)},
        {"rgba(1, 2, 3, 1.2.3)", std::nullopt},
        {"rgb(1, 2, 3, 4, 5)", Color(1 / 255.0, 2 / 255.0, 3 / 255.0, 1)},
        {"hsl(120, 50%, 50%)", Color(120 / 255.0, 50 / 255.0, 50 / 255.0, 1)},
        {"rgb(300, 0, 0)", Color(300 / 255.0, 0, 0, 1)},  // not clamped
        {std::nullopt, std::nullopt},
        {"", std::nullopt},
        {"transparent", std::nullopt},
        {"#ff0000", std::nullopt},
        {"rgb(12, 34)", std::nullopt},
        {"rgb(, 0, 0)", std::nullopt},
        {"rgba(1, 2, 3, )", std::nullopt},
        {"rgb(99999999999999999999, 0, 0)", std::nullopt},
        {"rgb(\u0661, 0, 0)", std::nullopt},  // a decimal digit that is not 0-9
    };
    for (const auto& c : cases) {
        auto color = parseCSSrgbColor(c.text);
        ASSERT_EQ(c.expected.has_value(), color.has_value()) << c.text.value_or("nil");
        if (color) {
            EXPECT_TRUE(colorNear(*color, *c.expected, kExact)) << *c.text;
        }
    }
}

TEST(ColorAdditions, LogErrorWritesAWarning) {
    logError("colour trouble", "/src/app/views/Editor.cpp", "apply()", 42);
    auto backlog = TWLogger::sharedInstance().messageBacklog();
    ASSERT_FALSE(backlog.empty());
    EXPECT_EQ(" WARN| colour trouble |Editor.cpp:42| apply()", backlog.front());
}
