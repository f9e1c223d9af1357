#include "app/cards/CardGroup.h"

std::shared_ptr<CardGroup> CardGroup::make(std::optional<std::string> title, std::int64_t primaryKey,
                                           bool wantsScheduleNextButton, bool wantsSpacedRepetitionSetupButton,
                                           std::optional<std::string> progressHexColor) {
    auto group = std::make_shared<CardGroup>(wantsScheduleNextButton, wantsSpacedRepetitionSetupButton,
                                             std::move(progressHexColor));
    group->setTitle(std::move(title));
    group->setPrimaryKey(primaryKey);
    return group;
}
