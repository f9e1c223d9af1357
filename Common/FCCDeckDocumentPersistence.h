#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "model/FCCard.h"
#include "platform/foundation/Data.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/FileWrapper.h"
#include "platform/foundation/URL.h"
#include "platform/foundation/Value.h"

class FCCDeckPreview;
class FCCoverStyle;
class FCDeck;
class FCStudyStats;

// Reads a deck from, and writes it into, a ".studydeck" package: a folder of
// small text and JSON files with one file per card ("cards") and one per
// card's study statistics ("stats"), beside the deck's title, progress, study
// direction, table of contents, cover and languages, and its card attachments
// ("files").
//
// The package is a file-wrapper tree (in the legacy document the incremental
// FIDeckDocumentFileWrapper); the instance operations never touch the disk.
// Writing is incremental: an item is written only when the tree does not hold
// it, and each change notification removes exactly the items the change makes
// stale. The class operations read packages and their preview side files
// ("<name>.studydeck.deckpreview") on disk.
//
// Read errors: domain "DeckDocumentPersistence", code 1000 (1001 for an
// unsupported version); write errors: domain "FCPersistence", code -1.
//
// Not thread-safe: the owning document calls it on one queue at a time.
class FCCDeckDocumentPersistence {
public:
    static constexpr const char* kReadErrorDomain = "DeckDocumentPersistence";
    static constexpr std::int64_t kReadErrorCode = 1000;
    static constexpr std::int64_t kUnsupportedVersionErrorCode = 1001;
    static constexpr const char* kWriteErrorDomain = "FCPersistence";

    // --- Names of the format ---
    static std::string defaultPathExtension() { return "studydeck"; }
    static std::string defaultPreviewPathExtension() { return "deckpreview"; }
    static std::int64_t binaryVersion() { return 1; }
    static std::string _versionFileName() { return "version"; }
    static std::string _titleFileName() { return "title"; }
    static std::string _cardTitleKey() { return "title"; }
    static std::string _deckStudyProgressFileName() { return "progress"; }
    static std::string _studyDirectionFileName() { return "studydirection"; }
    static std::string _tableOfContentsFileName() { return "toc.json"; }
    static std::string _coverFileName() { return "cover.json"; }
    static std::string _languagesFileName() { return "languages.json"; }
    static std::string _cardsFolderName() { return "cards"; }
    static std::string _tocTopicCardsKey() { return "cards"; }
    static std::string _statsFolderName() { return "stats"; }
    static std::string _studyStatsFileExtension() { return "stats"; }
    static std::string _filesFolderName() { return "files"; }
    static std::string _studyCardFileExtension() { return "card"; }
    static std::string _topicCardFileExtension() { return "topic"; }
    static std::string _tocCardTypeKey() { return "type"; }
    static std::string _tocStudyCardType() { return "s"; }
    static std::string _tocTopicCardType() { return "t"; }
    static std::string _tocCardIdentifierKey() { return "identifier"; }
    static std::string _cardTopKey() { return "top"; }
    static std::string _cardBottomKey() { return "bottom"; }
    // Names of the format that this class neither reads nor writes.
    static std::string _authorFileName() { return "author.json"; }
    static std::string _downloadDateFileName() { return "downloaddate"; }

    FCCDeckDocumentPersistence() = default;
    FCCDeckDocumentPersistence(const FCCDeckDocumentPersistence&) = delete;
    FCCDeckDocumentPersistence& operator=(const FCCDeckDocumentPersistence&) = delete;

    // The package's root folder; nullptr until read or first written. Setting
    // it to nullptr makes the next write produce every item again.
    const std::shared_ptr<FileWrapper>& mainFileWrapper() const { return mainFileWrapper_; }
    void setMainFileWrapper(std::shared_ptr<FileWrapper> wrapper) { mainFileWrapper_ = std::move(wrapper); }
    bool hasUnsavedChanges() const { return hasUnsavedChanges_; }

    // --- Reading and writing ---

    // The deck of the package, finished (keys and counts); nullptr with the
    // read error. The wrapper becomes the main file wrapper either way.
    std::shared_ptr<FCDeck> readFromFileWrapper(std::shared_ptr<FileWrapper> wrapper,
                                                const std::optional<std::string>& deckIdentifier,
                                                Error* error = nullptr);
    // Adds every item the tree does not hold yet and returns the root; nullptr
    // with the write error when something could not be serialised (the items
    // added until then stay). Cards that get their file written also record
    // their version.
    std::shared_ptr<FileWrapper> updateFileWrapperForDeck(FCDeck& deck, Error* error = nullptr);

