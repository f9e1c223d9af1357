#include "app/cards/CardListPresentationMode.h"

#include "Common/FIDeckDocument.h"
#include "Common/FIFlashcardsDocument.h"
#include "model/FCDeck.h"
#include "model/FCHtmlToPlainTextValueTransformer.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/FatalError.h"

namespace {

const FCCardArray& noCards() {
    static const FCCardArray empty;
    return empty;
}

const char* tagName(PresentationMode::Tag tag) {
    switch (tag) {
        case PresentationMode::Tag::topLevelCards:
            return "topLevelCards";
        case PresentationMode::Tag::topic:
            return "topic";
        case PresentationMode::Tag::groupForTopLevelCards:
            return "groupForTopLevelCards";
        case PresentationMode::Tag::groupForTopic:
            return "groupForTopic";
        case PresentationMode::Tag::groupContent:
            return "groupContent";
        case PresentationMode::Tag::filteredCards:
            return "filteredCards";
        case PresentationMode::Tag::editingTitle:
            return "editingTitle";
    }
    return "";
}

}  // namespace

PresentationMode PresentationMode::topLevelCards(std::shared_ptr<FIDeckDocument> document) {
    PresentationMode mode;
    mode.tag_ = Tag::topLevelCards;
    mode.document_ = std::move(document);
    return mode;
}

PresentationMode PresentationMode::topic(std::shared_ptr<FIDeckDocument> document, std::shared_ptr<FCTopicCard> topic) {
    PresentationMode mode;
    mode.tag_ = Tag::topic;
    mode.document_ = std::move(document);
    mode.topic_ = std::move(topic);
    return mode;
}

PresentationMode PresentationMode::groupForTopLevelCards(std::shared_ptr<FIDeckDocument> document, FCCardArray groups,
                                                         PresentationMode originalPresentationMode) {
    PresentationMode mode;
    mode.tag_ = Tag::groupForTopLevelCards;
    mode.document_ = std::move(document);
    mode.cards_ = std::move(groups);
    mode.box_ = std::make_shared<const PresentationModeBox>(PresentationModeBox{std::move(originalPresentationMode)});
    return mode;
}

PresentationMode PresentationMode::groupForTopic(std::shared_ptr<FIDeckDocument> document,
                                                 std::shared_ptr<FCTopicCard> originalTopic, FCCardArray groups,
                                                 PresentationMode originalPresentationMode) {
    PresentationMode mode;
    mode.tag_ = Tag::groupForTopic;
    mode.document_ = std::move(document);
    mode.topic_ = std::move(originalTopic);
    mode.cards_ = std::move(groups);
    mode.box_ = std::make_shared<const PresentationModeBox>(PresentationModeBox{std::move(originalPresentationMode)});
    return mode;
}

PresentationMode PresentationMode::groupContent(std::shared_ptr<FIDeckDocument> document,
                                                std::shared_ptr<FCTopicCard> group) {
    PresentationMode mode;
    mode.tag_ = Tag::groupContent;
    mode.document_ = std::move(document);
    mode.topic_ = std::move(group);
    return mode;
}

PresentationMode PresentationMode::filteredCards(PresentationMode originalPresentationMode, FCCardArray filteredCards) {
    PresentationMode mode;
    mode.tag_ = Tag::filteredCards;
    mode.cards_ = std::move(filteredCards);
    mode.box_ = std::make_shared<const PresentationModeBox>(PresentationModeBox{std::move(originalPresentationMode)});
    return mode;
}

PresentationMode PresentationMode::editingTitle(PresentationMode originalPresentationMode,
                                                std::shared_ptr<View> overlay) {
    if (originalPresentationMode.is(Tag::filteredCards))
        fatalError("Editing the title while filtering cards not supported", "CardListTableViewController", 131);
    if (originalPresentationMode.is(Tag::editingTitle))
        fatalError("Unerlying presentation mode is already 'editingTitle'", "CardListTableViewController", 133);
    PresentationMode mode;
    mode.tag_ = Tag::editingTitle;
    mode.overlay_ = std::move(overlay);
    mode.box_ = std::make_shared<const PresentationModeBox>(PresentationModeBox{std::move(originalPresentationMode)});
    return mode;
}

