#pragma once

#include <memory>
#include <string>

#include "platform/media/SystemSound.h"
#include "platform/ui/ViewController.h"

class BarButtonItem;
class Button;
class DynamicAnimator;
class Label;
class Storyboard;
class Toolbar;

// What the summary page reports back to the study screen.
class FIStudySessionSummaryDelegate {
public:
    virtual ~FIStudySessionSummaryDelegate() = default;
    virtual void sessionSummaryStudyMore() = 0;
    // The user wants to share the result; the item anchors the share sheet.
    virtual void sessionSummaryShareResult(const std::shared_ptr<BarButtonItem>& item) = 0;
};

// The summary at the end of a study batch (scene "StudySessionSummaryScene"
// of the storyboard "Main"): a title and a message the study screen composes,
// a button that studies the next batch or starts over, a share button in the
// bottom toolbar, and three balloons. Tapping a balloon before the balloons
// were released either releases all three (even odds: they float up against
// the navigation bar, bouncing) or bursts the tapped one with a plop; after
// the release every tap bursts. Texts come from the "Localizable" table with
// an empty default. Main thread.
class FIStudySessionSummaryViewController : public ViewController {
public:
    static constexpr const char* kSceneIdentifier = "StudySessionSummaryScene";
    static constexpr double kGravityMagnitude = 0.125;
    static constexpr double kPushMagnitude = 0.15;
    static constexpr double kElasticity = 0.9;
    static constexpr double kTopBoundaryOverlap = 4;

    // Adds the scene with its view and outlets to a storyboard.
    static void addScene(Storyboard& storyboard);

    ~FIStudySessionSummaryViewController() override;

    std::shared_ptr<FIStudySessionSummaryDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(std::weak_ptr<FIStudySessionSummaryDelegate> delegate) { delegate_ = std::move(delegate); }
    bool hasMoreCardsToStudy() const { return hasMoreCardsToStudy_; }
    // Stores the flag and shows the matching button title once the view is loaded.
    void setHasMoreCardsToStudy(bool hasMore);

    void updateSummaryTitle(const std::string& title, const std::string& message);

    // --- Actions ---
    void studyMore();
    // Only a bar button item shares; anything else is ignored.
    void shareResults(const AnyObject& sender);
    void randomBalloonAction(View& balloon);

    // --- Outlets (set by the scene) ---
    std::shared_ptr<Label> titleText() const { return titleText_.lock(); }
    std::shared_ptr<Label> messageText() const { return messageText_.lock(); }
    std::shared_ptr<Button> studyMoreButton() const { return studyMoreButton_.lock(); }
    std::shared_ptr<View> greenBalloonView() const { return greenBalloonView_.lock(); }
    std::shared_ptr<View> yellowBalloonView() const { return yellowBalloonView_.lock(); }
    std::shared_ptr<View> redBalloonView() const { return redBalloonView_.lock(); }
    std::shared_ptr<Toolbar> bottomToolbar() const { return bottomToolbar_.lock(); }
    void setTitleText(const std::shared_ptr<Label>& label) { titleText_ = label; }
    void setMessageText(const std::shared_ptr<Label>& label) { messageText_ = label; }
    void setStudyMoreButton(const std::shared_ptr<Button>& button) { studyMoreButton_ = button; }
    void setGreenBalloonView(const std::shared_ptr<View>& view) { greenBalloonView_ = view; }
    void setYellowBalloonView(const std::shared_ptr<View>& view) { yellowBalloonView_ = view; }
    void setRedBalloonView(const std::shared_ptr<View>& view) { redBalloonView_ = view; }
    void setBottomToolbar(const std::shared_ptr<Toolbar>& toolbar) { bottomToolbar_ = toolbar; }

    const std::shared_ptr<DynamicAnimator>& animator() const { return animator_; }
    SystemSound::Identifier soundId() const { return soundId_; }
    bool didFreeBalloons() const { return didFreeBalloons_; }

    void viewDidLoad() override;

private:
    void applyStudyMoreTitle();
    void releaseBalloons();

    std::weak_ptr<FIStudySessionSummaryDelegate> delegate_;
    bool hasMoreCardsToStudy_ = false;
    std::weak_ptr<Label> titleText_, messageText_;
    std::weak_ptr<Button> studyMoreButton_;
    std::weak_ptr<View> greenBalloonView_, yellowBalloonView_, redBalloonView_;
    std::weak_ptr<Toolbar> bottomToolbar_;
    std::shared_ptr<DynamicAnimator> animator_;
    SystemSound::Identifier soundId_ = 0;
    bool didFreeBalloons_ = false;
};
