#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/Error.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/ui/View.h"
#include "umbrella/ArrayBoundsSafety.h"
#include "umbrella/EditorWebView.h"
#include "umbrella/ErrorChain.h"
#include "umbrella/NotificationObservingCancellationToken.h"

namespace {

Error described(const std::string& description) {
    return Error("FCTest", 1, Value::dictionary({{NSLocalizedDescriptionKey, description}}));
}

TEST(ErrorChain, JoinsTheDescriptionsOfTheChain) {
    Error saveFailed = described("Save failed");
    saveFailed.setUnderlyingError(described("Disk full"));
    Error silent = described("");
    silent.setUnderlyingError(described(""));
    Error gap = described("Top");
    Error middle = described("");
    middle.setUnderlyingError(described("Bottom"));
    gap.setUnderlyingError(middle);

    struct Case {
        const char* what;
        Error error;
        std::size_t chainLength;
        std::optional<std::string> joined;
    } cases[] = {
        {"no underlying error", described("Save failed"), 1, "Save failed"},
        {"one underlying error", saveFailed, 2, "Save failed: Disk full"},
        {"no descriptions at all", silent, 2, std::nullopt},
        {"an empty description in between", gap, 3, "Top: Bottom"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto chain = errorChain(c.error);
        EXPECT_EQ(c.chainLength, chain.size());
        EXPECT_EQ(c.error, chain.front());
        EXPECT_EQ(c.joined, joinedLocalizedDescriptions(c.error, ": "));
    }
    EXPECT_EQ(joinedLocalizedDescriptions(described("Save failed"), "; "),
              described("Save failed").localizedDescription());
}

TEST(ArrayBoundsSafety, NeverLeavesTheArray) {
    const std::vector<int> three{1, 2, 3};
    EXPECT_EQ(std::nullopt, boundsSafe(three, -1));
    EXPECT_EQ(std::nullopt, boundsSafe(three, 3));
    EXPECT_EQ(3, boundsSafe(three, 2));

    EXPECT_TRUE(boundsSafeSuffix(three, 3).empty());
    EXPECT_TRUE(boundsSafeSuffix(three, -1).empty());
    auto suffix = boundsSafeSuffix(three, 1);
    EXPECT_EQ((std::vector<int>{2, 3}), std::vector<int>(suffix.begin(), suffix.end()));

    struct Case {
        std::int64_t index;
        std::vector<int> expected;
    } cases[] = {{99, {1, 2, 3, 9}}, {-5, {9, 1, 2, 3}}, {1, {1, 9, 2, 3}}, {3, {1, 2, 3, 9}}};
    for (const auto& c : cases) {
        std::vector<int> array = three;
        boundsSafeInsert(array, 9, c.index);
        EXPECT_EQ(c.expected, array) << "index " << c.index;
    }
}

TEST(NotificationObservingCancellationToken, EndsTheObservationOnce) {
    auto center = NotificationCenter::create();
    int deliveries = 0;
    auto token = addObserver(*center, std::string("FIDeckDocumentModifiedNotification"), nullptr, nullptr,
                             [&](const Notification&) { ++deliveries; });
    center->postNotificationName("FIDeckDocumentModifiedNotification");
    EXPECT_EQ(1, deliveries);
    EXPECT_EQ(center, token->center());

    token->removeObserver();
    EXPECT_EQ(nullptr, token->center());
    center->postNotificationName("FIDeckDocumentModifiedNotification");
    token->removeObserver();
    token.reset();
    EXPECT_EQ(1, deliveries);

    // Releasing the token alone ends the observation too.
    auto released = addObserver(*center, std::nullopt, nullptr, nullptr, [&](const Notification&) { ++deliveries; });
    released.reset();
    center->postNotificationName("Anything");
    EXPECT_EQ(1, deliveries);
}

TEST(EditorWebView, ShowsTheAccessoryViewItsOwnerSets) {
    auto webView = EditorWebView::create(Rect(0, 0, 320, 480), WebViewConfiguration());
    EXPECT_EQ(nullptr, webView->inputAccessoryView());
    auto accessory = std::make_shared<View>(Rect(0, 0, 320, 44));
    webView->setAccessoryInputView(accessory);
    std::shared_ptr<WebView> asWebView = webView;
    EXPECT_EQ(accessory, asWebView->inputAccessoryView());
    EXPECT_EQ(Rect(0, 0, 320, 480), webView->frame());
}

}  // namespace
