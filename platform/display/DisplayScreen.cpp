#include "platform/display/DisplayScreen.h"

#include <cairo.h>

#include <algorithm>

#include "platform/foundation/StringUtils.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/Application.h"
#include "platform/ui/Button.h"
#include "platform/ui/Image.h"
#include "platform/ui/Label.h"
#include "platform/ui/NavigationBar.h"
#include "platform/ui/Screen.h"
#include "platform/ui/SegmentedControl.h"
#include "platform/ui/Switch.h"
#include "platform/ui/TableViewCell.h"
#include "platform/ui/TextField.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"

namespace DisplayScreen {

namespace {

using nlohmann::json;

json element(const char* role, const std::string& name, const Rect& rect) {
    return json{{"role", role},
                {"name", name},
                {"x", rect.origin.x},
                {"y", rect.origin.y},
                {"width", rect.size.width},
                {"height", rect.size.height}};
}

void collectLabelTexts(const View& view, std::vector<std::string>& texts) {
    if (view.isHidden() || view.alpha() <= 0) return;
    if (auto label = dynamic_cast<const Label*>(&view))
        if (label->text() && !label->text()->empty()) texts.push_back(*label->text());
    for (const auto& child : view.subviews())
        if (child) collectLabelTexts(*child, texts);
}

std::string buttonName(const Button& button) {
    if (auto title = button.currentTitle(); title && !title->empty()) return *title;
    if (auto image = button.currentImage(); image && image->systemSymbolName()) return *image->systemSymbolName();
    if (button.buttonType() == ButtonType::InfoLight) return "info.circle";
    return {};
}

std::optional<Rect> intersection(const Rect& a, const Rect& b) {
    const double minX = std::max(a.minX(), b.minX()), maxX = std::min(a.maxX(), b.maxX());
    const double minY = std::max(a.minY(), b.minY()), maxY = std::min(a.maxY(), b.maxY());
    if (maxX <= minX || maxY <= minY) return std::nullopt;
    return Rect(minX, minY, maxX - minX, maxY - minY);
}

// Whether a view hides (or, over a presenter, takes the touches of) what was
// drawn before it within its frame: an opaque background, a bar's blurred
// one, a presented controller's view (an alert's dims what it covers, and
// the presenter takes no touch under it), the dimming around a presented
// box, and a shown alert view.
bool coversWhatLiesBeneath(View& view, double opacity) {
    if (opacity < 1) return false;
    if (auto bar = dynamic_cast<NavigationBar*>(&view)) return bar->hidesContentBeneath();
    if (auto bar = dynamic_cast<Toolbar*>(&view)) return bar->hidesContentBeneath();
    if (dynamic_cast<AlertView*>(&view)) return true;
    if (auto* window = dynamic_cast<Window*>(view.superview())) {
        if (window->presentationDimmingView().get() == &view) return true;
        if (ViewController* controller = view.viewController(); controller && controller->presentingViewController())
            return true;
    }
    auto background = view.backgroundColor();
    return background && background->alpha() >= 1;
}

// The elements of the windows in drawing order; those whose middle a view
// drawn later covers are left out (a screen reader does not read them and a
// tap there does not reach them).
class Collector {
public:
    json elements() const {
        json out = json::array();
        for (const auto& found : found_)
            if (!found.covered) out.push_back(found.item);
        return out;
    }

