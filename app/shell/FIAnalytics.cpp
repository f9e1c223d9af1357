#include "app/shell/FIAnalytics.h"

#include "platform/analytics/Analytics.h"

std::string ValueCategorizer::categoryLabel(std::int64_t value, const std::vector<std::int64_t>& thresholds) {
    if (thresholds.empty()) return "empty";
    if (value <= thresholds.front()) return "up to " + std::to_string(thresholds.front());
    for (std::size_t i = 1; i < thresholds.size(); ++i) {
        if (value <= thresholds[i])
            return std::to_string(thresholds[i - 1] + 1) + " - " + std::to_string(thresholds[i]);
    }
    return ">" + std::to_string(thresholds.back());
}

FIAnalytics& FIAnalytics::shared() {
    static FIAnalytics* instance = new FIAnalytics;
    return *instance;
}

void FIAnalytics::trackEventWithName(const std::string& name) {
    Analytics::shared().trackEvent(name);
}

void FIAnalytics::trackEventWithName(const std::string& name, const std::string& propertyName,
                                     std::int64_t propertyIntValue) {
    EventProperties properties;
    properties.setInt64(propertyIntValue, propertyName);
    Analytics::shared().trackEvent(name, properties);
}

void FIAnalytics::trackEventWithName(const std::string& name, const std::string& propertyName,
                                     const std::string& propertyStringValue) {
    EventProperties properties;
    properties.setString(propertyStringValue, propertyName);
    Analytics::shared().trackEvent(name, properties);
}

void FIAnalytics::trackPlain(const std::string& name, const std::string& key, const std::string& value) {
    Analytics::shared().trackEvent(name, Value::dictionary({{key, value}}));
}

void FIAnalytics::trackOpenDeck(std::int64_t numCards, std::int64_t fileSize) {
    Analytics::shared().trackEvent(
        "OpenDeck",
        Value::dictionary({{"numCards2", ValueCategorizer::categoryLabel(numCards, numCardsCategories)},
                           {"fileSize2", ValueCategorizer::categoryLabel(fileSize, fileSizeCategoriesInBytes)}}));
}

void FIAnalytics::trackDidFinishImageInventory(std::int64_t numImagesOnCards) {
    trackEventWithName("ImageInventory", "numImages",
                       ValueCategorizer::categoryLabel(numImagesOnCards, numImagesCategories));
}

void FIAnalytics::trackShowStudyMode_Memorize() {
    trackPlain("ShowStudyModePage", "studyMode", "Memorize");
}
void FIAnalytics::trackShowStudyMode_Type() {
    trackPlain("ShowStudyModePage", "studyMode", "Type");
}
void FIAnalytics::trackShowStudyMode_MultipleChoice() {
    trackPlain("ShowStudyModePage", "studyMode", "MultipleChoice");
}

void FIAnalytics::macTrackShowProgress_Difficulty() {
    trackPlain("ShowProgressPage", "category", "Difficulty");
}
void FIAnalytics::macTrackShowProgress_SpacedRepetition() {
    trackPlain("ShowProgressPage", "category", "SpacedRepetition");
}
void FIAnalytics::macTrackShowProgress_LastStudied() {
    trackPlain("ShowProgressPage", "category", "LastStudied");
}
void FIAnalytics::macTrackShowProgress_Alphabetically() {
    trackPlain("ShowProgressPage", "category", "Alphabetically");
}

void FIAnalytics::trackSessionSummary(const std::string& name, std::int64_t totalCards, std::int64_t totalMinutes) {
    EventProperties properties;
    properties.setString(ValueCategorizer::categoryLabel(totalCards, totalCardsStudiedCategories), "totalCards2");
    properties.setString(ValueCategorizer::categoryLabel(totalMinutes, totalMinutesStudiedCategories), "totalMinutes2");
    Analytics::shared().trackEvent(name, properties);
}

void FIAnalytics::trackMemorizeSessionSummary(std::int64_t totalCards, std::int64_t totalMinutes) {
    trackSessionSummary("StudySessionSummaryMemorize", totalCards, totalMinutes);
}
void FIAnalytics::trackTypeSessionSummary(std::int64_t totalCards, std::int64_t totalMinutes) {
    trackSessionSummary("StudySessionSummaryType", totalCards, totalMinutes);
}
void FIAnalytics::trackMultipleChoiceSessionSummary(std::int64_t totalCards, std::int64_t totalMinutes) {
    trackSessionSummary("StudySessionSummaryMultipleChoice", totalCards, totalMinutes);
}
