#pragma once

#include <string>

// Stops the program on a programming error, as the platform's fatalError
// does: writes "Fatal error: <message>: file <file>, line <line>" to
// standard error and aborts. `file` is the source file's base name as the
// app reports it.
[[noreturn]] void fatalError(const std::string& message, const std::string& file, int line);
