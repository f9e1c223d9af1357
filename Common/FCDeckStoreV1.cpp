#include "Common/FCDeckStoreV1.h"

#include "model/FCJSONAdditions.h"
#include "model/FCLocalization.h"
#include "model/TWErrorAdditions.h"
#include "model/TWLogger.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/StringUtils.h"

namespace {

const char* const kErrorDomain = "FCPersistenceErrorDomain";
const char* const kDeckExtension = "deck";
const char* const kPendingDeleteExtension = "pendingDelete";
const char* const kDeckInfoFileName = "deckinfo";
const char* const kCardsFileName = "cards";
const char* const kAttachmentsFolderName = "files";
const char* const kCardsKey = "cards";
const char* const kIdentifierKey = "identifier";

// Folders and files of the store are taken as they are on disk, without
// following symbolic links, so that a link cannot lead reads, moves or
// removals out of the store folder.
bool isFolder(const std::string& path) {
    auto attributes = FileManager::defaultManager().attributesOfItemAtPath(path);
    return attributes && attributes->type == FileAttributes::Type::Directory;
}

bool isRegularFile(const std::string& path) {
    auto attributes = FileManager::defaultManager().attributesOfItemAtPath(path);
    return attributes && attributes->type == FileAttributes::Type::Regular;
}

// The set as the platform prints one.
std::string setDescription(const std::set<std::string>& set) {
    std::string text = "{(";
    for (auto it = set.begin(); it != set.end(); ++it) {
        text += it == set.begin() ? "\n    " : ",\n    ";
        text += *it;
    }
    return text + "\n)}";
}

}  // namespace

// --- Class operations ---

std::string FCDeckStoreV1::storePathForParentPath(const std::string& parentPath) {
    return FCDeckStore::storePathForParentPath(parentPath, storeVersion());
}

std::shared_ptr<FCDeckStoreV1> FCDeckStoreV1::openExistingDeckStoreInDirectory(const std::string& parentPath) {
    auto store = FCDeckStore::openExistingDeckStoreInDirectory(parentPath, storeVersion(), [](std::string path) {
        return std::shared_ptr<FCDeckStore>(new FCDeckStoreV1(std::move(path)));
    });
    return std::static_pointer_cast<FCDeckStoreV1>(store);
}

std::shared_ptr<FCDeckStoreV1> FCDeckStoreV1::openDeckStoreInDirectory(const std::string& parentPath, Error* error) {
    auto store = FCDeckStore::openDeckStoreInDirectory(
        parentPath, storeVersion(),
        [](std::string path) { return std::shared_ptr<FCDeckStore>(new FCDeckStoreV1(std::move(path))); }, error);
    return std::static_pointer_cast<FCDeckStoreV1>(store);
}

// --- Paths ---

std::optional<std::string> FCDeckStoreV1::_pathForDeckWithIdentifier(const std::optional<std::string>& identifier) const {
    if (!identifier) return std::nullopt;
    if (!isSafeStoreName(*identifier)) {
        TWLogWarning("Refusing deck identifier that can't name a folder in the store: %@", *identifier);
        return std::nullopt;
    }
    return stringByAppendingPathComponent(storePath(), stringWithFormat("%@.%@", *identifier, kDeckExtension));
}

bool FCDeckStoreV1::deckExistsWithIdentifier(const std::optional<std::string>& identifier) const {
    auto path = _pathForDeckWithIdentifier(identifier);
    return path && isFolder(*path);
}

// --- Errors ---

Error FCDeckStoreV1::_generalSaveError() {
    return twErrorWithDomain(kErrorDomain, -1, std::string("An error occurred while saving the deck."));
}

Error FCDeckStoreV1::_generalReadError() {
    return twErrorWithDomain(kErrorDomain, -1, std::string("An error occurred while opening the deck."));
}

// --- JSON files ---

std::optional<Value> FCDeckStoreV1::_readFromJSONFile(const std::string& path, Error* error) {
    Error::clear(error);
    Error readError;
    auto data = dataWithContentsOfFile(path, &readError);
    if (!data) {
        TWLogWarning("Error reading data file: %@. Error: %@", path, readError);
        Error::set(error, readError);
        return std::nullopt;
    }
    Error parseError;
    auto object = objectFromJSONDataWithError(*data, &parseError);
    if (!object) {
        TWLogWarning("Error parsing JSON. Error: %@", parseError);
        Error::set(error, parseError);
        return std::nullopt;
    }
    return object;
}

