#pragma once

#include <memory>

#include "platform/ui/ImageView.h"

// A view that shows a picture of another view taken when it was made: what
// the view (with everything in it) showed at that moment, as large as its
// bounds. It takes no touches and does not follow later changes of the view.
class SnapshotView : public ImageView {
public:
    // `afterScreenUpdates` lays the view out before taking the picture; the
    // picture is drawn at the main screen's scale.
    static std::shared_ptr<SnapshotView> snapshotOfView(View& view, bool afterScreenUpdates);

    // The view the picture was taken of, if it is still there.
    std::shared_ptr<View> snapshottedView() const { return snapshotted_.lock(); }

    explicit SnapshotView(const Rect& frame) : ImageView(frame) {}

private:
    std::weak_ptr<View> snapshotted_;
};
