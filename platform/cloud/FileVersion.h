#pragma once

// The stored versions of a file (the platform's file versions): the current
// version, older versions kept on the device, versions kept only in the
// cloud, and the conflict versions that another device's save left behind.
//
// There is no version service here, so versions are kept beside the file,
// in a hidden folder ".<name>.versions" in the file's folder: an
// "Info.plist" lists the versions in the order in which they were added
// (the order the platform lists them in) with what is known of each, and a
// version whose contents are on the device has them in "<id>/<name>" there
// (a file, or a folder for a package); that path is the version's URL. The
// current version is the file itself. Versions come into being only by
// FileVersions::addVersion (tests make them; nothing in the program saves
// versions), and go with removeOtherVersionsOfItemAtURL or when one
// replaces the file.
//
// A FileVersion is a snapshot of the version when it was listed; setting
// its resolved flag is stored at once. Any thread; the versions of all
// files are read and written under one lock.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/Data.h"
#include "platform/foundation/Date.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/URL.h"

class FileVersion {
public:
    enum class Kind { Current, Other, NonLocal, Conflict };
    enum ReplacingOptions : unsigned { ReplacingByMoving = 1u << 0 };

    // currentVersionOfItemAtURL: the file's own version (also for a promised
    // item, then without local contents); null when there is no such item.
    static std::shared_ptr<FileVersion> currentVersionOfItemAtURL(const URL& url);
    // otherVersionsOfItemAtURL: the versions kept on the device, conflict
    // versions among them, in the platform's order; empty when none.
    static std::vector<std::shared_ptr<FileVersion>> otherVersionsOfItemAtURL(const URL& url);
    // getNonlocalVersionsOfItemAtURL:completionHandler: the versions kept only
    // in the cloud, delivered on the global queue: the versions and no error,
    // or no versions and the error.
    using NonlocalVersionsCompletion =
        std::function<void(std::optional<std::vector<std::shared_ptr<FileVersion>>> versions,
                           std::optional<Error> error)>;
    static void getNonlocalVersionsOfItemAtURL(const URL& url, NonlocalVersionsCompletion completion);
    // unresolvedConflictVersionsOfItemAtURL: the conflict versions not yet
    // marked resolved, in the platform's order; empty when none.
    static std::vector<std::shared_ptr<FileVersion>> unresolvedConflictVersionsOfItemAtURL(const URL& url);
    // removeOtherVersionsOfItemAtURL:error: every version but the current
    // one goes (older ones, cloud-only ones and conflicts).
    static bool removeOtherVersionsOfItemAtURL(const URL& url, Error* error = nullptr);

    Kind kind() const { return kind_; }
    // The file itself for the current version; where the contents are (or
    // would be) kept for any other.
    const URL& url() const { return url_; }
    const std::optional<Date>& modificationDate() const { return modificationDate_; }
    const std::optional<std::string>& localizedName() const { return localizedName_; }
    const std::optional<std::string>& localizedNameOfSavingComputer() const { return savingComputerName_; }
    bool isConflict() const { return kind_ == Kind::Conflict; }
    bool hasLocalContents() const { return hasLocalContents_; }
    bool isResolved() const { return resolved_; }
    // Stored at once; has no effect on the current version, or on a version
    // that is gone.
    void setResolved(bool resolved);

    // replaceItemAtURL:options:error: puts this version's contents in place
    // of the item at the URL (by moving them with ReplacingByMoving, after
    // which this version is gone; else by copying) and returns the item's
    // URL. Fails without local contents (NSFileReadNoSuchFileError) and
    // leaves the item as it was on any failure.
    std::optional<URL> replaceItemAtURL(const URL& url, unsigned options, Error* error = nullptr);

    // For logs: "<FileVersion <kind> <path> <date or no date> ...>".
    std::string description() const;

    // The identifier under which the version is kept ("" for the current one).
    const std::string& identifier() const { return identifier_; }
    const std::string& itemPath() const { return itemPath_; }

    FileVersion(Kind kind, std::string itemPath, std::string identifier, URL url,
                std::optional<Date> modificationDate, std::optional<std::string> localizedName,
                std::optional<std::string> savingComputerName, bool hasLocalContents, bool resolved);

private:
    Kind kind_;
    std::string itemPath_;
    std::string identifier_;
    URL url_;
    std::optional<Date> modificationDate_;
    std::optional<std::string> localizedName_;
    std::optional<std::string> savingComputerName_;
    bool hasLocalContents_;
    bool resolved_;
};

// Making versions and failures (tests, and any tool that brings versions in).
namespace FileVersions {

struct NewVersion {
    FileVersion::Kind kind = FileVersion::Kind::Other;  // not Current
    std::optional<Date> modificationDate;
    std::optional<std::string> localizedName;
    std::optional<std::string> savingComputerName;
    bool resolved = false;
    // The contents: a copy of the item at this path, or these bytes; with
    // neither the version has no local contents.
    std::optional<std::string> contentsFromPath;
    std::optional<Data> contents;
};

// Adds a version of the item (which need not exist); null with the file
// error when its contents cannot be stored.
std::shared_ptr<FileVersion> addVersion(const URL& itemURL, const NewVersion& version, Error* error = nullptr);
// The name of the computer that saved the current version (none by default).
void setSavingComputerOfCurrentVersion(const URL& itemURL, std::optional<std::string> name);

// The folder ".<name>.versions" beside the item.
URL versionsFolderURLForItemAtURL(const URL& itemURL);

// Tests: asked before listing the cloud-only versions, removing the other
// versions or replacing an item; an error it returns fails the operation
// with it (nothing changes). nullptr removes it.
enum class Operation { ListingNonlocalVersions, RemovingOtherVersions, Replacing };
using FailureHook = std::function<std::optional<Error>(Operation operation, const URL& itemURL)>;
void setFailureHook(FailureHook hook);

}  // namespace FileVersions
