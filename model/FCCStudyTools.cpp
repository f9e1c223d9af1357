#include "model/FCCStudyTools.h"

#include <algorithm>
#include <optional>
#include <string>

#include "model/FCReversedStudyCard.h"
#include "model/TWArrayAdditions.h"
#include "platform/foundation/Random.h"

namespace {

// Codes of pick(): card index + kCodeOffset asks the card forwards, its
// negation asks it reversed.
constexpr std::int64_t kCodeOffset = 100;
constexpr std::int64_t kMaxDistractors = 4;
constexpr std::uint32_t kMaxRandomSeed = 9999;
constexpr const char* kNoSide = "n/a";

// The side of a card that a question in the given direction offers as its
// answer: the bottom forwards, the top when the question is reversed.
std::optional<std::string> offeredAnswer(const FCStudyCard& card, bool reversed) {
    return reversed ? card.top() : card.bottom();
}

bool sameSide(const std::optional<std::string>& a, const std::optional<std::string>& b) { return a && a == b; }

// Two cards answer alike when their own answer sides are equal; for a
// reversed question also when the sides offered in their place are equal, so
// that no wrong answer answers the question as well and no text shows twice.
bool sameAnswer(const FCStudyCard& a, const FCStudyCard& b, bool reversed) {
    if (sameSide(a.bottom(), b.bottom())) return true;
    return reversed && sameSide(offeredAnswer(a, reversed), offeredAnswer(b, reversed));
}

std::shared_ptr<FCStudyCard> baseCardOf(const std::shared_ptr<FCStudyCard>& card) {
    if (card->isReversed()) {
        if (auto view = std::dynamic_pointer_cast<FCReversedStudyCard>(card); view && view->originalCard()) {
            return view->originalCard();
        }
    }
    return card;
}

}  // namespace

FCCMultipleChoiceQuestionArray FCCStudyTools::generate(std::int64_t count, const FCStudyCardArray& cards,
                                                       const FCStudyCardArray& cardsForWrongAnswers,
                                                       std::int64_t studyDirection, bool shuffleAnswerChoices) {
    FCCMultipleChoiceQuestionArray questions;
    for (const auto& picked : pick(count, cards, studyDirection)) {
        const std::shared_ptr<FCStudyCard> base = baseCardOf(picked);

        if (_studyCardContainsMultipleChoiceAnswers(*base)) {
            auto question = _makeQuestionFromMultipleChoiceCard(base, shuffleAnswerChoices);
            // Asked once, as authored, however often and whichever way it was drawn.
            if (!_questionsContainQuestionForCard(questions, base)) questions.push_back(std::move(question));
            continue;
        }

        // Distractors are compared by the side they are offered with, so that a
        // reversed question never shows the same text twice or shows the right
        // text as a wrong answer.
        const bool reversed = picked->isReversed();
        FCStudyCardArray offered = twSubarrayWithRandomObjectsExcludingObjectsMatching<std::shared_ptr<FCStudyCard>>(
            cardsForWrongAnswers, kMaxDistractors,
            [&](const std::shared_ptr<FCStudyCard>& candidate, const FCStudyCardArray& chosen) {
                if (candidate == base || _studyCardContainsMultipleChoiceAnswers(*candidate)) return true;
                return sameAnswer(*candidate, *base, reversed) ||
                       _studyCardHasSameAnswerAsAtLeastOneOfTheCardsIn(*candidate, chosen, reversed);
            });
        if (reversed) {
            for (auto& distractor : offered) distractor = std::make_shared<FCReversedStudyCard>(distractor);
        }
        offered.push_back(picked);
        twShuffle(offered);

        auto question = std::make_shared<FCCMultipleChoiceQuestion>();
        question->setQuestion(picked->top().value_or(kNoSide));
        std::vector<std::string> answers;
        answers.reserve(offered.size());
        for (const auto& card : offered) answers.push_back(card->bottom().value_or(kNoSide));
        question->setAnswers(std::move(answers));
        question->setUnderlyingCard(picked);
        const auto position = std::find(offered.begin(), offered.end(), picked) - offered.begin();
        question->setIndexesOfCorrectAnswers(std::vector<std::int64_t>{static_cast<std::int64_t>(position)});
        questions.push_back(std::move(question));
    }
    return questions;
}

FCStudyCardArray FCCStudyTools::pick(std::int64_t count, const FCStudyCardArray& cards, std::int64_t studyDirection) {
    const bool forwards = studyDirection == 0 || studyDirection == 2;
    const bool backwards = studyDirection == 1 || studyDirection == 2;
    std::vector<std::int64_t> codes;
    codes.reserve(cards.size() * 2);
    for (std::size_t i = 0; i < cards.size(); ++i) {
        const auto code = static_cast<std::int64_t>(i) + kCodeOffset;
        if (forwards) codes.push_back(code);
        if (backwards) codes.push_back(-code);
    }

    FCStudyCardArray picked;
    for (std::int64_t code : twSubarrayWithRandomObjectsExcept(codes, count, std::vector<std::int64_t>{})) {
        if (code > 0) {
            picked.push_back(cards[static_cast<std::size_t>(code - kCodeOffset)]);
        } else {
            picked.push_back(
                std::make_shared<FCReversedStudyCard>(cards[static_cast<std::size_t>(-code - kCodeOffset)]));
        }
    }
    return picked;
}

bool FCCStudyTools::_studyCardContainsMultipleChoiceAnswers(const FCStudyCard& card) {
    const std::optional<std::string> bottom = card.bottom();
    return bottom && bottom->find(kMultipleChoiceMarker) != std::string::npos;
}

bool FCCStudyTools::_studyCardHasSameAnswerAsAtLeastOneOfTheCardsIn(const FCStudyCard& card,
                                                                    const FCStudyCardArray& cards, bool reversed) {
    return std::any_of(cards.begin(), cards.end(),
                       [&](const auto& other) { return sameAnswer(card, *other, reversed); });
}

std::shared_ptr<FCCMultipleChoiceQuestion> FCCStudyTools::_makeQuestionFromMultipleChoiceCard(
    const std::shared_ptr<FCStudyCard>& card, bool shuffleAnswerChoices) {
    auto question = std::make_shared<FCCMultipleChoiceQuestion>();
    question->setQuestion(card->top().value_or(kNoSide));
    question->setUnderlyingCard(card);
    question->setAnswersHTML(card->bottom());
    question->setRandomSeed(shuffleAnswerChoices ? 1 + static_cast<std::int64_t>(Random::uniform(kMaxRandomSeed)) : 0);
    return question;
}

bool FCCStudyTools::_questionsContainQuestionForCard(const FCCMultipleChoiceQuestionArray& questions,
                                                     const std::shared_ptr<FCStudyCard>& card) {
    return std::any_of(questions.begin(), questions.end(),
                       [&](const auto& question) { return question->underlyingCard() == card; });
}
