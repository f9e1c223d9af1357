#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <variant>

#include "platform/ui/ViewController.h"

class DeckOverviewViewController;
class FCStudyCard;

// What the card editor shows. The split view of an open deck keeps the
// editor through a collapse only while it edits a card (DeckMasterNavigation).
class EditStudyCardPresentationMode {
public:
    enum class Kind { coverCard, cardEditor, singleCardModalEditor, blank };

    // The deck's cover, with the deck overview.
    struct CoverCard {
        std::shared_ptr<DeckOverviewViewController> deckOverview;
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

    static EditStudyCardPresentationMode coverCard(std::shared_ptr<DeckOverviewViewController> deckOverview);
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
// is told to show; the editing itself comes with the card editor's screen.
class EditStudyCardViewController : public ViewController {
public:
    static constexpr const char* kSceneIdentifier = "EditStudyCardViewController";

    const EditStudyCardPresentationMode& presentationMode() const { return presentationMode_; }
    void setPresentationMode(EditStudyCardPresentationMode mode) { presentationMode_ = std::move(mode); }

private:
    EditStudyCardPresentationMode presentationMode_;
};
