#include "model/TWLogger.h"

#include <gtest/gtest.h>

#include <thread>

#include "platform/foundation/FileManager.h"
#include "platform/foundation/RegularExpression.h"
#include "support/TestBundle.h"

using memorant_test::TestBundle;

namespace {

void logLine(TWLogger& logger, const std::string& message, std::uint32_t level = TWLogger::LevelInfo) {
    logger.log(message, level, "/src/model/FIDeckDocument.cpp", "void FIDeckDocument::read()", Value(42));
}

std::string fileText(const std::string& path) {
    return stringFromData(dataWithContentsOfFile(path).value_or(Data()));
}

}  // namespace

TEST(TWLogger, ConfigurationFromDefaultsAndInfoDictionary) {
    struct Case {
        const char* name;
        Value info;
        bool enableDebug, debugLoggingEnabled;
        std::uint32_t maxLevel;
        std::int64_t backlogSize;
    } cases[] = {
        {"nothing set", Value::dictionary(), false, false, 2, 100},
        {"small backlog raised", Value::dictionary({{"TWConfigMessageBacklogSize", 20}}), false, false, 2, 100},
        {"large backlog kept", Value::dictionary({{"TWConfigMessageBacklogSize", 250}}), false, false, 2, 250},
        {"level as string", Value::dictionary({{"TWConfigLogLevel", "1"}}), false, false, 1, 100},
        {"debug default wins", Value::dictionary({{"TWConfigLogLevel", 0}}), true, false, 3, 100},
        {"special setting", Value::dictionary({{"TWConfigLogLevel", 0}}), false, true, 3, 100},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TestBundle env(c.info);
        env.defaults.setBool(c.enableDebug, "TWEnableDebugLogging");
        env.defaults.setBool(c.debugLoggingEnabled, "DebugLoggingEnabled");
        testing::internal::CaptureStderr();
        TWLogger logger(env.defaults, env.bundle);
        testing::internal::GetCapturedStderr();
        EXPECT_EQ(c.maxLevel, logger.maxLogLevel());
        EXPECT_EQ(c.backlogSize, logger.messageBacklogSize());
        auto backlog = logger.messageBacklog();
        if (c.debugLoggingEnabled) {
            ASSERT_EQ(1u, backlog.size());
            EXPECT_NE(std::string::npos,
                      backlog[0].find(" INFO| Enabling debug logging based on special setting: DebugLoggingEnabled |"));
        } else {
            EXPECT_TRUE(backlog.empty());
        }
    }
}

