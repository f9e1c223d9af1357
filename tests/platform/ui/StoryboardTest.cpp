#include <gtest/gtest.h>

#include "platform/foundation/Error.h"
#include "platform/ui/Application.h"
#include "platform/ui/ControllerProbe.h"
#include "platform/ui/PresentationController.h"
#include "platform/ui/Storyboard.h"
#include "platform/ui/Switch.h"
#include "platform/ui/TableViewController.h"
#include "platform/ui/UIDriver.h"
#include "platform/ui/UITestFixture.h"
#include "platform/ui/Window.h"

using namespace memorant_test;

namespace {

// A list screen: rows "Row 0".. with cells that trigger "ShowDetail", a bar
// button that triggers "ShowOptions" (a popover), a switch outlet, and a
// should-perform rule the test sets.
class ListController : public TableViewController {
public:
    std::shared_ptr<Switch> shuffleSwitch;  // outlet
    std::shared_ptr<BarButtonItem> optionsItem;
    std::function<bool(const std::string&)> allow = [](const std::string&) { return true; };
    std::vector<std::string> events;
    std::int64_t rows = 3;

    void viewDidLoad() override {
        tableView()->registerClass<TableViewCell>("Cell");
        tableView()->setSelectionSegue("Cell", "ShowDetail");
        optionsItem = BarButtonItem::withTitle("Options", BarButtonItemStyle::Plain);
        Storyboard::connectSegue(*optionsItem, shared_from_this(), "ShowOptions");
        navigationItem().setRightBarButtonItem(optionsItem);
    }
    std::int64_t numberOfRowsInSection(TableView&, std::int64_t) override { return rows; }
    std::shared_ptr<TableViewCell> cellForRowAtIndexPath(TableView& table, const IndexPath& indexPath) override {
        auto cell = table.dequeueReusableCell("Cell", indexPath);
        cell->textLabel()->setText("Row " + std::to_string(indexPath.row));
        return cell;
    }
    bool shouldPerformSegueWithIdentifier(const std::string& identifier, const AnyObject&) override {
        events.push_back("should " + identifier);
        return allow(identifier);
    }
    void prepareForSegue(StoryboardSegue& segue, const AnyObject& sender) override {
        auto selected = tableView()->indexPathForSelectedRow();
        events.push_back(
            "prepare " + *segue.identifier() + " selected " + (selected ? std::to_string(selected->row) : "none") +
            (sender.as<TableViewCell>() ? " from cell" : "") + (sender.as<BarButtonItem>() ? " from item" : ""));
        segue.destinationViewController()->setTitle("detail of " + std::to_string(selected ? selected->row : -1));
    }
    void didSelectRowAtIndexPath(TableView&, const IndexPath& indexPath) override {
        events.push_back("didSelect " + std::to_string(indexPath.row));
    }
};

// A settings screen of static cells with outlets.
class SettingsController : public TableViewController {
public:
    std::shared_ptr<TableViewCell> diagnosticsCell;
    std::shared_ptr<Switch> soundSwitch;
};

void defineMain(Storyboard& s) {
    s.addNavigationScene("Root", "List");
    s.addScene<ListController>("List", [](ListController& c) {
        c.setView(std::make_shared<TableView>(Rect(0, 0, 390, 844)));
        c.shuffleSwitch = std::make_shared<Switch>();
        c.view()->addSubview(c.shuffleSwitch);
    });
    s.addScene<ViewController>("Detail");
    s.addScene<ViewController>("Options");
    s.addScene<SettingsController>("Settings", [](SettingsController& c) {
        c.setView(std::make_shared<TableView>(Rect(0, 0, 390, 844), TableViewStyle::Grouped));
        auto sound = std::make_shared<TableViewCell>(TableViewCellStyle::Default, std::nullopt);
        sound->textLabel()->setText("Sound");
        c.soundSwitch = std::make_shared<Switch>();
        sound->setAccessoryView(c.soundSwitch);
        c.diagnosticsCell = std::make_shared<TableViewCell>(TableViewCellStyle::Default, std::nullopt);
        c.diagnosticsCell->textLabel()->setText("Diagnostics");
        c.diagnosticsCell->setAccessoryType(TableViewCellAccessoryType::DisclosureIndicator);
        c.diagnosticsCell->setSelectionSegueIdentifier("ShowDiagnostics");
        c.setStaticSections({{"General", {sound}, std::nullopt}, {"Help", {c.diagnosticsCell}, "Version 1"}});
    });
    s.addSegue("List", "ShowDetail", "Detail", StoryboardSegueKind::Push);
    s.addSegue("List", "ShowOptions", "Options", StoryboardSegueKind::Popover);
    s.addSegue("List", "ShowSettings", "Settings", StoryboardSegueKind::FormSheet);
    s.addSegue("Settings", "ShowDiagnostics", "Detail", StoryboardSegueKind::Push);
    s.setInitialScene("Root");
}

}  // namespace

