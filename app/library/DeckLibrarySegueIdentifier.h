#pragma once

#include "app/library/SegueHandlerType.h"

// The segues of the deck library screen (DeckLibraryTableViewController).
enum class DeckLibrarySegueIdentifier { ShowSettingsSegue, CreateDeckSegue };

template <>
struct SegueIdentifierRawValues<DeckLibrarySegueIdentifier> {
    static constexpr std::array<std::string_view, 2> values{"ShowSettingsSegue", "CreateDeckSegue"};
};
