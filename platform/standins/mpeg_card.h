// The test MPEG capture card of the video input category: a card with a hardware MPEG encoder as the
// program finds one. Its one capture pin gives coded video (major type video), MPEG-2 of 720 x 576
// (MPEG2VIDEOINFO, subtype MPEG2_VIDEO) or, once chosen through IAMStreamConfig, MPEG-1 of 352 x 288
// (MPEG1VIDEOINFO, subtype MPEG1Payload), at 25 pictures per second: one coded picture per sample,
// coded by libavcodec from moving colour bars with the picture number drawn in, as the test camera
// draws them. A key picture opens every run and every kMpegCardKeyInterval pictures; no B pictures.
// Its sound comes from another source through a separate MPEG audio encoder and a multiplexer (see
// mpeg_mux.h), as the native MPEG recording builder expects of such a card.
#pragma once

#include <windows.h>
#include <strmif.h>

namespace standins {

// {51A7E0C3-3B6D-4E2A-9C58-2F41D6A7B301}
inline constexpr CLSID CLSID_QuillTestMpegCard = {
    0x51a7e0c3, 0x3b6d, 0x4e2a, {0x9c, 0x58, 0x2f, 0x41, 0xd6, 0xa7, 0xb3, 0x01}};
inline constexpr char kTestMpegCardName[] = "Quillotrane Test MPEG Card";
// The same card set to MPEG-1 from the start (its first capability), for the format the program
// records from an MPEG-1 stream: the cards have no settings page to choose the coding from.
// {51A7E0C4-3B6D-4E2A-9C58-2F41D6A7B301}
inline constexpr CLSID CLSID_QuillTestMpeg1Card = {
    0x51a7e0c4, 0x3b6d, 0x4e2a, {0x9c, 0x58, 0x2f, 0x41, 0xd6, 0xa7, 0xb3, 0x01}};
inline constexpr char kTestMpeg1CardName[] = "Quillotrane Test MPEG-1 Card";
inline constexpr wchar_t kTestMpegCardPinName[] = L"Capture";

inline constexpr REFERENCE_TIME kMpegCardFrameTime = 400000;
inline constexpr int kMpegCardKeyInterval = 12;
// Capability 0: MPEG-2, capability 1: MPEG-1 (the other way round on the MPEG-1 card).
inline constexpr int kMpegCard2Width = 720, kMpegCard2Height = 576;
inline constexpr int kMpegCard1Width = 352, kMpegCard1Height = 288;
// A sample's room: more than twice a whole uncoded 4:2:0 picture, so any coded picture fits.
inline constexpr long kMpegCardSampleBytes = 1024 * 1024;

}  // namespace standins
