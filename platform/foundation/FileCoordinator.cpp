#include "platform/foundation/FileCoordinator.h"

#include <condition_variable>
#include <filesystem>
#include <list>
#include <mutex>
#include <string>
#include <thread>

#include "platform/foundation/FileManager.h"

namespace {

struct Claim {
    std::string path;
    bool writing;
    std::thread::id owner;
};

// The claims of all coordinations in the process.
struct Registry {
    std::mutex mutex;
    std::condition_variable changed;
    std::list<Claim> claims;
    std::size_t waiting = 0;
};

Registry& registry() {
    static Registry r;
    return r;
}

// One path is the other, or a folder above it.
bool related(const std::string& a, const std::string& b) {
    const std::string& shorter = a.size() <= b.size() ? a : b;
    const std::string& longer = a.size() <= b.size() ? b : a;
    if (longer.compare(0, shorter.size(), shorter) != 0) return false;
    return longer.size() == shorter.size() || shorter == "/" || longer[shorter.size()] == '/';
}

bool clashes(const Registry& r, const std::string& path, bool writing, std::thread::id owner) {
    for (const auto& claim : r.claims) {
        if (claim.owner == owner) continue;
        if (!writing && !claim.writing) continue;
        if (related(claim.path, path)) return true;
    }
    return false;
}

std::string normalizedPath(const URL& url) {
    std::string path = std::filesystem::path(url.path()).lexically_normal().string();
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

}  // namespace

void FileCoordinator::coordinateReadingItemAtURL(const URL& url, unsigned /*options*/, Error* outError,
                                                 const Accessor& byAccessor) {
    coordinate(url, false, outError, byAccessor);
}

void FileCoordinator::coordinateWritingItemAtURL(const URL& url, unsigned /*options*/, Error* outError,
                                                 const Accessor& byAccessor) {
    coordinate(url, true, outError, byAccessor);
}

std::size_t FileCoordinator::numberOfWaitingCoordinations() {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    return r.waiting;
}

void FileCoordinator::coordinate(const URL& url, bool writing, Error* outError, const Accessor& byAccessor) {
    Error::clear(outError);
    if (!url.isFileURL()) {
        Error::set(outError, Error(NSCocoaErrorDomain, writing ? NSFileWriteUnknownError : NSFileReadUnknownError));
        return;
    }
    const std::string path = normalizedPath(url);
    const std::thread::id self = std::this_thread::get_id();
    Registry& r = registry();
    std::list<Claim>::iterator mine;
    {
        std::unique_lock lock(r.mutex);
        if (clashes(r, path, writing, self)) {
            ++r.waiting;
            r.changed.notify_all();  // lets observers of the waiting count look again
            r.changed.wait(lock, [&] { return !clashes(r, path, writing, self); });
            --r.waiting;
        }
        mine = r.claims.insert(r.claims.end(), Claim{path, writing, self});
    }
    struct Release {
        Registry& r;
        std::list<Claim>::iterator it;
        ~Release() {
            {
                std::lock_guard lock(r.mutex);
                r.claims.erase(it);
            }
            r.changed.notify_all();
        }
    } release{r, mine};
    byAccessor(url);
}
