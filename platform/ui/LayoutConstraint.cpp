#include "platform/ui/LayoutConstraint.h"

#include <cctype>
#include <cstdlib>

#include "platform/foundation/Error.h"
#include "platform/foundation/Format.h"
#include "platform/ui/View.h"

namespace {

constexpr double kStandardSpacing = 8;

[[noreturn]] void formatError(const std::string& format, const std::string& why) {
    throw InvalidArgumentException("Unable to parse constraint format: " + why + "\n" + format);
}

struct Predicate {
    LayoutRelation relation = LayoutRelation::Equal;
    double constant = 0;
    std::shared_ptr<View> view;  // a size predicate may name another view
    LayoutPriority priority = kLayoutPriorityRequired;
};

// One pass over a visual format string.
class FormatParser {
public:
    FormatParser(const std::string& format, const std::map<std::string, double>& metrics,
                 const std::map<std::string, std::shared_ptr<View>>& views)
        : format_(format), metrics_(metrics), views_(views) {}

    std::vector<std::shared_ptr<LayoutConstraint>> parse() {
        bool vertical = false;
        if (format_.size() >= 2 && (format_[0] == 'H' || format_[0] == 'V') && format_[1] == ':') {
            vertical = format_[0] == 'V';
            pos_ = 2;
        }
        const LayoutAttribute lead = vertical ? LayoutAttribute::Top : LayoutAttribute::Leading;
        const LayoutAttribute trail = vertical ? LayoutAttribute::Bottom : LayoutAttribute::Trailing;
        const LayoutAttribute leadMargin = vertical ? LayoutAttribute::TopMargin : LayoutAttribute::LeadingMargin;
        const LayoutAttribute trailMargin = vertical ? LayoutAttribute::BottomMargin : LayoutAttribute::TrailingMargin;
        const LayoutAttribute size = vertical ? LayoutAttribute::Height : LayoutAttribute::Width;

        std::vector<std::shared_ptr<LayoutConstraint>> result;
        std::shared_ptr<View> previous;  // the view before the current connection
        bool previousIsSuperview = false;
        bool sawView = false;
        if (peek('|')) {
            ++pos_;
            previousIsSuperview = true;
        }
        while (true) {
            skipSpaces();
            if (atEnd()) break;
            // The connection to the next item.
            std::optional<std::vector<Predicate>> connection;  // empty optional: flush
            bool standard = false;
            if (peek('-')) {
                ++pos_;
                if (peek('[') || peek('|')) {
                    standard = true;
                } else {
                    connection = parsePredicateList(false);
                    expect('-');
                }
            } else if (!peek('[')) {
                if (!sawView && !previousIsSuperview) formatError(format_, "expected a view");
                if (!peek('|')) formatError(format_, "expected a view or '|'");
            }
            if (!sawView && !previousIsSuperview && (connection || standard))
                formatError(format_, "a connection needs a view before it");

            if (peek('|')) {
                ++pos_;
                if (!previous) formatError(format_, "'|' needs a view before it");
                auto superview = superviewOf(previous);
                if (standard)
                    result.push_back(make(superview, trailMargin, LayoutRelation::Equal, previous, trail, 0,
                                          kLayoutPriorityRequired));
                else
                    for (const auto& p : connection.value_or(std::vector<Predicate>{Predicate{}}))
                        result.push_back(make(superview, trail, p.relation, previous, trail, p.constant, p.priority));
                skipSpaces();
                if (!atEnd()) formatError(format_, "nothing may follow the closing '|'");
                break;
            }

            expect('[');
            std::string name = parseIdentifier();
            auto it = views_.find(name);
            if (it == views_.end() || !it->second) formatError(format_, name + " is not a key in the views dictionary");
            auto view = it->second;
            std::vector<Predicate> sizePredicates;
            if (peek('(')) sizePredicates = parsePredicateList(true);
            expect(']');

            if (previousIsSuperview && !sawView) {
                auto superview = superviewOf(view);
                if (standard)
                    result.push_back(
                        make(view, lead, LayoutRelation::Equal, superview, leadMargin, 0, kLayoutPriorityRequired));
                else
                    for (const auto& p : connection.value_or(std::vector<Predicate>{Predicate{}}))
                        result.push_back(make(view, lead, p.relation, superview, lead, p.constant, p.priority));
            } else if (previous) {
                if (standard)
                    result.push_back(make(view, lead, LayoutRelation::Equal, previous, trail, kStandardSpacing,
                                          kLayoutPriorityRequired));
                else
                    for (const auto& p : connection.value_or(std::vector<Predicate>{Predicate{}}))
                        result.push_back(make(view, lead, p.relation, previous, trail, p.constant, p.priority));
            }
            for (const auto& p : sizePredicates) {
                if (p.view)
                    result.push_back(make(view, size, p.relation, p.view, size, 0, p.priority));
                else
                    result.push_back(
                        make(view, size, p.relation, nullptr, LayoutAttribute::NotAnAttribute, p.constant, p.priority));
            }
            previous = view;
            sawView = true;
        }
        if (!sawView) formatError(format_, "no view");
        return result;
    }

private:
    static std::shared_ptr<LayoutConstraint> make(const std::shared_ptr<View>& first, LayoutAttribute a,
                                                  LayoutRelation r, const std::shared_ptr<View>& second,
                                                  LayoutAttribute b, double constant, LayoutPriority priority) {
        auto c = LayoutConstraint::constraintWithItem(first, a, r, second, b, 1, constant);
        c->setPriority(priority);
        return c;
    }

