#pragma once

#include <optional>
#include <string>

#include "platform/ui/Geometry.h"

struct _cairo;
struct _PangoLayout;
struct _PangoFontDescription;

enum class FontWeight { Regular, Medium, Semibold, Bold, Thin };

// A font: a name and a size in points. Text is measured and drawn with the
// closest family cairo finds (sans-serif for the system and Helvetica faces,
// serif and monospace for those kinds).
class Font {
public:
    static Font systemFont(double size, FontWeight weight = FontWeight::Regular);
    static Font boldSystemFont(double size);
    // A font by its name, or nothing when no font of that name is installed.
    static std::optional<Font> named(const std::string& name, double size);
    // The platform's standard sizes.
    static double systemFontSize() { return 14; }
    static double labelFontSize() { return 17; }
    static double smallSystemFontSize() { return 12; }

    // The installed font names can be changed, as by a font manager; tests use
    // this to take a font away.
    static void registerFontName(const std::string& name);
    static void unregisterFontName(const std::string& name);
    static bool isFontNameRegistered(const std::string& name);

    const std::string& fontName() const { return name_; }
    double pointSize() const { return size_; }
    bool isBold() const { return bold_; }
    bool isSystemFont() const;
    Font withSize(double size) const { return Font(name_, size, bold_); }

    // The family this font is drawn with (a fontconfig alias).
    std::string cairoFamily() const;
    // A Pango layout of one line of text in this font for the cairo context
    // (shaped for any script, with fallback to the installed fonts); the
    // caller releases it with g_object_unref.
    _PangoLayout* layoutLine(_cairo* cr, const std::string& text) const;
    // The Pango description of this font (family, weight, absolute size);
    // the caller releases it with pango_font_description_free.
    _PangoFontDescription* pangoDescription() const;

    // One line of text, measured.
    Size sizeOfText(const std::string& text) const;
    double lineHeight() const;
    double ascender() const;

    bool operator==(const Font&) const = default;

private:
    Font(std::string name, double size, bool bold) : name_(std::move(name)), size_(size), bold_(bold) {}
    std::string name_;
    double size_ = 17;
    bool bold_ = false;
};
