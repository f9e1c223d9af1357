#include "app/study/SpacedRepetitionTableViewController.h"

#include "model/FCDeck.h"
#include "model/FCStudyStats.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/Storyboard.h"
#include "platform/ui/Switch.h"

std::vector<std::shared_ptr<FCTopicCard>> SpacedRepetitionTableViewController::makeTopics(const FCCardArray& items) {
    auto newCards = FCTopicCard::topicCardWithTitle("New Cards", 1);
    auto difficultCards = FCTopicCard::topicCardWithTitle("Difficult Cards", 2);
    auto dueCards = FCTopicCard::topicCardWithTitle("Due For Review", 3);

    FCDeck::traverseAllCards(items, [&](const std::shared_ptr<FCCard>& card, bool, bool*) {
        if (!card->isStudyCard()) return;
        auto studyCard = std::static_pointer_cast<FCStudyCard>(card);
        auto stats = studyCard->studyStats();
        const std::int64_t result = stats ? stats->mostRecentResult() : 0;
        if (result == 0) {
            if (newCards->cards()->size() < MAX_NEW_CARDS) newCards->cards()->push_back(card);
        } else if (result != 1) {
            difficultCards->cards()->push_back(card);
        }
    });
    return {newCards, difficultCards, dueCards};
}

void SpacedRepetitionTableViewController::viewWillAppear(bool animated) {
    TableViewController::viewWillAppear(animated);
    if (auto navigation = navigationController()) navigation->setToolbarHidden(false, animated);
}

std::shared_ptr<TableViewCell> SpacedRepetitionTableViewController::cellForRowAtIndexPath(TableView& tableView,
                                                                                          const IndexPath& indexPath) {
    auto cell = TableViewController::cellForRowAtIndexPath(tableView, indexPath);
    if (!cell) return cell;
    if (indexPath.section == 1 && indexPath.row >= 0 && indexPath.row < static_cast<std::int64_t>(topics_.size())) {
        const auto& topic = topics_[static_cast<std::size_t>(indexPath.row)];
        cell->textLabel()->setText(topic->title());
        cell->detailTextLabel()->setText(std::to_string(topic->cards()->size()));
    } else if (indexPath.section == 2 && indexPath.row == 0) {
        auto toggle = std::make_shared<Switch>();
        toggle->setOn(true);
        cell->setAccessoryView(toggle);
    }
    return cell;
}

void SpacedRepetitionTableViewController::addScene(Storyboard& storyboard) {
    storyboard.addScene<SpacedRepetitionTableViewController>(
        kSceneIdentifier, [](SpacedRepetitionTableViewController& controller) {
            controller.setView(std::make_shared<TableView>(Rect(0, 0, 390, 844), TableViewStyle::Grouped));
            auto cell = [](TableViewCellStyle style, std::optional<std::string> text) {
                auto made = std::make_shared<TableViewCell>(style, std::nullopt);
                if (text) made->textLabel()->setText(std::move(text));
                return made;
            };
            auto intro = cell(TableViewCellStyle::Default,
                              "Cards you have not studied yet and cards you found difficult, ready to practise.");
            std::vector<std::shared_ptr<TableViewCell>> groups;
            for (int i = 0; i < 3; ++i) {
                auto group = cell(TableViewCellStyle::Value1, std::nullopt);
                group->setAccessoryType(TableViewCellAccessoryType::DisclosureIndicator);
                groups.push_back(group);
            }
            // The switch's row: its switch comes from the code.
            auto switchRow = cell(TableViewCellStyle::Default, std::nullopt);
            switchRow->setSelectionStyle(TableViewCellSelectionStyle::None);
            controller.setStaticSections({{std::nullopt, {intro}, std::nullopt},
                                          {"Groups", groups, std::nullopt},
                                          {std::nullopt, {switchRow}, std::nullopt}});
        });
}
