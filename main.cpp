#include <sys/utsname.h>

#include "app/shell/DiagnosticsController.h"
#include "app/shell/FIAppDelegateDocuments.h"
#include "app/shell/FIAppDelegate.h"
#include "model/TWLogger.h"
#include "platform/foundation/Bundle.h"

// Start-up as far as the application shell exists so far: the log file, the
// launch line, the diagnostics switch, the first-launch date and the analytics
// and crash-reporting service.
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
    return 0;
}
