#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/Animation.h"
#include "platform/ui/Color.h"
#include "platform/ui/Font.h"
#include "platform/ui/Geometry.h"
#include "platform/ui/GraphicsContext.h"

class Layer;
class Timer;

// What a layer asks of its owner (a view is the delegate of its own layer).
class LayerDelegate {
public:
    virtual ~LayerDelegate() = default;
    // Draws the layer's content; called while rendering.
    virtual void drawLayer(Layer& /*layer*/, GraphicsContext& /*context*/) {}
    // Lays out the layer's sublayers when it needs layout.
    virtual void layoutSublayersOfLayer(Layer& /*layer*/) {}
};

// A layer: a rectangle in its superlayer with a background, border, optional
// content drawn by the layer or its delegate, sublayers and animations. Nothing
// is composited on a screen; renderInContext draws the tree, with the
// presentation values of running animations, into a cairo context.
//
// Layers are held by std::shared_ptr and used on the main thread.
//
// Animatable properties are also reachable by key ("opacity", "position",
// "bounds", "backgroundColor", "cornerRadius", "borderWidth", "borderColor",
// "transform" here, and the parts "position.x", "position.y" and
// "transform.scale"; subclasses add theirs) so that animations can read and
// interpolate them.
class Layer : public std::enable_shared_from_this<Layer> {
public:
    Layer();
    virtual ~Layer();
    Layer(const Layer&) = delete;
    Layer& operator=(const Layer&) = delete;

    static std::shared_ptr<Layer> layer() { return std::make_shared<Layer>(); }

    // --- Geometry ---
    Rect bounds() const { return bounds_; }
    void setBounds(const Rect& bounds);
    Point position() const { return position_; }
    void setPosition(Point position) { position_ = position; }
    Point anchorPoint() const { return anchorPoint_; }
    void setAnchorPoint(Point anchor) { anchorPoint_ = anchor; }
    const AffineTransform& affineTransform() const { return transform_; }
    void setAffineTransform(const AffineTransform& t) { transform_ = t; }
    // Derived from position, bounds, anchor point and transform.
    Rect frame() const;
    void setFrame(const Rect& frame);
    // Maps a point of this layer's bounds into the superlayer and back.
    Point convertToSuperlayer(Point p) const;
    Point convertFromSuperlayer(Point p) const;

    // --- Appearance ---
    bool isHidden() const { return hidden_; }
    void setHidden(bool hidden) { hidden_ = hidden; }
    double opacity() const { return opacity_; }
    void setOpacity(double opacity) { opacity_ = opacity; }
    const std::optional<Color>& backgroundColor() const { return backgroundColor_; }
    void setBackgroundColor(std::optional<Color> color) { backgroundColor_ = std::move(color); }
    double cornerRadius() const { return cornerRadius_; }
    void setCornerRadius(double r) { cornerRadius_ = r; }
    double borderWidth() const { return borderWidth_; }
    void setBorderWidth(double w) { borderWidth_ = w; }
    // Opaque black by default, as on the platform.
    const std::optional<Color>& borderColor() const { return borderColor_; }
    void setBorderColor(std::optional<Color> color) { borderColor_ = std::move(color); }
    bool masksToBounds() const { return masksToBounds_; }
    void setMasksToBounds(bool masks) { masksToBounds_ = masks; }
    // The shadow, kept as state (the rendering draws none): opaque black,
    // transparent (opacity 0), offset (0, -3) and radius 3 by default.
    const std::optional<Color>& shadowColor() const { return shadowColor_; }
    void setShadowColor(std::optional<Color> color) { shadowColor_ = std::move(color); }
    double shadowOpacity() const { return shadowOpacity_; }
    void setShadowOpacity(double opacity) { shadowOpacity_ = opacity; }
    Size shadowOffset() const { return shadowOffset_; }
    void setShadowOffset(Size offset) { shadowOffset_ = offset; }
    double shadowRadius() const { return shadowRadius_; }
    void setShadowRadius(double radius) { shadowRadius_ = radius; }
    double contentsScale() const { return contentsScale_; }
    void setContentsScale(double scale) { contentsScale_ = scale; }
    const std::string& name() const { return name_; }
    void setName(std::string name) { name_ = std::move(name); }

    // --- Tree ---
    const std::vector<std::shared_ptr<Layer>>& sublayers() const { return sublayers_; }
    Layer* superlayer() const { return superlayer_; }
    void addSublayer(const std::shared_ptr<Layer>& layer);
    void insertSublayer(const std::shared_ptr<Layer>& layer, std::size_t index);
    void insertSublayerBelow(const std::shared_ptr<Layer>& layer, const Layer* sibling);
    void insertSublayerAbove(const std::shared_ptr<Layer>& layer, const Layer* sibling);
    void removeFromSuperlayer();

