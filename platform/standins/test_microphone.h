// The synthetic microphone of the audio input category: a live source of a PCM tone (16-bit stereo
// at 44100 or 48000 Hz) in time-stamped buffers, answering the stream configuration and the capture
// pin category.
#pragma once

#include <windows.h>
#include <strmif.h>

namespace standins {

// {51A7E0C2-3B6D-4E2A-9C58-2F41D6A7B301}
inline constexpr CLSID CLSID_QuillTestMicrophone = {
    0x51a7e0c2, 0x3b6d, 0x4e2a, {0x9c, 0x58, 0x2f, 0x41, 0xd6, 0xa7, 0xb3, 0x01}};
inline constexpr char kTestMicrophoneName[] = "Quillotrane Test Microphone";
inline constexpr wchar_t kTestMicrophonePinName[] = L"Capture";

// The tone: sample n (counted from the start of the stream, the buffer's start time times the rate)
// is round(kToneAmplitude * sin(2 pi kToneHz n / rate)) on both channels.
inline constexpr int kToneHz = 1000;
inline constexpr int kToneAmplitude = 8000;
// Each buffer holds 20 ms; the default rate is the first of the two.
inline constexpr REFERENCE_TIME kMicrophoneBufferTime = 200000;
inline constexpr DWORD kMicrophoneRates[2] = {44100, 48000};

}  // namespace standins
