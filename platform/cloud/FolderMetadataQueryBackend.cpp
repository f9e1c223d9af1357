#include "platform/cloud/FolderMetadataQueryBackend.h"

#include <dirent.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <map>
#include <mutex>
#include <set>

#include "platform/cloud/PromisedItems.h"
#include "platform/cloud/UbiquityContainer.h"
#include "platform/foundation/RunLoop.h"
#include "platform/foundation/StringUtils.h"

namespace {

constexpr std::uint32_t kWatchMask = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_CLOSE_WRITE | IN_ATTRIB |
                                     IN_MODIFY | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

// What a scan saw of one item; two scans compare by these.
struct Seen {
    double modified = 0;
    long long size = 0;
    bool downloaded = false;
    bool downloading = false;
    bool isDirectory = false;
    bool operator==(const Seen&) const = default;
};

struct Scan {
    std::map<std::string, Seen> items;  // by the item's path
    std::vector<std::string> folders;   // the folders to watch
};

double modificationTime(const struct stat& st) {
    return static_cast<double>(st.st_mtim.tv_sec) + static_cast<double>(st.st_mtim.tv_nsec) / 1e9;
}

void scanFolder(const std::string& folder, bool includeFiles, bool descend, const std::string& skipFolder, Scan& scan) {
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return;
    scan.folders.push_back(folder);
    std::vector<std::string> subfolders;
    while (const dirent* ent = ::readdir(dir)) {
        const std::string name = ent->d_name;
        if (name == "." || name == "..") continue;
        const std::string path = folder + "/" + name;
        struct stat st;
        if (::stat(path.c_str(), &st) != 0) continue;
        const bool isDirectory = S_ISDIR(st.st_mode);
        if (name[0] == '.') {
            auto itemName = PromisedItems::itemNameForPlaceholderName(name);
            if (!itemName || !includeFiles) continue;
            const std::string itemPath = folder + "/" + *itemName;
            if (scan.items.count(itemPath)) continue;  // the item itself is here too
            const URL itemURL = URL::fileURLWithPath(itemPath);
            scan.items[itemPath] = {modificationTime(st), static_cast<long long>(st.st_size), false,
                                    PromisedItems::isDownloading(itemURL), isDirectory};
            continue;
        }
        if (isDirectory && URL::fileURLWithPath(path).pathExtension().empty()) {
            if (descend && path != skipFolder) subfolders.push_back(path);
            continue;
        }
        if (!includeFiles) continue;
        scan.items[path] = {modificationTime(st), isDirectory ? 0 : static_cast<long long>(st.st_size), true, false,
                            isDirectory};
    }
    ::closedir(dir);
    for (const auto& sub : subfolders) scanFolder(sub, includeFiles, descend, skipFolder, scan);
}

}  // namespace

struct FolderMetadataQueryBackend::State {
    std::mutex mutex;
    bool running = false;
    int fd = -1;
    std::shared_ptr<FileDescriptorSource> source;
    std::shared_ptr<MetadataQueryReporter> reporter;
    std::vector<std::string> roots;  // the container folders, each once
    bool dataScope = true;
    bool documentsScope = true;
    Scan last;
    std::map<std::string, MetadataItemPtr> itemsByPath;

    Scan scan() const {
        Scan scan;
        for (const auto& root : roots) scanContainer(root, scan);
        return scan;
    }

    void scanContainer(const std::string& root, Scan& scan) const {
        const std::string documents = root + "/Documents";
        if (dataScope) scanFolder(root, true, true, documentsScope ? std::string() : documents, scan);
        if (documentsScope && !dataScope) {
            scanFolder(root, false, false, {}, scan);  // the root itself, so that "Documents" appearing is seen
            scanFolder(documents, true, true, {}, scan);
        }
    }

    MetadataItemPtr itemFor(const std::string& path, const Seen& seen) {
        auto item = FolderMetadataQueryBackend::metadataItemForPath(path, seen.isDirectory, seen.downloaded);
        itemsByPath[path] = item;
        return item;
    }

    // Watches the folders of a scan (all again: one made anew after a
    // removal needs a new watch); true when one of them was not `known`.
    bool watch(const Scan& scan, std::set<std::string>& known) const {
        bool fresh = false;
        for (const auto& folder : scan.folders) {
            ::inotify_add_watch(fd, folder.c_str(), kWatchMask);
            fresh = known.insert(folder).second || fresh;
        }
        return fresh;
    }

    // mutex held
    MetadataItemArray results() const {
        MetadataItemArray results;
        results.reserve(itemsByPath.size());
        for (const auto& [path, item] : itemsByPath) results.push_back(item);
        return results;
    }

    void rescan() {
        std::shared_ptr<MetadataQueryReporter> to;
        MetadataItemArray added, changed, removed, all;
        {
            std::lock_guard lock(mutex);
            if (!running) return;
            char buffer[16 * 1024];
            while (::read(fd, buffer, sizeof buffer) > 0) {
            }
            Scan now = scan();
            // A folder is watched only after the scan that found it: what
            // came into a new one meanwhile is seen by scanning again.
            std::set<std::string> known(last.folders.begin(), last.folders.end());
            while (watch(now, known)) now = scan();
            for (const auto& [path, seen] : last.items) {
                if (!now.items.count(path)) {
                    removed.push_back(itemsByPath[path]);
                    itemsByPath.erase(path);
                }
            }
            for (const auto& [path, seen] : now.items) {
                auto before = last.items.find(path);
                if (before == last.items.end()) {
                    added.push_back(itemFor(path, seen));
                } else if (!(before->second == seen)) {
                    changed.push_back(itemFor(path, seen));
                }
            }
            last = std::move(now);
            if (added.empty() && changed.empty() && removed.empty()) return;
            all = results();
            to = reporter;
        }
        to->updated(std::move(added), std::move(changed), std::move(removed), std::move(all));
    }
};

