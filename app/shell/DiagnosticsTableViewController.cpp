#include "app/shell/DiagnosticsTableViewController.h"

#include <cstdio>
#include <exception>
#include <limits>

#include "app/shell/DiagnosticsController.h"
#include "app/shell/FIAppDelegate.h"
#include "app/views/FISystemInfo.h"
#include "app/views/StandaloneAlertController.h"
#include "model/TWLogger.h"
#include "platform/cloud/UbiquityContainer.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/URL.h"
#include "platform/ui/AlertController.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/Button.h"
#include "platform/ui/Label.h"
#include "platform/ui/Screen.h"
#include "platform/ui/Storyboard.h"
#include "platform/ui/Switch.h"
#include "platform/ui/TableViewCell.h"

namespace {

std::string infoStringOrUnknown(const std::string& key) {
    const std::string* text = Bundle::main().objectForInfoDictionaryKey(key).asString();
    return text ? *text : "???";
}

// Ends the process as an exception nothing catches would: the exception is
// current when the terminate handler (the crash service's) runs, so the
// report names it. No caller's catch can keep the app alive.
[[noreturn]] void raiseUncaughtException(const NamedException& exception) noexcept {
    std::rethrow_exception(std::make_exception_ptr(exception));
}

std::shared_ptr<TableViewCell> makeCell(const std::string& title) {
    auto cell = std::make_shared<TableViewCell>(TableViewCellStyle::Default, std::nullopt);
    cell->textLabel()->setText(title);
    return cell;
}

}  // namespace

void DiagnosticsTableViewController::addScene(Storyboard& storyboard, const std::string& sceneIdentifier) {
    storyboard.addScene<DiagnosticsTableViewController>(
        sceneIdentifier, [](DiagnosticsTableViewController& controller) {
            auto table = std::make_shared<TableView>(Rect(0, 0, 390, 844), TableViewStyle::Grouped);
            controller.setView(table);
            controller.setTitle("Diagnostics");
            controller.collectDiagnosticsCell_ = makeCell("Collect Debug Messages");
            controller.collectDiagnosticsCell_->setSelectionStyle(TableViewCellSelectionStyle::None);
            auto backtrace = makeCell("Generate Backtrace");
            auto report = makeCell("Send Diagnostics Report");
            controller.setStaticSections({
                {"Debug Messages",
                 {controller.collectDiagnosticsCell_, backtrace},
                 "Switch this on only when support asks you to. The app then writes more detail into its log until you "
                 "switch it off. A backtrace quits the app; send the crash report at the next start."},
                {"Report",
                 {report},
                 "Mails the app's log, its latest messages and an overview of your decks to the support team."},
            });

            auto footer = std::make_shared<View>(Rect(0, 0, 390, 64));
            auto button = std::make_shared<Button>(ButtonType::System);
            button->setFrame(Rect(16, 12, 358, 40));
            button->setTitle("Recreate the iCloud Documents Folder", ControlStateNormal);
            std::weak_ptr<ViewController> weak = controller.weak_from_this();
            button->addTarget(
                [weak](Control& sender) {
                    if (auto self = std::static_pointer_cast<DiagnosticsTableViewController>(weak.lock()))
                        self->recreateDocumentsFolder(sender.shared_from_this());
                },
                ControlEventTouchUpInside);
            footer->addSubview(button);
            table->setTableFooterView(footer);
            controller.recreateDocumentsFolderButton_ = button;
        });
}

// --- The switch ---

void DiagnosticsTableViewController::viewDidLoad() {
    TableViewController::viewDidLoad();
    auto toggle = std::make_shared<Switch>();
    std::weak_ptr<ViewController> weak = weak_from_this();
    toggle->addTarget(
        [weak](Control& sender) {
            if (auto self = std::static_pointer_cast<DiagnosticsTableViewController>(weak.lock()))
                self->collectDiagnosticsSwitchAction(std::static_pointer_cast<Switch>(sender.shared_from_this()));
        },
        ControlEventValueChanged);
    toggle->setOn(DiagnosticsController::shared().isCollectingDebugMessages());
    if (!collectDiagnosticsCell_) throw FCInternalException("The collect-diagnostics cell is not connected");
    collectDiagnosticsCell_->setAccessoryView(toggle);
}

void DiagnosticsTableViewController::collectDiagnosticsSwitchAction(const AnyObject& sender) {
    auto toggle = sender.as<Switch>();
    if (!toggle) return;
    if (toggle->isOn())
        DiagnosticsController::shared().startCollectingDebugMessages();
    else
        DiagnosticsController::shared().stopCollectingDebugMessages();
}

// --- Rows ---

void DiagnosticsTableViewController::didSelectRowAtIndexPath(TableView& tableView, const IndexPath& indexPath) {
    if (indexPath.section == 0 && indexPath.row == 1)
        showBacktraceAlert();
    else if (indexPath.section == 1 && indexPath.row == 0)
        sendDiagnosticsReport();
    tableView.deselectRowAtIndexPath(indexPath, true);
}

// --- The report ---

std::string DiagnosticsTableViewController::diagnosticsReportSubject() {
    return infoStringOrUnknown("CFBundleName") + " " +
           Bundle::main().localizedString("DiagnosticsReportEmailSubject", "Diagnostics Report") + " [v" +
           infoStringOrUnknown("CFBundleShortVersionString") + " iOS]";
}

