#include "umbrella/MemorantUmbrellaFramework.h"

const char* MemorantUmbrellaFrameworkVersionString() {
    return "2.0.0";
}
