#pragma once

// The program's stand-in for the screen: a plain-text frame of what the key
// window shows, written to standard output whenever it changed.
//
//   ==== Memorant ====
//   [Edit] Decks [+] [(gear)]
//   | Tutorial | 12 cards
//   toolbar: [(antenna.radiowaves.left.and.right)]
//   alert: iCloud available
//     Store your decks in iCloud?
//     [Later] [Use iCloud]
//   ==================
//
// The frame holds the navigation bar of the top screen (its left items, its
// title, its right items), the rows of the top screen's table by the texts of
// their labels (in view order, joined by " | "), the toolbar's items when it
// shows, and the alerts on top of the windows, each with its title, message
// and buttons: an alert controller's actions, then the alert views in the
// order they were shown (the last is on top).
// A bar item reads as its title, else "(symbol name)" of its image, else "+"
// for an add item, else "(image)". The top screen is what the key window's
// root presents (not an alert), down through navigation controllers to their
// top controller. Every text shows whole, with line breaks, other control
// characters, escape sequences and invalid bytes escaped (\n, \x1b...) and a
// backslash doubled: a frame line is one line, and nothing in it drives the
// terminal.
//
// Off unless turned on (ApplicationMain turns it on for the program; tests
// turn it on where they read it). Main thread.

#include <cstdio>
#include <string>

class Window;

namespace HeadlessDisplay {

// The frame's text for the window (without the border lines), "" for none.
std::string frameOfWindow(Window* window);
// The frame of the key window (and the alerts on top of any window).
std::string currentFrame();

void setEnabled(bool enabled);
bool isEnabled();
// When enabled and the frame differs from the last one written, writes it
// (between border lines) to `out` and flushes. Returns whether it wrote.
bool refresh(std::FILE* out = stdout);
// Forgets the last frame, so the next refresh writes.
void reset();

}  // namespace HeadlessDisplay
