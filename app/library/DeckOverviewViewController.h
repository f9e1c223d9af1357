#pragma once

#include <memory>
#include <string>

#include "platform/ui/ViewController.h"

class DocumentItemDetails;
class ImageView;
class Label;

// The overview of an open deck that the card editor shows in place of a card:
// the deck's title, a subtitle and its large cover (a DocumentItemDetails the
// deck library made for the opened deck). Made from the storyboard scene
// "DeckOverviewViewController" and configured at once; configuring again later
// updates the screen in place. Main thread.
class DeckOverviewViewController : public ViewController {
public:
    static constexpr const char* kSceneIdentifier = "DeckOverviewViewController";
    // The storyboard that holds the scene (the card editor's).
    static constexpr const char* kStoryboardName = "Main";
    // Adds the scene to the storyboard (done once at start-up; again is harmless).
    static void registerStoryboardScene();

    // Outlets, set by the scene.
    const std::shared_ptr<Label>& deckTitleLabel() const { return deckTitleLabel_; }
    void setDeckTitleLabel(std::shared_ptr<Label> label) { deckTitleLabel_ = std::move(label); }
    const std::shared_ptr<Label>& deckSubtitleLabel() const { return deckSubtitleLabel_; }
    void setDeckSubtitleLabel(std::shared_ptr<Label> label) { deckSubtitleLabel_ = std::move(label); }
    const std::shared_ptr<ImageView>& coverImageView() const { return coverImageView_; }
    void setCoverImageView(std::shared_ptr<ImageView> view) { coverImageView_ = std::move(view); }

    const std::string& deckTitle() const { return deckTitle_; }
    const std::string& deckSubtitle() const { return deckSubtitle_; }
    const std::shared_ptr<DocumentItemDetails>& details() const { return details_; }

    // Stores the values; with the view loaded, shows them at once.
    void configure(const std::string& title, const std::string& subtitle, std::shared_ptr<DocumentItemDetails> details);

    void viewDidLoad() override;
    // The cover as wide as the pane allows at the covers' proportions, the
    // title and subtitle beneath it, whatever size the pane has.
    void viewDidLayoutSubviews() override;

private:
    void showCover();

    std::shared_ptr<Label> deckTitleLabel_;
    std::shared_ptr<Label> deckSubtitleLabel_;
    std::shared_ptr<ImageView> coverImageView_;
    std::string deckTitle_;
    std::string deckSubtitle_;
    std::shared_ptr<DocumentItemDetails> details_;
};
