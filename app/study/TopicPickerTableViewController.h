#pragma once

#include <memory>
#include <vector>

#include "app/study/TopicPickerSegueIdentifier.h"
#include "model/FCCard.h"
#include "platform/ui/TableViewController.h"

class Storyboard;

// What the topic picker asks of the screen whose selected items it moves
// (the card list).
class TopicPickerTableViewDelegate {
public:
    virtual ~TopicPickerTableViewDelegate() = default;
    // Whether the items being moved may go into the last topic of the path
    // (topic cards, top level first).
    virtual bool canMoveSelectedItems(const std::vector<std::shared_ptr<FCTopicCard>>& topicPath) = 0;
    // Moves the items being moved into the topic, or to the deck's top level
    // when given none.
    virtual void moveSelectedItems(const std::shared_ptr<FCTopicCard>& topic) = 0;
};

// A drill-down through the deck's topics to pick where selected cards move.
//
// Each level is a controller of its own on the navigation stack: it lists
// the topic cards of one level of the card tree and, below them, one
// place-here row ("PlaceCardsHere"). Tapping a topic opens the level below
// through "ShowSubTopicSegue"; topics the delegate refuses (a selected topic
// and everything below it) are shown disabled and cannot be opened. Tapping
// the place-here row ticks or unticks it; donePickingTopic moves the items
// to this level when it is ticked, and closes the picker in every case.
//
// The tick is kept here, not in the row's cell: on a level with many topics
// the place-here row may be out of view when the user confirms, and then it
// has no cell to read; the cell only shows the tick.
class TopicPickerTableViewController : public TableViewController, public SegueHandlerType<TopicPickerSegueIdentifier> {
public:
    static constexpr const char* kSceneIdentifier = "TopicPickerTableViewController";
    static constexpr const char* kTopicCellIdentifier = "TopicCell";
    static constexpr const char* kSelectorCellIdentifier = "SelectorCell";

    // Sets the level's items (study and topic cards as handed over), the
    // path of topics down to it (empty at the top level) and the weak
    // delegate. Called before the level appears.
    void configure(FCCardArray items, std::vector<std::shared_ptr<FCTopicCard>> parentTopics,
                   std::weak_ptr<TopicPickerTableViewDelegate> delegate);

    const FCCardArray& cards() const { return cards_; }
    // The topic cards among cards(), in order.
    const std::vector<std::shared_ptr<FCTopicCard>>& presentedTopics() const { return presentedTopics_; }
    const std::vector<std::shared_ptr<FCTopicCard>>& parentTopics() const { return parentTopics_; }
    const std::weak_ptr<TopicPickerTableViewDelegate>& delegate() const { return delegate_; }
    // Whether the place-here row is ticked.
    bool isPlaceHereTicked() const { return placeHereTicked_; }

    // The confirm action (the sender is ignored).
    void donePickingTopic();

    // Adds the scene (its prototype cells, Done button and the segue to the
    // next level) to a storyboard.
    static void addScene(Storyboard& storyboard);

    void viewDidLoad() override;
    void viewWillAppear(bool animated) override;
    std::int64_t numberOfSectionsInTableView(TableView& tableView) override;
    std::int64_t numberOfRowsInSection(TableView& tableView, std::int64_t section) override;
    std::shared_ptr<TableViewCell> cellForRowAtIndexPath(TableView& tableView, const IndexPath& indexPath) override;
    void willDisplayCell(TableView& tableView, TableViewCell& cell, const IndexPath& indexPath) override;
    void didSelectRowAtIndexPath(TableView& tableView, const IndexPath& indexPath) override;
    bool shouldPerformSegueWithIdentifier(const std::string& identifier, const AnyObject& sender) override;
    void prepareForSegue(StoryboardSegue& segue, const AnyObject& sender) override;

private:
    bool isPlaceHereRow(const IndexPath& indexPath) const {
        return indexPath.row == static_cast<std::int64_t>(presentedTopics_.size());
    }
    // The topic's title as plain text; "Topic" (localized) when that is
    // empty; none when the topic has no title.
    static std::optional<std::string> displayTitle(const FCTopicCard& topic);

    FCCardArray cards_;
    std::vector<std::shared_ptr<FCTopicCard>> presentedTopics_;
    std::vector<std::shared_ptr<FCTopicCard>> parentTopics_;
    std::weak_ptr<TopicPickerTableViewDelegate> delegate_;
    bool placeHereTicked_ = false;
};
