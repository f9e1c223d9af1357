#include "app/shell/FIAppDelegate.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "Common/FCZipBackedBinaryDocumentPersistence.h"
#include "app/library/DeckLibraryConfigurator.h"
#include "app/library/DeckLibraryTableViewController.h"
#include "app/shell/DiagnosticsController.h"
#include "app/shell/FIAppDelegateDocuments.h"
#include "app/study/FIAlternativeCardAttachmentURLProtocol.h"
#include "app/views/ColorAdditions.h"
#include "app/views/FISystemInfo.h"
#include "model/TWLogger.h"
#include "platform/foundation/AppContainer.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/Languages.h"
#include "platform/foundation/StringUtils.h"
#include "platform/foundation/URLResourceValues.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/Application.h"
#include "platform/ui/NavigationBar.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/Pasteboard.h"
#include "platform/ui/Storyboard.h"
#include "platform/ui/Window.h"

namespace {

constexpr const char* kNavigationSceneIdentifier = "DeckLibraryNavigationController";

// The window's root: a navigation controller whose first controller is the
// deck library. The shell's part of the main storyboard; it runs after the
// library's own scenes (extensions run in the order of their names) and
// makes this scene the initial one.
void registerShellScenes() {
    Storyboard::extendStoryboard(DeckLibraryTableViewController::kStoryboardName, "Shell", [](Storyboard& storyboard) {
        storyboard.addNavigationScene(kNavigationSceneIdentifier, DeckLibraryTableViewController::kSceneIdentifier);
        storyboard.setInitialScene(kNavigationSceneIdentifier);
    });
}

const bool kRegistered = (FIAppDelegate::registerApplicationDelegateClass(), true);

}  // namespace

// --- Class operations ---

std::string FIAppDelegate::logFilePath() {
    const Bundle& bundle = Bundle::main();
    std::string folder = stringByAppendingPathComponent(
        stringByAppendingPathComponent(AppContainer::cachesDirectory(), bundle.bundleIdentifier()), "Logs");
    std::string name = bundle.objectForInfoDictionaryKey("CFBundleName").stringValue("Memorant");
    return stringByAppendingPathComponent(folder, name + ".log");
}

URL FIAppDelegate::applicationLogFileUrl() {
    return URL::fileURLWithPath(logFilePath());
}

URL FIAppDelegate::applicationDataDirectoryURL() {
    return URL::fileURLWithPath(
        stringByAppendingPathComponent(AppContainer::applicationSupportDirectory(), Bundle::main().bundleIdentifier()),
        true);
}

std::string FIAppDelegate::currentAppLanguageCode() {
    FileManager& files = FileManager::defaultManager();
    const std::string resources = Bundle::main().resourcePath();
    for (const std::string& language : Languages::preferredLanguages()) {
        for (const std::string& candidate : {language, language.substr(0, language.find_first_of("-_"))}) {
            bool isDirectory = false;
            if (!candidate.empty() &&
                files.fileExistsAtPath(stringByAppendingPathComponent(resources, candidate + ".lproj"), &isDirectory) &&
                isDirectory)
                return candidate;
        }
    }
    return "en";
}

bool FIAppDelegate::isUITest() {
    return std::getenv("UITest") != nullptr;
}

bool FIAppDelegate::wantsScreenshotSetup() {
    return std::getenv("FISetupScreenshots") != nullptr;
}

void FIAppDelegate::initialize() {
    FIAlternativeCardAttachmentURLProtocol::registerCardAttachmentProtocol();
    std::string path = logFilePath();
    FileManager::defaultManager().createDirectoryAtPath(stringByDeletingLastPathComponent(path), true);
    if (!isatty(STDERR_FILENO)) {
        // The file is opened first and only then moved over standard error, so
        // that a log file that cannot be opened leaves standard error as it was.
        const int log = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
        if (log < 0) {
            const int error = errno;
            std::fprintf(stderr, "Cannot open the log file %s (%s); logging to standard error\n", path.c_str(),
                         std::strerror(error));
        } else {
            std::fflush(stderr);
            ::dup2(log, STDERR_FILENO);
            ::close(log);
        }
    }
    std::fputs("---\n", stderr);
    std::fflush(stderr);
}

void FIAppDelegate::registerApplicationDelegateClass() {
    registerShellScenes();
    ApplicationDelegateClasses::registerClass(
        "FIAppDelegate", [] { initialize(); },
        []() -> std::shared_ptr<ApplicationDelegate> { return FIAppDelegate::shared(); });
}

bool FIAppDelegate::recordFirstLaunchDate() {
    UserDefaults& defaults = UserDefaults::standard();
    if (!defaults.objectForKey("FIFirstLaunchDate").isNull()) return false;
    defaults.setObject(Value(Date::now()), "FIFirstLaunchDate");
    defaults.synchronize();
    return true;
}

std::shared_ptr<FIAppDelegate> FIAppDelegate::shared() {
    static std::shared_ptr<FIAppDelegate>* instance =
        new std::shared_ptr<FIAppDelegate>(std::make_shared<FIAppDelegate>());
    return *instance;
}

