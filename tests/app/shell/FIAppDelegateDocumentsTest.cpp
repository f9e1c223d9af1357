#include "app/shell/FIAppDelegateDocuments.h"

#include <gtest/gtest.h>

#include "Common/FIFlashcardsDocument.h"
#include "app/storage/PreviewedVersionDocument.h"
#include "app/views/StandaloneAlertController.h"
#include "platform/foundation/Dispatch.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/UIDriver.h"
#include "platform/ui/UITestFixture.h"
#include "support/TestEnvironment.h"

namespace {

class FIAppDelegateDocumentsTest : public memorant_test::UITest {
protected:
    void SetUp() override {
        main->setRootViewController(std::make_shared<ViewController>());
        main->makeKeyAndVisible();
    }
    void TearDown() override {
        FIFlashcardsDocument::setErrorAlertPresenter(nullptr);
        FIFlashcardsDocument::setCoverIconImageProvider(nullptr);
        main->setHidden(true);
        UITest::TearDown();
    }
    std::shared_ptr<Window> main = std::make_shared<Window>();
    memorant_test::TempDir dir;
};

TEST_F(FIAppDelegateDocumentsTest, SaveErrorAlertJoinsTheErrorsAndOffersSupport) {
    FIAppDelegateDocuments::installDocumentHooks();
    auto document = FIFlashcardsDocument::initNewDocumentWithFileURL(URL::fileURLWithPath(dir.file("D.flashcards")));
    Error error(NSCocoaErrorDomain, 640, Value::dictionary({{NSLocalizedDescriptionKey, "Could not save."}}));
    error.setUnderlyingError(
        Error(NSPOSIXErrorDomain, 28, Value::dictionary({{NSLocalizedDescriptionKey, "Disk full"}})));
    document->handleError(error, true);
    ASSERT_TRUE(memorant_test::runMainLoopUntil([] { return UIDriver::presentedAlert() != nullptr; }));
    auto alert = std::dynamic_pointer_cast<StandaloneAlertController>(UIDriver::presentedAlert());
    ASSERT_TRUE(alert);
    EXPECT_EQ(alert->title(), "Deck Error");
    EXPECT_EQ(alert->message(), "Could not save. - Disk full");
    EXPECT_EQ(alert->preferredStyle(), AlertControllerStyle::Alert);
    ASSERT_EQ(alert->actions().size(), 2u);
    EXPECT_EQ(alert->actions()[0]->title(), "Contact Support");
    EXPECT_EQ(alert->actions()[1]->title(), "OK");
    EXPECT_EQ(alert->actions()[0]->style(), AlertActionStyle::Default);
    EXPECT_EQ(alert->actions()[1]->style(), AlertActionStyle::Default);

    // No mail account here: support is asked for and the not-configured alert answers.
    ASSERT_TRUE(UIDriver::tapAlertAction(*alert, "Contact Support"));
    advance(ViewController::kTransitionDuration);
    auto alertViews = AlertView::visibleAlertViews();
    ASSERT_EQ(alertViews.size(), 1u);
    EXPECT_EQ(alertViews[0]->title(), "Mail is not configured");
    alertViews[0]->clickButtonAtIndex(alertViews[0]->cancelButtonIndex());
}

TEST_F(FIAppDelegateDocumentsTest, CurrentAndPreviewedDocuments) {
    auto document = FIFlashcardsDocument::initNewDocumentWithFileURL(URL::fileURLWithPath(dir.file("D.flashcards")));
    FIAppDelegateDocuments::setCurrentDocument(document);
    EXPECT_EQ(FIAppDelegateDocuments::currentDocument(), document);
    FIAppDelegateDocuments::setCurrentDocument(nullptr);
    EXPECT_EQ(FIAppDelegateDocuments::currentDocument(), nullptr);

    // A previewed version is closed when the browser forgets it.
    std::optional<bool> saved;
    document->saveToURL(document->fileURL(), DocumentSaveOperation::ForCreating, [&](bool ok) { saved = ok; });
    ASSERT_TRUE(memorant_test::runMainLoopUntil([&] { return saved.has_value(); }));
    EXPECT_FALSE(document->documentState() & DocumentStateClosed);
    PreviewedVersionDocument::setPreviewedVersionDocument(document);
    EXPECT_EQ(PreviewedVersionDocument::previewedVersionDocument(), document);
    PreviewedVersionDocument::clearPreviewedVersionDocument();
    EXPECT_EQ(PreviewedVersionDocument::previewedVersionDocument(), nullptr);
    ASSERT_TRUE(memorant_test::runMainLoopUntil([&] { return document->documentState() & DocumentStateClosed; }));
}

}  // namespace
