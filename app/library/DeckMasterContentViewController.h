#pragma once

#include <memory>

class EditStudyCardViewController;
class NavigationController;

// A controller that shows deck content on the master side of an open deck's
// split view: the card list and the lists pushed from it. The master
// navigation controller finds it on its stack (a cross-cast from
// ViewController) to make and refresh the detail editor.
class DeckMasterContentViewController {
public:
    virtual ~DeckMasterContentViewController() = default;

    // A new detail made from the scene "DeckDetailViewController": a
    // navigation controller whose top is the card editor, already configured
    // for what this content selects.
    virtual std::shared_ptr<NavigationController> instantiateDeckDetailEditor() = 0;

    // Shows in the editor the card of the selected row or, without a
    // selection, this content's cover or group card.
    virtual void configureEditor(EditStudyCardViewController& editor) = 0;
};
