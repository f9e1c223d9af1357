#include "app/library/DeckLibrarySplitViewCollapse.h"

#include "app/cards/EditStudyCardViewController.h"
#include "platform/ui/NavigationController.h"

bool deckSplitViewDropsSecondary(const ViewController& secondary) {
    auto* navigation = dynamic_cast<const NavigationController*>(&secondary);
    if (!navigation) return true;
    auto editor = std::dynamic_pointer_cast<EditStudyCardViewController>(navigation->topViewController());
    if (!editor) return true;
    return editor->presentationMode().kind() != EditStudyCardPresentationMode::Kind::cardEditor;
}
