#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/ui/Layer.h"
#include "platform/ui/View.h"

// The text layer of the gauge: the percentage it shows. Changes of
// "progressInPercent", animated ones included, redraw it.
class CountingLayer : public TextLayer {
public:
    CountingLayer() = default;

    std::int64_t progressInPercent() const { return progressInPercent_; }
    void setProgressInPercent(std::int64_t percent) { progressInPercent_ = percent; }

    bool needsDisplayForKey(const std::string& key) const override;
    std::optional<AnimationValue> valueForKey(const std::string& key) const override;
    bool setValueForKey(const std::string& key, const AnimationValue& value) override;

private:
    std::int64_t progressInPercent_ = 0;
};

// A score gauge: a grey horseshoe-shaped track open at the bottom, a
// coloured arc over it that fills clockwise from the lower left (red through
// amber to green as the score rises), and the percentage in the middle. It
// lives in interface files only; its layers are built once from the bounds it
// has then.
class HorseshoeProgressView : public View {
public:
    static constexpr double kStartAngle = 2.1816615649929116;  // 125 degrees
    static constexpr double kEndAngle = 0.9599310885968813;    // 55 degrees
    static constexpr double kLineWidth = 8;

    explicit HorseshoeProgressView(const Coder& coder);

    const std::shared_ptr<ShapeLayer>& progressLayer() const { return progressLayer_; }
    const std::shared_ptr<CountingLayer>& countingLayer() const { return countingLayer_; }

    // For a score of zero: a short tick of the arc that springs back.
    void animateIn();
    // Animates the arc and its colour to the percentage; returns the length
    // of the first phase (1 second), for setProgressInPercent.
    double animateProgress(std::int64_t percent);
    // Shows the percentage and animates the text layer's count over `duration`.
    void setProgressInPercent(std::int64_t percent, double duration);

    // Red through amber to green.
    static Color colorForPercent(std::int64_t percent);

private:
    std::shared_ptr<ShapeLayer> makeArcLayer() const;

    std::shared_ptr<ShapeLayer> progressLayer_;
    std::shared_ptr<CountingLayer> countingLayer_;
};
