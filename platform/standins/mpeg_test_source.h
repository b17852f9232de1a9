// An MPEG-typed live source for tests: one capture pin giving MPEG-2 video (major type video,
// subtype MPEG2_VIDEO, an MPEG2VIDEOINFO of 720x576 at 25 frames per second) in packets that carry
// a sequence start code and their packet number, so that a test can find every packet again in the
// file a multiplexer wrote. It is a COM server only: tests list it as a device under a name of
// their own.
#pragma once

#include <windows.h>
#include <strmif.h>

#include <cstdint>

namespace standins {

// {51A7E0C2-3B6D-4E2A-9C58-2F41D6A7B311}
inline constexpr CLSID CLSID_QuillTestMpegSource = {
    0x51a7e0c2, 0x3b6d, 0x4e2a, {0x9c, 0x58, 0x2f, 0x41, 0xd6, 0xa7, 0xb3, 0x11}};

// Packet n (from 0): the bytes 00 00 01 B3, n as 32 bits little-endian, then bytes (n + i) & 0xFF.
inline constexpr long kMpegPacketBytes = 2048;
inline constexpr REFERENCE_TIME kMpegPacketTime = 400000;
inline constexpr int kMpegWidth = 720;
inline constexpr int kMpegHeight = 576;

}  // namespace standins
