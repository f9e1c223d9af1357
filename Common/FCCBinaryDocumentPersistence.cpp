#include "Common/FCCBinaryDocumentPersistence.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <snappy.h>
#include <unordered_set>

#include "Common/FCCModelEntityClasses.h"
#include "Common/FCFileWrapperAdditions.h"
#include "Common/FCPersistenceError.h"
#include "Common/FCZipBackedFileWrapper.h"
#include "model/FCCard.h"
#include "model/FCDeck.h"
#include "model/FCLocalization.h"
#include "model/FCStudyStats.h"
#include "model/TWErrorAdditions.h"
#include "model/TWLogger.h"
#include "platform/foundation/Format.h"
#include "platform/foundation/StringUtils.h"

namespace {

constexpr const char* kRecordsFileName = "All cards.memdeck";
constexpr const char* kDataFolderName = "Data";
constexpr const char* kVersionFileName = "Version";
constexpr const char* kFilesFolderName = "Files";

using SteadyClock = std::chrono::steady_clock;

double millisecondsSince(SteadyClock::time_point start) {
    return std::chrono::duration<double, std::milli>(SteadyClock::now() - start).count();
}

std::shared_ptr<FileWrapper> emptyFolderNamed(const std::string& name) {
    auto folder = FileWrapper::directoryWithFileWrappers();
    folder->setPreferredFilename(name);
    return folder;
}

// The folder under the name, added when there is none; nullptr when the
// parent is no folder or a file has the name.
std::shared_ptr<FileWrapper> folderNamed(FileWrapper& parent, const std::string& name) {
    if (!parent.isDirectory()) return nullptr;
    if (auto existing = parent.fileWrapperNamed(name)) return existing->isDirectory() ? existing : nullptr;
    auto folder = emptyFolderNamed(name);
    parent.addFileWrapper(folder);
    return folder;
}

Error noDataError() { return FCPersistenceErrorWithRecoverySuggestionKey(FCPersistenceErrorGeneral, "ErrorNoDataInDocument"); }

// The statistics do not store the unsure flag: it follows from the history.
void updateUnsureFlagsFromHistory(const FCCardArray& cards) {
    FCDeck::traverseAllCards(cards, [](const std::shared_ptr<FCCard>& card, bool isTopic, bool*) {
        if (isTopic) return;
        auto studyCard = std::static_pointer_cast<FCStudyCard>(card);
        if (auto stats = studyCard->studyStats()) stats->updateUnsureFlagFromHistory();
        if (auto stats = studyCard->reverseStudyStats()) stats->updateUnsureFlagFromHistory();
    });
}

}  // namespace

// --- Schemas ---

FCCCardsDocumentSchema::FCCCardsDocumentSchema() {
    mapNSStringProperty("top", 10, FCStudyCardEntityClass());
    mapNSStringProperty("bottom", 11, FCStudyCardEntityClass());
    mapObjectProperty("studyStats", 12, FCStudyCardEntityClass());
    mapObjectProperty("reverseStudyStats", 13, FCStudyCardEntityClass());
    mapNSStringProperty("title", 14, FCTopicCardEntityClass());
    mapNSMutableArrayProperty("cards", 15, FCTopicCardEntityClass());
    mapNSDateWithSecondsPrecisionProperty("lastStudied", 16, FCStudyStatsEntityClass());
    mapNSDataProperty("pastResultsBinaryData", 17, FCStudyStatsEntityClass());
}

FCCBinaryDocumentPersistence::Schemas::Schemas() {
    metadata.mapObjectProperty("coverStyle", 10, FCDeckEntityClass());
    metadata.mapNSIntegerProperty("studyCardsCount", 11, FCDeckEntityClass());
    metadata.mapDoubleProperty("studyProgress", 12, FCDeckEntityClass());
    metadata.mapNSIntegerProperty("preferredStudyDirection", 13, FCDeckEntityClass());
    metadata.mapNSStringProperty("topPreferredLocaleIdentifier", 14, FCDeckEntityClass());
    metadata.mapNSStringProperty("bottomPreferredLocaleIdentifier", 15, FCDeckEntityClass());
    metadata.mapNSStringProperty("startHexColor", 16, FCCoverStyleEntityClass());
    metadata.mapNSStringProperty("endHexColor", 17, FCCoverStyleEntityClass());
    metadata.mapNSStringProperty("iconName", 18, FCCoverStyleEntityClass());
    metadata.mapNSStringProperty("customImageName", 19, FCCoverStyleEntityClass());
}

