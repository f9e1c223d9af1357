#pragma once

class ViewController;

// The deck library's rule for collapsing an open deck's split view to one
// column: true when the secondary (detail) side is to be dropped, which the
// library answers as "handled" from its split view delegate; false when the
// split view's default collapse is to keep it on the master stack.
//
// Only an editor that edits a card is kept, so the card stays reachable on
// the one remaining side. A secondary that is no navigation controller, one
// without a top controller or whose top is no card editor, and an editor
// showing the cover, a single-card sheet or nothing are dropped; expanding
// makes a fresh detail (DeckMasterNavigationController).
bool deckSplitViewDropsSecondary(const ViewController& secondary);
