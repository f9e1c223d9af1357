// Every system symbol the app names draws as an icon: the names its sources
// pass for images, the symbols of its own template images, and the symbols
// of the ready-made bar items it shows. A symbol without an icon leaves its
// button blank and nameless on the screen.

#include <gtest/gtest.h>

#include <cairo.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "app/views/BarItemImages.h"
#include "platform/ui/BarButtonItem.h"
#include "platform/ui/SymbolIcons.h"
#include "platform/ui/UITestFixture.h"

namespace {

namespace fs = std::filesystem;

// The project's sources (the fixtures sit in tests/fixtures).
const fs::path kSources = fs::path(MEMORANT_TEST_FIXTURES).parent_path().parent_path();

struct Use {
    std::string what;   // the symbol, template image or bar item named
    std::string where;  // file:line
};

// Each match of the pattern's first group in the C++ sources under the
// folders.
std::vector<Use> find(const std::vector<std::string>& folders, const std::regex& pattern) {
    std::vector<Use> uses;
    for (const auto& folder : folders)
        for (const auto& entry : fs::recursive_directory_iterator(kSources / folder)) {
            const auto extension = entry.path().extension();
            if (extension != ".cpp" && extension != ".h") continue;
            std::ifstream in(entry.path());
            std::string line;
            for (int number = 1; std::getline(in, line); ++number)
                for (std::sregex_iterator it(line.begin(), line.end(), pattern), end; it != end; ++it)
                    uses.push_back({(*it)[1], fs::relative(entry.path(), kSources).string() + ":" +
                                                  std::to_string(number)});
        }
    return uses;
}

// The opaque pixels the symbol's icon leaves in a 24-point square at scale 2.
int drawnPixels(const std::string& symbol) {
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 48, 48);
    cairo_t* cr = cairo_create(surface);
    cairo_scale(cr, 2, 2);
    int count = 0;
    if (SymbolIcons::drawSymbol(cr, symbol, Rect(2, 2, 20, 20))) {
        cairo_surface_flush(surface);
        const unsigned char* data = cairo_image_surface_get_data(surface);
        const int stride = cairo_image_surface_get_stride(surface);
        for (int y = 0; y < 48; ++y)
            for (int x = 0; x < 48; ++x) {
                std::uint32_t pixel;
                std::memcpy(&pixel, data + y * stride + x * 4, 4);
                if ((pixel >> 24) > 0x80) ++count;
            }
    }
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
    return count;
}

}  // namespace

class SymbolIconsCoverageTest : public memorant_test::UITest {};

TEST_F(SymbolIconsCoverageTest, EverySymbolTheAppNamesDrawsAnIcon) {
    const std::vector<std::string> appFolders{"app", "Common", "umbrella"};
    // symbol -> where it is named
    std::map<std::string, std::string> symbols;
    std::vector<std::string> faults;

    // Symbols named outright, by the app and by the platform's own controls
    // (the back chevron, the information button).
    for (const auto& use : find({"app", "Common", "umbrella", "platform/ui"},
                                std::regex(R"re(systemImageNamed\(\s*"([^"]+)")re")))
        symbols.emplace(use.what, use.where);
    // A symbol named through a variable would escape this check: only the
    // app's table of template images and the ready-made items do so, and
    // they are followed below.
    for (const auto& use : find(appFolders, std::regex(R"re(systemImageNamed\(\s*([^")\s][^)]*)\))re")))
        if (use.where.rfind("app/views/BarItemImages.cpp", 0) != 0)
            faults.push_back(use.where + " names a symbol through '" + use.what + "'");
    // The app's template images: a symbol stands for each one its resources lack.
    const auto templates = find(appFolders, std::regex(R"re(barItemImage\(\s*"([^"]+)")re"));
    EXPECT_FALSE(templates.empty());
    for (const auto& use : templates) {
        auto image = barItemImage(use.what);
        if (!image)
            faults.push_back(use.where + ": the template image '" + use.what + "' has neither a file nor a symbol");
        else if (image->systemSymbolName())
            symbols.emplace(*image->systemSymbolName(), use.where + " (" + use.what + ")");
    }
    // The ready-made bar items without a title show a symbol.
    const std::map<std::string, BarButtonSystemItem> systemItems{
        {"Done", BarButtonSystemItem::Done},         {"Cancel", BarButtonSystemItem::Cancel},
        {"Edit", BarButtonSystemItem::Edit},         {"Save", BarButtonSystemItem::Save},
        {"Add", BarButtonSystemItem::Add},           {"FlexibleSpace", BarButtonSystemItem::FlexibleSpace},
        {"FixedSpace", BarButtonSystemItem::FixedSpace}, {"Compose", BarButtonSystemItem::Compose},
        {"Reply", BarButtonSystemItem::Reply},       {"Action", BarButtonSystemItem::Action},
        {"Organize", BarButtonSystemItem::Organize}, {"Bookmarks", BarButtonSystemItem::Bookmarks},
        {"Search", BarButtonSystemItem::Search},     {"Refresh", BarButtonSystemItem::Refresh},
        {"Stop", BarButtonSystemItem::Stop},         {"Camera", BarButtonSystemItem::Camera},
        {"Trash", BarButtonSystemItem::Trash},       {"Play", BarButtonSystemItem::Play},
        {"Pause", BarButtonSystemItem::Pause},       {"Rewind", BarButtonSystemItem::Rewind},
        {"FastForward", BarButtonSystemItem::FastForward}, {"Undo", BarButtonSystemItem::Undo},
        {"Redo", BarButtonSystemItem::Redo},         {"Close", BarButtonSystemItem::Close},
    };
    for (const auto& use : find(appFolders, std::regex(R"re(BarButtonSystemItem::(\w+))re"))) {
        auto known = systemItems.find(use.what);
        if (known == systemItems.end()) {
            faults.push_back(use.where + ": no such bar item '" + use.what + "'");
            continue;
        }
        if (known->second == BarButtonSystemItem::FlexibleSpace || known->second == BarButtonSystemItem::FixedSpace)
            continue;
        auto item = BarButtonItem::withSystemItem(known->second);
        if (item->title()) continue;
        if (!item->image() || !item->image()->systemSymbolName())
            faults.push_back(use.where + ": the bar item '" + use.what + "' shows neither a title nor a symbol");
        else
            symbols.emplace(*item->image()->systemSymbolName(), use.where + " (" + use.what + ")");
    }

    EXPECT_GE(symbols.size(), 15u) << "the sources name fewer symbols than the app shows: is the search right?";
    for (const auto& [symbol, where] : symbols) {
        if (!SymbolIcons::iconNameForSymbol(symbol))
            faults.push_back(where + ": the symbol '" + symbol + "' has no icon in the table");
        else if (drawnPixels(symbol) < 20)
            faults.push_back(where + ": the icon of '" + symbol + "' (" + *SymbolIcons::iconNameForSymbol(symbol) +
                             ") draws nothing");
    }
    std::ostringstream text;
    for (const auto& fault : faults) text << "\n  " << fault;
    EXPECT_TRUE(faults.empty()) << text.str();
}
