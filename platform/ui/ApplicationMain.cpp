#include "platform/ui/ApplicationMain.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>

#include "platform/display/BrowserDisplay.h"
#include "platform/display/DisplayScreen.h"
#include "platform/foundation/AppContainer.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/RunLoop.h"
#include "platform/foundation/StringUtils.h"
#include "platform/ui/Application.h"
#include "platform/ui/ApplicationDelegate.h"
#include "platform/ui/HeadlessDisplay.h"
#include "platform/ui/LiveAnimation.h"
#include "platform/ui/Screen.h"
#include "platform/ui/Storyboard.h"
#include "platform/ui/Window.h"

namespace {

int gSignalPipe[2] = {-1, -1};

void onQuitSignal(int signal) {
    const int saved = errno;
    unsigned char byte = static_cast<unsigned char>(signal);
    ssize_t n = ::write(gSignalPipe[1], &byte, 1);
    (void)n;
    errno = saved;
}

// A free path for the name in the folder: the name, else "stem-1.ext",
// "stem-2.ext"...
std::string freePathInFolder(const std::string& folder, const std::string& name) {
    FileManager& files = FileManager::defaultManager();
    std::string candidate = stringByAppendingPathComponent(folder, name);
    if (!files.fileExistsAtPath(candidate)) return candidate;
    const std::string extension = pathExtension(name);
    const std::string stem = stringByDeletingPathExtension(name);
    for (int n = 1;; ++n) {
        std::string numbered = stem + "-" + std::to_string(n) + (extension.empty() ? "" : "." + extension);
        candidate = stringByAppendingPathComponent(folder, numbered);
        if (!files.fileExistsAtPath(candidate)) return candidate;
    }
}

// Whether the app opens documents with this extension: one of the
// "CFBundleTypeExtensions" of its info dictionary's "CFBundleDocumentTypes",
// compared without regard to case. Also the list, for a refusal.
bool appOpensExtension(const std::string& extension, std::string* listed = nullptr) {
    bool opens = false;
    std::vector<std::string> all;
    const Value& types = Bundle::main().objectForInfoDictionaryKey("CFBundleDocumentTypes");
    for (std::size_t i = 0; i < types.count(); ++i) {
        const Value& extensions = types[i]["CFBundleTypeExtensions"];
        for (std::size_t k = 0; k < extensions.count(); ++k) {
            const std::string known = extensions[k].stringValue();
            all.push_back("." + known);
            opens = opens || (!extension.empty() && caseInsensitiveCompare(known, extension) == 0);
        }
    }
    if (listed) *listed = componentsJoinedByString(all, " or ");
    return opens;
}

// Copies a document the app opens into the inbox, under a free name. Only a
// regular file (a symbolic link is followed: its file's bytes are copied, not
// the link) whose extension the app opens; anything else is refused with a
// problem and nothing is copied.
std::optional<URL> copyIntoInbox(const std::string& path, std::vector<std::string>& problems) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);  // follows symbolic links
    if (!fs::exists(status)) {
        problems.push_back(ec && ec != std::errc::no_such_file_or_directory && ec != std::errc::not_a_directory
                               ? "Cannot open " + path + ": " + ec.message()
                               : "No such file to open: " + path);
        return std::nullopt;
    }
    if (!fs::is_regular_file(status)) {
        problems.push_back("Cannot open " + path + ": " +
                           (fs::is_directory(status) ? "it is a folder" : "it is not a regular file") +
                           "; nothing was copied");
        return std::nullopt;
    }
    std::string opened;
    if (!appOpensExtension(pathExtension(path), &opened)) {
        problems.push_back("Cannot open " + path + ": only " + opened + " files are opened; nothing was copied");
        return std::nullopt;
    }
    FileManager& files = FileManager::defaultManager();
    const std::string inbox = stringByAppendingPathComponent(AppContainer::documentsDirectory(), "Inbox");
    Error error;
    if (!files.createDirectoryAtPath(inbox, true, &error)) {
        problems.push_back("Cannot make the inbox " + inbox + ": " + error.localizedDescription());
        return std::nullopt;
    }
    const std::string target = freePathInFolder(inbox, lastPathComponent(path));
    if (!fs::copy_file(path, target, ec)) {
        problems.push_back("Cannot copy " + path + " into the inbox: " + ec.message());
        fs::remove(target, ec);
        return std::nullopt;
    }
    return URL::fileURLWithPath(target, false);
}