bool FCDeckStoreV1::_saveAsJSON(const Value& object, const std::string& path, Error* error) {
    Error::clear(error);
    std::optional<Data> data;
    if (const auto* array = object.asArray()) {
        data = JSONData(*array);
    } else if (const auto* dictionary = object.asDictionary()) {
        data = JSONData(*dictionary);
    }
    if (!data) {
        TWLogWarning("Object doesn't have JSON representation: %@", object);
        Error::set(error, _generalSaveError());
        return false;
    }
    Error writeError;
    if (!writeDataAtomically(*data, path, &writeError)) {
        TWLogWarning("Error saving file: %@. Error: %@", path, writeError);
        Error::set(error, writeError);
        return false;
    }
    TWLogDebug("Saved file: %@", path);
    return true;
}

// --- Reading ---

std::optional<Value> FCDeckStoreV1::serializedDeckForIdentifier(const std::optional<std::string>& identifier,
                                                                Error* error) const {
    Error::clear(error);
    if (!identifier) {
        TWLogWarning("Can't open deck with nil identifier.");
        Error::set(error, _generalReadError());
        return std::nullopt;
    }
    if (!deckExistsWithIdentifier(identifier)) {
        TWLogInfo("Deck doesn't exist with identifier: %@", *identifier);
        Error::set(error,
                   twErrorWithDomain(kErrorDomain, 0, FCPersistenceLocalizedString("NoDeckWithIdentifierError")));
        return std::nullopt;
    }
    const std::string deckPath = *_pathForDeckWithIdentifier(identifier);

    const std::string deckInfoPath = stringByAppendingPathComponent(deckPath, kDeckInfoFileName);
    Error readError;
    auto deckInfo = _readFromJSONFile(deckInfoPath, &readError);
    if (!deckInfo) {
        TWLogWarning("Error reading deck info file: %@. Error: %@", deckInfoPath, readError);
        Error::set(error, readError);
        return std::nullopt;
    }
    if (!deckInfo->isDictionary()) {
        TWLogWarning("Deck info file holds no JSON object: %@", deckInfoPath);
        Error::set(error, _generalReadError());
        return std::nullopt;
    }

    auto cards = serializedCardsForDeckIdentifier(identifier, error);
    if (!cards) return std::nullopt;

    deckInfo->set(kCardsKey, std::move(*cards));
    return deckInfo;
}

std::optional<Value> FCDeckStoreV1::serializedCardsForDeckIdentifier(const std::optional<std::string>& identifier,
                                                                     Error* error) const {
    Error::clear(error);
    if (!identifier) {
        TWLogWarning("Can't open deck with nil identifier.");
        Error::set(error, _generalReadError());
        return std::nullopt;
    }
    auto deckPath = _pathForDeckWithIdentifier(identifier);
    if (!deckPath) {
        Error::set(error, _generalReadError());
        return std::nullopt;
    }
    const std::string cardsPath = stringByAppendingPathComponent(*deckPath, kCardsFileName);
    Error readError;
    auto cards = _readFromJSONFile(cardsPath, &readError);
    if (!cards) {
        TWLogWarning("Error reading deck cards file: %@. Error: %@", cardsPath, readError);
        Error::set(error, readError);
        return std::nullopt;
    }
    if (!cards->isArray()) {
        TWLogWarning("Deck cards file holds no JSON array: %@", cardsPath);
        Error::set(error, _generalReadError());
        return std::nullopt;
    }
    return cards;
}

void FCDeckStoreV1::enumerateSerializedDecksUsingBlock(const SerializedDeckBlock& block) const {
    if (!block) return;
    bool stop = false;
    Error listError;
    auto entries = FileManager::defaultManager().contentsOfDirectoryAtPath(storePath(), &listError);
    if (!entries) {
        TWLogWarning("Error reading data directory: %@. Error: %@", storePath(), listError);
        block(std::nullopt, listError, &stop);
        return;
    }
    for (const std::string& entry : *entries) {
        if (pathExtension(entry) != kDeckExtension) continue;
        const std::string identifier = stringByDeletingPathExtension(entry);
        if (!isSafeStoreName(identifier)) {
            TWLogWarning("Skipping deck folder whose name is no deck identifier: %@", entry);
            continue;
        }
        Error readError;
        auto deck = serializedDeckForIdentifier(identifier, &readError);
        block(deck, deck ? Error() : readError, &stop);
        if (stop) break;
    }
}

