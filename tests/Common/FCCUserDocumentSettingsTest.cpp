#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <optional>
#include <thread>

#include "Common/BPDataAdditions.h"
#include "Common/FCCUserDocumentSettings.h"

// The registered defaults are process-wide: every test uses keys of its own.

namespace {

std::string settingsRecordHex(const FCCUserDocumentSettings* settings) {
    FCCUserDocumentSettingsSchema schema;
    Error error;
    auto data = schema.serializeUserDocumentSettings(settings, &error);
    EXPECT_TRUE(data) << error.description();
    return data ? fcHexadecimalString(*data) : "";
}

std::shared_ptr<FCCUserDocumentSettings> roundTrip(const FCCUserDocumentSettings& settings) {
    FCCUserDocumentSettingsSchema schema;
    Data data = *schema.serializeUserDocumentSettings(&settings);
    std::size_t offset = 0;
    Error error;
    auto read = schema.parseSettingsAsNextObjectIn(data, offset, &error);
    EXPECT_TRUE(read) << error.description();
    EXPECT_EQ(offset, data.size());
    return read;
}

}  // namespace

TEST(FCCUserDocumentSettings, RecordBytes) {
    EXPECT_EQ(settingsRecordHex(nullptr), "0a0000");
    FCCUserDocumentSettings empty;
    EXPECT_EQ(settingsRecordHex(&empty), "0a0000");

    FCCUserDocumentSettings one;
    one.setStringSetting("x", "k");
    // The container's array of one setting: 0B 01 6B 0C 01 78 0E 00 00.
    EXPECT_EQ(settingsRecordHex(&one), "0a01" "0b016b0c01780e0000" "00");

    FCCUserDocumentSettings kinds;
    kinds.setIntegerSetting(-3, "i");
    kinds.setDateSetting(Date::fromTimeIntervalSince1970(300.9), "d");
    // "d": name, date of 300 s, integer 0; then "i": name, integer -3 (zigzag 05).
    EXPECT_EQ(settingsRecordHex(&kinds), "0a02" "0b01640dac020e0000" "0b01690e0500" "00");
}

TEST(FCCUserDocumentSettings, DefaultsApplyAndValuesEqualToThemAreNotStored) {
    FCCUserDocumentSettings::registerDefaultSettings({{"test.shuffle", Value(false)}, {"test.name", Value("dflt")}});
    FCCUserDocumentSettings s;
    EXPECT_TRUE(s.hasValueForSetting("test.shuffle"));
    EXPECT_FALSE(s.hasValueForSetting("test.unknown"));
    EXPECT_FALSE(s.boolSettingForKey("test.unknown"));
    EXPECT_EQ(s.integerSettingForKey("test.unknown"), 0);
    EXPECT_EQ(s.stringSettingForKey("test.name"), "dflt");

    s.setBoolSetting(true, "test.shuffle");
    EXPECT_TRUE(s.boolSettingForKey("test.shuffle"));
    s.setBoolSetting(false, "test.shuffle");
    EXPECT_FALSE(s.boolSettingForKey("test.shuffle"));
    // A boolean default NO equals the integer 0.
    s.setIntegerSetting(0, "test.shuffle");
    s.setStringSetting("dflt", "test.name");
    EXPECT_TRUE(s.settings().empty());
    EXPECT_EQ(settingsRecordHex(&s), "0a0000");

    s.setStringSetting("mine", "test.name");
    s.removeSettingForKey("test.name");
    EXPECT_EQ(s.stringSettingForKey("test.name"), "dflt");

    // A later registration replaces the default.
    FCCUserDocumentSettings::registerDefaultSettings({{"test.name", Value("other")}});
    EXPECT_EQ(s.stringSettingForKey("test.name"), "other");
}