    std::shared_ptr<View> superviewOf(const std::shared_ptr<View>& view) {
        View* superview = view->superview();
        if (!superview)
            formatError(format_,
                        "Unable to interpret '|' character, because the related view doesn't have a superview");
        auto shared = superview->weak_from_this().lock();
        if (!shared) formatError(format_, "the superview is not held by a shared pointer yet (still being made?)");
        return shared;
    }

    bool atEnd() const { return pos_ >= format_.size(); }
    bool peek(char c) {
        skipSpaces();
        return !atEnd() && format_[pos_] == c;
    }
    void skipSpaces() {
        while (!atEnd() && format_[pos_] == ' ') ++pos_;
    }
    void expect(char c) {
        if (!peek(c)) formatError(format_, std::string("expected '") + c + "'");
        ++pos_;
    }

    std::string parseIdentifier() {
        skipSpaces();
        std::size_t start = pos_;
        while (!atEnd() && (std::isalnum(static_cast<unsigned char>(format_[pos_])) || format_[pos_] == '_')) ++pos_;
        if (start == pos_) formatError(format_, "expected a name");
        return format_.substr(start, pos_ - start);
    }

    double parseNumberOrMetric() {
        skipSpaces();
        if (!atEnd() &&
            (std::isdigit(static_cast<unsigned char>(format_[pos_])) || format_[pos_] == '.' || format_[pos_] == '-')) {
            const char* begin = format_.c_str() + pos_;
            char* end = nullptr;
            double value = std::strtod(begin, &end);
            if (end == begin) formatError(format_, "expected a number");
            pos_ += static_cast<std::size_t>(end - begin);
            return value;
        }
        std::string name = parseIdentifier();
        auto it = metrics_.find(name);
        if (it == metrics_.end()) formatError(format_, name + " is not a key in the metrics dictionary");
        return it->second;
    }

    // "N", "name", or "(predicate, ...)"; inside brackets of a view the
    // list is always in parentheses and a predicate may name a view.
    std::vector<Predicate> parsePredicateList(bool allowViews) {
        std::vector<Predicate> list;
        if (!peek('(')) {
            Predicate p;
            p.constant = parseNumberOrMetric();
            list.push_back(p);
            return list;
        }
        ++pos_;
        while (true) {
            Predicate p;
            skipSpaces();
            if (format_.compare(pos_, 2, "==") == 0) {
                pos_ += 2;
            } else if (format_.compare(pos_, 2, ">=") == 0) {
                p.relation = LayoutRelation::GreaterThanOrEqual;
                pos_ += 2;
            } else if (format_.compare(pos_, 2, "<=") == 0) {
                p.relation = LayoutRelation::LessThanOrEqual;
                pos_ += 2;
            }
            skipSpaces();
            bool isName = !atEnd() && (std::isalpha(static_cast<unsigned char>(format_[pos_])) || format_[pos_] == '_');
            if (isName && allowViews) {
                std::size_t save = pos_;
                std::string name = parseIdentifier();
                if (auto it = views_.find(name); it != views_.end()) {
                    p.view = it->second;
                } else {
                    pos_ = save;
                    p.constant = parseNumberOrMetric();
                }
            } else {
                p.constant = parseNumberOrMetric();
            }
            if (peek('@')) {
                ++pos_;
                p.priority = static_cast<LayoutPriority>(parseNumberOrMetric());
            }
            list.push_back(p);
            if (peek(',')) {
                ++pos_;
                continue;
            }
            expect(')');
            return list;
        }
    }

