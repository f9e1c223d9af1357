#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "app/cards/CardListPresentationMode.h"
#include "model/FCCard.h"
#include "platform/foundation/NotificationCenter.h"

class BarButtonItem;
class FIDeckDocument;

// What the card editor asks of the card list that owns it: the list it
// moves through (the mode's cards) and whether that list takes new cards,
// the document and the version-preview flag, the card at a position,
// selecting a row, the order in which cards follow one another, inserting
// cards, starting studying and sharing the deck. The card list answers
// (CardListTableViewController); the editor holds it weakly.
class CardListPresenter {
public:
    virtual ~CardListPresenter() = default;

    // The list's mode (its cards are the editor's current list); none before
    // the list is configured.
    virtual const std::optional<PresentationMode>& presentationMode() const = 0;
    virtual const std::shared_ptr<FIDeckDocument>& document() const = 0;
    virtual bool isReadOnlyVersionPreview() const = 0;
    // The presented card at the index, or null outside the list.
    virtual std::shared_ptr<FCCard> card(std::int64_t index) = 0;
    // Selects the row of the index (no animation, no scrolling) when the
    // index lies within the presented cards.
    virtual void selectRow(std::int64_t forCardAtIndex) = 0;
    // The presented cards (a topic's cards for a topic) arranged to start
    // with the card.
    virtual FCCardArray cardsArranged(const std::shared_ptr<FCCard>& startingWith) = 0;
    virtual void _insertNewStudyCardAtIndex(std::int64_t index) = 0;
    virtual void _insertNewTopicCardAtIndex(std::int64_t index) = 0;
    virtual void memorize(const AnyObject& sender) = 0;
    virtual void multipleChoice(const AnyObject& sender) = 0;
    virtual void _shareDocument(const std::shared_ptr<BarButtonItem>& sender) = 0;
};
