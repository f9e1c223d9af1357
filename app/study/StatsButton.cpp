#include "app/study/StatsButton.h"

#include "platform/ui/Label.h"

StatsButton::StatsButton(const Rect& frame) : Button(frame) {}

StatsButton::StatsButton(const Coder& coder) : Button(coder) {
    titleLabel()->setNumberOfLines(2);
    titleLabel()->setTextAlignment(TextAlignment::Center);
}

void StatsButton::setStatistic(std::string statistic) {
    statistic_ = std::move(statistic);
    updateTitle();
}

void StatsButton::setLabel(std::string label) {
    label_ = std::move(label);
    updateTitle();
}

void StatsButton::setStatsFontSize(double size) {
    statsFontSize_ = size;
    updateTitle();
}

void StatsButton::setLabelFontSize(double size) {
    labelFontSize_ = size;
    updateTitle();
}

void StatsButton::updateTitle() {
    AttributedString title(statistic_ + "\n" + label_);
    AttributedString::Attributes statsAttributes, labelAttributes;
    statsAttributes.font = Font::systemFont(statsFontSize_, FontWeight::Thin);
    labelAttributes.font = Font::systemFont(labelFontSize_);
    title.addAttributes(statsAttributes, Range{0, statistic_.size()});
    title.addAttributes(labelAttributes, Range{statistic_.size() + 1, label_.size()});
    attributedTitle_ = std::move(title);
    // The plain title names the button (a screen reader reads it); the
    // attributed one is what it draws.
    setTitle(attributedTitle_.string(), ControlStateNormal);
    setAttributedTitle(attributedTitle_, ControlStateNormal);
}