FIAppDelegate::~FIAppDelegate() {
    NotificationCenter::defaultCenter().removeObserver(this);
}

// --- State ---

std::shared_ptr<FIDeckDocument> FIAppDelegate::currentDocument() const {
    return FIAppDelegateDocuments::currentDocument();
}

void FIAppDelegate::setCurrentDocument(std::shared_ptr<FIDeckDocument> document) {
    FIAppDelegateDocuments::setCurrentDocument(std::move(document));
}

std::optional<URL> FIAppDelegate::debugCloudContainerURL() const {
    std::lock_guard lock(containerURLsMutex_);
    return debugCloudContainerURL_;
}

std::optional<URL> FIAppDelegate::debugLegacyCloudContainerURL() const {
    std::lock_guard lock(containerURLsMutex_);
    return debugLegacyCloudContainerURL_;
}

std::shared_ptr<ViewController> FIAppDelegate::deckLibraryViewController() const {
    if (!window_) return nullptr;
    auto navigation = std::dynamic_pointer_cast<NavigationController>(window_->rootViewController());
    if (!navigation || navigation->viewControllers().empty()) return nullptr;
    return navigation->viewControllers().front();
}

AnyObject FIAppDelegate::deckLibrary() const {
    // Handed over as its own class, so that the configurator finds it.
    auto controller = deckLibraryViewController();
    if (auto library = std::dynamic_pointer_cast<DeckLibraryTableViewController>(controller)) return AnyObject(library);
    return AnyObject(controller);
}

// --- Launching ---

bool FIAppDelegate::applicationWillFinishLaunchingWithOptions(Application& /*application*/,
                                                              const Value& /*launchOptions*/) {
    TWLogInfo("Launched app version: %@. System: %@",
              Bundle::main().objectForInfoDictionaryKey("CFBundleShortVersionString").stringValue(),
              FISystemInfo::osversion());
    DiagnosticsController::shared().startCollectingDebugMessagesIfNeeded();
    // The documents' save-error alert and cover icons; and, nothing being
    // open yet, whatever a stopped run left behind goes.
    FIAppDelegateDocuments::installDocumentHooks();
    FCZipBackedBinaryDocumentPersistence::removeLeftoversOfEarlierRuns({AppContainer::documentsDirectory()});
    shouldDelayPromptingForStoragePreferences_ = true;
    isFirstLaunch_ = recordFirstLaunchDate();
    _upgradeToVersion_2_0_0();
    isBusySwitchingStorageLocations_ = false;
    cloudContainerSerialQueue_ = DispatchQueue::create(kCloudContainerQueueLabel);
    if (isFirstLaunch_) _placeTutorialDocument();
    if (_isCloudAvailable()) {
        std::weak_ptr<FIAppDelegate> weak = weak_from_this();
        cloudContainerSerialQueue_->async([weak] {
            auto self = weak.lock();
            if (!self) return;
            auto current = UbiquityContainer::URLForUbiquityContainerIdentifier(std::string(kCloudContainerIdentifier));
            {
                std::lock_guard lock(self->containerURLsMutex_);
                self->debugCloudContainerURL_ = current;
            }
            auto legacy =
                UbiquityContainer::URLForUbiquityContainerIdentifier(std::string(kLegacyCloudContainerIdentifier));
            {
                std::lock_guard lock(self->containerURLsMutex_);
                self->debugLegacyCloudContainerURL_ = legacy;
            }
            TWLogDebug("New iCloud container: %@", current ? current->path() : std::string("(null)"));
            TWLogDebug("Old iCloud container: %@", legacy ? legacy->path() : std::string("(null)"));
        });
    } else {
        TWLogDebug("iCloud not available.");
    }
    return true;
}

