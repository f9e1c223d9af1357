#pragma once

// What the application delegate keeps for deck documents: the document that is
// open at the moment, the feedback mail the save-error alert asks for, and the
// hooks through which documents show their alert and draw their cover icons.

#include <cstdint>
#include <memory>
#include <optional>

#include "platform/foundation/Error.h"

class FIDeckDocument;
class FIFlashcardsDocument;
class StandaloneAlertController;

class FIAppDelegateDocuments {
public:
    // The deck document open at the moment, or nullptr. Any thread (the
    // card-attachment protocol reads it on its loading thread).
    static std::shared_ptr<FIDeckDocument> currentDocument();
    static void setCurrentDocument(std::shared_ptr<FIDeckDocument> document);

    // The opener of the document shows the opening alert should the open
    // fail: the document then shows no alert of its own for it. Any thread.
    static void openerReportsOpenFailure(const std::shared_ptr<FIDeckDocument>& document);

    // Starts the feedback e-mail with the diagnostics data (FIAppDelegate).
    static void sendFeedbackEmailIncludingDiagnosticsData();

    // Installs the save-error alert and the cover icons (PDF resources) into
    // the document classes. Called once at start-up.
    static void installDocumentHooks();

    // The save-error alert for the document's last error, shown in a window of
    // its own: "ErrorSavingDeckTitle", the error's descriptions joined by
    // " - ", and the buttons "Contact Support" and "OK". A ".flashcards"
    // document shows it when a save or a read fails (unless its opener
    // reports the failed open, see above); the deck library shows it for a legacy
    // document whose close failed, and for a new deck it has no folder for.
    static std::shared_ptr<StandaloneAlertController> showErrorSavingDeckAlert(
        const std::shared_ptr<FIDeckDocument>& document);
    // The same alert for an error that no document holds.
    static std::shared_ptr<StandaloneAlertController> showErrorSavingDeckAlert(const std::optional<Error>& error);

private:
    static bool openerReportsFailure(const std::shared_ptr<FIDeckDocument>& document);
};