const FCCBinaryDocumentPersistence::Schemas& FCCBinaryDocumentPersistence::sharedSchemas() {
    static const Schemas shared;
    return shared;
}

FCCBinaryDocumentPersistence::FCCBinaryDocumentPersistence() = default;

const FCCBinaryDocumentPersistence& FCCBinaryDocumentPersistence::encoder() {
    static const FCCBinaryDocumentPersistence shared;
    return shared;
}

std::string FCCBinaryDocumentPersistence::_cardImagesFolderSubpath() {
    return stringByAppendingPathComponent(kDataFolderName, kFilesFolderName);
}

// --- Writing ---

std::shared_ptr<FileWrapper> FCCBinaryDocumentPersistence::updateFileWrapperForDeck(
    const std::shared_ptr<FCDeck>& deck, const FCCUserDocumentSettings* settings, Error* error) {
    auto encoded = encodeDeck(deck, settings, error);
    if (!encoded) return nullptr;
    return updateFileWrapperWithEncodedDeck(*encoded, error);
}

std::optional<FCCEncodedDeck> FCCBinaryDocumentPersistence::encodeDeck(const std::shared_ptr<FCDeck>& deck,
                                                                       const FCCUserDocumentSettings* settings,
                                                                       Error* error) const {
    Error::clear(error);
    if (!deck) {
        Error::set(error, twErrorWithDomain(BPBinaryProtocolErrorDomain, -1, "Object to serialize must not be nil."));
        return std::nullopt;
    }
    FCCEncodedDeck encoded;
    auto metadata = schemas_.metadata.serialize(BPObject::of(deck), error);
    if (!metadata) return std::nullopt;
    encoded.metadata = std::move(*metadata);
    auto settingsRecord = schemas_.settings.serializeUserDocumentSettings(settings, error);
    if (!settingsRecord) return std::nullopt;
    encoded.settings = std::move(*settingsRecord);
    encoded.studyCardsCount = deck->studyCardsCount();

    // One buffer, reserved for what a card of such a deck usually takes (not
    // zero-filled: the writer writes every byte it keeps).
    encoded.cards = BPBlock(static_cast<std::size_t>(std::max<std::int64_t>(deck->studyCardsCount(), 0)) * 96 + 256);
    encoded.cards.shrink(0);
    if (!schemas_.cardCodec.write(deck->cards(), encoded.cards)) {
        // Cards of another form: the generic writer, with its errors.
        std::vector<BPObject> cards;
        cards.reserve(deck->cards().size());
        for (const auto& card : deck->cards()) cards.push_back(BPObject::of(card));
        auto records = schemas_.cards.serializeDelimited(cards, error);
        if (!records) return std::nullopt;
        encoded.cards = BPBlock(records->size());
        if (!records->empty()) std::memcpy(encoded.cards.data(), records->data(), records->size());
    }
    return encoded;
}

std::optional<BPBlock> FCCBinaryDocumentPersistence::recordsFileContents(const FCCEncodedDeck& encoded,
                                                                         Error* error) {
    Error::clear(error);
    // The head, then the cards compressed right behind it: no copy of the
    // compressed block.
    const std::size_t head = encoded.metadata.size() + encoded.settings.size();
    const std::size_t cards = encoded.cards.size();
    std::optional<BPBlock> records(std::in_place, head + (cards > 0 ? snappy::MaxCompressedLength(cards) : 0));
    std::uint8_t* at = records->data();
    if (!encoded.metadata.empty()) std::memcpy(at, encoded.metadata.data(), encoded.metadata.size());
    if (!encoded.settings.empty())
        std::memcpy(at + encoded.metadata.size(), encoded.settings.data(), encoded.settings.size());
    std::size_t compressed = 0;
    if (cards > 0) {
        snappy::RawCompress(reinterpret_cast<const char*>(encoded.cards.data()), cards,
                            reinterpret_cast<char*>(at + head), &compressed);
        if (compressed == 0) {
            Error::set(error, twErrorWithDomain(BPBinaryProtocolErrorDomain, -1,
                                                stringWithFormat("Got 0 bytes after compressing %lu bytes.",
                                                                 static_cast<unsigned long>(cards))));
            return std::nullopt;
        }
    }
    records->shrink(head + compressed);
    return records;
}

