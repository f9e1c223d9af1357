#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/Data.h"
#include "platform/foundation/FileHandle.h"

// Walks a text file line by line, forwards from its start or backwards from its
// end (the log viewer shows the newest lines first). Lines end at "\n". Lines
// are decoded as UTF-8 with each invalid byte replaced by U+FFFD, so a line of
// other bytes neither ends the walk nor hides the lines beyond it. One reader
// per file, used by one thread at a time.
class FCFileReader {
public:
    // nullptr for an empty path, a folder, or a file that cannot be opened for
    // reading.
    static std::shared_ptr<FCFileReader> initWithFilePath(const std::string& filePath);

    // The next line with its "\n" when it has one; nullopt at the end of the file.
    std::optional<std::string> readLine();
    // The previous line counted from the end, without its "\n"; nullopt once the
    // start of the file has been passed. A file ending in "\n" gives an empty
    // line first.
    std::optional<std::string> readLineBackwards();
    // Up to length bytes at the forward position, which moves past them.
    Data readDataOfLength(std::uint64_t length);
    // Reads the total in pieces of at most blockSize bytes and hands each piece
    // to the block; stops early at the end of the file.
    void readDataOfLength(std::uint64_t total, std::uint64_t blockSize, const std::function<void(const Data&)>& block);
    // Calls the block with each line from readLine until the end or until the
    // block sets stop.
    void enumerateLinesUsingBlock(const std::function<void(const std::string& line, bool& stop)>& block);
    void close();

    const std::string& filePath() const { return m_filePath; }

private:
    FCFileReader(std::string filePath, std::shared_ptr<FileHandle> handle, std::uint64_t length);
    Data readAt(std::uint64_t offset, std::uint64_t length);

    std::string m_filePath;
    std::shared_ptr<FileHandle> m_fileHandle;
    std::uint64_t m_currentOffset = 0;
    std::uint64_t m_currentInset = 0;
    Range m_prevDelimiterRange;
    std::uint64_t m_totalFileLength = 0;
    Data m_lineDelimiterData{'\n'};
    std::uint64_t m_chunkSize = 10;
};
