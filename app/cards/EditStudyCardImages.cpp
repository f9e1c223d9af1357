// The card editor's images (the source sheet, the photo picker, image
// files, storing them as attachments, pruning) and plain-text paste.
#include <cairo.h>

#include <cmath>

#include "app/cards/EditStudyCardViewController.h"
#include "app/cards/FCEditor.h"
#include "app/study/DeckChangeDelegate.h"
#include "model/FCCUniqueId.h"
#include "model/FCCard.h"
#include "model/FCCardImageSupport.h"
#include "model/TWLogger.h"
#include "model/TWStringAdditions.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/StringUtils.h"
#include "platform/media/ImageCodec.h"
#include "platform/media/ImageContext.h"
#include "platform/media/ImageDecoding.h"
#include "platform/ui/AlertController.h"
#include "platform/ui/BarButtonItem.h"
#include "platform/ui/DocumentMenuViewController.h"
#include "platform/ui/Image.h"
#include "platform/ui/Pasteboard.h"
#include "platform/ui/RTFReader.h"
#include "umbrella/EditorWebView.h"

namespace {

std::string localized(const std::string& key, const std::string& english) {
    return Bundle::main().localizedString(key, english, "Localizable");
}

constexpr double kStoredImageMaxWidth = 2 * EditStudyCardViewController::kImageMaxWidth;

}  // namespace

// --- The source sheet ---

void EditStudyCardViewController::insertPhoto(const std::shared_ptr<BarButtonItem>& sender) {
    if (!sender) return;
    if (closeShownPopup()) {
        // Closing the source sheet abandons its placeholder.
        removeImagePlaceholder();
        return;
    }
    // Images go into a card being edited only.
    if (!presentationMode_.card() || !presentationMode_.isEditable() || !webView_) return;

    auto sheet =
        AlertController::alertControllerWithTitle(std::nullopt, std::nullopt, AlertControllerStyle::ActionSheet);
    sheet->view()->setTintColor(Color(0, 0.47843137254901963, 1, 1));
    std::weak_ptr<EditStudyCardViewController> weakSelf = sharedSelf();
    std::weak_ptr<BarButtonItem> weakSender = sender;
    auto choice = [weakSelf, weakSender](
                      std::function<void(EditStudyCardViewController&, const std::shared_ptr<BarButtonItem>&)> then) {
        return [weakSelf, weakSender, then](AlertAction&) {
            auto self = weakSelf.lock();
            if (!self) return;
            self->formattingOptionsPopupViewController_.reset();
            then(*self, weakSender.lock());
        };
    };
    sheet->addAction(AlertAction::actionWithTitle(
        localized("BrowsePhotos", "Browse Photos"), AlertActionStyle::Default,
        choice([](EditStudyCardViewController& self, const std::shared_ptr<BarButtonItem>& item) {
            self.showImagePicker(ImagePickerControllerSourceType::PhotoLibrary, item);
        })));
    sheet->addAction(AlertAction::actionWithTitle(
        localized("TakeAPicture", "Take a Picture"), AlertActionStyle::Default,
        choice([](EditStudyCardViewController& self, const std::shared_ptr<BarButtonItem>& item) {
            self.showImagePicker(ImagePickerControllerSourceType::Camera, item);
        })));
    sheet->addAction(AlertAction::actionWithTitle(
        localized("PickPhotoFromDocumentPicker", "Insert from…"), AlertActionStyle::Default,
        choice([](EditStudyCardViewController& self, const std::shared_ptr<BarButtonItem>& item) {
            self.presentImageDocumentMenu(item);
        })));
    sheet->addAction(AlertAction::actionWithTitle(
        localized("Cancel", "Cancel"), AlertActionStyle::Cancel,
        choice([](EditStudyCardViewController& self, const std::shared_ptr<BarButtonItem>&) {
            self.removeImagePlaceholder();
        })));
    // On a tablet the sheet hangs from the photo button.
    if (traitCollection().userInterfaceIdiom == UserInterfaceIdiom::Pad)
        sheet->setModalPresentationStyle(ModalPresentationStyle::Popover);
    if (auto popover = sheet->popoverPresentationController()) popover->setBarButtonItem(sender);
    // A sheet dismissed by a tap outside takes its placeholder along.
    if (auto presentation = sheet->presentationController())
        presentation->setDelegate(std::weak_ptr<AdaptivePresentationControllerDelegate>(sharedSelf()));
    insertImagePlaceholder();
    formattingOptionsPopupViewController_ = sheet;
    presentViewController(sheet, true);
}

void EditStudyCardViewController::insertImagePlaceholder() {
    if (!webView_) return;
    // One placeholder at most: an earlier one still in the page goes first.
    removeImagePlaceholder();
    const std::string id = FCCUniqueId::makeUniqueId();
    temporaryImageInsertionPointMarkerId_ = id;
    FCEditor::make(*webView_)->insertHtmlSnippet(
        "<img width=\"10\" height=\"10\" class=\"fcInsertSoonImagePlaceholder\" id=\"" + id + "\">");
}

