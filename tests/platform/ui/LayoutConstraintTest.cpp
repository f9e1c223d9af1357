#include <gtest/gtest.h>

#include "platform/foundation/Error.h"
#include "platform/ui/LayoutConstraint.h"
#include "platform/ui/View.h"

namespace {

struct Fixture {
    std::shared_ptr<View> super = std::make_shared<View>(Rect(0, 0, 300, 100));
    std::shared_ptr<View> a = std::make_shared<View>();
    std::shared_ptr<View> b = std::make_shared<View>();
    std::map<std::string, std::shared_ptr<View>> views{{"a", a}, {"b", b}};
    Fixture() {
        super->addSubview(a);
        super->addSubview(b);
    }
    // "item.attribute relation item.attribute * m + c @priority", items named a, b or super.
    std::string describe(const LayoutConstraint& c) const {
        auto name = [&](const std::shared_ptr<View>& v) -> std::string {
            return v == a ? "a" : v == b ? "b" : v == super ? "super" : "?";
        };
        std::string text = name(c.firstItem()) + "." + layoutAttributeName(c.firstAttribute());
        text += c.relation() == LayoutRelation::Equal                ? " == "
                : c.relation() == LayoutRelation::GreaterThanOrEqual ? " >= "
                                                                     : " <= ";
        if (c.secondItem()) text += name(c.secondItem()) + "." + layoutAttributeName(c.secondAttribute()) + " + ";
        text += std::to_string(static_cast<int>(c.constant()));
        if (c.priority() != kLayoutPriorityRequired) text += " @" + std::to_string(static_cast<int>(c.priority()));
        return text;
    }
};

}  // namespace

TEST(LayoutConstraint, VisualFormats) {
    struct Case {
        const char* format;
        std::vector<std::string> expected;
    } cases[] = {
        {"H:|[a]|", {"a.leading == super.leading + 0", "super.trailing == a.trailing + 0"}},
        {"V:|[a]|", {"a.top == super.top + 0", "super.bottom == a.bottom + 0"}},
        {"H:|-15-[a]", {"a.leading == super.leading + 15"}},
        {"H:[a]-|", {"super.trailingMargin == a.trailing + 0"}},
        {"H:|-[a]-[b]", {"a.leading == super.leadingMargin + 0", "b.leading == a.trailing + 8"}},
        {"H:|-15-[a]-15-[b]", {"a.leading == super.leading + 15", "b.leading == a.trailing + 15"}},
        {"H:|-(16)-[a]-16-|", {"a.leading == super.leading + 16", "super.trailing == a.trailing + 16"}},
        {"V:|-8-[a][b]-8-|", {"a.top == super.top + 8", "b.top == a.bottom + 0", "super.bottom == b.bottom + 8"}},
        {"[a(4)]", {"a.width == 4"}},
        {"H:[a]-4-[b(==a)]", {"b.leading == a.trailing + 4", "b.width == a.width + 0"}},
        {"V:[a(>=20,<=wide@750)]", {"a.height >= 20", "a.height <= 40 @750"}},
        {"H:[a]-(>=gap)-|", {"super.trailing >= a.trailing + 12"}},
    };
    for (const auto& c : cases) {
        Fixture f;
        auto constraints =
            LayoutConstraint::constraintsWithVisualFormat(c.format, 0, {{"wide", 40}, {"gap", 12}}, f.views);
        std::vector<std::string> got;
        for (const auto& constraint : constraints) {
            got.push_back(f.describe(*constraint));
            EXPECT_DOUBLE_EQ(1, constraint->multiplier());
            EXPECT_FALSE(constraint->isActive());
        }
        EXPECT_EQ(c.expected, got) << c.format;
    }
}

TEST(LayoutConstraint, MalformedFormatsRaise) {
    Fixture f;
    auto orphan = std::make_shared<View>();
    f.views["orphan"] = orphan;
    for (const char* format : {"H:|[missing]|", "H:|[orphan]", "H:[a]]", "H:|-x-[a]", "", "H:|-10-|", "H:[a]|[b]"}) {
        EXPECT_THROW(LayoutConstraint::constraintsWithVisualFormat(format, 0, {}, f.views), InvalidArgumentException)
            << format;
    }
}

TEST(LayoutConstraint, ActivationInstallsOnTheCommonAncestorAndRemovalCleansUp) {
    Fixture f;
    auto inner = std::make_shared<View>();
    f.a->addSubview(inner);
    auto between = LayoutConstraint::constraintWithItem(inner, LayoutAttribute::Left, LayoutRelation::Equal, f.b,
                                                        LayoutAttribute::Right, 2, 3);
    auto width = LayoutConstraint::constraintWithItem(inner, LayoutAttribute::Width, LayoutRelation::Equal, nullptr,
                                                      LayoutAttribute::NotAnAttribute, 1, 10);
    LayoutConstraint::activateConstraints({between, width});
    EXPECT_EQ(f.super.get(), between->installedOn());
    EXPECT_EQ(inner.get(), width->installedOn());
    EXPECT_DOUBLE_EQ(2, between->multiplier());

    // A view leaving the tree takes the constraints that tie it in along.
    f.a->removeFromSuperview();
    EXPECT_FALSE(between->isActive());
    EXPECT_TRUE(f.super->constraints().empty());
    EXPECT_TRUE(width->isActive());
    width->setActive(false);
    EXPECT_TRUE(inner->constraints().empty());
}
