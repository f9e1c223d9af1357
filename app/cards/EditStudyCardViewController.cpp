#include "app/cards/EditStudyCardViewController.h"

#include "app/cards/CardListPresenter.h"
#include "app/study/DeckChangeDelegate.h"
#include "model/FCCard.h"

EditStudyCardPresentationMode EditStudyCardPresentationMode::coverCard(
    std::shared_ptr<DeckOverviewViewController> deckOverview, std::string title, std::string subtitle,
    std::shared_ptr<DocumentItemDetails> details) {
    EditStudyCardPresentationMode mode;
    mode.value_ = CoverCard{std::move(deckOverview), std::move(title), std::move(subtitle), std::move(details)};
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

void EditStudyCardViewController::takeSetUp(std::weak_ptr<CardListPresenter> presenter,
                                            std::weak_ptr<DeckChangeDelegate> delegate, bool isReadOnlyVersionPreview) {
    cardListPresenter_ = std::move(presenter);
    deckChangeDelegate_ = std::move(delegate);
    isReadOnlyVersionPreview_ = isReadOnlyVersionPreview;
}

void EditStudyCardViewController::showCardEditor(std::int64_t index, bool isReadOnly, bool isSoloMode,
                                                 bool isReadOnlyVersionPreview,
                                                 std::weak_ptr<CardListPresenter> cardListPresenter,
                                                 std::weak_ptr<DeckChangeDelegate> deckChangeDelegate) {
    takeSetUp(std::move(cardListPresenter), std::move(deckChangeDelegate), isReadOnlyVersionPreview);
    auto presenter = cardListPresenter_.lock();
    auto card = presenter ? std::dynamic_pointer_cast<FCStudyCard>(presenter->card(index)) : nullptr;
    setPresentationMode(EditStudyCardPresentationMode::cardEditor(std::move(card), index, isReadOnly, isSoloMode));
    if (isViewLoaded()) didUpdateEditor_ = true;
}

void EditStudyCardViewController::showBlank(std::weak_ptr<CardListPresenter> cardListPresenter,
                                            std::weak_ptr<DeckChangeDelegate> deckChangeDelegate,
                                            bool isReadOnlyVersionPreview) {
    takeSetUp(std::move(cardListPresenter), std::move(deckChangeDelegate), isReadOnlyVersionPreview);
    setPresentationMode(EditStudyCardPresentationMode::blank());
    if (isViewLoaded()) didUpdateEditor_ = true;
}

void EditStudyCardViewController::showDeckOverview(std::string title, std::string subtitle,
                                                   std::shared_ptr<DocumentItemDetails> details,
                                                   bool isReadOnlyVersionPreview,
                                                   std::weak_ptr<CardListPresenter> cardListPresenter,
                                                   std::weak_ptr<DeckChangeDelegate> deckChangeDelegate) {
    takeSetUp(std::move(cardListPresenter), std::move(deckChangeDelegate), isReadOnlyVersionPreview);
    setPresentationMode(
        EditStudyCardPresentationMode::coverCard(nullptr, std::move(title), std::move(subtitle), std::move(details)));
}

void EditStudyCardViewController::setDimmingOverlayShown(bool shown, bool /*animated*/) {
    isDimmed_ = shown;
}
