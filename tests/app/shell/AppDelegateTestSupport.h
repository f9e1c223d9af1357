#pragma once

// The application delegate on a fresh app folder, the virtual clock and the
// cloud container stand-in, with the deck library in its window.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/library/DeckLibraryConfigurator.h"
#include "app/library/DeckLibraryTableViewController.h"
#include "app/shell/FIAppDelegate.h"
#include "platform/cloud/PromisedItems.h"
#include "platform/cloud/UbiquityContainer.h"
#include "platform/foundation/AppContainer.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/AlertController.h"
#include "platform/ui/Application.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/Storyboard.h"
#include "platform/ui/UIDriver.h"
#include "platform/ui/UITestFixture.h"
#include "platform/ui/Window.h"
#include "support/TestEnvironment.h"

namespace memorant_test {

inline std::string fileText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

inline void writeFile(const std::filesystem::path& path, const std::string& text) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

inline std::string localized(const std::string& key) {
    return Bundle::main().localizedString(key, "", "Localizable");
}

class AppDelegateFixture : public UITest {
protected:
    // A fresh app folder and defaults, the cloud account signed in as the
    // token says (none: signed out), and the library in the app's window.
    void setUpApp(const std::optional<UbiquityIdentityToken>& token) {
        savedRoot = AppContainer::root();
        savedToken = UbiquityContainer::ubiquityIdentityToken();
        AppContainer::setRoot(home.str());
        UserDefaults::resetStandard();
        UbiquityContainer::setUbiquityIdentityToken(token);
        app = std::make_shared<FIAppDelegate>();
        library = Storyboard::storyboardWithName(DeckLibraryTableViewController::kStoryboardName)
                      ->instantiate<DeckLibraryTableViewController>(DeckLibraryTableViewController::kSceneIdentifier);
        window->setRootViewController(std::make_shared<NavigationController>(library));
        app->setWindow(window);
        window->makeKeyAndVisible();
        drainMainLoop();
    }
    void TearDown() override {
        if (auto alert = UIDriver::presentedAlert()) alert->presentingViewController()->dismissViewController(false);
        window->setHidden(true);
        drainMainLoop();
        library.reset();
        app.reset();
        PromisedItems::setDownloadsFinishAtOnce(true);
        UbiquityContainer::setUbiquityIdentityToken(savedToken);
        AppContainer::setRoot(savedRoot);
        UserDefaults::resetStandard();
        UITest::TearDown();
    }

    void launch(const Value& options = Value::dictionary()) {
        app->applicationWillFinishLaunchingWithOptions(Application::shared(), options);
        app->applicationDidFinishLaunchingWithOptions(Application::shared(), options);
        ASSERT_TRUE(settle());
    }
    // Runs the main loop until the container queue and the main queue are done.
    ::testing::AssertionResult settle() {
        return runMainLoopUntil([&] {
            if (DispatchQueue::hasPendingBackgroundWork()) return false;
            return drainMainLoop() == 0 && !DispatchQueue::hasPendingBackgroundWork();
        });
    }
    std::filesystem::path documents() const { return AppContainer::documentsDirectory(); }
    bool usingCloud() { return DeckLibraryConfigurator::isUsingCloudStorage(AnyObject(library)); }
    std::int64_t preference() { return UserDefaults::standard().integerForKey("FCUserPreferredStorageLocation"); }
    void setPreference(std::int64_t value) {
        UserDefaults::standard().setInteger(value, "FCUserPreferredStorageLocation");
    }
    void saveToken(const std::optional<std::string>& identity) {
        if (identity)
            UserDefaults::standard().setObject(Value(UbiquityIdentityToken(*identity).archivedData()),
                                               "FIUbiquityIdentityToken");
        else
            UserDefaults::standard().removeObjectForKey("FIUbiquityIdentityToken");
    }
    std::optional<std::string> alertTitle() {
        auto alert = UIDriver::presentedAlert();
        return alert ? alert->title() : std::nullopt;
    }
    bool tap(const std::string& title) {
        auto alert = UIDriver::presentedAlert();
        if (!alert || !UIDriver::tapAlertAction(*alert, title)) return false;
        advance(1);
        return static_cast<bool>(settle());
    }
    // Waits until the library lists this many decks.
    ::testing::AssertionResult listed(std::size_t count) {
        return runMainLoopUntil([&] { return library->documentItems().size() == count; });
    }

    TempDir home;
    std::string savedRoot;
    std::optional<UbiquityIdentityToken> savedToken;
    std::shared_ptr<FIAppDelegate> app;
    std::shared_ptr<DeckLibraryTableViewController> library;
    std::shared_ptr<Window> window = std::make_shared<Window>(Rect(0, 0, 390, 844));
};

}  // namespace memorant_test
