#include "platform/foundation/FileCoordinator.h"

#include <condition_variable>
#include <filesystem>
#include <list>
#include <memory>
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

std::mutex& failureHookMutex() {
    static std::mutex m;
    return m;
}

std::shared_ptr<FileCoordinator::FailureHook>& failureHook() {
    static std::shared_ptr<FileCoordinator::FailureHook> hook;
    return hook;
}

}  // namespace

void FileCoordinator::setFailureHook(FailureHook hook) {
    std::lock_guard lock(failureHookMutex());
    failureHook() = hook ? std::make_shared<FailureHook>(std::move(hook)) : nullptr;
}

void FileCoordinator::coordinateReadingItemAtURL(const URL& url, unsigned /*options*/, Error* outError,
                                                 const Accessor& byAccessor) {
    coordinate({{url, false}}, outError, [&] { byAccessor(url); });
}

void FileCoordinator::coordinateWritingItemAtURL(const URL& url, unsigned /*options*/, Error* outError,
                                                 const Accessor& byAccessor) {
    coordinate({{url, true}}, outError, [&] { byAccessor(url); });
}

void FileCoordinator::coordinateReadingItemAtURL(const URL& readingURL, unsigned /*readingOptions*/,
                                                 const URL& writingURL, unsigned /*writingOptions*/, Error* outError,
                                                 const ReadingWritingAccessor& byAccessor) {
    coordinate({{readingURL, false}, {writingURL, true}}, outError, [&] { byAccessor(readingURL, writingURL); });
}

std::size_t FileCoordinator::numberOfWaitingCoordinations() {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    return r.waiting;
}

void FileCoordinator::coordinate(const std::vector<Item>& items, Error* outError,
                                 const std::function<void()>& byAccessor) {
    Error::clear(outError);
    std::shared_ptr<FailureHook> hook;
    {
        std::lock_guard lock(failureHookMutex());
        hook = failureHook();
    }
    for (const auto& item : items) {
        if (!item.url.isFileURL()) {
            Error::set(outError,
                       Error(NSCocoaErrorDomain, item.writing ? NSFileWriteUnknownError : NSFileReadUnknownError));
            return;
        }
        if (hook) {
            if (auto error = (*hook)(item.url, item.writing)) {
                Error::set(outError, *error);
                return;
            }
        }
    }
    std::vector<std::pair<std::string, bool>> wanted;
    for (const auto& item : items) wanted.emplace_back(normalizedPath(item.url), item.writing);
    const std::thread::id self = std::this_thread::get_id();
    Registry& r = registry();
    auto anyClash = [&] {
        for (const auto& [path, writing] : wanted) {
            if (clashes(r, path, writing, self)) return true;
        }
        return false;
    };
    std::vector<std::list<Claim>::iterator> mine;
    {
        std::unique_lock lock(r.mutex);
        if (anyClash()) {
            ++r.waiting;
            r.changed.notify_all();  // lets observers of the waiting count look again
            r.changed.wait(lock, [&] { return !anyClash(); });
            --r.waiting;
        }
        for (const auto& [path, writing] : wanted) {
            mine.push_back(r.claims.insert(r.claims.end(), Claim{path, writing, self}));
        }
    }
    struct Release {
        Registry& r;
        std::vector<std::list<Claim>::iterator>& its;
        ~Release() {
            {
                std::lock_guard lock(r.mutex);
                for (auto it : its) r.claims.erase(it);
            }
            r.changed.notify_all();
        }
    } release{r, mine};
    byAccessor();
}