const PresentationMode* PresentationMode::originalPresentationMode() const {
    return box_ ? &box_->wrappedPresentationMode : nullptr;
}

bool PresentationMode::isFlashcardsDocument() const {
    return dynamic_cast<FIFlashcardsDocument*>(document_.get()) != nullptr;
}

const FCCardArray& PresentationMode::cards() const {
    switch (tag_) {
        case Tag::topLevelCards: {
            auto deck = document_ ? document_->deck() : nullptr;
            // The document keeps its deck; the reference stays valid while it does.
            return deck ? deck->cards() : noCards();
        }
        case Tag::topic:
        case Tag::groupContent:
            return topic_ ? *topic_->cards() : noCards();
        case Tag::groupForTopLevelCards:
        case Tag::groupForTopic:
        case Tag::filteredCards:
            return cards_;
        case Tag::editingTitle:
            return box_->wrappedPresentationMode.cards();
    }
    return noCards();
}

std::string PresentationMode::deckTitle(const FIDeckDocument& document) {
    if (dynamic_cast<const FIFlashcardsDocument*>(&document)) {
        return document.fileURL().URLByDeletingPathExtension().lastPathComponent();
    }
    auto deck = document.deck();
    return deck ? deck->legacyTitle().value_or("") : std::string();
}

std::string PresentationMode::topicTitle(const FCTopicCard& topic) {
    auto plain = FCHtmlToPlainTextValueTransformer::valueTransformerForCurrentThread().transformedValue(
        topic.title().value_or(""));
    if (plain && !plain->empty()) return *plain;
    return Bundle::main().localizedString("CardListEmtpyTopicTitle", "Topic");
}

std::string PresentationMode::titleText() const {
    switch (tag_) {
        case Tag::topLevelCards:
        case Tag::groupForTopLevelCards:
            return document_ ? deckTitle(*document_) : std::string();
        case Tag::topic:
        case Tag::groupForTopic:
            return topic_ ? topicTitle(*topic_) : std::string();
        case Tag::groupContent:
            return topic_ ? topic_->title().value_or("") : std::string();
        case Tag::filteredCards:
        case Tag::editingTitle:
            return box_->wrappedPresentationMode.titleText();
    }
    return {};
}

bool PresentationMode::isEditButtonEnabled() const {
    switch (tag_) {
        case Tag::topLevelCards:
        case Tag::topic:
            return isFlashcardsDocument();
        case Tag::editingTitle:
            return box_->wrappedPresentationMode.isEditButtonEnabled();
        default:
            return false;
    }
}

bool PresentationMode::showsGroupingHeader() const {
    switch (tag_) {
        case Tag::groupContent:
            return false;
        case Tag::editingTitle:
            return box_->wrappedPresentationMode.showsGroupingHeader();
        default:
            return true;
    }
}

bool PresentationMode::isTitleEditable() const {
    switch (tag_) {
        case Tag::topLevelCards:
        case Tag::topic:
        case Tag::groupForTopLevelCards:
        case Tag::groupForTopic:
            return isFlashcardsDocument();
        case Tag::editingTitle:
            return box_->wrappedPresentationMode.isTitleEditable();
        default:
            return false;
    }
}

std::string PresentationMode::description() const {
    std::string text = tagName(tag_);
    switch (tag_) {
        case Tag::topic:
        case Tag::groupForTopic:
        case Tag::groupContent:
            text += "(" + (topic_ ? topic_->title().value_or("") : std::string()) + ")";
            break;
        case Tag::groupForTopLevelCards:
            text += "(" + std::to_string(cards_.size()) + " groups)";
            break;
        case Tag::filteredCards:
            text += "(" + std::to_string(cards_.size()) + " cards)";
            break;
        default:
            break;
    }
    if (box_) text += " in " + box_->wrappedPresentationMode.description();
    return text;
}
