#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/foundation/Error.h"

class Image;
class LayoutConstraint;
class View;

// Snapshots of a view and two constraint shortcuts.

// The view drawn into a new non-opaque image of its bounds, at the main
// screen's scale (the view's content scale).
std::shared_ptr<Image> viewAsImage(View& view);
// The snapshot's PNG or JPEG (quality 0..1) bytes written to the path.
bool savePNG(View& view, const std::string& path, Error* error = nullptr);
bool saveJPEG(View& view, const std::string& path, double compressionQuality, Error* error = nullptr);

// The constraints of the visual format (no options, no metrics), installed on the view.
std::vector<std::shared_ptr<LayoutConstraint>> twAddConstraintsWithVisualFormat(
    View& view, const std::string& format, const std::map<std::string, std::shared_ptr<View>>& views);
// Centre X and centre Y of the view equal to the superview's; not installed.
std::vector<std::shared_ptr<LayoutConstraint>> twConstraintsToCenterView(const std::shared_ptr<View>& view,
                                                                         const std::shared_ptr<View>& superview);
