#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include <minizip/zip.h>

#include "platform/foundation/Data.h"

// Appends the bytes of one new entry of an archive opened for writing. The
// handle belongs to the ZipFile that made the stream; only one entry is open
// at a time.
class ZipWriteStream {
public:
    ZipWriteStream(zipFile zipFileStruct, std::string fileNameInZip)
        : zipFile_(zipFileStruct), fileNameInZip_(std::move(fileNameInZip)) {}

    // Appends all bytes (compressed as the entry was opened). Throws
    // ZipException when minizip reports a failure.
    void writeData(const Data& data);
    void writeData(const std::uint8_t* bytes, std::size_t length);
    // Closes the entry, writing its CRC-32 and sizes. Throws on failure.
    void finishedWriting();

    const std::string& fileNameInZip() const { return fileNameInZip_; }

private:
    zipFile zipFile_;
    std::string fileNameInZip_;
};
