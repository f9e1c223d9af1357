#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/Color.h"
#include "platform/ui/Geometry.h"
#include "platform/ui/Layer.h"
#include "platform/ui/TraitCollection.h"

class GestureRecognizer;
class LayoutConstraint;
class ViewController;
class Window;

// What an interface file hands to a view it archives (initWithCoder:): here
// only the frame the view was laid out with. A view made from an interface
// file is constructed from a Coder and then woken with awakeFromNib (see
// instantiateFromNib).
struct Coder {
    Rect frame;
};

// Something that can take the keyboard focus. Windows keep track of their
// first responder.
class Responder {
public:
    virtual ~Responder() = default;
    virtual bool canBecomeFirstResponder() const { return false; }
    virtual bool becomeFirstResponder() { return false; }
    virtual bool canResignFirstResponder() const { return true; }
    virtual bool resignFirstResponder() { return true; }
    virtual bool isFirstResponder() const { return false; }
};

enum class ContentMode {
    ScaleToFill,
    ScaleAspectFit,
    ScaleAspectFill,
    Redraw,
    Center,
    Top,
    Bottom,
    Left,
    Right,
    TopLeft,
    TopRight,
    BottomLeft,
    BottomRight
};

enum class LayoutConstraintAxis { Horizontal, Vertical };

// Options of the view animations.
enum ViewAnimationOptions : unsigned {
    ViewAnimationOptionNone = 0,
    ViewAnimationOptionAllowUserInteraction = 1u << 1,
    ViewAnimationOptionBeginFromCurrentState = 1u << 2,
    ViewAnimationOptionCurveEaseInOut = 0u << 16,
    ViewAnimationOptionCurveEaseIn = 1u << 16,
    ViewAnimationOptionCurveEaseOut = 2u << 16,
    ViewAnimationOptionCurveLinear = 3u << 16,
    ViewAnimationOptionTransitionNone = 0u << 20,
    ViewAnimationOptionTransitionFlipFromLeft = 1u << 20,
    ViewAnimationOptionTransitionFlipFromRight = 2u << 20,
    ViewAnimationOptionTransitionCurlUp = 3u << 20,
    ViewAnimationOptionTransitionCurlDown = 4u << 20,
    ViewAnimationOptionTransitionCrossDissolve = 5u << 20,
    ViewAnimationOptionTransitionFlipFromTop = 6u << 20,
    ViewAnimationOptionTransitionFlipFromBottom = 7u << 20,
};

inline constexpr double kViewNoIntrinsicMetric = -1;

// What a screen reader says a view is (UIAccessibilityTraits), combined.
enum AccessibilityTraits : std::uint64_t {
    AccessibilityTraitNone = 0,
    AccessibilityTraitButton = 1u << 0,
    AccessibilityTraitStaticText = 1u << 1,
    AccessibilityTraitSelected = 1u << 2,
    AccessibilityTraitNotEnabled = 1u << 3,
};

// A view: a rectangle on screen with a layer, subviews, gesture recognisers
// and constraints. Views are held by std::shared_ptr and used on the main
// thread only; a view owns its subviews and knows its superview without
// owning it.
//
// Geometry lives in the view's layer (frame, bounds, centre, transform).
// Changes of the animatable properties (frame, bounds, centre, alpha,
// background colour, transform) inside View::animate become animations of
// the layer, timed on the injectable clock; the property itself takes its new
// value at once, as on the platform.
//
// A view that has to refer to itself while it is set up (as the delegate of
// its own parts) does that in awakeFromNib or in a static make(): a
// constructor cannot hand out weak references to the object it builds.
class View : public Responder, public LayerDelegate, public std::enable_shared_from_this<View> {
public:
    View();
    explicit View(const Rect& frame);
    explicit View(const Coder& coder);
    ~View() override;
    View(const View&) = delete;
    View& operator=(const View&) = delete;

    // Called on every view of an interface file once all are made.
    virtual void awakeFromNib() {}

    Layer& layer() const { return *layer_; }
    const std::shared_ptr<Layer>& layerPointer() const { return layer_; }