std::shared_ptr<FileWrapper> FCCBinaryDocumentPersistence::updateFileWrapperWithEncodedDeck(
    const FCCEncodedDeck& encoded, Error* error) {
    Error::clear(error);
    auto start = SteadyClock::now();
    auto records = recordsFileContents(encoded, error);
    if (!records) return nullptr;
    const std::size_t recordsLength = records->size();
    auto file = FileWrapper::regularFileWithContents(Data(records->data(), records->data() + recordsLength));
    file->setPreferredFilename(kRecordsFileName);
    updateFileWrapperWithRecordsFile(std::move(file));
    TWLogDebug("Preparing for save took %.2f ms for %lu bytes.", millisecondsSince(start),
               static_cast<unsigned long>(recordsLength));
    return mainFileWrapper_;
}

std::shared_ptr<FileWrapper> FCCBinaryDocumentPersistence::updateFileWrapperWithRecordsFile(
    std::shared_ptr<FileWrapper> recordsFile) {
    if (!mainFileWrapper_) mainFileWrapper_ = FileWrapper::directoryWithFileWrappers();
    FileWrapper& root = *mainFileWrapper_;

    if (auto dataFolder = folderNamed(root, kDataFolderName))
        fcAddFileIfItDoesNotExistWithText(*dataFolder, kVersionFileName,
                                      stringWithFormat("%ld", static_cast<long>(binaryVersion())));

    fcRemoveFileWrapperWithName(root, kRecordsFileName);
    recordsFile->setPreferredFilename(kRecordsFileName);
    root.addFileWrapper(std::move(recordsFile));

    bool hasTextFile = false;
    if (const FileWrapperMap* children = root.fileWrappers())
        for (const auto& [name, child] : *children)
            if (pathExtension(name) == "txt") hasTextFile = true;
    if (!hasTextFile)
        fcAddFileIfItDoesNotExistWithText(root, FCPersistenceLocalizedString("HowToFileName"),
                                          FCPersistenceLocalizedString("HowToFileContents"));
    return mainFileWrapper_;
}

std::string FCCBinaryDocumentPersistence::recordsFileName() {
    return kRecordsFileName;
}

// --- Reading ---

std::shared_ptr<FCDeck> FCCBinaryDocumentPersistence::readFromFileWrapper(
    const std::shared_ptr<FileWrapper>& root, std::shared_ptr<FCCUserDocumentSettings>* outUserDocumentSettings,
    Error* error) {
    return _readFromFileWrapper(root, outUserDocumentSettings, false, error);
}

std::shared_ptr<FCDeck> FCCBinaryDocumentPersistence::readDeckMetadataFromFileWrapper(
    const std::shared_ptr<FileWrapper>& root, Error* error) {
    return _readFromFileWrapper(root, nullptr, true, error);
}

bool FCCBinaryDocumentPersistence::checkVersion(const std::shared_ptr<FileWrapper>& root, Error* error) {
    std::int64_t version = 0;
    if (root)
        if (auto dataFolder = root->fileWrapperNamed(kDataFolderName))
            version = fcNSIntegerFromTextFileWrapperWithName(*dataFolder, kVersionFileName);
    if (version == 0) {
        Error::set(error, FCPersistenceErrorWithRecoverySuggestionKey(FCPersistenceErrorGeneral,
                                                                      "ErrorDocumentVersionCouldNotBeDetermined"));
        return false;
    }
    if (version != binaryVersion()) {
        Error::set(error, FCPersistenceErrorWithRecoverySuggestionKey(FCPersistenceErrorUnsupportedFormatVersion,
                                                                      "ErrorUnsupportedDocumentFormatDownloadLatest"));
        return false;
    }
    return true;
}

bool FCCBinaryDocumentPersistence::adoptFileWrapper(const std::shared_ptr<FileWrapper>& root, Error* error) {
    Error::clear(error);
    if (!checkVersion(root, error)) return false;
    mainFileWrapper_ = root;
    return true;
}

