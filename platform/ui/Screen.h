#pragma once

#include <optional>
#include <string>

#include "platform/ui/Geometry.h"
#include "platform/ui/TraitCollection.h"

// The device the app runs on, as far as the interface asks: phone or pad,
// its model's name and the name its user gave it. Tests switch the idiom and
// set the names. Main thread.
class Device {
public:
    static Device& current();
    UserInterfaceIdiom userInterfaceIdiom() const { return idiom_; }
    void setUserInterfaceIdiom(UserInterfaceIdiom idiom);

    // The kind of device as its user knows it: "iPad" on a pad, "iPhone"
    // otherwise, unless set (nullopt goes back to that).
    std::string model() const;
    void setModel(std::optional<std::string> model) { model_ = std::move(model); }
    // The user-visible name of the device: the host's name (or "localhost"
    // when the system gives none), unless set.
    std::string name() const;
    void setName(std::optional<std::string> name) { name_ = std::move(name); }

private:
    UserInterfaceIdiom idiom_ = UserInterfaceIdiom::Phone;
    std::optional<std::string> model_;
    std::optional<std::string> name_;
};

// The main screen: its size in points, its scale and the interface style the
// system shows. A phone is compact in width, a pad regular. Tests change the
// style and the size.
class Screen {
public:
    static Screen& main();

    Rect bounds() const;
    // Overrides the size of the current idiom's screen; an empty rectangle
    // goes back to the idiom's default (390 x 844 on a phone, 820 x 1180 on a pad).
    void setBounds(const Rect& bounds) { bounds_ = bounds; }
    double scale() const { return scale_; }
    void setScale(double scale) { scale_ = scale; }
    UserInterfaceStyle userInterfaceStyle() const { return style_; }
    // A change of the traits is told to the controllers on screen
    // (Application::traitCollectionDidChange); so is a change of the idiom.
    void setUserInterfaceStyle(UserInterfaceStyle style);

    TraitCollection traitCollection() const;

private:
    Rect bounds_;
    double scale_ = 2;
    UserInterfaceStyle style_ = UserInterfaceStyle::Light;
};
