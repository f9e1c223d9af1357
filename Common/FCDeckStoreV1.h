#pragma once

// Format version 1 of the legacy JSON deck store:
//
//   DeckLibrary_v1/
//     <identifier>.deck/             one deck
//       deckinfo                     JSON object: the serialized deck without "cards"
//       cards                        JSON array: the deck's card dictionaries
//       files/<unique id>.<ext>      the deck's attachments
//     <identifier>.deck.pendingDelete/   a deck marked as deleted
//
// Both JSON files are UTF-8, have no extension and are written atomically.
// Failures leave what was written before them on disk.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Common/FCDeckStore.h"
#include "platform/foundation/URL.h"

class FCDeckStoreV1 : public FCDeckStore {
public:
    // --- Class operations ---

    static std::int64_t storeVersion() { return 1; }
    // "<parent>/DeckLibrary_v1".
    static std::string storePathForParentPath(const std::string& parentPath);
    // The store in the parent folder, or nullptr when its folder does not exist
    // as a folder.
    static std::shared_ptr<FCDeckStoreV1> openExistingDeckStoreInDirectory(const std::string& parentPath);
    // The store in the parent folder; its folder is made (with intermediate
    // folders) when it is not a folder yet.
    static std::shared_ptr<FCDeckStoreV1> openDeckStoreInDirectory(const std::string& parentPath, Error* error);

    std::int64_t classStoreVersion() const override { return storeVersion(); }

    // --- The store ---

    bool deckExistsWithIdentifier(const std::optional<std::string>& identifier) const override;
    std::optional<Value> serializedDeckForIdentifier(const std::optional<std::string>& identifier,
                                                     Error* error) const override;
    std::optional<Value> serializedCardsForDeckIdentifier(const std::optional<std::string>& identifier,
                                                          Error* error) const override;
    void enumerateSerializedDecksUsingBlock(const SerializedDeckBlock& block) const override;
    bool saveSerializedDeck(const std::optional<Value>& serializedDeck, Error* error) override;
    bool markDeckAsDeleted(const std::optional<std::string>& identifier, Error* error) override;
    bool restoreDeckPendingDeletion(const std::optional<std::string>& identifier, Error* error) override;
    void pruneDeletedDecks() override;
    void pruneImagesKeepingImagesWithIdentifiers(const std::optional<std::set<std::string>>& identifiers,
                                                 const std::optional<std::string>& deckIdentifier) override;
    std::optional<std::string> attachImageData(const std::optional<Data>& data,
                                               const std::optional<std::string>& fileExtension,
                                               const std::optional<std::string>& deckIdentifier,
                                               const std::optional<std::string>& uniqueId) override;
    std::optional<std::string> pathForExistingAttachment(const std::optional<std::string>& fileName,
                                                         const std::optional<std::string>& deckIdentifier) const override;
    bool moveImageAtPath(const std::optional<std::string>& path,
                         const std::optional<std::string>& deckIdentifier) override;
    // "Store version: 1\nStore path   : <path>\n".
    std::optional<std::string> _deckStatistics() const override;

    // YES when pathForExistingAttachment finds the file.
    bool hasAttachmentWithName(const std::optional<std::string>& fileName,
                               const std::optional<std::string>& deckIdentifier) const;
    // File URLs of the entries of the deck's "files" folder; empty when the
    // folder is missing, nullopt when it cannot be listed.
    std::optional<std::vector<URL>> internalURLsForDeckAttachments(const std::optional<std::string>& deckIdentifier,
                                                                   Error* error) const;
    // Names of the entries of the deck's "files" folder (empty when there are none).
    std::vector<std::string> _listDeckImageFileNames(const std::optional<std::string>& deckIdentifier) const;
    // "<store>/<identifier>.deck"; nullopt for nil or a refused identifier.
    std::optional<std::string> _pathForDeckWithIdentifier(const std::optional<std::string>& identifier) const;

    // JSON files: an array or an object, UTF-8, written atomically.
    static std::optional<Value> _readFromJSONFile(const std::string& path, Error* error);
    static bool _saveAsJSON(const Value& object, const std::string& path, Error* error);

    // "FCPersistenceErrorDomain" -1 with the plain texts for saving and opening.
    static Error _generalSaveError();
    static Error _generalReadError();

protected:
    explicit FCDeckStoreV1(std::string storePath) : FCDeckStore(std::move(storePath)) {}

private:
    // The deck's identifier from a serialized deck when it is a non-empty
    // string that can name a folder; otherwise the general save error.
    static std::optional<std::string> _deckIdentifierIsSet(const Value& serializedDeck, Error* error);
    // The path of the deck's attachment folder, made when it is not a folder yet.
    std::optional<std::string> attachmentsFolderForDeck(const std::string& deckPath) const;
};
