#pragma once

// A ".flashcards" deck document as one zip archive of the binary deck
// package. Opening reads the zip in place, entry by entry. Before the first
// change the zip is unpacked once into a private cache folder
// (Caches/<UUID>.bundle); from then on every change goes to that folder, and
// every save writes the folder (what changed, not flushed to the disk: the
// folder can be unpacked again), zips it (level 0) to the location the
// document's save hands in and checks the new zip against the folder. The
// zip is never written anywhere else: putting it in place of the document
// file is the document's safe save, so a failed save never touches the deck.
//
// Unpacking takes exactly the entries that reading in place shows
// (FCZipBackedFileWrapper): what one leaves out, the other does, and a damaged
// attachment found while unpacking is left out with a level-1 log line, so a
// deck that opens keeps its cards and saves. Before unpacking, the free space
// of the caches folder is checked against what the deck unpacks to (plus 64
// MiB); when it does not fit, the change fails with "disk full"
// (NSCocoaErrorDomain 640, ENOSPC underneath) and nothing is written.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "Common/FCCBinaryDocumentPersistence.h"
#include "Common/FCCUserDocumentSettings.h"
#include "platform/foundation/Data.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/URL.h"

class FCDeck;
class FileWrapper;

// Told once during a save, after the package folder has been written and
// before zipping begins.
class FCZipBackedBinaryDocumentPersistenceDelegate {
public:
    virtual ~FCZipBackedBinaryDocumentPersistenceDelegate() = default;
    virtual void isReadyToUnblockUserInteractionNow() {}
};

// One instance belongs to one open document; the deck library also makes
// short-lived ones to read a deck's metadata. Reads, saves and attachment
// changes run on the document's serial file-access queue; making the cache is
// serialised by a per-instance lock, and file coordination guards the
// unpacking (writing at the cache location) and the zipping (reading the
// cache folder).
class FCZipBackedBinaryDocumentPersistence {
public:
    FCZipBackedBinaryDocumentPersistence();
    ~FCZipBackedBinaryDocumentPersistence();
    FCZipBackedBinaryDocumentPersistence(const FCZipBackedBinaryDocumentPersistence&) = delete;
    FCZipBackedBinaryDocumentPersistence& operator=(const FCZipBackedBinaryDocumentPersistence&) = delete;

    static std::string flashcardsDocumentFileExtension();
    static std::string flashcardsDocumentUTI();

    // Removes what a process stopped while decks were open left behind: the
    // unpacked folders in the caches folder (Caches/<UUID>.bundle, and the
    // temporary folders written before one is put in place) and the hidden
    // files of interrupted saves (".saving-…" of other processes) in the given
    // folders and below. For a time when no document of this process is
    // open: at launch with the documents folder. It also runs once by itself
    // before this process first unpacks a deck (with the deck's own folder),
    // before any cache of this process exists.
    static void removeLeftoversOfEarlierRuns(const std::vector<std::string>& documentFolders);

    // Where unpacking asks how many bytes are free on the cache's disk (the
    // system's answer when unset); for tests.
    static void setFreeDiskSpaceProvider(std::function<std::optional<std::uint64_t>(const std::string&)> provider);

    // The unpacked package folder; unset until the first change (or the
    // first save of a new document). Set and cleared with the package reader.
    std::optional<URL> cachedFilePackageURL() const;
    std::shared_ptr<FCCBinaryDocumentPersistence> packageBackedPersistence() const;
    // The package reader over the zip itself; set by every read.
    std::shared_ptr<FCCBinaryDocumentPersistence> readOnlyPersistence() const;
    // The zip last read, or the original contents last given to a save.
    std::optional<URL> originalContentsURL() const;

    // The deck with its cards and, through their slot, its settings. A read of
    // a document that has a cache discards the cache first. A missing zip
    // fails with code 260, a damaged one with -1 ("FCPersistenceErrorDomain").
    std::shared_ptr<FCDeck> readFromURL(const URL& url,
                                        std::shared_ptr<FCCUserDocumentSettings>* outUserDocumentSettings,
                                        Error* error = nullptr);
    // The deck without its cards; an existing cache is left alone.
    std::shared_ptr<FCDeck> readDeckMetadataFromURL(const URL& url, Error* error = nullptr);

