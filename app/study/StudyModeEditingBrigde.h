#pragma once

#include <functional>
#include <memory>
#include <vector>

class FCStudyCard;
class FIStudyModeViewController;

// How the study screen opens the card editor for the card it shows. The
// editor itself belongs to the card list's side; until it is reachable from
// here this bridge records each request and finishes it when told to
// (finishEditing), calling the screen's completion handler as the editor
// does when it is done.
class StudyModeEditingBrigde {
public:
    struct Request {
        std::shared_ptr<FCStudyCard> card;
        std::weak_ptr<FIStudyModeViewController> studyModeViewController;
        std::function<void()> completionHandler;
    };

    virtual ~StudyModeEditingBrigde() = default;

    virtual void showEditorForCard(const std::shared_ptr<FCStudyCard>& card,
                                   const std::shared_ptr<FIStudyModeViewController>& studyModeViewController,
                                   std::function<void()> completionHandler);

    // The requests not yet finished, oldest first.
    const std::vector<Request>& pendingRequests() const { return pending_; }
    // Finishes the oldest request: its completion handler runs. False when none is pending.
    bool finishEditing();

private:
    std::vector<Request> pending_;
};
