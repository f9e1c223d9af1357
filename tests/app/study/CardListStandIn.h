#pragma once

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "Common/FCCUserDocumentSettings.h"
#include "app/study/SpacedRepetitionSetupViewController.h"
#include "app/study/SpacedRepetitionTableViewController.h"
#include "app/study/TopicPickerTableViewController.h"
#include "model/FCCard.h"
#include "platform/foundation/Format.h"
#include "platform/ui/Application.h"
#include "platform/ui/NavigationBar.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/Storyboard.h"
#include "platform/ui/UITestFixture.h"
#include "platform/ui/Window.h"

namespace memorant_test {

// The card list's side of the three study screens, as a recording stand-in:
// it prepares their segues as the card list does, answers the topic picker
// with the card list's rules and records what the screens hand back.
class CardListStandIn : public ViewController, public TopicPickerTableViewDelegate {
public:
    FCCardArray deckCards;                          // the deck's top-level cards
    std::vector<std::shared_ptr<FCCard>> selected;  // the items being moved
    FCCUserDocumentSettings settings;
    std::vector<std::optional<std::vector<std::int64_t>>> handedBack;  // by the setup screen
    std::vector<std::shared_ptr<FCTopicCard>> movedTo;                 // null: the top level

    void prepareForSegue(StoryboardSegue& segue, const AnyObject&) override {
        const auto& id = *segue.identifier();
        auto destination = segue.destinationViewController();
        auto root = [&] { return std::static_pointer_cast<NavigationController>(destination)->topViewController(); };
        if (id == "SpacedRepetitionSegue") {
            std::static_pointer_cast<SpacedRepetitionTableViewController>(destination)
                ->setTopics(SpacedRepetitionTableViewController::makeTopics(deckCards));
        } else if (id == "ShowSpacedRepetitionSetupSegue") {
            auto setup = std::static_pointer_cast<SpacedRepetitionSetupViewController>(root());
            setup->setInitialBoxIntervals(settings.spacedRepetitionBoxIntervals());
            std::weak_ptr<CardListStandIn> weakSelf = std::static_pointer_cast<CardListStandIn>(shared_from_this());
            setup->setDidChangeSettingsHandler([weakSelf](const std::optional<std::vector<std::int64_t>>& intervals) {
                auto self = weakSelf.lock();
                self->handedBack.push_back(intervals);
                self->settings.setSpacedRepetitionBoxIntervalsWithIntervals(intervals);
            });
        } else if (id == "PickTopicToMoveToSegue") {
            auto picker = std::static_pointer_cast<TopicPickerTableViewController>(root());
            picker->configure(deckCards, {},
                              std::static_pointer_cast<TopicPickerTableViewDelegate>(
                                  std::static_pointer_cast<CardListStandIn>(shared_from_this())));
            picker->navigationItem().setTitle(selected.size() == 1
                                                  ? std::string("Moving 1 Item")
                                                  : stringWithFormat("Moving %d Items", int(selected.size())));
        }
    }

    // Yes with nothing selected; no when a selected topic lies on the path.
    bool canMoveSelectedItems(const std::vector<std::shared_ptr<FCTopicCard>>& path) override {
        for (const auto& topic : path)
            if (std::find(selected.begin(), selected.end(), topic) != selected.end()) return false;
        return true;
    }

    void moveSelectedItems(const std::shared_ptr<FCTopicCard>& topic) override {
        movedTo.push_back(topic);
        if (selected.empty()) return;
        for (const auto& item : selected) takeOut(deckCards, item);
        auto& target = topic ? *topic->cards() : deckCards;
        target.insert(target.end(), selected.begin(), selected.end());
    }

    // The storyboard of the card list with the three screens it reaches.
    static void defineStoryboard(Storyboard& s) {
        s.addScene<CardListStandIn>("CardList");
        s.addNavigationScene("Root", "CardList");
        SpacedRepetitionTableViewController::addScene(s);
        SpacedRepetitionSetupViewController::addScene(s);
        TopicPickerTableViewController::addScene(s);
        s.addNavigationScene("SetupNavigation", SpacedRepetitionSetupViewController::kSceneIdentifier);
        s.addNavigationScene("PickerNavigation", TopicPickerTableViewController::kSceneIdentifier);
        s.addSegue("CardList", "SpacedRepetitionSegue", SpacedRepetitionTableViewController::kSceneIdentifier,
                   StoryboardSegueKind::Push);
        s.addSegue("CardList", "ShowSpacedRepetitionSetupSegue", "SetupNavigation", StoryboardSegueKind::FormSheet);
        s.addSegue("CardList", "PickTopicToMoveToSegue", "PickerNavigation", StoryboardSegueKind::Popover);
        s.setInitialScene("Root");
    }

private:
    static void takeOut(FCCardArray& cards, const std::shared_ptr<FCCard>& item) {
        std::erase(cards, item);
        for (const auto& card : cards)
            if (card->isTopicCard()) takeOut(*card->cards(), item);
    }
};

// The card list on screen in a window of the given size, inside its
// navigation controller, with the three screens in its storyboard.
class CardListScreenTest : public UITest {
protected:
    void SetUp() override { Storyboard::registerStoryboard("StudyScreensTest", CardListStandIn::defineStoryboard); }
    void TearDown() override {
        for (auto& w : Application::shared().windows()) w->setHidden(true);
        Storyboard::unregisterStoryboard("StudyScreensTest");
        UITest::TearDown();
    }

    void showCardList(Rect frame = Rect(0, 0, 390, 844)) {
        auto storyboard = Storyboard::storyboardWithName("StudyScreensTest");
        navigation = std::dynamic_pointer_cast<NavigationController>(storyboard->instantiateInitialViewController());
        cardList = std::dynamic_pointer_cast<CardListStandIn>(navigation->topViewController());
        window = std::make_shared<Window>(frame);
        window->setRootViewController(navigation);
        window->makeKeyAndVisible();
        drainMainLoop();
    }

    // Performs a segue of the card list and lets its transition finish.
    void perform(const std::string& identifier) {
        cardList->performSegueWithIdentifier(identifier, nullptr);
        advance(0.3);
    }

    std::shared_ptr<NavigationController> navigation;
    std::shared_ptr<CardListStandIn> cardList;
    std::shared_ptr<Window> window;
};

}  // namespace memorant_test
