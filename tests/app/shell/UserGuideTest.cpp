#include <gtest/gtest.h>

#include "app/shell/UserGuideTableViewController.h"
#include "app/views/FIHelpContentViewController.h"
#include "model/TWLogger.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/PropertyList.h"
#include "platform/foundation/StringUtils.h"
#include "platform/ui/Label.h"
#include "platform/ui/NavigationBar.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/Storyboard.h"
#include "platform/ui/TableViewCell.h"
#include "platform/ui/UIDriver.h"
#include "platform/ui/UITestFixture.h"
#include "platform/ui/Window.h"
#include "platform/web/WebView.h"
#include "support/TestEnvironment.h"

namespace {

using memorant_test::drainMainLoop;
using Entry = UserGuideTableViewController::EntryType;

class UserGuideTest : public memorant_test::UITest {
protected:
    void SetUp() override { savedBacklog = TWLogger::sharedInstance().messageBacklog(); }
    void TearDown() override {
        TWLogger::sharedInstance().setMessageBacklog(savedBacklog);
        window->setHidden(true);
        UITest::TearDown();
    }
    URL writeContents(const Value& contents) {
        const std::string path = dir.file("HelpContents.plist");
        writeDataAtomically(*PropertyList::dataFromValue(contents, PropertyList::Format::XML), path);
        return URL::fileURLWithPath(path);
    }
    std::shared_ptr<UserGuideTableViewController> show(const URL& contents) {
        auto guide = Storyboard::storyboardWithName("Main")->instantiate<UserGuideTableViewController>(
            UserGuideTableViewController::kSceneIdentifier);
        guide->loadEntries(contents);
        navigation = std::make_shared<NavigationController>(guide);
        window->setRootViewController(navigation);
        window->makeKeyAndVisible();
        drainMainLoop();
        return guide;
    }
    int warnings() const {
        int n = 0;
        for (const auto& line : TWLogger::sharedInstance().messageBacklog())
            if (line.find(" WARN| Help contents: ") != std::string::npos) ++n;
        return n;
    }

