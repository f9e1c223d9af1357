#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "model/FCCard.h"
#include "platform/ui/TableViewController.h"

class Storyboard;

// The spaced-repetition groups of a deck: its study cards sorted into "New
// Cards", "Difficult Cards" and "Due For Review", each row showing how many
// cards its group holds.
//
// The groups are plain topic cards made for this screen and never stored in
// the deck. The card list computes them once with makeTopics when it
// prepares the segue to this screen and hands them over in setTopics; they
// are not recomputed while the screen is shown.
//
// The table is static (the scene's cells): section 1 holds the group rows,
// whose text and count the code fills in, and section 2's first row gets a
// switch as its accessory. Everything else stays as the scene designs it.
// Appearing shows the navigation controller's toolbar.
class SpacedRepetitionTableViewController : public TableViewController {
public:
    // The most cards the new-cards group takes.
    static constexpr std::size_t MAX_NEW_CARDS = 10;
    // The scene's identifier in a storyboard.
    static constexpr const char* kSceneIdentifier = "SpacedRepetitionTableViewController";

    SpacedRepetitionTableViewController() : TableViewController(TableViewStyle::Grouped) {}

    // The three groups, in the order new (key 1), difficult (key 2), due
    // (key 3), from every card of the trees of `items`, depth first in deck
    // order. Only study cards count, by the most recent result of their
    // forward statistics: none yet makes a new card (the first MAX_NEW_CARDS
    // met), right joins no group, anything else is difficult. The due group
    // stays empty. Titles are fixed English texts.
    static std::vector<std::shared_ptr<FCTopicCard>> makeTopics(const FCCardArray& items);

    // The groups shown; empty until the presenter sets them.
    const std::vector<std::shared_ptr<FCTopicCard>>& topics() const { return topics_; }
    void setTopics(std::vector<std::shared_ptr<FCTopicCard>> topics) { topics_ = std::move(topics); }

    // Adds the scene (its static table) to a storyboard.
    static void addScene(Storyboard& storyboard);

    void viewWillAppear(bool animated) override;
    std::shared_ptr<TableViewCell> cellForRowAtIndexPath(TableView& tableView, const IndexPath& indexPath) override;

private:
    std::vector<std::shared_ptr<FCTopicCard>> topics_;
};
