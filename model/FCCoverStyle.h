#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// An image held by the model (a cover's icon, a deck preview's covers). The
// model only keeps and hands on the reference; copies share the image.
using FCImageRef = std::shared_ptr<const void>;

// The platform's "not found" index (the largest signed 64-bit value).
inline constexpr std::int64_t FCNotFound = std::numeric_limits<std::int64_t>::max();

// A deck cover: a gradient from a start to an end colour ("#3996f9"), an icon
// by name and optionally a custom image stored in the document.
class FCCoverStyle {
public:
    // A new style carries the default colours and icon, no custom image.
    FCCoverStyle();
    FCCoverStyle(const FCCoverStyle& other);
    FCCoverStyle& operator=(const FCCoverStyle& other);

    static std::shared_ptr<FCCoverStyle> defaultStyle();
    static const std::string& defaultStartHexColor();
    static const std::string& defaultEndHexColor();
    static const std::string& defaultIconName();
    // The 14 icon names; index 0 is the default icon.
    static const std::vector<std::string>& allIconNames();
    // The 7 colour pairs [start, end]; the default pair is index 1.
    static const std::vector<std::pair<std::string, std::string>>& allHexColors();
    static const std::string& welcomeDeckCoverIconName();
    // "<icon name>CoverIconTemplate".
    static std::string fileNameForIconName(const std::string& iconName);
    // The width divided by 455.
    static double coverImageScaleFactorForCardWidth(double width);
    // Index of the first exact (case-sensitive) match, or FCNotFound. The start
    // colour is matched against the first colour of each pair.
    static std::int64_t indexOfIconName(const std::optional<std::string>& iconName);
    static std::int64_t indexOfStartHexColor(const std::optional<std::string>& startHexColor);

    const std::optional<std::string>& startHexColor() const { return startHexColor_; }
    void setStartHexColor(std::optional<std::string> color) { startHexColor_ = std::move(color); }
    const std::optional<std::string>& endHexColor() const { return endHexColor_; }
    void setEndHexColor(std::optional<std::string> color) { endHexColor_ = std::move(color); }
    const std::optional<std::string>& iconName() const { return iconName_; }
    void setIconName(std::optional<std::string> name) { iconName_ = std::move(name); }
    // File name of the custom cover image inside the document, or nil.
    const std::optional<std::string>& customImageName() const { return customImageName_; }
    void setCustomImageName(std::optional<std::string> name) { customImageName_ = std::move(name); }
    // Locked: read whole from any thread.
    FCImageRef icon() const;
    void setIcon(FCImageRef icon);

    // Equal when start colour, end colour and icon name agree; the custom
    // image and the icon image are not compared.
    bool isEqual(const FCCoverStyle* other) const;
    bool operator==(const FCCoverStyle& other) const { return isEqual(&other); }
    // The sum of the hashes of the three compared strings.
    std::size_t hash() const;

    // All five properties; the icon image is shared.
    std::shared_ptr<FCCoverStyle> copy() const { return std::make_shared<FCCoverStyle>(*this); }

private:
    std::optional<std::string> startHexColor_;
    std::optional<std::string> endHexColor_;
    std::optional<std::string> iconName_;
    std::optional<std::string> customImageName_;
    mutable std::mutex iconLock_;
    FCImageRef icon_;
};
