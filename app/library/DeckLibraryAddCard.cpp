// The "addcard" URL command: a study card from two plain texts, appended to
// a deck of the list named by its display name, without showing anything.

#include <unicode/normalizer2.h>
#include <unicode/unistr.h>

#include "Common/FIFlashcardsDocument.h"
#include "app/cards/CardListTableViewController.h"
#include "app/library/DeckLibraryTableViewController.h"
#include "model/FCCard.h"
#include "model/FCDeck.h"
#include "model/TWLogger.h"
#include "model/TWStringAdditions.h"
#include "platform/foundation/StringUtils.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/SplitViewController.h"

namespace {

constexpr const char* kFunction = "addCardToDeck(_:top:bottom:)";

void logLine(const std::string& message, std::uint32_t level, int line) {
    TWLogger::sharedInstance().log(message, level, DeckLibraryTableViewController::kLogFile, kFunction, Value(line));
}

// The canonical decomposition of the text (the text itself if ICU fails).
std::string decomposed(const std::string& text) {
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfd = icu::Normalizer2::getNFDInstance(status);
    if (U_FAILURE(status)) return text;
    icu::UnicodeString result = nfd->normalize(icu::UnicodeString::fromUTF8(text), status);
    if (U_FAILURE(status)) return text;
    std::string out;
    return result.toUTF8String(out);
}

// Equal as the platform's strings compare: under canonical equivalence, so
// that a composed "é" matches "e" with a combining accent; letter case and
// spaces count.
bool canonicallyEquivalent(const std::string& a, const std::string& b) {
    return a == b || decomposed(a) == decomposed(b);
}

// The card's HTML of a plain text.
std::string cardHTML(const std::string& text) {
    return DeckLibraryTableViewController::replacingLineBreaks(twStringByEscapingHTML(text), "<br/>\n");
}

}  // namespace

std::string DeckLibraryTableViewController::replacingLineBreaks(const std::string& text,
                                                                const std::string& replacement) {
    std::string result = stringByReplacingOccurrences(text, "\r\n", "\n");
    result = stringByReplacingOccurrences(result, "\r", "\n");
    return stringByReplacingOccurrences(result, "\n", replacement);
}

void DeckLibraryTableViewController::appendCard(FIFlashcardsDocument& document, const std::string& top,
                                                const std::string& bottom) {
    auto deck = document.deck();
    if (!deck) return;
    const std::int64_t key = deck->nextAvailableCardPrimaryKey();
    deck->cards().push_back(FCStudyCard::studyCardWithTop(cardHTML(top), cardHTML(bottom), key));
    document.didAddOrRemoveCards();
}

void DeckLibraryTableViewController::addCardToDeck(const std::string& deckName, const std::string& top,
                                                   const std::string& bottom) {
    std::shared_ptr<DocumentItem> item;
    for (const auto& candidate : documentItems_)
        if (candidate && canonicallyEquivalent(candidate->displayName(), deckName)) {
            item = candidate;
            break;
        }
    if (!item) {
        logLine("Document not found with name: " + deckName + " to add card to.", TWLogger::LevelDebug, __LINE__);
        return;
    }

    // The deck open here gets the card itself: a second document on the
    // same file would save over this one's edits, or this one over the card.
    if (auto open = std::dynamic_pointer_cast<FIFlashcardsDocument>(currentlyOpenDocument_);
        open && open->fileURL().path() == item->url().path() && open->deck()) {
        appendCard(*open, top, bottom);
        // Its card list shows the card at once; the document autosaves.
        if (presentedDeckSplitViewController_ && !presentedDeckSplitViewController_->viewControllers().empty())
            if (auto master = std::dynamic_pointer_cast<NavigationController>(
                    presentedDeckSplitViewController_->viewControllers().front());
                master && !master->viewControllers().empty())
                if (auto cardList =
                        std::dynamic_pointer_cast<CardListTableViewController>(master->viewControllers().front()))
                    cardList->didAddOrRemoveCardsWithUpdateChangeCount(false, true);
        return;
    }

    // Whatever the item's extension: a legacy package fails to open here and
    // gets no card.
    auto document =
        addCardDocumentMaker_ ? addCardDocumentMaker_(item->url()) : FIFlashcardsDocument::initWithFileURL(item->url());
    document->openWithCompletionHandler([document, top, bottom](bool success) {
        if (success) appendCard(*document, top, bottom);
        // Closing saves the card; after a failed open there is nothing to save.
        document->closeWithCompletionHandler(nullptr);
    });
}
