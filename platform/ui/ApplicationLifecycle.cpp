#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "platform/document/Document.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/StringUtils.h"
#include "platform/ui/Application.h"
#include "platform/ui/ApplicationDelegate.h"
#include "platform/ui/Window.h"

extern char** environ;

namespace {

struct DelegateClass {
    ApplicationDelegateClasses::Initializer initialize;
    ApplicationDelegateClasses::Factory factory;
    bool initialized = false;
};

std::mutex& classesMutex() {
    static auto* mutex = new std::mutex;
    return *mutex;
}

std::map<std::string, DelegateClass>& classes() {
    static auto* map = new std::map<std::string, DelegateClass>;
    return *map;
}

std::atomic<bool> gHandsWebURLsToSystem{false};

// The first executable `xdg-open` on the PATH, or "".
std::string xdgOpenPath() {
    const char* path = std::getenv("PATH");
    if (!path) return {};
    for (const std::string& folder : componentsSeparatedByString(path, ":")) {
        if (folder.empty()) continue;
        std::string candidate = folder + "/xdg-open";
        if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return {};
}

// Starts `xdg-open <url>` with its output silenced and reaps it when it ends.
void handToSystem(const std::string& url) {
    const std::string program = xdgOpenPath();
    if (program.empty()) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    std::string arg0 = "xdg-open";
    std::string arg1 = url;
    char* argv[] = {arg0.data(), arg1.data(), nullptr};
    pid_t pid = 0;
    if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, environ) == 0) {
        std::thread([pid] {
            int status = 0;
            ::waitpid(pid, &status, 0);
        }).detach();
    }
    posix_spawn_file_actions_destroy(&actions);
}

void post(const char* name) {
    NotificationCenter::defaultCenter().post(Notification(name));
}

}  // namespace

namespace ApplicationDelegateClasses {

void registerClass(const std::string& name, Initializer initialize, Factory factory) {
    std::lock_guard lock(classesMutex());
    classes()[name] = DelegateClass{std::move(initialize), std::move(factory), false};
}

std::shared_ptr<ApplicationDelegate> makeDelegate(const std::string& name) {
    Initializer initialize;
    Factory factory;
    {
        std::lock_guard lock(classesMutex());
        auto it = classes().find(name);
        if (it == classes().end() || !it->second.factory) return nullptr;
        if (!it->second.initialized) {
            it->second.initialized = true;
            initialize = it->second.initialize;
        }
        factory = it->second.factory;
    }
    if (initialize) initialize();
    return factory();
}

}  // namespace ApplicationDelegateClasses

void Application::setHandsWebURLsToSystem(bool hands) {
    gHandsWebURLsToSystem = hands;
}

void Application::openURL(const URL& url) {
    openedURLs_.push_back(url);
    if (!gHandsWebURLsToSystem) return;
    const std::string scheme = lowercaseString(url.scheme().value_or(""));
    if (scheme == "http" || scheme == "https" || scheme == "mailto") handToSystem(url.absoluteString());
}

void Application::setDelegate(std::shared_ptr<ApplicationDelegate> delegate) {
    delegate_ = std::move(delegate);
}

void Application::launchWithOptions(const Value& launchOptions, std::shared_ptr<ViewController> rootViewController) {
    auto delegate = delegate_;
    if (delegate) delegate->applicationWillFinishLaunchingWithOptions(*this, launchOptions);
    if (delegate && rootViewController)
        if (auto window = delegate->window()) window->setRootViewController(std::move(rootViewController));
    if (delegate) delegate->applicationDidFinishLaunchingWithOptions(*this, launchOptions);
    post(kDidFinishLaunchingNotification);
    if (delegate) {
        if (auto window = delegate->window(); window && !window->isKeyWindow()) window->makeKeyAndVisible();
        const Value& url = launchOptions.isDictionary() ? launchOptions[ApplicationLaunchOptionsURLKey] : Value();
        if (url.isString()) {
            if (auto parsed = URL::URLWithString(url.stringValue())) {
                delegate->applicationOpenURL(*this, *parsed, Value::dictionary());
            }
        }
    }
    becomeActive();
}

void Application::becomeActive() {
    if (state_ == ApplicationState::Active) return;
    state_ = ApplicationState::Active;
    if (auto delegate = delegate_) delegate->applicationDidBecomeActive(*this);
    post(kDidBecomeActiveNotification);
}

void Application::resignActive() {
    if (state_ != ApplicationState::Active) return;
    if (auto delegate = delegate_) delegate->applicationWillResignActive(*this);
    state_ = ApplicationState::Inactive;
    post(kWillResignActiveNotification);
}

void Application::didEnterBackground(std::function<void()> savesDone) {
    inBackground_ = true;
    state_ = ApplicationState::Background;
    if (auto delegate = delegate_) delegate->applicationDidEnterBackground(*this);
    post(kDidEnterBackgroundNotification);
    Document::autosaveDocumentsWithUnsavedChanges(std::move(savesDone));
}

void Application::willEnterForeground() {
    inBackground_ = false;
    state_ = ApplicationState::Inactive;
    if (auto delegate = delegate_) delegate->applicationWillEnterForeground(*this);
    post(kWillEnterForegroundNotification);
}

void Application::terminate(std::function<void()> completion) {
    resignActive();
    auto finish = [this, completion = std::move(completion)] {
        if (auto delegate = delegate_) delegate->applicationWillTerminate(*this);
        post(kWillTerminateNotification);
        if (completion) completion();
    };
    if (inBackground_) {
        Document::autosaveDocumentsWithUnsavedChanges(std::move(finish));
    } else {
        didEnterBackground(std::move(finish));
    }
}
