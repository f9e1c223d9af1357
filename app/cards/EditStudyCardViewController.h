#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "app/cards/GlobalEditCardToolbar.h"
#include "platform/foundation/Data.h"
#include "platform/foundation/URL.h"
#include "platform/ui/ImagePickerController.h"
#include "platform/ui/PresentationController.h"
#include "platform/ui/ViewController.h"
#include "umbrella/JavaScriptHandler.h"

class BarButtonItem;
class CardListPresenter;
class DeckChangeDelegate;
class DeckOverviewViewController;
class DocumentItemDetails;
class EditorWebView;
class FCCard;
class Image;
class NotificationObservingCancellationToken;
class TextColorPickerView;
class View;
class WebViewJavaScriptBridge;

// The card editor: the detail pane beside the card list of an open deck, and
// the sheet in which the study screen edits one card. Its view is an
// EditorWebView showing the editing page of the card ("edit-study-card" or
// "edit-topic-card"), with the formatting toolbar above the keyboard while
// a study card is edited. What it shows is its presentation mode; the card
// list answers its questions as its CardListPresenter, and every change goes
// to its DeckChangeDelegate. Main thread.
class EditStudyCardViewController : public ViewController,
                                    public JavaScriptHandler,
                                    public GlobalEditCardToolbarDelegate,
                                    public PopoverPresentationControllerDelegate,
                                    public ImagePickerControllerDelegate {
public:
    static constexpr const char* kSceneIdentifier = "EditStudyCardViewController";
    // The storyboard from which the study screen's bridge makes the editor.
    static constexpr const char* kStoryboardName = "Main_nextgen";
    // The name under which page script reaches the editor (window.nativeApp.editorViewController).
    static constexpr const char* kHandlerName = "editorViewController";
    // Images are shown at most this wide in card HTML, and stored at most twice as wide.
    static constexpr double kImageMaxWidth = 425.0;
    // Image files above this many pixels are refused before they are decoded.
    static constexpr std::uint64_t kMaxImagePixels = 100'000'000;

    // A card of the card list's current list, at its position there.
    struct EditModeModel {
        std::shared_ptr<FCCard> card;
        std::int64_t index = 0;
        bool isReadOnly = false;
        bool isSoloMode = false;
    };

    // What the editor shows.
    class PresentationMode {
    public:
        enum class Kind { coverCard, cardEditor, singleCardModalEditor, blank };

        // The deck's cover: the deck overview, embedded as a child, with the
        // title, subtitle and details it was configured with.
        struct CoverCard {
            std::shared_ptr<DeckOverviewViewController> deckOverview;
            std::string title;
            std::string subtitle;
            std::shared_ptr<DocumentItemDetails> details;
        };
        // One card edited in a sheet; the completion runs when editing is done.
        struct SingleCardModalEditor {
            std::shared_ptr<FCCard> card;
            std::function<void()> completion;
        };
        struct Blank {};

        PresentationMode() = default;
        static PresentationMode coverCard(std::shared_ptr<DeckOverviewViewController> deckOverview,
                                          std::string title = {}, std::string subtitle = {},
                                          std::shared_ptr<DocumentItemDetails> details = nullptr);
        static PresentationMode cardEditor(EditModeModel model);
        static PresentationMode cardEditor(std::shared_ptr<FCCard> card, std::int64_t index, bool isReadOnly,
                                           bool isSoloMode);
        static PresentationMode singleCardModalEditor(std::shared_ptr<FCCard> card, std::function<void()> completion);
        static PresentationMode blank() { return {}; }

        Kind kind() const { return static_cast<Kind>(value_.index()); }
        const CoverCard* asCoverCard() const { return std::get_if<CoverCard>(&value_); }
        const EditModeModel* asCardEditor() const { return std::get_if<EditModeModel>(&value_); }
        const SingleCardModalEditor* asSingleCardModalEditor() const {
            return std::get_if<SingleCardModalEditor>(&value_);
        }
        // The card of cardEditor and singleCardModalEditor, else null.
        std::shared_ptr<FCCard> card() const;
        // cardEditor not read-only, or singleCardModalEditor.
        bool isEditable() const;
        // "coverCard", "cardEditor", "singleCardModalEditor" or "blank".
        std::string name() const;

    private:
        std::variant<CoverCard, EditModeModel, SingleCardModalEditor, Blank> value_ = Blank{};
    };

    EditStudyCardViewController();
    ~EditStudyCardViewController() override;

    // --- What is shown ---
    const PresentationMode& presentationMode() const { return presentationMode_; }
    // Leaves the old mode and shows the new one (the embedded cover, the
    // page's background, the title, the bars).
    void setPresentationMode(PresentationMode mode);

    // --- Set-up (each stores the presenter, the delegate and the preview flag) ---
    // The presenter's card at the index. Without a card there, blank (logged).
    void showCardEditor(std::int64_t index, bool isReadOnly, bool isSoloMode, bool isReadOnlyVersionPreview,
                        std::weak_ptr<CardListPresenter> cardListPresenter,
                        std::weak_ptr<DeckChangeDelegate> deckChangeDelegate);
    void showBlank(std::weak_ptr<CardListPresenter> cardListPresenter,
                   std::weak_ptr<DeckChangeDelegate> deckChangeDelegate, bool isReadOnlyVersionPreview);
    void showDeckOverview(std::string title, std::string subtitle, std::shared_ptr<DocumentItemDetails> details,
                          bool isReadOnlyVersionPreview, std::weak_ptr<CardListPresenter> cardListPresenter,
                          std::weak_ptr<DeckChangeDelegate> deckChangeDelegate);
    // The sheet of the study screen: one card, no presenter.
    void showSingleCardModalEditor(std::shared_ptr<FCCard> card, std::function<void()> completion,
                                   std::weak_ptr<DeckChangeDelegate> deckChangeDelegate);

    std::shared_ptr<CardListPresenter> cardListPresenter() const { return cardListPresenter_.lock(); }
    std::shared_ptr<DeckChangeDelegate> deckChangeDelegate() const { return deckChangeDelegate_.lock(); }
    bool isReadOnlyVersionPreview() const { return isReadOnlyVersionPreview_; }
    // The page has been loaded for the current mode.
    bool didUpdateEditor() const { return didUpdateEditor_; }

    // --- Dimming overlay (laid over the page while the card list edits) ---
    void showDimmingOverlay(bool animated);
    void hideDimmingOverlay(bool animated);
    const std::shared_ptr<View>& dimmingOverlayView() const { return dimmingOverlayView_; }
    bool isDimmed() const { return dimmingOverlayView_ != nullptr; }
    void setDimmingOverlayShown(bool shown, bool animated) {
        shown ? showDimmingOverlay(animated) : hideDimmingOverlay(animated);
    }

    // --- Bars ---
    void updateToolbar(bool animated, bool hasDimmingOverlay);
    void updateNavigationBarItems(bool animated, bool hasDimmingOverlay);
    const std::shared_ptr<BarButtonItem>& addCardBarItem() const { return addCardBarItem_; }
    const std::shared_ptr<BarButtonItem>& prevBarItem() const { return prevBarItem_; }
    const std::shared_ptr<BarButtonItem>& nextBarItem() const { return nextBarItem_; }
    const std::shared_ptr<BarButtonItem>& addStudyCardBarItem() const { return addStudyCardBarItem_; }
    const std::shared_ptr<BarButtonItem>& addTopicCardBarItem() const { return addTopicCardBarItem_; }

    // --- Actions ---
    void showPreviousCard(const AnyObject& sender);
    void showNextCard(const AnyObject& sender);
    void popUpNewCardOptions(const std::shared_ptr<BarButtonItem>& sender);
    void addNewStudyCard(const AnyObject& sender);
    void addNewTopicCard(const AnyObject& sender);
    void doneEditingModally(const AnyObject& sender);
    void memorize(const AnyObject& sender);
    void multipleChoice(const AnyObject& sender);
    void shareDeck(const std::shared_ptr<BarButtonItem>& sender);

    // --- The page ---
    const std::shared_ptr<EditorWebView>& webView() const { return webView_; }
    const std::shared_ptr<WebViewJavaScriptBridge>& webViewJavaScriptBridge() const { return bridge_; }
    // Loads the page of the current mode.
    void reloadEditor();
    // The filled templates (nullopt for a card of neither kind).
    static std::optional<std::string> filledStudyCardTemplate(const std::string& templateText,
                                                              const std::string& question, const std::string& answer,
                                                              bool isEditable);
    static std::optional<std::string> filledTopicCardTemplate(const std::string& templateText, const std::string& title,
                                                              bool isEditable);
    // The script that installs the input listeners on each DOM load.
    static const std::string& inputListenerScript();
    // Page calls (the handler's methods, by selector).
    void handleEditorInputChanged(const Value::Array& arguments);
    void updateFormattingButtons(const Value::Array& arguments);
    void pasteClean();
    // Attachment names removed from the card since the last pruning.
    const std::vector<std::string>& imagesThatMayHaveBeenDeleted() const { return imagesThatMayHaveBeenDeleted_; }
    // Hands the removed names to the change delegate and forgets them.
    void pruneImagesThatMayHaveBeenDeleted();

    // --- Formatting ---
    const TextAttributes& currentTextAttributes() const { return currentTextAttributes_; }
    GlobalEditCardToolbar& editorToolbar() { return *editorToolbar_; }
    const std::shared_ptr<View>& listOptionsView() const { return listOptionsView_; }
    void setListOptionsView(std::shared_ptr<View> view) { listOptionsView_ = std::move(view); }
    const std::shared_ptr<View>& baselineOptionsView() const { return baselineOptionsView_; }
    void setBaselineOptionsView(std::shared_ptr<View> view) { baselineOptionsView_ = std::move(view); }
    const std::shared_ptr<TextColorPickerView>& textColorPickerView() const { return textColorPickerView_; }
    void setTextColorPickerView(std::shared_ptr<TextColorPickerView> view) { textColorPickerView_ = std::move(view); }
    // The pop-up or sheet shown, if any.
    const std::shared_ptr<ViewController>& formattingOptionsPopupViewController() const {
        return formattingOptionsPopupViewController_;
    }
    void insertUnorderedListAction();
    void insertOrderedListAction();
    void superscriptAction();
    void subscriptAction();
    void indentAction();
    void outdentAction();

    // GlobalEditCardToolbarDelegate
    std::shared_ptr<WebView> editorWebView() const override;
    void insertPhoto(const std::shared_ptr<BarButtonItem>& sender) override;
    void popUpColorOptions(const std::shared_ptr<BarButtonItem>& sender) override;
    void popUpListOptions(const std::shared_ptr<BarButtonItem>& sender) override;
    void popUpBaselineOptions(const std::shared_ptr<BarButtonItem>& sender) override;

    // --- Images ---
    const std::optional<std::string>& temporaryImageInsertionPointMarkerId() const {
        return temporaryImageInsertionPointMarkerId_;
    }
    const std::shared_ptr<ViewController>& imagePickerPopoverViewController() const {
        return imagePickerPopoverViewController_;
    }
    // Scales the image to at most twice the shown width, stores it as a JPEG
    // attachment and turns the placeholder into it.
    void insertImage(const std::shared_ptr<Image>& image);
    // Offers image files ("Insert from…"); a picked file arrives in
    // documentPickerDidPickDocumentAtURL, a cancelled choice in
    // documentPickerWasCancelled.
    virtual void presentImageDocumentMenu(const std::shared_ptr<BarButtonItem>& sender);
    // The user picked an image file (from the document picker).
    void documentPickerDidPickDocumentAtURL(const URL& url);
    void documentPickerWasCancelled();
    // The image as stored: unchanged up to 850 points wide, else redrawn 850 wide.
    static std::shared_ptr<Image> downscaledImage(const std::shared_ptr<Image>& image);

    // ImagePickerControllerDelegate
    void imagePickerControllerDidFinishPickingMediaWithInfo(ImagePickerController& picker,
                                                            const ImagePickerMediaInfo& info) override;
    void imagePickerControllerDidCancel(ImagePickerController& picker) override;
    // PopoverPresentationControllerDelegate
    ModalPresentationStyle adaptivePresentationStyleForPresentationController(PresentationController& controller,
                                                                              const TraitCollection& traits) override;
    void presentationControllerDidDismiss(PresentationController& controller) override;

    // --- Lifecycle ---
    void loadView() override;
    void viewDidLoad() override;
    void viewWillAppear(bool animated) override;
    void viewWillDisappear(bool animated) override;
    void traitCollectionDidChange(const std::optional<TraitCollection>& previous) override;

private:
    void takeSetUp(std::weak_ptr<CardListPresenter> presenter, std::weak_ptr<DeckChangeDelegate> delegate,
                   bool isReadOnlyVersionPreview);
    void reloadEditorIfLoaded();
    void removeCoverChild(const PresentationMode& old);
    void embedCover(const std::shared_ptr<DeckOverviewViewController>& overview);
    void updateNavigationTitle();
    void updatePreviousNextButtons();
    std::int64_t currentListCount() const;
    bool canAddCards() const;
    void addNewCard(bool topic);
    void endEditingInWebView();
    void applyInputChange(const std::string& editorId, const std::string& html);
    void setTextAttributes(const TextAttributes& attributes);
    void showPopup(const std::shared_ptr<View>& view, const std::shared_ptr<BarButtonItem>& item, double width,
                   double height);
    bool closeShownPopup();
    void closePopupNow();
    void sendColorCommand(const std::string& name, const std::optional<Color>& color);
    void makeOptionViews();
    void connectColorPicker();
    // Images
    void insertImagePlaceholder();
    void removeImagePlaceholder();
    void showImagePicker(ImagePickerControllerSourceType sourceType, const std::shared_ptr<BarButtonItem>& sender);
    void dismissImagePicker(ImagePickerController& picker);
    void insertPlainText(const std::string& text);
    std::shared_ptr<EditStudyCardViewController> sharedSelf();

    std::weak_ptr<CardListPresenter> cardListPresenter_;
    std::weak_ptr<DeckChangeDelegate> deckChangeDelegate_;
    bool isReadOnlyVersionPreview_ = false;
    TextAttributes currentTextAttributes_;
    std::shared_ptr<View> listOptionsView_;
    std::shared_ptr<View> baselineOptionsView_;
    std::shared_ptr<TextColorPickerView> textColorPickerView_;
    std::shared_ptr<ViewController> formattingOptionsPopupViewController_;
    std::shared_ptr<ViewController> imagePickerPopoverViewController_;
    std::shared_ptr<BarButtonItem> addCardBarItem_;
    std::shared_ptr<BarButtonItem> prevBarItem_;
    std::shared_ptr<BarButtonItem> nextBarItem_;
    std::shared_ptr<BarButtonItem> addStudyCardBarItem_;
    std::shared_ptr<BarButtonItem> addTopicCardBarItem_;
    bool didUpdateEditor_ = false;
    std::vector<std::string> imagesThatMayHaveBeenDeleted_;
    std::optional<std::string> temporaryImageInsertionPointMarkerId_;
    std::shared_ptr<WebViewJavaScriptBridge> bridge_;
    std::unique_ptr<GlobalEditCardToolbar> editorToolbar_;
    std::shared_ptr<View> dimmingOverlayView_;
    PresentationMode presentationMode_;
    std::shared_ptr<NotificationObservingCancellationToken> keyboardWillHideToken_;
    std::shared_ptr<EditorWebView> webView_;
    // What answers the image files' document menu and picker (they hold it weakly).
    std::shared_ptr<void> imageDocumentMenuAnswers_;
};

// The name the card list and the library know the editor's mode by.
using EditStudyCardPresentationMode = EditStudyCardViewController::PresentationMode;
