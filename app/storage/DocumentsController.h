#pragma once

// How the deck library reaches a storage location (the local Documents folder
// or the cloud container): the location lists its deck documents as document
// items, keeps the list current and answers the naming questions of creating,
// renaming and copying decks. The library owns one controller at a time and
// is its delegate.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/storage/DocumentItem.h"
#include "platform/foundation/URL.h"

// Receives every list whole, in display order, with the changes that relate it
// to the list delivered before. Always called on the main thread.
class FlashcardsDocumentQueryDelegate {
public:
    virtual ~FlashcardsDocumentQueryDelegate() = default;
    virtual void documentItemsDidChange(const std::vector<std::shared_ptr<DocumentItem>>& items,
                                        const std::vector<DocumentItemAnimation>& animations) = 0;
};

class DocumentsController {
public:
    virtual ~DocumentsController() = default;

    // Held weakly. Setting it re-delivers the current list, if there is one,
    // to the new delegate.
    virtual void setDelegate(std::weak_ptr<FlashcardsDocumentQueryDelegate> delegate) = 0;

    // Produce the first list and keep it current from then on.
    virtual void startListing() = 0;
    // Stop keeping the list current and forget it.
    virtual void stopListing() = 0;
    // Resume / pause live updates (the library pauses them in the background).
    virtual void enableUpdates() = 0;
    virtual void disableUpdates() = 0;

    // The naming operations are synchronous and may be called from any thread.
    // True when nothing occupies parentDirectoryURL/name (name is one component).
    virtual bool isDocumentNameAvailable(const std::string& name, const URL& parentDirectoryURL) = 0;
    // The first free URL of "N.E", "N 2.E", "N 3.E", ... in the location's
    // documents folder. Nothing is reserved: two calls before either file is
    // written give the same URL. Nullopt when the location has no documents
    // folder (a cloud container that went away): callers treat that as a
    // failed create or copy.
    virtual std::optional<URL> uniqueDocumentURL(const std::string& baseName, const std::string& pathExtension) = 0;

    // What this app did to a document. Each returns at once; the effect on
    // the list arrives later through the delegate.
    virtual void documentDidChange(const URL& url) = 0;
    virtual void documentWasAdded(const URL& url) = 0;
    virtual void documentWasDeleted(const URL& url) = 0;
    virtual void documentWasMoved(const URL& from, const URL& to) = 0;
};

// The naming rule of both locations: the first of folder/"N.E", "N 2.E",
// "N 3.E", ... (one blank before the number, no upper bound) that is not taken.
URL firstFreeDocumentURL(const URL& folder, const std::string& baseName, const std::string& pathExtension,
                         const std::function<bool(const URL&)>& isTaken);
