#pragma once

// The platform's metadata query over the cloud container (NSMetadataQuery).
//
// A query has search scopes and a predicate (here: an "or" of wildcard
// patterns over the file name, "%K LIKE '*.flashcards'"). startQuery()
// gathers the matching items, then posts
// NSMetadataQueryDidFinishGatheringNotification; from then on every change
// the backend sees posts NSMetadataQueryDidUpdateNotification with the added,
// changed and removed items in the user info (object entries under the
// NSMetadataQueryUpdate...ItemsKey keys, each a MetadataItemArray). Both are
// posted on the default notification center, with the query as object, on
// the run loop of the thread that started the query. `results()` is the
// query's list as of the last notification posted.
//
// disableUpdates() holds what the backend reports: the results stay fixed
// and nothing is posted; enableUpdates() posts what was held as one update
// (from the run loop, never from inside the call). Held changes merge: an
// item added and removed meanwhile is gone from both sets, one removed and
// added again counts as changed.
//
// The query is fed by a backend: ScriptedMetadataQueryBackend, through which
// tests set the results and post updates, or FolderMetadataQueryBackend,
// which watches the container folder. Items of either that do not match the
// predicate are never reported.
//
// Thread safety: start, stop, enable and disable are the starting thread's
// (stopQuery may come from any thread); backends report from any thread.

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/foundation/MetadataItem.h"
#include "platform/foundation/NotificationCenter.h"

class RunLoop;

inline constexpr const char* NSMetadataItemFSNameKey = "kMDItemFSName";

inline constexpr const char* NSMetadataQueryDidStartGatheringNotification =
    "NSMetadataQueryDidStartGatheringNotification";
inline constexpr const char* NSMetadataQueryDidFinishGatheringNotification =
    "NSMetadataQueryDidFinishGatheringNotification";
inline constexpr const char* NSMetadataQueryDidUpdateNotification = "NSMetadataQueryDidUpdateNotification";
inline constexpr const char* NSMetadataQueryUpdateAddedItemsKey = "kMDQueryUpdateAddedItems";
inline constexpr const char* NSMetadataQueryUpdateChangedItemsKey = "kMDQueryUpdateChangedItems";
inline constexpr const char* NSMetadataQueryUpdateRemovedItemsKey = "kMDQueryUpdateRemovedItems";

// The app's own containers (every one it declares), outside and inside their
// Documents folders, and the documents of other apps' containers the user
// opened here (none on this platform).
inline constexpr const char* NSMetadataQueryUbiquitousDataScope = "NSMetadataQueryUbiquitousDataScope";
inline constexpr const char* NSMetadataQueryUbiquitousDocumentsScope = "NSMetadataQueryUbiquitousDocumentsScope";
inline constexpr const char* NSMetadataQueryAccessibleUbiquitousExternalDocumentsScope =
    "NSMetadataQueryAccessibleUbiquitousExternalDocumentsScope";

using MetadataItemPtr = std::shared_ptr<const MetadataItem>;
// The kind of the object entries of an update's user info.
using MetadataItemArray = std::vector<MetadataItemPtr>;

// "%K LIKE 'pattern' OR %K LIKE 'pattern' ...": an item matches when the
// string attribute matches one pattern, '*' standing for any run of
// characters and '?' for one (byte-wise, case-sensitive). No pattern: all match.
class MetadataQueryPredicate {
public:
    MetadataQueryPredicate() = default;
    static MetadataQueryPredicate orOfLikePatterns(std::string attribute, std::vector<std::string> patterns);

    bool matches(const MetadataItem& item) const;
    static bool like(std::string_view text, std::string_view pattern);

    const std::string& attribute() const { return attribute_; }
    const std::vector<std::string>& patterns() const { return patterns_; }

private:
    std::string attribute_;
    std::vector<std::string> patterns_;
};

// What a backend reports to its query; any thread. Reports after the query
// stopped (or started again) are dropped.
class MetadataQueryReporter {
public:
    virtual ~MetadataQueryReporter() = default;
    // The initial results are complete.
    virtual void gatheringFinished(MetadataItemArray results) = 0;
    // A change: the items added, changed and removed, and the full results after it.
    virtual void updated(MetadataItemArray added, MetadataItemArray changed, MetadataItemArray removed,
                         MetadataItemArray results) = 0;
    // An update with a user info of the backend's making (tests of malformed
    // notifications); the results after it.
    virtual void updatedWithUserInfo(Notification::ObjectUserInfo userInfo, MetadataItemArray results) = 0;
};

class MetadataQueryBackend {
public:
    virtual ~MetadataQueryBackend() = default;
    // Called on the starting thread; the backend gathers and reports (at once
    // or later) through the reporter, which it keeps until stop().
    virtual void start(const std::vector<std::string>& searchScopes,
                       std::shared_ptr<MetadataQueryReporter> reporter) = 0;
    virtual void stop() = 0;
};

class MetadataQuery : public std::enable_shared_from_this<MetadataQuery> {
public:
    using BackendFactory = std::function<std::shared_ptr<MetadataQueryBackend>()>;

    // On the given backend, or on the process's default one (see below).
    static std::shared_ptr<MetadataQuery> create(std::shared_ptr<MetadataQueryBackend> backend = nullptr);
    ~MetadataQuery();
    MetadataQuery(const MetadataQuery&) = delete;
    MetadataQuery& operator=(const MetadataQuery&) = delete;

    // The backend of queries made without one: the folder-watching backend
    // over the app's declared containers, unless tests install another factory
    // (nullptr goes back to that).
    static void setDefaultBackendFactory(BackendFactory factory);

    void setSearchScopes(std::vector<std::string> scopes);
    std::vector<std::string> searchScopes() const;
    void setPredicate(MetadataQueryPredicate predicate);
    MetadataQueryPredicate predicate() const;

    // False when the query runs already.
    bool startQuery();
    void stopQuery();
    bool isStarted() const;
    bool isGathering() const;
    bool isStopped() const;

    void disableUpdates();
    void enableUpdates();

    // The results as of the last notification posted.
    MetadataItemArray results() const;
    std::size_t resultCount() const;

    const std::shared_ptr<MetadataQueryBackend>& backend() const { return backend_; }

private:
    class Reporter;
    struct Held;

    explicit MetadataQuery(std::shared_ptr<MetadataQueryBackend> backend);
    MetadataItemArray matching(MetadataItemArray items) const;
    // Run on the starting thread's loop.
    void applyGatheringFinished(std::uint64_t generation, MetadataItemArray results);
    void applyUpdate(std::uint64_t generation, MetadataItemArray added, MetadataItemArray changed,
                     MetadataItemArray removed, MetadataItemArray results);
    void applyRawUpdate(std::uint64_t generation, Notification::ObjectUserInfo userInfo, MetadataItemArray results);
    void postHeld();
    void perform(std::function<void(MetadataQuery&)> block);

    const std::shared_ptr<MetadataQueryBackend> backend_;
    mutable std::mutex mutex_;
    std::vector<std::string> scopes_;
    MetadataQueryPredicate predicate_;
    std::uint64_t generation_ = 0;  // a new one for every start and stop
    bool started_ = false;
    bool gathering_ = false;
    bool stopped_ = false;
    int disableCount_ = 0;
    std::shared_ptr<RunLoop> loop_;
    MetadataItemArray results_;
    std::unique_ptr<Held> held_;  // what arrived while updates were disabled
};
