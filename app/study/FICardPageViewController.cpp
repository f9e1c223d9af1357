#include "app/study/FICardPageViewController.h"

#include "app/study/PageTemplate.h"

#include <atomic>
#include <cstdio>

#include "app/views/CardAttachmentURLSchemeHandler.h"
#include "app/views/FILineView.h"
#include "app/views/SafeAreaLayoutHelper.h"
#include "model/FCCard.h"
#include "model/TWLogger.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/StringUtils.h"
#include "platform/ui/TransitionCoordinator.h"

namespace {

std::atomic<long> fontMeasurements{0};

std::string wholePoints(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.f", value);
    return text;
}

std::shared_ptr<LayoutConstraint> pin(const std::shared_ptr<View>& view, LayoutAttribute attribute,
                                      const std::shared_ptr<View>& superview, double multiplier = 1,
                                      double constant = 0) {
    return LayoutConstraint::constraintWithItem(view, attribute, LayoutRelation::Equal, superview, attribute,
                                                multiplier, constant);
}

}  // namespace

std::string fillPageTemplate(const std::string& templateText, const std::map<std::string, std::string>& values) {
    std::vector<std::pair<std::string, std::string>> replacements;
    replacements.reserve(values.size());
    for (const auto& [name, value] : values) replacements.emplace_back("@@" + name + "@@", value);
    return fillTemplatePlaceholders(templateText, replacements);
}

std::shared_ptr<FICardPageViewController> FICardPageViewController::create(
    std::shared_ptr<FCStudyCard> card, const std::shared_ptr<View>& ratingsButtonsBar) {
    auto page = std::make_shared<FICardPageViewController>();
    page->ratingsButtonsBar_ = ratingsButtonsBar;
    page->setCard(std::move(card));
    return page;
}

FICardPageViewController::~FICardPageViewController() {
    NotificationCenter::defaultCenter().removeObserver(this);
}

long FICardPageViewController::totalFontMeasurements() {
    return fontMeasurements.load();
}

void FICardPageViewController::setCard(std::shared_ptr<FCStudyCard> card) {
    card_ = std::move(card);
    reloadCard();
}

std::shared_ptr<WebView> FICardPageViewController::makeWebViewWithFrame(const Rect& frame) {
    WebViewConfiguration configuration;
    configuration.setURLSchemeHandler(std::make_shared<CardAttachmentURLSchemeHandler>(), "card-attachment");
    return WebView::create(frame, configuration);
}

void FICardPageViewController::viewDidLoad() {
    ViewController::viewDidLoad();
    const auto& pageView = view();
    const Rect bounds = pageView->bounds();
    const double w = bounds.size.width, h = bounds.size.height;
    Rect frame = pageView->frame();
    frame.size.width = 2 * w;
    pageView->setFrame(frame);

    divider_ = std::make_shared<FILineView>(Rect(pageView->bounds().size.width / 2 - 2, 0, 4, h));
    divider_->setTag(kDividerTag);
    pageView->addSubview(divider_);

    pageView->setBackgroundColor(Color::whiteColor());
    Layer& layer = pageView->layer();
    layer.setShadowColor(Color::blackColor());
    layer.setShadowOffset({0, 0});
    layer.setShadowRadius(4.0);
    layer.setShadowOpacity(0.4);
    layer.setCornerRadius(0);
    layer.setMasksToBounds(false);

    std::shared_ptr<StudyModeWebViewBridgeDelegate> self(shared_from_this(), this);
    leftWebView_ = makeWebViewWithFrame(Rect(0, 0, w, h));
    rightWebView_ = makeWebViewWithFrame(Rect(w, 0, w, h));
    for (auto* webView : {&leftWebView_, &rightWebView_}) {
        (*webView)->layer().setCornerRadius(0);
        (*webView)->setOpaque(false);
        (*webView)->setBackgroundColor(Color::clearColor());
        pageView->addSubview(*webView);
    }
    leftWebViewBridge_ = StudyModeWebViewBridge::create(leftWebView_);
    leftWebViewBridge_->setDelegate(self);
    rightWebViewBridge_ = StudyModeWebViewBridge::create(rightWebView_);
    rightWebViewBridge_->setDelegate(self);

    loadHTML(card_ ? card_->top() : std::nullopt, true);
    loadHTML(card_ ? card_->bottom() : std::nullopt, false);

    for (auto* webView : {&leftWebView_, &rightWebView_})
        (*webView)->setTranslatesAutoresizingMaskIntoConstraints(false);
    leftBottomConstraint_ = pin(leftWebView_, LayoutAttribute::Bottom, pageView);
    rightBottomConstraint_ = pin(rightWebView_, LayoutAttribute::Bottom, pageView);
    LayoutConstraint::activateConstraints({
        pin(leftWebView_, LayoutAttribute::Left, pageView),
        pin(leftWebView_, LayoutAttribute::Top, pageView),
        pin(leftWebView_, LayoutAttribute::Width, pageView, 0.5),
        leftBottomConstraint_,
        pin(rightWebView_, LayoutAttribute::Right, pageView),
        pin(rightWebView_, LayoutAttribute::Top, pageView),
        pin(rightWebView_, LayoutAttribute::Width, pageView, 0.5),
        rightBottomConstraint_,
    });
    updateBottomConstants();

    std::shared_ptr<GestureRecognizerDelegate> recognizerDelegate(shared_from_this(), this);
    std::weak_ptr<ViewController> weak = weak_from_this();
    for (auto* webView : {&leftWebView_, &rightWebView_}) {
        auto tap = std::make_shared<TapGestureRecognizer>();
        tap->addTarget([weak](GestureRecognizer& recognizer) {
            if (auto self = std::static_pointer_cast<FICardPageViewController>(weak.lock()))
                self->didTapToChangePage(recognizer);
        });
        tap->setDelegate(recognizerDelegate);
        (*webView)->addGestureRecognizer(tap);
    }

    if (auto bar = ratingsButtonsBar_.lock()) {
        NotificationCenter::defaultCenter().addObserver(
            this, std::string(kToolbarSizeChangedNotification), AnyObject(bar), [weak](const Notification&) {
                if (auto self = std::static_pointer_cast<FICardPageViewController>(weak.lock()))
                    self->updateBottomConstants();
            });
    }
}

