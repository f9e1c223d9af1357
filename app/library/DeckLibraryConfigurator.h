#pragma once

// How the application shell (start-up, storage switching, imports, cloud
// downloads, URL commands) reaches the deck library. Static functions only,
// no state; all run on the main thread.
//
// Each takes the library screen as an untyped object (`deckLibrary`). The
// two storage switches do nothing for an object that is not a
// DeckLibraryTableViewController; every other function stops the program
// for one (a programming error of the caller).
//
// Switching storage replaces the library's documents controller, the only
// way it changes after the screen is made: the old controller loses its
// delegate and stops listing, the new one (a plain LocalDocumentsController
// or CloudDocumentsController) is stored, editing ends, and the new one
// starts listing with the library as its delegate. Asking for the kind in
// use changes nothing. The list shown stays until the new controller's
// first delivery replaces it.
//
// The URL lists walk the items the library shows now, in their order:
//
//   function                                   storage    local copy current  external  legacy
//   localDocumentURLs                          local      -                   -         kept
//   cloudDocumentURLsWithCurrentLocalVersion   cloud      yes                 no        kept if asked
//   cloudDocumentURLsNeedingDownload           cloud      no                  no        dropped

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/URL.h"

class DocumentsController;

class DeckLibraryConfigurator {
public:
    DeckLibraryConfigurator() = default;

    static void configureForLocalStorage(const AnyObject& deckLibrary);
    static void configureForCloudStorage(const AnyObject& deckLibrary);
    // Whether the library's documents controller is a CloudDocumentsController.
    static bool isUsingCloudStorage(const AnyObject& deckLibrary);

    // The Documents folder of a new LocalDocumentsController (the app's own).
    static URL localDocumentsDirectoryURL();
    static std::vector<URL> localDocumentURLs(const AnyObject& deckLibrary);
    static std::vector<URL> cloudDocumentURLsWithCurrentLocalVersion(const AnyObject& deckLibrary,
                                                                     bool includeLegacyDocuments);
    static std::vector<URL> cloudDocumentURLsNeedingDownload(const AnyObject& deckLibrary);

    // The documents controller's unique URL: N.E, N 2.E, N 3.E... in its
    // folder (none without a cloud container).
    static std::optional<URL> nextAvailableURLforNewDocumentWithBaseName(const std::string& baseName,
                                                                         const std::string& fileExtension,
                                                                         const AnyObject& deckLibrary);
    // The library's open request with the caller's regenerateThumbnail and
    // no other flag; `animated` has no effect.
    static void openDocumentAtURL(const URL& url, bool regenerateThumbnail, bool animated,
                                  const AnyObject& deckLibrary);
    // documentWasAdded on the library's documents controller (the cloud
    // controller ignores it: the metadata query reports the file).
    static void didAddDocumentAtURL(const URL& url, const AnyObject& deckLibrary);
    // The same under the second name the shell uses.
    static void didAddDocumentAtURLDeckLibraryViewController(const URL& url,
                                                             const AnyObject& deckLibraryViewController);

    // The URL commands "addcard" and "downloaddeck".
    static void addCardToDeck(const std::string& deckName, const std::string& top, const std::string& bottom,
                              const AnyObject& deckLibrary);
    static void presentDownloadSharedDeckViewControllerForPublicDeckIdentifier(const std::string& publicDeckIdentifier,
                                                                               const AnyObject& deckLibrary);

    // Without a deck split view, calls the completion before returning;
    // otherwise the library dismisses what it presents (animated as asked),
    // forgets the split view, then calls the completion. The open document
    // is closed when the library's screen shows again.
    static void dismissDeckSplitViewControllerWithAnimated(bool animated, const AnyObject& deckLibrary,
                                                           std::function<void()> completion);

    // Tests: how the storage switches make their new controllers (nullptr:
    // the plain initialisers).
    using DocumentsControllerMaker = std::function<std::shared_ptr<DocumentsController>()>;
    static void setDocumentsControllerMakers(DocumentsControllerMaker local, DocumentsControllerMaker cloud);
};