std::shared_ptr<FCDeck> FCCBinaryDocumentPersistence::_readFromFileWrapper(
    const std::shared_ptr<FileWrapper>& root, std::shared_ptr<FCCUserDocumentSettings>* outUserDocumentSettings,
    bool readOnlyMetadata, Error* error) {
    Error::clear(error);
    if (!checkVersion(root, error)) return nullptr;

    mainFileWrapper_ = root;
    auto start = SteadyClock::now();

    // The records of a zip read in place come in a block that is not
    // zero-filled first; any other file's as its contents.
    auto recordsFile = root->fileWrapperNamed(kRecordsFileName);
    std::optional<BPBlock> recordsBlock;
    std::optional<Data> recordsData;
    if (const auto* zipped = dynamic_cast<const FCZipBackedFileWrapper*>(recordsFile.get()))
        recordsBlock = zipped->regularFileBlock();
    else if (recordsFile)
        recordsData = recordsFile->regularFileContents();
    if (!recordsBlock && !recordsData) {
        Error::set(error, noDataError());
        return nullptr;
    }
    const BPBytes records = recordsBlock ? recordsBlock->view() : BPBytes(*recordsData);

    // A records file that ends before a record it must hold (a zero-byte file
    // above all) is a document without data, and is reported as one.
    std::size_t offset = 0;
    Error recordError;
    BPObject deckObject = schemas_.metadata.parseNextObjectIn(records, offset, &recordError);
    if (!deckObject) {
        Error::set(error, recordError ? recordError : noDataError());
        return nullptr;
    }
    auto deck = deckObject.exactly<FCDeck>();
    if (!deck) {
        Error::set(error, twErrorWithDomain(BPBinaryProtocolErrorDomain, -1,
                                            stringWithFormat("Expected record of class: %@, but got: %@", "FCDeck",
                                                             schemas_.metadata.classNameOfObject(deckObject))));
        return nullptr;
    }
    if (readOnlyMetadata) return deck;

    auto settings = schemas_.settings.parseSettingsAsNextObjectIn(records, offset, &recordError);
    if (!settings) {
        Error::set(error, recordError ? recordError : noDataError());
        return nullptr;
    }
    if (outUserDocumentSettings) *outUserDocumentSettings = settings;

    auto uncompressed = BPSnappy::uncompressBlock(records, offset, error);
    if (!uncompressed) return nullptr;
    const std::size_t recordsLength = records.size();
    recordsBlock.reset();
    recordsData.reset();
    auto cardBlock = std::make_shared<const BPSnappy::Block>(std::move(*uncompressed));
    const BPBytes cardRecords = cardBlock->view();
    // The plain form in one pass, each topic's cards made when first asked
    // for; anything else through the generic reader.
    if (auto read = schemas_.cardCodec.readDeferringTopics(cardBlock)) {
        const std::int64_t lastKey = read->lastPrimaryKey;
        deck->setCards(std::move(read->cards));
        deck->finishInitializationOfNumberedCards(lastKey, read->studyCardsCount, read->unstudiedStudyCardsCount);
        TWLogDebug("Reading deck data took %.2f ms for %lu bytes.", millisecondsSince(start),
                   static_cast<unsigned long>(recordsLength));
        return deck;
    }
    auto cardObjects = schemas_.cards.parseDelimited(cardRecords, error);
    if (!cardObjects) return nullptr;

    FCCardArray cards;
    cards.reserve(cardObjects->size());
    for (const auto& object : *cardObjects) {
        auto card = FCCCardFromObject(object);
        if (!card) {
            Error::set(error, twErrorWithDomain(BPBinaryProtocolErrorDomain, -1,
                                                stringWithFormat("Expected record of class: %@, but got: %@",
                                                                 "FCCard", schemas_.cards.classNameOfObject(object))));
            return nullptr;
        }
        cards.push_back(std::move(card));
    }
    updateUnsureFlagsFromHistory(cards);
    deck->setCards(std::move(cards));
    deck->finishInitialization();

    TWLogDebug("Reading deck data took %.2f ms for %lu bytes.", millisecondsSince(start),
               static_cast<unsigned long>(recordsLength));
    return deck;
}

// --- Attachments ---

