#pragma once

#include "platform/ui/Color.h"
#include "platform/ui/Layer.h"
#include "platform/ui/View.h"

// The shadow under the pages of a multiple-choice test: black, radius 4,
// opacity 0.8.
inline void addStudyPageShadow(View& view) {
    view.layer().setShadowColor(Color::blackColor());
    view.layer().setShadowRadius(4);
    view.layer().setShadowOpacity(0.8);
}
