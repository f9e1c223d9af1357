#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <mutex>

#include "platform/foundation/Bundle.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/StringUtils.h"
#include "platform/foundation/UserDefaults.h"
#include "support/TestEnvironment.h"

using memorant_test::TempDir;

namespace {

// What reaches the disk, in order, while a test records it: "sync <path>"
// and "rename <new path>". The two calls below stand in for the system's
// own in this program and pass every call on.
std::mutex gDiskEventsMutex;
std::vector<std::string>* gDiskEvents = nullptr;

void recordDiskEvent(const std::string& event) {
    std::lock_guard lock(gDiskEventsMutex);
    if (gDiskEvents) gDiskEvents->push_back(event);
}

}  // namespace

extern "C" int fsync(int fd) {
    char link[64];
    char path[4096];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    ssize_t n = ::readlink(link, path, sizeof path - 1);
    if (n > 0) recordDiskEvent("sync " + std::string(path, static_cast<std::size_t>(n)));
    return static_cast<int>(::syscall(SYS_fsync, fd));
}

// While set, runs just before the rename without replacing (to put a file in
// the way), and, with gNoReplaceUnsupported, answers as a file system that
// cannot rename so.
std::function<void()>* gBeforeRenameNoReplace = nullptr;
bool gNoReplaceUnsupported = false;

extern "C" int renameat2(int fromDir, const char* from, int toDir, const char* to, unsigned int flags) noexcept {
    if ((flags & RENAME_NOREPLACE) && gBeforeRenameNoReplace) {
        (*gBeforeRenameNoReplace)();
        if (gNoReplaceUnsupported) {
            errno = EINVAL;
            return -1;
        }
    }
    return static_cast<int>(::syscall(SYS_renameat2, fromDir, from, toDir, to, flags));
}

extern "C" int rename(const char* from, const char* to) noexcept {
    recordDiskEvent(std::string("rename ") + to);
    return static_cast<int>(::syscall(SYS_renameat, AT_FDCWD, from, AT_FDCWD, to));
}

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

std::string textOf(const std::string& path) {
    auto data = dataWithContentsOfFile(path);
    return data ? std::string(data->begin(), data->end()) : std::string("(none)");
}

