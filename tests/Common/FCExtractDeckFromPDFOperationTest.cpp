#include <gtest/gtest.h>

#include "Common/FCExtractDeckFromPDFOperation.h"
#include "Common/LegacyPackageTestSupport.h"
#include "Common/ZipTestSupport.h"
#include "platform/foundation/FileManager.h"

using namespace memorant_test;
namespace fs = std::filesystem;

namespace {

// An extractor standing in for the PDF reader: it hands out the prepared zip.
FCExtractDeckFromPDFOperation::EmbeddedFileExtractor handingOut(const std::string& zipPath) {
    return [zipPath](const URL&, const URL& output, Error* error) {
        return FileManager::defaultManager().copyItemAtPath(zipPath, output.path(), error);
    };
}

const std::vector<TestZipEntry> kDeckEntries = {
    {"Chem.studydeck/version", "1"}, {"Chem.studydeck/title", "Chemistry"}, {"Chem.studydeck/cards/a.card", "{}"}};

}  // namespace

TEST(FCExtractDeckFromPDFOperation, UnpacksTheEmbeddedZipAndReturnsThePackage) {
    TempDir dir;
    const std::string zip = dir.file("deck.zip");
    writeTestZip(zip, kDeckEntries);
    const std::string work = dir.file("work");
    fs::create_directory(work);

    FCExtractDeckFromPDFOperation operation(handingOut(zip));
    Error error;
    auto package =
        operation.extractDeckDocumentEmbeddedInPDFatPath(dir.file("in.pdf"), URL::fileURLWithPath(work, true), &error);
    ASSERT_TRUE(package) << error.description();
    EXPECT_FALSE(error);
    EXPECT_EQ(package->lastPathComponent(), "Chem.studydeck");
    EXPECT_EQ(package->path().rfind(work + "/", 0), 0u) << package->path();
    EXPECT_EQ(readFileText(package->path() + "/title"), "Chemistry");
    EXPECT_TRUE(fs::exists(work + "/extracted.zip"));
}

TEST(FCExtractDeckFromPDFOperation, FailsWhenNoPackageComesOutOfTheZip) {
    struct Case {
        const char* what;
        std::vector<TestZipEntry> entries;  // empty: the zip is garbage
    };
    const std::vector<Case> cases = {
        {"corrupt zip", {}},
        {"only a current-format deck", {{"Chem.flashcards", "zip bytes"}}},
        {"a plain file with the package extension", {{"Chem.studydeck", "not a folder"}}},
        {"an entry leading out of the folder", {{"../Evil.studydeck/version", "1"}}},
        {"a damaged entry", {{"Chem.studydeck/title", "Chemistry", 0, 0, 0, 0x1234u}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        const std::string zip = dir.file("deck.zip");
        if (c.entries.empty())
            writeFileText(zip, "PK\x03\x04 this is no archive");
        else
            writeTestZip(zip, c.entries);
        const std::string work = dir.file("work");
        fs::create_directories(work);
        // A package left by an earlier run must not pass for this one's.
        fs::create_directories(work + "/Old.studydeck");

        FCExtractDeckFromPDFOperation operation(handingOut(zip));
        Error error;
        EXPECT_FALSE(operation.extractDeckDocumentEmbeddedInPDFatPath(dir.file("in.pdf"),
                                                                      URL::fileURLWithPath(work, true), &error));
        EXPECT_EQ(error.domain(), "FCExtractDeckFromPDFOperation");
        EXPECT_EQ(error.code(), -1);
        EXPECT_EQ(error.localizedDescription(), "Document could not be extracted from ZIP file.");
        EXPECT_FALSE(fs::exists(dir.file("Evil.studydeck")));
    }
}

TEST(FCExtractDeckFromPDFOperation, PassesOnTheErrorOfThePDFReader) {
    TempDir dir;
    const Error pdfError("FCPDFAttachmentController", -1,
                         Value::dictionary({{NSLocalizedDescriptionKey, "PDF file could not be opened"}}));
    std::string askedPDF;
    std::string askedOutput;
    FCExtractDeckFromPDFOperation operation([&](const URL& pdf, const URL& output, Error* error) {
        askedPDF = pdf.path();
        askedOutput = output.path();
        Error::set(error, pdfError);
        return false;
    });
    Error error;
    EXPECT_FALSE(operation.extractDeckDocumentEmbeddedInPDFatPath(dir.file("in.pdf"),
                                                                  URL::fileURLWithPath(dir.str(), true), &error));
    EXPECT_EQ(error, pdfError);
    EXPECT_EQ(askedPDF, dir.file("in.pdf"));
    EXPECT_EQ(askedOutput, dir.file("extracted.zip"));
}