std::shared_ptr<FileWrapper> FCCBinaryDocumentPersistence::attachmentsFolder() const {
    if (!mainFileWrapper_) return nullptr;
    auto dataFolder = mainFileWrapper_->fileWrapperNamed(kDataFolderName);
    if (!dataFolder) return nullptr;
    auto files = dataFolder->fileWrapperNamed(kFilesFolderName);
    return files && files->isDirectory() ? files : nullptr;
}

void FCCBinaryDocumentPersistence::addNewAttachmentWithData(const std::optional<Data>& data,
                                                            const std::optional<std::string>& fileName) {
    if (!data || !fileName) return;
    if (!mainFileWrapper_) mainFileWrapper_ = FileWrapper::directoryWithFileWrappers();
    auto dataFolder = folderNamed(*mainFileWrapper_, kDataFolderName);
    auto files = dataFolder ? folderNamed(*dataFolder, kFilesFolderName) : nullptr;
    if (files) fcAddRegularFileNamed(*files, *fileName, *data);
}

void FCCBinaryDocumentPersistence::removeAttachmentWithName(const std::optional<std::string>& fileName) {
    if (!fileName) return;
    if (auto files = attachmentsFolder()) fcRemoveFileWrapperWithName(*files, *fileName);
}

bool FCCBinaryDocumentPersistence::hasCardAttachmentWithName(const std::optional<std::string>& fileName) const {
    if (!fileName) return false;
    auto files = attachmentsFolder();
    return files && fcHasFileWrapperNamed(*files, *fileName);
}

std::optional<Data> FCCBinaryDocumentPersistence::dataForAttachmentWithName(
    const std::optional<std::string>& fileName) const {
    if (!fileName) return std::nullopt;
    auto files = attachmentsFolder();
    if (!files) return std::nullopt;
    auto file = files->fileWrapperNamed(*fileName);
    return file ? file->regularFileContents() : std::nullopt;
}

std::vector<std::string> FCCBinaryDocumentPersistence::attachmentsNotIn(
    const std::vector<std::string>& fileNamesToKeep, std::size_t* existingCount) const {
    std::vector<std::string> toRemove;
    *existingCount = 0;
    auto files = attachmentsFolder();
    const FileWrapperMap* children = files ? files->fileWrappers() : nullptr;
    if (!children) return toRemove;
    std::unordered_set<std::string> keep(fileNamesToKeep.begin(), fileNamesToKeep.end());
    *existingCount = children->size();
    for (const auto& [name, child] : *children)
        if (!keep.count(name)) toRemove.push_back(name);
    return toRemove;
}

bool FCCBinaryDocumentPersistence::hasImagesToPruneBasedOnFileNamesToKeep(
    const std::vector<std::string>& fileNamesToKeep) const {
    if (!attachmentsFolder()) return false;
    std::size_t existing = 0;
    auto toRemove = attachmentsNotIn(fileNamesToKeep, &existing);
    TWLogInfo("Image inventory: %ld existing files, %ld files to keep, %ld files to remove.",
              static_cast<long>(existing), static_cast<long>(fileNamesToKeep.size()), static_cast<long>(toRemove.size()));
    return !toRemove.empty();
}

void FCCBinaryDocumentPersistence::pruneAttachmentsOnlyKeepingFilesWithNames(
    const std::optional<std::vector<std::string>>& fileNamesToKeep) {
    if (!fileNamesToKeep) return;
    auto files = attachmentsFolder();
    if (!files) return;
    std::size_t existing = 0;
    auto toRemove = attachmentsNotIn(*fileNamesToKeep, &existing);
    TWLogInfo("Pruning %lu unused images (total: %lu, still used: %ld)", static_cast<unsigned long>(toRemove.size()),
              static_cast<unsigned long>(existing), static_cast<long>(existing - toRemove.size()));
    for (const auto& name : toRemove) {
        TWLogDebug("Removing unused card image: %@", name);
        fcRemoveFileWrapperWithName(*files, name);
    }
}

std::optional<URL> FCCBinaryDocumentPersistence::fileURLforSharingAttachmentWithFileName(
    const std::optional<std::string>& fileName, const URL& documentURL) {
    if (!fileName) return std::nullopt;
    return documentURL.URLByAppendingPathComponent(kDataFolderName, true)
        .URLByAppendingPathComponent(kFilesFolderName, true)
        .URLByAppendingPathComponent(*fileName);
}
