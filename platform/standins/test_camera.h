// The synthetic camera of the video input category: a live source of moving colour bars with the
// frame number drawn into the picture, in RGB24 or YUY2 at 320x240 or 720x576, answering the stream
// configuration, the dropped-frame counter and the capture pin category. A test may have it lose
// pictures as a busy machine does ("Lost pictures", recording_settings.h) and take them by a clock
// of its own, as a real camera does ("Picture interval", "Picture jitter").
#pragma once

#include <windows.h>
#include <strmif.h>

namespace standins {

// {51A7E0C1-3B6D-4E2A-9C58-2F41D6A7B301}
inline constexpr CLSID CLSID_QuillTestCamera = {
    0x51a7e0c1, 0x3b6d, 0x4e2a, {0x9c, 0x58, 0x2f, 0x41, 0xd6, 0xa7, 0xb3, 0x01}};
inline constexpr char kTestCameraName[] = "Quillotrane Test Camera";
// The camera's one property page (ISpecifyPropertyPages): a plain page that shows the camera's
// name and changes nothing.
// {4695426A-3583-47FB-8AFD-185A04940828}
inline constexpr CLSID CLSID_QuillTestCameraPage = {
    0x4695426a, 0x3583, 0x47fb, {0x8a, 0xfd, 0x18, 0x5a, 0x04, 0x94, 0x08, 0x28}};
inline constexpr wchar_t kTestCameraPageTitle[] = L"Test Camera";
inline constexpr wchar_t kTestCameraPinName[] = L"Capture";

// 25 frames per second unless a format asks otherwise; a format may ask from 1 to 50.
inline constexpr REFERENCE_TIME kCameraFrameTime = 400000;
inline constexpr REFERENCE_TIME kCameraMinFrameTime = 200000;
inline constexpr REFERENCE_TIME kCameraMaxFrameTime = 10000000;

// The picture: eight vertical colour bars (white, yellow, cyan, green, magenta, red, blue, black)
// moved kBarStep pixels to the left with every frame; over them, on picture rows kCounterTop to
// kCounterTop + kCounterBlock - 1, bit i of the frame number (the pictures the camera's clock took
// since the stream began, before this one: on the stated clock, the frame's start time divided by
// the frame time) as a kCounterBlock-pixel square at x = i * kCounterBlock, white for 1 and black
// for 0.
inline constexpr int kBarStep = 4;
inline constexpr int kCounterBits = 32;
inline constexpr int kCounterBlock = 8;
inline constexpr int kCounterTop = 8;

// How many dropped frame numbers GetDroppedInfo can give (the latest ones).
inline constexpr int kDroppedKept = 64;

}  // namespace standins
