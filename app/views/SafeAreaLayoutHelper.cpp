#include "app/views/SafeAreaLayoutHelper.h"

#include "platform/ui/Application.h"
#include "platform/ui/LayoutConstraint.h"
#include "platform/ui/Window.h"

EdgeInsets SafeAreaLayoutHelper::compatibleSafeAreaInsetsForKeyWindow() {
    auto window = Application::shared().keyWindow();
    return window ? window->safeAreaInsets() : EdgeInsets{};
}

void addConstraintsByView(
    const std::map<std::shared_ptr<View>, std::vector<std::shared_ptr<LayoutConstraint>>>& byView) {
    for (const auto& [view, constraints] : byView) view->addConstraints(constraints);
}
