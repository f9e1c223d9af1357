#pragma once

#include <cstddef>
#include <functional>

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

    FileCoordinator() = default;

    // Runs the accessor with the URL once no writer holds the item. Fails,
    // without running it, only for a URL that is not a file URL.
    void coordinateReadingItemAtURL(const URL& url, unsigned options, Error* outError, const Accessor& byAccessor);
    // Runs the accessor with the URL once nobody else holds the item.
    void coordinateWritingItemAtURL(const URL& url, unsigned options, Error* outError, const Accessor& byAccessor);

    // How many coordinations are waiting for an item right now (for tests
    // that need to know a coordination is blocked).
    static std::size_t numberOfWaitingCoordinations();

private:
    void coordinate(const URL& url, bool writing, Error* outError, const Accessor& byAccessor);
};
