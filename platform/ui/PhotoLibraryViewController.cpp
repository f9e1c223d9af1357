#include "platform/ui/PhotoLibraryViewController.h"

#include <algorithm>
#include <filesystem>

#include "platform/foundation/Dispatch.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/StringUtils.h"
#include "platform/media/ImageDecoding.h"
#include "platform/ui/BarButtonItem.h"
#include "platform/ui/Image.h"
#include "platform/ui/ImagePickerController.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "platform/ui/Screen.h"
#include "platform/ui/TableViewCell.h"

namespace {

constexpr double kRowHeight = PhotoLibraryViewController::kThumbnailSide + 8;

// One photo decoded at a time, for every picker: a library of large photos
// never holds more than one of them in memory.
DispatchQueue& thumbnailQueue() {
    static const std::shared_ptr<DispatchQueue> queue = DispatchQueue::create("org.memorant.photo-thumbnails");
    return *queue;
}

}  // namespace

PhotoLibraryViewController::PhotoLibraryViewController() {
    setTitle(std::string("Photos"));
}

std::shared_ptr<ImagePickerController> PhotoLibraryViewController::picker() const {
    return std::dynamic_pointer_cast<ImagePickerController>(navigationController());
}

void PhotoLibraryViewController::viewDidLoad() {
    TableViewController::viewDidLoad();
    std::weak_ptr<ViewController> weak = weak_from_this();
    navigationItem().setRightBarButtonItem(
        BarButtonItem::withSystemItem(BarButtonSystemItem::Cancel, [weak](BarButtonItem&) {
            auto self = std::static_pointer_cast<PhotoLibraryViewController>(weak.lock());
            if (!self) return;
            if (auto picker = self->picker()) picker->cancel();
        }));
    // The screen under the picker stays in place: nothing of it shows through.
    tableView()->setBackgroundColor(Color::systemBackgroundColor());
    tableView()->setRowHeight(kRowHeight);
    if (auto picker = this->picker()) paths_ = picker->photoPaths();
}

std::shared_ptr<Image> PhotoLibraryViewController::thumbnailForPath(const std::string& path) const {
    auto it = thumbnails_.find(path);
    return it == thumbnails_.end() ? nullptr : it->second;
}

std::shared_ptr<Image> PhotoLibraryViewController::makeThumbnail(const std::string& path, double scale) {
    std::error_code error;
    const auto bytes = std::filesystem::file_size(path, error);
    if (error || bytes > kMaxThumbnailFileBytes) return nullptr;
    auto data = FileManager::defaultManager().contentsAtPath(path);
    if (!data) return nullptr;
    auto decoded = decodeImageData(*data, 1.0, ImagePickerController::kMaxPhotoPixels);
    if (!decoded || !decoded->image) return nullptr;
    const Size size = decoded->image->size();
    if (size.width <= 0 || size.height <= 0) return nullptr;
    // The middle of the photo, filling the square.
    const double side = kThumbnailSide;
    const double fill = std::max(side / size.width, side / size.height);
    const Rect drawn((side - size.width * fill) / 2, (side - size.height * fill) / 2, size.width * fill,
                     size.height * fill);
    auto image = decoded->image;
    return Image::render(Size{side, side}, scale, [&](GraphicsContext&) { image->drawInRect(drawn); });
}

void PhotoLibraryViewController::requestThumbnail(const std::string& path) {
    if (requested_[path]) return;
    requested_[path] = true;
    std::weak_ptr<ViewController> weak = weak_from_this();
    const double scale = Screen::main().scale();
    thumbnailQueue().async([weak, path, scale] {
        // Nobody looks any more: no need to decode.
        if (weak.expired()) return;
        auto thumbnail = makeThumbnail(path, scale);
        DispatchQueue::main().async([weak, path, thumbnail = std::move(thumbnail)] {
            if (auto self = std::static_pointer_cast<PhotoLibraryViewController>(weak.lock()))
                self->thumbnailArrived(path, thumbnail);
        });
    });
}

void PhotoLibraryViewController::thumbnailArrived(const std::string& path, std::shared_ptr<Image> thumbnail) {
    thumbnails_[path] = thumbnail;
    auto it = std::find(paths_.begin(), paths_.end(), path);
    if (it == paths_.end() || !isViewLoaded()) return;
    const IndexPath indexPath{0, static_cast<std::int64_t>(it - paths_.begin())};
    if (auto cell = tableView()->cellForRowAtIndexPath(indexPath)) {
        if (thumbnail) {
            cell->imageView()->setImage(thumbnail);
            cell->imageView()->setAlpha(1);
        } else {
            // No picture of it: the symbol stays, dimmed.
            cell->imageView()->setAlpha(0.4);
        }
    }
}

std::int64_t PhotoLibraryViewController::numberOfRowsInSection(TableView&, std::int64_t) {
    return static_cast<std::int64_t>(paths_.size());
}

std::shared_ptr<TableViewCell> PhotoLibraryViewController::cellForRowAtIndexPath(TableView&,
                                                                                const IndexPath& indexPath) {
    const std::string& path = paths_.at(static_cast<std::size_t>(indexPath.row));
    auto cell = std::make_shared<TableViewCell>(TableViewCellStyle::Default, std::string("photo"));
    cell->textLabel()->setText(lastPathComponent(path));
    const bool tried = hasTriedThumbnailForPath(path);
    auto thumbnail = thumbnailForPath(path);
    cell->imageView()->setContentMode(ContentMode::ScaleAspectFit);
    cell->imageView()->setImage(thumbnail ? thumbnail : Image::systemImageNamed("photo"));
    cell->imageView()->setAlpha(tried && !thumbnail ? 0.4 : 1);
    if (!tried) requestThumbnail(path);
    return cell;
}

void PhotoLibraryViewController::didSelectRowAtIndexPath(TableView& tableView, const IndexPath& indexPath) {
    tableView.deselectRowAtIndexPath(indexPath, true);
    const auto row = static_cast<std::size_t>(indexPath.row);
    auto picker = this->picker();
    if (!picker || row >= paths_.size()) return;
    // The photo shown in the row, wherever the library's order has put it since.
    const auto now = picker->photoPaths();
    auto it = std::find(now.begin(), now.end(), paths_[row]);
    if (it != now.end()) picker->pickPhotoAtIndex(static_cast<std::size_t>(it - now.begin()));
}
