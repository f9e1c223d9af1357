#pragma once

#include <memory>
#include <string>
#include <vector>

#include "model/FCCard.h"

// A group of study cards as the card list shows it in one group row. The card
// list makes its own kind of group (a topic-like group that also carries the
// schedule-next flag and the progress colour); the grouping strategies only
// hand these objects back in display order.
class FCCardGroup {
public:
    virtual ~FCCardGroup() = default;
};

using FCCardGroupArray = std::vector<std::shared_ptr<FCCardGroup>>;

// Implemented by whoever shows grouped cards (the card list): the grouping
// strategies call it to make one group object per group.
class FCGroupBuilder {
public:
    virtual ~FCGroupBuilder() = default;

    // One group: its title and subtitle, whether it is highlighted, whether it
    // offers to schedule the next cards, its progress colour (six hex digits
    // without "#") and its cards in display order, handed over.
    virtual std::shared_ptr<FCCardGroup> makeGroupWithTitle(const std::string& title, const std::string& subTitle,
                                                            bool isSpecial, bool wantsScheduleNextButton,
                                                            const std::string& progressHexColor,
                                                            FCStudyCardArray cards) = 0;

    // When true, strategies put the localized card count into the subtitle.
    virtual bool includeCardCountsInTitles() const = 0;

    // Whether a group this builder made holds no cards.
    virtual bool isEmptyGroup(const std::shared_ptr<FCCardGroup>& group) const = 0;
};
