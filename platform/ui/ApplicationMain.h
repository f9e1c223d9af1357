#pragma once

// The program's main loop (UIApplicationMain), as this platform runs it.
//
// ApplicationMain(argc, argv, "FIAppDelegate") makes the delegate from the
// class of that name (its class set-up first), reads the command line, makes
// a window for the main storyboard (info-dictionary key
// "UIMainStoryboardFile") and hands it to the delegate, launches
// (will-finish launching, the storyboard's initial controller installed as
// the window's root, did-finish launching, the window shown, the launch URL
// handed over, the first activation), then runs the main run loop until the
// run ends. It returns only when the class is unknown (1);
// otherwise the process exits with 0.
//
// The command line, as the platform hands URLs to an app:
// - an argument with a scheme of its own ("memorant:..."; any URL scheme
//   but "file") is the launch URL;
// - any other argument not starting with "--" is a file path: a regular
//   file with an extension the app opens (its info dictionary's
//   "CFBundleDocumentTypes", their "CFBundleTypeExtensions", in any case) is
//   copied into "<Documents>/Inbox/" (under a free name, "Name-1.ext" and
//   so on when the name is taken) and the copy's file URL is the launch URL;
//   the user's file stays where it is. A symbolic link is followed: the
//   bytes of its file are copied, never the link. A missing path, a folder,
//   any other kind of file or extension is refused: nothing is copied;
// - "--until-idle": the run ends once nothing is pending on any loop or
//   queue (no posted block, no timer that does not repeat, no block queued
//   or running on a dispatch or operation queue);
// - "--no-display": the headless display stays off.
// - "--port N": the browser display listens on that port (else a free one).
// - "--no-browser": the browser display's address is printed, no browser
//   opened.
// - "--device phone|tablet": the screen of a phone (390 x 844 points, the
//   default) or of a tablet (820 x 1180, the regular size class), at scale 2.
// - "--screenshot FILE": once the app is first idle, the screen is written to
//   FILE as PNG (at the device scale), also with --until-idle.
// Only the first launch URL counts; an unknown "--" option is refused too.
// What is refused is told on standard error as the program was started with
// (before the delegate's class set-up may have sent it to a log file).
//
// A run ends on SIGINT or SIGTERM, or when idle with --until-idle: the app
// resigns active, goes to the background (documents with unsaved changes
// save), terminates once those saves are done, and the process exits 0.
//
// The headless display (HeadlessDisplay) is on: after every pass of the main
// loop that changed what the key window shows, the frame goes to standard
// output.
//
// Without --until-idle the screen is a browser window (BrowserDisplay): the
// program prints one line with the page's address,
// "Memorant shows its window at http://127.0.0.1:PORT/#TOKEN", and, when a
// desktop session is there (DISPLAY or WAYLAND_DISPLAY) and --no-browser is
// not given, opens it with xdg-open. With --until-idle nothing is served.

#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/URL.h"
#include "platform/foundation/Value.h"

struct ApplicationArguments {
    std::optional<URL> launchURL;
    bool untilIdle = false;
    bool display = true;
    int port = 0;
    bool openBrowser = true;
    bool tablet = false;
    std::optional<std::string> screenshotPath;
    // What could not be used, one line each, as written to standard error.
    std::vector<std::string> problems;
};

// Reads the arguments after the program's name; file arguments are copied
// into <Documents>/Inbox/ here.
ApplicationArguments parseApplicationArguments(const std::vector<std::string>& arguments);

// The launch options for the arguments (a dictionary; the URL under
// ApplicationLaunchOptionsURLKey when there is one).
Value launchOptionsForArguments(const ApplicationArguments& arguments);

// Whether nothing is pending on the main loop, the timer loop of delayed
// blocks, or any dispatch or operation queue.
bool applicationIsIdle();

int ApplicationMain(int argc, char** argv, const std::string& delegateClassName);
