#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace memorant_test {

// A fresh temporary folder, removed with the object.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::string str() const { return path_.string(); }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

// Removes the file at the path and makes another there (in the same folder),
// on the inode the removed one freed where the file system hands it out again
// within a few tries (it mostly does at once).
::testing::AssertionResult replaceWithAFileOnTheFreedInode(const std::string& path, const std::string& contents);

// Process-wide set-up for every test program: the app's folders and user
// defaults live in a temporary root so tests never touch a real user's data.
class Environment : public ::testing::Environment {
public:
    void SetUp() override;
    void TearDown() override;
};

}  // namespace memorant_test
