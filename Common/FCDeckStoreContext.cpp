#include "Common/FCDeckStoreContext.h"

#include <algorithm>

#include "Common/FCDeckStore.h"
#include "model/FCCoverStyle.h"
#include "model/FCDeck.h"
#include "model/FCLocalization.h"
#include "model/TWErrorAdditions.h"
#include "model/TWLogger.h"
#include "platform/foundation/NotificationCenter.h"

namespace {

const char* const kErrorDomain = "FCPersistenceErrorDomain";
const char* const kHasChangesKey = "hasChanges";

AnyObject identifierObject(const std::optional<std::string>& identifier) {
    return identifier ? AnyObject(*identifier) : AnyObject();
}

}  // namespace

FCDeckStoreContext::FCDeckStoreContext(std::shared_ptr<FCDeckStore> deckStore) : deckStore_(std::move(deckStore)) {}

void FCDeckStoreContext::insertModifiedIdentifier(const std::string& identifier) {
    willChangeValueForKey(kHasChangesKey);
    modifiedDeckIdentifiers_.insert(identifier);
    didChangeValueForKey(kHasChangesKey);
}

void FCDeckStoreContext::eraseModifiedIdentifier(const std::string& identifier) {
    willChangeValueForKey(kHasChangesKey);
    modifiedDeckIdentifiers_.erase(identifier);
    didChangeValueForKey(kHasChangesKey);
}

std::optional<Value> FCDeckStoreContext::valueForKey(const std::string& key) const {
    if (key == kHasChangesKey) return Value(hasChanges());
    return KVOObservable::valueForKey(key);
}

// --- Decks ---

std::shared_ptr<FCDeck> FCDeckStoreContext::makeNewDeckWithTitle(const std::optional<std::string>& title) {
    auto deck = std::make_shared<FCDeck>();
    deck->setLegacyTitle(title);
    deck->setLegacyIdentifier(makeUniqueId());
    deck->setCards({});
    deck->setCoverStyle(FCCoverStyle::defaultStyle());
    return deck;
}

std::shared_ptr<FCDeck> FCDeckStoreContext::deckForIdentifier(const std::optional<std::string>& identifier,
                                                              Error* error) {
    Error::clear(error);
    if (identifier) {
        auto cached = cachedDecks_.find(*identifier);
        if (cached != cachedDecks_.end()) return cached->second;
    }
    auto serializedDeck = deckStore_->serializedDeckForIdentifier(identifier, error);
    if (!serializedDeck) return nullptr;
    auto deck = _deckFromSerializedDeck(*serializedDeck);
    if (!deck) return nullptr;
    if (auto deckIdentifier = deck->legacyIdentifier()) cachedDecks_[*deckIdentifier] = deck;
    return deck;
}

std::optional<FCDeckStoreContext::DeckArray> FCDeckStoreContext::allDecks(Error* error) {
    Error::clear(error);
    DeckArray decks;
    bool failed = false;
    deckStore_->enumerateSerializedDecksUsingBlock(
        [&](const std::optional<Value>& serializedDeck, const Error& readError, bool* stop) {
            if (readError || !serializedDeck) {
                TWLogWarning("Error listing deck: %@", readError);
                failed = true;
                *stop = true;
                return;
            }
            auto deck = _deckFromSerializedDeck(*serializedDeck);
            if (!deck) return;
            auto identifier = deck->legacyIdentifier();
            if (identifier) {
                auto cached = cachedDecks_.find(*identifier);
                if (cached != cachedDecks_.end()) {
                    decks.push_back(cached->second);
                    return;
                }
                cachedDecks_[*identifier] = deck;
            }
            decks.push_back(std::move(deck));
        });
    if (failed) {
        Error::set(error, twErrorWithDomain(kErrorDomain, 0, FCPersistenceLocalizedString("ErrorListingAllDecks")));
        return std::nullopt;
    }
    return decks;
}