TEST(FCCUserDocumentSettings, StoredValuesComeBackFromTheRecord) {
    FCCUserDocumentSettings::registerStudyModeDefaultSettings();
    FCCUserDocumentSettings s;
    EXPECT_TRUE(s.hasValueForSetting(FCShuffleCardsSettingKey));
    s.setBoolSetting(true, FCShuffleCardsSettingKey);
    s.setStringSetting("text", "test.rt.string");
    s.setDateSetting(Date::fromTimeIntervalSince1970(1000.75), "test.rt.date");
    s.setIntegerSetting(-12, "test.rt.int");

    auto read = roundTrip(s);
    ASSERT_TRUE(read);
    // A boolean comes back as the integer 1.
    EXPECT_EQ(read->settingForKey(FCShuffleCardsSettingKey), Value(1));
    EXPECT_TRUE(read->settingForKey(FCShuffleCardsSettingKey).isInteger());
    EXPECT_TRUE(read->boolSettingForKey(FCShuffleCardsSettingKey));
    EXPECT_EQ(read->stringSettingForKey("test.rt.string"), "text");
    EXPECT_EQ(read->dateSettingForKey("test.rt.date"), Date::fromTimeIntervalSince1970(1000));
    EXPECT_EQ(read->integerSettingForKey("test.rt.int"), -12);
    EXPECT_EQ(read->settings().size(), 4u);
}

TEST(FCCUserDocumentSettings, ReadingDropsValuesEqualToTheDefaultsOfThatTime) {
    FCCUserDocumentSettings s;
    s.setIntegerSetting(4, "test.later");
    FCCUserDocumentSettings::registerDefaultSettings({{"test.later", Value(4)}});
    EXPECT_EQ(s.settings().size(), 1u);  // stored before the default existed
    auto read = roundTrip(s);
    EXPECT_TRUE(read->settings().empty());
    EXPECT_EQ(read->integerSettingForKey("test.later"), 4);
}

TEST(FCCUserDocumentSettings, StudyOptions) {
    FCCUserDocumentSettings s;
    s.setQuestionsPerMultipleChoiceTest(-5);
    EXPECT_EQ(s.settingForKey("MCQuestionsPerTest"), Value(0));
    s.setQuestionsPerMultipleChoiceTest(12);
    EXPECT_EQ(s.questionsPerMultipleChoiceTest(), 12);

    EXPECT_FALSE(s.keepOriginalMultipleChoiceAnswerOrder());
    s.setKeepOriginalMultipleChoiceAnswerOrderWithKeepOriginalOrder(true);
    EXPECT_EQ(s.settingForKey("MCKeepOriginalMultipleChoiceAnswerOrder"), Value(true));

    EXPECT_EQ(s.spacedRepetitionBoxIntervals(), std::nullopt);
    s.setSpacedRepetitionBoxIntervalsWithIntervals(std::vector<std::int64_t>{1, 3, 7, 14});
    EXPECT_EQ(s.stringSettingForKey("SRBoxIntervals"), "1,3,7,14");
    EXPECT_EQ(roundTrip(s)->spacedRepetitionBoxIntervals(), (std::vector<std::int64_t>{1, 3, 7, 14}));
    s.setSpacedRepetitionBoxIntervalsWithIntervals(std::vector<std::int64_t>{});
    EXPECT_EQ(s.spacedRepetitionBoxIntervals(), std::vector<std::int64_t>{});
    s.setSpacedRepetitionBoxIntervalsWithIntervals(std::nullopt);
    EXPECT_FALSE(s.hasValueForSetting("SRBoxIntervals"));
}

TEST(FCCUserDocumentSettings, StudyOptionKeysAndExplicitZero) {
    EXPECT_EQ(FCCUserDocumentSettings::MultipleChoiceQuestionsPerTest(), "MCQuestionsPerTest");
    EXPECT_EQ(FCCUserDocumentSettings::KeepOriginalMultipleChoiceAnswerOrder(),
              "MCKeepOriginalMultipleChoiceAnswerOrder");
    EXPECT_EQ(FCCUserDocumentSettings::SpacedRepetitionBoxIntervalsKey(), "SRBoxIntervals");

    FCCUserDocumentSettings s;
    EXPECT_EQ(s.questionsPerMultipleChoiceTest(), 0);
    EXPECT_FALSE(s.hasValueForSetting("MCQuestionsPerTest"));
    s.setQuestionsPerMultipleChoiceTest(0);  // stored although it reads as absent
    EXPECT_TRUE(s.hasValueForSetting("MCQuestionsPerTest"));
    s.setKeepOriginalMultipleChoiceAnswerOrderWithKeepOriginalOrder(false);
    EXPECT_TRUE(s.hasValueForSetting("MCKeepOriginalMultipleChoiceAnswerOrder"));
}

