#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "model/FCCard.h"
#include "model/FCGroupBuilder.h"

// One group row of a grouped card list: a topic-like card whose title is the
// group's title and whose cards are the grouped cards, with what the row
// offers. Groups are made by the card list while it groups (and for the
// setup row of spaced repetition) and are never put into a deck; their
// primary key is the deck's next free key when they were made, so several
// may share it. A group is made only with all of its values.
class CardGroup : public FCTopicCard, public FCCardGroup {
public:
    static std::shared_ptr<CardGroup> make(std::optional<std::string> title, std::int64_t primaryKey,
                                           bool wantsScheduleNextButton, bool wantsSpacedRepetitionSetupButton,
                                           std::optional<std::string> progressHexColor);
    // Only for make().
    CardGroup(bool wantsScheduleNextButton, bool wantsSpacedRepetitionSetupButton,
              std::optional<std::string> progressHexColor)
        : wantsScheduleNextButton_(wantsScheduleNextButton),
          wantsSpacedRepetitionSetupButton_(wantsSpacedRepetitionSetupButton),
          progressHexColor_(std::move(progressHexColor)) {}

    // The row offers to rate its first card (spaced repetition).
    bool wantsScheduleNextButton() const { return wantsScheduleNextButton_; }
    // The row leads to the setup of the box intervals.
    bool wantsSpacedRepetitionSetupButton() const { return wantsSpacedRepetitionSetupButton_; }
    // Hex digits chosen by the grouping strategy, or none.
    const std::optional<std::string>& progressHexColor() const { return progressHexColor_; }

    const char* className() const override { return "CardGroup"; }

private:
    const bool wantsScheduleNextButton_;
    const bool wantsSpacedRepetitionSetupButton_;
    const std::optional<std::string> progressHexColor_;
};
