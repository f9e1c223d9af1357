#include <gtest/gtest.h>

#include <set>

#include "model/FCAuthor.h"
#include "model/FCCDeckPreview.h"
#include "model/FCCoverStyle.h"
#include "model/FCTextColorScheme.h"

namespace {

std::shared_ptr<FCCoverStyle> style(const char* start, const char* end, const char* icon) {
    auto s = std::make_shared<FCCoverStyle>();
    s->setStartHexColor(start);
    s->setEndHexColor(end);
    s->setIconName(icon);
    return s;
}

}  // namespace

TEST(FCCoverStyle, TablesAndDefaults) {
    const auto& icons = FCCoverStyle::allIconNames();
    ASSERT_EQ(14u, icons.size());
    EXPECT_EQ("Leaf", icons.front());
    EXPECT_EQ("Globe", icons[6]);
    EXPECT_EQ("SpeechBubbles", icons.back());
    const auto& colors = FCCoverStyle::allHexColors();
    ASSERT_EQ(7u, colors.size());
    EXPECT_EQ((std::pair<std::string, std::string>{"#cb9801", "#ffe566"}), colors.front());
    EXPECT_EQ((std::pair<std::string, std::string>{"#a4a8b6", "#e0e2e6"}), colors.back());

    // The default colours are the second pair, not the first.
    EXPECT_EQ("#3996f9", FCCoverStyle::defaultStartHexColor());
    EXPECT_EQ("#97d1fd", FCCoverStyle::defaultEndHexColor());
    EXPECT_EQ("Leaf", FCCoverStyle::defaultIconName());
    auto defaults = FCCoverStyle::defaultStyle();
    EXPECT_EQ("#3996f9", defaults->startHexColor());
    EXPECT_EQ("#97d1fd", defaults->endHexColor());
    EXPECT_EQ("Leaf", defaults->iconName());
    EXPECT_FALSE(defaults->customImageName().has_value());
    EXPECT_EQ(nullptr, defaults->icon());

    EXPECT_EQ("Memorant", FCCoverStyle::welcomeDeckCoverIconName());
    EXPECT_EQ(FCNotFound, FCCoverStyle::indexOfIconName(FCCoverStyle::welcomeDeckCoverIconName()));
    EXPECT_EQ("GlobeCoverIconTemplate", FCCoverStyle::fileNameForIconName("Globe"));
    EXPECT_DOUBLE_EQ(1.0, FCCoverStyle::coverImageScaleFactorForCardWidth(455));
    EXPECT_DOUBLE_EQ(2.0, FCCoverStyle::coverImageScaleFactorForCardWidth(910));
}

TEST(FCCoverStyle, IndexLookUpsAreExact) {
    struct Case {
        std::optional<std::string> value;
        std::int64_t iconIndex, colorIndex;
    } cases[] = {
        {"Leaf", 0, FCNotFound},
        {"SpeechBubbles", 13, FCNotFound},
        {"leaf", FCNotFound, FCNotFound},
        {"#3996f9", FCNotFound, 1},
        {"#cb9801", FCNotFound, 0},
        {"#3996F9", FCNotFound, FCNotFound},  // upper case
        {"#97d1fd", FCNotFound, FCNotFound},  // an end colour
        {"3996f9", FCNotFound, FCNotFound},
        {std::nullopt, FCNotFound, FCNotFound},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.iconIndex, FCCoverStyle::indexOfIconName(c.value)) << c.value.value_or("(nil)");
        EXPECT_EQ(c.colorIndex, FCCoverStyle::indexOfStartHexColor(c.value)) << c.value.value_or("(nil)");
    }
    EXPECT_EQ(INT64_MAX, FCNotFound);
}

TEST(FCCoverStyle, EqualityIgnoresTheCustomImageAndIcon) {
    auto base = style("#111111", "#222222", "Leaf");
    auto withImage = style("#111111", "#222222", "Leaf");
    withImage->setCustomImageName("cover.png");
    withImage->setIcon(std::make_shared<int>(1));
    struct Case {
        const char* name;
        std::shared_ptr<FCCoverStyle> other;
        bool equal;
    } cases[] = {
        {"same values", style("#111111", "#222222", "Leaf"), true},
        {"only custom image and icon differ", withImage, true},
        {"start differs", style("#111112", "#222222", "Leaf"), false},
        {"end differs", style("#111111", "#222223", "Leaf"), false},
        {"icon differs", style("#111111", "#222222", "Globe"), false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.equal, base->isEqual(c.other.get())) << c.name;
        EXPECT_EQ(c.equal, *base == *c.other) << c.name;
        if (c.equal) {
            EXPECT_EQ(base->hash(), c.other->hash()) << c.name;
        }
    }
    EXPECT_TRUE(base->isEqual(base.get()));
    EXPECT_FALSE(base->isEqual(nullptr));
}

TEST(FCCoverStyle, CopyCarriesAllFiveProperties) {
    auto original = style("#111111", "#222222", "Target");
    original->setCustomImageName("cover.png");
    const FCImageRef image = std::make_shared<int>(7);
    original->setIcon(image);
    auto copy = original->copy();
    EXPECT_NE(original, copy);
    EXPECT_EQ(*original, *copy);
    EXPECT_EQ("cover.png", copy->customImageName());
    EXPECT_EQ(image, copy->icon());
    copy->setIconName("Leaf");
    EXPECT_EQ("Target", original->iconName());
}

TEST(FCAuthor, EqualityHashAndCopy) {
    const FCAuthor author("Ann", "ext-1");
    struct Case {
        FCAuthor other;
        bool equal;
    } cases[] = {
        {FCAuthor("Ann", "ext-1"), true},
        {FCAuthor("Bob", "ext-1"), false},
        {FCAuthor("Ann", "ext-2"), false},
        {FCAuthor("Ann", std::nullopt), false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.equal, author.isEqual(&c.other));
        if (c.equal) {
            EXPECT_EQ(author.hash(), c.other.hash());
        }
    }
    EXPECT_FALSE(author.isEqual(nullptr));
    auto copy = author.copy();
    EXPECT_EQ(author, *copy);
    EXPECT_EQ("ext-1", copy->externalId());
}

TEST(FCCDeckPreview, UnknownPreview) {
    auto preview = FCCDeckPreview::unknownPreviewForDeckWithId("deck-1");
    EXPECT_EQ("deck-1", preview->identifier());
    EXPECT_EQ("???", preview->title());
    ASSERT_NE(nullptr, preview->coverStyle());
    EXPECT_EQ(*FCCoverStyle::defaultStyle(), *preview->coverStyle());
    EXPECT_EQ(Date::distantPast(), preview->contentModificationDate());
    EXPECT_EQ(0, preview->studyCardsCount());
}

TEST(FCTextColorScheme, BothArrangementsHoldTheSameColours) {
    const auto& rows = FCTextColorScheme::defaultTextColorScheme();
    const auto& families = FCTextColorScheme::defaultTextColorSchemeArrangedAsOne();
    ASSERT_EQ(29u, rows.size());
    ASSERT_EQ(29u, families.size());
    EXPECT_EQ(std::set<std::string>(rows.begin(), rows.end()), std::set<std::string>(families.begin(), families.end()));
    EXPECT_EQ(29u, std::set<std::string>(rows.begin(), rows.end()).size());
    EXPECT_EQ("56C1FF", rows.front());
    EXPECT_EQ("72FCE9", rows[1]);
    EXPECT_EQ("00A2FF", families[1]);
    EXPECT_EQ("000000", families.back());
}
