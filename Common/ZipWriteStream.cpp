#include "Common/ZipWriteStream.h"

#include <algorithm>
#include <climits>

#include "Common/ZipException.h"
#include "platform/foundation/Format.h"

void ZipWriteStream::writeData(const Data& data) { writeData(data.data(), data.size()); }

void ZipWriteStream::writeData(const std::uint8_t* bytes, std::size_t length) {
    // minizip takes an unsigned length; larger data goes in pieces.
    do {
        unsigned chunk = static_cast<unsigned>(std::min<std::size_t>(length, UINT_MAX));
        int err = zipWriteInFileInZip(zipFile_, bytes, chunk);
        if (err < 0) throw ZipException(err, stringWithFormat("Error writing '%@' in the zipfile", fileNameInZip_));
        bytes += chunk;
        length -= chunk;
    } while (length > 0);
}

void ZipWriteStream::finishedWriting() {
    int err = zipCloseFileInZip(zipFile_);
    if (err != ZIP_OK) throw ZipException(err, stringWithFormat("Error closing '%@' in the zipfile", fileNameInZip_));
}