    // `clip`: the part of the screen the view's ancestors let show;
    // `opacity`: theirs and its together; `takesTouches`: no view above this
    // one turns touches away (a control that is not reached by them shows as
    // disabled).
    void visit(View& view, Rect clip, double opacity, bool takesTouches) {
        if (view.isHidden() || view.alpha() <= 0) return;
        opacity *= view.alpha();
        takesTouches = takesTouches && view.isUserInteractionEnabled();
        const Rect rect = view.convertRectToView(view.bounds(), nullptr);
        Rect onScreen = rect;
        if (Window* window = view.window()) onScreen = rect.offsetBy(window->frame().origin.x, window->frame().origin.y);
        if (onScreen.isEmpty()) return;
        const auto shown = intersection(onScreen, clip);
        if (!shown) return;
        if (coversWhatLiesBeneath(view, opacity)) cover(view, *shown);
        if (view.clipsToBounds()) clip = *shown;

        if (auto field = dynamic_cast<TextField*>(&view)) {
            // A field without a placeholder (a title shown in a field) goes by its text.
            const auto placeholder = field->placeholder().value_or("");
            json item = element("textbox", placeholder.empty() ? field->text().value_or("") : placeholder, onScreen);
            item["value"] = field->text().value_or("");
            item["focused"] = field->isFirstResponder();
            item["disabled"] = !field->isEnabled() || !takesTouches;
            add(view, std::move(item));
            return;
        }
        if (auto toggle = dynamic_cast<Switch*>(&view)) {
            json item = element("switch", "", onScreen);
            item["checked"] = toggle->isOn();
            item["disabled"] = !toggle->isEnabled() || !takesTouches;
            add(view, std::move(item));
            return;
        }
        if (auto segmented = dynamic_cast<SegmentedControl*>(&view)) {
            const std::int64_t count = segmented->numberOfSegments();
            for (std::int64_t i = 0; i < count; ++i) {
                // Segments may differ in width: each lies where the control draws it.
                const Rect drawn = segmented->rectForSegmentAtIndex(i);
                Rect segment = onScreen;
                segment.origin.x += drawn.minX() - segmented->bounds().minX();
                segment.size.width = drawn.size.width;
                json item = element("radio", segmented->titleForSegmentAtIndex(i).value_or(""), segment);
                item["checked"] = segmented->selectedSegmentIndex() == i;
                item["disabled"] = !segmented->isEnabled() || !takesTouches;
                add(view, std::move(item));
            }
            return;
        }
        if (auto button = dynamic_cast<Button*>(&view)) {
            json item = element("button", buttonName(*button), onScreen);
            item["disabled"] = !button->isEnabled() || !takesTouches;
            if (button->isSelected()) item["checked"] = true;
            add(view, std::move(item));
            return;
        }
        if (auto label = dynamic_cast<Label*>(&view)) {
            if (label->text() && !label->text()->empty()) add(view, element("text", *label->text(), onScreen));
            return;
        }
        if (view.accessibilityLabel() && !dynamic_cast<TableViewCell*>(&view)) {
            // A view that speaks for itself: what it draws inside is not read apart.
            const AccessibilityTraits traits = view.accessibilityTraits();
            const bool button = traits & AccessibilityTraitButton;
            json item = element(button ? "button" : "text", "", onScreen);
            if (button) item["disabled"] = (traits & AccessibilityTraitNotEnabled) || !takesTouches;
            if (traits & AccessibilityTraitSelected) item["checked"] = true;
            add(view, std::move(item));
            return;
        }
        if (dynamic_cast<TableViewCell*>(&view)) {
            std::vector<std::string> texts;
            collectLabelTexts(view, texts);
            json row = element("row", componentsJoinedByString(texts, ", "), onScreen);
            // A row whose cell takes no touches cannot be chosen.
            if (!takesTouches) row["disabled"] = true;
            add(view, std::move(row));
        }
        for (const auto& child : view.subviews())
            if (child) visit(*child, clip, opacity, takesTouches);
    }

private:
    struct Found {
        json item;
        const View* view;
        Point middle;
        bool covered = false;
    };

    // The view's element, named by its accessibility label where it has one;
    // nothing for a view that is not an element.
    void add(const View& view, json item) {
        if (view.isAccessibilityElement() == false) return;
        if (view.accessibilityLabel()) item["name"] = *view.accessibilityLabel();
        const Point middle{item["x"].get<double>() + item["width"].get<double>() / 2,
                           item["y"].get<double>() + item["height"].get<double>() / 2};
        found_.push_back({std::move(item), &view, middle});
    }

    // What was found before `by` lies under it, unless `by` is within it (a
    // row's opaque content view lies on the row, not over it).
    void cover(const View& by, const Rect& rect) {
        for (auto& found : found_)
            if (!found.covered && rect.contains(found.middle) && !by.isDescendantOfView(found.view))
                found.covered = true;
    }

    std::vector<Found> found_;
};

cairo_status_t appendBytes(void* closure, const unsigned char* data, unsigned int length) {
    static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
    return CAIRO_STATUS_SUCCESS;
}

}  // namespace

std::vector<std::shared_ptr<Window>> visibleWindows() {
    std::vector<std::shared_ptr<Window>> windows;
    for (const auto& window : Application::shared().windows())
        if (window && !window->isHidden()) windows.push_back(window);
    std::stable_sort(windows.begin(), windows.end(),
                     [](const auto& a, const auto& b) { return a->windowLevel() < b->windowLevel(); });
    return windows;
}

std::shared_ptr<Window> windowAtPoint(Point point) {
    auto windows = visibleWindows();
    for (auto it = windows.rbegin(); it != windows.rend(); ++it) {
        const Point local{point.x - (*it)->frame().origin.x, point.y - (*it)->frame().origin.y};
        if ((*it)->hitTest(local)) return *it;
    }
    return nullptr;
}

std::shared_ptr<Image> render(double scale) {
    const Size size = Screen::main().bounds().size;
    auto windows = visibleWindows();
    return Image::render(size, scale, [&](GraphicsContext& context) {
        for (const auto& window : windows) {
            window->layoutIfNeeded();
            // A window's layer sits where the window's frame puts it on the screen.
            window->traitCollection().performAsCurrent([&] { window->layer().renderInContext(context); });
        }
    });
}

std::string pngBytes(const Image& image) {
    std::string bytes;
    cairo_surface_flush(image.surface());
    cairo_surface_write_to_png_stream(image.surface(), appendBytes, &bytes);
    return bytes;
}

bool writePNG(const std::string& path, double scale, Error* error) {
    return render(scale)->writePNG(path, error);
}

json accessibleElements() {
    const Rect screen = Screen::main().bounds();
    Collector collector;
    for (const auto& window : visibleWindows()) collector.visit(*window, screen, 1, true);
    return collector.elements();
}

}  // namespace DisplayScreen