// --- Saving ---

std::optional<std::string> FCDeckStoreV1::_deckIdentifierIsSet(const Value& serializedDeck, Error* error) {
    Error::clear(error);
    const std::string* identifier = serializedDeck[kIdentifierKey].asString();
    if (!identifier || identifier->empty()) {
        TWLogWarning("Can't save deck without identifier.");
        Error::set(error, _generalSaveError());
        return std::nullopt;
    }
    if (!isSafeStoreName(*identifier)) {
        TWLogWarning("Refusing to save deck whose identifier can't name a folder in the store: %@", *identifier);
        Error::set(error, _generalSaveError());
        return std::nullopt;
    }
    return *identifier;
}

bool FCDeckStoreV1::saveSerializedDeck(const std::optional<Value>& serializedDeck, Error* error) {
    Error::clear(error);
    if (!serializedDeck || !serializedDeck->isDictionary()) {
        TWLogWarning("Can't save a serialized deck that is no dictionary.");
        Error::set(error, _generalSaveError());
        return false;
    }
    auto identifier = _deckIdentifierIsSet(*serializedDeck, error);
    if (!identifier) return false;
    // Checked before anything is written: a deck folder whose "cards" file
    // could not be written would no longer read.
    const Value& cards = (*serializedDeck)[kCardsKey];
    if (!cards.isArray()) {
        TWLogWarning("Can't save deck %@ without a cards array.", *identifier);
        Error::set(error, _generalSaveError());
        return false;
    }

    const std::string deckPath = *_pathForDeckWithIdentifier(identifier);
    Error folderError;
    if (!FileManager::defaultManager().createDirectoryAtPath(deckPath, true, &folderError)) {
        TWLogWarning("Error creating folder for deck at path: %@. Error: %@", deckPath, folderError);
        Error::set(error, folderError);
        return false;
    }

    Value deckInfo = *serializedDeck;
    deckInfo.remove(kCardsKey);
    Error writeError;
    if (!_saveAsJSON(deckInfo, stringByAppendingPathComponent(deckPath, kDeckInfoFileName), &writeError)) {
        TWLogWarning("Error saving deck info for deck: %@. Error: %@", *identifier, writeError);
        Error::set(error, twErrorWithDomain(kErrorDomain, 0, FCPersistenceLocalizedString("ErrorSavingDeckInfoFile"),
                                            writeError));
        return false;
    }
    if (!_saveAsJSON(cards, stringByAppendingPathComponent(deckPath, kCardsFileName), &writeError)) {
        TWLogWarning("Error saving cards info for deck: %@. Error: %@", *identifier, writeError);
        Error::set(error, twErrorWithDomain(kErrorDomain, 0, FCPersistenceLocalizedString("ErrorSavingDeckCardsFile"),
                                            writeError));
        return false;
    }
    return true;
}

// --- Deleting and restoring ---

bool FCDeckStoreV1::markDeckAsDeleted(const std::optional<std::string>& identifier, Error* error) {
    Error::clear(error);
    if (!identifier) {
        TWLogWarning("Can't delete deck with no identifier specified.");
        return true;
    }
    if (!deckExistsWithIdentifier(identifier)) {
        TWLogWarning("Won't delete deck %@, because it doesn't exist.", *identifier);
        return true;
    }
    const std::string deckPath = *_pathForDeckWithIdentifier(identifier);
    Error moveError;
    if (!FileManager::defaultManager().moveItemAtPath(
            deckPath, stringByAppendingPathExtension(deckPath, kPendingDeleteExtension), &moveError)) {
        TWLogWarning("Error marking deck as deleted: %@ Error: %@", *identifier, moveError);
        Error::set(error, moveError);
        return false;
    }
    TWLogDebug("Marked deck %@ as deleted.", *identifier);
    return true;
}

bool FCDeckStoreV1::restoreDeckPendingDeletion(const std::optional<std::string>& identifier, Error* error) {
    Error::clear(error);
    if (!identifier) {
        TWLogWarning("Can't restore deck with no identifier specified.");
        return true;
    }
    auto deckPath = _pathForDeckWithIdentifier(identifier);
    if (!deckPath) {
        Error::set(error, _generalReadError());
        return false;
    }
    const std::string pendingPath = stringByAppendingPathExtension(*deckPath, kPendingDeleteExtension);
    Error moveError;
    if (!FileManager::defaultManager().moveItemAtPath(pendingPath, *deckPath, &moveError)) {
        TWLogWarning("Deck couldn't be restored: %@ Error: %@", pendingPath, moveError);
        Error::set(error, moveError);
        return false;
    }
    TWLogDebug("Restored deck: %@", *identifier);
    return true;
}

