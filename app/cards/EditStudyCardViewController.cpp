#include "app/cards/EditStudyCardViewController.h"

#include "model/FCCard.h"

EditStudyCardPresentationMode EditStudyCardPresentationMode::coverCard(
    std::shared_ptr<DeckOverviewViewController> deckOverview) {
    EditStudyCardPresentationMode mode;
    mode.value_ = CoverCard{std::move(deckOverview)};
    return mode;
}

EditStudyCardPresentationMode EditStudyCardPresentationMode::cardEditor(std::shared_ptr<FCStudyCard> card,
                                                                        std::int64_t index, bool isReadOnly,
                                                                        bool isSolo) {
    EditStudyCardPresentationMode mode;
    mode.value_ = CardEditor{std::move(card), index, isReadOnly, isSolo};
    return mode;
}

EditStudyCardPresentationMode EditStudyCardPresentationMode::singleCardModalEditor(std::shared_ptr<FCStudyCard> card,
                                                                                   std::function<void()> completion) {
    EditStudyCardPresentationMode mode;
    mode.value_ = SingleCardModalEditor{std::move(card), std::move(completion)};
    return mode;
}
