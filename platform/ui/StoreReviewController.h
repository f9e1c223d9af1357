#pragma once

#include <cstddef>
#include <mutex>
#include <vector>

class Window;

// The system's rate-this-app prompt. Whether the system shows one is its
// own decision; here every request is kept, in order, for tests to read.
// The scene is the window the request is made in.
class StoreReviewController {
public:
    static void requestReviewInScene(Window* scene);

    static std::vector<Window*> requests();
    static std::size_t requestCount();
    static void reset();
};
