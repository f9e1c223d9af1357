#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "platform/foundation/Error.h"
#include "platform/foundation/URL.h"

// File coordination within the process, as the platform's file coordinator:
// code that reads or writes a file or folder says so, and coordinations that
// would clash wait for each other. Readers of an item share it; a writer has
// it alone. An item clashes with itself, with the folders that hold it and
// with everything inside it, so writing a folder waits for a reader of a file
// in it and the other way round. Coordinations made on one thread never wait
// for each other, so an accessor may coordinate again.
//
// The accessor runs on the calling thread, which blocks until the item is
// free.
//
// A coordination fails without running its accessor for a URL that is not a
// file URL, or when the tests' failure hook says so for one of its URLs (as
// the platform's fails when it cannot bring a cloud item to the device).
//
// File presenters (an open document) register with the coordinator; code
// that moves an item tells the coordinator (itemAtURL:willMoveToURL: and
// itemAtURL:didMoveToURL:), which passes the move on to every presenter of
// that item, on the moving thread, so that the presenter follows its file.
class FilePresenter {
public:
    virtual ~FilePresenter() = default;
    // The item presented now.
    virtual URL presentedItemURL() const = 0;
    // The item was moved to the new URL by a coordinated move.
    virtual void presentedItemDidMoveToURL(const URL& newURL) = 0;
};

class FileCoordinator {
public:
    enum ReadingOptions : unsigned {
        ReadingNone = 0,
        ReadingWithoutChanges = 1 << 0,
    };
    enum WritingOptions : unsigned {
        WritingNone = 0,
        WritingForDeleting = 1 << 0,
        WritingForMoving = 1 << 1,
        WritingForMerging = 1 << 2,
        WritingForReplacing = 1 << 3,
    };

    using Accessor = std::function<void(const URL& newURL)>;
    using TwoItemAccessor = std::function<void(const URL& newURL1, const URL& newURL2)>;
    using ReadingWritingAccessor = std::function<void(const URL& newReadingURL, const URL& newWritingURL)>;

    FileCoordinator() = default;

    // Runs the accessor with the URL once no writer holds the item. Fails,
    // without running it, only for a URL that is not a file URL.
    void coordinateReadingItemAtURL(const URL& url, unsigned options, Error* outError, const Accessor& byAccessor);
    // Runs the accessor with the URL once nobody else holds the item.
    void coordinateWritingItemAtURL(const URL& url, unsigned options, Error* outError, const Accessor& byAccessor);
    // Writes two items in one coordination (a move: the source for moving,
    // the destination for replacing): the accessor runs once nobody else
    // holds either. Both are claimed at once, so two such coordinations never
    // wait for each other crosswise.
    void coordinateWritingItemAtURL(const URL& url1, unsigned options1, const URL& url2, unsigned options2,
                                    Error* outError, const TwoItemAccessor& byAccessor);

    // Within a coordinated move: the item is about to move, and has moved.
    // The presenters of the old URL learn of the new one.
    void itemAtURLWillMoveToURL(const URL& oldURL, const URL& newURL);
    void itemAtURLDidMoveToURL(const URL& oldURL, const URL& newURL);

    // Presenters are held weakly; adding one twice keeps one entry.
    static void addFilePresenter(const std::weak_ptr<FilePresenter>& presenter);
    static void removeFilePresenter(const FilePresenter* presenter);
    static std::size_t numberOfFilePresenters();
    // One request for reading one item and writing another (a copy): the
    // accessor runs once both are free, the reading URL shared with readers,
    // the writing URL held alone. Both are claimed together, so two such
    // requests in opposite directions cannot hold one item each and wait.
    void coordinateReadingItemAtURL(const URL& readingURL, unsigned readingOptions, const URL& writingURL,
                                    unsigned writingOptions, Error* outError, const ReadingWritingAccessor& byAccessor);

    // Tests: asked before each coordination with each of its URLs and
    // whether that one is written; an error it returns fails the
    // coordination with that error. nullptr removes it.
    using FailureHook = std::function<std::optional<Error>(const URL& url, bool writing)>;
    static void setFailureHook(FailureHook hook);

    // How many coordinations are waiting for an item right now (for tests
    // that need to know a coordination is blocked).
    static std::size_t numberOfWaitingCoordinations();

private:
    struct Item {
        URL url;
        bool writing;
    };
    void coordinate(const std::vector<Item>& items, Error* outError, const std::function<void()>& byAccessor);
};