// A file that appears at the destination while the move runs (after any
// check a caller made) is neither replaced nor lost, with or without the
// file system's rename that refuses a taken name.
TEST(FileManager, MovingRefusesADestinationThatAppearsInTheMeantime) {
    auto& fm = FileManager::defaultManager();
    for (bool unsupported : {false, true}) {
        SCOPED_TRACE(unsupported ? "hard link, then unlink" : "rename without replacing");
        TempDir dir;
        const std::string from = dir.file("Spanish.flashcards");
        const std::string to = dir.file("French.flashcards");
        ASSERT_TRUE(writeStringAtomically("mine", from));
        std::function<void()> appear = [&] { ASSERT_TRUE(writeStringAtomically("theirs", to)); };
        gBeforeRenameNoReplace = &appear;
        gNoReplaceUnsupported = unsupported;
        Error error;
        const bool moved = fm.moveItemAtPath(from, to, &error);
        gBeforeRenameNoReplace = nullptr;
        gNoReplaceUnsupported = false;
        EXPECT_FALSE(moved);
        EXPECT_EQ(NSFileWriteFileExistsError, error.code());
        EXPECT_EQ("mine", textOf(from));
        EXPECT_EQ("theirs", textOf(to));

        // With the way free the move goes through, by either path.
        std::function<void()> nothing = [] {};
        gBeforeRenameNoReplace = &nothing;
        gNoReplaceUnsupported = unsupported;
        const bool movedElsewhere = fm.moveItemAtPath(from, dir.file("German.flashcards"), &error);
        gBeforeRenameNoReplace = nullptr;
        gNoReplaceUnsupported = false;
        EXPECT_TRUE(movedElsewhere);
        EXPECT_FALSE(fm.fileExistsAtPath(from));
        EXPECT_EQ("mine", textOf(dir.file("German.flashcards")));
    }
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

TEST(FileManager, ReplacingKeepsNamesOfAnyLengthAndThePermissions) {
    TempDir dir;
    auto& fm = FileManager::defaultManager();
    // A name as long as the file system allows can be written and replaced:
    // the temporary item beside it has a short name of its own.
    const std::string longName = std::string(251, 'n') + ".png";
    ASSERT_TRUE(writeStringAtomically("one", dir.file(longName)));
    ASSERT_TRUE(writeStringAtomically("two", dir.file(longName)));
    EXPECT_EQ("two", stringFromData(*dataWithContentsOfFile(dir.file(longName))));
    EXPECT_LT(lastPathComponent(temporaryPathBeside(dir.file(longName))).size(), 64u);

    // Read-only and private files stay so when replaced, by either way.
    struct Case {
        const char* label;
        mode_t mode;
        bool atomicWrite;
    } cases[] = {{"read-only, replaced", 0444, false}, {"private, replaced", 0600, false},
                 {"read-only, written", 0444, true}, {"private, written", 0600, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        const std::string path = dir.file("deck.flashcards");
        fm.removeItemAtPath(path);
        ASSERT_TRUE(writeStringAtomically("old", path));
        ASSERT_EQ(0, ::chmod(path.c_str(), c.mode));
        if (c.atomicWrite) {
            ASSERT_TRUE(writeStringAtomically("new", path));
        } else {
            const std::string beside = temporaryPathBeside(path, ".saving-");
            ASSERT_TRUE(writeStringAtomically("new", beside));
            ::chmod(beside.c_str(), 0644);
            ASSERT_TRUE(fm.replaceItemAtPath(path, beside));
        }
        EXPECT_EQ("new", stringFromData(*dataWithContentsOfFile(path)));
        EXPECT_EQ(c.mode, fm.attributesOfItemAtPath(path)->posixPermissions);
    }
    EXPECT_EQ(2u, fm.contentsOfDirectoryAtPath(dir.str())->size());
}

TEST(FileManager, ReplacingSyncsTheNewBytesBeforeAndTheFolderAfterTheRename) {
    // A power loss at any moment leaves the old file or the new one, whole.
    TempDir dir;
    const std::string real = std::filesystem::canonical(dir.path()).string();
    const std::string path = real + "/deck.flashcards";
    ASSERT_TRUE(writeStringAtomically("old", path));
    const std::string beside = temporaryPathBeside(path, ".saving-");
    ASSERT_TRUE(writeStringAtomically("new", beside));

    std::vector<std::string> events;
    {
        std::lock_guard lock(gDiskEventsMutex);
        gDiskEvents = &events;
    }
    const bool replaced = FileManager::defaultManager().replaceItemAtPath(path, beside);
    ASSERT_TRUE(writeStringAtomically("newer", path));
    {
        std::lock_guard lock(gDiskEventsMutex);
        gDiskEvents = nullptr;
    }
    ASSERT_TRUE(replaced);
    ASSERT_EQ(events.size(), 6u);
    EXPECT_EQ(events[0], "sync " + beside);
    EXPECT_EQ(events[1], "rename " + path);
    EXPECT_EQ(events[2], "sync " + real);
    // Writing atomically syncs the same way around its own rename.
    EXPECT_EQ(events[3].rfind("sync " + real + "/.tmp-", 0), 0u) << events[3];
    EXPECT_EQ(events[4], "rename " + path);
    EXPECT_EQ(events[5], "sync " + real);
}

TEST(UserDefaults, RegisteredDefaultsStoredValuesAndPersistence) {
    TempDir dir;
    std::string path = dir.file("prefs.plist");
    {
        UserDefaults d(path);
        d.registerDefaults(Value::dictionary({{"FCShuffleCards", false}, {"count", 5}}));
        EXPECT_EQ(5, d.integerForKey("count"));
        EXPECT_TRUE(d.hasValueForKey("count"));  // registered
        EXPECT_FALSE(d.hasValueForKey("name"));
        d.setInteger(7, "count");
        d.setObject(Value(Date(99)), "FIFirstLaunchDate");
        d.setString("x", "name");
        EXPECT_TRUE(d.hasValueForKey("name"));
        d.removeObjectForKey("name");
        EXPECT_FALSE(d.hasValueForKey("name"));
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
