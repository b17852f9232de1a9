// The DV camcorder's moving picture: colour bars with a white square that moves one step to the right
// per tape frame (40 steps, then again from the left), coded as real DV video. Each step is coded once
// per system and kept, so a running camcorder costs a copy per frame.
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

// Codes the picture of TapeFrame into the video blocks of Frame. Used on the camcorder's streaming thread.
class TDVCamcorderPictures {
public:
    void CodeInto(std::span<std::uint8_t> frame, bool pal, std::int64_t tapeFrame);

private:
    TDVPictureEncoder encoder_;
    std::vector<std::vector<std::uint8_t>> coded_[2];  // per system (0: 525/60, 1: 625/50), per step
};

}  // namespace standins
