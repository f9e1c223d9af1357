#pragma once

// Helpers for the ".studydeck" package tests: the hand-made package in
// tests/fixtures/studydeck, packages as in-memory file-wrapper trees, and
// looks at files on disk.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <string>

#include "platform/foundation/FileWrapper.h"
#include "support/TestEnvironment.h"

namespace memorant_test {

// The fixture package: "Biology" with a study card "cell" (ratings, an image),
// a topic "genetics" holding "gene" and "allele" (no statistics).
inline std::string copyBiologyPackage(const TempDir& dir, const std::string& name = "Biology.studydeck") {
    const std::string target = dir.file(name);
    std::filesystem::copy(std::string(MEMORANT_TEST_FIXTURES) + "/studydeck/Biology.studydeck", target,
                          std::filesystem::copy_options::recursive);
    return target;
}

inline std::string readFileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void writeFileText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

inline ino_t inodeOf(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return 0;
    return st.st_ino;
}

// A folder tree from "path" -> contents; a path ending in "/" is an empty folder.
inline std::shared_ptr<FileWrapper> treeFromFiles(const std::map<std::string, std::string>& files) {
    auto root = FileWrapper::directoryWithFileWrappers();
    for (const auto& [path, contents] : files) {
        std::shared_ptr<FileWrapper> folder = root;
        std::string rest = path;
        for (auto slash = rest.find('/'); slash != std::string::npos; slash = rest.find('/')) {
            const std::string name = rest.substr(0, slash);
            rest = rest.substr(slash + 1);
            auto child = folder->fileWrapperNamed(name);
            if (!child) {
                child = FileWrapper::directoryWithFileWrappers();
                child->setPreferredFilename(name);
                folder->addFileWrapper(child);
            }
            folder = child;
        }
        if (!rest.empty()) folder->addRegularFileWithContents(Data(contents.begin(), contents.end()), rest);
    }
    return root;
}

// The text of a file in a tree ("cards/x.card"); "(none)" when it is missing.
inline std::string textAt(const std::shared_ptr<FileWrapper>& root, const std::string& path) {
    std::shared_ptr<FileWrapper> node = root;
    std::string rest = path;
    for (auto slash = rest.find('/'); node && slash != std::string::npos; slash = rest.find('/')) {
        node = node->fileWrapperNamed(rest.substr(0, slash));
        rest = rest.substr(slash + 1);
    }
    if (node) node = node->fileWrapperNamed(rest);
    auto data = node ? node->regularFileContents() : std::nullopt;
    return data ? std::string(data->begin(), data->end()) : "(none)";
}

}  // namespace memorant_test
