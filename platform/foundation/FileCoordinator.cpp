#include "platform/foundation/FileCoordinator.h"

#include <algorithm>
#include <atomic>
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
    std::vector<std::weak_ptr<FilePresenter>> presenters;
};

Registry& registry() {
    // Never destroyed: coordinations on background threads may still end
    // while the process exits.
    static Registry* r = new Registry;
    return *r;
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

// Whether the path has no empty, "." or ".." component: then it is already
// in its lexically normal form but for trailing slashes (the common case,
// which spares a parse for each coordination).
bool isPlainPath(const std::string& path) {
    std::size_t start = 0;
    while (start < path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string::npos) end = path.size();
        const std::size_t length = end - start;
        if (length == 0 && start != 0 && end != path.size()) return false;  // "//" inside
        if (length == 1 && path[start] == '.') return false;
        if (length == 2 && path[start] == '.' && path[start + 1] == '.') return false;
        start = end + 1;
    }
    return true;
}

std::string normalizedPath(const URL& url) {
    std::string path = url.path();
    if (!isPlainPath(path)) path = std::filesystem::path(path).lexically_normal().string();
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

std::mutex& failureHookMutex() {
    static std::mutex m;
    return m;
}

// Whether a hook is installed: coordinations read the hook under its lock
// only then (tests install one; the app never does).
std::atomic<bool> gFailureHookSet{false};

std::shared_ptr<FileCoordinator::FailureHook>& failureHook() {
    static std::shared_ptr<FileCoordinator::FailureHook> hook;
    return hook;
}

}  // namespace

void FileCoordinator::setFailureHook(FailureHook hook) {
    std::lock_guard lock(failureHookMutex());
    failureHook() = hook ? std::make_shared<FailureHook>(std::move(hook)) : nullptr;
    gFailureHookSet.store(failureHook() != nullptr);
}

void FileCoordinator::coordinateReadingItemAtURL(const URL& url, unsigned /*options*/, Error* outError,
                                                 const Accessor& byAccessor) {
    coordinate({{url, false}}, outError, [&] { byAccessor(url); });
}

void FileCoordinator::coordinateWritingItemAtURL(const URL& url, unsigned /*options*/, Error* outError,
                                                 const Accessor& byAccessor) {
    coordinate({{url, true}}, outError, [&] { byAccessor(url); });
}

void FileCoordinator::coordinateWritingItemAtURL(const URL& url1, unsigned /*options1*/, const URL& url2,
                                                 unsigned /*options2*/, Error* outError,
                                                 const TwoItemAccessor& byAccessor) {
    coordinate({{url1, true}, {url2, true}}, outError, [&] { byAccessor(url1, url2); });
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
    if (gFailureHookSet.load()) {
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

// --- Presenters ---

void FileCoordinator::addFilePresenter(const std::weak_ptr<FilePresenter>& presenter) {
    auto strong = presenter.lock();
    if (!strong) return;
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    auto& list = r.presenters;
    list.erase(std::remove_if(list.begin(), list.end(), [](const auto& p) { return p.expired(); }), list.end());
    for (const auto& p : list)
        if (p.lock() == strong) return;
    list.push_back(presenter);
}

void FileCoordinator::removeFilePresenter(const FilePresenter* presenter) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    auto& list = r.presenters;
    list.erase(std::remove_if(list.begin(), list.end(),
                              [presenter](const auto& p) {
                                  auto strong = p.lock();
                                  return !strong || strong.get() == presenter;
                              }),
               list.end());
}

std::size_t FileCoordinator::numberOfFilePresenters() {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    std::size_t live = 0;
    for (const auto& p : r.presenters)
        if (!p.expired()) ++live;
    return live;
}

void FileCoordinator::itemAtURLWillMoveToURL(const URL& /*oldURL*/, const URL& /*newURL*/) {
    // Presenters keep presenting the old URL until the move is done.
}

void FileCoordinator::itemAtURLDidMoveToURL(const URL& oldURL, const URL& newURL) {
    std::vector<std::shared_ptr<FilePresenter>> presenters;
    {
        Registry& r = registry();
        std::lock_guard lock(r.mutex);
        for (const auto& p : r.presenters)
            if (auto strong = p.lock()) presenters.push_back(std::move(strong));
    }
    // Called outside the registry's lock: a presenter may coordinate.
    const std::string moved = normalizedPath(oldURL);
    for (const auto& presenter : presenters)
        if (normalizedPath(presenter->presentedItemURL()) == moved) presenter->presentedItemDidMoveToURL(newURL);
}
