#pragma once

// The photo picker's screen: the photos of the library folder, one row each
// with its thumbnail and file name, under a bar titled "Photos" with Cancel.
//
// Thumbnails are made when a row first shows, one photo at a time on a
// background queue, and put into the row once made; until then, and for a
// file that does not decode (damaged, not an image, larger than the picker
// takes), the row shows the photo symbol. A tap on a row picks its photo
// (ImagePickerController::pickPhotoAtIndex), which refuses what cannot be
// decoded as it always has. Main thread.

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/ui/TableViewController.h"

class Image;
class ImagePickerController;

class PhotoLibraryViewController : public TableViewController {
public:
    // The thumbnails' side, in points.
    static constexpr double kThumbnailSide = 56;
    // A file larger than this gets no thumbnail (its bytes are not read for one).
    static constexpr std::uintmax_t kMaxThumbnailFileBytes = 200u * 1024 * 1024;

    PhotoLibraryViewController();

    const std::vector<std::string>& photoPaths() const { return paths_; }
    // The thumbnail of the photo at that path: null while it is made and when
    // the file has none.
    std::shared_ptr<Image> thumbnailForPath(const std::string& path) const;
    // Whether the thumbnail of the photo has been tried (made or found impossible).
    bool hasTriedThumbnailForPath(const std::string& path) const { return thumbnails_.count(path) != 0; }

    // A thumbnail of the image file (nullptr: none), made on any thread.
    static std::shared_ptr<Image> makeThumbnail(const std::string& path, double scale);

    void viewDidLoad() override;

    std::int64_t numberOfRowsInSection(TableView& tableView, std::int64_t section) override;
    std::shared_ptr<TableViewCell> cellForRowAtIndexPath(TableView& tableView, const IndexPath& indexPath) override;
    void didSelectRowAtIndexPath(TableView& tableView, const IndexPath& indexPath) override;

private:
    std::shared_ptr<ImagePickerController> picker() const;
    void requestThumbnail(const std::string& path);
    void thumbnailArrived(const std::string& path, std::shared_ptr<Image> thumbnail);

    std::vector<std::string> paths_;
    std::map<std::string, std::shared_ptr<Image>> thumbnails_;  // tried ones; null: none
    std::map<std::string, bool> requested_;
};
