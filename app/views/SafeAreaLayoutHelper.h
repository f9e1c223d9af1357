#pragma once

#include <map>
#include <memory>
#include <vector>

#include "platform/ui/Geometry.h"

class LayoutConstraint;
class View;

class SafeAreaLayoutHelper {
public:
    // The key window's safe-area insets, or zero insets without a key window.
    static EdgeInsets compatibleSafeAreaInsetsForKeyWindow();
};

// Installs each entry's constraints on its view (one addConstraints call per
// view, in the map's order).
void addConstraintsByView(
    const std::map<std::shared_ptr<View>, std::vector<std::shared_ptr<LayoutConstraint>>>& byView);
