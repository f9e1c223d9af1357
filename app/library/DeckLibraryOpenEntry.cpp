#include "app/library/DeckLibraryTableViewController.h"

// Every way into a deck ends in this request. For now it only records it;
// the opening itself is built on top of the screen.
void DeckLibraryTableViewController::_openDocumentAtURL(const URL& url, bool regenerateThumbnail,
                                                        bool openToChangeCover, bool editFirstCardRightAway,
                                                        bool animated) {
    operationRequests_.push_back(
        {OperationRequest::Kind::Open, url, regenerateThumbnail, openToChangeCover, editFirstCardRightAway, animated});
}
