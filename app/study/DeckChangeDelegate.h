#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/foundation/Data.h"
#include "platform/foundation/URL.h"

class FCCard;
class FCStudyCard;
class ViewController;

// How the screens that change an open deck report it: the study screens, the
// card editor and the card lists. A card list brings its table up to date,
// tells the document once and passes the report on to its own delegate (its
// parent list, or the deck library at the top), with updateChangeCount off so
// that the document is never told twice.
//
// Only the statistics report is required; the others do nothing by default
// (and the file-name question answers no), as for a screen without delegate.
class DeckChangeDelegate {
public:
    virtual ~DeckChangeDelegate() = default;

    virtual void deleteDeckAtURL(const URL& url) { (void)url; }
    // The card's content changed; viewController is the reporting screen, or null.
    virtual void didChangeCard(const std::shared_ptr<FCCard>& card,
                               const std::shared_ptr<ViewController>& viewController) {
        (void)card;
        (void)viewController;
    }
    // A rating changed the card's statistics (the card may be a reversed view).
    virtual void didChangeStudyStatisticsForCard(const std::shared_ptr<FCStudyCard>& card, bool updateChangeCount) = 0;
    virtual void didChangeDocumentTitle(const URL& oldURL, const URL& newURL) {
        (void)oldURL;
        (void)newURL;
    }
    virtual void didReorderCards() {}
    virtual void didAddOrRemoveCardsWithUpdateChangeCount(bool updateChangeCount, bool reloadData) {
        (void)updateChangeCount;
        (void)reloadData;
    }
    virtual void didMoveCardsWithUpdateChangeCount(bool updateChangeCount) { (void)updateChangeCount; }
    virtual void didChangeStudyStatisticsForMultipleCardsWithUpdateChangeCount(bool updateChangeCount) {
        (void)updateChangeCount;
    }
    virtual bool isFileNameAvailableForNewDocument(const std::string& fileName, const URL& parentDirectoryURL) {
        (void)fileName;
        (void)parentDirectoryURL;
        return false;
    }
    virtual void addNewImageAttachmentWithName(const std::string& fileName, const Data& data,
                                               const std::shared_ptr<FCCard>& card) {
        (void)fileName;
        (void)data;
        (void)card;
    }
    // The names are images an editor removed from a card; those no card uses
    // any more are deleted from the document.
    virtual void runInventoryForImagesAndDeleteIfUnused(const std::vector<std::string>& fileNames) { (void)fileNames; }
};
