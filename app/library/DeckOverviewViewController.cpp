#include "app/library/DeckOverviewViewController.h"

#include <algorithm>

#include "app/library/DocumentItemDetails.h"
#include "app/library/DocumentItemDetailsHelper.h"
#include "platform/ui/Color.h"
#include "platform/ui/Font.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "platform/ui/Storyboard.h"
#include "platform/ui/View.h"

namespace {

// The scene is part of the card editor's storyboard whenever this screen is
// part of the program, so the editor can make it by identifier.
const bool kSceneRegistered = (DeckOverviewViewController::registerStoryboardScene(), true);

}  // namespace

void DeckOverviewViewController::registerStoryboardScene() {
    Storyboard::extendStoryboard(kStoryboardName, "DeckOverview", [](Storyboard& storyboard) {
        storyboard.addScene<DeckOverviewViewController>(kSceneIdentifier, [](DeckOverviewViewController& screen) {
            const double w = 704, h = 768;
            auto root = std::make_shared<View>(Rect(0, 0, w, h));
            auto cover = std::make_shared<ImageView>(Rect(40, 40, w - 80, (w - 80) * 768.0 / 1092.0));
            auto title = std::make_shared<Label>(Rect(40, cover->frame().maxY() + 24, w - 80, 34));
            title->setFont(Font::boldSystemFont(28));
            auto subtitle = std::make_shared<Label>(Rect(40, title->frame().maxY() + 8, w - 80, 22));
            subtitle->setFont(Font::systemFont(17));
            subtitle->setTextColor(Color::secondaryLabelColor());
            root->addSubview(cover);
            root->addSubview(title);
            root->addSubview(subtitle);
            screen.setView(root);
            screen.setCoverImageView(cover);
            screen.setDeckTitleLabel(title);
            screen.setDeckSubtitleLabel(subtitle);
        });
    });
}

void DeckOverviewViewController::configure(const std::string& title, const std::string& subtitle,
                                           std::shared_ptr<DocumentItemDetails> details) {
    deckTitle_ = title;
    if (isViewLoaded() && deckTitleLabel_) deckTitleLabel_->setText(deckTitle_);
    deckSubtitle_ = subtitle;
    if (isViewLoaded() && deckSubtitleLabel_) deckSubtitleLabel_->setText(deckSubtitle_);
    details_ = std::move(details);
    showCover();
}

void DeckOverviewViewController::viewDidLoad() {
    ViewController::viewDidLoad();
    if (deckTitleLabel_) deckTitleLabel_->setText(deckTitle_);
    if (deckSubtitleLabel_) deckSubtitleLabel_->setText(deckSubtitle_);
    showCover();
}

void DeckOverviewViewController::viewDidLayoutSubviews() {
    ViewController::viewDidLayoutSubviews();
    const Rect b = view()->bounds();
    const EdgeInsets insets = view()->safeAreaInsets();
    const double margin = b.width() < 500 ? 20 : 40;
    const double width = std::max(0.0, b.width() - 2 * margin);
    const double top = insets.top + margin;
    // At most half the pane's height, so that the texts stay in view.
    const double height = std::min(width * 768.0 / 1092.0, std::max(0.0, (b.height() - top) / 2));
    if (coverImageView_) coverImageView_->setFrame(Rect(margin, top, width, height));
    double y = top + height + 24;
    for (const auto& label : {deckTitleLabel_, deckSubtitleLabel_}) {
        if (!label) continue;
        const double lineHeight = label->sizeThatFits({width, 0}).height;
        label->setFrame(Rect(margin, y, width, lineHeight));
        y += lineHeight + 8;
    }
}

// A view loaded without details shows the list's placeholder cover on the
// default background.
void DeckOverviewViewController::showCover() {
    if (!isViewLoaded() || !coverImageView_) return;
    coverImageView_->setImage(details_ ? details_->coverImage()
                                       : DocumentItemDetailsHelper::shared().placeholderImage());
    coverImageView_->setBackgroundColor(details_ ? details_->coverImageBackgroundColor() : std::nullopt);
    coverImageView_->setContentMode(ContentMode::ScaleAspectFit);
}