TEST(TWLogger, LineLayout) {
    struct Case {
        std::uint32_t level;
        const char* file;
        std::string expected;
    } cases[] = {
        {0, "/a/b/FIDeckDocument.cpp", "ERROR| Save failed |FIDeckDocument.cpp:42| -[FIDeckDocument read]"},
        {1, "/a/b/FIDeckDocument", " WARN| Save failed |FIDeckDocument:42| -[FIDeckDocument read]"},
        {2, "x.mm", " INFO| Save failed |x.mm:42| -[FIDeckDocument read]"},
        {3, "x.mm", "DEBUG| Save failed |x.mm:42| -[FIDeckDocument read]"},
        {7, "x.mm", "?????| Save failed |x.mm:42| -[FIDeckDocument read]"},
        {1, nullptr, " WARN| Save failed |:42| -[FIDeckDocument read]"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.expected,
                  TWLogger::formatLine("Save failed", c.level, c.file, "-[FIDeckDocument read]", Value(42)));
}

TEST(TWLogger, BacklogKeepsNewestFirstAndTrimsOnNextLine) {
    TestBundle env;
    TWLogger logger(env.defaults, env.bundle);
    logger.setMaxLogLevel(0);  // keep the test output quiet
    for (int i = 1; i <= 101; ++i) logLine(logger, std::to_string(i), TWLogger::LevelDebug);
    auto backlog = logger.messageBacklog();
    ASSERT_EQ(100u, backlog.size());
    EXPECT_NE(std::string::npos, backlog.front().find("| 101 |"));
    EXPECT_NE(std::string::npos, backlog.back().find("| 2 |"));

    logger.setMessageBacklogSize(10);
    EXPECT_EQ(100u, logger.messageBacklog().size());  // not trimmed until the next line
    logLine(logger, "next", TWLogger::LevelDebug);
    EXPECT_EQ(10u, logger.messageBacklog().size());

    logger.setMessageBacklogSize(0);
    logger.setMessageBacklog({});
    logLine(logger, "dropped");
    EXPECT_TRUE(logger.messageBacklog().empty());
}

// A hostile reply logged whole would keep megabytes per line: lines are cut,
// and the backlog holds a bounded number of bytes however many lines it may
// keep, over every thread.
TEST(TWLogger, LongLinesAreCutAndTheBacklogIsBoundedInBytes) {
    TestBundle env;
    TWLogger logger(env.defaults, env.bundle);
    logger.setMaxLogLevel(0);
    logger.setMessageBacklogSize(100000);
    const std::string huge = std::string(TWLogger::kMaxMessageBytes - 1, 'a') + "\u00e9" + std::string(1 << 20, 'b');
    logLine(logger, huge, TWLogger::LevelDebug);
    const std::string cut = logger.messageBacklog().front();
    EXPECT_LT(cut.size(), TWLogger::kMaxMessageBytes + 200);
    // Cut before the two-byte character that would pass the bound, with the whole size.
    EXPECT_NE(cut.find(std::string(TWLogger::kMaxMessageBytes - 1, 'a') + "\u2026 (" + std::to_string(huge.size()) +
                       " bytes) |"),
              std::string::npos);

    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&logger, &huge, t] {
            for (int i = 0; i < 100; ++i)
                logLine(logger, std::to_string(t) + ":" + std::to_string(i) + " " + huge, TWLogger::LevelDebug);
        });
    for (auto& thread : threads) thread.join();
    EXPECT_LE(logger.messageBacklogBytes(), TWLogger::kMaxBacklogBytes);
    const auto backlog = logger.messageBacklog();
    std::int64_t bytes = 0;
    for (const auto& line : backlog) bytes += static_cast<std::int64_t>(line.size());
    EXPECT_EQ(bytes, logger.messageBacklogBytes());
    EXPECT_GT(backlog.size(), 100u);  // the newest lines, as many as fit
    EXPECT_LT(backlog.size(), 400u);
}

// Each thread keeps its own lines; the backlog is still the newest lines of
// all threads in the order they were logged, also after their threads end,
// and a second logger on the same thread keeps its lines apart.
TEST(TWLogger, BacklogOrdersTheLinesOfEveryThreadAndOutlivesThem) {
    TestBundle env;
    TWLogger logger(env.defaults, env.bundle);
    TWLogger other(env.defaults, env.bundle);
    logger.setMaxLogLevel(0);
    other.setMaxLogLevel(0);
    auto logMany = [&](const std::string& prefix, int count) {
        for (int i = 1; i <= count; ++i) logLine(logger, prefix + std::to_string(i), TWLogger::LevelDebug);
    };
    std::thread([&] { logMany("a", 60); }).join();
    logLine(logger, "m1", TWLogger::LevelDebug);
    logLine(other, "other", TWLogger::LevelDebug);
    std::thread([&] { logMany("b", 50); }).join();
    logLine(logger, "m2", TWLogger::LevelDebug);

    auto backlog = logger.messageBacklog();
    ASSERT_EQ(100u, backlog.size());  // 112 lines: a1 to a12 left
    auto message = [&](std::size_t i) {
        const auto start = backlog[i].find("| ") + 2;
        return backlog[i].substr(start, backlog[i].find(" |", start) - start);
    };
    EXPECT_EQ("m2", message(0));
    EXPECT_EQ("b50", message(1));
    EXPECT_EQ("b1", message(50));
    EXPECT_EQ("m1", message(51));
    EXPECT_EQ("a60", message(52));
    EXPECT_EQ("a13", message(99));
    ASSERT_EQ(1u, other.messageBacklog().size());
    EXPECT_NE(std::string::npos, other.messageBacklog()[0].find("| other |"));
}

