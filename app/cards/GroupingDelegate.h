#pragma once

#include <memory>

class FCTopicCard;

// The parent card list of a list that shows one group's cards: after the
// statistics changed, it groups its cards again and hands back the group of
// the new grouping that stands for the one the child shows.
class GroupingDelegate {
public:
    virtual ~GroupingDelegate() = default;
    // The new group of the same title, or an empty group of that title and
    // primary key when the new grouping has none.
    virtual std::shared_ptr<FCTopicCard> regroupedGroup(const std::shared_ptr<FCTopicCard>& matching) = 0;
};
