#pragma once

// One folder of the document picker's screen: a row per folder and file in
// it, by name (hidden ones, starting with a dot, left out), folders first.
//
// - A folder shows the folder symbol and a disclosure mark; a tap pushes its
//   own list onto the picker's stack.
// - A file of the picker's types (or a folder of one: a document package) is
//   picked by a tap: the picker's userDidPickDocumentAtURL with its path.
// - Anything else (another type, a broken link, a link leading out of the
//   root, a socket or device) shows dimmed and takes no tap.
// Every path is resolved (symbolic links followed) and checked to lie within
// the root when listed and again when tapped, so that nothing outside it is
// shown as pickable or reached. A folder that cannot be read (or a root that
// does not exist) shows no rows and a line saying so. Main thread.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/TableViewController.h"

class Label;

class DocumentBrowserFolderViewController : public TableViewController {
public:
    static constexpr const char* kUnreadableText = "This folder cannot be read.";

    enum class EntryKind { Folder, Document, Unavailable };
    struct Entry {
        std::string name;
        std::string path;  // resolved; for an unavailable entry, as listed
        EntryKind kind;
    };

    // The list of the root folder (nullopt: there is none; shown as unreadable).
    static std::shared_ptr<DocumentBrowserFolderViewController> makeRoot(const std::optional<std::string>& root,
                                                                         std::vector<std::string> documentTypes);
    // The list of a folder within the root (both resolved).
    DocumentBrowserFolderViewController(std::string folder, std::string root, std::vector<std::string> documentTypes);

    const std::string& folder() const { return folder_; }
    const std::vector<Entry>& entries() const { return entries_; }
    bool isUnreadable() const { return unreadable_; }

    void viewDidLoad() override;

    std::int64_t numberOfRowsInSection(TableView& tableView, std::int64_t section) override;
    std::shared_ptr<TableViewCell> cellForRowAtIndexPath(TableView& tableView, const IndexPath& indexPath) override;
    bool shouldHighlightRowAtIndexPath(TableView& tableView, const IndexPath& indexPath) override;
    std::optional<IndexPath> willSelectRowAtIndexPath(TableView& tableView, const IndexPath& indexPath) override;
    void didSelectRowAtIndexPath(TableView& tableView, const IndexPath& indexPath) override;

private:
    void readFolder();
    // The entry's path resolved now, when it still lies within the root.
    std::optional<std::string> resolvedWithinRoot(const std::string& path) const;

    std::string folder_;
    std::string root_;
    std::vector<std::string> documentTypes_;
    std::vector<Entry> entries_;
    bool unreadable_ = false;
};