void FICardPageViewController::updateBottomConstants() {
    auto bar = ratingsButtonsBar_.lock();
    const double bottom = -(bar ? bar->bounds().size.height : kBottomWithoutBar);
    if (leftBottomConstraint_) leftBottomConstraint_->setConstant(bottom);
    if (rightBottomConstraint_) rightBottomConstraint_->setConstant(bottom);
}

void FICardPageViewController::loadHTML(const std::optional<std::string>& html, bool intoLeftWebView) {
    const auto& webView = intoLeftWebView ? leftWebView_ : rightWebView_;
    if (!webView) return;
    auto path = Bundle::main().pathForResource("card-side", "html");
    std::optional<URL> baseURL;
    if (path) baseURL = URL::fileURLWithPath(stringByDeletingLastPathComponent(*path), true);
    std::string page = "<html></html>";
    std::map<std::string, std::string> values;
    if (html) {
        auto data = path ? FileManager::defaultManager().contentsAtPath(*path) : std::nullopt;
        page = data ? std::string(data->begin(), data->end()) : std::string();
        values["CONTENT"] = *html;
        values["SIDE"] = intoLeftWebView ? "left" : "right";
    }
    const EdgeInsets safe = SafeAreaLayoutHelper::compatibleSafeAreaInsetsForKeyWindow();
    values["LEFTMARGIN"] = wholePoints(safe.left);
    values["RIGHTMARGIN"] = wholePoints(safe.right);
    page = fillPageTemplate(page, values);
    webView->scrollView()->setContentInset({});
    webView->setHidden(true);
    webView->loadHTMLString(page, baseURL);
}

void FICardPageViewController::reloadCard() {
    if (card_) {
        if (auto summary = sessionSummary_.lock()) {
            if (leftWebView_) leftWebView_->setHidden(false);
            summary->willMoveToParentViewController(nullptr);
            if (summary->viewIfLoaded()) summary->viewIfLoaded()->removeFromSuperview();
            summary->removeFromParentViewController();
            sessionSummary_.reset();
        }
    }
    setIsSessionSummary(false);
    View::performWithoutAnimation([&] {
        if (leftWebView_) leftWebView_->setHidden(true);
        if (rightWebView_) rightWebView_->setHidden(true);
        loadHTML(card_ ? card_->top() : std::nullopt, true);
        loadHTML(card_ ? card_->bottom() : std::nullopt, false);
    });
}

void FICardPageViewController::reloadWebViews() {
    loadHTML(card_ ? card_->top() : std::nullopt, true);
    loadHTML(card_ ? card_->bottom() : std::nullopt, false);
}

void FICardPageViewController::setIsSessionSummary(bool isSessionSummary) {
    isSessionSummary_ = isSessionSummary;
    if (!isViewLoaded()) return;
    if (isSessionSummary)
        styleForSessionSummary();
    else
        styleForRegularCard();
}

