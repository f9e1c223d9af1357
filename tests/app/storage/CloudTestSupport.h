#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/storage/DocumentsController.h"
#include "model/TWLogger.h"
#include "platform/cloud/MetadataQuery.h"
#include "platform/foundation/MainThread.h"
#include "platform/foundation/Operation.h"
#include "platform/foundation/StringUtils.h"
#include "support/MainLoop.h"

namespace memorant_test {

// A metadata item of the container's Documents folder as the platform reports
// a downloaded deck: URL, file name and display name (the name without its
// extension, unless given).
inline MetadataItemPtr cloudItem(const std::string& fileName, const std::string& displayName = {}) {
    auto item = std::make_shared<MetadataItem>();
    item->setValueForAttribute(NSMetadataItemURLKey, URL::fileURLWithPath("/container/Documents/" + fileName));
    item->setValueForAttribute(NSMetadataItemFSNameKey, Value(fileName));
    item->setValueForAttribute(NSMetadataItemDisplayNameKey,
                               Value(displayName.empty() ? stringByDeletingPathExtension(fileName) : displayName));
    item->setValueForAttribute(NSMetadataUbiquitousItemIsUploadedKey, Value(true));
    return item;
}

struct CloudDelivery {
    std::vector<std::string> names;
    std::vector<std::string> fileNames;
    std::vector<DocumentItemAnimation> animations;
    bool onMainThread = false;
};

class CloudRecordingDelegate : public FlashcardsDocumentQueryDelegate {
public:
    void documentItemsDidChange(const std::vector<std::shared_ptr<DocumentItem>>& items,
                                const std::vector<DocumentItemAnimation>& animations) override {
        CloudDelivery d{{}, {}, animations, isMainThread()};
        for (const auto& item : items) {
            d.names.push_back(item->displayName());
            d.fileNames.push_back(item->url().lastPathComponent());
        }
        deliveries.push_back(std::move(d));
        if (onDelivery) onDelivery();
    }
    std::vector<CloudDelivery> deliveries;
    std::function<void()> onDelivery;
};

// Whether the backlog holds a line of the level word, file, function and message.
inline bool loggedLine(const std::string& level, const std::string& file, const std::string& function,
                       const std::string& message) {
    for (const auto& line : TWLogger::sharedInstance().messageBacklog()) {
        if (stringContains(line, level + "| " + message + " |" + file + ":") && stringContains(line, "| " + function)) {
            return true;
        }
    }
    return false;
}

// Runs the main loop until the worker queue is idle and nothing is left to
// run on the main loop (the worker waits for the main thread, so the main
// thread never waits for the worker here).
inline ::testing::AssertionResult settleWorker(OperationQueue& worker) {
    for (int round = 0; round < 100; ++round) {
        auto idle = runMainLoopUntil([&] { return worker.operationCount() == 0; });
        if (!idle) return idle;
        if (drainMainLoop() == 0 && worker.operationCount() == 0) return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "the worker queue never settled";
}

}  // namespace memorant_test
