#pragma once

// The system's document browser, as far as the app uses it: a screen of the
// document types it lets the user pick and a mode that says what becomes of
// the pick. There is no file browser to show here; a test (or a person at
// the program's text frame) hands it the picked URL with
// userDidPickDocumentAtURL, as a user's tap on a file would.
//
// A pick or a cancel dismisses the picker (animated) and, once it is gone,
// tells the delegate. Main thread only.

#include <memory>
#include <string>
#include <vector>

#include "platform/foundation/URL.h"
#include "platform/ui/ViewController.h"

// What the picked document becomes: Import copies it into the app, Open
// uses it where it lies; the two export modes move or copy a document of
// the app elsewhere.
enum class DocumentPickerMode { Import, Open, ExportToService, MoveToService };

class DocumentPickerViewController;

class DocumentPickerDelegate {
public:
    virtual ~DocumentPickerDelegate() = default;
    virtual void documentPickerDidPickDocumentAtURL(DocumentPickerViewController& controller, const URL& url) = 0;
    virtual void documentPickerWasCancelled(DocumentPickerViewController& /*controller*/) {}
};

class DocumentPickerViewController : public ViewController {
public:
    DocumentPickerViewController(std::vector<std::string> documentTypes, DocumentPickerMode mode);

    const std::vector<std::string>& documentTypes() const { return documentTypes_; }
    DocumentPickerMode documentPickerMode() const { return mode_; }
    std::shared_ptr<DocumentPickerDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(std::weak_ptr<DocumentPickerDelegate> delegate) { delegate_ = std::move(delegate); }

    // The user picked a file: the picker goes, then the delegate hears of
    // the URL. False when the picker is not on screen.
    bool userDidPickDocumentAtURL(const URL& url);
    // The user cancelled: the picker goes, then the delegate hears of it.
    bool userDidCancel();

private:
    bool finish(std::function<void(DocumentPickerDelegate&, DocumentPickerViewController&)> tell);

    std::vector<std::string> documentTypes_;
    DocumentPickerMode mode_;
    std::weak_ptr<DocumentPickerDelegate> delegate_;
};
