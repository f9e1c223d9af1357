#include <gtest/gtest.h>

#include "Common/FCCDeckDocumentPersistence.h"
#include "Common/FCExtractDeckFromPDFOperation.h"
#include "Common/FIDeckDocumentFileWrapper.h"
#include "Common/LegacyPackageTestSupport.h"
#include "Common/SSZipArchive.h"
#include "app/shell/FCPDFAttachmentController.h"
#include "app/shell/PDFTestSupport.h"
#include "model/FCDeck.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/Format.h"

using namespace memorant_test;
namespace fs = std::filesystem;

namespace {

std::string embeddedBlock(const std::string& payload, std::size_t startxref) {
    return stringWithFormat("65535 0 obj\n<< /Type /EmbeddedFile /Length %ld >>\nstream\n",
                            static_cast<long>(payload.size())) +
           payload + "\nendstream\nendobj\n" + stringWithFormat("startxref\n%ld\n%%EOF", static_cast<long>(startxref));
}

URL fileURL(const std::string& path) {
    return URL::fileURLWithPath(path);
}

bool endsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

void expectControllerError(const Error& error, const std::string& text) {
    EXPECT_EQ(error.domain(), "FCPDFAttachmentController");
    EXPECT_EQ(error.code(), -1);
    EXPECT_EQ(error.localizedDescription(), text);
}

}  // namespace

TEST(FCPDFAttachmentController, EmbedsAFileAfterThePDFAndExtractsItsExactBytes) {
    TempDir dir;
    const SmallPDF pdf = makeSmallPDF();
    writeFileText(dir.file("in.pdf"), pdf.bytes);
    // Every byte value, line ends of both kinds and a line that looks like
    // the object header.
    std::string payload;
    for (int i = 0; i < 256; ++i) payload += static_cast<char>(i);
    payload += "\r\n65535 0 obj\nstream\n\n";
    writeFileText(dir.file("deck.zip"), payload);

    FCPDFAttachmentController controller;
    Error error;
    ASSERT_TRUE(controller.attachFileAtURL(fileURL(dir.file("deck.zip")), fileURL(dir.file("in.pdf")),
                                           fileURL(dir.file("out.pdf")), &error))
        << error.description();
    EXPECT_EQ(readFileText(dir.file("out.pdf")), pdf.bytes + embeddedBlock(payload, pdf.startxref));
    EXPECT_EQ(readFileText(dir.file("in.pdf")), pdf.bytes);

    // An older file at the output is replaced.
    writeFileText(dir.file("extracted.zip"), "old");
    ASSERT_TRUE(
        controller.extractFileFromPDFatURL(fileURL(dir.file("out.pdf")), fileURL(dir.file("extracted.zip")), &error))
        << error.description();
    EXPECT_FALSE(error);
    EXPECT_EQ(readFileText(dir.file("extracted.zip")), payload);
}

TEST(FCPDFAttachmentController, TheTrailerRepeatsTheLastStartxrefAndTheFirstObjectIsExtracted) {
    TempDir dir;
    SmallPDF pdf = makeSmallPDF();
    // An incremental update: a second table and trailer after the first.
    const std::size_t update = pdf.bytes.size();
    pdf.bytes += stringWithFormat(
        "xref\n0 1\n0000000000 65535 f \ntrailer\n<< /Size 4 /Root 1 0 R /Prev %ld >>\n"
        "startxref\r\n%ld\r\n%%%%EOF\r\n",
        static_cast<long>(pdf.startxref), static_cast<long>(update));
    writeFileText(dir.file("in.pdf"), pdf.bytes);
    writeFileText(dir.file("first"), "first file");
    writeFileText(dir.file("second"), "second file");

    FCPDFAttachmentController controller;
    Error error;
    ASSERT_TRUE(controller.attachFileAtURL(fileURL(dir.file("first")), fileURL(dir.file("in.pdf")),
                                           fileURL(dir.file("once.pdf")), &error))
        << error.description();
    EXPECT_TRUE(endsWith(readFileText(dir.file("once.pdf")),
                         stringWithFormat("startxref\n%ld\n%%EOF", static_cast<long>(update))));
    // Embedding again appends a second object pointing to the same table.
    ASSERT_TRUE(controller.attachFileAtURL(fileURL(dir.file("second")), fileURL(dir.file("once.pdf")),
                                           fileURL(dir.file("twice.pdf")), &error))
        << error.description();
    EXPECT_EQ(readFileText(dir.file("twice.pdf")),
              pdf.bytes + embeddedBlock("first file", update) + embeddedBlock("second file", update));

    ASSERT_TRUE(controller.extractFileFromPDFatURL(fileURL(dir.file("twice.pdf")), fileURL(dir.file("out")), &error));
    EXPECT_EQ(readFileText(dir.file("out")), "first file");
}

