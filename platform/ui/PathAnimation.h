#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/ui/Animation.h"
#include "platform/ui/GraphicsContext.h"

// A keyframe animation of a point (usually "position") along a path: each
// line or curve segment of the path takes an equal share of the time, and a
// curve is followed by its own parameter. Arcs, rectangles and ellipses are
// not followed (their segments hold the last point).
class KeyframePathAnimation : public PropertyAnimation {
public:
    static std::shared_ptr<KeyframePathAnimation> animationWithKeyPath(std::string keyPath) {
        return std::make_shared<KeyframePathAnimation>(std::move(keyPath));
    }
    explicit KeyframePathAnimation(std::string keyPath) : PropertyAnimation(std::move(keyPath)) {}
    std::shared_ptr<Animation> copy() const override { return std::make_shared<KeyframePathAnimation>(*this); }

    const Path& path() const { return path_; }
    void setPath(Path path) { path_ = std::move(path); }

    // The point at a fraction 0..1 of the time line (after easing); nullopt
    // for an empty path.
    std::optional<Point> pointAtFraction(double fraction) const;

    // Adds a quadratic curve from the path's current point (as a cubic one).
    static void addQuadCurve(Path& path, Point from, Point control, Point end);

protected:
    void applyActive(const std::string& keyPath, double t, const std::optional<AnimationValue>& model,
                     std::optional<AnimationValue>& value) const override;

private:
    Path path_;
};