    // --- Geometry ---
    Rect frame() const { return layer_->frame(); }
    virtual void setFrame(const Rect& frame);
    Rect bounds() const { return layer_->bounds(); }
    virtual void setBounds(const Rect& bounds);
    Point center() const { return layer_->position(); }
    void setCenter(Point center);
    const AffineTransform& transform() const { return layer_->affineTransform(); }
    void setTransform(const AffineTransform& transform);
    Point convertPointToView(Point point, const View* view) const;
    Point convertPointFromView(Point point, const View* view) const;
    Rect convertRectToView(const Rect& rect, const View* view) const;

    // --- Appearance ---
    std::int64_t tag() const { return tag_; }
    void setTag(std::int64_t tag) { tag_ = tag; }
    bool isHidden() const { return layer_->isHidden(); }
    virtual void setHidden(bool hidden);
    double alpha() const { return layer_->opacity(); }
    void setAlpha(double alpha);
    const std::optional<Color>& backgroundColor() const { return layer_->backgroundColor(); }
    virtual void setBackgroundColor(const std::optional<Color>& color);
    // The tint colour set on this view or the nearest ancestor, else the
    // platform's blue.
    Color tintColor() const;
    const std::optional<Color>& ownTintColor() const { return tintColor_; }
    void setTintColor(std::optional<Color> color);
    // Told when the effective tint colour may have changed.
    virtual void tintColorDidChange() {}
    // How the tint shows (UIViewTintAdjustmentMode): recorded, nothing is
    // dimmed on this screen. Automatic follows the superview; without one it
    // is Normal.
    enum class TintAdjustmentMode { Automatic, Normal, Dimmed };
    TintAdjustmentMode tintAdjustmentMode() const;
    void setTintAdjustmentMode(TintAdjustmentMode mode) { tintAdjustmentMode_ = mode; }
    bool isUserInteractionEnabled() const { return userInteractionEnabled_; }
    void setUserInteractionEnabled(bool enabled) { userInteractionEnabled_ = enabled; }
    bool clipsToBounds() const { return layer_->masksToBounds(); }
    void setClipsToBounds(bool clips) { layer_->setMasksToBounds(clips); }
    ContentMode contentMode() const { return contentMode_; }
    void setContentMode(ContentMode mode);
    bool isOpaque() const { return opaque_; }
    void setOpaque(bool opaque) { opaque_ = opaque; }

    // --- Traits ---
    // The window's screen traits (the main screen's outside a window) with
    // the nearest override of the interface style applied.
    TraitCollection traitCollection() const;
    UserInterfaceStyle overrideUserInterfaceStyle() const { return overrideUserInterfaceStyle_; }
    void setOverrideUserInterfaceStyle(UserInterfaceStyle style) { overrideUserInterfaceStyle_ = style; }

    // --- Accessibility ---
    // What a screen reader reads of the view. A view with a label is read as
    // one element by that label (in place of its title or text), with the
    // role its traits give; a view that is not an element is not read
    // (nullopt: as its kind has it, a control, field, label or row is one,
    // a plain view only when it carries a label).
    const std::optional<std::string>& accessibilityLabel() const { return accessibilityLabel_; }
    void setAccessibilityLabel(std::optional<std::string> label) { accessibilityLabel_ = std::move(label); }
    virtual AccessibilityTraits accessibilityTraits() const { return accessibilityTraits_; }
    void setAccessibilityTraits(AccessibilityTraits traits) { accessibilityTraits_ = traits; }
    const std::optional<bool>& isAccessibilityElement() const { return accessibilityElement_; }
    void setIsAccessibilityElement(bool element) { accessibilityElement_ = element; }

    // --- Hierarchy ---
    View* superview() const { return superview_; }
    const std::vector<std::shared_ptr<View>>& subviews() const { return subviews_; }
    // Adding a view that has a superview moves it.
    void addSubview(const std::shared_ptr<View>& view);
    void insertSubview(const std::shared_ptr<View>& view, std::size_t index);
    void insertSubviewBelow(const std::shared_ptr<View>& view, const View* sibling);
    void insertSubviewAbove(const std::shared_ptr<View>& view, const View* sibling);
    void removeFromSuperview();
    void bringSubviewToFront(const View* view);
    void sendSubviewToBack(const View* view);
    bool isDescendantOfView(const View* view) const;
    // This view or the first descendant with the tag, depth first.
    View* viewWithTag(std::int64_t tag);
    // The window this view is in, if any.
    Window* window() const;