TEST(FCPDFAttachmentController, BrokenPDFsAreRefusedWithTheirTexts) {
    const std::string pdf = makeSmallPDF().bytes;
    const std::string header = "65535 0 obj\n";
    struct Case {
        const char* what;
        std::optional<std::string> contents;  // nullopt: no file at all
        std::string text;
    };
    const std::string invalidLength = "Invalid/zero length of embedded object.";
    const std::string noObject = "No object description found for embedded document.";
    const std::vector<Case> cases = {
        {"no file", std::nullopt, "PDF file could not be opened"},
        {"no embedded object", pdf, noObject},
        {"empty file", "", noObject},
        {"header on the last line", pdf + header, noObject},
        {"length zero", pdf + header + "<< /Type /EmbeddedFile /Length 0 >>\nstream\n\nendstream\n", invalidLength},
        {"no length", pdf + header + "<< /Type /EmbeddedFile >>\nstream\nabc\nendstream\n", invalidLength},
        {"length not a number", pdf + header + "<< /Length abc >>\nstream\nabc\n", invalidLength},
        {"negative length", pdf + header + "<< /Length -3 >>\nstream\nabc\n", invalidLength},
        {"length beyond the file", pdf + header + "<< /Length 99999999 >>\nstream\nabc\n", invalidLength},
        // Smaller than the file, larger than what follows the "stream" line.
        {"short object", pdf + header + "<< /Length 200 >>\nstream\nabc\n", invalidLength},
        {"no stream line", pdf + header + "<< /Length 3 >>", invalidLength},
    };
    FCPDFAttachmentController controller;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        if (c.contents) writeFileText(dir.file("in.pdf"), *c.contents);
        Error error;
        EXPECT_FALSE(
            controller.extractFileFromPDFatURL(fileURL(dir.file("in.pdf")), fileURL(dir.file("out.zip")), &error));
        expectControllerError(error, c.text);
        // Nothing half written is left behind.
        EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), c.contents ? 1 : 0);
    }
}