void FCDeckStoreV1::pruneDeletedDecks() {
    Error listError;
    auto entries = FileManager::defaultManager().contentsOfDirectoryAtPath(storePath(), &listError);
    if (!entries) {
        TWLogWarning("Error listing decks marked for deletion: %@", listError);
        return;
    }
    for (const std::string& entry : *entries) {
        if (pathExtension(entry) != kPendingDeleteExtension) continue;
        const std::string path = stringByAppendingPathComponent(storePath(), entry);
        if (!isFolder(path)) continue;
        Error removeError;
        if (FileManager::defaultManager().removeItemAtPath(path, &removeError)) {
            TWLogDebug("Pruned deleted deck: %@", entry);
        } else {
            TWLogWarning("Error deleting deck: %@. Error: %@", entry, removeError);
        }
    }
}

// --- Attachments ---

std::optional<std::string> FCDeckStoreV1::attachmentsFolderForDeck(const std::string& deckPath) const {
    const std::string folder = stringByAppendingPathComponent(deckPath, kAttachmentsFolderName);
    if (isFolder(folder)) return folder;
    Error folderError;
    if (!FileManager::defaultManager().createDirectoryAtPath(folder, false, &folderError)) {
        TWLogWarning("Error creating attachments folder: %@ Error: %@", folder, folderError);
        return std::nullopt;
    }
    return folder;
}

std::optional<std::string> FCDeckStoreV1::attachImageData(const std::optional<Data>& data,
                                                          const std::optional<std::string>& fileExtension,
                                                          const std::optional<std::string>& deckIdentifier,
                                                          const std::optional<std::string>& uniqueId) {
    if (!data || !fileExtension || !uniqueId || !deckIdentifier) return std::nullopt;
    const std::string extension = stringByTrimmingWhitespace(*fileExtension);
    if (extension.empty() || !deckExistsWithIdentifier(deckIdentifier)) return std::nullopt;
    const std::string fileName = stringWithFormat("%@.%@", *uniqueId, extension);
    if (uniqueId->empty() || !isSafeStoreName(fileName)) {
        TWLogWarning("Refusing attachment name that can't name a file in the deck: %@", fileName);
        return std::nullopt;
    }
    auto folder = attachmentsFolderForDeck(*_pathForDeckWithIdentifier(deckIdentifier));
    if (!folder) return std::nullopt;

    const std::string filePath = stringByAppendingPathComponent(*folder, fileName);
    const auto byteCount = static_cast<std::int64_t>(data->size());
    Error writeError;
    if (!writeDataAtomically(*data, filePath, &writeError)) {
        TWLogWarning("Error adding image attachment data of %ld bytes to: %@ Error: %@", byteCount, filePath,
                     writeError);
        return std::nullopt;
    }
    TWLogDebug("Added image attachment data of %ld bytes to: %@", byteCount, filePath);
    return fileName;
}

bool FCDeckStoreV1::moveImageAtPath(const std::optional<std::string>& path,
                                    const std::optional<std::string>& deckIdentifier) {
    if (!path || !deckExistsWithIdentifier(deckIdentifier)) return false;
    const std::string fileName = lastPathComponent(*path);
    if (!isSafeStoreName(fileName)) {
        TWLogWarning("Refusing to import image whose name can't name a file in the deck: %@", *path);
        return false;
    }
    auto folder = attachmentsFolderForDeck(*_pathForDeckWithIdentifier(deckIdentifier));
    if (!folder) return false;
    const std::string destination = stringByAppendingPathComponent(*folder, fileName);
    Error moveError;
    if (!FileManager::defaultManager().moveItemAtPath(*path, destination, &moveError)) {
        TWLogWarning("Error importing image from: %@ to: %@ Error: %@", *path, destination, moveError);
        return false;
    }
    return true;
}