class StoryboardTest : public UITest {
protected:
    void SetUp() override { Storyboard::registerStoryboard("TestMain", defineMain); }
    void TearDown() override {
        Storyboard::unregisterStoryboard("TestMain");
        for (auto& w : Application::shared().windows()) w->setHidden(true);
        UITest::TearDown();
    }

    // The initial scene, the list inside a navigation controller, on screen.
    std::shared_ptr<ListController> showList() {
        storyboard = Storyboard::storyboardWithName("TestMain");
        navigation = std::dynamic_pointer_cast<NavigationController>(storyboard->instantiateInitialViewController());
        EXPECT_NE(nullptr, navigation);
        auto list = std::dynamic_pointer_cast<ListController>(navigation->topViewController());
        EXPECT_EQ(storyboard, list->storyboard());
        window->setRootViewController(navigation);
        window->makeKeyAndVisible();
        drainMainLoop();
        return list;
    }

    std::shared_ptr<Storyboard> storyboard;
    std::shared_ptr<NavigationController> navigation;
    std::shared_ptr<Window> window = std::make_shared<Window>();
};

TEST_F(StoryboardTest, ScenesAreMadeByIdentifierWithTheirOutletsAndStaticCells) {
    storyboard = Storyboard::storyboardWithName("TestMain");
    auto settings = storyboard->instantiate<SettingsController>("Settings");
    ASSERT_NE(nullptr, settings);
    EXPECT_EQ(storyboard, settings->storyboard());
    EXPECT_EQ("Settings", settings->storyboardIdentifier());
    EXPECT_EQ(nullptr, settings->soundSwitch);  // outlets come with the view
    auto table = settings->tableView();
    ASSERT_NE(nullptr, settings->soundSwitch);
    EXPECT_EQ(TableViewStyle::Grouped, table->style());
    table->reloadData();
    EXPECT_EQ(2, table->numberOfSections());
    EXPECT_EQ(settings->diagnosticsCell, table->cellForRowAtIndexPath({1, 0}));
    EXPECT_EQ(settings->soundSwitch.get(), table->cellForRowAtIndexPath({0, 0})->accessoryView().get());
    auto header = std::dynamic_pointer_cast<TableViewHeaderFooterView>(table->headerViewForSection(1));
    ASSERT_NE(nullptr, header);
    EXPECT_EQ("Help", header->textLabel()->text());
    EXPECT_EQ(
        "Version 1",
        std::dynamic_pointer_cast<TableViewHeaderFooterView>(table->footerViewForSection(1))->textLabel()->text());

    // Each instantiation is a new controller; unknown names raise.
    EXPECT_NE(storyboard->instantiateViewControllerWithIdentifier("Detail"),
              storyboard->instantiateViewControllerWithIdentifier("Detail"));
    EXPECT_THROW(storyboard->instantiateViewControllerWithIdentifier("Nope"), NamedException);
    EXPECT_THROW(Storyboard::storyboardWithName("Nope"), NamedException);
}

TEST_F(StoryboardTest, ACellsSegueIsPreparedWhileItsRowIsSelectedBeforeTheDelegateHears) {
    auto list = showList();
    auto table = list->tableView();
    ASSERT_TRUE(UIDriver::tapRow(*table, {0, 1}));
    EXPECT_EQ((std::vector<std::string>{"should ShowDetail", "prepare ShowDetail selected 1 from cell", "didSelect 1"}),
              list->events);
    advance(0.3);
    auto detail = navigation->topViewController();
    EXPECT_EQ("detail of 1", detail->title());
    EXPECT_EQ("Detail", detail->storyboardIdentifier());

    // Coming back clears the selection; a refused segue leaves the list on
    // top but the row selected and the delegate told.
    UIDriver::tapBackButton(*navigation);
    advance(0.3);
    EXPECT_TRUE(table->indexPathsForSelectedRows().empty());
    list->events.clear();
    list->allow = [](const std::string& id) { return id != "ShowDetail"; };
    ASSERT_TRUE(UIDriver::tapRow(*table, {0, 2}));
    EXPECT_EQ((std::vector<std::string>{"should ShowDetail", "didSelect 2"}), list->events);
    advance(0.3);
    EXPECT_EQ(list, navigation->topViewController());
}

