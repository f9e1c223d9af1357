#pragma once

// The app's built-in help as a two-level list: topics, and within a topic its
// pages; a page opens in the help viewer (FIHelpContentViewController). The
// settings screen opens the first level and hands it the help contents file;
// a topic row opens the same screen for its pages ("ShowPageListSegue"), a
// page row the viewer ("ShowPageSegue").
//
// The help contents file ("HelpContents.plist" among the resources) is a
// dictionary of topic keys, each holding a dictionary of page keys whose
// values are the file names of the pages. Every key begins with 4 characters
// (UTF-16 units) that only order the entries, as in "01. Studying": entries
// are sorted by key (Unicode scalar values, letter case counts) and shown
// without those 4 characters. An entry that breaks the rule (a key shorter
// than 4 characters, a topic that is no dictionary, a page that is no
// string) is skipped with a warning; a file that cannot be read leaves the
// list as it was.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/shell/UserGuideSegueIdentifier.h"
#include "platform/foundation/URL.h"
#include "platform/ui/TableViewController.h"

class Storyboard;

class UserGuideTableViewController : public TableViewController, public SegueHandlerType<UserGuideSegueIdentifier> {
public:
    static constexpr const char* kSceneIdentifier = "UserGuideTableViewController";
    static constexpr const char* kTopicCellIdentifier = "TopicCell";
    static constexpr const char* kPageCellIdentifier = "PageCell";
    static constexpr std::size_t kKeyPrefixLength = 4;

    // A row of the guide: a topic with its pages, or a page with the file
    // name of its HTML.
    class EntryType {
    public:
        enum class Kind { topic, page };
        static EntryType topic(std::string title, std::vector<EntryType> pages) {
            return EntryType(Kind::topic, std::move(title), std::move(pages), {});
        }
        static EntryType page(std::string title, std::string target) {
            return EntryType(Kind::page, std::move(title), {}, std::move(target));
        }
        Kind kind() const { return kind_; }
        bool isTopic() const { return kind_ == Kind::topic; }
        const std::string& title() const { return title_; }
        // A topic's pages (none for a page).
        const std::vector<EntryType>& pages() const { return pages_; }
        // A page's file name ("" for a topic).
        const std::string& target() const { return target_; }
        bool operator==(const EntryType&) const = default;

    private:
        EntryType(Kind kind, std::string title, std::vector<EntryType> pages, std::string target)
            : kind_(kind), title_(std::move(title)), pages_(std::move(pages)), target_(std::move(target)) {}
        Kind kind_;
        std::string title_;
        std::vector<EntryType> pages_;
        std::string target_;
    };

    // Adds this screen's scene, its two prototype cells and its segues (to
    // itself and to the help page scene) to a storyboard.
    static void addScene(Storyboard& storyboard, const std::string& helpContentSceneIdentifier);

    UserGuideTableViewController() : TableViewController(TableViewStyle::Plain) {}

    const std::vector<EntryType>& entries() const { return entries_; }
    void setEntries(std::vector<EntryType> entries) { entries_ = std::move(entries); }

    // Reads the help contents file into topics (see above).
    void loadEntries(const URL& url);
    // The topics of a help contents dictionary; nullopt when it is no
    // dictionary.
    static std::optional<std::vector<EntryType>> entriesFromContents(const Value& contents);

    std::int64_t numberOfSectionsInTableView(TableView& tableView) override;
    std::int64_t numberOfRowsInSection(TableView& tableView, std::int64_t section) override;
    std::shared_ptr<TableViewCell> cellForRowAtIndexPath(TableView& tableView, const IndexPath& indexPath) override;
    void prepareForSegue(StoryboardSegue& segue, const AnyObject& sender) override;

private:
    std::vector<EntryType> entries_;
};
