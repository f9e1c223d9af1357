#pragma once

// The screen support asks a user to open from settings ("ShowDiagnosticsSegue"):
//
//   section 0   collect debug messages, a switch   DiagnosticsController
//               generate a backtrace               the backtrace alert
//   section 1   send the diagnostics report        sendDiagnosticsReport
//   below       a button that recreates the cloud container's Documents
//               folder (recreateDocumentsFolder)
//
// Every tapped row is deselected, animated.
//
// The report is a mail to the support address, "<CFBundleName>
// <DiagnosticsReportEmailSubject> [v<version> iOS]" ("???" for a missing
// value), with the system information in its plain-text body and three
// attachments, in order: "deck-stats.txt" (the application delegate's
// document statistics), "applicationlog.txt" (the whole log file, read after
// standard error is flushed; left out when it cannot be read) and
// "messagebacklog.txt" (the logger's backlog, newest first). Without a mail
// account only the "Mail is not configured" alert appears.
//
// "Generate" in the backtrace alert ends the process at once with an
// exception nothing catches, "Generated_Backtrace on: <device name>" with the
// reason "DIAGNOSTICSREPORT": the crash service writes its report, and the
// next start records it with the log's tail. Open documents are not saved.
//
// Recreating the Documents folder of the cloud container: nothing without
// the cloud, nothing (but a log line) when something is at its path, else
// the folder is made (its parent must exist) and an alert in a window of its
// own tells of success or of the error, with "Contact Support".

#include <memory>
#include <optional>

#include "platform/mail/MailComposeViewController.h"
#include "platform/ui/TableViewController.h"

class Button;
class Storyboard;
class StandaloneAlertController;
class TableViewCell;

class DiagnosticsTableViewController : public TableViewController, public MailComposeViewControllerDelegate {
public:
    static constexpr const char* kCloudContainerIdentifier = "iCloud.com.memorant.mas";

    static void addScene(Storyboard& storyboard, const std::string& sceneIdentifier);

    DiagnosticsTableViewController() : TableViewController(TableViewStyle::Grouped) {}

    // Outlets.
    const std::shared_ptr<TableViewCell>& collectDiagnosticsCell() const { return collectDiagnosticsCell_; }
    // The button below the table that recreates the Documents folder.
    const std::shared_ptr<Button>& recreateDocumentsFolderButton() const { return recreateDocumentsFolderButton_; }

    void viewDidLoad() override;
    void didSelectRowAtIndexPath(TableView& tableView, const IndexPath& indexPath) override;

    void collectDiagnosticsSwitchAction(const AnyObject& sender);
    void sendDiagnosticsReport();
    void showBacktraceAlert();
    void recreateDocumentsFolder(const AnyObject& sender);
    // The alert of the last recreation (none before).
    const std::shared_ptr<StandaloneAlertController>& recreateDocumentsFolderAlert() const {
        return recreateDocumentsFolderAlert_;
    }

    void mailComposeControllerDidFinish(MailComposeViewController& controller, MailComposeResult result,
                                        const std::optional<Error>& error) override;

    // The report's subject and body as the mail carries them.
    static std::string diagnosticsReportSubject();
    static std::string diagnosticsReportBody();

private:
    std::shared_ptr<TableViewCell> collectDiagnosticsCell_;
    std::shared_ptr<Button> recreateDocumentsFolderButton_;
    std::shared_ptr<StandaloneAlertController> recreateDocumentsFolderAlert_;
};