void FICardPageViewController::styleForRegularCard() {
    divider_->setHidden(false);
    view()->setBackgroundColor(Color::whiteColor());
    view()->layer().setShadowRadius(4.0);
    leftWebView_->layer().setCornerRadius(0);
    leftWebView_->layer().setShadowRadius(0);
    leftWebView_->setClipsToBounds(true);
    leftWebView_->setOpaque(false);
    leftWebView_->setBackgroundColor(Color::clearColor());
}

void FICardPageViewController::styleForSessionSummary() {
    divider_->setHidden(true);
    view()->setBackgroundColor(Color::clearColor());
    view()->layer().setShadowRadius(0);
    leftWebView_->setHidden(false);
    leftWebView_->setOpaque(true);
    leftWebView_->setBackgroundColor(Color::whiteColor());
    leftWebView_->layer().setCornerRadius(5.0);
    leftWebView_->setClipsToBounds(true);
    Layer& layer = leftWebView_->layer();
    layer.setShadowColor(Color::blackColor());
    layer.setShadowOffset({0, 0});
    layer.setShadowRadius(4.0);
    layer.setShadowOpacity(0.8);
}

void FICardPageViewController::configureForSessionSummaryWithViewController(
    const std::shared_ptr<ViewController>& summary) {
    addChildViewController(summary);
    const auto& pageView = view();  // loads the page, and with it the web views
    leftWebView_->setHidden(true);
    const auto& summaryView = summary->view();
    summaryView->setFrame(Rect(0, 0, pageView->bounds().size.width / 2, pageView->bounds().size.height));
    summaryView->setTranslatesAutoresizingMaskIntoConstraints(false);
    pageView->addSubview(summaryView);
    LayoutConstraint::activateConstraints({
        pin(summaryView, LayoutAttribute::Left, pageView),
        pin(summaryView, LayoutAttribute::Top, pageView),
        pin(summaryView, LayoutAttribute::Bottom, pageView),
        pin(summaryView, LayoutAttribute::Width, pageView, 0.5),
        pin(summaryView, LayoutAttribute::Height, pageView),
    });
    summary->didMoveToParentViewController(this);
    sessionSummary_ = summary;
}

void FICardPageViewController::applyInsets() {
    updateBottomConstants();
    for (auto* webView : {&leftWebView_, &rightWebView_}) {
        if (!*webView) continue;
        (*webView)->scrollView()->setContentInsetAdjustmentBehavior(
            ScrollViewContentInsetAdjustmentBehavior::ScrollableAxes);
        (*webView)->scrollView()->setContentInset({});
    }
}

void FICardPageViewController::scrollViewContentInsetDidChange(const EdgeInsets&) {
    applyInsets();
}

void FICardPageViewController::traitCollectionDidChange(const std::optional<TraitCollection>& previous) {
    ViewController::traitCollectionDidChange(previous);
    std::weak_ptr<ViewController> weak = weak_from_this();
    DispatchQueue::main().asyncAfter(0.5, [weak] {
        if (auto self = std::static_pointer_cast<FICardPageViewController>(weak.lock())) self->applyInsets();
    });
}

void FICardPageViewController::viewWillTransitionToSize(
    Size size, const std::shared_ptr<ViewControllerTransitionCoordinator>& coordinator) {
    ViewController::viewWillTransitionToSize(size, coordinator);
    std::weak_ptr<ViewController> weak = weak_from_this();
    coordinator->animateAlongsideTransition({}, [weak] {
        if (auto self = std::static_pointer_cast<FICardPageViewController>(weak.lock())) self->reloadWebViews();
    });
}

void FICardPageViewController::didTapToChangePage(GestureRecognizer& recognizer) {
    auto delegate = delegate_.lock();
    if (!delegate || recognizer.state() != GestureRecognizerState::Ended) return;
    View* webView = recognizer.view();
    if (!webView) return;
    const Point location = recognizer.locationInView(webView);
    auto keep = shared_from_this();
    if (location.x >= webView->bounds().size.width / 2)
        delegate->pageViewControllerWantsNextPage(*this);
    else
        delegate->pageViewControllerWantsPreviousPage(*this);
}

void FICardPageViewController::js_leftCardSideReady() {
    if (leftWebView_) leftWebView_->setHidden(false);
}

void FICardPageViewController::js_rightCardSideReady() {
    if (rightWebView_) rightWebView_->setHidden(false);
}

void FICardPageViewController::js_zoomIntoImage(const std::string& imageURL) {
    TWLogDebug("Zooming into %@", imageURL);
}

void FICardPageViewController::js_log(const std::string& message) {
    TWLogInfo("JS log: %@", message);
}

void FICardPageViewController::js_measuredFontSize() {
    const long total = ++fontMeasurements;
    TWLogWarning("Total font measurements: %ld", total);
}
