#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <variant>

#include "platform/ui/ViewController.h"

class CardListPresenter;
class DeckChangeDelegate;
class DeckOverviewViewController;
class DocumentItemDetails;
class FCStudyCard;

// What the card editor shows. The split view of an open deck keeps the
// editor through a collapse only while it edits a card (DeckMasterNavigation).
class EditStudyCardPresentationMode {
public:
    enum class Kind { coverCard, cardEditor, singleCardModalEditor, blank };

    // The deck's cover, with the deck overview and what it shows: the
    // title, the subtitle (the deck's summary line) and the deck's details.
    struct CoverCard {
        std::shared_ptr<DeckOverviewViewController> deckOverview;
        std::string title;
        std::string subtitle;
        std::shared_ptr<DocumentItemDetails> details;
    };
    // One card of the card list, at its row; read-only for a version
    // preview; solo when it was opened by itself rather than from a row.
    struct CardEditor {
        std::shared_ptr<FCStudyCard> card;
        std::int64_t index = 0;
        bool isReadOnly = false;
        bool isSolo = false;
    };
    // One card edited in a sheet over the study screen; the completion runs
    // when the editor is done.
    struct SingleCardModalEditor {
        std::shared_ptr<FCStudyCard> card;
        std::function<void()> completion;
    };
    struct Blank {};

    EditStudyCardPresentationMode() = default;

    static EditStudyCardPresentationMode coverCard(std::shared_ptr<DeckOverviewViewController> deckOverview,
                                                   std::string title = {}, std::string subtitle = {},
                                                   std::shared_ptr<DocumentItemDetails> details = nullptr);
    static EditStudyCardPresentationMode cardEditor(std::shared_ptr<FCStudyCard> card, std::int64_t index,
                                                    bool isReadOnly, bool isSolo);
    static EditStudyCardPresentationMode singleCardModalEditor(std::shared_ptr<FCStudyCard> card,
                                                               std::function<void()> completion);
    static EditStudyCardPresentationMode blank() { return {}; }

    Kind kind() const { return static_cast<Kind>(value_.index()); }
    // The case's values, or null for another case.
    const CoverCard* asCoverCard() const { return std::get_if<CoverCard>(&value_); }
    const CardEditor* asCardEditor() const { return std::get_if<CardEditor>(&value_); }
    const SingleCardModalEditor* asSingleCardModalEditor() const { return std::get_if<SingleCardModalEditor>(&value_); }

private:
    std::variant<CoverCard, CardEditor, SingleCardModalEditor, Blank> value_ = Blank{};
};

// The card editor: the detail side of an open deck's split view, and the
// sheet in which the study screen edits one card. This form holds what it
// is told to show and who told it (the card list as presenter, the change
// delegate, the version-preview flag); the editing itself, the page and the
// embedded deck overview come with the card editor's screen.
class EditStudyCardViewController : public ViewController {
public:
    static constexpr const char* kSceneIdentifier = "EditStudyCardViewController";

    const EditStudyCardPresentationMode& presentationMode() const { return presentationMode_; }
    void setPresentationMode(EditStudyCardPresentationMode mode) { presentationMode_ = std::move(mode); }

    // --- Set-up by the card list (each stores presenter, delegate and flag) ---
    // The presenter's card at the index (it must be a study card there).
    void showCardEditor(std::int64_t index, bool isReadOnly, bool isSoloMode, bool isReadOnlyVersionPreview,
                        std::weak_ptr<CardListPresenter> cardListPresenter,
                        std::weak_ptr<DeckChangeDelegate> deckChangeDelegate);
    void showBlank(std::weak_ptr<CardListPresenter> cardListPresenter,
                   std::weak_ptr<DeckChangeDelegate> deckChangeDelegate, bool isReadOnlyVersionPreview);
    void showDeckOverview(std::string title, std::string subtitle, std::shared_ptr<DocumentItemDetails> details,
                          bool isReadOnlyVersionPreview, std::weak_ptr<CardListPresenter> cardListPresenter,
                          std::weak_ptr<DeckChangeDelegate> deckChangeDelegate);

    std::shared_ptr<CardListPresenter> cardListPresenter() const { return cardListPresenter_.lock(); }
    std::shared_ptr<DeckChangeDelegate> deckChangeDelegate() const { return deckChangeDelegate_.lock(); }
    bool isReadOnlyVersionPreview() const { return isReadOnlyVersionPreview_; }
    // Set when a set-up reached an editor whose view was loaded.
    bool didUpdateEditor() const { return didUpdateEditor_; }

    // The dimming overlay the card list lays over the editor while it edits.
    bool isDimmed() const { return isDimmed_; }
    void setDimmingOverlayShown(bool shown, bool animated);

private:
    void takeSetUp(std::weak_ptr<CardListPresenter> presenter, std::weak_ptr<DeckChangeDelegate> delegate,
                   bool isReadOnlyVersionPreview);

    EditStudyCardPresentationMode presentationMode_;
    std::weak_ptr<CardListPresenter> cardListPresenter_;
    std::weak_ptr<DeckChangeDelegate> deckChangeDelegate_;
    bool isReadOnlyVersionPreview_ = false;
    bool didUpdateEditor_ = false;
    bool isDimmed_ = false;
};
