#pragma once

#include <memory>
#include <optional>
#include <string>

#include "app/views/FITriangleLabel.h"
#include "platform/ui/ActivityIndicatorView.h"
#include "platform/ui/GestureRecognizer.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "platform/ui/ProgressView.h"
#include "platform/ui/TableViewCell.h"

class DocumentItemTableViewCell;

class DocumentItemTableViewCellDelegate {
public:
    virtual ~DocumentItemTableViewCellDelegate() = default;
    // The cover image of the cell was tapped.
    virtual void handleCoverImageTap(DocumentItemTableViewCell& cell) = 0;
};

// A row of the deck library: a cover with a title, a subtitle and a progress
// bar, and three overlays on the cover that the library switches: an iCloud
// status badge in the upper right corner, a spinner while the deck opens, and
// a pencil while covers can be changed (the cover then takes taps).
//
// Made from the library's interface file (the Coder constructor lays out the
// outlets); made in code it has no outlets.
class DocumentItemTableViewCell : public TableViewCell {
public:
    static constexpr const char* kNoCoverHexColor = "eeeeee";

    DocumentItemTableViewCell(TableViewCellStyle style, std::optional<std::string> reuseIdentifier);
    explicit DocumentItemTableViewCell(const Coder& coder);

    // Outlets (held weakly; the cell's content owns the views).
    std::shared_ptr<ImageView> coverImageView() const { return coverImageView_.lock(); }
    std::shared_ptr<Label> titleLabel() const { return titleLabel_.lock(); }
    std::shared_ptr<Label> subtitleLabel() const { return subtitleLabel_.lock(); }
    std::shared_ptr<ProgressView> deckProgressView() const { return deckProgressView_.lock(); }

    const std::weak_ptr<DocumentItemTableViewCellDelegate>& delegate() const { return delegate_; }
    void setDelegate(std::weak_ptr<DocumentItemTableViewCellDelegate> delegate) { delegate_ = std::move(delegate); }

    const std::shared_ptr<Image>& coverImage() const { return coverImage_; }
    void setCoverImage(std::shared_ptr<Image> image);
    const std::optional<std::string>& iCloudStatusText() const { return iCloudStatusText_; }
    void setICloudStatusText(std::optional<std::string> text);
    bool wantsPendingOpenIndicator() const { return wantsPendingOpenIndicator_; }
    void setWantsPendingOpenIndicator(bool wants);
    bool wantsEditCoverIndictator() const { return wantsEditCoverIndictator_; }
    void setWantsEditCoverIndictator(bool wants);

    // The overlays, while shown.
    const std::shared_ptr<FITriangleLabel>& iCloudStatusView() const { return iCloudStatusView_; }
    const std::shared_ptr<ActivityIndicatorView>& pendingOpenIndicatorView() const { return pendingOpenIndicatorView_; }
    const std::shared_ptr<ImageView>& editCoverIndicatorView() const { return editCoverIndicatorView_; }

    void awakeFromNib() override;
    void prepareForReuse() override;
    void layoutSubviews() override;
    void handleCoverImageTap(GestureRecognizer& recognizer);

private:
    // Places the outlets within the content view's bounds.
    void layOutOutlets();
    // Pins an overlay to all four edges of the cover.
    void pinToCover(const std::shared_ptr<View>& overlay);

    std::weak_ptr<ImageView> coverImageView_;
    std::weak_ptr<Label> titleLabel_;
    std::weak_ptr<Label> subtitleLabel_;
    std::weak_ptr<ProgressView> deckProgressView_;
    std::weak_ptr<DocumentItemTableViewCellDelegate> delegate_;
    std::shared_ptr<Image> coverImage_;
    std::optional<std::string> iCloudStatusText_;
    bool wantsPendingOpenIndicator_ = false;
    bool wantsEditCoverIndictator_ = false;
    std::shared_ptr<FITriangleLabel> iCloudStatusView_;
    std::shared_ptr<ActivityIndicatorView> pendingOpenIndicatorView_;
    std::shared_ptr<ImageView> editCoverIndicatorView_;
};
