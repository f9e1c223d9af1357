#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Short interface sounds ("system sounds"): a sound file is registered once
// and gets an identifier, played by identifier and disposed when no longer
// needed. There is no audio output behind them on this platform: each play is
// recorded, so that screens and their tests can see which sound was played.
//
// Thread-safe.
namespace SystemSound {

using Identifier = std::uint32_t;

// Registers the sound file at `path`. Returns 0 (no sound) when the file does
// not exist or is not a regular file; identifiers are never reused.
Identifier create(const std::string& path);

// Records a play of the sound; an unknown or disposed identifier does nothing.
void play(Identifier sound);

// The system's own vibration, playable as an alert sound without being
// registered.
inline constexpr Identifier kVibrate = 4095;

// Plays the sound as an alert (with a vibration where the device has one):
// recorded like play(); kVibrate is recorded as "vibrate".
void playAlert(Identifier sound);

// Forgets the sound; later plays of it do nothing. Disposing twice does nothing.
void dispose(Identifier sound);

// What was played since the last reset, as the registered file paths in order.
std::vector<std::string> playedSounds();
// The number of sounds created and not yet disposed.
std::size_t liveSoundCount();
void resetRecording();

} // namespace SystemSound
