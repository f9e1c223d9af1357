#include "app/views/BarItemImages.h"

#include <array>
#include <utility>

std::shared_ptr<Image> barItemImage(const std::string& name) {
    if (auto image = Image::named(name)) return image;
    static constexpr std::array<std::pair<const char*, const char*>, 10> kSymbols{{
        {"CustomNavBack", "chevron.backward"},
        {"AddStudyCard", "plus.rectangle"},
        {"AddTopicCard", "folder.badge.plus"},
        {"ClearStatsTemplate", "eraser"},
        {"ChevronDownTemplate", "chevron.down"},
        {"ChevronUpTemplate", "chevron.up"},
        {"TextColorIcon", "paintpalette"},
        {"UnderlineTemplate", "underline"},
        {"GenericListTemplate", "list.bullet"},
        {"PhotoIconTemplate", "photo"},
    }};
    for (const auto& [resource, symbol] : kSymbols)
        if (name == resource) return Image::systemImageNamed(symbol);
    return nullptr;
}
