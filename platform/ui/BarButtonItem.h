#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/ui/Color.h"
#include "platform/ui/Image.h"

class View;

// The platform's ready-made items; each has its own title or symbol.
enum class BarButtonSystemItem {
    Done,
    Cancel,
    Edit,
    Save,
    Add,
    FlexibleSpace,
    FixedSpace,
    Compose,
    Reply,
    Action,
    Organize,
    Bookmarks,
    Search,
    Refresh,
    Stop,
    Camera,
    Trash,
    Play,
    Pause,
    Rewind,
    FastForward,
    Undo,
    Redo,
    Close,
};

enum class BarButtonItemStyle { Plain, Done };

// A button of a navigation bar or toolbar: a system item, a title or an
// image, or a custom view; an action (the platform's target and action, as a
// block taking the item as sender) and an enabled flag.
//
// An item is shown by at most one bar at a time; the bar makes a button for
// it (or places its custom view), which view() returns while the item is
// shown. UIDriver::tap(BarButtonItem&) taps that view, so only an item a user
// can see can be tapped. Changing the title, image or enabled flag updates
// the shown button.
class BarButtonItem : public std::enable_shared_from_this<BarButtonItem> {
public:
    using Action = std::function<void(BarButtonItem& sender)>;

    static std::shared_ptr<BarButtonItem> withSystemItem(BarButtonSystemItem systemItem, Action action = {});
    static std::shared_ptr<BarButtonItem> withTitle(std::string title, BarButtonItemStyle style, Action action = {});
    static std::shared_ptr<BarButtonItem> withImage(std::shared_ptr<Image> image, BarButtonItemStyle style,
                                                    Action action = {});
    // The view takes the taps itself (a button inside it has its own action).
    static std::shared_ptr<BarButtonItem> withCustomView(std::shared_ptr<View> customView);
    BarButtonItem() = default;
    virtual ~BarButtonItem();
    BarButtonItem(const BarButtonItem&) = delete;
    BarButtonItem& operator=(const BarButtonItem&) = delete;

    const std::optional<BarButtonSystemItem>& systemItem() const { return systemItem_; }
    // A system item's title is its own ("Done", "Cancel", "Edit", "Save");
    // symbol items (Add, Play, ...) have none.
    const std::optional<std::string>& title() const { return title_; }
    void setTitle(std::optional<std::string> title);
    const std::shared_ptr<Image>& image() const { return image_; }
    void setImage(std::shared_ptr<Image> image);
    BarButtonItemStyle style() const { return style_; }
    void setStyle(BarButtonItemStyle style) {
        style_ = style;
        updateView();
    }
    const std::shared_ptr<View>& customView() const { return customView_; }
    void setCustomView(std::shared_ptr<View> view);
    bool isEnabled() const { return enabled_; }
    void setEnabled(bool enabled);
    const std::optional<Color>& tintColor() const { return tintColor_; }
    void setTintColor(std::optional<Color> color);
    std::int64_t tag() const { return tag_; }
    void setTag(std::int64_t tag) { tag_ = tag; }
    // The width of a fixed space.
    double width() const { return width_; }
    void setWidth(double width) { width_ = width; }

    const Action& action() const { return action_; }
    void setAction(Action action) { action_ = std::move(action); }

    // The view that shows the item in its bar, while it is shown.
    std::shared_ptr<View> view() const { return view_.lock(); }

    // What a tap on the shown item does: the action, unless disabled.
    void sendAction();

private:
    friend class BarButtonItemViews;
    void updateView();

    std::optional<BarButtonSystemItem> systemItem_;
    std::optional<std::string> title_;
    std::shared_ptr<Image> image_;
    BarButtonItemStyle style_ = BarButtonItemStyle::Plain;
    std::shared_ptr<View> customView_;
    bool enabled_ = true;
    std::optional<Color> tintColor_;
    std::int64_t tag_ = 0;
    double width_ = 0;
    Action action_;
    std::weak_ptr<View> view_;
};

// How bars show their items (used by NavigationBar and Toolbar).
class BarButtonItemViews {
public:
    // The view that shows the item: its custom view, or a system button with
    // its title or image that sends the item's action.
    static std::shared_ptr<View> viewForItem(BarButtonItem& item);
    // The size a bar gives a view of viewForItem before it runs out of room:
    // a button of the bar fits its content, a custom view keeps its frame's
    // size (or what fits it when it has none); never taller than the bar.
    static Size naturalSize(const View& view, double barHeight);
};
