// Time to describe one DV frame (a 720x576 PAL frame of 144,000 bytes) and to read its 16:9 flag,
// per frame: frames whose packs stand in every sequence (found in the first) and frames whose packs
// stand only in the last sequence the reader looks at (every earlier one holds empty packs). Every
// description is checked against what the frame was made with.
//   bench_dv_parse.exe [frames, default 200000]
// Prints "figure <case> <ns per frame>" lines; exits 1 when a description is wrong.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "filters/dv_codes.h"

namespace {

// What a frame was made with.
struct Made {
    std::uint8_t second = 0;
    bool wide = false;
};

// A PAL frame dated 15 July 2004 12:34:second with timecode 5:34:second:12, packs in the sequences
// from first on; earlier sequences hold empty packs (0xFF), as a camcorder leaves them.
std::vector<std::uint8_t> PalFrame(const Made& m, int first)
{
    std::vector<std::uint8_t> f(filters::kDVFrameBytes625, 0);
    for (int s = 0; s < filters::kDVSequences625; ++s) {
        std::uint8_t* p = f.data() + s * filters::kDVSequenceBytes;
        p[filters::dvofs::kDSF] = 0xBF;
        p[filters::dvofs::kAudioSourcePack] = 0x50;
        if (s < first) {
            for (std::size_t at : {filters::dvofs::kTimecodePack1, filters::dvofs::kTimecodePack2,
                                   filters::dvofs::kSourceControlPack, filters::dvofs::kRecDatePack,
                                   filters::dvofs::kRecTimePack}) {
                p[at] = 0xFF;
            }
            continue;
        }
        p[110] = p[190] = 0x13;
        p[111] = 0x12;
        p[112] = m.second;
        p[113] = 0x34;
        p[114] = 0x05;
        p[453] = 0x61;
        p[455] = m.wide ? 0x02 : 0x00;
        p[458] = 0x62;
        p[460] = 0x15;
        p[461] = 0x07;
        p[462] = 0x04;
        p[463] = 0x63;
        p[465] = m.second;
        p[466] = 0x34;
        p[467] = 0x12;
    }
    return f;
}

double Seconds(const LARGE_INTEGER& a, const LARGE_INTEGER& b, const LARGE_INTEGER& freq)
{
    return static_cast<double>(b.QuadPart - a.QuadPart) / static_cast<double>(freq.QuadPart);
}

int BcdValue(std::uint8_t b)
{
    return (b >> 4) * 10 + (b & 0x0F);
}

bool Describes(const filters::TDVInfoRec& rec, const Made& m)
{
    // 15 July 2004 is day 38183 after 30 December 1899.
    const double date = 38183.0 + (12 * 3600 + 34 * 60 + BcdValue(m.second)) / 86400.0;
    return rec.DateValid && rec.TimecodeValid && rec.Timecode.Seconds == BcdValue(m.second) &&
           rec.Timecode.Hours == 5 && rec.Timecode.Frames == 12 && rec.Wide == m.wide &&
           rec.System == filters::kDVSystem625 && rec.Date > date - 1e-6 && rec.Date < date + 1e-6;
}

}  // namespace

int main(int argc, char** argv)
{
    const int frames = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200000;
    std::vector<Made> made;
    for (std::uint8_t s = 0; s < 0x60; ++s) {
        if ((s & 0x0F) < 10) made.push_back(Made{s, (s & 1) != 0});
    }
    bool failed = false;
    LARGE_INTEGER freq, t0, t1;
    QueryPerformanceFrequency(&freq);
    // The reader looks at sequences 0 to 9: the last one is 9.
    for (const int first : {0, filters::kDVSequences525 - 1}) {
        std::vector<std::vector<std::uint8_t>> input;
        for (const Made& m : made) input.push_back(PalFrame(m, first));
        filters::TDVInfoRec rec;
        for (std::size_t k = 0; k < input.size(); ++k) {
            filters::DVFillInfoRec(rec, input[k]);
            if (!Describes(rec, made[k])) {
                std::printf("FAILED: dv_parse: frame %zu with packs from sequence %d described wrongly\n", k, first);
                failed = true;
                break;
            }
        }
        std::uint64_t sink = 0;
        QueryPerformanceCounter(&t0);
        for (int i = 0; i < frames; ++i) {
            rec.FrameNumber = static_cast<std::uint32_t>(i);
            filters::DVFillInfoRec(rec, input[static_cast<std::size_t>(i) % input.size()]);
            sink += rec.Timecode.Seconds + (rec.DateValid ? 1 : 0) + (rec.Wide ? 2 : 0);
        }
        QueryPerformanceCounter(&t1);
        // The same sum from what the frames were made with.
        std::uint64_t want = 0;
        for (int i = 0; i < frames; ++i) {
            const Made& m = made[static_cast<std::size_t>(i) % made.size()];
            want += static_cast<std::uint64_t>(BcdValue(m.second)) + 1 + (m.wide ? 2 : 0);
        }
        if (sink != want) {
            std::printf("FAILED: dv_parse: timed descriptions wrong (packs from sequence %d)\n", first);
            failed = true;
        }
        const double total = Seconds(t0, t1, freq);
        std::printf("figure dv_parse_packs_from_sequence_%d %.1f\n", first, total * 1e9 / frames);
    }
    return failed ? 1 : 0;
}
