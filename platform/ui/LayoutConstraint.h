#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class View;

enum class LayoutAttribute {
    NotAnAttribute,
    Left,
    Right,
    Top,
    Bottom,
    Leading,
    Trailing,
    Width,
    Height,
    CenterX,
    CenterY,
    LastBaseline,
    FirstBaseline,
    LeadingMargin,
    TrailingMargin,
    TopMargin,
    BottomMargin,
};

enum class LayoutRelation { LessThanOrEqual = -1, Equal = 0, GreaterThanOrEqual = 1 };

using LayoutPriority = float;
inline constexpr LayoutPriority kLayoutPriorityRequired = 1000;
inline constexpr LayoutPriority kLayoutPriorityDefaultHigh = 750;
inline constexpr LayoutPriority kLayoutPriorityDefaultLow = 250;

// A layout constraint as data: first.attribute relation second.attribute *
// multiplier + constant, with a priority. Nothing solves constraints here;
// views keep them (installed constraints are active) and tests read them.
// The items are held weakly, as on the platform.
class LayoutConstraint : public std::enable_shared_from_this<LayoutConstraint> {
public:
    static std::shared_ptr<LayoutConstraint> constraintWithItem(const std::shared_ptr<View>& first,
                                                                LayoutAttribute firstAttribute, LayoutRelation relation,
                                                                const std::shared_ptr<View>& second,
                                                                LayoutAttribute secondAttribute, double multiplier,
                                                                double constant);

    // The visual format language: "H:" or "V:", "|" for the superview,
    // "[name]" or "[name(predicates)]" for views, and connections "-",
    // "-N-", "-(N)-" or "-(>=N@P)-" (N a number or a metric name) or none
    // (flush). "-" is the standard space: 8 points between views, and to the
    // superview the superview's layout margin. A malformed format raises
    // "NSInvalidArgumentException".
    static std::vector<std::shared_ptr<LayoutConstraint>> constraintsWithVisualFormat(
        const std::string& format, unsigned options, const std::map<std::string, double>& metrics,
        const std::map<std::string, std::shared_ptr<View>>& views);

    // Installs each on the nearest common ancestor of its items (the item
    // itself without a second one).
    static void activateConstraints(const std::vector<std::shared_ptr<LayoutConstraint>>& constraints);
    static void deactivateConstraints(const std::vector<std::shared_ptr<LayoutConstraint>>& constraints);

    LayoutConstraint(const std::shared_ptr<View>& first, LayoutAttribute firstAttribute, LayoutRelation relation,
                     const std::shared_ptr<View>& second, LayoutAttribute secondAttribute, double multiplier,
                     double constant);

    std::shared_ptr<View> firstItem() const { return first_.lock(); }
    LayoutAttribute firstAttribute() const { return firstAttribute_; }
    LayoutRelation relation() const { return relation_; }
    std::shared_ptr<View> secondItem() const { return second_.lock(); }
    LayoutAttribute secondAttribute() const { return secondAttribute_; }
    double multiplier() const { return multiplier_; }
    double constant() const { return constant_; }
    void setConstant(double constant) { constant_ = constant; }
    LayoutPriority priority() const { return priority_; }
    void setPriority(LayoutPriority priority) { priority_ = priority; }
    const std::optional<std::string>& identifier() const { return identifier_; }
    void setIdentifier(std::optional<std::string> identifier) { identifier_ = std::move(identifier); }

    // Installed on a view.
    bool isActive() const { return installedOn_ != nullptr; }
    void setActive(bool active);
    View* installedOn() const { return installedOn_; }

    // "first.attribute == second.attribute * m + c".
    std::string description() const;

private:
    friend class View;
    std::weak_ptr<View> first_;
    LayoutAttribute firstAttribute_;
    LayoutRelation relation_;
    std::weak_ptr<View> second_;
    LayoutAttribute secondAttribute_;
    double multiplier_;
    double constant_;
    LayoutPriority priority_ = kLayoutPriorityRequired;
    std::optional<std::string> identifier_;
    View* installedOn_ = nullptr;
};

const char* layoutAttributeName(LayoutAttribute attribute);
