#include <cstdlib>

#include "platform/display/DisplayScreen.h"
#include "platform/foundation/StringUtils.h"
#include "platform/ui/Button.h"
#include "platform/ui/Label.h"
#include "platform/ui/NavigationBar.h"
#include "platform/ui/Screen.h"
#include "platform/ui/ScrollView.h"
#include "platform/ui/SegmentedControl.h"
#include "platform/ui/TableViewCell.h"
#include "platform/ui/Window.h"

namespace DisplayScreen {

namespace {

// Overlaps and cuts of a point or less are rounding, not layout.
constexpr double kTolerance = 1;

std::optional<Rect> intersection(const Rect& a, const Rect& b) {
    const double minX = std::max(a.minX(), b.minX());
    const double maxX = std::min(a.maxX(), b.maxX());
    const double minY = std::max(a.minY(), b.minY());
    const double maxY = std::min(a.maxY(), b.maxY());
    if (maxX <= minX || maxY <= minY) return std::nullopt;
    return Rect(minX, minY, maxX - minX, maxY - minY);
}

bool contains(const Rect& outer, const Rect& inner) {
    return inner.minX() >= outer.minX() && inner.maxX() <= outer.maxX() && inner.minY() >= outer.minY() &&
           inner.maxY() <= outer.maxY();
}

std::string quote(const std::string& text) {
    return "'" + escapedExcerpt(text, 40) + "'";
}

struct DrawnText {
    std::string text;
    Rect rect;  // on the screen, as far as it shows
};

// A fault of one label, which an opaque view drawn above the label hides.
struct LabelFault {
    std::string description;
    Rect where;  // the label on the screen
};

class Check {
public:
    // `clip`: the part of the screen the view's ancestors let show;
    // `clippedByFrame`: whether an ancestor other than a scroll view (or a
    // row slid aside to show its swipe actions) limits it.
    void visit(View& view, const Window& window, Rect clip, bool clippedByFrame) {
        if (view.isHidden() || view.alpha() <= 0) return;
        const Rect rect =
            view.convertRectToView(view.bounds(), nullptr).offsetBy(window.frame().origin.x, window.frame().origin.y);
        // A bar hides what scrolls under it as an opaque view does (its blur
        // leaves no text legible), unless its background is transparent.
        const auto* navigationBar = dynamic_cast<NavigationBar*>(&view);
        const auto* toolbar = dynamic_cast<Toolbar*>(&view);
        const bool bar = (navigationBar && navigationBar->hidesContentBeneath()) ||
                         (toolbar && toolbar->hidesContentBeneath());
        if (auto background = view.backgroundColor();
            bar || (background && background->alpha() >= 1 && view.alpha() >= 1))
            coverTextUnder(rect);
        if (auto label = dynamic_cast<Label*>(&view)) addLabel(*label, window, clip, clippedByFrame);
        if (auto segmented = dynamic_cast<SegmentedControl*>(&view))
            addSegmentTitles(*segmented, window, clip, clippedByFrame);
        if (view.clipsToBounds()) {
            auto inside = intersection(clip, rect);
            if (!inside) return;
            clip = *inside;
            const auto* cell = dynamic_cast<TableViewCell*>(&view);
            clippedByFrame = clippedByFrame || (!dynamic_cast<ScrollView*>(&view) && !(cell && cell->swipeActionsView()));
        }
        for (const auto& child : view.subviews())
            if (child) visit(*child, window, clip, clippedByFrame);
    }

    std::vector<std::string> faults() {
        for (auto& fault : labelFaults_) faults_.push_back(std::move(fault.description));
        for (std::size_t i = 0; i < texts_.size(); ++i)
            for (std::size_t j = i + 1; j < texts_.size(); ++j) {
                auto common = intersection(texts_[i].rect, texts_[j].rect);
                if (common && common->width() > kTolerance && common->height() > kTolerance)
                    faults_.push_back(quote(texts_[j].text) + " overlaps " + quote(texts_[i].text) + " at " +
                                      describe(*common));
            }
        return std::move(faults_);
    }

private:
    void addLabel(Label& label, const Window& window, const Rect& clip, bool clippedByFrame) {
        const std::string text = label.text().value_or("");
        if (text.empty()) return;
        auto toScreen = [&](const Rect& rect) {
            return label.convertRectToView(rect, nullptr).offsetBy(window.frame().origin.x, window.frame().origin.y);
        };
        const Rect bounds = toScreen(label.bounds());
        if (!intersection(bounds.insetBy(-kTolerance, -kTolerance), clip)) return;
        if (label.bounds().width() < kTolerance || label.bounds().height() < kTolerance) {
            labelFaults_.push_back({quote(text) + " has no room: its label is " + describe(label.bounds().size) +
                                        " at " + describe(bounds.origin),
                                    bounds});
            return;
        }
        const Rect drawn = toScreen(label.drawnTextRect());
        if (!cutsByDesign(label) && label.isTextCut())
            labelFaults_.push_back(
                {quote(text) + " is cut: it needs " + describe(drawn.size) + ", its label gives " + describe(bounds),
                 bounds});
        // What is drawn shows within the label when it clips, and within what clips around it.
        auto visible = intersection(label.clipsToBounds() ? intersection(drawn, bounds).value_or(Rect()) : drawn, clip);
        if (!visible) return;
        const auto withinBounds = intersection(drawn, bounds);
        if (clippedByFrame && withinBounds && !contains(clip.insetBy(-kTolerance, -kTolerance), *withinBounds))
            labelFaults_.push_back({quote(text) + " is cut: a view around it shows " + describe(*visible) + " of " +
                                        describe(*withinBounds),
                                    *visible});
        texts_.push_back({text, *visible});
    }