void EditStudyCardViewController::removeImagePlaceholder() {
    if (!temporaryImageInsertionPointMarkerId_) return;
    const std::string id = *temporaryImageInsertionPointMarkerId_;
    temporaryImageInsertionPointMarkerId_.reset();
    if (webView_) FCEditor::make(*webView_)->deleteInsertImagePlaceholderWithId(id);
}

// --- Photo picker ---

void EditStudyCardViewController::showImagePicker(ImagePickerControllerSourceType sourceType,
                                                  const std::shared_ptr<BarButtonItem>& sender) {
    if (!ImagePickerController::isSourceTypeAvailable(sourceType)) {
        removeImagePlaceholder();
        return;
    }
    auto picker = std::make_shared<ImagePickerController>();
    picker->setSourceType(sourceType);
    picker->setMediaTypes({kUTTypeImage});
    picker->setAllowsEditing(false);
    picker->setDelegate(std::weak_ptr<ImagePickerControllerDelegate>(sharedSelf()));
    if (traitCollection().userInterfaceIdiom == UserInterfaceIdiom::Pad) {
        picker->setModalPresentationStyle(ModalPresentationStyle::Popover);
        if (auto popover = picker->popoverPresentationController()) {
            popover->setBarButtonItem(sender);
            popover->setPermittedArrowDirections(PopoverArrowDirectionAny);
            popover->setDelegate(std::weak_ptr<AdaptivePresentationControllerDelegate>(sharedSelf()));
        }
        imagePickerPopoverViewController_ = picker;
    }
    presentViewController(picker, true);
}

void EditStudyCardViewController::dismissImagePicker(ImagePickerController& picker) {
    picker.dismissViewController(true);
    imagePickerPopoverViewController_.reset();
}

void EditStudyCardViewController::imagePickerControllerDidFinishPickingMediaWithInfo(ImagePickerController& picker,
                                                                                     const ImagePickerMediaInfo& info) {
    dismissImagePicker(picker);
    if (info.mediaType == kUTTypeImage) insertImage(info.editedImage ? info.editedImage : info.originalImage);
    removeImagePlaceholder();
}

void EditStudyCardViewController::imagePickerControllerDidCancel(ImagePickerController& picker) {
    removeImagePlaceholder();
    dismissImagePicker(picker);
}

// --- Image files ---

namespace {

// Hands the document menu's and picker's answers to the editor (held weakly).
class ImageDocumentMenuAnswers : public DocumentMenuDelegate, public DocumentPickerDelegate {
public:
    explicit ImageDocumentMenuAnswers(std::weak_ptr<ViewController> editor) : editor_(std::move(editor)) {}

    void documentMenuDidPickDocumentPicker(DocumentMenuViewController&,
                                           const std::shared_ptr<DocumentPickerViewController>& picker) override {
        auto editor = this->editor();
        if (!editor) return;
        picker->setDelegate(self_);
        editor->presentViewController(picker, true);
    }
    void documentMenuWasCancelled(DocumentMenuViewController&) override {
        if (auto editor = this->editor()) editor->documentPickerWasCancelled();
    }
    void documentPickerDidPickDocumentAtURL(DocumentPickerViewController&, const URL& url) override {
        if (auto editor = this->editor()) editor->documentPickerDidPickDocumentAtURL(url);
    }
    void documentPickerWasCancelled(DocumentPickerViewController&) override {
        if (auto editor = this->editor()) editor->documentPickerWasCancelled();
    }

    std::weak_ptr<ImageDocumentMenuAnswers> self_;

private:
    std::shared_ptr<EditStudyCardViewController> editor() const {
        return std::dynamic_pointer_cast<EditStudyCardViewController>(editor_.lock());
    }
    std::weak_ptr<ViewController> editor_;
};

}  // namespace

void EditStudyCardViewController::presentImageDocumentMenu(const std::shared_ptr<BarButtonItem>& sender) {
    // Image files of the supported types, picked from elsewhere; the answers
    // live as long as the menu and the picker hold them.
    auto answers = std::make_shared<ImageDocumentMenuAnswers>(weak_from_this());
    answers->self_ = answers;
    imageDocumentMenuAnswers_ = answers;
    auto menu = std::make_shared<DocumentMenuViewController>(FCCardImageSupport::supportedImageTypes(),
                                                             DocumentPickerMode::Import);
    menu->setDelegate(std::static_pointer_cast<DocumentMenuDelegate>(answers));
    menu->setModalPresentationStyle(ModalPresentationStyle::Popover);
    if (auto popover = menu->popoverPresentationController()) {
        if (sender)
            popover->setBarButtonItem(sender);
        else
            popover->setSourceView(view());
        // A tap outside the menu abandons the choice: the editor hears of it
        // and takes the placeholder out (presentationControllerDidDismiss).
        popover->setDelegate(std::weak_ptr<AdaptivePresentationControllerDelegate>(sharedSelf()));
    }
    // Shown, the menu is the pop-up a second tap on the photo button closes.
    std::weak_ptr<EditStudyCardViewController> weakSelf = sharedSelf();
    std::weak_ptr<ViewController> weakMenu = menu;
    presentViewController(menu, true, [weakSelf, weakMenu] {
        auto self = weakSelf.lock();
        auto shown = weakMenu.lock();
        if (self && shown && shown->presentingViewController()) self->formattingOptionsPopupViewController_ = shown;
    });
}

