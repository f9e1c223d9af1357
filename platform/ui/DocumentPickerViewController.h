#pragma once

// The system's document browser, as far as the app uses it: a screen of the
// document types it lets the user pick and a mode that says what becomes of
// the pick.
//
// The screen is a navigation stack of folders (DocumentBrowserFolderViewController)
// under a bar with the folder's title and Cancel, starting at the browse root:
// the user's documents folder (UserFolders::documentsFolder) unless the
// program sets another (setBrowseRootFolder). Folders open by a tap and the
// back button goes up; a file of the picker's types is picked by a tap
// (userDidPickDocumentAtURL); other files show dimmed and take no tap. Nothing
// outside the root is shown or picked: symbolic links are resolved and a link
// leading out of the root shows dimmed.
//
// A pick or a cancel dismisses the picker (animated) and, once it is gone,
// tells the delegate. Main thread only.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/URL.h"
#include "platform/ui/NavigationController.h"

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

class DocumentPickerViewController : public NavigationController {
public:
    // The folder every picker made from now on starts at (nullopt: the
    // user's documents folder).
    static void setBrowseRootFolder(std::optional<std::string> folder);
    // The folder a new picker starts at; nullopt when there is none.
    static std::optional<std::string> browseRootFolder();

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
