#pragma once

// The download of a deck somebody shared through the web service, given its
// share link (the operation's identifier). Run once on the shared-deck
// screen's serial queue; every read blocks that queue's thread, so main()
// never runs on the main thread.
//
// The road, with the progress published at each step:
//  1. the public identifier is taken from the link (the service's domain, then
//     "/.*/(\w+)": the last run of word characters after a "/"); none fails
//     with "SharedDeckImportUnableToIdentifyDeckFormat" naming the link.
//     Progress 0.05.
//  2. the deck index "http://<host>/share/api/?cmd=deckindex&pid=<id>", a JSON
//     object with the URLs "cards", "deckInfo" and "files" (0.1); then the
//     description, a JSON object (0.2), and the card tree, a JSON array (0.3).
//  3. the images, each into "<temporary folder>/<unique name>/<file name>",
//     between 0.3 and 0.7 (0.7 at once when there are none).
//  4. the deck built from the description with its cards, its "_blank"
//     attachment links turned back into "card-attachment://" links (0.75);
//     the deck block, then each image to the image block (or into the
//     dictionary), then 0.8, the finish block, didDownloadCards on the main
//     thread and the step "Downloaded %ld cards.".
//
// What the service hands out is not trusted:
// - only http and https URLs are read; a "file:" URL (or any other scheme)
//   in the index is an entry that cannot be read;
// - an image's file name is the last segment of its URL, percent-decoded;
//   a name that is empty, ".", "..", or holds "/", "\" or NUL is refused and
//   the download fails with "SharedDeckImportImageDownloadError", so nothing
//   is ever written outside the image folder. One name given twice is one
//   file: the later data wins and its path comes twice;
// - every read has a connect, a stall and an overall time-out and a size cap
//   (readOptions), and stops as soon as the operation is cancelled;
// - the images together are bounded (imageBounds): an index naming more
//   images than the count, or images that together pass the bytes, fail the
//   download with
//   "SharedDeckImportImageDownloadError" (the count before any image is read;
//   the bytes as soon as a read passes what is left);
// - received text (JSON that is not what was expected, addresses, names) goes
//   into the log only as a short escaped excerpt, and a reply's JSON is read
//   within receivedJSONLimits.
//
// Ends: successfully after the last step; failed (cancelled, errorMessage
// set) after _failWithError; quietly (cancelled, no message, no callback
// after the point reached) when the caller cancelled it. The image files stay
// in their folder: the caller removes it.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "model/FCCard.h"
#include "model/FCOperationWithProgress.h"
#include "platform/foundation/Data.h"
#include "platform/foundation/URL.h"
#include "platform/foundation/Value.h"
#include "platform/net/URLContentReader.h"

class FCDeck;

class FCDownloadFromSharedDeckOperation : public FCOperationWithProgress {
public:
    using DeckBlock = std::function<void(const std::shared_ptr<FCDeck>& deck)>;
    using ImageBlock = std::function<void(const std::string& fileName, const Data& data)>;
    using FinishBlock = std::function<void()>;
    using CardsBlock = std::function<void(const FCCardArray& cards, const std::map<std::string, Data>& images)>;

    // Empty title, the headline "SharedDeckImportHeadline", empty step, progress 0.
    FCDownloadFromSharedDeckOperation();
    static std::shared_ptr<FCDownloadFromSharedDeckOperation> create();

    void main() override;

    // The folder under which the images are stored; nullopt: the system's
    // temporary folder.
    std::optional<URL> temporaryDirectoryURL() const;
    void setTemporaryDirectoryURL(std::optional<URL> url);
    // Called on the operation's thread.
    DeckBlock onCurrentQueueDidDownloadDeck() const;
    void setOnCurrentQueueDidDownloadDeck(DeckBlock block);
    ImageBlock onCurrentQueueDidDownloadImage() const;
    void setOnCurrentQueueDidDownloadImage(ImageBlock block);
    FinishBlock onCurrentQueueDidFinishDownload() const;
    void setOnCurrentQueueDidFinishDownload(FinishBlock block);
    // Called on the main thread, after the finish block.
    CardsBlock didDownloadCards() const;
    void setDidDownloadCards(CardsBlock block);

    // The limits of the JSON reads and of each image read (the cancel check
    // is the operation's own). Defaults: 30 s to connect, 30 s of silence,
    // 120 s for a JSON read and 300 s for an image, 32 MiB of JSON, 64 MiB an
    // image.
    URLContentReadOptions JSONReadOptions() const;
    void setJSONReadOptions(URLContentReadOptions options);
    URLContentReadOptions imageReadOptions() const;
    void setImageReadOptions(URLContentReadOptions options);
    // The bounds of all images of one deck together.
    struct ImageBounds {
        std::size_t count = 10'000;
        std::uint64_t bytes = 512u * 1024 * 1024;
    };
    ImageBounds imageBounds() const;
    void setImageBounds(ImageBounds bounds);

    // The steps (public for tests).
    static std::optional<std::string> _parseSharedDeckIdentifier(const std::string& link);
    // A dictionary or array (expectedType); nullopt after a logged failure.
    std::optional<Value> _downloadJSONObjectFrom(const std::string& urlString, Value::Type expectedType);
    // The local paths in the order of the list; nullopt after a logged failure.
    std::optional<std::vector<std::string>> _downloadDeckImagesToTempDir(const std::vector<std::string>& imageURLs,
                                                                         double startProgress, double endProgress);
    void _failWithError(const std::optional<std::string>& message);

    // The most bytes of a deck's file name before its extension: a file
    // system takes 255, and the library may add a number to a name it has.
    static constexpr std::size_t kMaximumDeckFileNameBytes = 200;
    // The file name (without extension) a deck with this title is saved
    // under: NUL left out, "/" and the other characters a file name should
    // not hold replaced (fcEscapeIllegalCharactersInFileName), cut on a
    // character boundary to kMaximumDeckFileNameBytes; "Downloaded Deck"
    // when nothing is left. The deck keeps its whole title.
    static std::string deckFileNameForTitle(const std::string& title);

    // The file name an image URL is stored under, or nullopt when the URL
    // gives none that is safe (empty, ".", "..", "/", "\", NUL, bad escapes).
    static std::optional<std::string> imageFileNameForURLString(const std::string& urlString);

private:
    URLContentReadOptions withCancelCheck(URLContentReadOptions options);

    mutable std::mutex mutex_;
    std::optional<URL> temporaryDirectoryURL_;
    DeckBlock onCurrentQueueDidDownloadDeck_;
    ImageBlock onCurrentQueueDidDownloadImage_;
    FinishBlock onCurrentQueueDidFinishDownload_;
    CardsBlock didDownloadCards_;
    URLContentReadOptions JSONReadOptions_;
    URLContentReadOptions imageReadOptions_;
    ImageBounds imageBounds_;
};
