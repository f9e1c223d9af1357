#pragma once

#include <memory>
#include <string>

#include "platform/ui/Image.h"

// The image of a bar item the app names by its own template image: that
// image when the app's resources hold it, else the system symbol that stands
// for it (an item without any image would have no size to tap and no name).
// A name outside the table gives the resource image alone (or null).
std::shared_ptr<Image> barItemImage(const std::string& name);