    memorant_test::TempDir dir;
    std::shared_ptr<NavigationController> navigation;
    std::shared_ptr<Window> window = std::make_shared<Window>();
    std::vector<std::string> savedBacklog;
};

TEST_F(UserGuideTest, TopicsAndPagesAreOrderedByTheirHiddenPrefix) {
    TWLogger::sharedInstance().setMessageBacklog({});
    auto entries = UserGuideTableViewController::entriesFromContents(Value::dictionary({
        {"02. Alpha", Value::dictionary({{"b-> Second", "b.html"}, {"a-> First", "a.html"}})},
        {"01. Zulu", Value::dictionary({{"01. Only", "z.html"}})},
        {"10. Ümlaut", Value::dictionary()},
        // Entries that break the rule of the file are skipped, with a warning each.
        {"03", Value::dictionary({{"01. Lost", "lost.html"}})},
        {"04. Not a topic", "x.html"},
        {"05. Pages", Value::dictionary({{"xy", "short.html"}, {"02. Number", 7}, {"03. Kept", "kept.html"}})},
    }));
    ASSERT_TRUE(entries);
    const std::vector<Entry> expected{
        Entry::topic("Zulu", {Entry::page("Only", "z.html")}),
        Entry::topic("Alpha", {Entry::page("First", "a.html"), Entry::page("Second", "b.html")}),
        Entry::topic("Pages", {Entry::page("Kept", "kept.html")}),
        Entry::topic("Ümlaut", {}),
    };
    EXPECT_EQ(expected, *entries);
    EXPECT_EQ(4, warnings());
    EXPECT_FALSE(UserGuideTableViewController::entriesFromContents(Value::array({"a"})));
}

TEST_F(UserGuideTest, TheShippedHelpContentsKeepTheKeyRuleAndNameShippedPages) {
    auto path = Bundle::main().pathForResource("HelpContents", "plist");
    ASSERT_TRUE(path);
    auto contents = PropertyList::valueFromData(*dataWithContentsOfFile(*path));
    ASSERT_TRUE(contents && contents->isDictionary());
    std::size_t pages = 0;
    for (const auto& [topicKey, topic] : *contents->asDictionary()) {
        SCOPED_TRACE(topicKey);
        EXPECT_GE(utf16Length(topicKey), UserGuideTableViewController::kKeyPrefixLength);
        ASSERT_TRUE(topic.isDictionary());
        EXPECT_GT(topic.count(), 0u);
        for (const auto& [pageKey, page] : *topic.asDictionary()) {
            SCOPED_TRACE(pageKey);
            EXPECT_GE(utf16Length(pageKey), UserGuideTableViewController::kKeyPrefixLength);
            ASSERT_TRUE(page.isString());
            EXPECT_TRUE(Bundle::main().pathForResource(stringByDeletingPathExtension(*page.asString()),
                                                       pathExtension(*page.asString())))
                << "the page ships with the app";
            ++pages;
        }
    }
    TWLogger::sharedInstance().setMessageBacklog({});
    auto entries = UserGuideTableViewController::entriesFromContents(*contents);
    ASSERT_TRUE(entries);
    EXPECT_EQ(contents->count(), entries->size());
    std::size_t loaded = 0;
    for (const auto& topic : *entries) loaded += topic.pages().size();
    EXPECT_EQ(pages, loaded);
    EXPECT_EQ(0, warnings());
}

TEST_F(UserGuideTest, ATopicListsItsPagesAndAPageOpensTheHelpViewer) {
    auto guide = show(writeContents(Value::dictionary({
        {"01. Studying", Value::dictionary({{"01. Rating", "help-studying.html"},
                                            {"02. Boxes", "help-repetition.html"},
                                            {"03. Tests", "help-tests.html"}})},
    })));
    auto table = guide->tableView();
    ASSERT_EQ(1, table->numberOfSections());
    ASSERT_EQ(1, table->numberOfRowsInSection(0));
    auto topicCell = table->cellForRowAtIndexPath({0, 0});
    EXPECT_EQ(UserGuideTableViewController::kTopicCellIdentifier, topicCell->reuseIdentifier());
    EXPECT_EQ("Studying", topicCell->textLabel()->text());
    EXPECT_EQ("3", topicCell->detailTextLabel()->text());

    ASSERT_TRUE(UIDriver::tapRow(*table, {0, 0}));
    advance(1);
    auto pages = std::dynamic_pointer_cast<UserGuideTableViewController>(navigation->topViewController());
    ASSERT_NE(nullptr, pages);
    ASSERT_NE(guide, pages);
    EXPECT_EQ("Studying", pages->navigationItem().title());
    ASSERT_EQ(3u, pages->entries().size());
    auto pageCell = pages->tableView()->cellForRowAtIndexPath({0, 1});
    EXPECT_EQ(UserGuideTableViewController::kPageCellIdentifier, pageCell->reuseIdentifier());
    EXPECT_EQ("Boxes", pageCell->textLabel()->text());

    ASSERT_TRUE(UIDriver::tapRow(*pages->tableView(), {0, 1}));
    advance(1);
    auto help = std::dynamic_pointer_cast<FIHelpContentViewController>(navigation->topViewController());
    ASSERT_NE(nullptr, help);
    EXPECT_EQ("Boxes", help->navigationItem().title());
    EXPECT_EQ("help-repetition.html", help->helpContentFilename());
    help->view();
    ASSERT_TRUE(help->webView()->url());
    EXPECT_EQ("help-repetition.html", lastPathComponent(help->webView()->url()->path()));

    // A segue without a selected row is a fault of the layout.
    StoryboardSegue segue("ShowPageSegue", guide, std::make_shared<FIHelpContentViewController>());
    EXPECT_THROW(guide->prepareForSegue(segue, {}), FCInternalException);
}

TEST_F(UserGuideTest, AnUnreadableContentsFileLeavesTheListEmpty) {
    auto guide = show(URL::fileURLWithPath(dir.file("missing.plist")));
    EXPECT_TRUE(guide->entries().empty());
    EXPECT_EQ(0, guide->tableView()->numberOfRowsInSection(0));
    ASSERT_TRUE(writeStringAtomically("not a property list", dir.file("broken.plist")));
    guide->loadEntries(URL::fileURLWithPath(dir.file("broken.plist")));
    EXPECT_TRUE(guide->entries().empty());
}

}  // namespace
