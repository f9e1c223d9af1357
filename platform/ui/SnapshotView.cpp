#include "platform/ui/SnapshotView.h"

#include "platform/ui/Screen.h"
#include "platform/ui/ViewRendering.h"

std::shared_ptr<SnapshotView> SnapshotView::snapshotOfView(View& view, bool afterScreenUpdates) {
    if (afterScreenUpdates) view.layoutIfNeeded();
    const Rect bounds = view.bounds();
    auto snapshot = std::make_shared<SnapshotView>(Rect(0, 0, bounds.size.width, bounds.size.height));
    snapshot->snapshotted_ = view.weak_from_this();
    snapshot->setUserInteractionEnabled(false);
    if (bounds.size.width > 0 && bounds.size.height > 0)
        snapshot->setImage(renderViewToImage(view, Screen::main().scale()));
    return snapshot;
}