TEST_F(StoryboardTest, BarButtonAndCodeSeguesPresentTheirKinds) {
    Device::current().setUserInterfaceIdiom(UserInterfaceIdiom::Pad);
    window->setFrame(Screen::main().bounds());  // 820 x 1180
    auto list = showList();
    // The bar button's segue is refused first, then performed as a popover
    // anchored at the item.
    list->allow = [](const std::string&) { return false; };
    ASSERT_TRUE(UIDriver::tap(*list->optionsItem));
    EXPECT_EQ(nullptr, list->presentedViewController());
    list->allow = [](const std::string&) { return true; };
    ASSERT_TRUE(UIDriver::tap(*list->optionsItem));
    EXPECT_EQ((std::vector<std::string>{"should ShowOptions", "should ShowOptions",
                                        "prepare ShowOptions selected none from item"}),
              list->events);
    auto options = list->presentedViewController();
    ASSERT_NE(nullptr, options);
    EXPECT_EQ(navigation, options->presentingViewController());
    auto popover = options->popoverPresentationController();
    ASSERT_NE(nullptr, popover);
    EXPECT_EQ(list->optionsItem, popover->barButtonItem());
    const Rect anchor = popover->anchorRectInWindow();
    EXPECT_EQ(anchor.maxY(), options->view()->frame().minY());
    EXPECT_EQ((Size{320, 480}), options->view()->frame().size);
    // Once shown, a tap outside dismisses it.
    EXPECT_FALSE(UIDriver::tapOutsidePresentation(*options));
    advance(0.3);
    EXPECT_TRUE(UIDriver::tapOutsidePresentation(*options));
    advance(0.3);
    EXPECT_EQ(nullptr, list->presentedViewController());

    // From code: no should-perform; a form sheet centred on the pad.
    list->events.clear();
    list->performSegueWithIdentifier("ShowSettings", list);
    EXPECT_EQ((std::vector<std::string>{"prepare ShowSettings selected none"}), list->events);
    auto settings = list->presentedViewController();
    ASSERT_NE(nullptr, settings);
    EXPECT_EQ(ModalPresentationStyle::FormSheet, settings->modalPresentationStyle());
    EXPECT_EQ(Rect(140, 280, 540, 620), settings->view()->frame());
    EXPECT_TRUE(list->isVisible());  // a sheet leaves the presenter on screen
    EXPECT_THROW(list->performSegueWithIdentifier("Nope", nullptr), NamedException);
}