bool installQuitSignals() {
    if (::pipe2(gSignalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return false;
    struct sigaction action {};
    action.sa_handler = onQuitSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
    return true;
}

// One pass of the main loop; the screens are told what it did.
void runPass(std::chrono::milliseconds wait, BrowserDisplay* display) {
    if (display) wait = display->maximumWait(wait);
    const bool handled = RunLoop::main().runMode(RunLoop::kDefaultMode, Date::distantFuture(), wait);
    HeadlessDisplay::refresh();
    if (display) display->passEnded(handled);
}

// Opens the address in the desktop's browser, without waiting for it.
void openInBrowser(const std::string& address) {
    const char* argv[] = {"sh", "-c", "xdg-open \"$0\" >/dev/null 2>&1 &", address.c_str(), nullptr};
    pid_t child = -1;
    if (::posix_spawnp(&child, "sh", nullptr, nullptr, const_cast<char* const*>(argv), environ) == 0)
        ::waitpid(child, nullptr, 0);
}

// The browser display, started; null (with the reason on standard error) when it cannot listen.
std::unique_ptr<BrowserDisplay> startBrowserDisplay(const ApplicationArguments& parsed) {
    auto display = std::make_unique<BrowserDisplay>();
    BrowserDisplay::Options options;
    options.port = parsed.port;
    options.scale = Screen::main().scale();
    Error error;
    if (!display->start(options, &error)) {
        std::fprintf(stderr, "%s\n", error.localizedDescription().c_str());
        return nullptr;
    }
    std::printf("Memorant shows its window at %s\n", display->server().address().c_str());
    std::fflush(stdout);
    const bool desktop = std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY");
    if (parsed.openBrowser && desktop) openInBrowser(display->server().address());
    return display;
}

void writeScreenshot(const std::string& path) {
    Error error;
    if (!DisplayScreen::writePNG(path, Screen::main().scale(), &error))
        std::fprintf(stderr, "Cannot write the screenshot %s: %s\n", path.c_str(),
                     error.localizedDescription().c_str());
}

}  // namespace

ApplicationArguments parseApplicationArguments(const std::vector<std::string>& arguments) {
    ApplicationArguments result;
    for (std::size_t index = 0; index < arguments.size(); ++index) {
        const std::string& argument = arguments[index];
        if (argument == "--until-idle") {
            result.untilIdle = true;
            continue;
        }
        if (argument == "--no-display") {
            result.display = false;
            continue;
        }
        if (argument == "--no-browser") {
            result.openBrowser = false;
            continue;
        }
        if (argument == "--port" || argument == "--device" || argument == "--screenshot") {
            if (index + 1 >= arguments.size()) {
                result.problems.push_back("The option " + argument + " needs a value");
                continue;
            }
            const std::string& value = arguments[++index];
            if (argument == "--screenshot") {
                result.screenshotPath = value;
            } else if (argument == "--device") {
                if (value == "phone" || value == "tablet")
                    result.tablet = value == "tablet";
                else
                    result.problems.push_back("Unknown device (phone or tablet): " + value);
            } else {
                char* end = nullptr;
                const long port = std::strtol(value.c_str(), &end, 10);
                if (value.empty() || *end != '\0' || port < 0 || port > 65535)
                    result.problems.push_back("Not a port number: " + value);
                else
                    result.port = static_cast<int>(port);
            }
            continue;
        }
        if (argument.rfind("--", 0) == 0) {
            result.problems.push_back("Unknown option: " + argument);
            continue;
        }
        if (result.launchURL) {
            result.problems.push_back("Only one URL or file is opened; ignored: " + argument);
            continue;
        }
        const auto colon = argument.find(':');
        const auto slash = argument.find('/');
        if (colon != std::string::npos && colon > 0 && (slash == std::string::npos || colon < slash)) {
            auto url = URL::URLWithString(argument);
            if (url && url->scheme() && lowercaseString(*url->scheme()) != "file") {
                result.launchURL = *url;
                continue;
            }
            if (url && url->isFileURL()) {
                result.launchURL = copyIntoInbox(url->path(), result.problems);
                continue;
            }
        }
        result.launchURL = copyIntoInbox(argument, result.problems);
    }
    return result;
}

Value launchOptionsForArguments(const ApplicationArguments& arguments) {
    Value options = Value::dictionary();
    if (arguments.launchURL) options.set(ApplicationLaunchOptionsURLKey, Value(arguments.launchURL->absoluteString()));
    return options;
}

bool applicationIsIdle() {
    return !RunLoop::main().hasPendingWork() && !DispatchQueue::hasPendingBackgroundWork();
}

int ApplicationMain(int argc, char** argv, const std::string& delegateClassName) {
    // Standard error as the program was started with: the delegate's class
    // set-up may send it to a log file, and what cannot be used of the command
    // line is for the person who typed it.
    const int commandLineErrors = ::fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
    auto delegate = ApplicationDelegateClasses::makeDelegate(delegateClassName);
    if (!delegate) {
        std::fprintf(stderr, "ApplicationMain: no application delegate class named '%s'\n", delegateClassName.c_str());
        if (commandLineErrors >= 0) ::close(commandLineErrors);
        return 1;
    }
    Application& application = Application::shared();
    application.setDelegate(delegate);
    Application::setHandsWebURLsToSystem(true);

    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i) arguments.emplace_back(argv[i]);
    ApplicationArguments parsed = parseApplicationArguments(arguments);
    std::fflush(stderr);
    for (const std::string& problem : parsed.problems)
        ::dprintf(commandLineErrors >= 0 ? commandLineErrors : STDERR_FILENO, "%s\n", problem.c_str());
    if (commandLineErrors >= 0) ::close(commandLineErrors);
    HeadlessDisplay::setEnabled(parsed.display);
    if (parsed.tablet) Device::current().setUserInterfaceIdiom(UserInterfaceIdiom::Pad);
    std::unique_ptr<BrowserDisplay> display;
    if (!parsed.untilIdle) {
        display = startBrowserDisplay(parsed);
        if (!display) return 1;
        LiveAnimation::setEnabled(true);
    }

    const std::string storyboardName = Bundle::main().objectForInfoDictionaryKey("UIMainStoryboardFile").stringValue();
    std::shared_ptr<ViewController> initialController;
    if (!storyboardName.empty()) {
        delegate->setWindow(std::make_shared<Window>());
        initialController = Storyboard::storyboardWithName(storyboardName)->instantiateInitialViewController();
    }

    bool quitRequested = false;
    std::shared_ptr<FileDescriptorSource> signals;
    if (installQuitSignals()) {
        signals = FileDescriptorSource::create(gSignalPipe[0], FileDescriptorSource::Readable,
                                               [&quitRequested](FileDescriptorSource&, unsigned) {
                                                   unsigned char bytes[16];
                                                   while (::read(gSignalPipe[0], bytes, sizeof bytes) > 0) {
                                                   }
                                                   quitRequested = true;
                                               });
        RunLoop::main().addSource(signals, RunLoop::kCommonModes);
    }

    application.launchWithOptions(launchOptionsForArguments(parsed), std::move(initialController));
    HeadlessDisplay::refresh();

    constexpr auto kWait = std::chrono::milliseconds(50);
    int idlePasses = 0;
    std::optional<std::string> screenshot = parsed.screenshotPath;
    while (!quitRequested) {
        // Idle twice in a row, a pass apart, so work that one queue hands
        // to another in between is not missed.
        idlePasses = applicationIsIdle() ? idlePasses + 1 : 0;
        if (idlePasses >= 2 && screenshot) {
            writeScreenshot(*screenshot);
            screenshot.reset();
        }
        if (parsed.untilIdle && idlePasses >= 2) break;
        const bool waitingForIdle = parsed.untilIdle || screenshot;
        runPass(waitingForIdle && idlePasses > 0 ? std::chrono::milliseconds(1) : kWait, display.get());
    }

    bool terminated = false;
    application.terminate([&terminated] { terminated = true; });
    // The saves' file work may still be finishing once their completions ran.
    for (int pass = 0; pass < 100000 && (!terminated || !applicationIsIdle()); ++pass) runPass(kWait, display.get());
    HeadlessDisplay::refresh();
    std::fflush(nullptr);
    // Threads of the pool may still hold the process's objects: leave at once.
    ::_exit(0);
}