    virtual void willMoveToSuperview(View* /*newSuperview*/) {}
    virtual void didMoveToSuperview() {}
    virtual void willMoveToWindow(Window* /*newWindow*/) {}
    virtual void didMoveToWindow() {}
    virtual void didAddSubview(View* /*subview*/) {}
    virtual void willRemoveSubview(View* /*subview*/) {}

    // --- Layout ---
    void setNeedsLayout();
    void layoutIfNeeded();
    // Places the subviews; the base does nothing (constraints are data here,
    // not solved).
    virtual void layoutSubviews() {}
    virtual Size intrinsicContentSize() const { return {kViewNoIntrinsicMetric, kViewNoIntrinsicMetric}; }
    void invalidateIntrinsicContentSize() { setNeedsLayout(); }
    virtual Size sizeThatFits(Size size) const;
    void sizeToFit();
    bool translatesAutoresizingMaskIntoConstraints() const { return translatesAutoresizingMaskIntoConstraints_; }
    void setTranslatesAutoresizingMaskIntoConstraints(bool t) { translatesAutoresizingMaskIntoConstraints_ = t; }
    float contentHuggingPriorityForAxis(LayoutConstraintAxis axis) const;
    void setContentHuggingPriority(float priority, LayoutConstraintAxis axis);
    float contentCompressionResistancePriorityForAxis(LayoutConstraintAxis axis) const;
    void setContentCompressionResistancePriority(float priority, LayoutConstraintAxis axis);
    // The constraints installed on this view.
    const std::vector<std::shared_ptr<LayoutConstraint>>& constraints() const { return constraints_; }
    void addConstraint(const std::shared_ptr<LayoutConstraint>& constraint);
    void addConstraints(const std::vector<std::shared_ptr<LayoutConstraint>>& constraints);
    void removeConstraint(const std::shared_ptr<LayoutConstraint>& constraint);
    void removeConstraints(const std::vector<std::shared_ptr<LayoutConstraint>>& constraints);
    // The window's safe-area insets where this view overlaps them (zero
    // outside a window).
    EdgeInsets safeAreaInsets() const;

    // --- Drawing ---
    // Draws the view's own content into the current context (GraphicsContext::current()).
    virtual void drawRect(const Rect& /*rect*/) {}
    void setNeedsDisplay() { layer_->setNeedsDisplay(); }

    // --- Touches ---
    // The deepest visible, interactive view under the point (in this view's
    // coordinates), or nullptr.
    virtual View* hitTest(Point point);
    virtual bool pointInside(Point point) const;
    void addGestureRecognizer(const std::shared_ptr<GestureRecognizer>& recognizer);
    void removeGestureRecognizer(const GestureRecognizer* recognizer);
    const std::vector<std::shared_ptr<GestureRecognizer>>& gestureRecognizers() const { return gestureRecognizers_; }

    // --- Responder ---
    bool becomeFirstResponder() override;
    bool resignFirstResponder() override;
    bool isFirstResponder() const override;
    // Ends editing in this view or below by resigning the first responder there.
    bool endEditing(bool force);

    // --- Associated objects (for additions that keep state on a view) ---
    void setAssociatedObject(const void* key, std::shared_ptr<void> object);
    std::shared_ptr<void> associatedObject(const void* key) const;

    // --- The view controller whose root view this is (set by the controller) ---
    ViewController* viewController() const { return viewController_; }
    void setViewController(ViewController* controller) { viewController_ = controller; }

