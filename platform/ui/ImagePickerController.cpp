#include "platform/ui/ImagePickerController.h"

#include <algorithm>
#include <filesystem>
#include <mutex>

#include "platform/foundation/FileManager.h"
#include "platform/media/ImageDecoding.h"
#include "platform/ui/PhotoLibraryViewController.h"
#include "platform/ui/UserFolders.h"

namespace {

std::mutex& folderMutex() {
    static std::mutex mutex;
    return mutex;
}
// Set by the program: a folder or none; unset: the user's pictures folder.
std::optional<std::optional<std::string>>& folder() {
    static std::optional<std::optional<std::string>> value;
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

void ImagePickerController::resetPhotoLibraryFolder() {
    std::lock_guard lock(folderMutex());
    folder().reset();
}

std::optional<std::string> ImagePickerController::photoLibraryFolder() {
    {
        std::lock_guard lock(folderMutex());
        if (folder()) return *folder();
    }
    return UserFolders::picturesFolder();
}

ImagePickerController::ImagePickerController() : NavigationController(std::make_shared<PhotoLibraryViewController>()) {}

std::vector<std::string> ImagePickerController::photoPaths() const {
    std::vector<std::string> paths;
    auto library = photoLibraryFolder();
    if (!library) return paths;
    auto names = FileManager::defaultManager().contentsOfDirectoryAtPath(*library);
    if (!names) return paths;
    std::sort(names->begin(), names->end());
    for (const auto& name : *names) {
        if (name.empty() || name[0] == '.') continue;
        const std::string path = *library + "/" + name;
        std::error_code error;
        if (std::filesystem::is_directory(path, error)) continue;
        paths.push_back(path);
    }
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
