#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "platform/ui/AlertView.h"

// The alert view's delegate that hands its answer to a block.
class _FIAlertViewWrapper : public AlertViewDelegate {
public:
    using CompletionBlock = std::function<void(AlertView& alertView, std::int64_t buttonIndex)>;

    const CompletionBlock& completionBlock() const { return completionBlock_; }
    void setCompletionBlock(CompletionBlock block) { completionBlock_ = std::move(block); }

    void alertViewClickedButtonAtIndex(AlertView& alertView, std::int64_t buttonIndex) override;
    // The system cancelled the alert: the block gets the cancel button's index.
    void alertViewCancel(AlertView& alertView) override;

private:
    CompletionBlock completionBlock_;
};

// Shows the alert view; the block (may be empty) hears which button ended it.
// The block's wrapper lives as long as the alert view.
void fcShowWithCompletion(const std::shared_ptr<AlertView>& alertView, _FIAlertViewWrapper::CompletionBlock completion);
