#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/ui/NavigationController.h"
#include "platform/ui/ViewController.h"

namespace memorant_test {

// One log of lifecycle calls shared by several controllers, each line
// prefixed with the controller's name ("B.willAppear").
struct CallLog {
    std::vector<std::string> lines;
    void add(std::string line) { lines.push_back(std::move(line)); }
    std::vector<std::string> take() { return std::exchange(lines, {}); }
};

// A controller that records its lifecycle and containment calls.
template <class Base = ViewController>
class Probe : public Base {
public:
    Probe(std::string name, std::shared_ptr<CallLog> log) : name_(std::move(name)), log_(std::move(log)) {
        this->setTitle(name_);
    }
    void viewDidLoad() override {
        Base::viewDidLoad();
        add("didLoad");
    }
    void viewWillAppear(bool animated) override {
        Base::viewWillAppear(animated);
        add("willAppear");
    }
    void viewDidAppear(bool animated) override {
        Base::viewDidAppear(animated);
        add("didAppear");
    }
    void viewWillDisappear(bool animated) override {
        Base::viewWillDisappear(animated);
        add("willDisappear");
    }
    void viewDidDisappear(bool animated) override {
        Base::viewDidDisappear(animated);
        add("didDisappear");
    }
    void willMoveToParentViewController(ViewController* parent) override {
        Base::willMoveToParentViewController(parent);
        add(parent ? "willMove" : "willMove(nil)");
    }
    void didMoveToParentViewController(ViewController* parent) override {
        Base::didMoveToParentViewController(parent);
        add(parent ? "didMove" : "didMove(nil)");
    }

private:
    void add(const std::string& what) { log_->add(name_ + "." + what); }
    std::string name_;
    std::shared_ptr<CallLog> log_;
};

// A navigation delegate writing into the same log.
class NavigationLog : public NavigationControllerDelegate {
public:
    explicit NavigationLog(std::shared_ptr<CallLog> log) : log_(std::move(log)) {}
    void willShowViewController(NavigationController&, ViewController& c, bool) override {
        log_->add("willShow " + c.title().value_or("?"));
    }
    void didShowViewController(NavigationController&, ViewController& c, bool) override {
        log_->add("didShow " + c.title().value_or("?"));
    }

private:
    std::shared_ptr<CallLog> log_;
};

using Lines = std::vector<std::string>;

}  // namespace memorant_test
