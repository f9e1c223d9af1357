#pragma once

#include <string>

#include "platform/ui/AttributedString.h"
#include "platform/ui/Button.h"

// A button showing a large number above a caption ("7" over "Correct"). Its
// title for the normal state is rebuilt whenever one of the four changes.
class StatsButton : public Button {
public:
    explicit StatsButton(const Rect& frame);
    // From a nib: the title label is two lines high and centred.
    explicit StatsButton(const Coder& coder);

    const std::string& statistic() const { return statistic_; }
    void setStatistic(std::string statistic);
    const std::string& label() const { return label_; }
    void setLabel(std::string label);
    double statsFontSize() const { return statsFontSize_; }
    void setStatsFontSize(double size);
    double labelFontSize() const { return labelFontSize_; }
    void setLabelFontSize(double size);

    // The statistic in a thin system font of statsFontSize, a line feed, the
    // label in the system font of labelFontSize.
    const AttributedString& attributedTitle() const { return attributedTitle_; }
    void updateTitle();

private:
    std::string statistic_;
    std::string label_;
    double statsFontSize_ = Font::systemFontSize();
    double labelFontSize_ = Font::systemFontSize();
    AttributedString attributedTitle_;
};
