#pragma once

// Bar appearances (UIBarAppearance and its navigation-bar and toolbar
// kinds) and the appearance proxies of all navigation bars and toolbars
// (NavigationBar::appearance(), Toolbar::appearance()). Nothing is drawn
// here: an app sets them at launch and they are kept, for tests and the
// headless display to read. Main thread.

#include <memory>

enum class BarAppearanceBackground { Default, Opaque, Transparent };

class BarAppearance {
public:
    virtual ~BarAppearance() = default;
    void configureWithDefaultBackground() { background_ = BarAppearanceBackground::Default; }
    void configureWithOpaqueBackground() { background_ = BarAppearanceBackground::Opaque; }
    void configureWithTransparentBackground() { background_ = BarAppearanceBackground::Transparent; }
    BarAppearanceBackground background() const { return background_; }

private:
    BarAppearanceBackground background_ = BarAppearanceBackground::Default;
};

class NavigationBarAppearance : public BarAppearance {};
class ToolbarAppearance : public BarAppearance {};

// What the appearance proxy of a bar class holds; null where nothing was set.
template <class Appearance>
struct BarAppearanceProxy {
    std::shared_ptr<Appearance> standardAppearance;
    std::shared_ptr<Appearance> compactAppearance;
    std::shared_ptr<Appearance> scrollEdgeAppearance;
    std::shared_ptr<Appearance> compactScrollEdgeAppearance;
};
