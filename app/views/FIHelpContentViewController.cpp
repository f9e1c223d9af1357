#include "app/views/FIHelpContentViewController.h"

#include "platform/foundation/Bundle.h"
#include "platform/foundation/StringUtils.h"
#include "platform/foundation/URL.h"
#include "platform/web/WebView.h"

void FIHelpContentViewController::viewDidLoad() {
    ViewController::viewDidLoad();
    // Our web view is not a view of its own, so the controller's view stands
    // for it: the page fills that view and shares its background.
    const std::shared_ptr<View>& contentView = view();
    webView_ = WebView::create(contentView->bounds(), WebViewConfiguration());
    contentView->setBackgroundColor(Color::systemBackgroundColor());
    contentView->setOpaque(false);

    if (!helpContentFilename_) return;
    const std::string name = stringByDeletingPathExtension(*helpContentFilename_);
    const std::string extension = pathExtension(*helpContentFilename_);
    if (auto path = Bundle::main().pathForResource(name, extension)) {
        URL url = URL::fileURLWithPath(*path);
        webView_->loadFileURL(url, url);
    }
}