std::optional<std::string> FCDeckStoreV1::pathForExistingAttachment(
    const std::optional<std::string>& fileName, const std::optional<std::string>& deckIdentifier) const {
    if (!fileName || !deckExistsWithIdentifier(deckIdentifier)) return std::nullopt;
    if (!isSafeStoreName(*fileName)) {
        TWLogWarning("Refusing attachment name that can't name a file in the deck: %@", *fileName);
        return std::nullopt;
    }
    const std::string path = stringByAppendingPathComponent(
        stringByAppendingPathComponent(*_pathForDeckWithIdentifier(deckIdentifier), kAttachmentsFolderName),
        *fileName);
    if (!isRegularFile(path)) return std::nullopt;
    return path;
}

bool FCDeckStoreV1::hasAttachmentWithName(const std::optional<std::string>& fileName,
                                          const std::optional<std::string>& deckIdentifier) const {
    return pathForExistingAttachment(fileName, deckIdentifier).has_value();
}

std::optional<std::vector<URL>> FCDeckStoreV1::internalURLsForDeckAttachments(
    const std::optional<std::string>& deckIdentifier, Error* error) const {
    Error::clear(error);
    std::vector<URL> urls;
    auto deckPath = _pathForDeckWithIdentifier(deckIdentifier);
    if (!deckPath) return urls;
    const std::string folder = stringByAppendingPathComponent(*deckPath, kAttachmentsFolderName);
    if (!isFolder(folder)) return urls;
    auto names = FileManager::defaultManager().contentsOfDirectoryAtPath(folder, error);
    if (!names) return std::nullopt;
    for (const std::string& name : *names) urls.push_back(URL::fileURLWithPath(stringByAppendingPathComponent(folder, name)));
    return urls;
}

std::vector<std::string> FCDeckStoreV1::_listDeckImageFileNames(const std::optional<std::string>& deckIdentifier) const {
    auto deckPath = _pathForDeckWithIdentifier(deckIdentifier);
    if (!deckPath) return {};
    const std::string folder = stringByAppendingPathComponent(*deckPath, kAttachmentsFolderName);
    if (!isFolder(folder)) return {};
    return FileManager::defaultManager().contentsOfDirectoryAtPath(folder).value_or(std::vector<std::string>());
}

void FCDeckStoreV1::pruneImagesKeepingImagesWithIdentifiers(const std::optional<std::set<std::string>>& identifiers,
                                                            const std::optional<std::string>& deckIdentifier) {
    if (!identifiers || !deckIdentifier) return;
    auto deckPath = _pathForDeckWithIdentifier(deckIdentifier);
    if (!deckPath) return;
    const std::string folder = stringByAppendingPathComponent(*deckPath, kAttachmentsFolderName);
    if (!isFolder(folder)) return;

    // With nothing to keep, the cards file is the safety net: a file whose name
    // still occurs anywhere in it stays.
    std::optional<std::string> cardsText;
    if (identifiers->empty()) {
        Error readError;
        auto data = dataWithContentsOfFile(stringByAppendingPathComponent(*deckPath, kCardsFileName), &readError);
        if (data && isValidUTF8(stringFromData(*data))) cardsText = stringFromData(*data);
        if (!cardsText) {
            TWLogWarning("Error reading cards file: %@ Error: %@", *deckPath, readError);
            return;
        }
    }

    Error listError;
    auto names = FileManager::defaultManager().contentsOfDirectoryAtPath(folder, &listError);
    if (!names) {
        TWLogWarning("Error listing deck files for: %@ Error: %@", *deckPath, listError);
        return;
    }
    TWLogDebug("Still referenced image identifiers: %@", setDescription(*identifiers));

    for (const std::string& name : *names) {
        const std::string identifier = stringByDeletingPathExtension(name);
        if (identifiers->count(identifier)) continue;
        const std::string path = stringByAppendingPathComponent(folder, name);
        TWLogDebug("Deleting unreferenced image: %@", path);
        if (cardsText && stringContains(*cardsText, identifier)) {
            TWLogWarning("Won't remove image that is still referenced! Image: %@ deck: %@", name, *deckIdentifier);
            continue;
        }
        Error removeError;
        if (!FileManager::defaultManager().removeItemAtPath(path, &removeError))
            TWLogWarning("Error removing unreferences image: %@ Error: %@", path, removeError);
    }
}

// --- Diagnostics ---

std::optional<std::string> FCDeckStoreV1::_deckStatistics() const {
    return stringWithFormat("Store version: %ld\n", classStoreVersion()) +
           stringWithFormat("Store path   : %@\n", storePath());
}
