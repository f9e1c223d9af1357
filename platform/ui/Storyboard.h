#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/NavigationController.h"
#include "platform/ui/ViewController.h"

class BarButtonItem;
class Control;
class TableView;

// How a segue shows its destination.
enum class StoryboardSegueKind {
    Push,       // pushed on the source's navigation controller (presented when it has none)
    Modal,      // presented with the destination's own presentation style
    Popover,    // presented as a popover anchored at the sender (a bar button item or a view)
    FormSheet,  // presented as a form sheet
    ShowDetail, // the detail of the source's split view (presented when it has none)
};

// One segue being performed: its identifier, source and destination. Made by
// ViewController::performSegueWithIdentifier; prepareForSegue sees it before
// perform() shows the destination.
class StoryboardSegue {
public:
    StoryboardSegue(std::optional<std::string> identifier, std::shared_ptr<ViewController> source,
                    std::shared_ptr<ViewController> destination, StoryboardSegueKind kind = StoryboardSegueKind::Modal)
        : identifier_(std::move(identifier)),
          source_(std::move(source)),
          destination_(std::move(destination)),
          kind_(kind) {}
    virtual ~StoryboardSegue() = default;

    const std::optional<std::string>& identifier() const { return identifier_; }
    const std::shared_ptr<ViewController>& sourceViewController() const { return source_; }
    const std::shared_ptr<ViewController>& destinationViewController() const { return destination_; }
    StoryboardSegueKind kind() const { return kind_; }

    // Shows the destination from the source, animated; `sender` anchors a
    // popover.
    virtual void perform(const AnyObject& sender);

private:
    std::optional<std::string> identifier_;
    std::shared_ptr<ViewController> source_;
    std::shared_ptr<ViewController> destination_;
    StoryboardSegueKind kind_;
};

// A storyboard: named scenes, each a controller made in code with its view
// and outlets, and the segues that lead from a scene to others. The app
// defines its storyboards ("Main", "Main_nextgen", "RemoteControl", the
// library's own) once, by name, with Storyboard::registerStoryboard; screens
// and tests then get them with storyboardWithName and make controllers by
// scene identifier, as the platform's storyboards do.
//
//   Storyboard::registerStoryboard("Main", [](Storyboard& s) {
//       s.addScene<TopicPickerTableViewController>("TopicPicker", [](TopicPickerTableViewController& c) {
//           c.setView(...); // the scene's view, outlets and static cells
//       });
//       s.addSegue("TopicPicker", "ShowSubTopicSegue", "TopicPicker", StoryboardSegueKind::Push);
//       s.setInitialScene("DeckLibrary");
//   });
//
// A scene's view loader runs in place of loadView when the controller's view
// is first needed, before viewDidLoad: it sets the view and the outlets (a
// table screen's loader gives its TableView and any static cells). Segue
// triggers are connected by the screen or the loader with connectSegue
// (bar button items, controls) and TableView::setSelectionSegue (cells).
class Storyboard : public std::enable_shared_from_this<Storyboard> {
public:
    using Definition = std::function<void(Storyboard&)>;
    using Factory = std::function<std::shared_ptr<ViewController>(Storyboard& storyboard)>;
    using ViewLoader = std::function<void(ViewController&)>;

    // Defines (or redefines) the storyboard of that name.
    static void registerStoryboard(const std::string& name, Definition definition);
    // Adds a named extension to the storyboard of that name: the scenes and
    // segues one screen family contributes. Extensions run after the
    // storyboard's own definition (if any), in the order of their names;
    // adding an extension of the same name again replaces it. A storyboard
    // made only of extensions exists.
    static void extendStoryboard(const std::string& name, const std::string& extension, Definition definition);
    static void unregisterStoryboard(const std::string& name);
    // The storyboard of that name, defined afresh on each call. Raises
    // "NSInvalidArgumentException" ("Could not find a storyboard named
    // '<name>'") for an unknown name.
    static std::shared_ptr<Storyboard> storyboardWithName(const std::string& name);

    explicit Storyboard(std::string name) : name_(std::move(name)) {}
    const std::string& name() const { return name_; }

    // A scene made by the factory (given this storyboard, to make the scenes
    // it contains); the loader (may be empty: loadView as
    // the class defines it) makes its view and outlets.
    void addScene(const std::string& identifier, Factory factory, ViewLoader loader = {});
    template <class T>
    void addScene(const std::string& identifier, std::function<void(T&)> loader = {}) {
        addScene(
            identifier, [](Storyboard&) { return std::make_shared<T>(); },
            loader ? ViewLoader([loader](ViewController& c) { loader(static_cast<T&>(c)); }) : ViewLoader());
    }
    // A navigation controller scene (of class T) whose stack starts with a
    // new controller of another scene, as a storyboard's root relationship
    // makes it. A segue to it gets the navigation controller as destination;
    // prepareForSegue finds the root as its topViewController.
    template <class T = NavigationController>
    void addNavigationScene(const std::string& identifier, std::string rootScene) {
        addScene(identifier, [rootScene](Storyboard& storyboard) -> std::shared_ptr<ViewController> {
            return std::make_shared<T>(storyboard.instantiateViewControllerWithIdentifier(rootScene));
        });
    }
    // A segue from a scene to another scene, by identifier.
    void addSegue(const std::string& sourceScene, const std::string& identifier, const std::string& destinationScene,
                  StoryboardSegueKind kind);
    void setInitialScene(const std::string& identifier) { initialScene_ = identifier; }
    bool hasScene(const std::string& identifier) const { return scenes_.count(identifier) != 0; }

    // A new controller of the scene, knowing its storyboard and identifier.
    // Raises "NSInvalidArgumentException" ("Storyboard (<name>) doesn't
    // contain a view controller with identifier '<identifier>'").
    std::shared_ptr<ViewController> instantiateViewControllerWithIdentifier(const std::string& identifier);
    template <class T>
    std::shared_ptr<T> instantiate(const std::string& identifier) {
        return std::dynamic_pointer_cast<T>(instantiateViewControllerWithIdentifier(identifier));
    }
    // The initial scene's controller, or null when none is set.
    std::shared_ptr<ViewController> instantiateInitialViewController();

    struct SegueDefinition {
        std::string destinationScene;
        StoryboardSegueKind kind;
    };
    // The segue of that identifier leaving the scene, if any.
    const SegueDefinition* segue(const std::string& sourceScene, const std::string& identifier) const;

    // Connects a trigger to a segue of the source: tapping the item or the
    // control (TouchUpInside) triggers the segue with it as the sender
    // (ViewController::triggerSegueWithIdentifier). The source is held weakly.
    static void connectSegue(BarButtonItem& item, const std::shared_ptr<ViewController>& source,
                             std::string identifier);
    static void connectSegue(Control& control, const std::shared_ptr<ViewController>& source, std::string identifier);

private:
    struct Scene {
        Factory factory;
        ViewLoader loader;
        std::map<std::string, SegueDefinition> segues;
    };
    std::string name_;
    std::map<std::string, Scene> scenes_;
    std::optional<std::string> initialScene_;
};
