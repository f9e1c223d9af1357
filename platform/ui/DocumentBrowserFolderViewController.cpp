#include "platform/ui/DocumentBrowserFolderViewController.h"

#include <algorithm>
#include <filesystem>

#include "platform/foundation/StringUtils.h"
#include "platform/foundation/URL.h"
#include "platform/ui/BarButtonItem.h"
#include "platform/ui/DocumentPickerViewController.h"
#include "platform/ui/DocumentTypes.h"
#include "platform/ui/Image.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "platform/ui/TableViewCell.h"

namespace fs = std::filesystem;

namespace {

constexpr double kRowHeight = 44;
constexpr double kUnreadableLineHeight = 60;

bool isWithin(const std::string& path, const std::string& root) {
    if (path == root) return true;
    const std::string prefix = root.ends_with('/') ? root : root + "/";
    return path.rfind(prefix, 0) == 0;
}

std::optional<std::string> resolved(const std::string& path) {
    std::error_code error;
    const fs::path canonical = fs::canonical(path, error);
    if (error) return std::nullopt;
    return canonical.string();
}

}  // namespace

std::shared_ptr<DocumentBrowserFolderViewController> DocumentBrowserFolderViewController::makeRoot(
    const std::optional<std::string>& root, std::vector<std::string> documentTypes) {
    // A root that cannot be resolved lists as unreadable under its own name.
    const std::string folder = root ? resolved(*root).value_or(*root) : std::string();
    return std::make_shared<DocumentBrowserFolderViewController>(folder, folder, std::move(documentTypes));
}

DocumentBrowserFolderViewController::DocumentBrowserFolderViewController(std::string folder, std::string root,
                                                                         std::vector<std::string> documentTypes)
    : folder_(std::move(folder)), root_(std::move(root)), documentTypes_(std::move(documentTypes)) {
    const std::string name = lastPathComponent(folder_);
    setTitle(name.empty() || name == "/" ? std::string("Documents") : name);
}

void DocumentBrowserFolderViewController::viewDidLoad() {
    TableViewController::viewDidLoad();
    std::weak_ptr<ViewController> weak = weak_from_this();
    navigationItem().setRightBarButtonItem(BarButtonItem::withSystemItem(BarButtonSystemItem::Cancel, [weak](BarButtonItem&) {
        auto self = weak.lock();
        if (!self) return;
        if (auto picker = std::dynamic_pointer_cast<DocumentPickerViewController>(self->navigationController()))
            picker->userDidCancel();
    }));
    auto table = tableView();
    // The screen under the picker stays in place: nothing of it shows through.
    table->setBackgroundColor(Color::systemBackgroundColor());
    table->setRowHeight(kRowHeight);
    readFolder();
    if (unreadable_) {
        auto line = std::make_shared<Label>();
        line->setFrame(Rect(0, 0, table->bounds().width(), kUnreadableLineHeight));
        line->setText(std::string(kUnreadableText));
        line->setTextAlignment(TextAlignment::Center);
        line->setTextColor(Color::secondaryLabelColor());
        line->setNumberOfLines(0);
        table->setTableFooterView(line);
    }
}

void DocumentBrowserFolderViewController::readFolder() {
    entries_.clear();
    unreadable_ = false;
    std::error_code error;
    if (folder_.empty() || !isWithin(folder_, root_)) {
        unreadable_ = true;
        return;
    }
    fs::directory_iterator it(folder_, error);
    if (error) {
        unreadable_ = true;
        return;
    }
    // An error part-way through leaves what was read.
    for (; it != fs::directory_iterator(); it.increment(error)) {
        if (error) break;
        const std::string name = it->path().filename().string();
        if (name.empty() || name[0] == '.') continue;
        const std::string listed = it->path().string();
        Entry entry{name, listed, EntryKind::Unavailable};
        if (auto target = resolved(listed); target && isWithin(*target, root_)) {
            std::error_code statError;
            const fs::file_status status = fs::status(*target, statError);
            const bool ofTypes = DocumentTypes::fileNameConformsToTypes(name, documentTypes_);
            if (fs::is_directory(status))
                entry = {name, *target, ofTypes ? EntryKind::Document : EntryKind::Folder};
            else if (fs::is_regular_file(status) && ofTypes)
                entry = {name, *target, EntryKind::Document};
        }
        entries_.push_back(std::move(entry));
    }
    std::stable_sort(entries_.begin(), entries_.end(), [](const Entry& a, const Entry& b) {
        const bool aFolder = a.kind == EntryKind::Folder, bFolder = b.kind == EntryKind::Folder;
        if (aFolder != bFolder) return aFolder;
        return caseInsensitiveCompare(a.name, b.name) < 0;
    });
}

std::optional<std::string> DocumentBrowserFolderViewController::resolvedWithinRoot(const std::string& path) const {
    auto target = resolved(path);
    if (!target || !isWithin(*target, root_)) return std::nullopt;
    return target;
}

std::int64_t DocumentBrowserFolderViewController::numberOfRowsInSection(TableView&, std::int64_t) {
    return static_cast<std::int64_t>(entries_.size());
}

std::shared_ptr<TableViewCell> DocumentBrowserFolderViewController::cellForRowAtIndexPath(TableView&,
                                                                                         const IndexPath& indexPath) {
    const Entry& entry = entries_.at(static_cast<std::size_t>(indexPath.row));
    auto cell = std::make_shared<TableViewCell>(TableViewCellStyle::Default, std::string("entry"));
    cell->textLabel()->setText(entry.name);
    cell->imageView()->setImage(Image::systemImageNamed(entry.kind == EntryKind::Folder ? "folder" : "doc"));
    cell->imageView()->setContentMode(ContentMode::ScaleAspectFit);
    if (entry.kind == EntryKind::Folder) cell->setAccessoryType(TableViewCellAccessoryType::DisclosureIndicator);
    if (entry.kind == EntryKind::Unavailable) {
        // Dimmed, and read out as not available.
        cell->textLabel()->setEnabled(false);
        cell->imageView()->setAlpha(0.4);
        cell->setSelectionStyle(TableViewCellSelectionStyle::None);
        cell->setUserInteractionEnabled(false);
    }
    return cell;
}

bool DocumentBrowserFolderViewController::shouldHighlightRowAtIndexPath(TableView&, const IndexPath& indexPath) {
    const auto row = static_cast<std::size_t>(indexPath.row);
    return row < entries_.size() && entries_[row].kind != EntryKind::Unavailable;
}

std::optional<IndexPath> DocumentBrowserFolderViewController::willSelectRowAtIndexPath(TableView& tableView,
                                                                                       const IndexPath& indexPath) {
    if (!shouldHighlightRowAtIndexPath(tableView, indexPath)) return std::nullopt;
    return indexPath;
}

void DocumentBrowserFolderViewController::didSelectRowAtIndexPath(TableView& tableView, const IndexPath& indexPath) {
    tableView.deselectRowAtIndexPath(indexPath, true);
    const auto row = static_cast<std::size_t>(indexPath.row);
    if (row >= entries_.size()) return;
    const Entry entry = entries_[row];
    // What lay within the root when listed may lead elsewhere by now.
    auto target = resolvedWithinRoot(entry.path);
    if (!target) return;
    auto navigation = navigationController();
    if (entry.kind == EntryKind::Folder) {
        if (navigation)
            navigation->pushViewController(
                std::make_shared<DocumentBrowserFolderViewController>(*target, root_, documentTypes_), true);
        return;
    }
    if (auto picker = std::dynamic_pointer_cast<DocumentPickerViewController>(navigation))
        picker->userDidPickDocumentAtURL(URL::fileURLWithPath(*target));
}
