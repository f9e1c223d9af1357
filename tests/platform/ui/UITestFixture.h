#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/ui/Color.h"
#include "platform/ui/Image.h"
#include "platform/ui/Screen.h"
#include "platform/ui/View.h"
#include "platform/ui/ViewRendering.h"
#include "support/MainLoop.h"
#include "support/TestEnvironment.h"

namespace memorant_test {

// A test of interface code: a virtual clock, the phone in light style, and a
// folder for rendered pictures. Whatever a test changes of the screen and
// device goes back afterwards.
class UITest : public VirtualClockTest {
protected:
    void TearDown() override {
        drainMainLoop();
        Screen::main().setUserInterfaceStyle(UserInterfaceStyle::Light);
        Screen::main().setScale(2);
        Screen::main().setBounds(Rect());
        Device::current().setUserInterfaceIdiom(UserInterfaceIdiom::Phone);
    }

    // Renders the view to a PNG file and reads the file back, so that what a
    // test samples is what a person would see in the picture.
    std::shared_ptr<Image> renderPNG(View& view, const std::string& name) {
        const std::string path = pictures.file(name + ".png");
        Error error;
        EXPECT_TRUE(writeViewPNG(view, path, 1, &error)) << error.description();
        auto image = Image::imageWithContentsOfFile(path);
        EXPECT_NE(nullptr, image);
        return image;
    }

    TempDir pictures;
};

// Compares colour components within a tolerance (255ths by default one step).
inline ::testing::AssertionResult colorNear(const Color& actual, const Color& expected, double tolerance = 1.5 / 255) {
    double d[4] = {actual.red() - expected.red(), actual.green() - expected.green(), actual.blue() - expected.blue(),
                   actual.alpha() - expected.alpha()};
    for (double v : d)
        if (std::abs(v) > tolerance)
            return ::testing::AssertionFailure()
                   << "got " << actual.description() << ", expected " << expected.description();
    return ::testing::AssertionSuccess();
}

}  // namespace memorant_test
