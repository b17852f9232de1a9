// The audio capture filter under the stock class id, in place of Wine's (whose devices have no
// pins): it records from the waveIn input that its device moniker names (the "WaveInID" of the
// moniker's property bag) through one capture pin with the input's PCM formats, and offers the
// input's mixer lines as input pins answering IAMAudioInputMixer.
#pragma once

#include <windows.h>
#include <strmif.h>

namespace standins {

inline constexpr wchar_t kAudioCapturePinName[] = L"Capture";
// The moniker property naming the waveIn input.
inline constexpr wchar_t kWaveInIdProperty[] = L"WaveInID";

// A capture buffer lasts 10 ms where the rate allows whole frames, else 20 or 40 ms; a buffer size
// suggested through IAMBufferNegotiation is rounded to a whole number of these.
DWORD AudioCaptureUnitFrames(DWORD Rate);

}  // namespace standins
