// The MPEG video decoder stand-in: coded MPEG-1 or MPEG-2 video (as the test MPEG card gives it) to
// RGB24 pictures of the same size, on libavcodec's MPEG video decoder. Listed among the filters so
// that the program's decoder search finds it for a card's MPEG stream; never picked by intelligent
// connect.
#pragma once

#include <windows.h>

namespace standins {

// {6F3C1A91-8E2D-4B7C-9A51-2D7E60C3B401}
inline const CLSID CLSID_MpegVideoDecoderStandin = {0x6f3c1a91, 0x8e2d, 0x4b7c, {0x9a, 0x51, 0x2d, 0x7e, 0x60, 0xc3, 0xb4, 0x01}};
inline constexpr char kMpegVideoDecoderName[] = "Quillotrane MPEG Video Decoder";

}  // namespace standins
