#pragma once

// The binary deck package: a deck with its cards and user document settings
// as a tree of files, and back.
//
//   All cards.memdeck          the records file: the deck's metadata record, the
//                              settings record, then the cards in delimited form
//                              compressed as one raw Snappy block
//   Data/Version               "1", the format version, no line end
//   Data/Files/<name>          one file per card attachment
//   How to open these cards.txt  (localized; written when the package has no .txt)
//
// The tree is the content of a ".flashcards" document; the zip around it and
// the save protocol belong to the document layer.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Common/BPDocumentSchema.h"
#include "Common/FCCCardRecords.h"
#include "Common/FCCUserDocumentSettings.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/FileWrapper.h"
#include "platform/foundation/URL.h"

class FCDeck;

// The cards schema: study cards with their two statistics, topic cards with
// their nested cards, and the statistics (date of the last study and the
// packed rating history).
class FCCCardsDocumentSchema : public BPDocumentSchema {
public:
    FCCCardsDocumentSchema();
};

// The three records of a records file for one deck, encoded; the card
// records are not compressed yet. Encoding is the part of a save that reads
// the deck, so a save can take this as its snapshot and do the rest elsewhere.
struct FCCEncodedDeck {
    Data metadata;
    Data settings;
    BPBlock cards;
    std::int64_t studyCardsCount = 0;
};

class FCCBinaryDocumentPersistence {
public:
    static std::int64_t binaryVersion() { return 1; }
    static std::string flashcardsDocumentFileExtension() { return "flashcards"; }
    static std::string flashcardsDocumentUTI() { return "com.memorant.uti.flashcards.comp"; }
    // "Data/Files".
    static std::string _cardImagesFolderSubpath();

    FCCBinaryDocumentPersistence();

    // An instance for encoding decks (encodeDeck) from any thread: encoding
    // only reads the schemas.
    static const FCCBinaryDocumentPersistence& encoder();

    // The package's root folder: set by a successful read (from the version
    // check on), created by the first write or attachment added.
    const std::shared_ptr<FileWrapper>& mainFileWrapper() const { return mainFileWrapper_; }
    void setMainFileWrapper(std::shared_ptr<FileWrapper> wrapper) { mainFileWrapper_ = std::move(wrapper); }

    // The schemas are the same for every instance: built once per process,
    // on first use, and only read afterwards (from any thread).
    const FCCCardsDocumentSchema& cardsSchema() const { return schemas_.cards; }
    const BPDocumentSchema& metadataSchema() const { return schemas_.metadata; }
    const FCCUserDocumentSettingsSchema& userSettingsSchema() const { return schemas_.settings; }

    // Writes the deck and the settings (null: none) into the root folder and
    // returns it; nullptr with the error. The previous records file stays in
    // place unless all three records were written. Attachments are untouched.
    std::shared_ptr<FileWrapper> updateFileWrapperForDeck(const std::shared_ptr<FCDeck>& deck,
                                                          const FCCUserDocumentSettings* settings,
                                                          Error* error = nullptr);
    // The same in two steps: the deck encoded (reads the deck, nothing else),
    // then the encoded records compressed and put into the root folder.
    std::optional<FCCEncodedDeck> encodeDeck(const std::shared_ptr<FCDeck>& deck,
                                             const FCCUserDocumentSettings* settings, Error* error = nullptr) const;
    std::shared_ptr<FileWrapper> updateFileWrapperWithEncodedDeck(const FCCEncodedDeck& encoded,
                                                                  Error* error = nullptr);
    // The second step in two: the bytes of the records file (the metadata
    // and settings records, then the cards compressed), and the root folder
    // with the given node as its records file (renamed to its name), the
    // version file and the how-to file added as a write adds them.
    static std::optional<BPBlock> recordsFileContents(const FCCEncodedDeck& encoded, Error* error = nullptr);
    std::shared_ptr<FileWrapper> updateFileWrapperWithRecordsFile(std::shared_ptr<FileWrapper> recordsFile);
    // "All cards.memdeck".
    static std::string recordsFileName();

    // The deck with its cards, finished and numbered; the settings through
    // their slot when one is given. nullptr with an error of the domain
    // "FCPersistenceErrorDomain" (-1 unreadable, 112233 newer format) or of
    // the record layer.
    std::shared_ptr<FCDeck> readFromFileWrapper(const std::shared_ptr<FileWrapper>& root,
                                                std::shared_ptr<FCCUserDocumentSettings>* outUserDocumentSettings,
                                                Error* error = nullptr);
    // The deck without its cards (they are not even uncompressed).
    std::shared_ptr<FCDeck> readDeckMetadataFromFileWrapper(const std::shared_ptr<FileWrapper>& root,
                                                            Error* error = nullptr);
    // Takes the tree as the root folder after the version checks of a read,
    // without reading the records (a tree unpacked from a zip already read).
    bool adoptFileWrapper(const std::shared_ptr<FileWrapper>& root, Error* error = nullptr);

    // --- Attachments (Data/Files of the root folder) ---
    // Adds (or replaces) the file, making the folders as needed; nothing for
    // null data or name.
    void addNewAttachmentWithData(const std::optional<Data>& data, const std::optional<std::string>& fileName);
    void removeAttachmentWithName(const std::optional<std::string>& fileName);
    bool hasCardAttachmentWithName(const std::optional<std::string>& fileName) const;
    std::optional<Data> dataForAttachmentWithName(const std::optional<std::string>& fileName) const;
    // Whether the folder holds a file whose name is not in the list.
    bool hasImagesToPruneBasedOnFileNamesToKeep(const std::vector<std::string>& fileNamesToKeep) const;
    // Removes every file whose name is not in the list; nothing for nullopt.
    void pruneAttachmentsOnlyKeepingFilesWithNames(const std::optional<std::vector<std::string>>& fileNamesToKeep);
    // The document URL with Data/Files and the name appended.
    static std::optional<URL> fileURLforSharingAttachmentWithFileName(const std::optional<std::string>& fileName,
                                                                      const URL& documentURL);

private:
    std::shared_ptr<FCDeck> _readFromFileWrapper(const std::shared_ptr<FileWrapper>& root,
                                                 std::shared_ptr<FCCUserDocumentSettings>* outUserDocumentSettings,
                                                 bool readOnlyMetadata, Error* error);
    // The version checks of a read: false with the error.
    static bool checkVersion(const std::shared_ptr<FileWrapper>& root, Error* error);
    // The Data/Files folder, or nullptr.
    std::shared_ptr<FileWrapper> attachmentsFolder() const;
    // Names of the files of Data/Files that are not in the list, and the count of all files.
    std::vector<std::string> attachmentsNotIn(const std::vector<std::string>& fileNamesToKeep,
                                              std::size_t* existingCount) const;

    struct Schemas {
        Schemas();
        FCCCardsDocumentSchema cards;
        BPDocumentSchema metadata;
        FCCUserDocumentSettingsSchema settings;
        FCCCardRecordCodec cardCodec{cards};
    };
    static const Schemas& sharedSchemas();

    std::shared_ptr<FileWrapper> mainFileWrapper_;
    const Schemas& schemas_ = sharedSchemas();
};
