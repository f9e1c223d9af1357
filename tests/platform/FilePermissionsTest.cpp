#include <gtest/gtest.h>

#include <sys/stat.h>

#include "platform/foundation/FileManager.h"
#include "support/TestEnvironment.h"

using memorant_test::TempDir;

TEST(FilePermissions, SetPermissionsAreReadBackThroughTheAttributes) {
    TempDir dir;
    auto& fm = FileManager::defaultManager();
    const std::string path = dir.file("deck.memorant");
    ASSERT_TRUE(fm.createFileAtPath(path, Data{'x'}));

    for (std::uint32_t permissions : {0444u, 0644u, 0600u, 04755u}) {
        Error error;
        ASSERT_TRUE(fm.setPosixPermissions(path, permissions, &error)) << error.description();
        auto attributes = fm.attributesOfItemAtPath(path);
        ASSERT_TRUE(attributes);
        EXPECT_EQ(permissions, attributes->posixPermissions) << std::oct << permissions;
        EXPECT_EQ(FileAttributes::Type::Regular, attributes->type);
    }
    // Bits beyond the permissions do not turn the file into something else.
    ASSERT_TRUE(fm.setPosixPermissions(path, S_IFDIR | 0640));
    EXPECT_EQ(0640u, fm.attributesOfItemAtPath(path)->posixPermissions);
    EXPECT_EQ(FileAttributes::Type::Regular, fm.attributesOfItemAtPath(path)->type);
    EXPECT_TRUE(fm.isWritableFileAtPath(path));
}

TEST(FilePermissions, AMissingItemFailsWithTheFileErrorAndIsNotWritable) {
    TempDir dir;
    auto& fm = FileManager::defaultManager();
    const std::string path = dir.file("gone.memorant");
    Error error;
    EXPECT_FALSE(fm.setPosixPermissions(path, 0644, &error));
    EXPECT_EQ(NSCocoaErrorDomain, error.domain());
    EXPECT_EQ(NSFileNoSuchFileError, error.code());
    ASSERT_TRUE(error.underlyingError());
    EXPECT_EQ(ENOENT, error.underlyingError()->code());
    EXPECT_FALSE(fm.isWritableFileAtPath(path));
    EXPECT_FALSE(fm.isWritableFileAtPath(""));
}
