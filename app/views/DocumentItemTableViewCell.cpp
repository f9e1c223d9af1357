#include "app/views/DocumentItemTableViewCell.h"

#include <algorithm>

#include "app/views/ColorAdditions.h"
#include "app/views/CompatibleColor.h"
#include "platform/ui/LayoutConstraint.h"

DocumentItemTableViewCell::DocumentItemTableViewCell(TableViewCellStyle style,
                                                     std::optional<std::string> reuseIdentifier)
    : TableViewCell(style, std::move(reuseIdentifier)) {}

DocumentItemTableViewCell::DocumentItemTableViewCell(const Coder& coder) : TableViewCell(coder) {
    // The interface file's outlets, laid out within the content view by layOutOutlets.
    auto cover = std::make_shared<ImageView>();
    cover->setClipsToBounds(true);
    auto title = std::make_shared<Label>();
    auto subtitle = std::make_shared<Label>();
    subtitle->setFont(Font::systemFont(13));
    subtitle->setTextColor(Color::secondaryLabelColor());
    auto progress = std::make_shared<ProgressView>();
    for (const std::shared_ptr<View>& view :
         std::initializer_list<std::shared_ptr<View>>{cover, title, subtitle, progress})
        contentView()->addSubview(view);
    coverImageView_ = cover;
    titleLabel_ = title;
    subtitleLabel_ = subtitle;
    deckProgressView_ = progress;
    layOutOutlets();
}

void DocumentItemTableViewCell::layoutSubviews() {
    TableViewCell::layoutSubviews();
    layOutOutlets();
}

void DocumentItemTableViewCell::layOutOutlets() {
    // The cover at the leading edge, the texts and the progress bar beside it
    // up to the margin: all within the content view, which the editing
    // controls and the accessory narrow.
    const Rect b = contentView()->bounds();
    const double coverWidth = 64, coverHeight = 45, margin = 16, textX = margin + coverWidth + 12;
    const double textWidth = std::max(0.0, b.size.width - textX - margin);
    if (auto cover = coverImageView())
        cover->setFrame(Rect(margin, (b.size.height - coverHeight) / 2, coverWidth, coverHeight));
    if (auto title = titleLabel()) title->setFrame(Rect(textX, 8, textWidth, 21));
    if (auto subtitle = subtitleLabel()) subtitle->setFrame(Rect(textX, 30, textWidth, 16));
    if (auto progress = deckProgressView()) progress->setFrame(Rect(textX, b.size.height - 10, textWidth, 4));
}

void DocumentItemTableViewCell::awakeFromNib() {
    TableViewCell::awakeFromNib();
    auto cover = coverImageView();
    if (!cover) return;
    std::weak_ptr<View> weak = weak_from_this();
    auto tap = std::make_shared<TapGestureRecognizer>([weak](GestureRecognizer& recognizer) {
        if (auto self = std::static_pointer_cast<DocumentItemTableViewCell>(weak.lock()))
            self->handleCoverImageTap(recognizer);
    });
    tap->setNumberOfTapsRequired(1);
    cover->setUserInteractionEnabled(false);
    cover->addGestureRecognizer(tap);
}

void DocumentItemTableViewCell::handleCoverImageTap(GestureRecognizer&) {
    if (auto delegate = delegate_.lock()) delegate->handleCoverImageTap(*this);
}

void DocumentItemTableViewCell::setCoverImage(std::shared_ptr<Image> image) {
    coverImage_ = std::move(image);
    if (auto cover = coverImageView()) {
        cover->setImage(coverImage_);
        cover->setBackgroundColor(coverImage_ ? CompatibleColor::systemBackground()
                                              : *twColorFromHexString(kNoCoverHexColor));
    }
}

