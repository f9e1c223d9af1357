#pragma once

// A unit of work over one legacy JSON deck store, and the conversions between
// decks and the store's serialized-deck dictionaries that deck sharing uses.
//
// The context hands out decks read from its store, keeping one shared deck
// object per identifier, remembers which decks were added or changed, forwards
// attachment and deletion requests for a deck to the store, imports the decks
// of another store and announces added and deleted decks on the default
// notification center (synchronously, on the calling thread). It takes no
// locks and never writes modified decks back.
//
// The class-level services (FCDeckStoreContextSerialization.cpp) need no
// store: the sharing upload calls snapshotForDeck and makeUniqueId, the
// sharing download makeNewDeckFromDownloadData.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "model/FCCard.h"
#include "platform/foundation/Data.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/KeyValueObserving.h"
#include "platform/foundation/Value.h"

class FCDeck;
class FCDeckSnaphot;
class FCDeckStore;

// Object: the added deck (std::shared_ptr<FCDeck>).
inline constexpr const char* kFCDeckAddedNotification = "kFCDeckAddedNotification";
// Object: the deleted deck's identifier (a string; nil when none was given).
inline constexpr const char* kFCDeckDeletedNotification = "kFCDeckDeletedNotification";

class FCDeckStoreContext : public KVOObservable {
public:
    using DeckArray = std::vector<std::shared_ptr<FCDeck>>;
    // Whether the first deck goes before the second.
    using DeckOrdering = std::function<bool(const FCDeck&, const FCDeck&)>;

    explicit FCDeckStoreContext(std::shared_ptr<FCDeckStore> deckStore);

    const std::shared_ptr<FCDeckStore>& deckStore() const { return deckStore_; }
    const std::map<std::string, std::shared_ptr<FCDeck>>& cachedDecksByIdentifier() const { return cachedDecks_; }
    const std::set<std::string>& modifiedDeckIdentifiers() const { return modifiedDeckIdentifiers_; }
    // YES once a deck was added or modified (observable as "hasChanges").
    bool hasChanges() const { return !modifiedDeckIdentifiers_.empty(); }

    // --- Decks ---

    // A new deck with the title, a fresh identifier, no cards and the default
    // cover. Neither cached nor marked: add it with didAddDeck.
    static std::shared_ptr<FCDeck> makeNewDeckWithTitle(const std::optional<std::string>& title);
    // The cached deck, or the store's deck, then cached under its own identifier.
    std::shared_ptr<FCDeck> deckForIdentifier(const std::optional<std::string>& identifier, Error* error);
    // Every deck of the store in listing order, cached ones as cached; nullopt
    // and "ErrorListingAllDecks" when the store reports an error.
    std::optional<DeckArray> allDecks(Error* error);
    // The first deck of allDecks in that order (listing order when the
    // ordering is null); nullptr when there are none.
    std::shared_ptr<FCDeck> firstAvailableDeckSortedWith(const DeckOrdering& ordering);
    std::optional<FCCardArray> cardsForDeckWithIdentifier(const std::optional<std::string>& identifier, Error* error);

    void didModifyDeck(const std::shared_ptr<FCDeck>& deck);
    // Caches the deck, marks it and posts kFCDeckAddedNotification.
    void didAddDeck(const std::shared_ptr<FCDeck>& deck);
    void evictDeckFromCacheWithIdentifier(const std::optional<std::string>& identifier);

    // --- Attachments, forwarded to the store with the deck's identifier ---

    // The new attachment's file name, its base name a fresh makeUniqueId.
    std::optional<std::string> attachImageData(const std::optional<Data>& data,
                                               const std::optional<std::string>& fileExtension,
                                               const std::shared_ptr<FCDeck>& deck);
    bool moveImageAtPath(const std::optional<std::string>& path, const std::shared_ptr<FCDeck>& deck);
    std::optional<std::string> pathForExistingAttachment(const std::optional<std::string>& fileName,
                                                         const std::shared_ptr<FCDeck>& deck) const;
    std::optional<std::string> pathForExistingAttachment(const std::optional<std::string>& fileName,
                                                         const std::optional<std::string>& deckIdentifier) const;
    void pruneImagesKeepingImagesWithIdentifiers(const std::optional<std::set<std::string>>& identifiers,
                                                 const std::optional<std::string>& deckIdentifier);

    // --- Deleting, restoring, importing ---

    // On the store's success: forgets the deck and posts kFCDeckDeletedNotification.
    bool markDeckAsDeleted(const std::optional<std::string>& identifier, Error* error);
    // Restores the folder, reads the deck and adds it (didAddDeck).
    bool restoreDeckPendingDeletion(const std::optional<std::string>& identifier, Error* error);
    void pruneDeletedDecks();
    // Adds every deck of the other store that this context's store lacks;
    // the number added, or -1 when the other store has another version.
    // Imported decks are cached and marked, not written.
    std::int64_t importDecksFromExternalDeckStore(const FCDeckStore& externalDeckStore, Error* error);

    // --- Diagnostics ---

    // "Deck Cache: <n> decks, <m> modified".
    std::string _cacheStats() const;
    std::string _deckStatistics();

    std::optional<Value> valueForKey(const std::string& key) const override;

    // --- Serialized decks and snapshots (FCDeckStoreContextSerialization.cpp) ---

    // The three JSON documents of the sharing upload; nullptr when any of them
    // can't be produced.
    static std::shared_ptr<FCDeckSnaphot> snapshotForDeck(const FCDeck& deck);
    // The deck of a downloaded shared deck (its "deckInfo" with "cards" put in);
    // nullptr when the data is no dictionary.
    static std::shared_ptr<FCDeck> makeNewDeckFromDownloadData(const Value& serializedDeck);
    // 16 lower-case hex digits, each drawn on its own.
    static std::string makeUniqueId();

    // Exactly nine keys: "identifier", "title", "coverStyle", "studyCardsCount",
    // "cards", "studyProgress", "preferredStudyDirection", "downloadDate" and
    // "author" (the last two null).
    static Value::Dictionary _serializeDeckWithoutStudyStats(const FCDeck& deck);
    // A new deck; nullptr for a value that is no dictionary. Values of the
    // wrong kind are skipped with a warning.
    static std::shared_ptr<FCDeck> _deckFromSerializedDeck(const Value& serializedDeck);
    static Value::Array _primitiveArrayForCardsWithoutStudyStats(const FCCardArray& cards);
    static FCCardArray _cardsFromPrimitiveArray(const Value& array);
    // Appends cards depth first until `into` holds `count` cards; a topic goes
    // in as a copy without children and its children follow.
    static void _copyFirst(std::size_t count, const FCCardArray& cardsFrom, FCCardArray& into);

private:
    void insertModifiedIdentifier(const std::string& identifier);
    void eraseModifiedIdentifier(const std::string& identifier);

    std::shared_ptr<FCDeckStore> deckStore_;
    std::map<std::string, std::shared_ptr<FCDeck>> cachedDecks_;
    std::set<std::string> modifiedDeckIdentifiers_;
};
