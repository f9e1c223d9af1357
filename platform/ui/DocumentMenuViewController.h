#pragma once

// The document menu: the places a document of some types can be picked
// from, plus the app's own options. Presented as a popover from a bar button
// item (a form sheet where the width is compact, as every popover).
//
// Choosing a place (here there is one: the document browser,
// kDocumentBrowserPlaceTitle) dismisses the menu and, once it is gone, hands
// the delegate a new DocumentPickerViewController of the menu's types and
// mode, which the delegate presents. Choosing one of the app's options
// dismisses the menu and then runs the option's handler. Each row is a
// button in the menu's view (rowButton), one under the other; a tap on it
// chooses the row (userDidSelectOption). Main thread only.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/ui/DocumentPickerViewController.h"
#include "platform/ui/ViewController.h"

class Button;
class DocumentMenuViewController;
class Image;

class DocumentMenuDelegate {
public:
    virtual ~DocumentMenuDelegate() = default;
    virtual void documentMenuDidPickDocumentPicker(DocumentMenuViewController& menu,
                                                   const std::shared_ptr<DocumentPickerViewController>& picker) = 0;
    virtual void documentMenuWasCancelled(DocumentMenuViewController& /*menu*/) {}
};

enum class DocumentMenuOrder { First, Last };

class DocumentMenuViewController : public ViewController {
public:
    static constexpr const char* kDocumentBrowserPlaceTitle = "Browse";

    // One option the app adds to the menu.
    struct Option {
        std::string title;
        std::shared_ptr<Image> image;
        std::function<void()> handler;
    };

    DocumentMenuViewController(std::vector<std::string> documentTypes, DocumentPickerMode mode);

    const std::vector<std::string>& documentTypes() const { return documentTypes_; }
    DocumentPickerMode documentPickerMode() const { return mode_; }
    std::shared_ptr<DocumentMenuDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(std::weak_ptr<DocumentMenuDelegate> delegate) { delegate_ = std::move(delegate); }

    // Adds an option at the start or the end of the app's options.
    void addOptionWithTitle(std::string title, std::shared_ptr<Image> image, DocumentMenuOrder order,
                            std::function<void()> handler);
    const std::vector<Option>& options() const { return options_; }
    // The rows as shown: the app's options in their order, then the places.
    std::vector<std::string> rowTitles() const;

    // The button of the row of that title (loads the view); null when there
    // is none.
    std::shared_ptr<Button> rowButton(const std::string& title);
    static constexpr double kRowHeight = 44;

    void loadView() override;
    void viewDidLayoutSubviews() override;

    // The user chose the row of that title (an option or a place); false
    // when there is none or the menu is not on screen.
    bool userDidSelectOption(const std::string& title);
    // A tap outside the menu: it goes, then the delegate hears of it.
    bool userDidCancel();

private:
    std::vector<std::string> documentTypes_;
    DocumentPickerMode mode_;
    std::weak_ptr<DocumentMenuDelegate> delegate_;
    std::vector<Option> options_;
    std::vector<std::shared_ptr<Button>> rowButtons_;
};
