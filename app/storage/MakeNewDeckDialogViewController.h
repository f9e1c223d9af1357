#pragma once

// The new-deck dialog: a small table screen with the deck's title field
// (section 0) and its cover row (row 0 of section 1), a Create and a Cancel
// button. It makes nothing itself: once it has been dismissed it hands the
// title, trimmed of white space and line breaks at both ends, and the chosen
// cover style to its completion block (no title and no style after Cancel),
// exactly once. Create stays disabled while the title trims to nothing.
//
// The cover starts as the default style; the cover row opens the cover
// picker, whose wheels always start on the default style, and every pick
// shows the new cover at once: the style's icon fitted to the cover view,
// centred on the style's mapped background colour, or filling the view when
// the style's start colour has none.
//
// Made from the storyboard scene kSceneIdentifier (addScenes), inside the
// navigation scene kNavigationSceneIdentifier that the library's
// "CreateDeckSegue" presents; the presenter sets the completion block in its
// segue preparation. Main thread only.

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/library/PickCoverStyleController.h"
#include "platform/ui/TableViewController.h"

class BarButtonItem;
class FCCoverStyle;
class ImageView;
class Storyboard;
class TextField;

class MakeNewDeckDialogViewController : public TableViewController, public PickCoverStyleControllerDelegate {
public:
    static constexpr const char* kSceneIdentifier = "MakeNewDeckDialogViewController";
    static constexpr const char* kNavigationSceneIdentifier = "MakeNewDeckDialogNavigationController";
    static constexpr double kTitleRowHeight = 44;
    static constexpr double kEstimatedRowHeight = 44;

    using CompletionBlock =
        std::function<void(const std::optional<std::string>& title, const std::shared_ptr<FCCoverStyle>& coverStyle)>;

    // The dialog's scene (its table, the two static cells, the bar buttons
    // and their texts) and the navigation scene around it.
    static void addScenes(Storyboard& storyboard);

    MakeNewDeckDialogViewController() : TableViewController(TableViewStyle::Grouped) {}

    // --- Outlets ---
    const std::shared_ptr<BarButtonItem>& createDeckBarButtonItem() const { return createDeckBarButtonItem_; }
    void setCreateDeckBarButtonItem(std::shared_ptr<BarButtonItem> item) { createDeckBarButtonItem_ = std::move(item); }
    const std::shared_ptr<TextField>& deckTitleTextField() const { return deckTitleTextField_; }
    void setDeckTitleTextField(std::shared_ptr<TextField> field) { deckTitleTextField_ = std::move(field); }
    const std::shared_ptr<ImageView>& coverImageView() const { return coverImageView_; }
    void setCoverImageView(std::shared_ptr<ImageView> view) { coverImageView_ = std::move(view); }

    // --- State ---
    const CompletionBlock& completionBlock() const { return completionBlock_; }
    void setCompletionBlock(CompletionBlock block) { completionBlock_ = std::move(block); }
    const std::shared_ptr<PickCoverStyleController>& pickCoverStyleController() const {
        return pickCoverStyleController_;
    }
    const std::shared_ptr<FCCoverStyle>& coverStyle() const { return coverStyle_; }
    // The placeholder document the picker is shown for (the deck has no file yet).
    static URL placeholderDocumentURL();

    // --- Lifecycle ---
    void viewDidLoad() override;
    void viewWillAppear(bool animated) override;
    void viewDidAppear(bool animated) override;

    // --- Actions ---
    void createDeck(const AnyObject& sender);
    void cancel(const AnyObject& sender);
    void changeCover(const AnyObject& sender);
    void deckTitleTextFieldChanged(const AnyObject& sender);

    // --- Table ---
    double heightForRowAtIndexPath(TableView& tableView, const IndexPath& indexPath) override;
    bool shouldHighlightRowAtIndexPath(TableView& tableView, const IndexPath& indexPath) override;
    void didSelectRowAtIndexPath(TableView& tableView, const IndexPath& indexPath) override;

    // --- PickCoverStyleControllerDelegate ---
    void pickCoverStyleControllerDidFinish(PickCoverStyleController& controller) override;
    void pickCoverStyleController(PickCoverStyleController& controller, const std::shared_ptr<FCCoverStyle>& coverStyle,
                                  const std::optional<URL>& documentURL) override;

private:
    // The title field's text trimmed at both ends ("" without a text).
    std::string trimmedTitle() const;
    void updateCreateButtonState();
    void updateCoverImage();
    void dismissThenComplete(std::optional<std::string> title, std::shared_ptr<FCCoverStyle> coverStyle);

    std::shared_ptr<BarButtonItem> createDeckBarButtonItem_;
    std::shared_ptr<TextField> deckTitleTextField_;
    std::shared_ptr<ImageView> coverImageView_;
    CompletionBlock completionBlock_;
    std::shared_ptr<PickCoverStyleController> pickCoverStyleController_;
    std::shared_ptr<FCCoverStyle> coverStyle_;
};