    const std::string& format_;
    const std::map<std::string, double>& metrics_;
    const std::map<std::string, std::shared_ptr<View>>& views_;
    std::size_t pos_ = 0;
};

View* commonAncestor(View* a, View* b) {
    if (!b) return a;
    for (View* v = a; v; v = v->superview())
        if (b->isDescendantOfView(v)) return v;
    return nullptr;
}

}  // namespace

LayoutConstraint::LayoutConstraint(const std::shared_ptr<View>& first, LayoutAttribute firstAttribute,
                                   LayoutRelation relation, const std::shared_ptr<View>& second,
                                   LayoutAttribute secondAttribute, double multiplier, double constant)
    : first_(first),
      firstAttribute_(firstAttribute),
      relation_(relation),
      second_(second),
      secondAttribute_(secondAttribute),
      multiplier_(multiplier),
      constant_(constant) {}

std::shared_ptr<LayoutConstraint> LayoutConstraint::constraintWithItem(
    const std::shared_ptr<View>& first, LayoutAttribute firstAttribute, LayoutRelation relation,
    const std::shared_ptr<View>& second, LayoutAttribute secondAttribute, double multiplier, double constant) {
    return std::make_shared<LayoutConstraint>(first, firstAttribute, relation, second, secondAttribute, multiplier,
                                              constant);
}

std::vector<std::shared_ptr<LayoutConstraint>> LayoutConstraint::constraintsWithVisualFormat(
    const std::string& format, unsigned, const std::map<std::string, double>& metrics,
    const std::map<std::string, std::shared_ptr<View>>& views) {
    return FormatParser(format, metrics, views).parse();
}

void LayoutConstraint::activateConstraints(const std::vector<std::shared_ptr<LayoutConstraint>>& constraints) {
    for (const auto& c : constraints) c->setActive(true);
}

void LayoutConstraint::deactivateConstraints(const std::vector<std::shared_ptr<LayoutConstraint>>& constraints) {
    for (const auto& c : constraints) c->setActive(false);
}

void LayoutConstraint::setActive(bool active) {
    if (active == isActive()) return;
    if (!active) {
        installedOn_->removeConstraint(shared_from_this());
        return;
    }
    auto first = firstItem();
    if (!first) return;
    auto second = secondItem();
    if (View* target = commonAncestor(first.get(), second.get())) target->addConstraint(shared_from_this());
}

const char* layoutAttributeName(LayoutAttribute attribute) {
    switch (attribute) {
        case LayoutAttribute::NotAnAttribute:
            return "notAnAttribute";
        case LayoutAttribute::Left:
            return "left";
        case LayoutAttribute::Right:
            return "right";
        case LayoutAttribute::Top:
            return "top";
        case LayoutAttribute::Bottom:
            return "bottom";
        case LayoutAttribute::Leading:
            return "leading";
        case LayoutAttribute::Trailing:
            return "trailing";
        case LayoutAttribute::Width:
            return "width";
        case LayoutAttribute::Height:
            return "height";
        case LayoutAttribute::CenterX:
            return "centerX";
        case LayoutAttribute::CenterY:
            return "centerY";
        case LayoutAttribute::LastBaseline:
            return "lastBaseline";
        case LayoutAttribute::FirstBaseline:
            return "firstBaseline";
        case LayoutAttribute::LeadingMargin:
            return "leadingMargin";
        case LayoutAttribute::TrailingMargin:
            return "trailingMargin";
        case LayoutAttribute::TopMargin:
            return "topMargin";
        case LayoutAttribute::BottomMargin:
            return "bottomMargin";
    }
    return "?";
}

std::string LayoutConstraint::description() const {
    const char* relation = relation_ == LayoutRelation::Equal             ? "=="
                           : relation_ == LayoutRelation::LessThanOrEqual ? "<="
                                                                          : ">=";
    std::string text = stringWithFormat("first.%@ %@ ", layoutAttributeName(firstAttribute_), relation);
    if (secondItem()) text += stringWithFormat("second.%@ * %g + ", layoutAttributeName(secondAttribute_), multiplier_);
    return text + stringWithFormat("%g", constant_);
}
