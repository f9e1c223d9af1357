#pragma once

// One entry of the deck list: a deck document file of the local Documents
// folder or of the cloud container, described by what the list shows (name,
// date subtitle, storage state) without opening the document.
//
// An item's identity is the path of its URL: two items of the same path are
// equal and hash alike whatever their names, dates or states, so a file whose
// state changed is the same item, and lists (DocumentItemOrderedSet) hold each
// path once. Items are built on the documents controllers' background queues
// (or, for cloud updates, on the main thread) and are not changed after they
// have been delivered, except `thumbnail`, which is the deck library's own
// state: set and read on the main thread only, never part of the identity.

#include <cstddef>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "platform/foundation/Date.h"
#include "platform/foundation/URL.h"

class DocumentItemOrderedSet;
class Image;
class MetadataItem;

// One change between two delivered lists, for the deck library's table.
class DocumentItemAnimation {
public:
    enum class Kind {
        Delete,  // index: the item at this index of the previous list is gone
        Add,     // index: the item at this index of the new list is new
        Update,  // index: the item at this index of the new list changed
        Move,    // fromIndex (previous list) -> toIndex (new list) of a changed item
        Reload,  // the whole list was replaced; nothing can be animated
    };

    static DocumentItemAnimation deleteAt(std::size_t index) { return {Kind::Delete, index, 0}; }
    static DocumentItemAnimation addAt(std::size_t index) { return {Kind::Add, index, 0}; }
    static DocumentItemAnimation updateAt(std::size_t index) { return {Kind::Update, index, 0}; }
    static DocumentItemAnimation move(std::size_t fromIndex, std::size_t toIndex) {
        return {Kind::Move, fromIndex, toIndex};
    }
    static DocumentItemAnimation reload() { return {Kind::Reload, 0, 0}; }

    Kind kind() const { return kind_; }
    // The index of Delete, Add and Update; the from-index of Move.
    std::size_t index() const { return index_; }
    std::size_t fromIndex() const { return index_; }
    std::size_t toIndex() const { return toIndex_; }

    // "Delete(2)", "Add(0)", "Update(1)", "Move(0->3)", "Reload".
    std::string debugDescription() const;

    bool operator==(const DocumentItemAnimation&) const = default;

private:
    DocumentItemAnimation(Kind kind, std::size_t index, std::size_t toIndex)
        : kind_(kind), index_(index), toIndex_(toIndex) {}
    Kind kind_;
    std::size_t index_;
    std::size_t toIndex_;
};

std::ostream& operator<<(std::ostream& os, const DocumentItemAnimation& animation);

class DocumentItem {
public:
    // Where the document lives: the app's local Documents folder, or the cloud
    // container with the state of its local copy.
    struct StorageLocation {
        enum class Kind { ICloud, LocalContainer };

        static StorageLocation localContainer() { return {}; }
        static StorageLocation iCloud(bool wasDownloaded, bool localVersionIsCurrent, bool isExternal,
                                      std::optional<std::string> uploadingDownloadingStatus) {
            return {Kind::ICloud, wasDownloaded, localVersionIsCurrent, isExternal,
                    std::move(uploadingDownloadingStatus)};
        }

        bool isICloud() const { return kind == Kind::ICloud; }
        bool operator==(const StorageLocation&) const = default;

        Kind kind = Kind::LocalContainer;
        // The cloud case only: a local copy exists (current or older); the
        // local copy is the newest version; the document lives outside the
        // app's own container; the arrow shown beside the item, if any.
        bool wasDownloaded = false;
        bool localVersionIsCurrent = false;
        bool isExternal = false;
        std::optional<std::string> uploadingDownloadingStatus;
    };

    // An item of a local file: the name is the file name without its
    // extension, the subtitle the date text of the file's content
    // modification date ("" when that cannot be read).
    explicit DocumentItem(const URL& url);
    // The same with the date already read (a listing pre-fetches it); unset
    // means it could not be read.
    DocumentItem(const URL& url, const std::optional<Date>& contentModificationDate);

    // An item of a cloud metadata item; nullptr when the item has no URL.
    static std::shared_ptr<DocumentItem> itemWithMetadataItem(std::shared_ptr<const MetadataItem> metadataItem);

    const std::string& displayName() const { return displayName_; }
    void setDisplayName(std::string name) { displayName_ = std::move(name); }
    const std::string& subtitle() const { return subtitle_; }
    void setSubtitle(std::string subtitle) { subtitle_ = std::move(subtitle); }
    // The identity: fixed for the item's life.
    const URL& url() const { return url_; }
    const std::string& path() const { return path_; }
    bool isLegacyStudydeckDocument() const { return isLegacyStudydeckDocument_; }
    void setLegacyStudydeckDocument(bool legacy) { isLegacyStudydeckDocument_ = legacy; }
    const StorageLocation& storageLocation() const { return storageLocation_; }
    void setStorageLocation(StorageLocation location) { storageLocation_ = std::move(location); }
    const std::shared_ptr<const MetadataItem>& metadataItem() const { return metadataItem_; }
    // Main thread only.
    const std::shared_ptr<Image>& thumbnail() const { return thumbnail_; }
    void setThumbnail(std::shared_ptr<Image> thumbnail) { thumbnail_ = std::move(thumbnail); }

    // Same path (see the top of this file).
    bool operator==(const DocumentItem& other) const { return path_ == other.path_; }
    std::size_t hash() const;
    // displayName + " - " + subtitle.
    std::string description() const;

    // The subtitle text of a date: "" for none; the locale's word for today
    // with the short time for a date of today; else the word for yesterday
    // (or another named day) or the short date. Current locale and time zone.
    static std::string subtitleDateString(const std::optional<Date>& date);

    // How the new list differs from the previous one, given the items added,
    // changed and removed: the deletes (indexes in previous, in the order of
    // removed), then the updates (indexes in new, in the order of changed),
    // then the adds (indexes in new), then the moves of the changed items
    // whose index differs. Items not found in their list are skipped; a moved
    // item gives both an update and a move. Linear in the sizes of the sets.
    static std::vector<DocumentItemAnimation> changeAnimations(const DocumentItemOrderedSet& previous,
                                                               const DocumentItemOrderedSet& newItems,
                                                               const DocumentItemOrderedSet& added,
                                                               const DocumentItemOrderedSet& changed,
                                                               const DocumentItemOrderedSet& removed);

    // The arrow a cloud item shows: "↑" until it is uploaded and while it
    // uploads, then "↓" while it downloads, else none. Missing flags and
    // flags of another kind count as false.
    static std::optional<std::string> ubiquitousStatus(const MetadataItem& metadataItem);

private:
    DocumentItem(const URL& url, std::string displayName);
    void applyLegacyTest();

    std::string displayName_;
    std::string subtitle_;
    URL url_;
    std::string path_;
    bool isLegacyStudydeckDocument_ = false;
    StorageLocation storageLocation_;
    std::shared_ptr<const MetadataItem> metadataItem_;
    std::shared_ptr<Image> thumbnail_;
};
