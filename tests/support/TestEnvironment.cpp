#include "support/TestEnvironment.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>

namespace memorant_test {

TempDir::TempDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "memorant-test-XXXXXX").string();
    if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
    path_ = tmpl;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

namespace {
TempDir* gRoot = nullptr;
}

void Environment::SetUp() {
    gRoot = new TempDir;
    setenv("MEMORANT_HOME", gRoot->str().c_str(), 1);
    // The pickers' folders: an empty documents folder, no photo library,
    // whatever the user running the tests keeps in theirs.
    const std::string documents = gRoot->str() + "/UserDocuments";
    std::filesystem::create_directories(documents);
    setenv("XDG_DOCUMENTS_DIR", documents.c_str(), 1);
    setenv("XDG_PICTURES_DIR", (gRoot->str() + "/NoPictures").c_str(), 1);
}

void Environment::TearDown() {
    delete gRoot;
    gRoot = nullptr;
}

::testing::AssertionResult replaceWithAFileOnTheFreedInode(const std::string& path, const std::string& contents) {
    struct stat removed;
    if (::stat(path.c_str(), &removed) != 0 || std::remove(path.c_str()) != 0)
        return ::testing::AssertionFailure() << "cannot remove " << path;
    std::string candidate;
    for (int attempt = 0; attempt < 64; ++attempt) {
        candidate = path + ".candidate-" + std::to_string(attempt);
        std::ofstream(candidate) << contents;
        struct stat made;
        if (::stat(candidate.c_str(), &made) != 0) return ::testing::AssertionFailure() << "cannot make " << candidate;
        if (made.st_ino == removed.st_ino) break;
    }
    if (std::rename(candidate.c_str(), path.c_str()) != 0)
        return ::testing::AssertionFailure() << "cannot rename " << candidate;
    return ::testing::AssertionSuccess();
}

}  // namespace memorant_test
