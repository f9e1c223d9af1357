#include "model/FCCoverStyle.h"

#include <functional>

#include "platform/foundation/Format.h"

namespace {

// The width of a card that cover images are drawn for at scale 1.
constexpr double kCoverImageReferenceWidth = 455.0;

std::size_t hashOf(const std::optional<std::string>& s) {
    return s ? std::hash<std::string>{}(*s) : 0;
}

}  // namespace

FCCoverStyle::FCCoverStyle()
    : startHexColor_(defaultStartHexColor()), endHexColor_(defaultEndHexColor()), iconName_(defaultIconName()) {}

FCCoverStyle::FCCoverStyle(const FCCoverStyle& other)
    : startHexColor_(other.startHexColor_),
      endHexColor_(other.endHexColor_),
      iconName_(other.iconName_),
      customImageName_(other.customImageName_),
      icon_(other.icon()) {}

FCCoverStyle& FCCoverStyle::operator=(const FCCoverStyle& other) {
    if (this == &other) return *this;
    startHexColor_ = other.startHexColor_;
    endHexColor_ = other.endHexColor_;
    iconName_ = other.iconName_;
    customImageName_ = other.customImageName_;
    setIcon(other.icon());
    return *this;
}

std::shared_ptr<FCCoverStyle> FCCoverStyle::defaultStyle() {
    return std::make_shared<FCCoverStyle>();
}

const std::string& FCCoverStyle::defaultStartHexColor() {
    static const std::string color = allHexColors()[1].first;
    return color;
}

const std::string& FCCoverStyle::defaultEndHexColor() {
    static const std::string color = allHexColors()[1].second;
    return color;
}

const std::string& FCCoverStyle::defaultIconName() {
    static const std::string name = allIconNames().front();
    return name;
}

const std::vector<std::string>& FCCoverStyle::allIconNames() {
    static const std::vector<std::string> names = {
        "Leaf",           "PaintBrush", "LightBulb", "BarChart", "Building", "FlipChart",   "Globe",
        "HeartFrequency", "Laptop",     "OpenBook",  "Target",   "Wrench",   "ThreePeople", "SpeechBubbles",
    };
    return names;
}

const std::vector<std::pair<std::string, std::string>>& FCCoverStyle::allHexColors() {
    static const std::vector<std::pair<std::string, std::string>> colors = {
        {"#cb9801", "#ffe566"}, {"#3996f9", "#97d1fd"}, {"#f4314a", "#ff728f"}, {"#6fa314", "#afe042"},
        {"#f56b0b", "#fdac34"}, {"#9a54c4", "#cb92e2"}, {"#a4a8b6", "#e0e2e6"},
    };
    return colors;
}

const std::string& FCCoverStyle::welcomeDeckCoverIconName() {
    static const std::string name = "Memorant";
    return name;
}

std::string FCCoverStyle::fileNameForIconName(const std::string& iconName) {
    return stringWithFormat("%@CoverIconTemplate", iconName);
}

double FCCoverStyle::coverImageScaleFactorForCardWidth(double width) {
    return width / kCoverImageReferenceWidth;
}

std::int64_t FCCoverStyle::indexOfIconName(const std::optional<std::string>& iconName) {
    if (!iconName) return FCNotFound;
    const auto& names = allIconNames();
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (names[i] == *iconName) return static_cast<std::int64_t>(i);
    }
    return FCNotFound;
}

std::int64_t FCCoverStyle::indexOfStartHexColor(const std::optional<std::string>& startHexColor) {
    if (!startHexColor) return FCNotFound;
    const auto& colors = allHexColors();
    for (std::size_t i = 0; i < colors.size(); ++i) {
        if (colors[i].first == *startHexColor) return static_cast<std::int64_t>(i);
    }
    return FCNotFound;
}

FCImageRef FCCoverStyle::icon() const {
    std::lock_guard<std::mutex> guard(iconLock_);
    return icon_;
}

void FCCoverStyle::setIcon(FCImageRef icon) {
    std::lock_guard<std::mutex> guard(iconLock_);
    icon_ = std::move(icon);
}

bool FCCoverStyle::isEqual(const FCCoverStyle* other) const {
    if (other == this) return true;
    if (!other) return false;
    return startHexColor_ == other->startHexColor_ && endHexColor_ == other->endHexColor_ &&
           iconName_ == other->iconName_;
}

std::size_t FCCoverStyle::hash() const {
    return hashOf(startHexColor_) + hashOf(endHexColor_) + hashOf(iconName_);
}