TEST(FCPDFAttachmentController, EmbeddingRefusesAPDFWithoutAUsableStartxref) {
    const SmallPDF good = makeSmallPDF();
    const std::string body = good.bytes.substr(0, good.bytes.find("startxref"));
    struct Case {
        const char* what;
        std::optional<std::string> pdf;
        std::string text;
    };
    const std::string noOffset = "No valid cross-reference offset (startxref) found in PDF file.";
    const std::vector<Case> cases = {
        {"no file", std::nullopt, "PDF file could not be opened"},
        {"no startxref", body + "%%EOF\n", noOffset},
        {"startxref on the last line", body + "startxref", noOffset},
        {"value -1", body + "startxref\n-1\n%%EOF\n", noOffset},
        {"value not a number", body + "startxref\nabc\n%%EOF\n", noOffset},
        {"value zero", body + "startxref\n0\n%%EOF\n", noOffset},
        {"value beyond the file", body + "startxref\n99999\n%%EOF\n", noOffset},
    };
    FCPDFAttachmentController controller;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        if (c.pdf) writeFileText(dir.file("in.pdf"), *c.pdf);
        writeFileText(dir.file("deck.zip"), "zip");
        writeFileText(dir.file("out.pdf"), "older output");
        Error error;
        EXPECT_FALSE(controller.attachFileAtURL(fileURL(dir.file("deck.zip")), fileURL(dir.file("in.pdf")),
                                                fileURL(dir.file("out.pdf")), &error));
        expectControllerError(error, c.text);
        EXPECT_EQ(readFileText(dir.file("out.pdf")), "older output");
    }

    // A file to embed that is not there: the file system's error, no output.
    TempDir dir;
    writeFileText(dir.file("in.pdf"), good.bytes);
    Error error;
    EXPECT_FALSE(controller.attachFileAtURL(fileURL(dir.file("none.zip")), fileURL(dir.file("in.pdf")),
                                            fileURL(dir.file("out.pdf")), &error));
    EXPECT_EQ(error.domain(), NSCocoaErrorDomain);
    EXPECT_EQ(error.code(), NSFileReadNoSuchFileError);
    EXPECT_FALSE(fs::exists(dir.file("out.pdf")));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

TEST(FCPDFAttachmentController, AnEmbeddedEmptyFileHasLengthZeroWhichExtractionRefuses) {
    TempDir dir;
    const SmallPDF pdf = makeSmallPDF();
    writeFileText(dir.file("in.pdf"), pdf.bytes);
    writeFileText(dir.file("empty"), "");
    FCPDFAttachmentController controller;
    Error error;
    ASSERT_TRUE(controller.attachFileAtURL(fileURL(dir.file("empty")), fileURL(dir.file("in.pdf")),
                                           fileURL(dir.file("out.pdf")), &error));
    EXPECT_EQ(readFileText(dir.file("out.pdf")), pdf.bytes + embeddedBlock("", pdf.startxref));
    EXPECT_FALSE(controller.extractFileFromPDFatURL(fileURL(dir.file("out.pdf")), fileURL(dir.file("x")), &error));
    expectControllerError(error, "Invalid/zero length of embedded object.");
}

TEST(FCPDFAttachmentController, ADeckEmbeddedInAPDFComesBackAsALegacyPackage) {
    TempDir dir;
    TempDir packages;
    copyBiologyPackage(packages);
    ASSERT_TRUE(SSZipArchive::createZipFileAtPathWithContentsOfDirectory(dir.file("deck.zip"), packages.str()));
    writeFileText(dir.file("in.pdf"), makeSmallPDF().bytes);

    FCPDFAttachmentController controller;
    Error error;
    ASSERT_TRUE(controller.attachFileAtURL(fileURL(dir.file("deck.zip")), fileURL(dir.file("in.pdf")),
                                           fileURL(dir.file("Biology.pdf")), &error))
        << error.description();

    fs::create_directory(dir.file("work"));
    FCExtractDeckFromPDFOperation operation([&controller](const URL& pdf, const URL& output, Error* outError) {
        return controller.extractFileFromPDFatURL(pdf, output, outError);
    });
    auto package = operation.extractDeckDocumentEmbeddedInPDFatPath(
        dir.file("Biology.pdf"), URL::fileURLWithPath(dir.file("work"), true), &error);
    ASSERT_TRUE(package) << error.description();
    EXPECT_EQ(package->lastPathComponent(), "Biology.studydeck");

    auto wrapper = FIDeckDocumentFileWrapper::initWithDocumentURL(*package, &error);
    ASSERT_TRUE(wrapper) << error.description();
    FCCDeckDocumentPersistence persistence;
    auto deck = persistence.readFromFileWrapper(wrapper, "Biology", &error);
    ASSERT_TRUE(deck) << error.description();
    EXPECT_EQ(deck->legacyTitle(), "Biology");
    EXPECT_EQ(deck->studyCardsCount(), 3);
    EXPECT_TRUE(persistence.hasCardAttachmentWithName("cell.png"));
}
