#pragma once

// The import of a deck carried in a PDF (embedded by FCPDFAttachmentController)
// that another app handed over. The controller has no view of its own: it is
// the delegate of the progress alert the application delegate shows, and
// lives while one import runs.
//
// The import, on the global queue:
//   1. a working folder <tmp>/<UUID> is made (failure: the general error);
//   2. the embedded zip is written there as "extracted.zip" and unpacked, and
//      its ".studydeck" package is taken (nothing: the invalid-PDF error);
//   3. a tap on the alert's cancel button by now ends the import quietly;
//   4. the package moves, in one coordination (for-moving / for-replacing),
//      to its target under a new identifier, and its preview file is built
//      again (a failed preview is only logged); a failed move, or no target,
//      is the general error;
//   5. the working folder goes, and so does the PDF when it lies in a folder
//      named "Inbox";
//   6. on the main thread: the progress alert goes (button 0); an import that
//      failed and was not cancelled shows its error alert ("OK"); the
//      completion gets the new deck's URL, or nullopt.
//
// The target: with cloud storage, "decks/<identifier>.studydeck" in the
// legacy cloud container; with none resolved, there is no target (the look-up
// at start-up may have given nothing). With local storage, the library's next
// free URL for "<identifier>.studydeck".
//
// Cancelling does not stop an extraction that runs; it keeps the deck out of
// the library when it comes before step 4, and keeps the error alert away.

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "Common/FCExtractDeckFromPDFOperation.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/URL.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/ViewController.h"

class FIImportFromPDFViewController : public ViewController, public AlertViewDelegate {
public:
    // The legacy cloud container as the app has resolved it so far; nullopt
    // while it is not. Called on the import's queue.
    using LegacyCloudContainerURLProvider = std::function<std::optional<URL>()>;
    // The new deck's URL, or nullopt; main thread.
    using Completion = std::function<void(const std::optional<URL>& deckURL)>;

    explicit FIImportFromPDFViewController(LegacyCloudContainerURLProvider legacyCloudContainerURL);

    // The progress alert the caller shows; any thread.
    std::shared_ptr<AlertView> alert() const;
    void setAlert(std::shared_ptr<AlertView> alert);
    // Set on the main thread when the user taps the alert's cancel button,
    // read on the import's queue.
    bool wasCanceled() const { return wasCanceled_.load(); }

    // How the embedded file comes out of the PDF: FCPDFAttachmentController's
    // extraction unless set (tests hold it to cancel while it runs).
    void setEmbeddedFileExtractor(FCExtractDeckFromPDFOperation::EmbeddedFileExtractor extractor);

    // Starts the import of the PDF into the library (main thread). The
    // completion may be empty.
    void importLegacyDeckFromPDFatURL(const URL& pdfURL, const AnyObject& deckLibrary, Completion completion);

    // The cancel button sets wasCanceled.
    void alertViewClickedButtonAtIndex(AlertView& alertView, std::int64_t buttonIndex) override;

    // Where the deck of the identifier goes (see above); nullopt when there is
    // no place for it. Main thread (it asks the library).
    std::optional<URL> _legacyDeckTargetURLWithDeckIdentifier(const std::string& identifier,
                                                              const AnyObject& deckLibrary) const;
    // Writes the preview file of the legacy deck at the URL (coordinated,
    // atomically) from the package on disk; false with the error of the build
    // or the write.
    static bool _rebuildPreviewForDeckAtURL(const URL& deckURL, Error* error = nullptr);

private:
    enum class Failure { None, General, InvalidPDF };

    // Steps 1 to 5 on the import's queue; the target URL, or nullopt with why.
    std::optional<URL> _importOnQueue(const URL& pdfURL, const AnyObject& deckLibrary, Failure* failure);
    // Step 4: the move of the extracted package to a new place in the library.
    std::optional<URL> _moveDeckIntoLibrary(const URL& packageURL, const AnyObject& deckLibrary);
    // Step 6 on the main thread.
    void _finishImport(const std::optional<URL>& deckURL, Failure failure, const Completion& completion);

    LegacyCloudContainerURLProvider legacyCloudContainerURL_;
    FCExtractDeckFromPDFOperation::EmbeddedFileExtractor extractor_;
    mutable std::mutex alertMutex_;
    std::shared_ptr<AlertView> alert_;
    std::atomic<bool> wasCanceled_{false};
};
