#pragma once

// The model classes as the record schemas see them: their names, new
// instances and the properties that deck documents store.

#include <memory>

#include "Common/BPEntityClass.h"

class FCCard;

const BPEntityClass& FCDeckEntityClass();        // coverStyle, studyCardsCount, studyProgress, ...
const BPEntityClass& FCCoverStyleEntityClass();  // startHexColor, endHexColor, iconName, customImageName
const BPEntityClass& FCStudyCardEntityClass();   // top, bottom, studyStats, reverseStudyStats
const BPEntityClass& FCTopicCardEntityClass();   // title, cards
const BPEntityClass& FCStudyStatsEntityClass();  // lastStudied, pastResultsBinaryData

// The card an object refers to when it is exactly a study card or a topic
// card, else nullptr.
std::shared_ptr<FCCard> FCCCardFromObject(const BPObject& object);
