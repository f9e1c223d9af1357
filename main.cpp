#include <sys/utsname.h>

#include "app/shell/DiagnosticsController.h"
#include "app/shell/FIAppDelegateDocuments.h"
#include "app/shell/FIAppDelegate.h"
#include "Common/FCZipBackedBinaryDocumentPersistence.h"
#include "model/TWLogger.h"
#include "platform/foundation/AppContainer.h"
#include "platform/foundation/Bundle.h"

// Start-up as far as the application shell exists so far: the log file, the
// launch line, the diagnostics switch, the first-launch date, the analytics
// and crash-reporting service, and the removal of what stopped runs left.
int main() {
    FIAppDelegate::initialize();
    FIAppDelegateDocuments::installDocumentHooks();

    struct utsname sys {};
    uname(&sys);
    std::string version = Bundle::main().objectForInfoDictionaryKey("CFBundleShortVersionString").stringValue();
    TWLogInfo("Launched app version: %@. System: %@", version, std::string(sys.sysname) + " " + sys.release);
    DiagnosticsController::shared().startCollectingDebugMessagesIfNeeded();
    FIAppDelegate::recordFirstLaunchDate();
    FIAppDelegate::shared()->startAnalyticsAndCrashReporting();
    // Nothing is open yet: whatever a stopped run left behind can go.
    FCZipBackedBinaryDocumentPersistence::removeLeftoversOfEarlierRuns({AppContainer::documentsDirectory()});
    return 0;
}
