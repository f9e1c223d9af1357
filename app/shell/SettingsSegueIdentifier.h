#pragma once

#include "app/library/SegueHandlerType.h"

// The segues of the settings screen (SettingsTableViewController). Declared
// here until the settings screen is written; it moves into its header.
enum class SettingsSegueIdentifier { ShowUserGuideSegue, ShowDiagnosticsSegue };

template <>
struct SegueIdentifierRawValues<SettingsSegueIdentifier> {
    static constexpr std::array<std::string_view, 2> values{"ShowUserGuideSegue", "ShowDiagnosticsSegue"};
};
