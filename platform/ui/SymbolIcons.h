#pragma once

#include <optional>
#include <string>

#include "platform/ui/BarButtonItem.h"
#include "platform/ui/Geometry.h"

typedef struct _cairo cairo_t;

// The pictures of the system's symbols: each symbol the app names (and each
// symbol a ready-made bar item shows) is drawn as an icon of the desktop's
// symbolic icon theme (Adwaita), from its SVG file.
namespace SymbolIcons {

// The theme icon that draws a symbol ("list-add" for "plus"), or nullopt.
std::optional<std::string> iconNameForSymbol(const std::string& symbol);
// The symbol a ready-made bar item shows in place of a title ("plus" for
// Add), or nullopt for the items with a title and the spaces.
std::optional<std::string> symbolForSystemItem(BarButtonSystemItem item);
// The SVG file of a theme icon, or nullopt where the theme lacks it.
std::optional<std::string> iconPath(const std::string& iconName);

// Draws the symbol's shape into the rectangle (fitted, centred), opaque where
// the icon is; false, drawing nothing, for an unknown symbol or a missing
// icon file.
bool drawSymbol(cairo_t* cr, const std::string& symbol, const Rect& rect);

}  // namespace SymbolIcons
