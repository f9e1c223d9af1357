#include "support/TestEnvironment.h"

#include <cstdlib>
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
}

void Environment::TearDown() {
    delete gRoot;
    gRoot = nullptr;
}

}  // namespace memorant_test