    LayerDelegate* delegate() const { return delegate_; }
    // Not owned; the owner clears it before it goes away.
    void setDelegate(LayerDelegate* delegate) { delegate_ = delegate; }

    // --- Display and layout ---
    void setNeedsDisplay() { needsDisplay_ = true; }
    bool needsDisplay() const { return needsDisplay_; }
    // Redraws now when asked to (rendering draws anyway; this keeps count).
    void displayIfNeeded();
    virtual void display();
    int displayCount() const { return displayCount_; }
    // Whether a change of the key, animated included, redraws the layer.
    virtual bool needsDisplayForKey(const std::string& key) const;
    // The content; the base asks the delegate.
    virtual void drawInContext(GraphicsContext& context);

    void setNeedsLayout() { needsLayout_ = true; }
    bool needsLayout() const { return needsLayout_; }
    // Lays out this layer if it needs it, then the sublayers that need it.
    void layoutIfNeeded();
    // The base asks the delegate.
    virtual void layoutSublayers();

    // --- Key-value access of the animatable properties ---
    virtual std::optional<AnimationValue> valueForKey(const std::string& key) const;
    virtual bool setValueForKey(const std::string& key, const AnimationValue& value);
    // The value as shown now: the model value run through the layer's
    // animations at the current media time.
    std::optional<AnimationValue> presentationValueForKey(const std::string& key) const;
    double presentationDouble(const std::string& key) const;
    std::optional<Color> presentationColor(const std::string& key) const;

    // --- Animations ---
    // Adds a copy; an animation under the same key is removed first. The copy
    // starts now (or at its begin time) and, when it is removed on completion,
    // goes away when its duration has passed on the clock, telling its delegate.
    void addAnimation(const std::shared_ptr<Animation>& animation, const std::optional<std::string>& key);
    std::shared_ptr<const Animation> animationForKey(const std::string& key) const;
    void removeAnimationForKey(const std::string& key);
    void removeAllAnimations();
    std::vector<std::string> animationKeys() const;
    // The media time at which the animation under the key started.
    std::optional<double> animationStartTime(const std::string& key) const;
    // The media time until which some layer's animation added so far runs: a
    // screen someone watches draws frames until then (one removed early only
    // costs frames that show no change). Endless and long decorations (a
    // hint that pulses for minutes) do not count: they show where they are
    // when something else redraws, so that an idle screen sends no frames.
    static double animatingUntil() { return animatingUntil_; }
    static constexpr double kWatchedAnimationSeconds = 5;

    // --- Rendering ---
    void renderInContext(GraphicsContext& context);

private:
    struct Running {
        std::string key;  // empty for an animation added without a key
        std::shared_ptr<Animation> animation;
        double startTime = 0;
        std::shared_ptr<Timer> timer;
    };
    void animationTimerFired(const Animation* animation);
    static inline double animatingUntil_ = 0;

    Rect bounds_;
    Point position_;
    Point anchorPoint_{0.5, 0.5};
    AffineTransform transform_;
    bool hidden_ = false;
    double opacity_ = 1;
    std::optional<Color> backgroundColor_;
    double cornerRadius_ = 0;
    double borderWidth_ = 0;
    std::optional<Color> borderColor_ = Color::blackColor();
    bool masksToBounds_ = false;
    std::optional<Color> shadowColor_ = Color::blackColor();
    double shadowOpacity_ = 0;
    Size shadowOffset_{0, -3};
    double shadowRadius_ = 3;
    double contentsScale_ = 1;
    std::string name_;

    std::vector<std::shared_ptr<Layer>> sublayers_;
    Layer* superlayer_ = nullptr;
    LayerDelegate* delegate_ = nullptr;
    bool needsDisplay_ = false;
    bool needsLayout_ = false;
    int displayCount_ = 0;
    std::vector<Running> animations_;
};

// A layer that fills and strokes a path; the stroke covers the part of the
// outline between strokeStart and strokeEnd (fractions of its length).
class ShapeLayer : public Layer {
public:
    static std::shared_ptr<ShapeLayer> layer() { return std::make_shared<ShapeLayer>(); }

