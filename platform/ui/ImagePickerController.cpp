#include "platform/ui/ImagePickerController.h"

#include <algorithm>
#include <mutex>

#include "platform/foundation/FileManager.h"
#include "platform/media/ImageDecoding.h"

namespace {

// Photos of the library are taken up to this many pixels, as the card editor takes them.
constexpr std::uint64_t kMaxPhotoPixels = 100'000'000;

std::mutex& folderMutex() {
    static std::mutex mutex;
    return mutex;
}
std::optional<std::string>& folder() {
    static std::optional<std::string> value;
    return value;
}

}  // namespace

bool ImagePickerController::isSourceTypeAvailable(ImagePickerControllerSourceType sourceType) {
    if (sourceType == ImagePickerControllerSourceType::Camera) return false;
    return photoLibraryFolder().has_value();
}

void ImagePickerController::setPhotoLibraryFolder(std::optional<std::string> path) {
    std::lock_guard lock(folderMutex());
    folder() = std::move(path);
}

std::optional<std::string> ImagePickerController::photoLibraryFolder() {
    std::lock_guard lock(folderMutex());
    return folder();
}

std::vector<std::string> ImagePickerController::photoPaths() const {
    std::vector<std::string> paths;
    auto library = photoLibraryFolder();
    if (!library) return paths;
    auto names = FileManager::defaultManager().contentsOfDirectoryAtPath(*library);
    if (!names) return paths;
    std::sort(names->begin(), names->end());
    for (const auto& name : *names)
        if (!name.empty() && name[0] != '.') paths.push_back(*library + "/" + name);
    return paths;
}

bool ImagePickerController::pickPhotoAtIndex(std::size_t index) {
    const auto paths = photoPaths();
    if (index >= paths.size()) return false;
    ImagePickerMediaInfo info;
    info.mediaType = kUTTypeImage;
    if (auto data = FileManager::defaultManager().contentsAtPath(paths[index]))
        if (auto decoded = decodeImageData(*data, 1.0, kMaxPhotoPixels)) info.originalImage = decoded->image;
    if (auto receiver = delegate()) receiver->imagePickerControllerDidFinishPickingMediaWithInfo(*this, info);
    return true;
}

void ImagePickerController::cancel() {
    if (auto receiver = delegate()) receiver->imagePickerControllerDidCancel(*this);
}
