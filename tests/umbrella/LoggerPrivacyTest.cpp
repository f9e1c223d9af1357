#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "platform/foundation/Date.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/URL.h"
#include "umbrella/LoggerPrivacy.h"

using ::testing::MatchesRegex;

namespace {

struct DeckSummary : PrivacyProtectionPublicDescription {
    std::string description() const { return "DeckSummary(cards: 3)"; }
};
struct CardText {
    std::string description() const { return "the card's text"; }
};

class LoggerPrivacyTest : public ::testing::Test {
protected:
    void TearDown() override { LoggerPrivacy::setEnableLoggingPrivacy(true); }
    template <class T>
    static std::string text(const T& value, bool privacy) {
        return PrivacyProtectingMessage::asPrivacyProtectedString(value, privacy);
    }
    static std::string hash(const std::string& s) { return privacyHashText(s); }
};

constexpr const char* kHashText = "0|[1-9][0-9]?[0-9]?";

TEST_F(LoggerPrivacyTest, ValuesByTheRules) {
    const Error error("FCPersistenceErrorDomain", -1);
    const Date date(0);
    const URL file = URL::fileURLWithPath("/Documents/Spanish.flashcards");
    const URL web = *URL::URLWithString("https://example.org/share/abc");
    struct Case {
        const char* what;
        std::string on, off;
    } cases[] = {
        {"integer", text(42, true), text(42, false)},
        {"double", text(2.5, true), text(2.5, false)},
        {"boolean", text(true, true), text(true, false)},
        {"error", text(error, true), text(error, false)},
        {"date", text(date, true), text(date, false)},
        {"public type", text(DeckSummary(), true), text(DeckSummary(), false)},
        {"private type", text(CardText(), true), text(CardText(), false)},
        {"array", text(std::vector<int>{1, 2}, true), text(std::vector<int>{1, 2}, false)},
        {"array of strings", text(std::vector<std::string>{"a"}, true), text(std::vector<std::string>{"a"}, false)},
        {"absent", text(std::optional<int>(), true), text(std::optional<int>(), false)},
        {"file URL", text(file, true), text(file, false)},
        {"web URL", text(web, true), text(web, false)},
        {"message", text(PrivacyProtectingMessage("already safe"), true), text(PrivacyProtectingMessage("x"), false)},
        {"value holding a number", text(Value(7), true), text(Value(7), false)},
        {"value holding an array", text(Value::array({1}), true), text(Value::array({1}), false)},
    };
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"42", "42"},
        {"2.5", "2.5"},
        {"true", "true"},
        {error.description(), error.description()},
        {date.description(), date.description()},
        {"DeckSummary(cards: 3)", "DeckSummary(cards: 3)"},
        {"<private>", "the card's text"},
        {"<private>", "[1, 2]"},
        {"<private>", "[\"a\"]"},
        {"nil", "nil"},
        {hash("/") + "/" + hash("Documents") + "/" + hash("Spanish.flashcards"), "/Documents/Spanish.flashcards"},
        {hash("/") + "/" + hash("share") + "/" + hash("abc"), "https://example.org/share/abc"},
        {"already safe", "x"},
        {"7", "7"},
        {"<private>", Value::array({1}).description()},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].what);
        EXPECT_EQ(expected[i].first, cases[i].on);
        EXPECT_EQ(expected[i].second, cases[i].off);
    }
    EXPECT_THAT(text(std::string("card text"), true), MatchesRegex(kHashText));
    EXPECT_THAT(text(Value("card text"), true), MatchesRegex(kHashText));
    EXPECT_EQ(text(std::string("card text"), true), text(Value("card text"), true));
    EXPECT_EQ("card text", text("card text", false));
}

TEST_F(LoggerPrivacyTest, HashTextIsStableWithinTheProcess) {
    EXPECT_EQ(hash("Spanish.flashcards"), hash("Spanish.flashcards"));
    EXPECT_EQ(hash("Spanish.flashcards"), privacy_string("Spanish.flashcards"));
    for (const char* s : {"", "a", "/", "a much longer text with words"}) EXPECT_THAT(hash(s), MatchesRegex(kHashText));
    EXPECT_GE(LoggerPrivacy::privacySeed(), 0);
    EXPECT_EQ(LoggerPrivacy::privacySeed(), LoggerPrivacy::privacySeed());
}

TEST_F(LoggerPrivacyTest, MessagesInterpolatePrivatelyUnlessPublic) {
    std::optional<std::string> absent;
    auto message = [&] {
        return PrivacyProtectingMessage::interpolating("Opened {} in {} with {} cards ({}) {}", "Spanish.flashcards",
                                                       publicValue(std::string("Documents")), 42, absent,
                                                       publicValue(std::vector<int>{1}));
    };
    EXPECT_EQ("Opened " + hash("Spanish.flashcards") + " in Documents with 42 cards (nil) [1]",
              message().description());
    LoggerPrivacy::setEnableLoggingPrivacy(false);
    EXPECT_EQ("Opened Spanish.flashcards in Documents with 42 cards (nil) [1]", message().description());

    PrivacyProtectingMessage literal = "No {} here";
    EXPECT_EQ("No {} here", literal.description());
    EXPECT_EQ("a {} b", PrivacyProtectingMessage::interpolating("a {} b").description())
        << "a placeholder without value";
}

TEST_F(LoggerPrivacyTest, PathsAreHashedPartByPart) {
    const URL a = URL::fileURLWithPath("/a/b");
    const URL web = *URL::URLWithString("https://example.org/x");
    EXPECT_EQ(hash("") + "/" + hash("a") + "/" + hash("b"), privacy_path(std::string("/a/b")));
    EXPECT_EQ(hash("/") + "/" + hash("a") + "/" + hash("b"), privacy_path(a));
    EXPECT_EQ(hash("/") + "/" + hash("x"), privacy_description(web));
    EXPECT_EQ((std::vector<std::string>{privacy_path(a), privacy_path(web)}), privacyPaths({a, web}));

    LoggerPrivacy::setEnableLoggingPrivacy(false);
    EXPECT_EQ("/a/b", privacy_path(std::string("/a/b")));
    EXPECT_EQ("/a/b", privacy_path(a));
    EXPECT_EQ("https://example.org/x", privacy_description(web));
    EXPECT_EQ("text", privacy_string("text"));
    EXPECT_EQ((std::vector<std::string>{"/a/b", "/x"}), privacyPaths({a, web}));
}

}  // namespace
