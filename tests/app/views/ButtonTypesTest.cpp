#include <gtest/gtest.h>

#include "app/views/ButtonTypes.h"

TEST(EditCardButtonTypes, ChosenByModeWidthAndRights) {
    using enum EditCardButtonType;
    using Mode = EditCardPresentationMode;
    const auto compact = UserInterfaceSizeClass::Compact, regular = UserInterfaceSizeClass::Regular;
    struct Case {
        const char* what;
        UserInterfaceSizeClass width;
        bool canEdit, currentFormat;
        Mode mode;
        bool suppressed, cleared;
        std::vector<EditCardButtonType> expected;
    } cases[] = {
        {"editor, regular", regular, true, true, Mode::cardEditor, false, false, {addStudyCard, addTopicCard, share}},
        {"editor, compact", compact, true, true, Mode::cardEditor, false, false, {previous, next, add}},
        {"editor, suppressed", regular, true, true, Mode::cardEditor, true, false, {}},
        {"editor, read-only", regular, false, true, Mode::cardEditor, false, false, {share}},
        {"editor, legacy", compact, true, false, Mode::cardEditor, false, false, {previous, next, add}},
        {"cover, compact", compact, true, true, Mode::coverCard, false, false, {add}},
        {"cover, regular", regular, true, true, Mode::coverCard, false, false, {share}},
        {"cover, read-only", compact, false, true, Mode::coverCard, false, false, {}},
        {"modal, compact", compact, false, false, Mode::singleCardModalEditor, false, false, {doneEditingModally}},
        {"modal, regular", regular, true, true, Mode::singleCardModalEditor, false, false, {doneEditingModally}},
        {"modal, cleared", regular, true, true, Mode::singleCardModalEditor, false, true, {}},
        {"blank legacy, compact", compact, true, false, Mode::blank, false, false, {add}},
        {"blank legacy, regular", regular, true, false, Mode::blank, false, false, {}},
        {"unspecified width counts as wide",
         UserInterfaceSizeClass::Unspecified,
         true,
         true,
         Mode::blank,
         false,
         false,
         {share}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.expected, editCardButtonTypes(c.width, c.canEdit, c.currentFormat, c.mode, c.suppressed, c.cleared))
            << c.what;
}
