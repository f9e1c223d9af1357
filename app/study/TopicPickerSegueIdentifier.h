#pragma once

#include "app/library/SegueHandlerType.h"

// The segues of the topic picker (TopicPickerTableViewController): each
// deeper level of topics is pushed through its own segue.
enum class TopicPickerSegueIdentifier { ShowSubTopicSegue };

template <>
struct SegueIdentifierRawValues<TopicPickerSegueIdentifier> {
    static constexpr std::array<std::string_view, 1> values{"ShowSubTopicSegue"};
};
