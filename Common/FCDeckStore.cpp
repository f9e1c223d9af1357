#include "Common/FCDeckStore.h"

#include "model/TWFileSystem.h"
#include "model/TWLogger.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/StringUtils.h"

namespace {

const char* const kStoreFolderBaseName = "DeckLibrary";
const char* const kAbstractOpenMessage =
    "Programming error: deck store must be initialized with specific subclass. E.g.: [FCDeckStoreV2 openStore...]";

}  // namespace

// --- Class operations ---

std::int64_t FCDeckStore::storeVersion() {
    TWLogError("Programming error.");
    return 0;
}

std::string FCDeckStore::storePathForParentPath(const std::string& parentPath) {
    return storePathForParentPath(parentPath, storeVersion());
}

std::shared_ptr<FCDeckStore> FCDeckStore::openExistingDeckStoreInDirectory(const std::string& parentPath) {
    return openExistingDeckStoreInDirectory(parentPath, storeVersion(), nullptr);
}

std::shared_ptr<FCDeckStore> FCDeckStore::openDeckStoreInDirectory(const std::string& parentPath, Error* error) {
    return openDeckStoreInDirectory(parentPath, storeVersion(), nullptr, error);
}

std::string FCDeckStore::storePathForParentPath(const std::string& parentPath, std::int64_t version) {
    return stringByAppendingPathComponent(parentPath, stringWithFormat("%@_v%ld", kStoreFolderBaseName, version));
}

std::shared_ptr<FCDeckStore> FCDeckStore::openExistingDeckStoreInDirectory(const std::string& parentPath,
                                                                           std::int64_t version,
                                                                           const Factory& make) {
    if (version == 0 || !make) {
        TWLogError("%@", kAbstractOpenMessage);
        return nullptr;
    }
    std::string path = storePathForParentPath(parentPath, version);
    if (!TWFileSystem::isDirectoryAtPath(path)) return nullptr;
    return make(std::move(path));
}

std::shared_ptr<FCDeckStore> FCDeckStore::openDeckStoreInDirectory(const std::string& parentPath,
                                                                   std::int64_t version, const Factory& make,
                                                                   Error* error) {
    Error::clear(error);
    if (version == 0 || !make) {
        TWLogError("%@", kAbstractOpenMessage);
        return nullptr;
    }
    std::string path = storePathForParentPath(parentPath, version);
    if (!TWFileSystem::isDirectoryAtPath(path)) {
        Error createError;
        if (!FileManager::defaultManager().createDirectoryAtPath(path, true, &createError)) {
            TWLogError("Error making deck store directory: %@. Error: %@", path, createError);
            Error::set(error, createError);
            return nullptr;
        }
    }
    return make(std::move(path));
}

std::int64_t FCDeckStore::classStoreVersion() const {
    return storeVersion();
}

bool FCDeckStore::isSafeStoreName(const std::string& name) {
    return !name.empty() && name.find('/') == std::string::npos && name.find("..") == std::string::npos &&
           name.find('\0') == std::string::npos;
}

// --- Abstract instance operations ---

bool FCDeckStore::deckExistsWithIdentifier(const std::optional<std::string>&) const {
    TWLogError("Programming error.");
    return false;
}

std::optional<Value> FCDeckStore::serializedDeckForIdentifier(const std::optional<std::string>&, Error* error) const {
    Error::clear(error);
    TWLogError("Programming error.");
    return std::nullopt;
}

std::optional<Value> FCDeckStore::serializedCardsForDeckIdentifier(const std::optional<std::string>&,
                                                                   Error* error) const {
    Error::clear(error);
    TWLogError("Programming error.");
    return std::nullopt;
}

void FCDeckStore::enumerateSerializedDecksUsingBlock(const SerializedDeckBlock&) const {
    TWLogError("Programming error.");
}

bool FCDeckStore::saveSerializedDeck(const std::optional<Value>&, Error* error) {
    Error::clear(error);
    TWLogError("Programming error.");
    return false;
}

bool FCDeckStore::markDeckAsDeleted(const std::optional<std::string>&, Error* error) {
    Error::clear(error);
    TWLogError("Programming error.");
    return false;
}

bool FCDeckStore::restoreDeckPendingDeletion(const std::optional<std::string>&, Error* error) {
    Error::clear(error);
    TWLogError("Programming error.");
    return false;
}

void FCDeckStore::pruneDeletedDecks() {
    TWLogError("Programming error.");
}

void FCDeckStore::pruneImagesKeepingImagesWithIdentifiers(const std::optional<std::set<std::string>>&,
                                                          const std::optional<std::string>&) {
    TWLogError("Programming error.");
}

std::optional<std::string> FCDeckStore::attachImageData(const std::optional<Data>&, const std::optional<std::string>&,
                                                        const std::optional<std::string>&,
                                                        const std::optional<std::string>&) {
    TWLogError("Programming error.");
    return std::nullopt;
}

std::optional<std::string> FCDeckStore::pathForExistingAttachment(const std::optional<std::string>&,
                                                                  const std::optional<std::string>&) const {
    TWLogError("Programming error.");
    return std::nullopt;
}

bool FCDeckStore::moveImageAtPath(const std::optional<std::string>&, const std::optional<std::string>&) {
    TWLogError("Programming error.");
    return false;
}

std::optional<std::string> FCDeckStore::_deckStatistics() const {
    TWLogError("Programming error.");
    return std::nullopt;
}
