#pragma once

// The program as it starts: the application delegate launched with the main
// storyboard's first screen in its window, on a fresh app folder with the
// cloud account signed in, at phone or tablet size. Tests drive it as a user
// does, through what the screen shows.

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "app/shell/AppDelegateTestSupport.h"
#include "platform/display/DisplayScreen.h"
#include "platform/foundation/Bundle.h"
#include "platform/ui/ApplicationDelegate.h"
#include "platform/ui/Screen.h"
#include "platform/ui/Touches.h"

namespace memorant_test {

struct DeviceCase {
    const char* name;
    UserInterfaceIdiom idiom;
};

inline auto phoneAndTablet() {
    return ::testing::Values(DeviceCase{"phone", UserInterfaceIdiom::Phone},
                             DeviceCase{"tablet", UserInterfaceIdiom::Pad});
}

inline std::string deviceCaseName(const ::testing::TestParamInfo<DeviceCase>& info) { return info.param.name; }

class LaunchedAppTest : public UITest, public ::testing::WithParamInterface<DeviceCase> {
protected:
    void SetUp() override {
        savedRoot = AppContainer::root();
        savedToken = UbiquityContainer::ubiquityIdentityToken();
        AppContainer::setRoot(home.str());
        UserDefaults::resetStandard();
        UbiquityContainer::setUbiquityIdentityToken(UbiquityIdentityToken("alice"));
        Device::current().setUserInterfaceIdiom(GetParam().idiom);
        beforeLaunch();
        app = ApplicationDelegateClasses::makeDelegate("FIAppDelegate");
        ASSERT_TRUE(app);
        Application::shared().setDelegate(app);
        app->setWindow(std::make_shared<Window>());
        const std::string storyboard = Bundle::main().objectForInfoDictionaryKey("UIMainStoryboardFile").stringValue();
        Application::shared().launchWithOptions(
            launchOptions(), Storyboard::storyboardWithName(storyboard)->instantiateInitialViewController());
        settle();
    }
    void TearDown() override {
        if (auto alert = UIDriver::presentedAlert()) alert->presentingViewController()->dismissViewController(false);
        for (const auto& window : Application::shared().windows()) window->setHidden(true);
        drainMainLoop();
        Application::shared().setDelegate(nullptr);
        app.reset();
        UbiquityContainer::setUbiquityIdentityToken(savedToken);
        AppContainer::setRoot(savedRoot);
        UserDefaults::resetStandard();
        UITest::TearDown();
    }

    // How the program is started: plainly, or with a link or file to open.
    virtual Value launchOptions() { return Value::dictionary(); }
    // What earlier runs left in the app folder and its settings.
    virtual void beforeLaunch() {}

    // Lets animations, timers and queued work finish.
    void settle() {
        for (int i = 0; i < 5; ++i) {
            advance(1);
            ASSERT_TRUE(
                runMainLoopUntil([] { return drainMainLoop() == 0 && !DispatchQueue::hasPendingBackgroundWork(); }));
        }
    }

    // The screen's accessible elements, a line each, as a failure shows them.
    static std::string elementNames() {
        std::string text;
        for (const auto& element : DisplayScreen::accessibleElements())
            text += element["role"].get<std::string>() + " '" + element["name"].get<std::string>() + "'" +
                    (element.value("disabled", false) ? " (disabled)" : "") + "\n";
        return text;
    }

    // The screen's accessible elements of that role whose name matches, in
    // drawing order (the topmost last).
    static std::vector<nlohmann::json> elementsNamed(const std::string& role, const std::string& pattern) {
        const std::regex name(pattern);
        std::vector<nlohmann::json> found;
        for (const auto& element : DisplayScreen::accessibleElements())
            if (element["role"] == role && std::regex_search(element["name"].get<std::string>(), name))
                found.push_back(element);
        return found;
    }
    // A point of an element on the screen: `fromX` of its width, at half its height.
    static Point pointOn(const nlohmann::json& element, double fromX = 0.5) {
        return {element["x"].get<double>() + element["width"].get<double>() * fromX,
                element["y"].get<double>() + element["height"].get<double>() / 2};
    }
    // A tap at a point of the screen, on the window there, as the screen
    // gives it: a view that follows the finger itself (a key of the remote)
    // takes the touch, else the tap goes to recognisers, controls and rows.
    // False when nothing takes it.
    static bool tapScreen(Point point) {
        auto window = DisplayScreen::windowAtPoint(point);
        if (!window) return false;
        const Point local{point.x - window->frame().origin.x, point.y - window->frame().origin.y};
        UIDriver::Touch touch(*window, local);
        if (touch.isTracking()) {
            touch.end();
            return true;
        }
        return UIDriver::tap(*window, local);
    }
    // A finger put down at a point of the screen and moved by `by` in
    // `steps`, let go at `velocity`; false when nothing takes the drag.
    static bool dragOnScreen(Point from, Point by, Point velocity, int steps = 8) {
        auto window = DisplayScreen::windowAtPoint(from);
        return window && UIDriver::pan(*window, {from.x - window->frame().origin.x, from.y - window->frame().origin.y},
                                       by, velocity, steps);
    }

    // A drag across the screen from `fromX` of its width, at half its height.
    ::testing::AssertionResult dragScreen(double fromX, double dx) {
        const Rect bounds = Screen::main().bounds();
        if (!dragOnScreen({bounds.width() * fromX, bounds.height() / 2}, {dx, 0}, {dx * 4, 0}))
            return ::testing::AssertionFailure() << "nothing takes a drag across the screen among\n"
                                                 << elementNames();
        settle();
        return ::testing::AssertionSuccess();
    }

    TempDir home;
    std::string savedRoot;
    std::optional<UbiquityIdentityToken> savedToken;
    std::shared_ptr<ApplicationDelegate> app;
};

}  // namespace memorant_test
