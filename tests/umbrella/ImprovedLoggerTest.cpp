#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "platform/foundation/Date.h"
#include "platform/foundation/MainThread.h"
#include "platform/foundation/UserDefaults.h"
#include "support/MainLoop.h"
#include "umbrella/ImprovedLogger.h"

using ::testing::HasSubstr;
using ::testing::MatchesRegex;
using Level = ImprovedLogger::Level;

namespace {

// The logger is one per process: every test leaves it as it found it.
class ImprovedLoggerTest : public ::testing::Test {
protected:
    memorant_test::ScopedVirtualClock clock{Date(1000)};  // 2001-01-01 00:16:40 UTC
    void SetUp() override { TimeZone::setCurrent("UTC"); }
    void TearDown() override {
        TimeZone::setCurrent("");
        ImprovedLogger::setLevel(Level::trace);
        ImprovedLogger::setUsePrettyPrint(false);
        ImprovedLogger::setPrefix(std::nullopt);
        LoggerPrivacy::setEnableLoggingPrivacy(true);
        UserDefaults::standard().removeObjectForKey(ImprovedLogger::ForceDebugLoggingKey);
    }

    // What follows the padding of every line made here.
    static std::string metadata(int line) {
        return "2001-01-01 0:16:40.000+0000 [" + std::to_string(::getpid()) + ":" + std::to_string(currentThreadId()) +
               "] |Deck.cpp:" + std::to_string(line) + "| void open()";
    }
    static std::string format(Level level, const std::string& indentation, const std::string& message,
                              const std::vector<ImprovedLogger::Argument>& arguments = {}, bool privacy = false) {
        return BasicLogMessageFormatter().format(level, indentation, message, "Deck.cpp", 7, "void open()", arguments,
                                                 privacy);
    }
};

TEST_F(ImprovedLoggerTest, LinesArePaddedTowardsTheMetadataColumn) {
    const std::string combined = "e\u0301";  // one character, two code points
    struct Case {
        const char* what;
        Level level;
        std::string indentation, message, padding;
    } cases[] = {
        {"100 characters", Level::error, "", std::string(100, 'm'), "  \t\t"},
        {"120 characters", Level::warning, "", std::string(120, 'm'), "\t"},
        {"110 characters", Level::info, "", std::string(110, 'm'), "\t"},
        {"108 characters", Level::user, "", std::string(108, 'm'), "  \t"},
        {"106 characters", Level::debug, "", std::string(106, 'm'), "\t"},
        {"indented", Level::trace, "    ", std::string(100, 'm'), "  \t"},
        {"combined characters", Level::error, "",
         [&] {
             std::string s;
             for (int i = 0; i < 50; ++i) s += combined;
             return s;
         }(),
         std::string(15, '\t')},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(std::string(ImprovedLogger::rawValue(c.level)) + ":" + c.indentation + " " + c.message + c.padding +
                      metadata(7),
                  format(c.level, c.indentation, c.message));
    }
}

TEST_F(ImprovedLoggerTest, LabelledValuesFollowOnLinesOfTheirOwn) {
    const std::string continuation = "\n" + std::string(9, ' ');
    const std::string head = "DEBUG: m" + std::string(109 % 4, ' ') + std::string(109 / 4, '\t') + metadata(7);
    EXPECT_EQ(head + continuation + "  id 42" + continuation + "name Bob",
              format(Level::debug, "", "m", {"id", 42, "name", "Bob"}));
    EXPECT_EQ(head + continuation + "nil", format(Level::debug, "", "m", {std::nullopt}));
    EXPECT_EQ(head + continuation + "   a 1" + continuation + "   7 x" + continuation + "bcde",
              format(Level::debug, "", "m", {"a", 1, 7, "x", "bcde"}))
        << "a label that is not a string is described; a last label stands alone";

    const std::string indented = "\n  " + std::string(9, ' ');
    std::string line = format(Level::debug, "  ", "m", {"name", "Bob", "deck", std::optional<std::string>()}, true);
    EXPECT_THAT(line, HasSubstr(indented + "name " + privacyHashText("Bob") + indented + "deck nil"));
}

TEST_F(ImprovedLoggerTest, EveryLineEntersTheBacklogButOnlyLinesUpToTheCutoffAreWritten) {
    ImprovedLogger::setLevel(Level::warning);
    EXPECT_EQ(Level::warning, ImprovedLogger::level());
    ::testing::internal::CaptureStderr();
    ImprovedLogger::info("Opened the deck", "cards", 3);
    const int infoLine = __LINE__ - 1;
    ImprovedLogger::error("Could not save");
    const int errorLine = __LINE__ - 1;
    ImprovedLogger::warning("Low disk space");
    ImprovedLogger::user("Tapped easy");
    ImprovedLogger::debug("Details");
    const std::string written = ::testing::internal::GetCapturedStderr();

    auto backlog = ImprovedLogger::messageBacklog();
    ASSERT_GE(backlog.size(), 5u);
    EXPECT_THAT(backlog[4], HasSubstr(" INFO: Opened the deck"));
    EXPECT_THAT(backlog[4], HasSubstr("|ImprovedLoggerTest.cpp:" + std::to_string(infoLine) + "| "));
    EXPECT_THAT(backlog[4], HasSubstr("\n" + std::string(9, ' ') + "cards 3"));
    EXPECT_THAT(backlog[3], HasSubstr("ERROR: Could not save"));
    EXPECT_THAT(backlog[1], HasSubstr("\u2666USER: Tapped easy"));
    EXPECT_EQ(backlog[3] + "\n" + backlog[2] + "\n", written);
    EXPECT_THAT(written, HasSubstr("|ImprovedLoggerTest.cpp:" + std::to_string(errorLine) + "| "));
}

TEST_F(ImprovedLoggerTest, BacklogKeepsTheTwentyNewestFirst) {
    ImprovedLogger::setLevel(Level::error);  // keeps the test output quiet
    ImprovedLogger::setPrefix("[deck] ");
    for (int i = 1; i <= 25; ++i) ImprovedLogger::info(PrivacyProtectingMessage::interpolating("line {}", i));
    auto backlog = ImprovedLogger::messageBacklog();
    ASSERT_EQ(20u, backlog.size());
    EXPECT_THAT(backlog.front(), HasSubstr(" INFO: [deck] line 25\t"));
    EXPECT_THAT(backlog.back(), HasSubstr(" INFO: [deck] line 6 \t"));
}

TEST_F(ImprovedLoggerTest, IndentationIsPerThreadAndOnlyWhilePrettyPrinting) {
    EXPECT_EQ(1, ImprovedLogger::step());
    EXPECT_EQ(1, ImprovedLogger::step()) << "nothing is kept without pretty printing";
    EXPECT_EQ(0, ImprovedLogger::setIndentationLevel(5));

    ImprovedLogger::setUsePrettyPrint(true);
    ImprovedLogger::setIndentationLevel(0);
    ImprovedLogger::setLevel(Level::error);
    EXPECT_EQ(1, ImprovedLogger::step());
    EXPECT_EQ(2, ImprovedLogger::step());
    ImprovedLogger::info("indented");
    EXPECT_THAT(ImprovedLogger::messageBacklog().front(), HasSubstr(" INFO:     indented"));
    std::int64_t otherThread = -1;
    std::thread([&] { otherThread = ImprovedLogger::step(); }).join();
    EXPECT_EQ(1, otherThread);

    // Levels 0 to 9 indent by two blanks each; others do not indent.
    for (std::int64_t level : {9, 10, -1}) {
        ImprovedLogger::setIndentationLevel(level);
        ImprovedLogger::info("x");
        EXPECT_THAT(ImprovedLogger::messageBacklog().front(),
                    HasSubstr(" INFO:" + std::string(level == 9 ? 18 : 0, ' ') + " x"))
            << "level " << level;
    }
    ImprovedLogger::setIndentationLevel(1);
    ImprovedLogger::unstep();
    ImprovedLogger::unstep();
    EXPECT_EQ(-1, ImprovedLogger::setIndentationLevel(0)) << "levels may go below 0";
}

TEST_F(ImprovedLoggerTest, ForcedDebugLoggingOverridesTheLevelAndPrivacy) {
    UserDefaults::standard().setBool(true, ImprovedLogger::ForceDebugLoggingKey);
    ImprovedLogger::setLevel(Level::error);
    EXPECT_EQ(Level::trace, ImprovedLogger::level());
    EXPECT_FALSE(LoggerPrivacy::enableLoggingPrivacy());
}

TEST_F(ImprovedLoggerTest, LevelWordsNameTheLevels) {
    for (Level level : {Level::error, Level::warning, Level::info, Level::user, Level::debug, Level::trace})
        EXPECT_EQ(level, ImprovedLogger::levelWithRawValue(ImprovedLogger::rawValue(level)));
    EXPECT_EQ(7u, ImprovedLogger::rawValue(Level::user).size());
    EXPECT_EQ(std::nullopt, ImprovedLogger::levelWithRawValue("WARN"));
    EXPECT_EQ(std::nullopt, ImprovedLogger::levelWithRawValue("error"));
}

// Settings change while other threads log; every line stays whole.
TEST_F(ImprovedLoggerTest, AnyThreadMayLogAndChangeSettings) {
    ImprovedLogger::setLevel(Level::error);
    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            while (!go.load()) std::this_thread::yield();
            for (int i = 0; i < 200; ++i) {
                if (t == 0) {
                    ImprovedLogger::setPrefix(i % 2 ? std::optional<std::string>("[a long prefix that allocates] ")
                                                    : std::nullopt);
                    ImprovedLogger::setUsePrettyPrint(i % 3 == 0);
                    LoggerPrivacy::setEnableLoggingPrivacy(i % 2 == 0);
                    ImprovedLogger::setLevel(i % 2 ? Level::error : Level::warning);
                } else {
                    ImprovedLogger::info(PrivacyProtectingMessage::interpolating("thread {} line {}", t, i), "name",
                                         "Bob");
                    (void)ImprovedLogger::messageBacklog();
                }
            }
        });
    go = true;
    for (auto& thread : threads) thread.join();
    auto backlog = ImprovedLogger::messageBacklog();
    ASSERT_EQ(20u, backlog.size());
    for (const auto& line : backlog) EXPECT_THAT(line, MatchesRegex("^ INFO:.*thread [1-3] line [0-9]+.*name .*"));
}

}  // namespace
