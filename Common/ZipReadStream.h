#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include <minizip/unzip.h>

#include "platform/foundation/Data.h"

// Reads the bytes of the current entry of an archive opened for reading. The
// handle belongs to the ZipFile that made the stream; the stream is valid only
// while that archive is open and this entry is its open one.
class ZipReadStream {
public:
    ZipReadStream(unzFile unzFileStruct, std::string fileNameInZip)
        : unzFile_(unzFileStruct), fileNameInZip_(std::move(fileNameInZip)) {}

    // Reads up to buffer.size() decompressed bytes into the buffer and returns
    // how many were read; 0 when the entry is exhausted. The buffer's size is
    // not changed. Throws ZipException on a read error.
    std::size_t readDataWithBuffer(Data& buffer);
    std::size_t readDataWithBuffer(std::uint8_t* bytes, std::size_t length);
    // Closes the entry. For a fully read entry minizip checks its CRC-32 here
    // and a mismatch throws ZipException.
    void finishedReading();

    const std::string& fileNameInZip() const { return fileNameInZip_; }

private:
    unzFile unzFile_;
    std::string fileNameInZip_;
};