    const std::optional<Path>& path() const { return path_; }
    void setPath(std::optional<Path> path) { path_ = std::move(path); }
    // Black by default; nothing fills without one.
    const std::optional<Color>& fillColor() const { return fillColor_; }
    void setFillColor(std::optional<Color> c) { fillColor_ = std::move(c); }
    // None by default; nothing strokes without one.
    const std::optional<Color>& strokeColor() const { return strokeColor_; }
    void setStrokeColor(std::optional<Color> c) { strokeColor_ = std::move(c); }
    double lineWidth() const { return lineWidth_; }
    void setLineWidth(double w) { lineWidth_ = w; }
    LineCap lineCap() const { return lineCap_; }
    void setLineCap(LineCap cap) { lineCap_ = cap; }
    LineJoin lineJoin() const { return lineJoin_; }
    void setLineJoin(LineJoin join) { lineJoin_ = join; }
    const std::vector<double>& lineDashPattern() const { return lineDashPattern_; }
    void setLineDashPattern(std::vector<double> pattern) { lineDashPattern_ = std::move(pattern); }
    double lineDashPhase() const { return lineDashPhase_; }
    void setLineDashPhase(double phase) { lineDashPhase_ = phase; }
    double strokeStart() const { return strokeStart_; }
    void setStrokeStart(double s) { strokeStart_ = s; }
    double strokeEnd() const { return strokeEnd_; }
    void setStrokeEnd(double e) { strokeEnd_ = e; }

    std::optional<AnimationValue> valueForKey(const std::string& key) const override;
    bool setValueForKey(const std::string& key, const AnimationValue& value) override;
    void drawInContext(GraphicsContext& context) override;

private:
    std::optional<Path> path_;
    std::optional<Color> fillColor_ = Color::blackColor();
    std::optional<Color> strokeColor_;
    double lineWidth_ = 1;
    LineCap lineCap_ = LineCap::Butt;
    LineJoin lineJoin_ = LineJoin::Miter;
    std::vector<double> lineDashPattern_;
    double lineDashPhase_ = 0;
    double strokeStart_ = 0;
    double strokeEnd_ = 1;
};

enum class TextLayerAlignment { Natural, Left, Right, Center, Justified };

// A layer that draws a string from its top edge in one font and colour.
class TextLayer : public Layer {
public:
    static std::shared_ptr<TextLayer> layer() { return std::make_shared<TextLayer>(); }

    const std::string& string() const { return string_; }
    void setString(std::string s) { string_ = std::move(s); }
    // The face; its size is fontSize.
    const Font& font() const { return font_; }
    void setFont(const Font& font) { font_ = font; }
    double fontSize() const { return fontSize_; }
    void setFontSize(double size) { fontSize_ = size; }
    // White by default.
    const Color& foregroundColor() const { return foregroundColor_; }
    void setForegroundColor(const Color& c) { foregroundColor_ = c; }
    TextLayerAlignment alignmentMode() const { return alignmentMode_; }
    void setAlignmentMode(TextLayerAlignment mode) { alignmentMode_ = mode; }
    bool isWrapped() const { return wrapped_; }
    void setWrapped(bool wrapped) { wrapped_ = wrapped; }

    std::optional<AnimationValue> valueForKey(const std::string& key) const override;
    bool setValueForKey(const std::string& key, const AnimationValue& value) override;
    void drawInContext(GraphicsContext& context) override;

private:
    std::string string_;
    Font font_ = Font::systemFont(36);
    double fontSize_ = 36;
    Color foregroundColor_ = Color::whiteColor();
    TextLayerAlignment alignmentMode_ = TextLayerAlignment::Natural;
    bool wrapped_ = false;
};

// A layer filled with a linear gradient; points are in the unit square of
// its bounds.
class GradientLayer : public Layer {
public:
    static std::shared_ptr<GradientLayer> layer() { return std::make_shared<GradientLayer>(); }

    const std::vector<Color>& colors() const { return colors_; }
    void setColors(std::vector<Color> colors) { colors_ = std::move(colors); }
    // Evenly spread when absent.
    const std::optional<std::vector<double>>& locations() const { return locations_; }
    void setLocations(std::optional<std::vector<double>> l) { locations_ = std::move(l); }
    Point startPoint() const { return startPoint_; }
    void setStartPoint(Point p) { startPoint_ = p; }
    Point endPoint() const { return endPoint_; }
    void setEndPoint(Point p) { endPoint_ = p; }

    std::optional<AnimationValue> valueForKey(const std::string& key) const override;
    bool setValueForKey(const std::string& key, const AnimationValue& value) override;
    void drawInContext(GraphicsContext& context) override;

private:
    std::vector<Color> colors_;
    std::optional<std::vector<double>> locations_;
    Point startPoint_{0.5, 0};
    Point endPoint_{0.5, 1};
};