void DocumentItemTableViewCell::setICloudStatusText(std::optional<std::string> text) {
    iCloudStatusText_ = std::move(text);
    if (!iCloudStatusText_) {
        if (iCloudStatusView_) iCloudStatusView_->removeFromSuperview();
        iCloudStatusView_.reset();
        return;
    }
    auto cover = coverImageView();
    if (!cover) return;
    if (!iCloudStatusView_) {
        auto badge = std::make_shared<FITriangleLabel>();
        badge->setTranslatesAutoresizingMaskIntoConstraints(false);
        badge->setFont(Font::named("HelveticaNeue", 12).value_or(Font::systemFont(13)));
        badge->setTextColor(Color::whiteColor());
        cover->addSubview(badge);
        cover->addConstraints({
            LayoutConstraint::constraintWithItem(badge, LayoutAttribute::Right, LayoutRelation::Equal, cover,
                                                 LayoutAttribute::Right, 1, 0),
            LayoutConstraint::constraintWithItem(badge, LayoutAttribute::Top, LayoutRelation::Equal, cover,
                                                 LayoutAttribute::Top, 1, 0),
            LayoutConstraint::constraintWithItem(badge, LayoutAttribute::Width, LayoutRelation::Equal, cover,
                                                 LayoutAttribute::Width, 0.25, 0),
            LayoutConstraint::constraintWithItem(badge, LayoutAttribute::Height, LayoutRelation::Equal, cover,
                                                 LayoutAttribute::Height, 0.5, 0),
        });
        iCloudStatusView_ = badge;
    }
    iCloudStatusView_->setText(iCloudStatusText_);
}

void DocumentItemTableViewCell::pinToCover(const std::shared_ptr<View>& overlay) {
    auto cover = coverImageView();
    cover->addSubview(overlay);
    const std::map<std::string, std::shared_ptr<View>> views{{"indicator", overlay}};
    cover->addConstraints(LayoutConstraint::constraintsWithVisualFormat("H:|[indicator]|", 0, {}, views));
    cover->addConstraints(LayoutConstraint::constraintsWithVisualFormat("V:|[indicator]|", 0, {}, views));
}

void DocumentItemTableViewCell::setWantsPendingOpenIndicator(bool wants) {
    wantsPendingOpenIndicator_ = wants;
    if (wants && !pendingOpenIndicatorView_ && coverImageView()) {
        auto indicator = std::make_shared<ActivityIndicatorView>(ActivityIndicatorViewStyle::White);
        indicator->setTranslatesAutoresizingMaskIntoConstraints(false);
        indicator->layer().setBackgroundColor(Color::blackColor().withAlphaComponent(0.3));
        pinToCover(indicator);
        indicator->startAnimating();
        pendingOpenIndicatorView_ = indicator;
    } else if (!wants && pendingOpenIndicatorView_) {
        pendingOpenIndicatorView_->removeFromSuperview();
        pendingOpenIndicatorView_.reset();
    }
}

void DocumentItemTableViewCell::setWantsEditCoverIndictator(bool wants) {
    wantsEditCoverIndictator_ = wants;
    if (wants && !editCoverIndicatorView_ && coverImageView()) {
        auto pencil = Image::named("PencilTemplate");
        auto indicator = std::make_shared<ImageView>(
            pencil ? pencil->imageWithRenderingMode(ImageRenderingMode::AlwaysTemplate) : nullptr);
        indicator->setTranslatesAutoresizingMaskIntoConstraints(false);
        indicator->setContentMode(ContentMode::BottomRight);
        indicator->setTintColor(Color::whiteColor());
        indicator->setAlpha(0.5);
        indicator->layer().setBackgroundColor(Color::blackColor().withAlphaComponent(0.3));
        pinToCover(indicator);
        editCoverIndicatorView_ = indicator;
    } else if (!wants && editCoverIndicatorView_) {
        editCoverIndicatorView_->removeFromSuperview();
        editCoverIndicatorView_.reset();
    }
    if (auto cover = coverImageView()) cover->setUserInteractionEnabled(wants);
}

void DocumentItemTableViewCell::prepareForReuse() {
    TableViewCell::prepareForReuse();
    if (auto title = titleLabel()) title->setText(std::string());
    if (auto subtitle = subtitleLabel()) subtitle->setText(std::string());
    if (auto progress = deckProgressView()) progress->setProgress(0, false);
    setCoverImage(nullptr);
    setWantsPendingOpenIndicator(false);
}
