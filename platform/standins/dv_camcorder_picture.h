// The DV camcorder's moving picture: colour bars with a white square that moves one step to the right
// per tape frame (40 steps, then again from the left), coded as real DV video. Each step is coded once
// per system, once in the process, and kept: a running camcorder costs a copy per frame.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "platform/standins/dv_picture.h"

namespace standins {

constexpr int kCamcorderSteps = 40;
constexpr int kCamcorderSquare = 64;    // side of the square, in pixels
constexpr int kCamcorderStepPixels = 16;

// The uncoded picture of a tape frame: YUY2 on the DV raster.
std::vector<std::uint8_t> DVCamcorderRaster(bool pal, std::int64_t tapeFrame);

// Codes every step of the system now (the camcorder does it before it streams, so that coding never
// holds up a live frame); any thread.
void DVCamcorderPrepare(bool pal);
// Codes the picture of TapeFrame into the video blocks of Frame; any thread.
void DVCamcorderCodeInto(std::span<std::uint8_t> frame, bool pal, std::int64_t tapeFrame);

}  // namespace standins
