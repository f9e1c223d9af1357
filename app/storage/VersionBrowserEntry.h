#pragma once

// One row of the version browser, and what conflict resolution is handed of
// a version the user kept: the row's texts (read by resolution for its log
// lines only), the file version it stands for and whether that is the
// document's current version. Main thread, except that resolution reads the
// entries it was given on its background thread.

#include <memory>
#include <string>

class FileVersion;

class VersionEntry {
public:
    VersionEntry(std::string title, std::string subtitle, std::shared_ptr<FileVersion> version, bool isCurrent)
        : title_(std::move(title)),
          subtitle_(std::move(subtitle)),
          version_(std::move(version)),
          isCurrent_(isCurrent) {}

    const std::string& title() const { return title_; }
    const std::string& subtitle() const { return subtitle_; }
    void setSubtitle(std::string subtitle) { subtitle_ = std::move(subtitle); }
    const std::shared_ptr<FileVersion>& version() const { return version_; }
    void setVersion(std::shared_ptr<FileVersion> version) { version_ = std::move(version); }
    bool isCurrent() const { return isCurrent_; }

private:
    const std::string title_;
    std::string subtitle_;
    std::shared_ptr<FileVersion> version_;
    const bool isCurrent_;
};