std::string DiagnosticsTableViewController::diagnosticsReportBody() {
    return "\n\n\n---\n" + FISystemInfo::systemInfo() +
           "\nApp version: " + infoStringOrUnknown("CFBundleShortVersionString") + "\n";
}

void DiagnosticsTableViewController::sendDiagnosticsReport() {
    const Bundle& bundle = Bundle::main();
    if (!MailComposeViewController::canSendMail()) {
        auto alert = std::make_shared<AlertView>(
            bundle.localizedString("DiagnosticsMailNotConfiguredTitle", "Mail is not configured"),
            bundle.localizedString("DiagnosticsMailNotConfiguredMessage",
                                   "Please configure Mail first so that you can send and receive emails."),
            "OK");
        alert->show();
        return;
    }
    auto composer = MailComposeViewController::make();
    if (!composer) {
        TWLogWarning("No mail composer for the diagnostics report");
        return;
    }
    composer->setMailComposeDelegate(std::dynamic_pointer_cast<MailComposeViewControllerDelegate>(shared_from_this()));
    composer->setSubject(diagnosticsReportSubject());
    composer->setToRecipients({FIAppDelegate::supportEmailAddress()});
    composer->setMessageBody(diagnosticsReportBody(), false);

    composer->addAttachmentData(dataFromString(FIAppDelegate::shared()->_debugDocumentStatistics()), "text/plain",
                                "deck-stats.txt");
    // What the app wrote last may still wait in standard error's buffer.
    std::fflush(stderr);
    if (auto log = DiagnosticsController::readLastCharactersOfFile(FIAppDelegate::logFilePath(),
                                                                   std::numeric_limits<std::uint64_t>::max()))
        composer->addAttachmentData(dataFromString(*log), "text/plain", "applicationlog.txt");
    composer->addAttachmentData(dataFromString(DiagnosticsController::messageBacklogText()), "text/plain",
                                "messagebacklog.txt");
    presentViewController(composer, true);
}

void DiagnosticsTableViewController::mailComposeControllerDidFinish(MailComposeViewController& /*controller*/,
                                                                    MailComposeResult /*result*/,
                                                                    const std::optional<Error>& /*error*/) {
    dismissViewController(true);
}

// --- The backtrace ---

void DiagnosticsTableViewController::showBacktraceAlert() {
    const Bundle& bundle = Bundle::main();
    auto alert = AlertController::alertControllerWithTitle(
        bundle.localizedString("BacktraceAlertTitle", "Careful: Unsaved Data Will Be Lost"),
        bundle.localizedString("BacktraceAlertMessage",
                               "Only generate a backgrace if you have been asked to by Support.\n\nIf you proceed, the "
                               "app will quit without saving changes. Re-open the app and submit the crash report "
                               "when asked. Thank you."),
        AlertControllerStyle::Alert);
    alert->addAction(AlertAction::actionWithTitle(
        bundle.localizedString("BacktraceAlertGenerate", "Generate"), AlertActionStyle::Destructive, [](AlertAction&) {
            raiseUncaughtException(
                NamedException("Generated_Backtrace on: " + Device::current().name(), "DIAGNOSTICSREPORT"));
        }));
    alert->addAction(
        AlertAction::actionWithTitle(bundle.localizedString("Cancel", "Cancel"), AlertActionStyle::Cancel));
    presentViewController(alert, true);
}

// --- The Documents folder ---

void DiagnosticsTableViewController::recreateDocumentsFolder(const AnyObject& /*sender*/) {
    TWLogInfo("Recreating Documents folder in iCloud Drive");
    auto container = UbiquityContainer::URLForUbiquityContainerIdentifier(std::string(kCloudContainerIdentifier));
    if (!container) return;
    const std::string path = container->URLByAppendingPathComponent("Documents", true).path();
    FileManager& files = FileManager::defaultManager();
    if (files.fileExistsAtPath(path)) {
        TWLogInfo("Documents folder exists.");
        return;
    }
    const Bundle& bundle = Bundle::main();
    Error error;
    std::shared_ptr<StandaloneAlertController> alert;
    if (files.createDirectoryAtPath(path, false, &error)) {
        TWLogInfo("Did recreate Documents folder.");
        alert = StandaloneAlertController::alertControllerWithTitle(
            bundle.localizedString("RecreatedDocumentsFolder", "Recreated Documents Folder"), std::nullopt,
            AlertControllerStyle::Alert);
    } else {
        TWLogWarning("Error recreating Documents folder: %@", error.description());
        alert = StandaloneAlertController::alertControllerWithTitle(
            bundle.localizedString("RecreatedDocumentsFolderError", "Error"), std::nullopt,
            AlertControllerStyle::Alert);
        alert->addAction(AlertAction::actionWithTitle(
            bundle.localizedString("Contact Support", "Contact Support"), AlertActionStyle::Default,
            [](AlertAction&) { FIAppDelegate::shared()->sendFeedbackEmailIncludingDiagnosticsData(); }));
    }
    alert->addAction(AlertAction::actionWithTitle("OK", AlertActionStyle::Cancel));
    recreateDocumentsFolderAlert_ = alert;
    alert->showInSeparateWindow();
}
