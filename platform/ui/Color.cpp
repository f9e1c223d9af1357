#include "platform/ui/Color.h"

#include "platform/foundation/Format.h"

Color Color::rgb(unsigned int hex, double alpha) {
    return Color(((hex >> 16) & 0xFF) / 255.0, ((hex >> 8) & 0xFF) / 255.0, (hex & 0xFF) / 255.0, alpha);
}

Color Color::dynamic(Provider provider) {
    Color c;
    c.provider_ = std::make_shared<const Provider>(std::move(provider));
    // The components a dynamic colour keeps for itself are its light appearance.
    Color light = c.resolvedColor(TraitCollection{});
    c.r_ = light.r_;
    c.g_ = light.g_;
    c.b_ = light.b_;
    c.a_ = light.a_;
    return c;
}

Color Color::dynamic(const Color& light, const Color& dark) {
    return dynamic([light, dark](const TraitCollection& traits) {
        return traits.userInterfaceStyle == UserInterfaceStyle::Dark ? dark : light;
    });
}

Color Color::systemGrayColor() {
    return Color(142 / 255.0, 142 / 255.0, 147 / 255.0);
}

Color Color::systemRedColor() {
    static const Color color = dynamic(Color(1, 59 / 255.0, 48 / 255.0), Color(1, 69 / 255.0, 58 / 255.0));
    return color;
}

Color Color::systemBlueColor() {
    static const Color color = dynamic(Color(0, 122 / 255.0, 1), Color(10 / 255.0, 132 / 255.0, 1));
    return color;
}

Color Color::systemBackgroundColor() {
    static const Color color = dynamic(whiteColor(), blackColor());
    return color;
}

Color Color::secondarySystemBackgroundColor() {
    static const Color color =
        dynamic(Color(242 / 255.0, 242 / 255.0, 247 / 255.0), Color(28 / 255.0, 28 / 255.0, 30 / 255.0));
    return color;
}

Color Color::labelColor() {
    static const Color color = dynamic(blackColor(), whiteColor());
    return color;
}

Color Color::secondaryLabelColor() {
    static const Color color =
        dynamic(Color(60 / 255.0, 60 / 255.0, 67 / 255.0, 0.6), Color(235 / 255.0, 235 / 255.0, 245 / 255.0, 0.6));
    return color;
}

Color Color::separatorColor() {
    static const Color color =
        dynamic(Color(60 / 255.0, 60 / 255.0, 67 / 255.0, 0.29), Color(84 / 255.0, 84 / 255.0, 88 / 255.0, 0.6));
    return color;
}

Color Color::resolvedColor(const TraitCollection& traits) const {
    if (!provider_) return *this;
    Color resolved = (*provider_)(traits);
    // A provider may hand back another dynamic colour.
    return resolved.isDynamic() ? resolved.resolvedColor(traits) : resolved;
}

bool Color::getRed(double* red, double* green, double* blue, double* alpha) const {
    Color c = resolvedColor(TraitCollection::current());
    if (red) *red = c.r_;
    if (green) *green = c.g_;
    if (blue) *blue = c.b_;
    if (alpha) *alpha = c.a_;
    return true;
}

Color Color::withAlphaComponent(double alpha) const {
    if (!provider_) return Color(r_, g_, b_, alpha);
    auto provider = provider_;
    return dynamic([provider, alpha](const TraitCollection& traits) {
        return (*provider)(traits).resolvedColor(traits).withAlphaComponent(alpha);
    });
}

bool Color::operator==(const Color& other) const {
    if (provider_ || other.provider_) return provider_ == other.provider_;
    return r_ == other.r_ && g_ == other.g_ && b_ == other.b_ && a_ == other.a_;
}

std::string Color::description() const {
    if (provider_) return "<dynamic colour>";
    return stringWithFormat("UIExtendedSRGBColorSpace %g %g %g %g", r_, g_, b_, a_);
}
