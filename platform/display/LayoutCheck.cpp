#include <cstdlib>
#include <unordered_set>

#include "platform/display/DisplayScreen.h"
#include "platform/foundation/StringUtils.h"
#include "platform/ui/Button.h"
#include "platform/ui/Label.h"
#include "platform/ui/NavigationBar.h"
#include "platform/ui/ProgressView.h"
#include "platform/ui/Screen.h"
#include "platform/ui/ScrollView.h"
#include "platform/ui/SegmentedControl.h"
#include "platform/ui/TableViewCell.h"
#include "platform/ui/Window.h"

namespace DisplayScreen {

namespace {

// Overlaps and cuts of a point or less are rounding, not layout.
constexpr double kTolerance = 1;
// Along an axis a scroll view scrolls, its content may lie anywhere.
constexpr double kUnbounded = 1e9;

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

// Whether a scroll view's content may move along an axis: it is larger than
// the scroll view there, lies scrolled, or (vertically) bounces under a pull.
bool scrollsAlong(const ScrollView& scrollView, bool horizontally) {
    if (!scrollView.isScrollEnabled()) return false;
    const EdgeInsets inset = scrollView.adjustedContentInset();
    const Size size = scrollView.bounds().size, content = scrollView.contentSize();
    const Point offset = scrollView.contentOffset();
    if (horizontally)
        return content.width + inset.left + inset.right > size.width + kTolerance ||
               std::abs(offset.x + inset.left) > kTolerance;
    return scrollView.bounces() || content.height + inset.top + inset.bottom > size.height + kTolerance ||
           std::abs(offset.y + inset.top) > kTolerance;
}

class Check {
public:
    // `clip`: the part of the screen the view's ancestors let show;
    // `clippedByFrame`: whether an ancestor other than a scroll view (or a
    // row slid aside to show its swipe actions) limits it; `room`: where a
    // control must lie to show whole (the screen, narrowed by the views
    // that clip around it, and free along the axes a scroll view scrolls).
    void visit(View& view, const Window& window, Rect clip, bool clippedByFrame, Rect room) {
        if (view.isHidden() || view.alpha() <= 0) return;
        const Rect rect =
            view.convertRectToView(view.bounds(), nullptr).offsetBy(window.frame().origin.x, window.frame().origin.y);
        if (auto bar = dynamic_cast<NavigationBar*>(&view)) {
            if (bar->backButtonItem()) addBarItemView(*bar->backButtonItem());
            if (auto item = bar->topItem()) {
                for (const auto& barItem : item->leftBarButtonItems()) addBarItemView(*barItem);
                for (const auto& barItem : item->rightBarButtonItems()) addBarItemView(*barItem);
            }
        }
        if (auto bar = dynamic_cast<Toolbar*>(&view))
            for (const auto& barItem : bar->items()) addBarItemView(*barItem);
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
        checkWithinRoom(view, window, clip, clippedByFrame, room);
        const auto* cell = dynamic_cast<TableViewCell*>(&view);
        const bool slidAside = cell && cell->swipeActionsView();
        if (view.clipsToBounds()) {
            auto inside = intersection(clip, rect);
            if (!inside) return;
            clip = *inside;
            clippedByFrame = clippedByFrame || (!dynamic_cast<ScrollView*>(&view) && !slidAside);
        }
        if (auto scrollView = dynamic_cast<ScrollView*>(&view)) {
            // Across the direction it scrolls, a scroll view's content stays within it.
            const bool horizontally = scrollsAlong(*scrollView, true), vertically = scrollsAlong(*scrollView, false);
            const double minX = horizontally ? -kUnbounded : std::max(room.minX(), rect.minX());
            const double maxX = horizontally ? kUnbounded : std::min(room.maxX(), rect.maxX());
            const double minY = vertically ? -kUnbounded : std::max(room.minY(), rect.minY());
            const double maxY = vertically ? kUnbounded : std::min(room.maxY(), rect.maxY());
            room = Rect(minX, minY, std::max(0.0, maxX - minX), std::max(0.0, maxY - minY));
        } else if (slidAside) {
            // A row slid aside moves its content past its leading edge.
            room = Rect(-kUnbounded, room.minY(), 2 * kUnbounded, room.height());
        } else if (view.clipsToBounds()) {
            room = intersection(room, rect).value_or(Rect(rect.origin, Size()));
        }
        for (const auto& child : view.subviews())
            if (child) visit(*child, window, clip, clippedByFrame, room);
    }

    std::vector<std::string> faults() {
        for (auto& fault : labelFaults_) faults_.push_back(std::move(fault.description));
        for (auto& fault : offEdgeFaults_) faults_.push_back(std::move(fault));
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
    void addBarItemView(BarButtonItem& item) {
        if (auto shown = item.view()) barItemViews_.insert(shown.get());
    }

    // A label's text, a button, a progress bar or a bar item that shows runs
    // past the edge of the screen or of a view that clips it: part of it is
    // lost to the user. (A label within a button goes with its button; one
    // whose text a view around it cuts is told of as cut.)
    void checkWithinRoom(View& view, const Window& window, const Rect& clip, bool clippedByFrame, const Rect& room) {
        auto toScreen = [&](const Rect& r) {
            return view.convertRectToView(r, nullptr).offsetBy(window.frame().origin.x, window.frame().origin.y);
        };
        const Rect rect = toScreen(view.bounds());
        std::string what;
        Rect shown = rect;
        if (auto label = dynamic_cast<Label*>(&view)) {
            if (dynamic_cast<const Button*>(label->superview())) return;
            const std::string text = label->text().value_or("");
            if (text.empty()) return;
            auto within = intersection(toScreen(label->drawnTextRect()), rect);
            if (!within) return;
            if (clippedByFrame && !contains(clip.insetBy(-kTolerance, -kTolerance), *within)) return;
            shown = *within;
            what = quote(text);
        } else if (auto button = dynamic_cast<Button*>(&view)) {
            const std::string title = button->currentTitle().value_or("");
            what = title.empty() ? "a button" : "the button " + quote(title);
        } else if (dynamic_cast<ProgressView*>(&view)) {
            what = "a progress bar";
        } else if (barItemViews_.contains(&view)) {
            what = "a bar item";
        } else {
            return;
        }
        if (shown.width() < kTolerance || shown.height() < kTolerance) return;
        // Wholly out of sight (scrolled away, clipped away, off the screen): nothing to see.
        if (!intersection(shown, clip)) return;
        if (contains(room.insetBy(-kTolerance, -kTolerance), shown)) return;
        offEdgeFaults_.push_back(what + " runs past the edge: it lies at " + describe(shown) + ", its room is " +
                                 describe(intersection(room, clip).value_or(clip)));
    }

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
    std::vector<std::string> offEdgeFaults_;
    std::unordered_set<const View*> barItemViews_;
    std::vector<std::string> faults_;
};

}  // namespace

std::vector<std::string> layoutFaults() {
    const Rect screen = Screen::main().bounds();
    Check check;
    for (const auto& window : visibleWindows()) {
        window->layoutIfNeeded();
        auto clip = intersection(screen, window->frame());
        if (clip) check.visit(*window, *window, *clip, false, *clip);
    }
    return check.faults();
}

std::optional<nlohmann::json> layoutFaultsWhenChecked() {
    if (!std::getenv("MEMORANT_DISPLAY_CHECK_LAYOUT")) return std::nullopt;
    return nlohmann::json(layoutFaults());
}

}  // namespace DisplayScreen
