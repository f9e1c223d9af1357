#pragma once

#include "app/library/SegueHandlerType.h"

// The segues of the card list (CardListTableViewController). Declared here
// until the card list screen is written; it moves into the screen's header.
enum class CardListSegueIdentifier {
    ShowPartialCardListSegue,
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
