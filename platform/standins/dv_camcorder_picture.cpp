#include "platform/standins/dv_camcorder_picture.h"

#include <array>
#include <mutex>

#include "platform/standins/dv_frame.h"

namespace standins {

namespace {

// Studio-range YUV of 75% colour bars: white, yellow, cyan, green, magenta, red, blue, black.
constexpr std::array<std::array<std::uint8_t, 3>, 8> kBars{{{180, 128, 128},
                                                             {162, 44, 142},
                                                             {131, 156, 44},
                                                             {112, 72, 58},
                                                             {84, 184, 198},
                                                             {65, 100, 212},
                                                             {35, 212, 114},
                                                             {16, 128, 128}}};

int StepOf(std::int64_t tapeFrame)
{
    const std::int64_t step = tapeFrame % kCamcorderSteps;
    return static_cast<int>(step < 0 ? step + kCamcorderSteps : step);
}

}  // namespace

std::vector<std::uint8_t> DVCamcorderRaster(bool pal, std::int64_t tapeFrame)
{
    const int lines = DVLines(pal);
    std::vector<std::uint8_t> raster(PictureBytes(TPixelFormat::Yuy2, kDVWidth, lines));
    const int left = StepOf(tapeFrame) * kCamcorderStepPixels;
    const int top = (lines - kCamcorderSquare) / 2;
    for (int y = 0; y < lines; ++y) {
        std::uint8_t* row = raster.data() + static_cast<std::size_t>(y) * kDVWidth * 2;
        for (int x = 0; x < kDVWidth; x += 2) {
            const bool square = y >= top && y < top + kCamcorderSquare && x >= left && x < left + kCamcorderSquare;
            const auto& c = square ? std::array<std::uint8_t, 3>{235, 128, 128} : kBars[static_cast<std::size_t>(x * 8 / kDVWidth)];
            row[2 * x] = c[0];
            row[2 * x + 1] = c[1];
            row[2 * x + 2] = c[0];
            row[2 * x + 3] = c[2];
        }
    }
    return raster;
}

namespace {

// The coded steps, shared by every camcorder in the process.
struct TCodedSteps {
    std::mutex Lock;
    std::vector<std::vector<std::uint8_t>> Steps[2];  // per system (0: 525/60, 1: 625/50), per step
};

TCodedSteps& Coded()
{
    static TCodedSteps coded;
    return coded;
}

// The coded frame of one step (coded on first use); Coded().Lock is held.
const std::vector<std::uint8_t>& StepLocked(bool pal, int step)
{
    auto& steps = Coded().Steps[pal ? 1 : 0];
    if (steps.empty()) steps.resize(kCamcorderSteps);
    auto& coded = steps[static_cast<std::size_t>(step)];
    if (coded.empty()) {
        static TDVPictureEncoder encoder;
        const auto raster = DVCamcorderRaster(pal, step);
        coded.assign(DVFrameBytes(pal), 0);
        const TPictureView view{raster.data(), raster.size(), kDVWidth, DVLines(pal), TPixelFormat::Yuy2};
        if (!encoder.Encode(view, pal, coded)) coded.clear();
    }
    return coded;
}

}  // namespace

void DVCamcorderPrepare(bool pal)
{
    std::lock_guard<std::mutex> guard(Coded().Lock);
    for (int step = 0; step < kCamcorderSteps; ++step) StepLocked(pal, step);
}

void DVCamcorderCodeInto(std::span<std::uint8_t> frame, bool pal, std::int64_t tapeFrame)
{
    std::lock_guard<std::mutex> guard(Coded().Lock);
    DVCopyVideoBlocks(StepLocked(pal, StepOf(tapeFrame)), frame);
}

}  // namespace standins
