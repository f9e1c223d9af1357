#pragma once

// The one way usage events leave the app. Counts and sizes never leave as
// numbers: each becomes the label of the range it falls in, taken from a
// fixed table of ascending thresholds by ValueCategorizer. Events carry only
// such labels or fixed words, never deck content. Any thread may call; the
// tables are constant.

#include <cstdint>
#include <string>
#include <vector>

class ValueCategorizer {
public:
    // For thresholds t[0] < ... < t[n-1]: "empty" when there are none;
    // "up to t[0]" for value <= t[0]; "<t[i-1]+1> - <t[i]>" for
    // t[i-1] < value <= t[i]; ">t[n-1]" beyond. Signed comparisons, so a
    // negative value falls in the first range.
    static std::string categoryLabel(std::int64_t value, const std::vector<std::int64_t>& thresholds);
};

class FIAnalytics {
public:
    // Made on first use; always there.
    static FIAnalytics& shared();

    const std::vector<std::int64_t> numCardsCategories{10,  20,  30,  40,  50,   100,  200,  300,  400, 500,
                                                       600, 700, 800, 900, 1000, 1200, 1500, 2000, 2500};
    const std::vector<std::int64_t> totalCardsStudiedCategories{1,  5,  10, 20,  30,  40,  50,  60,
                                                                70, 80, 90, 100, 120, 150, 200, 250};
    const std::vector<std::int64_t> totalMinutesStudiedCategories{1, 5, 10, 15, 20, 25, 30, 45, 60, 70, 80, 90, 120};
    const std::vector<std::int64_t> numImagesCategories{0,  1,  5,   10,  20,  30,  40,  50,   60,  70,
                                                        80, 90, 100, 200, 300, 500, 700, 1000, 1200};
    // 1 byte, 500 bytes, 1 KiB, 5 KiB, 1, 1.5, 2, 5, 10, 20, 50, 100, 200, 300,
    // 500 and 700 MiB, 1 GiB, 1224 MiB and 1524 MiB.
    const std::vector<std::int64_t> fileSizeCategoriesInBytes{
        1,        500,       1024,      5120,      1048576,   1572864,   2097152,    5242880,    10485760,  20971520,
        52428800, 104857600, 209715200, 314572800, 524288000, 734003200, 1073741824, 1283457024, 1598029824};

    // An event without properties.
    void trackEventWithName(const std::string& name);
    // An event with one typed property.
    void trackEventWithName(const std::string& name, const std::string& propertyName, std::int64_t propertyIntValue);
    void trackEventWithName(const std::string& name, const std::string& propertyName,
                            const std::string& propertyStringValue);

    // "OpenDeck": "numCards2" and "fileSize2" as range labels (plain).
    void trackOpenDeck(std::int64_t numCards, std::int64_t fileSize);
    // "ImageInventory": "numImages" as a range label (typed).
    void trackDidFinishImageInventory(std::int64_t numImagesOnCards);

    // "ShowStudyModePage" with "studyMode" (plain).
    void trackShowStudyMode_Memorize();
    void trackShowStudyMode_Type();
    void trackShowStudyMode_MultipleChoice();

    // "ShowProgressPage" with "category" (plain).
    void macTrackShowProgress_Difficulty();
    void macTrackShowProgress_SpacedRepetition();
    void macTrackShowProgress_LastStudied();
    void macTrackShowProgress_Alphabetically();

    // "StudySessionSummary<Mode>" with "totalCards2", then "totalMinutes2",
    // as range labels (typed).
    void trackMemorizeSessionSummary(std::int64_t totalCards, std::int64_t totalMinutes);
    void trackTypeSessionSummary(std::int64_t totalCards, std::int64_t totalMinutes);
    void trackMultipleChoiceSessionSummary(std::int64_t totalCards, std::int64_t totalMinutes);

private:
    FIAnalytics() = default;
    void trackPlain(const std::string& name, const std::string& key, const std::string& value);
    void trackSessionSummary(const std::string& name, std::int64_t totalCards, std::int64_t totalMinutes);
};