FolderMetadataQueryBackend::FolderMetadataQueryBackend(std::optional<URL> containerURL)
    : containerURL_(std::move(containerURL)), state_(std::make_shared<State>()) {}

FolderMetadataQueryBackend::~FolderMetadataQueryBackend() {
    stop();
}

MetadataItemPtr FolderMetadataQueryBackend::metadataItemForPath(const std::string& path, bool isDirectory,
                                                                bool downloaded) {
    const URL url = URL::fileURLWithPath(path, isDirectory);
    const std::string name = URL::fileURLWithPath(path).lastPathComponent();
    struct stat st;
    std::optional<Date> modified;
    const std::string statPath = downloaded ? path : PromisedItems::placeholderURLForItemAtURL(url).path();
    if (::stat(statPath.c_str(), &st) == 0) modified = Date::fromTimeIntervalSince1970(modificationTime(st));
    auto item = std::make_shared<MetadataItem>();
    item->setValueForAttribute(NSMetadataItemURLKey, url);
    item->setValueForAttribute(NSMetadataItemFSNameKey, Value(name));
    item->setValueForAttribute(NSMetadataItemDisplayNameKey, Value(stringByDeletingPathExtension(name)));
    if (modified) item->setValueForAttribute(NSMetadataItemFSContentChangeDateKey, Value(*modified));
    item->setValueForAttribute(NSMetadataUbiquitousItemDownloadingStatusKey,
                               Value(downloaded ? NSMetadataUbiquitousItemDownloadingStatusCurrent
                                                : NSMetadataUbiquitousItemDownloadingStatusNotDownloaded));
    item->setValueForAttribute(NSMetadataUbiquitousItemIsUploadedKey, Value(true));
    item->setValueForAttribute(NSMetadataUbiquitousItemIsUploadingKey, Value(false));
    item->setValueForAttribute(NSMetadataUbiquitousItemIsDownloadingKey,
                               Value(!downloaded && PromisedItems::isDownloading(url)));
    item->setValueForAttribute(NSMetadataUbiquitousItemIsExternalDocumentKey, Value(false));
    return item;
}

std::vector<URL> FolderMetadataQueryBackend::containers() const {
    if (containerURL_) return {*containerURL_};
    // Every container the app declares (the default one alone when it
    // declares none); those the look-up does not give are left out.
    std::vector<std::optional<std::string>> identifiers;
    for (auto& identifier : UbiquityContainer::declaredContainerIdentifiers()) identifiers.emplace_back(identifier);
    if (identifiers.empty()) identifiers.emplace_back(std::nullopt);
    std::vector<URL> found;
    for (const auto& identifier : identifiers)
        if (auto url = UbiquityContainer::URLForUbiquityContainerIdentifier(identifier)) found.push_back(*url);
    return found;
}

void FolderMetadataQueryBackend::start(const std::vector<std::string>& searchScopes,
                                       std::shared_ptr<MetadataQueryReporter> reporter) {
    stop();
    auto state = std::make_shared<State>();
    for (const URL& container : containers()) {
        std::string root = container.path();
        while (root.size() > 1 && root.back() == '/') root.pop_back();
        if (std::find(state->roots.begin(), state->roots.end(), root) == state->roots.end())
            state->roots.push_back(std::move(root));
    }
    state->reporter = reporter;
    state->running = true;
    auto has = [&](const char* scope) {
        return std::find(searchScopes.begin(), searchScopes.end(), scope) != searchScopes.end();
    };
    if (!searchScopes.empty()) {
        state->dataScope = has(NSMetadataQueryUbiquitousDataScope);
        state->documentsScope = has(NSMetadataQueryUbiquitousDocumentsScope);
    }
    MetadataItemArray results;
    {
        std::lock_guard lock(state->mutex);
        if (!state->roots.empty()) state->fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        state->last = state->scan();
        std::set<std::string> known;
        if (state->fd >= 0) state->watch(state->last, known);
        for (const auto& [path, seen] : state->last.items) state->itemFor(path, seen);
        results = state->results();
        if (state->fd >= 0) {
            std::weak_ptr<State> weak = state;
            state->source = FileDescriptorSource::create(state->fd, FileDescriptorSource::Readable,
                                                         [weak](FileDescriptorSource&, unsigned) {
                                                             if (auto s = weak.lock()) s->rescan();
                                                         });
            RunLoop::current().addSource(state->source, RunLoop::kCommonModes);
        }
    }
    state_ = state;
    reporter->gatheringFinished(std::move(results));
}

void FolderMetadataQueryBackend::stop() {
    auto state = state_;
    if (!state) return;
    std::lock_guard lock(state->mutex);
    state->running = false;
    state->reporter.reset();
    if (state->source) state->source->invalidate();
    state->source.reset();
    if (state->fd >= 0) ::close(state->fd);
    state->fd = -1;
}
