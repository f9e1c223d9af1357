#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "platform/foundation/URL.h"
#include "platform/ui/TraitCollection.h"

class ViewController;
class Window;

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

    // The app went to the background / is about to come back: post
    // kDidEnterBackgroundNotification / kWillEnterForegroundNotification on
    // the default centre (no sender) and keep the state. Nothing suspends
    // this process, so the shell (and tests) call these where the platform
    // would. Main thread.
    void didEnterBackground();
    void willEnterForeground();
    bool isInBackground() const { return inBackground_; }

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

    // Hands a URL to the app that opens its scheme. No other app is reached
    // from here: the URLs are kept in order, for tests to read.
    void openURL(const URL& url) { openedURLs_.push_back(url); }
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
};