TEST(FCCUserDocumentSettings, BoxIntervalsAreReadStrictly) {
    using Ints = std::vector<std::int64_t>;
    struct Case {
        const char* stored;
        std::optional<Ints> read;
    } cases[] = {
        {"2,4,8,16", Ints{2, 4, 8, 16}},
        {"+3,-2", Ints{3, -2}},
        {",,7,,", Ints{7}},
        {"", Ints{}},
        {",,,", Ints{}},
        {"-9223372036854775808,9223372036854775807", Ints{INT64_MIN, INT64_MAX}},
        {" 5", std::nullopt},
        {"5, 6", std::nullopt},
        {"5 ", std::nullopt},
        {"5d", std::nullopt},
        {"1.5", std::nullopt},
        {"2,x,4", std::nullopt},  // never a partly read list
        {"9223372036854775808", std::nullopt},
        {"+-3", std::nullopt},
        {"--3", std::nullopt},
        {"+", std::nullopt},
        {"-", std::nullopt},
    };
    for (const auto& c : cases) {
        FCCUserDocumentSettings s;
        s.setStringSetting(c.stored, "SRBoxIntervals");
        EXPECT_EQ(s.spacedRepetitionBoxIntervals(), c.read) << '"' << c.stored << '"';
    }
}

TEST(FCCUserDocumentSettings, CopyEnumerateAndStop) {
    FCCUserDocumentSettings s;
    s.setStringSetting("a", "test.e.a");
    s.setStringSetting("b", "test.e.b");
    auto copy = s.copy();
    s.setStringSetting("changed", "test.e.a");
    EXPECT_EQ(copy->stringSettingForKey("test.e.a"), "a");

    std::vector<std::string> seen;
    copy->enumerateSettingKeysAndSettingValuesUsingBlock([&](const std::string& key, const Value&, bool* stop) {
        seen.push_back(key);
        *stop = true;
    });
    EXPECT_EQ(seen, std::vector<std::string>{"test.e.a"});
}

TEST(FCCUserDocumentSettings, HostileSettingsRecords) {
    FCCUserDocumentSettingsSchema schema;
    struct Case {
        const char* what;
        Data data;
        bool readable;  // true: settings without the broken entry
    } cases[] = {
        {"a setting record at top level", {0x0b, 0x01, 0x6b, 0x0e, 0x02, 0x00}, false},
        {"a setting without a name", {0x0a, 0x01, 0x0c, 0x01, 0x78, 0x0e, 0x00, 0x00, 0x00}, true},
        {"a string inside the container", {0x0a, 0x01, 0x02, 0x01, 0x78, 0x00, 0x00}, false},
        {"a container inside the container", {0x0a, 0x01, 0x0a, 0x00, 0x00, 0x00}, false},
    };
    for (const auto& c : cases) {
        std::size_t offset = 0;
        Error error;
        auto read = schema.parseSettingsAsNextObjectIn(c.data, offset, &error);
        EXPECT_EQ(read != nullptr, c.readable) << c.what;
        if (read) {
            EXPECT_TRUE(read->settings().empty()) << c.what;
        } else {
            EXPECT_EQ(error.domain(), BPBinaryProtocolErrorDomain) << c.what;
        }
    }
}

// Readers on another thread see whole values while the main thread changes
// the settings and registers defaults.
TEST(FCCUserDocumentSettings, ReadableFromAnotherThreadWhileChanged) {
    FCCUserDocumentSettings s;
    std::atomic<bool> done{false};
    std::atomic<int> badReads{0};
    std::thread reader([&] {
        while (!done.load()) {
            auto text = s.stringSettingForKey("test.t.text");
            if (text && text->size() != 40) ++badReads;
            s.hasValueForSetting("test.t.default");
            s.enumerateSettingKeysAndSettingValuesUsingBlock([](const std::string&, const Value&, bool*) {});
        }
    });
    for (int i = 0; i < 2000; ++i) {
        s.setStringSetting(std::string(40, static_cast<char>('a' + i % 26)), "test.t.text");
        s.setIntegerSetting(i, "test.t.n" + std::to_string(i % 50));
        FCCUserDocumentSettings::registerDefaultSettings({{"test.t.default" + std::to_string(i % 50), Value(i)}});
        if (i % 3 == 0) s.removeSettingForKey("test.t.text");
    }
    done = true;
    reader.join();
    EXPECT_EQ(badReads.load(), 0);
}