    // --- Change notifications: each drops the items the change makes stale ---
    void didModifyTitle();
    void didModifyCoverStyle();
    void didModifyPreferredLanguages();
    void didModifyPreferredStudyDirection();
    void didAddCards();
    void didReorderCards();
    void didUpdateStudyStatsForCardWithIdentifier(const std::optional<std::string>& identifier);
    void didUpdateContentsForCard(const std::shared_ptr<FCCard>& card);
    // The cards and everything below them.
    void didDeleteCards(const FCCardArray& cards);
    // The next write produces every item again in a new tree; the attachments
    // (which the deck does not hold) are carried over into it.
    void didModifyEverything();
    void didSuccessfullySaveDocument() { hasUnsavedChanges_ = false; }

    // --- Card attachments (the "files" folder) ---

    // Adds the file, replacing one of that name; the root and the folder are
    // made when missing. A name that is not a plain file name (empty, ".",
    // "..", or holding "/") is refused with a log line.
    void addNewAttachmentWithData(const Data& data, const std::string& fileName);
    bool hasCardAttachmentWithName(const std::string& name) const;
    std::optional<Data> dataForAttachmentWithName(const std::string& name) const;
    void pruneAttachmentsOnlyKeepingFilesWithNames(const std::vector<std::string>& names);

    // --- Previews ---

    // The preview JSON of the deck (six keys: "title", "downloadDate",
    // "cover", "author", "progress", "studyCards").
    std::optional<Data> previewDataForDeck(const FCDeck& deck) const;

    // The card's file name: its legacy identifier with "topic" for a topic,
    // "card" otherwise.
    static std::string _cardFileNameForCard(const FCCard& card);

    // --- Class operations on packages and previews on disk ---

    static URL previewFileURLforDeckURL(const URL& deckURL);
    static std::string deckIdentifierFromPreviewFileURL(const URL& previewURL);
    // For "<id>.studydeck.deckpreview" and "<id>.studydeck": the identifier;
    // nullopt for any other name.
    static std::optional<std::string> deckIdentifierFromFilename(const std::string& fileName);
    static std::string cardIdentifierFromCardURL(const URL& cardURL);
    static URL fileURLforAttachmentWithFileName(const std::string& fileName, const URL& documentURL);
    static std::string statsFileNameForCardIdentifier(const std::string& identifier);
    // Whether the URL names the "cards" or the "stats" folder.
    static bool isInternalFolderItem(const URL& url);

    // A preview from preview JSON; nullptr (and a log line) for data that is
    // not a JSON object.
    static std::shared_ptr<FCCDeckPreview> previewFromJSONData(const Data& data,
                                                               const std::optional<std::string>& deckIdentifier);
    static std::shared_ptr<FCCDeckPreview> previewForDeckAtURL(const URL& deckURL, Error* error = nullptr);
    // Preview JSON built straight from the package on disk (title, cover,
    // progress, number of study card files); nullopt with the file system's
    // error.
    static std::optional<Data> rebuildMinimalPreviewDataForDeckAtURL(const URL& deckURL, Error* error = nullptr);
    static std::shared_ptr<FCCDeckPreview> _loadPreviewFromURL(const URL& previewURL, Error* error = nullptr);

    static Value _coverStyleToJSONDictionary(const std::shared_ptr<FCCoverStyle>& style);
    static std::shared_ptr<FCCoverStyle> _coverStyleFromJSONDictionary(const std::optional<Value>& object);
    // The author object of a preview, always with empty strings.
    static Value _authorToJSONDictionary();
    static Value _previewJSONDictionaryForDeckPreview(const FCCDeckPreview& preview);
    // Stores a read error with the description ("n/a" when none); returns true.
    static bool fillReadError(Error* error, const std::optional<std::string>& description);

private:
    bool readCards(FCDeck& deck, Error* error);
    // The cards of toc entries; `depth` counts the topics above them.
    bool readCardEntries(const Value& entries, const FileWrapper* cardsFolder, const FileWrapper* statsFolder,
                         int depth, FCCardArray& into, Error* error);
    bool readStatsForCard(FCStudyCard& card, const std::string& identifier, const FileWrapper* statsFolder,
                          Error* error);
    // The folder of that name under the root, made (or put in place of a
    // file of that name) when missing.
    std::shared_ptr<FileWrapper> ensureFolder(FileWrapper& root, const std::string& name);
    bool addCards(const FCCardArray& cards, FileWrapper& cardsFolder, FileWrapper& statsFolder,
                  const std::set<std::string>& cardNames, const std::set<std::string>& statsNames, Error* error);
    // The child folder of the root, or nullptr when it is missing or a file.
    std::shared_ptr<FileWrapper> folderNamed(const std::string& name) const;

    std::shared_ptr<FileWrapper> mainFileWrapper_;
    bool hasUnsavedChanges_ = false;
};
