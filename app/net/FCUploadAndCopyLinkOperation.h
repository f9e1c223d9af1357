#pragma once

// The upload of an open deck to the web service for a share link. The upload
// wizard configures it and adds it to its serial queue; main() runs there
// and blocks that queue's thread while the request runs, so it never runs on
// the main thread.
//
// What leaves the device is a copy of the deck: deck identifier "_blank",
// study progress 0, study direction 0, attachment links written
// "card-attachment:_blank/<name>", no study statistics, and a fresh
// identifier on every card, topics included. Its three JSON documents
// (FCDeckStoreContext::snapshotForDeck) and the deck's images are posted as
// one "multipart/form-data" body to "http://<host>/share/upload.php", in this
// order: "title", "ak", "av", "deckid", "numCards", "apiKey", "authorName",
// "appLanguage" (text), "deckInfo" ("deck.json"), "cards" ("cards.json"),
// "firstCards" ("firstCards.json") (all "application/json"), then one
// "cardImages[]" part per image streamed from its file, with the MIME type of
// its extension (an image without a file, a stream or a type is skipped with
// "Skipping invalid card image. Name: %@, mimeType: %@" at level 1).
//
// The reply body, trimmed, is the link when its lower-case form starts with
// "http"; anything else, an HTTP error or a failed connection fails the
// operation: errorMessage is set (the error's description, or the generic
// "UploadDeckGenericError") and the operation is cancelled.
//
// The per-install API key is kept in "apidata" in the application data
// directory: made once (a new UUID's upper-case string form) and read back on
// every later upload; an empty file means no key, and every upload fails.
//
// The wait always ends: the request runs under requestTimeoutInterval
// (seconds in which no byte went either way; 60 unless set) and under
// requestDeadlineInterval (seconds for the whole request, however steadily a
// server trickles; 1800 unless set), after either of which the upload fails
// with the platform's time-out error. The reply is at most
// kMaximumReplyLength bytes (a link); a longer one fails the upload with the
// platform's "resource exceeds maximum size" error. main() looks at the
// cancelled flag before it queues the request and again before it waits, and
// cancel() also cancels the request operation, whose failure ends the wait.
// When the caller cancelled, the operation ends quietly: no link, no
// message.

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>

#include "model/FCOperationWithProgress.h"
#include "platform/foundation/URL.h"

class AFHTTPClient;
class AFHTTPRequestOperation;
class AFStreamingMultipartFormData;
class DispatchSemaphore;
class FCDeck;
class FIFlashcardsDocument;

class FCUploadAndCopyLinkOperation : public FCOperationWithProgress {
public:
    using LinkBlock = std::function<void(const std::string& link)>;
    using MessageBlock = std::function<void(const std::optional<std::string>& message)>;

    // Empty title, the headline "UploadDeckHeadline", empty step, progress 0.
    FCUploadAndCopyLinkOperation();
    static std::shared_ptr<FCUploadAndCopyLinkOperation> create();

    void main() override;
    // Marks the operation and cancels the request under way.
    void cancel() override;

    std::shared_ptr<FIFlashcardsDocument> document() const;
    void setDocument(std::shared_ptr<FIFlashcardsDocument> document);
    // The attachment names the deck's cards use; sent in this set's order.
    std::set<std::string> cardImageNames() const;
    void setCardImageNames(std::set<std::string> names);
    std::optional<std::string> iOSUserNameForSharing() const;
    void setIOSUserNameForSharing(std::optional<std::string> name);
    // Called on the operation's thread with the link.
    LinkBlock onCurrentQueueDidFinishUploadWithLink() const;
    void setOnCurrentQueueDidFinishUploadWithLink(LinkBlock block);
    // Written on the main queue by the reply, read from any thread.
    std::optional<std::string> sharedLink() const;
    std::shared_ptr<AFHTTPClient> httpClient() const;
    std::optional<std::string> sharingApiKey() const;
    std::shared_ptr<DispatchSemaphore> uploadSemaphore() const;
    std::shared_ptr<AFHTTPRequestOperation> requestOperation() const;
    static constexpr std::int64_t kMaximumReplyLength = 8 * 1024;

    // The upload request's time-out in seconds (default 60).
    double requestTimeoutInterval() const;
    void setRequestTimeoutInterval(double seconds);
    // The time the whole upload request may take, in seconds (default 1800).
    double requestDeadlineInterval() const;
    void setRequestDeadlineInterval(double seconds);

    // "http://" and the web service's host.
    static URL baseURL();
    // The localized "UploadDeckGenericError".
    static std::string genericErrorMessage();
    // "<base>/share/mine/?id=<key>"; nullopt without a key.
    std::optional<URL> makeShowAllDecksForUserURL();
    // POSTs "cmd=downloadsummary&apikey=<key>" to "cards/api/"; the block
    // gets the body as UTF-8 for a status of exactly 200, else nil (at once
    // without a key). It runs on the main queue.
    void fetchTotalDownloadsMessage(MessageBlock block);

    // --- The steps (public for tests) ---
    // "apidata" in the application data directory.
    static URL _apiKeyFileURL();
    // The key in the file, or a new one stored there; nullopt for an empty
    // file or one that cannot be read or written. Coordinated with other
    // readers and writers of the file.
    static std::optional<std::string> _loadOrMakeSharingApiKeyAtFileURL(const URL& fileURL);
    static std::shared_ptr<FCDeck> _cloneDeckForSharing(const FCDeck& deck);
    // The document's file name without the ".flashcards" extension; "Cards" without one.
    static std::string _titleFromDocument(const FIFlashcardsDocument& document);
    // A UTF-8 form-data part; nothing for nil.
    static void _appendString(const std::optional<std::string>& value, const std::string& name,
                              AFStreamingMultipartFormData& formData);
    static std::optional<std::string> _fileMIMEType(const std::string& fileName);
    void _uploadDidFinishSuccessfully(const std::optional<std::string>& text);
    void _failWithError(const std::optional<std::string>& message);

private:
    void setSharedLink(std::optional<std::string> link);
    void _appendCardImages(AFStreamingMultipartFormData& formData, FIFlashcardsDocument& document) const;
    // Waits for the request's callbacks; fails the upload with the time-out
    // error once nothing went either way for requestTimeoutInterval, or at
    // the request's deadline.
    void _waitForReply(DispatchSemaphore& semaphore, const std::atomic<double>& lastActivity);

    mutable std::mutex mutex_;
    std::shared_ptr<FIFlashcardsDocument> document_;
    std::set<std::string> cardImageNames_;
    std::optional<std::string> iOSUserNameForSharing_;
    LinkBlock onCurrentQueueDidFinishUploadWithLink_;
    std::optional<std::string> sharedLink_;
    std::shared_ptr<AFHTTPClient> httpClient_;
    std::optional<std::string> sharingApiKey_;
    std::shared_ptr<DispatchSemaphore> uploadSemaphore_;
    std::shared_ptr<AFHTTPRequestOperation> requestOperation_;
    double requestTimeoutInterval_ = 60;
    double requestDeadlineInterval_ = 1800;
};
