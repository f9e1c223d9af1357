#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/ViewController.h"

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
// library is a folder of image files that tests or the user set
// (setPhotoLibraryFolder; none at first, so the library is unavailable). A
// test plays the user by picking a photo by its index (file names in
// order) or cancelling. Main thread.
class ImagePickerController : public ViewController {
public:
    static bool isSourceTypeAvailable(ImagePickerControllerSourceType sourceType);
    static void setPhotoLibraryFolder(std::optional<std::string> folder);
    static std::optional<std::string> photoLibraryFolder();

    ImagePickerControllerSourceType sourceType() const { return sourceType_; }
    void setSourceType(ImagePickerControllerSourceType type) { sourceType_ = type; }
    const std::vector<std::string>& mediaTypes() const { return mediaTypes_; }
    void setMediaTypes(std::vector<std::string> types) { mediaTypes_ = std::move(types); }
    bool allowsEditing() const { return allowsEditing_; }
    void setAllowsEditing(bool allows) { allowsEditing_ = allows; }
    std::shared_ptr<ImagePickerControllerDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(std::weak_ptr<ImagePickerControllerDelegate> delegate) { delegate_ = std::move(delegate); }

    // The image files of the library folder, by name.
    std::vector<std::string> photoPaths() const;
    // The user chose the photo: the delegate hears of it (with no image when
    // the file cannot be decoded). False when there is no such photo.
    bool pickPhotoAtIndex(std::size_t index);
    // The user cancelled.
    void cancel();

private:
    ImagePickerControllerSourceType sourceType_ = ImagePickerControllerSourceType::PhotoLibrary;
    std::vector<std::string> mediaTypes_ = {kUTTypeImage};
    bool allowsEditing_ = false;
    std::weak_ptr<ImagePickerControllerDelegate> delegate_;
};
