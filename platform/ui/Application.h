#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "platform/foundation/URL.h"
#include "platform/foundation/Value.h"
#include "platform/ui/TraitCollection.h"

class ApplicationDelegate;
class ViewController;
class Window;

// UIApplicationState.
enum class ApplicationState { Active, Inactive, Background };

// The application object, as far as the interface needs it: the visible
// windows and the key window. It does not own the windows; whoever shows a
// window keeps it alive.
class Application {
public:
    static Application& shared();

    // The visible windows from the lowest level to the highest (in the order
    // they were shown within a level).
    std::vector<std::shared_ptr<Window>> windows() const;
    std::shared_ptr<Window> keyWindow() const;

    static constexpr const char* kDidEnterBackgroundNotification = "UIApplicationDidEnterBackgroundNotification";
    static constexpr const char* kWillEnterForegroundNotification = "UIApplicationWillEnterForegroundNotification";
    static constexpr const char* kDidFinishLaunchingNotification = "UIApplicationDidFinishLaunchingNotification";
    static constexpr const char* kDidBecomeActiveNotification = "UIApplicationDidBecomeActiveNotification";
    static constexpr const char* kWillResignActiveNotification = "UIApplicationWillResignActiveNotification";
    static constexpr const char* kWillTerminateNotification = "UIApplicationWillTerminateNotification";

    // --- The delegate and the lifecycle (ApplicationLifecycle.cpp) ---
    // Every step tells the delegate first, then posts its notification on
    // the default centre (no sender). Main thread.
    const std::shared_ptr<ApplicationDelegate>& delegate() const { return delegate_; }
    void setDelegate(std::shared_ptr<ApplicationDelegate> delegate);
    ApplicationState applicationState() const { return state_; }
    // Launching: will-finish launching with the options, the root controller
    // (if given) installed in the delegate's window, did-finish launching,
    // the window made key and visible (unless it is already), the launch URL
    // handed to the delegate's applicationOpenURL when the options hold one,
    // then the first activation.
    void launchWithOptions(const Value& launchOptions, std::shared_ptr<ViewController> rootViewController = nullptr);
    void becomeActive();
    void resignActive();
    // The app went to the background / is about to come back. Going to the
    // background also autosaves every document with unsaved changes, as the
    // platform's documents do on leaving the foreground; the completion (if
    // any) runs once those saves are done. Nothing suspends this process, so
    // the program (on a quit request) and tests call these where the
    // platform would.
    void didEnterBackground(std::function<void()> savesDone = {});
    void willEnterForeground();
    bool isInBackground() const { return inBackground_; }
    // Ending the run: resign (when active), background (when not already),
    // and once the documents' saves are done, will-terminate; then the
    // completion. Main thread.
    void terminate(std::function<void()> completion);

    // Tells every controller of the visible windows (each root, its
    // children and what it presents, parents before children) that memory
    // runs low: their didReceiveMemoryWarning. Posts
    // "UIApplicationDidReceiveMemoryWarningNotification" first.
    void didReceiveMemoryWarning();
    // Tells the same controllers that the screen's traits changed
    // (traitCollectionDidChange with the previous ones); Screen and Device
    // call it.
    void traitCollectionDidChange(const TraitCollection& previous);

    // Background tasks (beginBackgroundTaskWithExpirationHandler:), from any
    // thread. Nothing suspends this process, so they are only recorded; they
    // expire when expireBackgroundTasks() says so (the handlers of the open
    // tasks run on the calling thread). Identifiers start at 1.
    using BackgroundTaskIdentifier = unsigned long;
    static constexpr BackgroundTaskIdentifier kInvalidBackgroundTask = 0;
    BackgroundTaskIdentifier beginBackgroundTask(std::function<void()> expirationHandler);
    void endBackgroundTask(BackgroundTaskIdentifier identifier);
    std::vector<BackgroundTaskIdentifier> openBackgroundTasks() const;
    void expireBackgroundTasks();

    // The status bar's network-activity indicator (recorded; main thread).
    // networkActivityIndicatorSetCount() counts the calls of the setter.
    bool isNetworkActivityIndicatorVisible() const;
    void setNetworkActivityIndicatorVisible(bool visible);
    int networkActivityIndicatorSetCount() const;

    // Whether the screen stays on without touches (the idle timer is off
    // while set). Nothing locks here; the flag is kept for screens that turn
    // it off while they are shown.
    bool isIdleTimerDisabled() const { return idleTimerDisabled_; }
    void setIdleTimerDisabled(bool disabled) { idleTimerDisabled_ = disabled; }

    // Hands a URL to the app that opens its scheme. The URLs are kept in
    // order, for tests to read; when handing web URLs to the system is on
    // (the program turns it on), http, https and mailto URLs also go to
    // `xdg-open` when it is on the PATH. No other URL leaves the process.
    void openURL(const URL& url);
    static void setHandsWebURLsToSystem(bool hands);
    const std::vector<URL>& openedURLs() const { return openedURLs_; }
    void clearOpenedURLs() { openedURLs_.clear(); }

    // Called by windows.
    void windowDidShow(Window& window);
    void windowDidHide(Window& window);
    void windowWillBecomeKey(Window& window);
    void windowDidGoAway(Window& window);

private:
    void forEachController(const std::function<void(ViewController&)>& block) const;

    struct Entry {
        Window* window;
        std::weak_ptr<Window> weak;
    };
    std::vector<Entry> visible_;  // in the order shown
    Window* key_ = nullptr;
    std::vector<URL> openedURLs_;
    bool idleTimerDisabled_ = false;
    bool inBackground_ = false;
    std::shared_ptr<ApplicationDelegate> delegate_;
    ApplicationState state_ = ApplicationState::Inactive;
};
