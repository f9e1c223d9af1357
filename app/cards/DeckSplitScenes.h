#pragma once

#include <string>

class Storyboard;

// The scenes in which an open deck is shown, added to the storyboard that
// holds the card list's scene:
// - "EditStudyCardViewController": the card editor, blank;
// - "DeckDetailViewController": a navigation controller whose top is a new
//   card editor (the split view's detail; the card list's
//   instantiateDeckDetailEditor() makes more of it);
// - "DeckSplitViewController": a split view whose first controller is a
//   DeckMasterNavigationController with a new controller of the card list's
//   scene at its root, and whose second is a new "DeckDetailViewController";
// and the card list's "ShowEditorDetailSegue", which shows a new
// "DeckDetailViewController" as the split view's detail.
// The card list's scene is named by its identifier; it must be in the same
// storyboard and adopt DeckMasterContentViewController.
inline constexpr const char* kDeckSplitViewControllerScene = "DeckSplitViewController";
inline constexpr const char* kDeckDetailViewControllerScene = "DeckDetailViewController";

void addDeckSplitScenes(Storyboard& storyboard, const std::string& cardListSceneIdentifier);
