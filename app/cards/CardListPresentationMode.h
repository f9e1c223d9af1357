#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "model/FCCard.h"

class CardGroup;
class FIDeckDocument;
class View;
struct PresentationModeBox;

// What one card list shows: one level of the card tree, the groups of a
// grouping, one group's cards, search results, or, while the title is being
// edited, the mode it came from. A mode that holds another keeps it in a
// PresentationModeBox, so modes nest. Values; copying shares the payloads.
//
// | tag | case                    | payload                                                  |
// |-----|-------------------------|----------------------------------------------------------|
// | 0   | topLevelCards           | document                                                 |
// | 1   | topic                   | document, topic                                          |
// | 2   | groupForTopLevelCards   | document, groups, originalPresentationMode               |
// | 3   | groupForTopic           | document, originalTopic, groups, originalPresentationMode|
// | 4   | groupContent            | document, group                                          |
// | 5   | filteredCards           | originalPresentationMode, filteredCards                  |
// | 6   | editingTitle            | originalPresentationMode, overlay                        |
class PresentationMode {
public:
    enum class Tag {
        topLevelCards = 0,
        topic,
        groupForTopLevelCards,
        groupForTopic,
        groupContent,
        filteredCards,
        editingTitle
    };

    static PresentationMode topLevelCards(std::shared_ptr<FIDeckDocument> document);
    static PresentationMode topic(std::shared_ptr<FIDeckDocument> document, std::shared_ptr<FCTopicCard> topic);
    static PresentationMode groupForTopLevelCards(std::shared_ptr<FIDeckDocument> document, FCCardArray groups,
                                                  PresentationMode originalPresentationMode);
    static PresentationMode groupForTopic(std::shared_ptr<FIDeckDocument> document,
                                          std::shared_ptr<FCTopicCard> originalTopic, FCCardArray groups,
                                          PresentationMode originalPresentationMode);
    // The group is a CardGroup, or the empty topic that stands for a group
    // that no longer exists.
    static PresentationMode groupContent(std::shared_ptr<FIDeckDocument> document, std::shared_ptr<FCTopicCard> group);
    static PresentationMode filteredCards(PresentationMode originalPresentationMode, FCCardArray filteredCards);
    // The title is never edited over search results or over title editing:
    // both stop the program.
    static PresentationMode editingTitle(PresentationMode originalPresentationMode, std::shared_ptr<View> overlay);

    Tag tag() const { return tag_; }
    bool is(Tag tag) const { return tag_ == tag; }

    // --- Payloads (empty where the case has none) ---
    const std::shared_ptr<FIDeckDocument>& document() const { return document_; }
    // The topic of `topic`, the originalTopic of `groupForTopic`, the group
    // of `groupContent`.
    const std::shared_ptr<FCTopicCard>& topicCard() const { return topic_; }
    // The groups of the two grouped cases (CardGroup objects).
    const FCCardArray& groups() const { return cards_; }
    const FCCardArray& filteredCards() const { return cards_; }
    const std::shared_ptr<View>& overlay() const { return overlay_; }
    // The wrapped mode of the cases that hold one; none for the others.
    const PresentationMode* originalPresentationMode() const;

    // --- Derived values (editingTitle answers with its wrapped mode) ---
    // What the table lists.
    const FCCardArray& cards() const;
    // The title: the deck's (its file name for the current format, else
    // its legacy title), the topic's as plain text ("Topic" when it has
    // none), or the group's; filtered cards show their wrapped mode's.
    std::string titleText() const;
    bool isEditButtonEnabled() const;
    bool showsGroupingHeader() const;
    bool isTitleEditable() const;

    // "topLevelCards", "groupContent(Box 2)", "filteredCards(3 in topic(...))".
    std::string description() const;

    // The title of a deck document as the card list shows it.
    static std::string deckTitle(const FIDeckDocument& document);
    // A topic's title as plain text, or the localized "Topic".
    static std::string topicTitle(const FCTopicCard& topic);

private:
    PresentationMode() = default;
    bool isFlashcardsDocument() const;

    Tag tag_ = Tag::topLevelCards;
    std::shared_ptr<FIDeckDocument> document_;
    std::shared_ptr<FCTopicCard> topic_;
    FCCardArray cards_;
    std::shared_ptr<View> overlay_;
    std::shared_ptr<const PresentationModeBox> box_;
};

// Holds a mode inside another one.
struct PresentationModeBox {
    const PresentationMode wrappedPresentationMode;
};
