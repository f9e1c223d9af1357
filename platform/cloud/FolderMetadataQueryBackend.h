#pragma once

// The metadata-query backend of the running program: the app's container
// folders (UbiquityContainer: every container the main bundle declares, the
// default one first) are scanned when the query starts and watched with
// inotify through a file-descriptor source on the starting thread's run loop.
// After each burst of file events the folders are scanned again and compared
// with the last scan by path: new paths are added, gone ones removed, and an
// item whose date, size or download state differs is changed.
//
// What is reported: every entry of each container that is not hidden, one
// item per file or package (a folder with an extension counts as a package
// and is not entered; other folders are), and for each placeholder of a
// promised item (PromisedItems) the item it stands for, not downloaded.
// NSMetadataQueryUbiquitousDataScope covers each container outside its
// "Documents" folder, NSMetadataQueryUbiquitousDocumentsScope each one's
// "Documents" folder; no scope at all means both. There are no external
// documents here.
//
// Each item carries: URL, file name, display name (the name without its
// extension), content change date, downloading status (current, or not
// downloaded for a placeholder), uploaded (always: there is no upload),
// uploading (never), downloading (a pending download), external (never).
//
// Without a container (signed out) the gathering finishes with no results
// and nothing is watched. A folder that cannot be read is left out.

#include <memory>
#include <optional>
#include <vector>

#include "platform/cloud/MetadataQuery.h"
#include "platform/foundation/URL.h"

class FolderMetadataQueryBackend : public MetadataQueryBackend {
public:
    // Over the container folder at the URL, or over every container the app
    // declares (looked up when the query starts; the look-up makes a missing
    // container folder, as it does for any caller).
    explicit FolderMetadataQueryBackend(std::optional<URL> containerURL = std::nullopt);
    ~FolderMetadataQueryBackend() override;

    void start(const std::vector<std::string>& searchScopes, std::shared_ptr<MetadataQueryReporter> reporter) override;
    void stop() override;

    // The item of one entry of the container (for a placeholder, pass the
    // item's own path and downloaded = false).
    static MetadataItemPtr metadataItemForPath(const std::string& path, bool isDirectory, bool downloaded);

private:
    struct State;
    // The container folders to scan, as the query starts.
    std::vector<URL> containers() const;

    const std::optional<URL> containerURL_;
    std::shared_ptr<State> state_;
};
