#include <gtest/gtest.h>

#include "Common/FIFlashcardsDocument.h"
#include "app/cards/UploadAndCopyLinkActivity.h"
#include "app/net/UploadAndCopyLinkStepsViewController.h"
#include "platform/foundation/Operation.h"
#include "platform/ui/Image.h"
#include "support/TestEnvironment.h"

namespace {

TEST(UploadAndCopyLinkActivity, OffersItselfForEveryItemListAndPresentsTheWizardForItsDeck) {
    memorant_test::TempDir dir;
    auto document = FIFlashcardsDocument::initNewDocumentWithFileURL(URL::fileURLWithPath(dir.file("D.flashcards")));
    auto activity = std::make_shared<UploadAndCopyLinkActivity>(document);
    EXPECT_EQ(activity->activityCategory(), ActivityCategory::Action);
    EXPECT_EQ(activity->activityType(), "com.memorant.uploadandcopylink");
    EXPECT_EQ(activity->activityTitle(), "Upload & Copy Link");
    ASSERT_TRUE(activity->activityImage());
    EXPECT_EQ(activity->activityImage()->systemSymbolName(), "link");
    EXPECT_TRUE(activity->canPerformWithActivityItems({}));
    EXPECT_TRUE(activity->canPerformWithActivityItems({Value("text"), Value(1)}));
    EXPECT_EQ(activity->backgroundQueue()->name(), "com.memorant.mobile.UploadSharedDeckQueue");
    EXPECT_EQ(activity->backgroundQueue()->maxConcurrentOperationCount(), 1);
    EXPECT_EQ(activity->backgroundQueue()->operationCount(), 0u);

    int sheetTold = 0;
    activity->setDidFinishHandler([&](Activity&, bool completed) {
        EXPECT_TRUE(completed);
        ++sheetTold;
    });
    auto wizard = std::dynamic_pointer_cast<UploadAndCopyLinkStepsViewController>(activity->activityViewController());
    ASSERT_TRUE(wizard);
    EXPECT_EQ(wizard->document(), document);
    EXPECT_EQ(wizard->backgroundQueue()->name(), "com.memorant.mobile.UploadSharedDeckQueue");
    ASSERT_TRUE(wizard->didFinishHandler);
    wizard->didFinishHandler();
    EXPECT_EQ(sheetTold, 1);
    EXPECT_TRUE(activity->hasFinished());

    // Once the share sheet (and with it the activity) is gone, finishing does nothing.
    auto later = std::dynamic_pointer_cast<UploadAndCopyLinkStepsViewController>(activity->activityViewController());
    activity.reset();
    later->didFinishHandler();
    EXPECT_EQ(sheetTold, 1);
}

}  // namespace