    // A segmented control draws its titles itself: each shows whole within
    // its segment, and apart from every other text.
    void addSegmentTitles(SegmentedControl& control, const Window& window, const Rect& clip, bool clippedByFrame) {
        auto toScreen = [&](const Rect& rect) {
            return control.convertRectToView(rect, nullptr).offsetBy(window.frame().origin.x, window.frame().origin.y);
        };
        for (std::int64_t i = 0; i < control.numberOfSegments(); ++i) {
            const std::string title = control.titleForSegmentAtIndex(i).value_or("");
            if (title.empty()) continue;
            const Rect segment = toScreen(control.rectForSegmentAtIndex(i));
            const Rect drawn = toScreen(control.titleRectForSegmentAtIndex(i));
            if (!intersection(segment.insetBy(-kTolerance, -kTolerance), clip)) continue;
            if (control.isTitleCutForSegmentAtIndex(i)) {
                labelFaults_.push_back({quote(title) + " is cut: its segment shows " +
                                            quote(control.displayedTitleForSegmentAtIndex(i).value_or("")) + " in " +
                                            describe(segment),
                                        segment});
            }
            auto visible = intersection(drawn, clip);
            if (!visible) continue;
            if (clippedByFrame && !contains(clip.insetBy(-kTolerance, -kTolerance), drawn))
                labelFaults_.push_back({quote(title) + " is cut: a view around it shows " + describe(*visible) + " of " +
                                            describe(drawn),
                                        *visible});
            texts_.push_back({title, *visible});
        }
    }

    // A button's title shows whole; a label cuts with a truncating or
    // clipping line break mode and a limited number of lines.
    static bool cutsByDesign(const Label& label) {
        if (dynamic_cast<const Button*>(label.superview())) return false;
        return label.numberOfLines() != 0 && label.lineBreakMode() != LineBreakMode::WordWrapping &&
               label.lineBreakMode() != LineBreakMode::CharWrapping;
    }

    // An opaque view drawn here hides the texts drawn before it within it:
    // wholly, the side of them it lies across, or their middle (the two ends
    // show on either side of it).
    void coverTextUnder(const Rect& cover) {
        std::erase_if(texts_, [&](const DrawnText& text) { return contains(cover, text.rect); });
        std::erase_if(labelFaults_, [&](const LabelFault& fault) { return contains(cover, fault.where); });
        std::vector<DrawnText> rightEnds;
        for (auto& text : texts_) {
            Rect& r = text.rect;
            if (!intersection(cover, r)) continue;
            if (cover.minY() <= r.minY() && cover.maxY() >= r.maxY()) {
                if (cover.minX() <= r.minX()) {
                    r = Rect(cover.maxX(), r.minY(), r.maxX() - cover.maxX(), r.height());
                } else if (cover.maxX() >= r.maxX()) {
                    r = Rect(r.minX(), r.minY(), cover.minX() - r.minX(), r.height());
                } else {
                    rightEnds.push_back({text.text, Rect(cover.maxX(), r.minY(), r.maxX() - cover.maxX(), r.height())});
                    r = Rect(r.minX(), r.minY(), cover.minX() - r.minX(), r.height());
                }
            } else if (cover.minX() <= r.minX() && cover.maxX() >= r.maxX()) {
                if (cover.minY() <= r.minY())
                    r = Rect(r.minX(), cover.maxY(), r.width(), r.maxY() - cover.maxY());
                else if (cover.maxY() >= r.maxY())
                    r = Rect(r.minX(), r.minY(), r.width(), cover.minY() - r.minY());
            }
        }
        texts_.insert(texts_.end(), rightEnds.begin(), rightEnds.end());
    }

    std::vector<DrawnText> texts_;
    std::vector<LabelFault> labelFaults_;
    std::vector<std::string> faults_;
};

}  // namespace

std::vector<std::string> layoutFaults() {
    const Rect screen = Screen::main().bounds();
    Check check;
    for (const auto& window : visibleWindows()) {
        window->layoutIfNeeded();
        auto clip = intersection(screen, window->frame());
        if (clip) check.visit(*window, *window, *clip, false);
    }
    return check.faults();
}

std::optional<nlohmann::json> layoutFaultsWhenChecked() {
    if (!std::getenv("MEMORANT_DISPLAY_CHECK_LAYOUT")) return std::nullopt;
    return nlohmann::json(layoutFaults());
}

}  // namespace DisplayScreen
