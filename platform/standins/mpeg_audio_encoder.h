// The MPEG audio encoder stand-in: 16-bit PCM (mono or stereo at 32000, 44100 or 48000 Hz) to MPEG-1
// audio layer II (subtype MPEG1Audio, an MPEG1WAVEFORMAT) at kMpegAudioKbps per channel pair, on
// libavcodec's MP2 encoder, one coded frame of 1152 samples per output sample, stamped by the samples
// coded since the stream's first time. Listed among the filters, where the native MPEG recording
// builder looks for an MPEG-1 audio encoder; never picked by intelligent connect.
#pragma once

#include <windows.h>

namespace standins {

// {6F3C1A92-8E2D-4B7C-9A51-2D7E60C3B401}
inline const CLSID CLSID_MpegAudioEncoderStandin = {0x6f3c1a92, 0x8e2d, 0x4b7c, {0x9a, 0x51, 0x2d, 0x7e, 0x60, 0xc3, 0xb4, 0x01}};
inline constexpr char kMpegAudioEncoderName[] = "Quillotrane MPEG Audio Encoder";
inline constexpr int kMpegAudioKbps = 192;  // stereo; mono takes half
inline constexpr int kMpegAudioFrameSamples = 1152;

}  // namespace standins
