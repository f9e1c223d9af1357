#include "app/views/ButtonTypes.h"

#include <algorithm>
#include <initializer_list>

namespace {
void removeAll(std::vector<EditCardButtonType>& types, std::initializer_list<EditCardButtonType> removed) {
    types.erase(std::remove_if(types.begin(), types.end(),
                               [&](EditCardButtonType t) {
                                   return std::find(removed.begin(), removed.end(), t) != removed.end();
                               }),
                types.end());
}
}  // namespace

std::vector<EditCardButtonType> editCardButtonTypes(UserInterfaceSizeClass horizontalSizeClass, bool canEditCards,
                                                    bool isCurrentFormatDocument, EditCardPresentationMode mode,
                                                    bool cardEditorSuppressesButtons, bool clearAll) {
    using enum EditCardButtonType;
    std::vector<EditCardButtonType> types;
    switch (mode) {
        case EditCardPresentationMode::coverCard:
        case EditCardPresentationMode::blank:
            types = {share, add};
            break;
        case EditCardPresentationMode::cardEditor:
            if (!cardEditorSuppressesButtons) types = {previous, next, add, addStudyCard, addTopicCard, share};
            break;
        case EditCardPresentationMode::singleCardModalEditor:
            types = {doneEditingModally};
            break;
    }
    if (clearAll) types.clear();
    if (horizontalSizeClass == UserInterfaceSizeClass::Compact)
        removeAll(types, {share, addStudyCard, addTopicCard});
    else
        removeAll(types, {previous, next, add});
    if (!canEditCards) removeAll(types, {add, addStudyCard, addTopicCard});
    if (!isCurrentFormatDocument) removeAll(types, {share});
    return types;
}
