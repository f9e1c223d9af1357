#pragma once

class CardListTableViewController;

// The owner of a card list (the deck library, the version browser): it
// closes the open deck when the card list asks (the list's close action).
class CardListTableViewControllerDelegate {
public:
    virtual ~CardListTableViewControllerDelegate() = default;
    virtual void closeDeck(CardListTableViewController& cardList) = 0;
};
