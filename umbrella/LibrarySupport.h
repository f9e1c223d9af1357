#pragma once

#include <string>

class Bundle;

// The library's own resources: the folder that holds its page scripts. It is
// the folder named by the environment variable MEMORANT_UMBRELLA_RESOURCES
// when that is set, else the library's "resources" folder in the source tree
// it was built from.
const Bundle& memorantUmbrellaFrameworkBundle();

namespace umbrella_detail {

// Writes one line to the system log (standard error), as NSLog does, taking
// the text literally.
void systemLog(const std::string& text);

// Reports a programming error and stops the process.
[[noreturn]] void fatalError(const std::string& message);

}  // namespace umbrella_detail
