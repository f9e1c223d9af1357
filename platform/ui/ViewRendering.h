#pragma once

#include <memory>
#include <string>

#include "platform/foundation/Error.h"

class Image;
class View;

// Draws a view and everything in it (its layer tree, with what animations
// show at the current time) into a new image of the view's bounds. The
// view's traits are the current ones while it draws; it is laid out first.
std::shared_ptr<Image> renderViewToImage(View& view, double scale = 1);
// The same, written as a PNG file.
bool writeViewPNG(View& view, const std::string& path, double scale = 1, Error* error = nullptr);
