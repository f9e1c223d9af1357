#pragma once

// The oldest on-disk form of the deck library: one folder per format version
// ("DeckLibrary_v1") holding one sub-folder per deck. The store moves only
// serialized-deck dictionaries and attachment files; turning them into decks
// is the deck store context's work.
//
// FCDeckStore is the abstract, versioned base. Its class operations act as the
// base (store version 0) and refuse to open anything; a concrete store class
// (FCDeckStoreV1) declares the same class operations for its own version. The
// instance operations of the base log a programming error and do nothing.
//
// Deck identifiers and attachment names become path components below the
// store folder, and they may come from files or downloads: a name that is
// empty or holds "/", ".." or a NUL byte is refused (see isSafeStoreName), so
// nothing is ever read or written outside the store folder.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/foundation/Data.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/Value.h"

class FCDeckStore {
public:
    // Called for each deck of a listing with the serialized deck (or nullopt),
    // the error of that entry (unset when there is none) and a stop flag,
    // initially false, that ends the listing when set.
    using SerializedDeckBlock =
        std::function<void(const std::optional<Value>& serializedDeck, const Error& error, bool* stop)>;

    virtual ~FCDeckStore() = default;
    FCDeckStore(const FCDeckStore&) = delete;
    FCDeckStore& operator=(const FCDeckStore&) = delete;

    // --- Class operations (the base: version 0, opens nothing) ---

    // Abstract: logs "Programming error." and gives 0.
    static std::int64_t storeVersion();
    // The parent path with "DeckLibrary_v<version>" appended.
    static std::string storePathForParentPath(const std::string& parentPath);
    // Both log that a concrete store class must be used and give nullptr.
    static std::shared_ptr<FCDeckStore> openExistingDeckStoreInDirectory(const std::string& parentPath);
    static std::shared_ptr<FCDeckStore> openDeckStoreInDirectory(const std::string& parentPath, Error* error);

    // The store version of this store's class (what storeVersion of the class
    // that made it answers).
    virtual std::int64_t classStoreVersion() const;

    // The store folder.
    const std::string& storePath() const { return storePath_; }

    // Whether the name can stand as one path component inside the store: not
    // empty, no "/", no "..", no NUL byte.
    static bool isSafeStoreName(const std::string& name);

    // --- Instance operations (abstract here) ---

    // YES when the deck's folder exists as a folder; NO for nil or a refused name.
    virtual bool deckExistsWithIdentifier(const std::optional<std::string>& identifier) const;
    // The serialized deck, "cards" included.
    virtual std::optional<Value> serializedDeckForIdentifier(const std::optional<std::string>& identifier,
                                                             Error* error) const;
    // The deck's cards array.
    virtual std::optional<Value> serializedCardsForDeckIdentifier(const std::optional<std::string>& identifier,
                                                                  Error* error) const;
    // Every deck of the store (decks marked as deleted are left out); a null
    // block does nothing.
    virtual void enumerateSerializedDecksUsingBlock(const SerializedDeckBlock& block) const;
    virtual bool saveSerializedDeck(const std::optional<Value>& serializedDeck, Error* error);
    virtual bool markDeckAsDeleted(const std::optional<std::string>& identifier, Error* error);
    virtual bool restoreDeckPendingDeletion(const std::optional<std::string>& identifier, Error* error);
    virtual void pruneDeletedDecks();
    // Removes the deck's attachments whose names without extension are not in
    // the set.
    virtual void pruneImagesKeepingImagesWithIdentifiers(const std::optional<std::set<std::string>>& identifiers,
                                                         const std::optional<std::string>& deckIdentifier);
    // The attachment's file name ("<unique id>.<extension>") or nullopt.
    virtual std::optional<std::string> attachImageData(const std::optional<Data>& data,
                                                       const std::optional<std::string>& fileExtension,
                                                       const std::optional<std::string>& deckIdentifier,
                                                       const std::optional<std::string>& uniqueId);
    virtual std::optional<std::string> pathForExistingAttachment(const std::optional<std::string>& fileName,
                                                                 const std::optional<std::string>& deckIdentifier) const;
    virtual bool moveImageAtPath(const std::optional<std::string>& path,
                                 const std::optional<std::string>& deckIdentifier);
    // Text for diagnostics; nullopt in the base.
    virtual std::optional<std::string> _deckStatistics() const;

protected:
    explicit FCDeckStore(std::string storePath) : storePath_(std::move(storePath)) {}

    // The class operations of a concrete store class, for its version and with
    // its constructor.
    using Factory = std::function<std::shared_ptr<FCDeckStore>(std::string storePath)>;
    static std::string storePathForParentPath(const std::string& parentPath, std::int64_t version);
    static std::shared_ptr<FCDeckStore> openExistingDeckStoreInDirectory(const std::string& parentPath,
                                                                         std::int64_t version, const Factory& make);
    static std::shared_ptr<FCDeckStore> openDeckStoreInDirectory(const std::string& parentPath, std::int64_t version,
                                                                 const Factory& make, Error* error);

private:
    std::string storePath_;
};
