#pragma once

#include <string>

#include "platform/foundation/Bundle.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/PropertyList.h"
#include "platform/foundation/UserDefaults.h"
#include "support/TestEnvironment.h"

namespace memorant_test {

// A bundle folder with the given info dictionary, and user defaults of its
// own, both in a temporary folder.
struct TestBundle {
    TempDir dir;
    Bundle bundle;
    UserDefaults defaults;

    explicit TestBundle(const Value& info = Value::dictionary())
        : bundle(writeInfo(dir, info)), defaults(dir.file("defaults.plist")) {}

    static std::string writeInfo(const TempDir& dir, const Value& info) {
        writeDataAtomically(*PropertyList::dataFromValue(info, PropertyList::Format::XML), dir.file("Info.plist"));
        return dir.str();
    }
};

}  // namespace memorant_test
