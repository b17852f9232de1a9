// The MPEG-2 program-stream multiplexer stand-in, on libavformat's program-stream (VOB) writer: a
// video input (pin 0: MPEG-1 or MPEG-2 video), a sound input (pin 1: MPEG-1 audio layer I or II) and
// a byte-stream output (pin 2, subtype MPEG2_PROGRAM) that writes through the IStream of the pin it is
// connected to (the file writer's). Each run writes a whole file from the start: the pack headers and
// stream headers when it starts, the end code when it stops, so each part of a cut recording stands
// alone. The pictures reach the file from the first on: until the first sound comes they are written
// as a program stream of their own, which the program stream of both continues. Listed among the filters, where the native MPEG recording builder looks for a multiplexer
// that takes the card's video to a byte stream; never picked by intelligent connect. A failed write
// is told once per file through EC_ERRORABORT.
#pragma once

#include <windows.h>

namespace standins {

// {6F3C1A93-8E2D-4B7C-9A51-2D7E60C3B401}
inline const CLSID CLSID_MpegMuxStandin = {0x6f3c1a93, 0x8e2d, 0x4b7c, {0x9a, 0x51, 0x2d, 0x7e, 0x60, 0xc3, 0xb4, 0x01}};
inline constexpr char kMpegMuxName[] = "Quillotrane MPEG-2 Program Stream Multiplexer";
inline constexpr wchar_t kMpegMuxVideoPin[] = L"Video";
inline constexpr wchar_t kMpegMuxAudioPin[] = L"Audio";
inline constexpr wchar_t kMpegMuxOutputPin[] = L"Program Stream";

}  // namespace standins
