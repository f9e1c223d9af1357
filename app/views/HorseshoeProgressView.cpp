#include "app/views/HorseshoeProgressView.h"

#include <algorithm>
#include <cmath>

#include "app/views/ColorAdditions.h"
#include "platform/foundation/Format.h"
#include "platform/ui/Screen.h"

bool CountingLayer::needsDisplayForKey(const std::string& key) const {
    return key == "progressInPercent" || TextLayer::needsDisplayForKey(key);
}

std::optional<AnimationValue> CountingLayer::valueForKey(const std::string& key) const {
    if (key == "progressInPercent") return static_cast<double>(progressInPercent_);
    return TextLayer::valueForKey(key);
}

bool CountingLayer::setValueForKey(const std::string& key, const AnimationValue& value) {
    if (key == "progressInPercent" && animationDouble(value)) {
        progressInPercent_ = static_cast<std::int64_t>(*animationDouble(value));
        setNeedsDisplay();
        return true;
    }
    return TextLayer::setValueForKey(key, value);
}

HorseshoeProgressView::HorseshoeProgressView(const Coder& coder) : View(coder) {
    const double w = bounds().size.width, h = bounds().size.height;

    auto track = makeArcLayer();
    track->setStrokeColor(Color::systemGrayColor());
    track->setLineWidth(kLineWidth - 0.5);
    layer().addSublayer(track);

    progressLayer_ = makeArcLayer();
    progressLayer_->setStrokeColor(twColorFromHexString("FF0000"));
    progressLayer_->setStrokeEnd(0);
    layer().addSublayer(progressLayer_);

    const double t = std::round(h * 0.3), m = std::round(h * 0.6);
    countingLayer_ = std::make_shared<CountingLayer>();
    countingLayer_->setFrame(Rect(0, m - t, w, t));
    countingLayer_->setFont(Font::systemFont(Font::systemFontSize()));
    countingLayer_->setFontSize(t);
    countingLayer_->setForegroundColor(Color::blackColor());
    countingLayer_->setContentsScale(Screen::main().scale());
    countingLayer_->setAlignmentMode(TextLayerAlignment::Center);
    layer().addSublayer(countingLayer_);
}

std::shared_ptr<ShapeLayer> HorseshoeProgressView::makeArcLayer() const {
    const Rect b = bounds();
    auto arc = ShapeLayer::layer();
    arc->setFrame(b);
    arc->setLineWidth(kLineWidth);
    arc->setLineJoin(LineJoin::Round);
    arc->setLineCap(LineCap::Butt);
    arc->setFillColor(std::nullopt);
    Path path;
    path.addArc({b.size.width / 2, b.size.height / 2}, std::min(b.size.width, b.size.height) / 2, kStartAngle,
                kEndAngle, true);
    arc->setPath(path);
    return arc;
}

Color HorseshoeProgressView::colorForPercent(std::int64_t percent) {
    return twColorByInterpolating(static_cast<double>(percent) / 100, *twColorFromHexString("FF0000"),
                                  *twColorFromHexString("FFCC00"), *twColorFromHexString("2db507"));
}

void HorseshoeProgressView::animateIn() {
    auto rise = BasicAnimation::animationWithKeyPath("strokeEnd");
    rise->setFromValue(0.0);
    rise->setToValue(0.1);
    rise->setDuration(0.5);
    rise->setTimingFunction(MediaTimingFunction::named(MediaTimingFunction::Name::EaseIn));

    auto fall = SpringAnimation::animationWithKeyPath("strokeEnd");
    fall->setFromValue(0.1);
    fall->setToValue(0.0);
    fall->setBeginTime(rise->duration());
    fall->setStiffness(200);
    fall->setDamping(5);
    fall->setDuration(fall->settlingDuration());

    auto group = AnimationGroup::animation();
    group->setAnimations({rise, fall});
    group->setDuration(rise->duration() + fall->duration());
    for (Animation* a : {static_cast<Animation*>(rise.get()), static_cast<Animation*>(fall.get()),
                         static_cast<Animation*>(group.get())}) {
        a->setRemovedOnCompletion(false);
        a->setFillMode(FillMode::Forwards);
    }
    progressLayer_->addAnimation(group, std::string("strokeEnd"));
}

double HorseshoeProgressView::animateProgress(std::int64_t percent) {
    const double f = static_cast<double>(percent) / 100;
    const double p = std::max(0.0, f - 0.05);

    auto fill = BasicAnimation::animationWithKeyPath("strokeEnd");
    fill->setFromValue(0.0);
    fill->setToValue(p);
    fill->setDuration(1.0);
    fill->setTimingFunction(MediaTimingFunction::named(MediaTimingFunction::Name::EaseIn));

    auto settle = SpringAnimation::animationWithKeyPath("strokeEnd");
    settle->setFromValue(p);
    settle->setToValue(f);
    settle->setBeginTime(fill->duration());
    settle->setStiffness(300);
    settle->setDuration(settle->settlingDuration());

    const Color endColor = colorForPercent(percent);
    auto color = BasicAnimation::animationWithKeyPath("strokeColor");
    color->setFromValue(colorForPercent(0));
    color->setToValue(endColor);
    color->setDuration(fill->duration());

    auto group = AnimationGroup::animation();
    group->setAnimations({color, fill, settle});
    group->setDuration(fill->duration() + settle->duration());

    progressLayer_->setStrokeEnd(f);
    progressLayer_->setStrokeColor(endColor);
    progressLayer_->addAnimation(group, std::string("strokeEnd"));
    return fill->duration();
}

void HorseshoeProgressView::setProgressInPercent(std::int64_t percent, double duration) {
    auto count = BasicAnimation::animationWithKeyPath("progressInPercent");
    count->setDuration(duration);
    count->setFromValue(0.0);
    count->setToValue(static_cast<double>(percent));

    countingLayer_->setProgressInPercent(percent);
    countingLayer_->setString(stringWithFormat("%ld%%", static_cast<long>(percent)));
    countingLayer_->setNeedsDisplay();
    countingLayer_->addAnimation(count, std::string("progressInPercent"));
}