std::shared_ptr<FCDeck> FCDeckStoreContext::firstAvailableDeckSortedWith(const DeckOrdering& ordering) {
    auto decks = allDecks(nullptr);
    if (!decks || decks->empty()) return nullptr;
    if (ordering) {
        std::stable_sort(decks->begin(), decks->end(),
                         [&](const std::shared_ptr<FCDeck>& a, const std::shared_ptr<FCDeck>& b) {
                             return ordering(*a, *b);
                         });
    }
    return decks->front();
}

std::optional<FCCardArray> FCDeckStoreContext::cardsForDeckWithIdentifier(const std::optional<std::string>& identifier,
                                                                          Error* error) {
    Error::clear(error);
    Error readError;
    auto cards = deckStore_->serializedCardsForDeckIdentifier(identifier, &readError);
    if (!cards) {
        TWLogWarning("Error resolving cards for deck: %@. Error: %@", identifier, readError);
        Error::set(error, readError);
        return std::nullopt;
    }
    return _cardsFromPrimitiveArray(*cards);
}

void FCDeckStoreContext::didModifyDeck(const std::shared_ptr<FCDeck>& deck) {
    if (!deck) return;
    auto identifier = deck->legacyIdentifier();
    if (!identifier) {
        TWLogWarning("Can't mark a deck without identifier as modified.");
        return;
    }
    insertModifiedIdentifier(*identifier);
}

void FCDeckStoreContext::didAddDeck(const std::shared_ptr<FCDeck>& deck) {
    if (!deck) return;
    auto identifier = deck->legacyIdentifier();
    if (!identifier) {
        TWLogWarning("Can't add a deck without identifier.");
        return;
    }
    cachedDecks_[*identifier] = deck;
    insertModifiedIdentifier(*identifier);
    NotificationCenter::defaultCenter().postNotificationName(kFCDeckAddedNotification, AnyObject(deck));
}

void FCDeckStoreContext::evictDeckFromCacheWithIdentifier(const std::optional<std::string>& identifier) {
    if (identifier) cachedDecks_.erase(*identifier);
}

// --- Attachments ---

std::optional<std::string> FCDeckStoreContext::attachImageData(const std::optional<Data>& data,
                                                               const std::optional<std::string>& fileExtension,
                                                               const std::shared_ptr<FCDeck>& deck) {
    return deckStore_->attachImageData(data, fileExtension, deck ? deck->legacyIdentifier() : std::nullopt,
                                       makeUniqueId());
}

bool FCDeckStoreContext::moveImageAtPath(const std::optional<std::string>& path, const std::shared_ptr<FCDeck>& deck) {
    return deckStore_->moveImageAtPath(path, deck ? deck->legacyIdentifier() : std::nullopt);
}

std::optional<std::string> FCDeckStoreContext::pathForExistingAttachment(const std::optional<std::string>& fileName,
                                                                         const std::shared_ptr<FCDeck>& deck) const {
    return deckStore_->pathForExistingAttachment(fileName, deck ? deck->legacyIdentifier() : std::nullopt);
}

std::optional<std::string> FCDeckStoreContext::pathForExistingAttachment(
    const std::optional<std::string>& fileName, const std::optional<std::string>& deckIdentifier) const {
    return deckStore_->pathForExistingAttachment(fileName, deckIdentifier);
}

void FCDeckStoreContext::pruneImagesKeepingImagesWithIdentifiers(
    const std::optional<std::set<std::string>>& identifiers, const std::optional<std::string>& deckIdentifier) {
    deckStore_->pruneImagesKeepingImagesWithIdentifiers(identifiers, deckIdentifier);
}

// --- Deleting, restoring, importing ---

bool FCDeckStoreContext::markDeckAsDeleted(const std::optional<std::string>& identifier, Error* error) {
    Error::clear(error);
    const bool deleted = deckStore_->markDeckAsDeleted(identifier, error);
    if (deleted) {
        if (identifier) {
            cachedDecks_.erase(*identifier);
            eraseModifiedIdentifier(*identifier);
        }
        NotificationCenter::defaultCenter().postNotificationName(kFCDeckDeletedNotification,
                                                                 identifierObject(identifier));
    }
    return deleted;
}

