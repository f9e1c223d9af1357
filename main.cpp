#include "platform/ui/ApplicationMain.h"

// The program runs as the app does: the application delegate class by name,
// the main storyboard's window, the launch, and the main run loop until a
// quit request (or, with --until-idle, until nothing is left to do).
int main(int argc, char** argv) {
    return ApplicationMain(argc, argv, "FIAppDelegate");
}
