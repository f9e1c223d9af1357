#pragma once

#include <memory>
#include <vector>

class Window;

// The application object, as far as the interface needs it: the visible
// windows and the key window. It does not own the windows; whoever shows a
// window keeps it alive.
class Application {
public:
    static Application& shared();

    // The visible windows from the lowest level to the highest (in the order
    // they were shown within a level).
    std::vector<std::shared_ptr<Window>> windows() const;
    std::shared_ptr<Window> keyWindow() const;

    // Called by windows.
    void windowDidShow(Window& window);
    void windowDidHide(Window& window);
    void windowWillBecomeKey(Window& window);
    void windowDidGoAway(Window& window);

private:
    struct Entry {
        Window* window;
        std::weak_ptr<Window> weak;
    };
    std::vector<Entry> visible_;  // in the order shown
    Window* key_ = nullptr;
};