    // --- Animations ---
    static void animate(double duration, double delay, unsigned options, const std::function<void()>& animations,
                        std::function<void(bool finished)> completion = {});
    static void animate(double duration, const std::function<void()>& animations,
                        std::function<void(bool finished)> completion = {});
    // A spring animation: each change moves along a damped spring released
    // at the old value that settles at the new one within `duration`.
    // `dampingRatio` 1 comes to rest without overshooting, lower values
    // overshoot and swing back; `initialVelocity` is the speed at the start,
    // in whole distances per second. The completion comes after delay +
    // duration on the clock, as with the plain animations.
    static void animate(double duration, double delay, double dampingRatio, double initialVelocity, unsigned options,
                        const std::function<void()>& animations, std::function<void(bool finished)> completion = {});
    // A transition of the view's whole content (flips and such): changes made
    // by the block are not animated one by one.
    static void transition(View& view, double duration, unsigned options, const std::function<void()>& animations,
                           std::function<void(bool finished)> completion = {});
    // Keyframe animations: inside the block, addKeyframe runs blocks of
    // changes over parts of the whole duration (relative start and duration,
    // fractions 0..1); changes made outside any keyframe span the whole
    // duration. Each animated property of each view gets one
    // KeyframeAnimation (under its key) through the values it is given, in
    // the order of the keyframes' starts, moving linearly between them. With
    // ViewAnimationOptionBeginFromCurrentState a property starts from what is
    // shown now (an animation in flight), else from its value before the
    // block. The completion comes after delay + duration on the clock.
    static void animateKeyframes(double duration, double delay, unsigned options,
                                 const std::function<void()>& animations,
                                 std::function<void(bool finished)> completion = {});
    static void addKeyframe(double relativeStartTime, double relativeDuration, const std::function<void()>& animations);
    static void performWithoutAnimation(const std::function<void()>& actions);
    static bool areAnimationsEnabled();
    static void setAnimationsEnabled(bool enabled);

    // LayerDelegate
    void drawLayer(Layer& layer, GraphicsContext& context) override;
    void layoutSublayersOfLayer(Layer& layer) override;

    std::shared_ptr<View> sharedView() { return shared_from_this(); }

protected:
    // Records an animation of the layer's key when inside View::animate.
    void animateLayerKey(const std::string& key, const AnimationValue& from, const AnimationValue& to);

private:
    friend class Window;
    void insertSubviewAt(const std::shared_ptr<View>& view, std::size_t index);
    void moveToWindow(Window* from, Window* to);
    void notifyTintColorChange();

    std::shared_ptr<Layer> layer_;
    View* superview_ = nullptr;
    std::vector<std::shared_ptr<View>> subviews_;
    std::vector<std::shared_ptr<GestureRecognizer>> gestureRecognizers_;
    std::vector<std::shared_ptr<LayoutConstraint>> constraints_;
    std::map<const void*, std::shared_ptr<void>> associatedObjects_;
    ViewController* viewController_ = nullptr;
    std::int64_t tag_ = 0;
    std::optional<Color> tintColor_;
    TintAdjustmentMode tintAdjustmentMode_ = TintAdjustmentMode::Automatic;
    bool userInteractionEnabled_ = true;
    bool opaque_ = true;
    bool translatesAutoresizingMaskIntoConstraints_ = true;
    ContentMode contentMode_ = ContentMode::ScaleToFill;
    UserInterfaceStyle overrideUserInterfaceStyle_ = UserInterfaceStyle::Unspecified;
    float huggingPriority_[2] = {250, 250};
    float compressionPriority_[2] = {750, 750};
    std::optional<std::string> accessibilityLabel_;
    AccessibilityTraits accessibilityTraits_ = AccessibilityTraitNone;
    std::optional<bool> accessibilityElement_;
};

// Makes a view the way an interface file does: constructed from a Coder with
// the frame, then every view of the tree (subviews first) gets awakeFromNib.
template <class T, class... Args>
std::shared_ptr<T> instantiateFromNib(const Rect& frame, Args&&... args) {
    auto view = std::make_shared<T>(Coder{frame}, std::forward<Args>(args)...);
    std::function<void(View&)> awake = [&](View& v) {
        auto children = v.subviews();
        for (auto& child : children) awake(*child);
        v.awakeFromNib();
    };
    awake(*view);
    return view;
}
