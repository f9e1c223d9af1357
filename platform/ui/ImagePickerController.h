#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/NavigationController.h"

class Image;
class ImagePickerController;

// The type identifier of images among a picker's media types.
inline constexpr const char* kUTTypeImage = "public.image";

enum class ImagePickerControllerSourceType { PhotoLibrary, Camera, SavedPhotosAlbum };

// What a picker hands its delegate for a chosen photo.
struct ImagePickerMediaInfo {
    std::string mediaType;                 // kUTTypeImage for a photo
    std::shared_ptr<Image> originalImage;  // null when the photo could not be read
    std::shared_ptr<Image> editedImage;    // only when the picker allows editing
};

class ImagePickerControllerDelegate {
public:
    virtual ~ImagePickerControllerDelegate() = default;
    virtual void imagePickerControllerDidFinishPickingMediaWithInfo(ImagePickerController& picker,
                                                                    const ImagePickerMediaInfo& info) = 0;
    virtual void imagePickerControllerDidCancel(ImagePickerController& picker) = 0;
};

// The photo picker, as a stand-in: there is no camera, and the photo
// library is a folder of image files: the user's pictures folder
// (UserFolders::picturesFolder; the library is unavailable without one) unless
// the program sets another or none (setPhotoLibraryFolder).
//
// Its screen is a navigation stack whose root lists the library's photos
// (PhotoLibraryViewController): a row per file by name with its thumbnail,
// under a bar titled "Photos" with Cancel. A tap on a row picks the photo
// (pickPhotoAtIndex), Cancel cancels. Main thread.
class ImagePickerController : public NavigationController {
public:
    static bool isSourceTypeAvailable(ImagePickerControllerSourceType sourceType);
    // The folder of the photo library from now on; nullopt: no library.
    static void setPhotoLibraryFolder(std::optional<std::string> folder);
    // Back to the user's pictures folder.
    static void resetPhotoLibraryFolder();
    static std::optional<std::string> photoLibraryFolder();

    ImagePickerController();

    ImagePickerControllerSourceType sourceType() const { return sourceType_; }
    void setSourceType(ImagePickerControllerSourceType type) { sourceType_ = type; }
    const std::vector<std::string>& mediaTypes() const { return mediaTypes_; }
    void setMediaTypes(std::vector<std::string> types) { mediaTypes_ = std::move(types); }
    bool allowsEditing() const { return allowsEditing_; }
    void setAllowsEditing(bool allows) { allowsEditing_ = allows; }
    std::shared_ptr<ImagePickerControllerDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(std::weak_ptr<ImagePickerControllerDelegate> delegate) { delegate_ = std::move(delegate); }

    // The files of the library folder (following links; folders and hidden
    // files left out), by name.
    std::vector<std::string> photoPaths() const;
    // The user chose the photo: the delegate hears of it (with no image when
    // the file cannot be decoded or is too large). False when there is no
    // such photo.
    bool pickPhotoAtIndex(std::size_t index);
    // The user cancelled.
    void cancel();

    // Photos of the library are taken up to this many pixels, as the card
    // editor takes them; a larger one shows no thumbnail and is refused.
    static constexpr std::uint64_t kMaxPhotoPixels = 100'000'000;

private:
    ImagePickerControllerSourceType sourceType_ = ImagePickerControllerSourceType::PhotoLibrary;
    std::vector<std::string> mediaTypes_ = {kUTTypeImage};
    bool allowsEditing_ = false;
    std::weak_ptr<ImagePickerControllerDelegate> delegate_;
};