bool FCDeckStoreContext::restoreDeckPendingDeletion(const std::optional<std::string>& identifier, Error* error) {
    Error::clear(error);
    if (!deckStore_->restoreDeckPendingDeletion(identifier, error)) return false;
    Error readError;
    auto deck = deckForIdentifier(identifier, &readError);
    if (!deck) {
        TWLogWarning("Error reading restored deck: %@ Error: %@", identifier, readError);
        Error::set(error, readError);
        return false;
    }
    didAddDeck(deck);
    return true;
}

void FCDeckStoreContext::pruneDeletedDecks() {
    deckStore_->pruneDeletedDecks();
}

std::int64_t FCDeckStoreContext::importDecksFromExternalDeckStore(const FCDeckStore& externalDeckStore,
                                                                  Error* error) {
    Error::clear(error);
    const std::int64_t externalVersion = externalDeckStore.classStoreVersion();
    if (externalVersion != deckStore_->classStoreVersion()) {
        Error::set(error,
                   twErrorWithDomain(kErrorDomain, 1,
                                     stringWithFormat(FCPersistenceLocalizedString("ImportStoreVersionUnsupportedFormat"),
                                                      externalVersion)));
        return -1;
    }
    std::int64_t count = 0;
    externalDeckStore.enumerateSerializedDecksUsingBlock(
        [&](const std::optional<Value>& serializedDeck, const Error& readError, bool*) {
            if (readError || !serializedDeck) {
                TWLogWarning("Error importing external deck: %@", readError);
                return;
            }
            auto deck = _deckFromSerializedDeck(*serializedDeck);
            if (!deck) {
                TWLogWarning("Error parsing serialized deck while importing external deck.");
                return;
            }
            const auto identifier = deck->legacyIdentifier();
            const auto title = deck->legacyTitle();
            if (!identifier) {
                TWLogWarning("Error parsing serialized deck while importing external deck.");
                return;
            }
            if (deckStore_->deckExistsWithIdentifier(identifier)) {
                TWLogInfo("Deck '%@' with identifier %@ already exists. Won't import again.", title, identifier);
                return;
            }
            didAddDeck(deck);
            ++count;
            TWLogInfo("Imported deck: %@/%@", title, identifier);
        });
    return count;
}

// --- Diagnostics ---

std::string FCDeckStoreContext::_cacheStats() const {
    return stringWithFormat("Deck Cache: %ld decks, %ld modified", static_cast<std::int64_t>(cachedDecks_.size()),
                            static_cast<std::int64_t>(modifiedDeckIdentifiers_.size()));
}

std::string FCDeckStoreContext::_deckStatistics() {
    std::string text = stringWithFormat("%@", deckStore_->_deckStatistics());
    text += "\nDecks:\n";
    Error error;
    auto decks = allDecks(&error);
    std::int64_t deckCount = 0;
    if (!decks) {
        text += stringWithFormat("  Error: %@", error);
    } else {
        text += "  Title\tNum Cards\tID \tStudy progress \tDownload date \tAuthor\n";
        std::int64_t studyCardsTotal = 0;
        for (const auto& deck : *decks) {
            text += stringWithFormat("  %@\t(%ld cards) \t<%@> \t%.2f\n", deck->legacyTitle(), deck->studyCardsCount(),
                                     deck->legacyIdentifier(), deck->studyProgress());
            studyCardsTotal += deck->studyCardsCount();
        }
        text += stringWithFormat("\n\n%ld study cards total\n", studyCardsTotal);
        deckCount = static_cast<std::int64_t>(decks->size());
    }
    text += stringWithFormat("%ld decks total\n", deckCount);
    return text;
}
