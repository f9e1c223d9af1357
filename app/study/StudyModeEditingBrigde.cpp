#include "app/study/StudyModeEditingBrigde.h"

void StudyModeEditingBrigde::showEditorForCard(const std::shared_ptr<FCStudyCard>& card,
                                               const std::shared_ptr<FIStudyModeViewController>& studyModeViewController,
                                               std::function<void()> completionHandler) {
    pending_.push_back({card, studyModeViewController, std::move(completionHandler)});
}

bool StudyModeEditingBrigde::finishEditing() {
    if (pending_.empty()) return false;
    Request request = std::move(pending_.front());
    pending_.erase(pending_.begin());
    if (request.completionHandler) request.completionHandler();
    return true;
}
