#include "app/views/AlertViewAdditions.h"

namespace {
const char kWrapperKey = 0;
}

void _FIAlertViewWrapper::alertViewClickedButtonAtIndex(AlertView& alertView, std::int64_t buttonIndex) {
    if (completionBlock_) completionBlock_(alertView, buttonIndex);
}

void _FIAlertViewWrapper::alertViewCancel(AlertView& alertView) {
    if (completionBlock_) completionBlock_(alertView, alertView.cancelButtonIndex());
}

void fcShowWithCompletion(const std::shared_ptr<AlertView>& alertView,
                          _FIAlertViewWrapper::CompletionBlock completion) {
    if (!alertView) return;
    auto wrapper = std::make_shared<_FIAlertViewWrapper>();
    wrapper->setCompletionBlock(std::move(completion));
    alertView->setDelegate(wrapper);
    alertView->setAssociatedObject(&kWrapperKey, wrapper);
    alertView->show();
}
