// The photo picker's screen: the library folder's photos as rows with their
// thumbnails, made off the main thread, a placeholder for what does not
// decode, a tap that picks and Cancel, at phone size and as the tablet's
// popover. The picker is presented here as the card editor presents it; the
// editor's own road to it is the browser's end-to-end test.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/display/DisplayScreen.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/StringUtils.h"
#include "platform/ui/Application.h"
#include "platform/ui/BarButtonItem.h"
#include "platform/ui/GraphicsContext.h"
#include "platform/ui/ImagePickerController.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/PhotoLibraryViewController.h"
#include "platform/ui/PresentationController.h"
#include "platform/ui/TableViewCell.h"
#include "platform/ui/UIDriver.h"
#include "platform/ui/UITestFixture.h"
#include "platform/ui/Window.h"

using namespace memorant_test;
using nlohmann::json;

namespace {

class Picks : public ImagePickerControllerDelegate {
public:
    void imagePickerControllerDidFinishPickingMediaWithInfo(ImagePickerController&,
                                                            const ImagePickerMediaInfo& info) override {
        picked.push_back(info);
    }
    void imagePickerControllerDidCancel(ImagePickerController&) override { ++cancels; }
    std::vector<ImagePickerMediaInfo> picked;
    int cancels = 0;
};

void writeBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

}  // namespace

class PhotoLibraryScreenTest : public UITest {
protected:
    void SetUp() override {
        UITest::SetUp();
        // A red photo twice as wide as high, a file that is no image, a PNG
        // header that claims 20,000 by 20,000 pixels, a folder and a hidden file.
        auto red = Image::render({200, 100}, 1, [](GraphicsContext& context) {
            context.setFillColor(Color::redColor());
            context.fillRect(Rect(0, 0, 200, 100));
        });
        ASSERT_TRUE(red->writePNG(photos.file("a.png")));
        writeBytes(photos.file("b.jpg"), "not an image at all");
        const auto png = red->pngData();
        ASSERT_TRUE(png);
        std::string huge(png->begin(), png->begin() + 33);
        for (int at : {16, 20}) huge.replace(at, 4, std::string("\x00\x00\x4E\x20", 4));
        writeBytes(photos.file("c.png"), huge);
        std::filesystem::create_directories(photos.file("Album"));
        writeBytes(photos.file(".hidden.png"), "");
        ImagePickerController::setPhotoLibraryFolder(photos.str());
    }
    void TearDown() override {
        for (auto& w : Application::shared().windows()) w->setHidden(true);
        ImagePickerController::setPhotoLibraryFolder(std::nullopt);
        UITest::TearDown();
    }

    // Presents a picker as the card editor does (a popover from a bar item on
    // a tablet) and waits until its thumbnails are made.
    std::shared_ptr<ImagePickerController> present() {
        if (window) window->setHidden(true);
        window = std::make_shared<Window>();
        screen = std::make_shared<ViewController>();
        item = BarButtonItem::withImage(Image::systemImageNamed("photo"), BarButtonItemStyle::Plain);
        screen->navigationItem().setRightBarButtonItem(item);
        window->setRootViewController(std::make_shared<NavigationController>(screen));
        window->makeKeyAndVisible();
        drainMainLoop();
        auto picker = std::make_shared<ImagePickerController>();
        picker->setDelegate(picks);
        if (Device::current().userInterfaceIdiom() == UserInterfaceIdiom::Pad) {
            picker->setModalPresentationStyle(ModalPresentationStyle::Popover);
            picker->popoverPresentationController()->setBarButtonItem(item);
        }
        screen->presentViewController(picker, true);
        settle();
        return picker;
    }
    void settle() {
        for (int i = 0; i < 3; ++i) {
            advance(ViewController::kTransitionDuration);
            EXPECT_TRUE(
                runMainLoopUntil([] { return drainMainLoop() == 0 && !DispatchQueue::hasPendingBackgroundWork(); }));
        }
    }
    static json row(const std::string& name) {
        for (const auto& element : DisplayScreen::accessibleElements())
            if (element["role"] == "row" && element["name"] == name) return element;
        return nullptr;
    }
    ::testing::AssertionResult tapRow(const std::string& name) {
        const json element = row(name);
        if (element.is_null()) return ::testing::AssertionFailure() << "no row " << name;
        const Point point{element["x"].get<double>() + element["width"].get<double>() / 2,
                          element["y"].get<double>() + element["height"].get<double>() / 2};
        auto window = DisplayScreen::windowAtPoint(point);
        if (!window || !UIDriver::tap(*window, point)) return ::testing::AssertionFailure() << "row " << name;
        settle();
        return ::testing::AssertionSuccess();
    }
    static std::shared_ptr<TableViewCell> cell(ImagePickerController& picker, std::int64_t row) {
        auto list = std::dynamic_pointer_cast<PhotoLibraryViewController>(picker.topViewController());
        return list ? list->tableView()->cellForRowAtIndexPath(IndexPath::forRow(row, 0)) : nullptr;
    }

    TempDir photos;
    std::shared_ptr<Window> window;
    std::shared_ptr<ViewController> screen;
    std::shared_ptr<BarButtonItem> item;
    std::shared_ptr<Picks> picks = std::make_shared<Picks>();
};

