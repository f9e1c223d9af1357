#pragma once

// Whether the device is recent enough for the remote's regular key colours:
// false for the hardware models of the first generations (the model identifier
// of SystemInformation::hardwareMachine()), true for any other. The remote
// screen sets the dial-pad older-device flag from its negation.
bool isRemoteControlSupported();
