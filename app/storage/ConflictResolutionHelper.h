#pragma once

// The file work behind the version browser: saving one stored version of a
// deck document as a new deck document, and resolving the conflicts of a
// document by the versions the user kept.
//
// The rule of a resolution: when the kept versions include the current one,
// the current contents stay; otherwise the first kept version (in the order
// given) replaces them. Every other kept version is copied into a new
// document named after the document ("Deck 2.flashcards", "Deck 3.flashcards"
// ...), then all other versions of the file are removed and the remaining
// conflict versions marked resolved; the versions not kept are discarded.
//
//   kept              copies made                      current afterwards
//   current           none                             current
//   current, A        A as "Deck 2"                    current
//   A                 none                             A
//   A, B              B as "Deck 2"                    A
//   A, B, current     A, B as "Deck 2", "Deck 3"       current
//
// A copy is named by the documents controller's uniqueDocumentURL (the
// first free "N.E", "N 2.E", ... of the storage location; no name means a
// failed copy) and made under one coordinated request that reads the
// version and writes the copy, after a pause of 2.0 seconds on the clock;
// once it is made the controller hears of it (documentWasAdded), so that a
// local listing shows it. Copies run one after another, each on the global
// queue with its completion on the main queue, so whoever waits for them
// must not be the main thread. A failed copy does not stop the following
// ones (copies made stay, their versions marked resolved), but a resolution
// with a failed copy replaces and removes nothing. Replacing the current
// contents with a kept version runs under a coordinated write of the
// document, as others (the details cache) may be reading it.
//
// Failures are WARN lines and a false result; nothing throws. Log lines name
// the source file "VersionBrowserTableViewController". The helper keeps no
// state; make one for each call if you like.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/foundation/URL.h"

class DocumentsController;
class VersionEntry;

class ConflictResolutionHelper {
public:
    using Completion = std::function<void(bool success)>;

    // Copies the entry's version to a new document (its version is then
    // marked resolved). Returns at once; the completion runs on the main
    // thread.
    void saveCopyOfVersion(const std::shared_ptr<VersionEntry>& entry, const URL& documentURL,
                           const std::shared_ptr<DocumentsController>& documentsController, Completion completion);

    // Resolves the document's conflicts keeping these entries (at least
    // one), in the caller's order. Returns at once; the completion runs on
    // the main thread with whether everything succeeded.
    void resolveConflictsKeeping(const std::vector<std::shared_ptr<VersionEntry>>& versions, const URL& documentURL,
                                 const std::shared_ptr<DocumentsController>& documentsController,
                                 Completion completion);

    // Copies the entries' versions one after another and marks each copied
    // version resolved; true when every copy succeeded (at once for none).
    // Blocks its thread until the last copy has finished: never call it on
    // the main thread. The folder is handed along; the documents controller
    // chooses where copies go.
    bool copyVersions(const std::vector<std::shared_ptr<VersionEntry>>& versions, const URL& folder,
                      const std::shared_ptr<DocumentsController>& documentsController, const std::string& baseName,
                      const std::string& fileExtension);

    // Copies the version at the URL to a new document on the global queue;
    // the completion runs exactly once, on the main thread.
    void copyVersion(const URL& versionURL, const URL& folder,
                     const std::shared_ptr<DocumentsController>& documentsController, const std::string& baseName,
                     const std::string& fileExtension, Completion completion);

    // Removes every version of the document but the current one and marks
    // the conflict versions still listed resolved; false when the removal
    // failed. Synchronous, off the main thread.
    bool removeOtherVersionsAndResolveConflicts(const URL& documentURL);

    // How long a copy pauses inside its coordinated request.
    static constexpr double kCopyDelay = 2.0;
};