TEST_F(PhotoLibraryScreenTest, RowsShowThumbnailsOrAPlaceholderAndATapPicksThePhoto) {
    for (auto idiom : {UserInterfaceIdiom::Pad, UserInterfaceIdiom::Phone}) {
        SCOPED_TRACE(idiom == UserInterfaceIdiom::Pad ? "tablet" : "phone");
        Device::current().setUserInterfaceIdiom(idiom);
        picks->picked.clear();
        auto picker = present();
        EXPECT_EQ(std::vector<std::string>{}, DisplayScreen::layoutFaults());
        // The files by name; no folder, no hidden file.
        std::vector<std::string> rows;
        for (const auto& element : DisplayScreen::accessibleElements())
            if (element["role"] == "row") rows.push_back(element["name"]);
        EXPECT_EQ((std::vector<std::string>{"a.png", "b.jpg", "c.png"}), rows);

        // The photo's middle fills its square; the others keep the symbol, dimmed.
        auto photo = cell(*picker, 0)->imageView();
        ASSERT_TRUE(photo->image());
        EXPECT_FALSE(photo->image()->systemSymbolName());
        EXPECT_EQ(Size(PhotoLibraryViewController::kThumbnailSide, PhotoLibraryViewController::kThumbnailSide),
                  photo->image()->size());
        EXPECT_TRUE(colorNear(photo->image()->colorAtPoint({2, 28}), Color::redColor()));
        EXPECT_EQ(1.0, photo->alpha());
        for (std::int64_t broken : {1, 2}) {
            auto placeholder = cell(*picker, broken)->imageView();
            EXPECT_EQ(std::optional<std::string>("photo"), placeholder->image()->systemSymbolName()) << broken;
            EXPECT_LT(placeholder->alpha(), 1) << broken;
        }

        // A tap picks: the photo whole, and no image for what does not decode.
        ASSERT_TRUE(tapRow("a.png"));
        ASSERT_TRUE(tapRow("c.png"));
        ASSERT_EQ(2u, picks->picked.size());
        ASSERT_TRUE(picks->picked[0].originalImage);
        EXPECT_EQ(Size(200, 100), picks->picked[0].originalImage->size());
        EXPECT_EQ(kUTTypeImage, picks->picked[0].mediaType);
        EXPECT_EQ(nullptr, picks->picked[1].originalImage);

        const int cancels = picks->cancels;
        ASSERT_TRUE(std::dynamic_pointer_cast<PhotoLibraryViewController>(picker->topViewController()));
        auto cancel = picker->topViewController()->navigationItem().rightBarButtonItem();
        ASSERT_TRUE(cancel);
        ASSERT_TRUE(UIDriver::tap(*cancel));
        EXPECT_EQ(cancels + 1, picks->cancels);
        picker->dismissViewController(false);
        settle();
    }
}

TEST_F(PhotoLibraryScreenTest, ThePicturesFolderIsTheLibraryWhenItExists) {
    TempDir home;
    const char* savedPictures = std::getenv("XDG_PICTURES_DIR");
    const std::string saved = savedPictures ? savedPictures : "";
    ImagePickerController::resetPhotoLibraryFolder();
    struct Case {
        const char* setting;  // XDG_PICTURES_DIR
        bool makeIt;
        std::optional<std::string> library;
    };
    const std::vector<Case> cases = {
        {"$HOME/Bilder", true, home.str() + "/Bilder"},
        {"$HOME/Bilder", false, std::nullopt},
        {"/nowhere/at/all", false, std::nullopt},
    };
    const char* savedConfig = std::getenv("XDG_CONFIG_HOME");
    const std::optional<std::string> oldConfig = savedConfig ? std::optional<std::string>(savedConfig) : std::nullopt;
    unsetenv("XDG_CONFIG_HOME");
    const char* savedHome = std::getenv("HOME");
    const std::string oldHome = savedHome ? savedHome : "";
    setenv("HOME", home.str().c_str(), 1);
    for (const auto& c : cases) {
        std::filesystem::remove_all(home.file("Bilder"));
        if (c.makeIt) std::filesystem::create_directories(home.file("Bilder"));
        setenv("XDG_PICTURES_DIR", c.setting, 1);
        EXPECT_EQ(c.library, ImagePickerController::photoLibraryFolder()) << c.setting << " " << c.makeIt;
        EXPECT_EQ(c.library.has_value(),
                  ImagePickerController::isSourceTypeAvailable(ImagePickerControllerSourceType::PhotoLibrary));
    }
    // Without the variable: the user-dirs file, else ~/Pictures.
    unsetenv("XDG_PICTURES_DIR");
    EXPECT_EQ(std::nullopt, ImagePickerController::photoLibraryFolder());
    std::filesystem::create_directories(home.file("Pictures"));
    EXPECT_EQ(std::optional<std::string>(home.str() + "/Pictures"), ImagePickerController::photoLibraryFolder());
    std::filesystem::create_directories(home.file(".config"));
    std::filesystem::create_directories(home.file("Fotos"));
    writeBytes(home.file(".config/user-dirs.dirs"), "# written by xdg-user-dirs-update\nXDG_PICTURES_DIR=\"$HOME/Fotos\"\n");
    EXPECT_EQ(std::optional<std::string>(home.str() + "/Fotos"), ImagePickerController::photoLibraryFolder());

    setenv("HOME", oldHome.c_str(), 1);
    if (oldConfig) setenv("XDG_CONFIG_HOME", oldConfig->c_str(), 1);
    setenv("XDG_PICTURES_DIR", saved.c_str(), 1);
}
