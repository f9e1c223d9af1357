#include "platform/ui/SymbolIcons.h"

#include <cairo.h>
#include <librsvg/rsvg.h>

#include <algorithm>
#include <array>
#include <filesystem>

namespace SymbolIcons {

namespace {

struct SymbolIcon {
    const char* symbol;
    const char* icon;  // in the theme, without the "-symbolic.svg" suffix
    std::optional<BarButtonSystemItem> systemItem;
};

// Every symbol the platform draws: the names the app gives images and the
// symbols of the ready-made bar items.
const std::array kSymbolIcons{
    SymbolIcon{"plus", "list-add", BarButtonSystemItem::Add},
    SymbolIcon{"gear", "emblem-system", std::nullopt},
    SymbolIcon{"antenna.radiowaves.left.and.right", "network-wireless", std::nullopt},
    SymbolIcon{"speaker.wave.2", "audio-volume-high", std::nullopt},
    SymbolIcon{"calendar", "x-office-calendar", std::nullopt},
    SymbolIcon{"link", "insert-link", std::nullopt},
    SymbolIcon{"info.circle", "help-about", std::nullopt},
    SymbolIcon{"chevron.backward", "go-previous", std::nullopt},
    SymbolIcon{"trash", "user-trash", BarButtonSystemItem::Trash},
    SymbolIcon{"square.and.arrow.up", "send-to", BarButtonSystemItem::Action},
    SymbolIcon{"play.fill", "media-playback-start", BarButtonSystemItem::Play},
    SymbolIcon{"pause.fill", "media-playback-pause", BarButtonSystemItem::Pause},
    SymbolIcon{"backward.fill", "media-seek-backward", BarButtonSystemItem::Rewind},
    SymbolIcon{"forward.fill", "media-seek-forward", BarButtonSystemItem::FastForward},
    SymbolIcon{"folder", "folder", BarButtonSystemItem::Organize},
    SymbolIcon{"square.and.pencil", "document-edit", BarButtonSystemItem::Compose},
    SymbolIcon{"arrowshape.turn.up.left", "mail-reply-sender", BarButtonSystemItem::Reply},
    SymbolIcon{"book", "user-bookmarks", BarButtonSystemItem::Bookmarks},
    SymbolIcon{"magnifyingglass", "edit-find", BarButtonSystemItem::Search},
    SymbolIcon{"arrow.clockwise", "view-refresh", BarButtonSystemItem::Refresh},
    SymbolIcon{"xmark", "process-stop", BarButtonSystemItem::Stop},
    SymbolIcon{"camera", "camera-photo", BarButtonSystemItem::Camera},
    SymbolIcon{"xmark.circle", "window-close", BarButtonSystemItem::Close},
    SymbolIcon{"chevron.up", "go-up", std::nullopt},
    SymbolIcon{"chevron.down", "go-down", std::nullopt},
    SymbolIcon{"plus.rectangle", "document-new", std::nullopt},
    SymbolIcon{"folder.badge.plus", "folder-new", std::nullopt},
    SymbolIcon{"list.bullet", "view-list-bullet", std::nullopt},
    SymbolIcon{"underline", "format-text-underline", std::nullopt},
    SymbolIcon{"eraser", "edit-clear", std::nullopt},
    SymbolIcon{"photo", "image-x-generic", std::nullopt},
    SymbolIcon{"doc", "text-x-generic", std::nullopt},
    SymbolIcon{"paintpalette", "applications-graphics", std::nullopt},
};

const std::filesystem::path kThemeFolder = "/usr/share/icons/Adwaita";

}  // namespace

std::optional<std::string> iconNameForSymbol(const std::string& symbol) {
    auto it = std::find_if(kSymbolIcons.begin(), kSymbolIcons.end(),
                           [&](const SymbolIcon& entry) { return symbol == entry.symbol; });
    if (it == kSymbolIcons.end()) return std::nullopt;
    return it->icon;
}

std::optional<std::string> symbolForSystemItem(BarButtonSystemItem item) {
    auto it = std::find_if(kSymbolIcons.begin(), kSymbolIcons.end(),
                           [&](const SymbolIcon& entry) { return entry.systemItem == item; });
    if (it == kSymbolIcons.end()) return std::nullopt;
    return it->symbol;
}

std::optional<std::string> iconPath(const std::string& iconName) {
    const std::string file = iconName + "-symbolic.svg";
    // The theme keeps its symbolic icons by context, under "scalable" (older
    // releases: "symbolic").
    for (const char* set : {"scalable", "symbolic"}) {
        std::error_code error;
        for (std::filesystem::directory_iterator it(kThemeFolder / set, error), end; !error && it != end;
             it.increment(error)) {
            const auto candidate = it->path() / file;
            if (std::filesystem::is_regular_file(candidate, error)) return candidate.string();
        }
    }
    return std::nullopt;
}

bool drawSymbol(cairo_t* cr, const std::string& symbol, const Rect& rect) {
    const auto icon = iconNameForSymbol(symbol);
    const auto path = icon ? iconPath(*icon) : std::nullopt;
    if (!path) return false;
    GError* error = nullptr;
    RsvgHandle* handle = rsvg_handle_new_from_file(path->c_str(), &error);
    if (!handle) {
        g_clear_error(&error);
        return false;
    }
    // The icon keeps its own aspect within the viewport, centred.
    const RsvgRectangle viewport{rect.origin.x, rect.origin.y, rect.size.width, rect.size.height};
    const bool drawn = rsvg_handle_render_document(handle, cr, &viewport, &error);
    g_clear_error(&error);
    g_object_unref(handle);
    return drawn;
}

}  // namespace SymbolIcons
