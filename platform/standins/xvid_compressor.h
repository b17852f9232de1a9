// The Xvid compressor stand-in: MPEG-4 part 2 video (four-character code XVID) from RGB24 or YUY2
// pictures, on libavcodec's MPEG-4 encoder; listed in the video compressor category under a name with
// "Xvid" in it, where the settings panel looks for DivX and Xvid compressors. Key frames at most every
// kXvidKeyInterval pictures, no B-frames (one coded picture out per picture in), constant quantiser.
#pragma once

#include <windows.h>
#include <strmif.h>
#include <amvideo.h>

#include <cstdint>

struct AVFrame;

namespace standins {

// {6F3C1A90-8E2D-4B7C-9A51-2D7E60C3B401}
inline const CLSID CLSID_XvidCompressorStandin = {0x6f3c1a90, 0x8e2d, 0x4b7c, {0x9a, 0x51, 0x2d, 0x7e, 0x60, 0xc3, 0xb4, 0x01}};
// {44495658-0000-0010-8000-00AA00389B71}
inline const GUID MEDIASUBTYPE_XVID = {0x44495658, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};

constexpr wchar_t kXvidCompressorName[] = L"Xvid MPEG-4 Codec";
constexpr int kXvidKeyInterval = 250;
constexpr int kXvidQuantiser = 4;

// The VIDEOINFOHEADER of a picture type, or nullptr.
const VIDEOINFOHEADER* VideoHeader(const AM_MEDIA_TYPE& mt);
// RGB24 or YUY2 of an even, positive size (4:2:0 needs pairs of rows and columns): the pictures the
// stand-in coders take.
bool IsPictureInput(const AM_MEDIA_TYPE& mt);
// Fills the planes of Frame (YUV 4:2:0) from a DirectShow picture of the frame's size.
void ToYuv420(const std::uint8_t* src, const AM_MEDIA_TYPE& mt, AVFrame* frame);

}  // namespace standins
