// Time to describe one DV frame (a 720x576 PAL frame of 144,000 bytes, every pack present) and to
// read its 16:9 flag, per frame.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "filters/dv_codes.h"

namespace {

std::vector<std::uint8_t> PalFrame(std::uint8_t second)
{
    std::vector<std::uint8_t> f(filters::kDVFrameBytes625, 0);
    for (int s = 0; s < filters::kDVSequences625; ++s) {
        std::uint8_t* p = f.data() + s * filters::kDVSequenceBytes;
        p[3] = 0xBF;
        p[110] = p[190] = 0x13;
        p[111] = 0x12;
        p[112] = second;
        p[113] = 0x34;
        p[114] = 0x05;
        p[453] = 0x61;
        p[455] = 0x02;
        p[458] = 0x62;
        p[460] = 0x15;
        p[461] = 0x07;
        p[462] = 0x04;
        p[463] = 0x63;
        p[465] = second;
        p[466] = 0x34;
        p[467] = 0x12;
        p[4323] = 0x50;
    }
    return f;
}

double Seconds(const LARGE_INTEGER& a, const LARGE_INTEGER& b, const LARGE_INTEGER& freq)
{
    return static_cast<double>(b.QuadPart - a.QuadPart) / static_cast<double>(freq.QuadPart);
}

}  // namespace

int main(int argc, char** argv)
{
    const int frames = argc > 1 ? std::atoi(argv[1]) : 200000;
    std::vector<std::vector<std::uint8_t>> input;
    for (std::uint8_t s = 0; s < 0x60; s += 0x01)
        if ((s & 0x0F) < 10) input.push_back(PalFrame(s));

    LARGE_INTEGER freq, t0, t1;
    QueryPerformanceFrequency(&freq);
    filters::TDVInfoRec rec;
    std::uint64_t sink = 0;
    QueryPerformanceCounter(&t0);
    for (int i = 0; i < frames; ++i) {
        rec.FrameNumber = static_cast<std::uint32_t>(i);
        filters::DVFillInfoRec(rec, input[static_cast<std::size_t>(i) % input.size()]);
        sink += rec.Timecode.Seconds + (rec.DateValid ? 1 : 0) + (rec.Wide ? 2 : 0);
    }
    QueryPerformanceCounter(&t1);
    const double total = Seconds(t0, t1, freq);
    std::printf("dv_parse: %d PAL frames of 144000 bytes in %.3f s: %.1f ns per frame (check %llu)\n", frames, total,
                total * 1e9 / frames, static_cast<unsigned long long>(sink));
    return 0;
}
