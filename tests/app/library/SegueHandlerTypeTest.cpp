#include <gtest/gtest.h>

#include "app/cards/CardListSegueIdentifier.h"
#include "app/library/DeckLibrarySegueIdentifier.h"
#include "app/shell/SettingsSegueIdentifier.h"
#include "app/shell/UserGuideSegueIdentifier.h"
#include "app/study/TopicPickerSegueIdentifier.h"

namespace {

// Stand-ins for the five adopting screens.
template <class Identifier>
struct Adopter : ViewController, SegueHandlerType<Identifier> {};

StoryboardSegue segueNamed(std::optional<std::string> identifier) {
    return StoryboardSegue(std::move(identifier), std::make_shared<ViewController>(),
                           std::make_shared<ViewController>());
}

// Every raw value of the table maps to its case, in case order, and back.
template <class Identifier>
void expectMapping(const std::vector<std::string>& rawValues) {
    Adopter<Identifier> adopter;
    ASSERT_EQ(rawValues.size(), SegueIdentifierRawValues<Identifier>::values.size());
    for (std::size_t i = 0; i < rawValues.size(); ++i) {
        SCOPED_TRACE(rawValues[i]);
        EXPECT_EQ(static_cast<Identifier>(i), adopter.segueIdentifier(segueNamed(rawValues[i])));
        EXPECT_EQ(rawValues[i], Adopter<Identifier>::rawValue(static_cast<Identifier>(i)));
    }
}

}  // namespace

TEST(SegueHandlerType, EachAdopterMapsItsIdentifiersToItsCases) {
    expectMapping<DeckLibrarySegueIdentifier>({"ShowSettingsSegue", "CreateDeckSegue"});
    expectMapping<CardListSegueIdentifier>(
        {"ShowPartialCardListSegue", "PickTopicToMoveToSegue", "StudyByListeningSegue", "StudyAsMultipleChoiceSegue",
         "SoloEditStudyCardSegue", "SpacedRepetitionSegue", "ShowEditorDetailSegue", "ShowSpacedRepetitionSetupSegue"});
    expectMapping<TopicPickerSegueIdentifier>({"ShowSubTopicSegue"});
    expectMapping<SettingsSegueIdentifier>({"ShowUserGuideSegue", "ShowDiagnosticsSegue"});
    expectMapping<UserGuideSegueIdentifier>({"ShowPageListSegue", "ShowPageSegue"});
}

TEST(SegueHandlerType, MatchesExactlyWithLetterCase) {
    using Handler = SegueHandlerType<DeckLibrarySegueIdentifier>;
    EXPECT_EQ(DeckLibrarySegueIdentifier::CreateDeckSegue, Handler::segueIdentifierFromRawValue("CreateDeckSegue"));
    for (const char* near : {"createDeckSegue", "CREATEDECKSEGUE", "CreateDeckSegue ", "CreateDeck", ""})
        EXPECT_EQ(std::nullopt, Handler::segueIdentifierFromRawValue(near)) << near;
    // An identifier of another screen is no case of this one.
    EXPECT_EQ(std::nullopt, Handler::segueIdentifierFromRawValue("ShowSubTopicSegue"));
}

TEST(SegueHandlerTypeDeathTest, AnUnknownOrMissingIdentifierStopsTheProgram) {
    Adopter<TopicPickerSegueIdentifier> picker;
    EXPECT_DEATH(picker.segueIdentifier(segueNamed("showSubTopicSegue")),
                 "Fatal error: Invalid segue identifier: showSubTopicSegue\\. Define case for SegueIdentifier "
                 "enum\\.: file SegueHandlerType, line 27");
    EXPECT_DEATH(picker.segueIdentifier(segueNamed(std::nullopt)),
                 "Invalid segue identifier: n/a\\. Define case for SegueIdentifier enum\\.");
}
