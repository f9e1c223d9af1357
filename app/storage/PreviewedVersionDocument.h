#pragma once

// The deck document of a file version that the version browser has opened
// read-only for preview: one reference for the whole process, main thread.

#include <memory>

class FIDeckDocument;

class PreviewedVersionDocument {
public:
    // nullptr when no version is previewed.
    static std::shared_ptr<FIDeckDocument> previewedVersionDocument();
    // Set when a version document has opened; an earlier one is closed
    // unless it is closed already (left open, it would keep its file).
    static void setPreviewedVersionDocument(std::shared_ptr<FIDeckDocument> document);
    // When the version browser comes into view again: forgets the document
    // and closes it unless it is closed already.
    static void clearPreviewedVersionDocument();
};
