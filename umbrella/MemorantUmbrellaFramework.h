#pragma once

// The script bridge and logging helpers that the app links as a shared library.
extern "C" const char* MemorantUmbrellaFrameworkVersionString();
