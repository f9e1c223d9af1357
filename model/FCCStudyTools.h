#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "model/FCCMultipleChoiceQuestion.h"
#include "model/FCCard.h"

using FCCMultipleChoiceQuestionArray = std::vector<std::shared_ptr<FCCMultipleChoiceQuestion>>;

// Makes the questions of a multiple-choice test. Stateless; randomness comes
// from the process's random source (Random), so a seeded source gives
// repeatable tests.
class FCCStudyTools {
public:
    // The text in a card's answer side that marks a list of choices authored
    // with the card.
    static constexpr const char* kMultipleChoiceMarker = "__fC-mA";

    // Up to `count` questions about cards drawn at random from `cards`, asked
    // in the study direction (0 forwards, 1 reversed, 2 both: a card may then
    // be asked both ways). Questions offer up to four distractors drawn from
    // `cardsForWrongAnswers`, none with an answer equal to the right one or to
    // each other; a card with its own choices is asked once, as it is.
    // `shuffleAnswerChoices` decides whether such a card's own choices are
    // shuffled; distractor answers are always shuffled.
    static FCCMultipleChoiceQuestionArray generate(std::int64_t count, const FCStudyCardArray& cards,
                                                   const FCStudyCardArray& cardsForWrongAnswers,
                                                   std::int64_t studyDirection, bool shuffleAnswerChoices);

    // Up to `count` distinct (card, direction) pairs drawn at random, in
    // drawing order; a reversed pair comes as a new reversed view of the card.
    // Any direction other than 0, 1 or 2 gives nothing.
    static FCStudyCardArray pick(std::int64_t count, const FCStudyCardArray& cards, std::int64_t studyDirection);

    // Whether the card's answer side holds its own list of choices.
    static bool _studyCardContainsMultipleChoiceAnswers(const FCStudyCard& card);
    // Whether one of the cards has an answer side equal to this card's (a
    // missing side equals nothing). With `reversed` the sides compared are the
    // ones a reversed question offers as answers: the cards' tops.
    static bool _studyCardHasSameAnswerAsAtLeastOneOfTheCardsIn(const FCStudyCard& card, const FCStudyCardArray& cards,
                                                                bool reversed = false);
    // The question for a card with its own choices; its seed is 1 to 9999 when
    // shuffling, else 0.
    static std::shared_ptr<FCCMultipleChoiceQuestion> _makeQuestionFromMultipleChoiceCard(
        const std::shared_ptr<FCStudyCard>& card, bool shuffleAnswerChoices);
    // Whether one of the questions asks this very card object.
    static bool _questionsContainQuestionForCard(const FCCMultipleChoiceQuestionArray& questions,
                                                 const std::shared_ptr<FCStudyCard>& card);
};
