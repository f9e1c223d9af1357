#include "app/study/StudyModeEditingBrigde.h"

#include "app/cards/EditStudyCardViewController.h"
#include "app/study/FIStudyModeViewController.h"
#include "model/FCCard.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/Storyboard.h"

void StudyModeEditingBrigde::showEditorForCard(
    const std::shared_ptr<FCStudyCard>& card, const std::shared_ptr<FIStudyModeViewController>& studyModeViewController,
    std::function<void()> completionHandler) {
    if (!studyModeViewController) return;
    auto editor = Storyboard::storyboardWithName(EditStudyCardViewController::kStoryboardName)
                      ->instantiate<EditStudyCardViewController>(EditStudyCardViewController::kSceneIdentifier);
    if (!editor) return;
    std::weak_ptr<FIStudyModeViewController> weakStudy = studyModeViewController;
    editor->showSingleCardModalEditor(
        card,
        [weakStudy, completionHandler = std::move(completionHandler)] {
            if (completionHandler) completionHandler();
            if (auto study = weakStudy.lock()) study->dismissViewController(true);
        },
        studyModeViewController->deckChangeDelegate());
    auto navigation = std::make_shared<NavigationController>(editor);
    navigation->setModalPresentationStyle(ModalPresentationStyle::FormSheet);
    navigation->setModalInPresentation(true);
    studyModeViewController->presentViewController(navigation, true);
}
