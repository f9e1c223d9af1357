// Which files a picker of some types shows as pickable.

#include "platform/ui/DocumentTypes.h"

#include <gtest/gtest.h>

TEST(DocumentTypesTest, AFileConformsByItsExtensionInAnyCase) {
    struct Case {
        const char* name;
        std::vector<std::string> types;
        bool conforms;
    };
    const Case cases[] = {
        {"photo.PNG", {"public.png"}, true},
        {"photo.jpeg", {"public.image"}, true},
        {"photo.jpg", {"public.png", "public.jpeg"}, true},
        {"scan.tiff", {"public.png", "public.jpeg"}, false},
        {"notes.txt", {"public.image"}, false},
        {"notes.txt", {"public.data"}, true},
        {"README", {"public.png"}, false},
        {"photo.png", {"com.example.unknown"}, false},
        {"photo.png", {}, false},
        {".png", {"public.png"}, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.conforms, DocumentTypes::fileNameConformsToTypes(c.name, c.types)) << c.name;
}