TEST_F(StoryboardTest, SheetsAndPopoversFollowTheirDismissalFlagsAndDelegate) {
    struct PresentationLog : PopoverPresentationControllerDelegate {
        std::vector<std::string> events;
        ModalPresentationStyle adaptTo = ModalPresentationStyle::Automatic;
        bool allowDismiss = true;
        ModalPresentationStyle adaptivePresentationStyleForPresentationController(PresentationController&,
                                                                                  const TraitCollection&) override {
            return adaptTo;
        }
        void prepareForPopoverPresentation(PopoverPresentationController&) override { events.push_back("prepare"); }
        bool presentationControllerShouldDismiss(PresentationController&) override {
            events.push_back("should");
            return allowDismiss;
        }
        void presentationControllerWillDismiss(PresentationController&) override { events.push_back("will"); }
        void presentationControllerDidDismiss(PresentationController&) override { events.push_back("did"); }
        void presentationControllerDidAttemptToDismiss(PresentationController&) override {
            events.push_back("attempt");
        }
    };
    auto log = std::make_shared<PresentationLog>();
    auto list = showList();

    // On a phone a popover becomes a sheet unless the delegate keeps it.
    auto sheet = std::make_shared<ViewController>();
    sheet->setModalPresentationStyle(ModalPresentationStyle::Popover);
    auto anchor = std::make_shared<View>(Rect(20, 100, 40, 40));
    list->view()->addSubview(anchor);
    sheet->popoverPresentationController()->setSourceView(anchor);
    sheet->popoverPresentationController()->setDelegate(log);
    list->presentViewController(sheet, false);
    drainMainLoop();
    EXPECT_EQ(window->bounds(), sheet->view()->frame());
    EXPECT_FALSE(UIDriver::tapOutsidePresentation(*sheet));  // a sheet is swiped, not tapped away
    // Modal in presentation: the swipe only tells the delegate.
    sheet->setModalInPresentation(true);
    EXPECT_FALSE(UIDriver::swipeDownPresentation(*sheet));
    EXPECT_EQ((std::vector<std::string>{"prepare", "attempt"}), log->events);
    sheet->setModalInPresentation(false);
    log->events.clear();
    EXPECT_TRUE(UIDriver::swipeDownPresentation(*sheet));
    EXPECT_EQ((std::vector<std::string>{"should", "will"}), log->events);
    advance(0.3);
    EXPECT_EQ((std::vector<std::string>{"should", "will", "did"}), log->events);
    EXPECT_EQ(nullptr, list->presentedViewController());

    // Kept as a popover: preferred size below the anchor, kept inside the window.
    log->events.clear();
    log->adaptTo = ModalPresentationStyle::None;
    auto popover = std::make_shared<ViewController>();
    popover->setModalPresentationStyle(ModalPresentationStyle::Popover);
    popover->setPreferredContentSize({200, 100});
    popover->popoverPresentationController()->setSourceView(anchor);
    popover->popoverPresentationController()->setDelegate(log);
    list->presentViewController(popover, false);
    drainMainLoop();
    // The anchor lies in the table, whose content starts below the navigation bar.
    EXPECT_EQ(Rect(0, 140 + NavigationBar::kHeight, 200, 100), popover->view()->frame());
    EXPECT_FALSE(UIDriver::swipeDownPresentation(*popover));
    log->allowDismiss = false;
    EXPECT_FALSE(UIDriver::tapOutsidePresentation(*popover));
    EXPECT_EQ((std::vector<std::string>{"prepare", "should", "attempt"}), log->events);
    drainMainLoop();
    EXPECT_EQ(popover, list->presentedViewController());

    // A second presentation is refused while one is shown; a popover with no
    // anchor raises.
    auto other = std::make_shared<ViewController>();
    list->presentViewController(other, false);
    EXPECT_EQ(popover, list->presentedViewController());
    popover->dismissViewController(false);
    drainMainLoop();
    other->setModalPresentationStyle(ModalPresentationStyle::Popover);
    EXPECT_THROW(list->presentViewController(other, false), NamedException);
}

TEST_F(StoryboardTest, ChildrenFollowTheirParentsAppearance) {
    auto log = std::make_shared<CallLog>();
    auto parent = std::make_shared<Probe<>>("P", log);
    auto child = std::make_shared<Probe<>>("C", log);
    window->setRootViewController(parent);
    window->makeKeyAndVisible();
    log->take();

    // Added while the parent is on screen: the child appears with its view.
    parent->addChildViewController(child);
    parent->view()->addSubview(child->view());
    child->didMoveToParentViewController(parent.get());
    EXPECT_EQ((Lines{"C.willMove", "C.didLoad", "C.willAppear", "C.didAppear", "C.didMove"}), log->take());
    EXPECT_EQ(parent, child->parentViewController());

    // The parent's own appearance passes to the child, after its own.
    auto cover = std::make_shared<ViewController>();
    cover->setModalPresentationStyle(ModalPresentationStyle::FullScreen);
    parent->presentViewController(cover, false);
    drainMainLoop();
    EXPECT_EQ((Lines{"P.willDisappear", "C.willDisappear", "P.didDisappear", "C.didDisappear"}), log->take());
    cover->dismissViewController(false);
    drainMainLoop();
    EXPECT_EQ((Lines{"P.willAppear", "C.willAppear", "P.didAppear", "C.didAppear"}), log->take());

    // A child presents from its parent; removal goes the other way round.
    EXPECT_EQ(nullptr, child->presentationController());
    child->presentViewController(std::make_shared<ViewController>(), false);
    EXPECT_NE(nullptr, parent->presentedViewController());
    EXPECT_EQ(parent->presentedViewController(), child->presentedViewController());
    parent->dismissViewController(false);
    drainMainLoop();
    log->take();
    child->willMoveToParentViewController(nullptr);
    child->view()->removeFromSuperview();
    child->removeFromParentViewController();
    EXPECT_EQ((Lines{"C.willMove(nil)", "C.willDisappear", "C.didDisappear", "C.didMove(nil)"}), log->take());
    EXPECT_TRUE(parent->childViewControllers().empty());
}
