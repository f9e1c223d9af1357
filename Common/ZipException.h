#pragma once

#include <string>

#include "platform/foundation/Error.h"

// "ZipException": raised by the zip file layer for every failure. `error` is
// the minizip code behind it, or 0 when the API was misused (wrong mode,
// unknown mode, an archive that cannot be opened).
class ZipException : public NamedException {
public:
    explicit ZipException(const std::string& reason) : ZipException(0, reason) {}
    ZipException(int error, const std::string& reason) : NamedException("ZipException", reason), error_(error) {}

    int error() const { return error_; }
    // What "%@" prints for the exception: its reason.
    std::string description() const { return reason(); }

private:
    int error_;
};
