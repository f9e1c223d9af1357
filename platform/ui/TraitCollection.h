#pragma once

#include <functional>
#include <string>

enum class UserInterfaceStyle { Unspecified, Light, Dark };
enum class UserInterfaceIdiom { Unspecified, Phone, Pad };
enum class UserInterfaceSizeClass { Unspecified, Compact, Regular };

// The traits a view is shown with: the interface style (light or dark), the
// device idiom, the size classes and the display scale. Views and view
// controllers take them from their window's screen, and an override of the
// interface style on a window, view or controller applies to everything below.
struct TraitCollection {
    UserInterfaceStyle userInterfaceStyle = UserInterfaceStyle::Light;
    UserInterfaceIdiom userInterfaceIdiom = UserInterfaceIdiom::Phone;
    UserInterfaceSizeClass horizontalSizeClass = UserInterfaceSizeClass::Compact;
    UserInterfaceSizeClass verticalSizeClass = UserInterfaceSizeClass::Regular;
    double displayScale = 1;

    bool operator==(const TraitCollection&) const = default;

    // The traits that dynamic colours resolve against on this thread: the ones
    // made current by performAsCurrent (drawing and layout do that), or else
    // the main screen's.
    static TraitCollection current();
    // Runs the block with these traits as the current ones.
    void performAsCurrent(const std::function<void()>& block) const;
};
