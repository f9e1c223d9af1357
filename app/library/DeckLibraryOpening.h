#pragma once

// The parts of opening a deck that do not need the library screen itself:
// making a locked file writable, the alerts that end a failed open, and the
// set-up of the card list that shows the open deck. The opening members of
// DeckLibraryTableViewController (DeckLibraryOpening.cpp) put them together;
// the version browser uses configureCardList for its read-only preview.
//
// Log lines name the source file "DeckLibraryTableViewController".
// Main thread only, except makeDocumentWritable, which may run anywhere.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/views/StandaloneAlertController.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/URL.h"

class AlertController;
class CardListTableViewController;
class CardListTableViewControllerDelegate;
class DeckChangeDelegate;
class DocumentItemDetails;
class FIDeckDocument;

// How opening reads and changes the permissions of a deck file. The library
// uses the file manager's; tests put in scripted answers (a superuser may
// write every file, so a real locked file cannot be made there).
struct DeckFilePermissions {
    std::function<bool(const std::string& path)> isWritableFileAtPath;
    std::function<std::optional<FileAttributes>(const std::string& path, Error* error)> attributesOfItemAtPath;
    std::function<bool(const std::string& path, std::uint32_t permissions, Error* error)> setPosixPermissions;

    // Through FileManager::defaultManager().
    static DeckFilePermissions fileManager();
};

// Adds the owner's write permission (octal 200) to the file and answers
// whether it is writable then. False when its attributes cannot be read (the
// error is dropped), when they carry no permissions, or when setting the new
// ones fails (WARN "Error trying to update permissions from: <old> to: <new>
// for: <path>. Error: <error>"); on success INFO "Updated permissions from:
// <old> to: <new> for: <path>". Permissions are written "0o" and octal digits.
bool makeDocumentWritable(const URL& fileURL,
                          const DeckFilePermissions& permissions = DeckFilePermissions::fileManager());

// "0o" followed by the octal digits: 0444 is "0o444", 0 is "0o0".
std::string octalPermissionsText(std::uint32_t permissions);

// The message of the alert after a failed open: for a document written by a
// newer version of the app ("FCPersistenceErrorDomain", 112233) the error's
// recovery suggestion (none if it has none); for any other error its
// descriptions joined with " - " or, when that gives no text, its localized
// description; without an error, none.
std::optional<std::string> openingErrorMessage(const std::optional<Error>& lastError);

// The alert after a failed open: "ErrorOpeningDocument" ("Error Opening the
// Document") with the message, and the actions "Contact Support" (the
// feedback mail with diagnostics data) and "OK" (only dismisses). It can
// show in a window of its own where no screen can present it.
std::shared_ptr<StandaloneAlertController> makeOpeningErrorAlert(std::optional<std::string> message);

// The same alert for a file that could not be made writable, with the
// message "LockedDeckMessage".
std::shared_ptr<StandaloneAlertController> makeLockedDocumentAlert();

// The card list's set-up for an open deck: its document, details, weak
// change and close delegates and read-only flag, and last its presentation
// mode, the document's top-level cards (which applies that mode).
void configureCardList(CardListTableViewController& cardList, const std::shared_ptr<FIDeckDocument>& document,
                       const std::shared_ptr<DocumentItemDetails>& details,
                       const std::weak_ptr<DeckChangeDelegate>& deckChangeDelegate,
                       const std::weak_ptr<CardListTableViewControllerDelegate>& cardListDelegate,
                       bool isReadOnlyVersionPreview);
