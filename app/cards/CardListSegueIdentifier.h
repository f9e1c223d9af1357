#pragma once

#include "app/library/SegueHandlerType.h"

// The segues of the card list (CardListTableViewController::SegueIdentifier).
// The first case is spelt as the screen has always spelt it; its raw value
// is what the storyboard uses.
enum class CardListSegueIdentifier {
    ShowParticalCardListSegue,
    PickTopicToMoveToSegue,
    StudyByListeningSegue,
    StudyAsMultipleChoiceSegue,
    SoloEditStudyCardSegue,
    SpacedRepetitionSegue,
    ShowEditorDetailSegue,
    ShowSpacedRepetitionSetupSegue,
};

template <>
struct SegueIdentifierRawValues<CardListSegueIdentifier> {
    static constexpr std::array<std::string_view, 8> values{
        "ShowPartialCardListSegue", "PickTopicToMoveToSegue", "StudyByListeningSegue", "StudyAsMultipleChoiceSegue",
        "SoloEditStudyCardSegue",   "SpacedRepetitionSegue",  "ShowEditorDetailSegue", "ShowSpacedRepetitionSetupSegue",
    };
};
