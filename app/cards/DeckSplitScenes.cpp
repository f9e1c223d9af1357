#include "app/cards/DeckSplitScenes.h"

#include "app/cards/EditStudyCardViewController.h"
#include "app/library/DeckMasterNavigationController.h"
#include "platform/ui/SplitViewController.h"
#include "platform/ui/Storyboard.h"

void addDeckSplitScenes(Storyboard& storyboard, const std::string& cardListSceneIdentifier) {
    storyboard.addScene<EditStudyCardViewController>(EditStudyCardViewController::kSceneIdentifier);
    storyboard.addNavigationScene(kDeckDetailViewControllerScene, EditStudyCardViewController::kSceneIdentifier);
    // The card list shows the selected card in the detail pane.
    storyboard.addSegue(cardListSceneIdentifier, "ShowEditorDetailSegue", kDeckDetailViewControllerScene,
                        StoryboardSegueKind::ShowDetail);
    storyboard.addScene(
        kDeckSplitViewControllerScene, [cardListSceneIdentifier](Storyboard& board) -> std::shared_ptr<ViewController> {
            auto master = std::make_shared<DeckMasterNavigationController>(
                board.instantiateViewControllerWithIdentifier(cardListSceneIdentifier));
            auto split = std::make_shared<SplitViewController>();
            split->setViewControllers(
                {master, board.instantiateViewControllerWithIdentifier(kDeckDetailViewControllerScene)});
            return split;
        });
}
