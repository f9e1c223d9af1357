#pragma once

#include "app/library/SegueHandlerType.h"

// The segues of the user guide (UserGuideTableViewController). Declared here
// until the user guide screen is written; it moves into its header.
enum class UserGuideSegueIdentifier { ShowPageListSegue, ShowPageSegue };

template <>
struct SegueIdentifierRawValues<UserGuideSegueIdentifier> {
    static constexpr std::array<std::string_view, 2> values{"ShowPageListSegue", "ShowPageSegue"};
};
