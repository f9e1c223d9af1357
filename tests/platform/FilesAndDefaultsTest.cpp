#include <gtest/gtest.h>

#include <sys/stat.h>

#include "platform/foundation/Bundle.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/UserDefaults.h"
#include "support/TestEnvironment.h"

using memorant_test::TempDir;

TEST(FileManager, AtomicWriteReplacesWholeFileAndFailsCleanly) {
    TempDir dir;
    std::string path = dir.file("a.txt");
    ASSERT_TRUE(writeStringAtomically("first", path));
    ASSERT_TRUE(writeStringAtomically("second", path));
    EXPECT_EQ("second", stringFromData(*dataWithContentsOfFile(path)));
    EXPECT_EQ(std::vector<std::string>{"a.txt"}, *FileManager::defaultManager().contentsOfDirectoryAtPath(dir.str()));

    Error error;
    EXPECT_FALSE(writeStringAtomically("x", dir.file("no/such/folder/b.txt"), &error));
    EXPECT_EQ(NSFileNoSuchFileError, error.code());
    EXPECT_FALSE(dataWithContentsOfFile(dir.file("missing"), &error));
    EXPECT_EQ(NSFileReadNoSuchFileError, error.code());
    EXPECT_EQ(ENOENT, error.underlyingError()->code());
}

TEST(FileManager, MoveCopyRemoveAndAttributes) {
    TempDir dir;
    auto& fm = FileManager::defaultManager();
    ASSERT_TRUE(fm.createDirectoryAtPath(dir.file("d/e"), true));
    ASSERT_TRUE(writeStringAtomically("12345", dir.file("d/e/f")));
    ASSERT_TRUE(fm.copyItemAtPath(dir.file("d"), dir.file("copy")));
    Error error;
    EXPECT_FALSE(fm.moveItemAtPath(dir.file("d"), dir.file("copy"), &error));
    EXPECT_EQ(NSFileWriteFileExistsError, error.code());
    ASSERT_TRUE(fm.moveItemAtPath(dir.file("d"), dir.file("moved")));
    auto attrs = fm.attributesOfItemAtPath(dir.file("moved/e/f"));
    ASSERT_TRUE(attrs);
    EXPECT_EQ(5u, attrs->size);
    EXPECT_EQ(FileAttributes::Type::Regular, attrs->type);
    ASSERT_TRUE(fm.setModificationDate(dir.file("moved/e/f"), Date(1000.5)));
    EXPECT_DOUBLE_EQ(1000.5, fm.attributesOfItemAtPath(dir.file("moved/e/f"))->modificationDate.timeIntervalSinceReferenceDate());
    EXPECT_TRUE(fm.removeItemAtPath(dir.file("moved")));
    EXPECT_FALSE(fm.fileExistsAtPath(dir.file("moved")));
    EXPECT_FALSE(fm.removeItemAtPath(dir.file("moved"), &error));
}

TEST(FileManager, ReplaceSwapsAFolderOverAFullFolder) {
    TempDir dir;
    auto& fm = FileManager::defaultManager();
    ASSERT_TRUE(fm.createDirectoryAtPath(dir.file("old"), true));
    ASSERT_TRUE(writeStringAtomically("old", dir.file("old/a")));
    ASSERT_TRUE(fm.createDirectoryAtPath(dir.file("new"), true));
    ASSERT_TRUE(writeStringAtomically("new", dir.file("new/b")));
    ASSERT_TRUE(fm.replaceItemAtPath(dir.file("old"), dir.file("new")));
    EXPECT_EQ(std::vector<std::string>{"b"}, *fm.contentsOfDirectoryAtPath(dir.file("old")));
    EXPECT_FALSE(fm.fileExistsAtPath(dir.file("new")));
}

TEST(UserDefaults, RegisteredDefaultsStoredValuesAndPersistence) {
    TempDir dir;
    std::string path = dir.file("prefs.plist");
    {
        UserDefaults d(path);
        d.registerDefaults(Value::dictionary({{"FCShuffleCards", false}, {"count", 5}}));
        EXPECT_EQ(5, d.integerForKey("count"));
        d.setInteger(7, "count");
        d.setObject(Value(Date(99)), "FIFirstLaunchDate");
        d.setString("x", "name");
        d.removeObjectForKey("name");
        EXPECT_EQ(7, d.integerForKey("count"));
        EXPECT_FALSE(d.stringForKey("name"));
        ASSERT_TRUE(d.synchronize());
    }
    UserDefaults again(path);
    EXPECT_EQ(7, again.integerForKey("count"));
    EXPECT_EQ(Date(99), again.dateForKey("FIFirstLaunchDate"));
    EXPECT_TRUE(again.objectForKey("FCShuffleCards").isNull());  // registered defaults are not stored
}

TEST(Bundle, StringsTablesAndInfoDictionary) {
    auto table = Bundle::parseStringsTable(
        "/* comment */\n\"Title\" = \"Deck \\\"One\\\"\";\n// line comment\n"
        "\"Multi\" = \"a\\nb\\U00e9\";\nBare = \"yes\";\n\"Broken\" = ");
    EXPECT_EQ("Deck \"One\"", table["Title"]);
    EXPECT_EQ("a\nb\u00e9", table["Multi"]);
    EXPECT_EQ("yes", table["Bare"]);
    EXPECT_EQ(0u, table.count("Broken"));

    TempDir dir;
    FileManager::defaultManager().createDirectoryAtPath(dir.file("en.lproj"), true);
    writeStringAtomically("\"Hello\" = \"Hallo\";", dir.file("en.lproj/FCDeckView.strings"));
    Bundle bundle(dir.str());
    EXPECT_EQ("Hallo", bundle.localizedString("Hello", "", "FCDeckView"));
    EXPECT_EQ("Fallback", bundle.localizedString("Missing", "Fallback", "FCDeckView"));
    EXPECT_EQ("Missing", bundle.localizedString("Missing", "", "FCDeckView"));
    EXPECT_TRUE(bundle.infoDictionary().isDictionary());
    EXPECT_EQ("org.memorant.Memorant", Bundle::main().bundleIdentifier());
}
