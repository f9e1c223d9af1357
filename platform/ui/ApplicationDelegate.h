#pragma once

// The application delegate (UIApplicationDelegate) and the classes of
// delegates a program can name: ApplicationMain makes its delegate from the
// class name it is given, as the platform does from a string.
//
// Every call is made on the main thread; each has the platform's default
// answer, so a delegate overrides what it needs.

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/URL.h"
#include "platform/foundation/Value.h"

class Application;
class Window;

// Keys of the launch options.
inline constexpr const char* ApplicationLaunchOptionsURLKey = "UIApplicationLaunchOptionsURLKey";

class ApplicationDelegate {
public:
    virtual ~ApplicationDelegate() = default;

    // The window that ApplicationMain made for the main storyboard is handed
    // over before launching begins; its root (the storyboard's initial
    // controller) is installed once will-finish launching has returned, so
    // that the root's view loads after the delegate's set-up (the platform
    // loads it when the window shows).
    virtual std::shared_ptr<Window> window() const { return nullptr; }
    virtual void setWindow(std::shared_ptr<Window> /*window*/) {}

    // launchOptions: a dictionary, with ApplicationLaunchOptionsURLKey (the
    // URL's absolute string) when the app was launched to open a URL.
    virtual bool applicationWillFinishLaunchingWithOptions(Application&, const Value& /*launchOptions*/) {
        return true;
    }
    virtual bool applicationDidFinishLaunchingWithOptions(Application&, const Value& /*launchOptions*/) { return true; }
    // A URL handed to the app (the launch URL, or one opened later).
    virtual bool applicationOpenURL(Application&, const URL& /*url*/, const Value& /*options*/) { return false; }
    virtual void applicationDidBecomeActive(Application&) {}
    virtual void applicationWillResignActive(Application&) {}
    virtual void applicationDidEnterBackground(Application&) {}
    virtual void applicationWillEnterForeground(Application&) {}
    virtual void applicationWillTerminate(Application&) {}
    virtual void applicationDidReceiveMemoryWarning(Application&) {}
};

namespace ApplicationDelegateClasses {

// A class that ApplicationMain can make by name: its class set-up (run once,
// before the first delegate of the class is made; may be empty) and the
// maker of the delegate object.
using Initializer = std::function<void()>;
using Factory = std::function<std::shared_ptr<ApplicationDelegate>()>;
void registerClass(const std::string& name, Initializer initialize, Factory factory);

// Runs the class set-up (once per process) and makes the delegate; nullptr
// for a name no class was registered under.
std::shared_ptr<ApplicationDelegate> makeDelegate(const std::string& name);

}  // namespace ApplicationDelegateClasses
