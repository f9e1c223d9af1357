#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/ui/Color.h"

class BarButtonItem;
class Toolbar;
class WebView;

// The formatting at the caret as the editor page reports it.
struct TextAttributes {
    bool isBold = false;
    bool isItalic = false;
    bool isUnderline = false;
    bool isOrderedList = false;
    bool isUnorderedList = false;
    bool isSuperscript = false;
    bool isSubscript = false;
    bool operator==(const TextAttributes&) const = default;
};

// What the formatting toolbar needs of the card editor: its web view and
// the editor's pop-ups and image insertion.
class GlobalEditCardToolbarDelegate {
public:
    virtual ~GlobalEditCardToolbarDelegate() = default;
    virtual std::shared_ptr<WebView> editorWebView() const = 0;
    virtual void insertPhoto(const std::shared_ptr<BarButtonItem>& sender) = 0;
    virtual void popUpColorOptions(const std::shared_ptr<BarButtonItem>& sender) = 0;
    virtual void popUpListOptions(const std::shared_ptr<BarButtonItem>& sender) = 0;
    virtual void popUpBaselineOptions(const std::shared_ptr<BarButtonItem>& sender) = 0;
};

// The bar above the keyboard while a study card is edited: colour, bold,
// italic, underline, lists, baseline and photo. Its buttons are known by
// their tags; bold, italic and underline send their commands to the page
// themselves, the others ask the delegate (the editor). Main thread.
class GlobalEditCardToolbar {
public:
    enum Tag : std::int64_t {
        kBoldTag = 1,
        kItalicTag = 2,
        kUnderlineTag = 3,
        kOrderedListTag = 4,
        kUnorderedListTag = 5,
        kSuperscriptTag = 6,
        kSubscriptTag = 7,
        kListTag = 8,
        kBaselineTag = 9,
        kIndentTag = 10,
        kOutdentTag = 11,
        kPhotoTag = 12,
        kColorTag = 13,
    };
    static Color activeTint();
    static Color inactiveTint();

    // The items act on this object: it lives as long as its toolbar is shown.
    GlobalEditCardToolbar();
    GlobalEditCardToolbar(const GlobalEditCardToolbar&) = delete;
    GlobalEditCardToolbar& operator=(const GlobalEditCardToolbar&) = delete;

    const std::shared_ptr<Toolbar>& toolbar() const { return toolbar_; }
    std::shared_ptr<GlobalEditCardToolbarDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(std::weak_ptr<GlobalEditCardToolbarDelegate> delegate) { delegate_ = std::move(delegate); }

    // The first item of the toolbar with the tag, or null.
    std::shared_ptr<BarButtonItem> barButtonItem(std::int64_t withTag) const;
    // Tints the buttons after the formatting at the caret.
    void applyTextAttributes(const TextAttributes& attributes);

    void boldAction();
    void italicAction();
    void underlineAction();

    // "window.fcEditor.execFormattingCommand('<name>')", and with a value.
    static std::string formattingCommandScript(const std::string& name);
    static std::string formattingCommandScript(const std::string& name, const std::string& value);

private:
    void sendCommand(const std::string& name);

    std::shared_ptr<Toolbar> toolbar_;
    std::weak_ptr<GlobalEditCardToolbarDelegate> delegate_;
};
