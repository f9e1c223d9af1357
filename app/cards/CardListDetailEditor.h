#pragma once

#include <functional>
#include <memory>

class CardListTableViewController;
class ViewController;

// How a card list reaches the card editor in the detail pane of its deck's
// split view. The card list knows the editor only as a controller; the hook
// in force by default (deckSplitView()) finds it through the list's
// DeckMasterNavigationController and its split view. Tests install their
// own; wherever a piece is missing, the card list behaves as without a
// detail pane.
//
// The editor in the detail pane: the list's navigation controller is the
// master navigation controller of a split view, and the top controller of
// that split view's detail navigation controller is a card editor.
struct CardListDetailEditor {
    // What the editor is showing.
    enum class Mode { coverCard, cardEditor, other };

    // Whether the list is in a split view that shows both panes (not
    // collapsed into one navigation stack).
    std::function<bool(CardListTableViewController& list)> isSplitViewExpanded;
    // The editor in the detail pane of the list's split view, or null.
    std::function<std::shared_ptr<ViewController>(CardListTableViewController& list)> editorInDetailPane;
    // Whether a controller (a screen that reported a change) is a card editor.
    std::function<bool(const ViewController& controller)> isCardEditor;
    std::function<Mode(ViewController& editor)> mode;
    // Shows or hides the editor's dimming overlay.
    std::function<void(ViewController& editor, bool shown, bool animated)> setDimmingOverlayShown;
    // list.configureEditor(editor), the editor known by its type.
    std::function<void(CardListTableViewController& list, ViewController& editor)> configureEditor;

    // The deck's split view: the list's navigation controller is a
    // DeckMasterNavigationController inside a split view, the editor an
    // EditStudyCardViewController on top of its detail navigation
    // controller.
    static CardListDetailEditor deckSplitView();
};

// The hook in force (deckSplitView() until another is installed).
const CardListDetailEditor& cardListDetailEditor();
void installCardListDetailEditor(CardListDetailEditor hook);
