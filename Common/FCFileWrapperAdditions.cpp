#include "Common/FCFileWrapperAdditions.h"

#include "platform/foundation/StringUtils.h"

void fcAddFileIfItDoesNotExistWithData(FileWrapper& folder, const std::string& name, const Data& data) {
    if (!folder.isDirectory() || folder.fileWrapperNamed(name)) return;
    folder.addRegularFileWithContents(data, name);
}

void fcAddFileIfItDoesNotExistWithText(FileWrapper& folder, const std::string& name, const std::string& text) {
    fcAddFileIfItDoesNotExistWithData(folder, name, dataFromString(text));
}

void fcAddRegularFileNamed(FileWrapper& folder, const std::string& name, const Data& data) {
    if (!folder.isDirectory()) return;
    fcRemoveFileWrapperWithName(folder, name);
    folder.addRegularFileWithContents(data, name);
}

bool fcHasFileWrapperNamed(const FileWrapper& folder, const std::string& name) {
    return folder.fileWrapperNamed(name) != nullptr;
}

void fcRemoveFileWrapperWithName(FileWrapper& folder, const std::string& name) {
    if (auto child = folder.fileWrapperNamed(name)) folder.removeFileWrapper(child);
}

std::optional<std::string> fcStringForFileWrapperNamed(const FileWrapper& folder, const std::string& name) {
    auto child = folder.fileWrapperNamed(name);
    if (!child) return std::nullopt;
    auto contents = child->regularFileContents();
    if (!contents) return std::nullopt;
    std::string text = stringFromData(*contents);
    if (!isValidUTF8(text)) return std::nullopt;
    return text;
}

std::int64_t fcNSIntegerFromTextFileWrapperWithName(const FileWrapper& folder, const std::string& name) {
    auto text = fcStringForFileWrapperNamed(folder, name);
    return text ? stringIntegerValue(*text) : 0;
}
