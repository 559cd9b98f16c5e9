#pragma once

// The console tone: what the Windows beep service does, on the Linux console speaker.

namespace Platform {

// The frequencies the beep service accepts, in hertz.
constexpr int kBeepMinFrequency = 37;
constexpr int kBeepMaxFrequency = 32767;

// Plays frequency hertz for durationMs milliseconds and returns when the tone
// has ended. Tries the console devices the process can open and that accept the
// tone request; false when the arguments are out of range or no console
// lets us sound the tone.
bool consoleBeep(int frequency, int durationMs);

// The same on one given device (a virtual console, or the PC speaker's input
// device); false when it cannot be opened or refuses the tone.
bool consoleBeepOn(const char* device, int frequency, int durationMs);

} // namespace Platform