void EditStudyCardViewController::documentPickerWasCancelled() {
    removeImagePlaceholder();
}

void EditStudyCardViewController::documentPickerDidPickDocumentAtURL(const URL& url) {
    Error error;
    auto data = FileManager::defaultManager().contentsAtPath(url.path(), &error);
    if (!data) {
        TWLogWarning("Error reading image: %s. Error: %s", url.description().c_str(), error.description().c_str());
    } else if (auto decoded = decodeImageData(*data, 1.0, kMaxImagePixels)) {
        insertImage(decoded->image);
    } else {
        TWLogWarning("Error reading image: %s. Error: not an image that can be shown", url.description().c_str());
    }
    removeImagePlaceholder();
}

// --- Storing an image ---

std::shared_ptr<Image> EditStudyCardViewController::downscaledImage(const std::shared_ptr<Image>& image) {
    if (!image) return nullptr;
    const Size size = image->size();
    if (size.width <= kStoredImageMaxWidth) return image;
    const double height = size.height * kStoredImageMaxWidth / size.width;
    const bool opaque = image->surface() && cairo_image_surface_get_format(image->surface()) == CAIRO_FORMAT_RGB24;
    beginImageContextWithOptions(Size(kStoredImageMaxWidth, std::floor(height)), opaque, 1.0);
    image->drawInRect(Rect(0, 0, kStoredImageMaxWidth, height));
    auto drawn = imageFromCurrentImageContext();
    endImageContext();
    return drawn;
}

void EditStudyCardViewController::insertImage(const std::shared_ptr<Image>& image) {
    auto scaled = downscaledImage(image);
    auto jpeg = scaled ? imageJPEGRepresentation(*scaled, 1.0) : std::nullopt;
    if (!scaled || !jpeg) {
        removeImagePlaceholder();
        return;
    }
    if (!temporaryImageInsertionPointMarkerId_ || !webView_) return;
    auto card = presentationMode_.card();
    auto delegate = deckChangeDelegate();
    if (!delegate || !card) {
        // The page would show an image whose file nobody stores.
        TWLogWarning("The image cannot be stored: the editor has no change delegate");
        removeImagePlaceholder();
        return;
    }
    const std::string name = FCCUniqueId::makeUniqueId() + ".jpg";
    const std::string url = "card-attachment://" + name;
    delegate->addNewImageAttachmentWithName(name, *jpeg, card);
    const auto shown = FCCardImageSupport::htmlImgActualSizeForNativeSize(
        FCCardImageSupport::Size{scaled->size().width, scaled->size().height}, kImageMaxWidth);
    webView_->evaluateJavaScript(
        "window.fcEditor.updateInsertImagePlaceholder('" + *temporaryImageInsertionPointMarkerId_ + "', '" + url +
        "', " + editorNumberText(shown.width) + ", " + editorNumberText(shown.height) + ", " +
        editorNumberText(scaled->size().width) + ", " + editorNumberText(scaled->size().height) + ")");
    temporaryImageInsertionPointMarkerId_.reset();
}

// --- Paste ---

void EditStudyCardViewController::pasteClean() {
    auto& board = Pasteboard::generalPasteboard();
    const bool hasText = board.containsPasteboardType(Pasteboard::kPlainTextType) ||
                         board.containsPasteboardType(Pasteboard::kUTF8PlainTextType);
    if (auto text = hasText ? board.string() : std::nullopt) {
        insertPlainText(twStringByEscapingHTML(*text));
    } else if (auto rtf = board.dataForPasteboardType(Pasteboard::kRTFType)) {
        auto plain = plainTextFromRTF(*rtf);
        if (!plain) return;
        insertPlainText(twStringByEscapingHTML(*plain));
    }
}

void EditStudyCardViewController::insertPlainText(const std::string& text) {
    if (!webView_) return;
    std::string html = stringByReplacingOccurrences(text, "'", "&#39;");
    html = stringByReplacingOccurrences(html, "\r\n", "\n");
    html = stringByReplacingOccurrences(html, "\r", "\n");
    html = stringByReplacingOccurrences(html, "\n", "<br/>");
    FCEditor::make(*webView_)->insertHtmlSnippet(html);
}
