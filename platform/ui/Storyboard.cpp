#include "platform/ui/Storyboard.h"

#include "platform/foundation/Error.h"
#include "platform/ui/BarButtonItem.h"
#include "platform/ui/Control.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/PresentationController.h"
#include "platform/ui/SplitViewController.h"

namespace {

std::map<std::string, Storyboard::Definition>& registry() {
    static std::map<std::string, Storyboard::Definition> definitions;
    return definitions;
}

std::map<std::string, std::map<std::string, Storyboard::Definition>>& extensions() {
    static std::map<std::string, std::map<std::string, Storyboard::Definition>> definitions;
    return definitions;
}

}  // namespace

// --- StoryboardSegue ---

void StoryboardSegue::perform(const AnyObject& sender) {
    if (!source_ || !destination_) return;
    switch (kind_) {
        case StoryboardSegueKind::Push:
            if (auto navigation = source_->navigationController()) {
                navigation->pushViewController(destination_, true);
                return;
            }
            break;
        case StoryboardSegueKind::ShowDetail:
            if (auto split = enclosingSplitViewController(*source_)) {
                split->showDetailViewController(destination_);
                return;
            }
            break;
        case StoryboardSegueKind::Modal:
            break;
        case StoryboardSegueKind::FormSheet:
            destination_->setModalPresentationStyle(ModalPresentationStyle::FormSheet);
            break;
        case StoryboardSegueKind::Popover: {
            destination_->setModalPresentationStyle(ModalPresentationStyle::Popover);
            auto popover = destination_->popoverPresentationController();
            if (!popover->barButtonItem() && !popover->sourceView()) {
                if (auto item = sender.as<BarButtonItem>())
                    popover->setBarButtonItem(item);
                else if (auto view = sender.as<View>())
                    popover->setSourceView(view);
                else if (source_->isViewLoaded())
                    popover->setSourceView(source_->view());
            }
            break;
        }
    }
    source_->presentViewController(destination_, true);
}

// --- Storyboard ---

void Storyboard::registerStoryboard(const std::string& name, Definition definition) {
    registry()[name] = std::move(definition);
}

void Storyboard::unregisterStoryboard(const std::string& name) {
    registry().erase(name);
}

void Storyboard::extendStoryboard(const std::string& name, const std::string& extension, Definition definition) {
    extensions()[name][extension] = std::move(definition);
}

std::shared_ptr<Storyboard> Storyboard::storyboardWithName(const std::string& name) {
    auto it = registry().find(name);
    auto extensionsOfName = extensions().find(name);
    if (it == registry().end() && extensionsOfName == extensions().end())
        throw NamedException("NSInvalidArgumentException", "Could not find a storyboard named '" + name + "'");
    auto storyboard = std::make_shared<Storyboard>(name);
    if (it != registry().end()) {
        auto definition = it->second;
        definition(*storyboard);
    }
    if (extensionsOfName != extensions().end()) {
        auto contributions = extensionsOfName->second;
        for (auto& [extension, definition] : contributions) definition(*storyboard);
    }
    return storyboard;
}

void Storyboard::addScene(const std::string& identifier, Factory factory, ViewLoader loader) {
    Scene& scene = scenes_[identifier];
    scene.factory = std::move(factory);
    scene.loader = std::move(loader);
}

void Storyboard::addSegue(const std::string& sourceScene, const std::string& identifier,
                          const std::string& destinationScene, StoryboardSegueKind kind) {
    scenes_[sourceScene].segues[identifier] = SegueDefinition{destinationScene, kind};
}

const Storyboard::SegueDefinition* Storyboard::segue(const std::string& sourceScene,
                                                     const std::string& identifier) const {
    auto scene = scenes_.find(sourceScene);
    if (scene == scenes_.end()) return nullptr;
    auto it = scene->second.segues.find(identifier);
    return it == scene->second.segues.end() ? nullptr : &it->second;
}

std::shared_ptr<ViewController> Storyboard::instantiateViewControllerWithIdentifier(const std::string& identifier) {
    auto it = scenes_.find(identifier);
    if (it == scenes_.end() || !it->second.factory)
        throw NamedException(
            "NSInvalidArgumentException",
            "Storyboard (" + name_ + ") doesn't contain a view controller with identifier '" + identifier + "'");
    auto controller = it->second.factory(*this);
    if (controller) controller->setStoryboardScene(shared_from_this(), identifier, it->second.loader);
    return controller;
}

std::shared_ptr<ViewController> Storyboard::instantiateInitialViewController() {
    if (!initialScene_) return nullptr;
    return instantiateViewControllerWithIdentifier(*initialScene_);
}

void Storyboard::connectSegue(BarButtonItem& item, const std::shared_ptr<ViewController>& source,
                              std::string identifier) {
    std::weak_ptr<ViewController> weak = source;
    item.setAction([weak, identifier = std::move(identifier)](BarButtonItem& sender) {
        if (auto controller = weak.lock())
            controller->triggerSegueWithIdentifier(identifier, sender.shared_from_this());
    });
}

void Storyboard::connectSegue(Control& control, const std::shared_ptr<ViewController>& source, std::string identifier) {
    std::weak_ptr<ViewController> weak = source;
    control.addTarget(
        [weak, identifier = std::move(identifier)](Control& sender) {
            if (auto controller = weak.lock())
                controller->triggerSegueWithIdentifier(identifier,
                                                       std::static_pointer_cast<View>(sender.shared_from_this()));
        },
        ControlEventTouchUpInside);
}
