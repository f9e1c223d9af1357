#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/ui/ViewController.h"

class WebView;

// Shows one help page shipped among the app's resources, filling the screen.
class FIHelpContentViewController : public ViewController {
public:
    // A file name with its extension, looked up in the main bundle.
    const std::optional<std::string>& helpContentFilename() const { return helpContentFilename_; }
    void setHelpContentFilename(std::optional<std::string> name) { helpContentFilename_ = std::move(name); }

    const std::shared_ptr<WebView>& webView() const { return webView_; }

    void viewDidLoad() override;

private:
    std::optional<std::string> helpContentFilename_;
    std::shared_ptr<WebView> webView_;
};