// Lines set from outside are kept whole until the next line trims them, and
// lines trimmed once do not come back when the size grows.
TEST(TWLogger, RestoredBacklogAndGrowingSizeTrimLikeOneList) {
    TestBundle env;
    TWLogger logger(env.defaults, env.bundle);
    logger.setMaxLogLevel(0);
    std::vector<std::string> restored;
    for (int i = 150; i >= 1; --i) restored.push_back("restored " + std::to_string(i));
    logger.setMessageBacklog(restored);
    EXPECT_EQ(restored, logger.messageBacklog());
    logLine(logger, "new", TWLogger::LevelDebug);
    auto backlog = logger.messageBacklog();
    ASSERT_EQ(100u, backlog.size());
    EXPECT_NE(std::string::npos, backlog[0].find("| new |"));
    EXPECT_EQ("restored 52", backlog[99]);

    logger.setMessageBacklogSize(10);
    logLine(logger, "trim", TWLogger::LevelDebug);
    logger.setMessageBacklogSize(20);
    logLine(logger, "grow", TWLogger::LevelDebug);
    backlog = logger.messageBacklog();
    ASSERT_EQ(11u, backlog.size());
    EXPECT_NE(std::string::npos, backlog[0].find("| grow |"));
    EXPECT_EQ("restored 143", backlog[10]);
}

TEST(TWLogger, EchoesUpToMaxLevelOnly) {
    TestBundle env;
    TWLogger logger(env.defaults, env.bundle);
    struct Case {
        std::uint32_t maxLevel, level;
        bool echoed;
    } cases[] = {{2, 2, true}, {2, 3, false}, {2, 0, true}, {3, 7, false}, {7, 7, true}};
    for (const auto& c : cases) {
        logger.setMaxLogLevel(c.maxLevel);
        testing::internal::CaptureStderr();
        logLine(logger, "echo me", c.level);
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(c.echoed,
                  err.find("| echo me |FIDeckDocument.cpp:42| void FIDeckDocument::read()\n") != std::string::npos)
            << c.maxLevel << " " << c.level << ": " << err;
    }
}

TEST(TWLogger, FullLogFileAndWarningsFileHaveTheirOwnThresholds) {
    TestBundle env;
    TWLogger logger(env.defaults, env.bundle);
    logger.setMaxLogLevel(0);
    std::string full = env.dir.file("full.log"), errors = env.dir.file("errors.log");
    writeStringAtomically("old\n", full);
    logger.logToFile(full, 3);
    logger.writeWarningsAndErrorsToSeparateFileAtURL(errors);
    testing::internal::CaptureStderr();
    for (std::uint32_t level : {0u, 1u, 2u, 3u, 7u}) logLine(logger, "L" + std::to_string(level), level);
    testing::internal::GetCapturedStderr();

    std::string fullText = fileText(full);
    EXPECT_EQ(0u, fullText.find("old\nERROR| L0 |"));
    for (const char* word : {"L0", "L1", "L2", "L3"}) EXPECT_NE(std::string::npos, fullText.find(word));
    EXPECT_EQ(std::string::npos, fullText.find("L7"));

    std::string errorText = fileText(errors);
    auto stamped = RegularExpression::make(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d \+0000 (ERROR| WARN)\| L[01] \|)",
                                           RegularExpression::AnchorsMatchLines);
    EXPECT_EQ(2u, stamped->numberOfMatches(errorText)) << errorText;
    EXPECT_EQ(std::string::npos, errorText.find("L2"));
}

TEST(TWLogger, FailureToOpenFilesIsLoggedAtLevelZero) {
    TestBundle env;
    TWLogger logger(env.defaults, env.bundle);
    logger.setMaxLogLevel(0);
    testing::internal::CaptureStderr();
    logger.logToFile(env.dir.file("missing/folder/full.log"), 3);
    logger.writeWarningsAndErrorsToSeparateFileAtURL(env.dir.file("missing/errors.log"));
    testing::internal::GetCapturedStderr();
    auto backlog = logger.messageBacklog();
    ASSERT_EQ(2u, backlog.size());
    EXPECT_EQ(0u, backlog[1].find("ERROR| Error opening log file: " + env.dir.file("missing/folder/full.log")));
    EXPECT_EQ(0u, backlog[0].find("ERROR| Error opening error log file at path: "));
    EXPECT_EQ(nullptr, logger.logFileHandle());
    EXPECT_EQ(nullptr, logger.errorLogFileHandle());
}

TEST(TWLogger, ConcurrentLoggingKeepsEveryLine) {
    TestBundle env;
    TWLogger logger(env.defaults, env.bundle);
    logger.setMaxLogLevel(0);
    logger.setMessageBacklogSize(4000);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 1000; ++i) logLine(logger, "x", TWLogger::LevelDebug);
        });
    for (auto& th : threads) th.join();
    EXPECT_EQ(4000u, logger.messageBacklog().size());
}
