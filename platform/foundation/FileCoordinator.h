#pragma once

#include <cstddef>
#include <functional>
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
// free. File presenters are not modelled; the coordinator takes none.
//
// A coordination fails without running its accessor for a URL that is not a
// file URL, or when the tests' failure hook says so for one of its URLs (as
// the platform's fails when it cannot bring a cloud item to the device).
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
    using ReadingWritingAccessor = std::function<void(const URL& newReadingURL, const URL& newWritingURL)>;

    FileCoordinator() = default;

    // Runs the accessor with the URL once no writer holds the item. Fails,
    // without running it, only for a URL that is not a file URL.
    void coordinateReadingItemAtURL(const URL& url, unsigned options, Error* outError, const Accessor& byAccessor);
    // Runs the accessor with the URL once nobody else holds the item.
    void coordinateWritingItemAtURL(const URL& url, unsigned options, Error* outError, const Accessor& byAccessor);
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
