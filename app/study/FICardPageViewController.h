#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>

#include "app/study/FIDoubleSidedPageViewController.h"
#include "app/study/StudyModeWebViewBridge.h"
#include "platform/ui/GestureRecognizer.h"
#include "platform/ui/LayoutConstraint.h"
#include "platform/ui/ViewController.h"
#include "platform/web/WebView.h"

class FCStudyCard;
class FICardPageViewController;
class FILineView;

class FICardPageViewControllerDelegate {
public:
    virtual ~FICardPageViewControllerDelegate() = default;
    virtual void pageViewControllerWantsPreviousPage(FICardPageViewController& page) = 0;
    virtual void pageViewControllerWantsNextPage(FICardPageViewController& page) = 0;
};

// Fills the card-side page template in one pass: every placeholder
// "@@NAME@@" of the template whose NAME is a key is replaced by its value;
// what is inserted is never searched again, so card HTML that contains a
// placeholder's name keeps it as written.
std::string fillPageTemplate(const std::string& templateText, const std::map<std::string, std::string>& values);

// One page of the study pager: twice as wide as the screen, the card's
// question as HTML on the left half and its answer on the right, each in a
// web view made from the resource "card-side.html" (placeholders
// "@@CONTENT@@", "@@SIDE@@" ("left" or "right"), "@@LEFTMARGIN@@" and
// "@@RIGHTMARGIN@@" (the key window's safe-area insets in whole points)),
// hidden until its script reports the side ready. A tap on the right half of
// a side asks the delegate for the next page, on the left half for the
// previous one. Without a card it becomes the session summary page, with the
// summary screen embedded in its left half.
class FICardPageViewController : public ViewController,
                                 public FIContentInsetChangeListener,
                                 public GestureRecognizerDelegate,
                                 public StudyModeWebViewBridgeDelegate {
public:
    static constexpr std::int64_t kDividerTag = 5555;
    static constexpr double kBottomWithoutBar = 44;
    static constexpr const char* kToolbarSizeChangedNotification = "FCStudyBottomToolbarSizeChanged";

    static std::shared_ptr<FICardPageViewController> create(std::shared_ptr<FCStudyCard> card,
                                                            const std::shared_ptr<View>& ratingsButtonsBar);
    FICardPageViewController() = default;
    ~FICardPageViewController() override;

    std::shared_ptr<FICardPageViewControllerDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(std::weak_ptr<FICardPageViewControllerDelegate> delegate) { delegate_ = std::move(delegate); }
    const std::shared_ptr<FCStudyCard>& card() const { return card_; }
    void setCard(std::shared_ptr<FCStudyCard> card);
    bool isSessionSummary() const { return isSessionSummary_; }
    void setIsSessionSummary(bool isSessionSummary);

    const std::shared_ptr<WebView>& leftWebView() const { return leftWebView_; }
    const std::shared_ptr<WebView>& rightWebView() const { return rightWebView_; }
    const std::shared_ptr<StudyModeWebViewBridge>& leftWebViewBridge() const { return leftWebViewBridge_; }
    const std::shared_ptr<StudyModeWebViewBridge>& rightWebViewBridge() const { return rightWebViewBridge_; }
    const std::shared_ptr<FILineView>& divider() const { return divider_; }
    std::shared_ptr<View> ratingsButtonsBar() const { return ratingsButtonsBar_.lock(); }
    std::shared_ptr<ViewController> sessionSummaryViewController() const { return sessionSummary_.lock(); }
    const std::shared_ptr<LayoutConstraint>& leftBottomConstraint() const { return leftBottomConstraint_; }
    const std::shared_ptr<LayoutConstraint>& rightBottomConstraint() const { return rightBottomConstraint_; }

    void reloadCard();
    void reloadWebViews();
    void configureForSessionSummaryWithViewController(const std::shared_ptr<ViewController>& summary);

    // How many font measurements page scripts reported in this process.
    static long totalFontMeasurements();

    void viewDidLoad() override;
    void traitCollectionDidChange(const std::optional<TraitCollection>& previous) override;
    void viewWillTransitionToSize(Size size,
                                  const std::shared_ptr<ViewControllerTransitionCoordinator>& coordinator) override;
    void scrollViewContentInsetDidChange(const EdgeInsets& insets) override;
    bool shouldRecognizeSimultaneouslyWithGestureRecognizer(GestureRecognizer&, GestureRecognizer&) override {
        return true;
    }

    void js_leftCardSideReady() override;
    void js_rightCardSideReady() override;
    void js_zoomIntoImage(const std::string& imageURL) override;
    void js_log(const std::string& message) override;
    void js_measuredFontSize() override;

private:
    std::shared_ptr<WebView> makeWebViewWithFrame(const Rect& frame);
    void loadHTML(const std::optional<std::string>& html, bool intoLeftWebView);
    void updateBottomConstants();
    void applyInsets();
    void styleForRegularCard();
    void styleForSessionSummary();
    void didTapToChangePage(GestureRecognizer& recognizer);

    std::weak_ptr<FICardPageViewControllerDelegate> delegate_;
    std::shared_ptr<FCStudyCard> card_;
    bool isSessionSummary_ = false;
    std::shared_ptr<WebView> leftWebView_, rightWebView_;
    std::shared_ptr<StudyModeWebViewBridge> leftWebViewBridge_, rightWebViewBridge_;
    std::shared_ptr<FILineView> divider_;
    std::weak_ptr<View> ratingsButtonsBar_;
    std::weak_ptr<ViewController> sessionSummary_;
    std::shared_ptr<LayoutConstraint> leftBottomConstraint_, rightBottomConstraint_;
};