bool FIAppDelegate::applicationDidFinishLaunchingWithOptions(Application& /*application*/, const Value& launchOptions) {
    TWLogDebug("MEM did finish launching with options: %@", launchOptions);
    startAnalyticsAndCrashReporting();

    pasteboardImageDownloadQueue_ = OperationQueue::create();
    pasteboardImageDownloadQueue_->setMaxConcurrentOperationCount(1);
    pasteboardImageDownloadQueue_->setName("Pasteboard Image Download Serial Queue");

    std::weak_ptr<FIAppDelegate> weak = weak_from_this();
    auto& center = NotificationCenter::defaultCenter();
    center.addObserver(this, std::string(NSUbiquityIdentityDidChangeNotification), {},
                       [weak](const Notification& notification) {
                           if (auto self = weak.lock())
                               self->_handleUbiquityIdentityDidChangeNotification(&notification);
                       });
    center.addObserver(this, std::string(PasteboardChangedNotification), {}, [weak](const Notification& notification) {
        if (auto self = weak.lock()) self->_handlePasteboardChangedNotification(&notification);
    });

    if (window_) window_->setTintColor(twColorFromHexString(std::string("e45050")));

    if (launchOptions.isDictionary() && !launchOptions[ApplicationLaunchOptionsURLKey].isNull()) {
        TWLogDebug("About to open URL. Setting up deck library now.");
        if (_userPreferredStorageLocation() == 2 && _isCloudAvailable() && !_hasCloudAccountChanged()) {
            DeckLibraryConfigurator::configureForCloudStorage(deckLibrary());
        } else {
            DeckLibraryConfigurator::configureForLocalStorage(deckLibrary());
        }
    }

    auto navigationBarAppearance = std::make_shared<NavigationBarAppearance>();
    navigationBarAppearance->configureWithDefaultBackground();
    auto& navigationBars = NavigationBar::appearance();
    navigationBars.compactAppearance = navigationBarAppearance;
    navigationBars.standardAppearance = navigationBarAppearance;
    navigationBars.scrollEdgeAppearance = navigationBarAppearance;
    navigationBars.compactScrollEdgeAppearance = navigationBarAppearance;
    auto toolbarAppearance = std::make_shared<ToolbarAppearance>();
    toolbarAppearance->configureWithDefaultBackground();
    auto& toolbars = Toolbar::appearance();
    toolbars.compactAppearance = toolbarAppearance;
    toolbars.standardAppearance = toolbarAppearance;
    toolbars.scrollEdgeAppearance = toolbarAppearance;
    toolbars.compactScrollEdgeAppearance = toolbarAppearance;
    return true;
}

// --- Activation and the rest of the lifecycle ---

void FIAppDelegate::applicationDidBecomeActive(Application& /*application*/) {
    std::weak_ptr<FIAppDelegate> weak = weak_from_this();
    if (cloudContainerSerialQueue_) {
        cloudContainerSerialQueue_->async([weak] {
            if (auto self = weak.lock()) self->_setupUserStoragePreferences();
        });
    }
    _handlePasteboardChangedNotification(nullptr);
    TWLogDebug("MEM did become active");
}

void FIAppDelegate::applicationWillResignActive(Application& /*application*/) {
    TWLogDebug("MEM will resign active");
}

void FIAppDelegate::applicationDidEnterBackground(Application& /*application*/) {
    TWLogDebug("MEM did enter background");
}

void FIAppDelegate::applicationWillEnterForeground(Application& /*application*/) {
    TWLogDebug("MEM will enter foreground");
}

void FIAppDelegate::applicationWillTerminate(Application& /*application*/) {
    NotificationCenter::defaultCenter().removeObserver(this);
    TWLogDebug("MEM will terminate");
}

void FIAppDelegate::applicationDidReceiveMemoryWarning(Application& /*application*/) {
    lastImageCopiedToPasteBoard_ = nullptr;
}

void FIAppDelegate::_handlePasteboardChangedNotification(const Notification* /*notification*/) {}

// --- First launch, upgrade, screenshots ---

void FIAppDelegate::_placeTutorialDocument() {
    const std::string documents = AppContainer::documentsDirectory();
    if (documents.empty()) return;
    FileManager& files = FileManager::defaultManager();
    const std::string target = stringByAppendingPathComponent(documents, kTutorialFileName);
    if (files.fileExistsAtPath(target)) return;
    if (auto source = Bundle::main().pathForResource("Tutorial", "flashcards")) {
        files.copyItemAtPath(*source, target);  // a failed copy is ignored
    }
    setResourceValue(URL::fileURLWithPath(target), Value(true), URLHasHiddenExtensionKey);
    TWLogDebug("Placed Tutorial document");
}

void FIAppDelegate::_upgradeToVersion_2_0_0() {
    UserDefaults& defaults = UserDefaults::standard();
    if (isFirstLaunch_) {
        defaults.setBool(true, "FIDidUpgradeToVersion2.0.0");
        defaults.synchronize();
        return;
    }
    if (defaults.boolForKey("FIDidUpgradeToVersion2.0.0")) return;
    _saveUserPreferredStorageLocation(2);
    TWLogInfo("Upgraded to v2.0.0: Set preferred storage location to: iCloud.");
    defaults.setBool(true, "FIDidUpgradeToVersion2.0.0");
    defaults.synchronize();
}

void FIAppDelegate::_setupForScreenshots() {
    TWLogInfo("Setting up app for taking screenshots");
    DeckLibraryConfigurator::configureForCloudStorage(deckLibrary());
    _saveUserPreferredStorageLocation(2);
    std::weak_ptr<FIAppDelegate> weak = weak_from_this();
    DispatchQueue::main().asyncAfter(10.0, [weak] {
        if (auto self = weak.lock()) self->_triggeriCloudDownloadOfAllDocuments();
    });
}

void FIAppDelegate::presentAlert(const std::shared_ptr<ViewController>& alert) {
    if (!window_ || !window_->rootViewController()) {
        TWLogWarning("No window to present an alert from");
        return;
    }
    window_->rootViewController()->presentViewController(alert, true);
}