    // Saves the deck and settings into the cache and zips the cache to `url`
    // (the type is not used). False with the error; the cache then keeps the
    // new state and the next save writes it again.
    bool writeDeck(const std::shared_ptr<FCDeck>& deck, const FCCUserDocumentSettings* userDocumentSettings,
                   const URL& url, const std::optional<std::string>& typeName,
                   const std::optional<URL>& originalContentsURL,
                   FCZipBackedBinaryDocumentPersistenceDelegate* delegate, Error* error = nullptr);
    // The same save for a deck encoded beforehand (FCCBinaryDocumentPersistence::encodeDeck),
    // so that the deck itself is not touched here.
    bool writeEncodedDeck(const FCCEncodedDeck& encoded, const URL& url, const std::optional<std::string>& typeName,
                          const std::optional<URL>& originalContentsURL,
                          FCZipBackedBinaryDocumentPersistenceDelegate* delegate, Error* error = nullptr);

    // --- Attachments ---
    bool hasCardAttachmentWithName(const std::optional<std::string>& fileName) const;
    std::optional<Data> dataForAttachmentWithName(const std::optional<std::string>& fileName) const;
    // Stores the attachment in the cache, making the cache first. False, with
    // the error and a log line, when the cache cannot be made or the name is
    // not one file name that unpacking reads back as it is (a "/" or "\", "."
    // or "..", not UTF-8, longer than 255 bytes: "FCPersistenceErrorDomain" -1,
    // nothing written): the attachment is then not stored and the caller must
    // not count a change.
    bool addNewAttachmentWithData(const std::optional<Data>& data, const std::optional<std::string>& fileName,
                                  Error* error = nullptr);
    void removeAttachmentWithName(const std::optional<std::string>& fileName);
    void pruneAttachmentsOnlyKeepingFilesWithNames(const std::optional<std::vector<std::string>>& fileNamesToKeep);
    // The attachment's file in the cache (made first); nullopt when the cache
    // cannot be made. The document URL is not used.
    std::optional<URL> fileURLforSharingAttachmentWithFileName(const std::optional<std::string>& fileName,
                                                               const std::optional<URL>& documentURL);

    // Deletes the cache folder and forgets everything.
    void closeAndRemoveCachedFile();

private:
    static void removeLeftoversOnceBeforeFirstUse(const std::optional<URL>& documentURL);
    bool _initializeCachedUnzippedVersionOfDocumentAtURL(const std::optional<URL>& url, Error* error);
    // The entries unpacking left out are not looked for.
    bool _validateUnzippedArchiveAt(const URL& zipURL, const URL& destinationURL,
                                    const std::set<std::string>& leftOut = {}) const;
    bool _unzip(const std::shared_ptr<FCCBinaryDocumentPersistence>& readOnly, const URL& destinationURL,
                Error* error) const;
    bool _verifyZipFileAt(const URL& zipURL, const std::set<std::string>& subPaths) const;
    static void _listAllRegularFilesIn(const FileWrapper& wrapper, bool isTopLevel, const std::string& currentPath,
                                       std::set<std::string>& inventory);
    void _removeCachedFile() const;
    std::shared_ptr<FCDeck> readFromURL(const URL& url, std::shared_ptr<FCCUserDocumentSettings>* outSettings,
                                        bool metadataOnly, Error* error);
    std::shared_ptr<FCDeck> readFromURLThrowing(const URL& url,
                                                std::shared_ptr<FCCUserDocumentSettings>* outSettings,
                                                bool metadataOnly, Error* error);

    // Guards the properties and the making of the cache (re-entrant).
    mutable std::recursive_mutex lock_;
    std::optional<URL> cachedFilePackageURL_;
    std::shared_ptr<FCCBinaryDocumentPersistence> packageBackedPersistence_;
    std::shared_ptr<FCCBinaryDocumentPersistence> readOnlyPersistence_;
    std::optional<URL> originalContentsURL_;
    // Reads of the zip in progress: more than one means the zip's single
    // current entry is shared by reads from different threads.
    mutable std::atomic<int> zipReadsInProgress_{0};
};
