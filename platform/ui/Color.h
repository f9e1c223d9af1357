#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/ui/TraitCollection.h"

// A colour: red, green, blue and alpha, each 0 to 1 (not clamped, as the
// platform's extended colours allow), or a dynamic colour that resolves to
// one of those by the current traits (light and dark appearance).
//
// A colour is a value; "no colour" is std::optional<Color>.
class Color {
public:
    using Provider = std::function<Color(const TraitCollection&)>;

    // Opaque black.
    Color() = default;
    Color(double red, double green, double blue, double alpha = 1.0) : r_(red), g_(green), b_(blue), a_(alpha) {}
    static Color white(double white, double alpha = 1.0) { return Color(white, white, white, alpha); }
    // 0xRRGGBB.
    static Color rgb(unsigned int hex, double alpha = 1.0);
    // A colour whose components depend on the traits it is resolved with.
    static Color dynamic(Provider provider);
    static Color dynamic(const Color& light, const Color& dark);

    // Named colours of the platform.
    static Color blackColor() { return Color(0, 0, 0); }
    static Color whiteColor() { return Color(1, 1, 1); }
    static Color clearColor() { return Color(0, 0, 0, 0); }
    static Color redColor() { return Color(1, 0, 0); }
    static Color greenColor() { return Color(0, 1, 0); }
    static Color blueColor() { return Color(0, 0, 1); }
    static Color grayColor() { return white(0.5); }
    static Color lightGrayColor() { return white(2.0 / 3.0); }
    static Color darkGrayColor() { return white(1.0 / 3.0); }
    // System colours; the dynamic ones differ in light and dark appearance.
    static Color systemGrayColor();
    static Color systemBlueColor();
    static Color systemRedColor();
    static Color systemBackgroundColor();
    static Color secondarySystemBackgroundColor();
    static Color labelColor();
    static Color secondaryLabelColor();
    static Color separatorColor();

    bool isDynamic() const { return static_cast<bool>(provider_); }
    // The fixed colour for these traits; a fixed colour gives itself.
    Color resolvedColor(const TraitCollection& traits) const;

    // Components in the current traits (TraitCollection::current()).
    double red() const { return resolvedColor(TraitCollection::current()).r_; }
    double green() const { return resolvedColor(TraitCollection::current()).g_; }
    double blue() const { return resolvedColor(TraitCollection::current()).b_; }
    double alpha() const { return resolvedColor(TraitCollection::current()).a_; }
    // The platform's getRed:green:blue:alpha:; every colour here can answer.
    bool getRed(double* red, double* green, double* blue, double* alpha) const;

    Color withAlphaComponent(double alpha) const;

    // Fixed colours are equal when their components are; dynamic colours when
    // they share their provider.
    bool operator==(const Color& other) const;

    // "UIExtendedSRGBColorSpace 1 0 0 1", as the platform describes colours.
    std::string description() const;

private:
    double r_ = 0, g_ = 0, b_ = 0, a_ = 1;
    std::shared_ptr<const Provider> provider_;
};
