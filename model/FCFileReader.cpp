#include "model/FCFileReader.h"

#include <sys/stat.h>

#include <algorithm>

#include "model/FCDataAdditions.h"
#include "platform/foundation/StringUtils.h"

namespace {

// Forward reads keep their own chunk size: the backwards reader sets
// m_chunkSize to 0 once it has reached the start of the file.
constexpr std::uint64_t kForwardChunkSize = 10;

std::string decodeLine(const Data& bytes) {
    return sanitizeUTF8(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

}  // namespace

std::shared_ptr<FCFileReader> FCFileReader::initWithFilePath(const std::string& filePath) {
    if (filePath.empty()) return nullptr;
    auto handle = FileHandle::forReadingAtPath(filePath);
    if (!handle) return nullptr;
    // A folder opens but cannot be read, and its length means nothing.
    struct stat st;
    if (::fstat(handle->fileDescriptor(), &st) != 0 || S_ISDIR(st.st_mode)) return nullptr;
    std::uint64_t length = handle->seekToEndOfFile();
    return std::shared_ptr<FCFileReader>(new FCFileReader(filePath, std::move(handle), length));
}

FCFileReader::FCFileReader(std::string filePath, std::shared_ptr<FileHandle> handle, std::uint64_t length)
    : m_filePath(std::move(filePath)),
      m_fileHandle(std::move(handle)),
      m_currentInset(length),
      m_prevDelimiterRange{static_cast<std::size_t>(length), 1},
      m_totalFileLength(length) {}

Data FCFileReader::readAt(std::uint64_t offset, std::uint64_t length) {
    if (!m_fileHandle->seekToFileOffset(offset)) return {};
    return m_fileHandle->readDataOfLength(static_cast<std::size_t>(length));
}

std::optional<std::string> FCFileReader::readLine() {
    if (m_totalFileLength == 0 || m_currentOffset >= m_totalFileLength) return std::nullopt;
    Data line;
    while (m_currentOffset < m_totalFileLength) {
        Data chunk = readAt(m_currentOffset, kForwardChunkSize);
        if (chunk.empty()) break;
        Range delimiter = rangeOfData(chunk, m_lineDelimiterData);
        std::size_t take = delimiter.found() ? delimiter.location + delimiter.length : chunk.size();
        line.insert(line.end(), chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(take));
        m_currentOffset += take;
        if (delimiter.found()) break;
    }
    // A file that shrank since it was opened has nothing more to give.
    if (line.empty()) return std::nullopt;
    return decodeLine(line);
}

std::optional<std::string> FCFileReader::readLineBackwards() {
    if (m_totalFileLength == 0 || (m_currentInset == 0 && m_chunkSize == 0)) return std::nullopt;
    Data line;
    for (;;) {
        // The next chunk ends where the previous read began.
        std::uint64_t readSize = std::min(m_chunkSize, m_currentInset);
        m_currentInset -= readSize;
        Data chunk = readAt(m_currentInset, readSize);
        Range delimiter = rangeOfDataBackwardsSearch(chunk, m_lineDelimiterData);
        if (delimiter.found()) {
            prepend(line, Data(chunk.begin() + static_cast<std::ptrdiff_t>(delimiter.location + delimiter.length),
                               chunk.end()));
            m_prevDelimiterRange = {static_cast<std::size_t>(m_currentInset + delimiter.location), delimiter.length};
            m_currentInset += delimiter.location;
            break;
        }
        prepend(line, chunk);
        m_prevDelimiterRange = Range{};
        if (m_currentInset == 0) {
            m_chunkSize = 0;
            break;
        }
    }
    return decodeLine(line);
}

Data FCFileReader::readDataOfLength(std::uint64_t length) {
    Data data = readAt(m_currentOffset, length);
    m_currentOffset += data.size();
    return data;
}

void FCFileReader::readDataOfLength(std::uint64_t total, std::uint64_t blockSize,
                                    const std::function<void(const Data&)>& block) {
    if (blockSize == 0) return;
    std::uint64_t remaining = total;
    while (remaining > 0) {
        Data piece = readDataOfLength(std::min(blockSize, remaining));
        // A file shorter than the total ends the reading rather than looping on empty reads.
        if (piece.empty()) break;
        remaining -= piece.size();
        block(piece);
    }
}

void FCFileReader::enumerateLinesUsingBlock(const std::function<void(const std::string& line, bool& stop)>& block) {
    bool stop = false;
    while (!stop) {
        auto line = readLine();
        if (!line) break;
        block(*line, stop);
    }
}

void FCFileReader::close() {
    m_fileHandle->closeFile();
}
