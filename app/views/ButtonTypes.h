#pragma once

#include <vector>

#include "platform/ui/TraitCollection.h"

// The kinds of bar buttons the card editor and the deck library build.
enum class EditCardButtonType { add, next, previous, share, doneEditingModally, addStudyCard, addTopicCard };
enum class EditCardToolbarButtonType { memorize, multipleChoice, flexibleSpace };
enum class DeckLibraryButtonType { info, add, edit, cancelEditing, remoteControl };

// The card editor's presentation modes, as far as its buttons depend on them.
enum class EditCardPresentationMode { coverCard, cardEditor, singleCardModalEditor, blank };

// The card editor's navigation-bar buttons, in order:
// - by mode: cover card and blank [share, add]; card editor [previous, next,
//   add, addStudyCard, addTopicCard, share], or nothing when
//   `cardEditorSuppressesButtons`; single-card modal editor
//   [doneEditingModally]; nothing at all with `clearAll` (a dimming overlay);
// - compact width: without share, addStudyCard, addTopicCard; any other
//   width: without previous, next, add;
// - without add, addStudyCard, addTopicCard when cards may not be edited;
// - without share for a document of an older format.
std::vector<EditCardButtonType> editCardButtonTypes(UserInterfaceSizeClass horizontalSizeClass, bool canEditCards,
                                                    bool isCurrentFormatDocument, EditCardPresentationMode mode,
                                                    bool cardEditorSuppressesButtons, bool clearAll);
