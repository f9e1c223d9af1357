#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/FatalError.h"
#include "platform/ui/Storyboard.h"

// Storyboard segues named by a string enumeration.
//
// A screen that tells its segues apart adopts SegueHandlerType with its own
// enumeration of segue identifiers, so that its prepareForSegue switches
// over cases instead of comparing strings:
//
//   class TopicPickerTableViewController : public TableViewController,
//                                          public SegueHandlerType<TopicPickerSegueIdentifier> {
//       void prepareForSegue(StoryboardSegue& segue, const AnyObject& sender) override {
//           switch (segueIdentifier(segue)) {
//               case SegueIdentifier::ShowSubTopicSegue: ...
//           }
//       }
//   };
//
// The enumeration's raw values (the identifiers as the storyboard names
// them) are given by specialising SegueIdentifierRawValues for it: `values`
// lists them in case order, case i having raw value values[i].
template <class Identifier>
struct SegueIdentifierRawValues;

template <class Identifier>
class SegueHandlerType {
public:
    using SegueIdentifier = Identifier;

    // The case whose raw value equals the identifier exactly (letter case
    // counts), or none.
    static std::optional<SegueIdentifier> segueIdentifierFromRawValue(std::string_view rawValue) {
        const auto& values = SegueIdentifierRawValues<Identifier>::values;
        for (std::size_t i = 0; i < values.size(); ++i)
            if (values[i] == rawValue) return static_cast<SegueIdentifier>(i);
        return std::nullopt;
    }
    static std::string_view rawValue(SegueIdentifier identifier) {
        return SegueIdentifierRawValues<Identifier>::values[static_cast<std::size_t>(identifier)];
    }

    // The case of the segue's identifier. A segue without identifier, or one
    // that matches no case, is a programming error: the program stops with
    // "Invalid segue identifier: <identifier or n/a>. Define case for
    // SegueIdentifier enum." (file "SegueHandlerType", line 27).
    SegueIdentifier segueIdentifier(const StoryboardSegue& segue) const {
        const auto& identifier = segue.identifier();
        if (identifier)
            if (auto found = segueIdentifierFromRawValue(*identifier)) return *found;
        fatalError(
            "Invalid segue identifier: " + identifier.value_or("n/a") + ". Define case for SegueIdentifier enum.",
            "SegueHandlerType", 27);
    }

protected:
    ~SegueHandlerType() = default;
};
