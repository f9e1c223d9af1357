#include "app/cards/CardListDetailEditor.h"

#include "app/cards/CardListTableViewController.h"
#include "app/cards/EditStudyCardViewController.h"
#include "app/library/DeckMasterNavigationController.h"
#include "platform/ui/SplitViewController.h"

namespace {

CardListDetailEditor& hook() {
    static CardListDetailEditor installed = CardListDetailEditor::deckSplitView();
    return installed;
}

}  // namespace

CardListDetailEditor CardListDetailEditor::deckSplitView() {
    CardListDetailEditor split;
    split.isSplitViewExpanded = [](CardListTableViewController& list) {
        auto splitViewController = enclosingSplitViewController(list);
        return splitViewController && !splitViewController->isCollapsed();
    };
    split.editorInDetailPane = [](CardListTableViewController& list) -> std::shared_ptr<ViewController> {
        auto master = std::dynamic_pointer_cast<DeckMasterNavigationController>(list.navigationController());
        auto splitViewController = master ? enclosingSplitViewController(*master) : nullptr;
        auto detail = splitViewController ? master->detailNavigationController(*splitViewController) : nullptr;
        auto top = detail ? detail->topViewController() : nullptr;
        return std::dynamic_pointer_cast<EditStudyCardViewController>(top) ? top : nullptr;
    };
    split.isCardEditor = [](const ViewController& controller) {
        return dynamic_cast<const EditStudyCardViewController*>(&controller) != nullptr;
    };
    split.mode = [](ViewController& editor) {
        auto* card = dynamic_cast<EditStudyCardViewController*>(&editor);
        if (!card) return Mode::other;
        switch (card->presentationMode().kind()) {
            case EditStudyCardPresentationMode::Kind::coverCard:
                return Mode::coverCard;
            case EditStudyCardPresentationMode::Kind::cardEditor:
                return Mode::cardEditor;
            default:
                return Mode::other;
        }
    };
    split.setDimmingOverlayShown = [](ViewController& editor, bool shown, bool animated) {
        if (auto* card = dynamic_cast<EditStudyCardViewController*>(&editor))
            card->setDimmingOverlayShown(shown, animated);
    };
    split.configureEditor = [](CardListTableViewController& list, ViewController& editor) {
        if (auto* card = dynamic_cast<EditStudyCardViewController*>(&editor)) list.configureEditor(*card);
    };
    return split;
}

const CardListDetailEditor& cardListDetailEditor() {
    return hook();
}

void installCardListDetailEditor(CardListDetailEditor replacement) {
    hook() = std::move(replacement);
}
