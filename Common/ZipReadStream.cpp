#include "Common/ZipReadStream.h"

#include <algorithm>
#include <climits>

#include "Common/ZipException.h"
#include "platform/foundation/Format.h"

std::size_t ZipReadStream::readDataWithBuffer(Data& buffer) { return readDataWithBuffer(buffer.data(), buffer.size()); }

std::size_t ZipReadStream::readDataWithBuffer(std::uint8_t* bytes, std::size_t length) {
    // minizip reads at most an int's worth at a time.
    unsigned chunk = static_cast<unsigned>(std::min<std::size_t>(length, INT_MAX));
    int read = unzReadCurrentFile(unzFile_, bytes, chunk);
    if (read < 0) throw ZipException(read, stringWithFormat("Error reading '%@' in the zipfile", fileNameInZip_));
    return static_cast<std::size_t>(read);
}

void ZipReadStream::finishedReading() {
    int err = unzCloseCurrentFile(unzFile_);
    if (err != UNZ_OK) throw ZipException(err, stringWithFormat("Error closing '%@' in the zipfile", fileNameInZip_));
}
