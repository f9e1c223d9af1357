#pragma once

#include <functional>
#include <memory>

class FCStudyCard;
class FIStudyModeViewController;

// How the study screen opens the card editor for the card it shows: a
// modal editor of that one card (from the storyboard "Main_nextgen"), in a
// form sheet that cannot be swiped away, reporting its changes to the study
// screen's change delegate. When the user is done, the completion handler
// runs and then the sheet is dismissed.
class StudyModeEditingBrigde {
public:
    virtual ~StudyModeEditingBrigde() = default;

    virtual void showEditorForCard(const std::shared_ptr<FCStudyCard>& card,
                                   const std::shared_ptr<FIStudyModeViewController>& studyModeViewController,
                                   std::function<void()> completionHandler);
};
