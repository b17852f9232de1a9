// The sound input's pacing, tried on a simulated input for minutes at a time: whatever the input's
// clock, its delivery in late lumps, a stream stalled downstream or an input that holds its sound
// back, the units delivered by any graph time make up that time, and the sound in them keeps the
// time it was recorded at (within a unit); sound lost is replaced by as much silence, in its place.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "platform/standins/sound_pacer.h"

namespace {

using standins::TSoundPacer;
using standins::TUnitPlan;

constexpr std::int64_t kRate = 44100, kUnit = 441;
constexpr REFERENCE_TIME kLength = 100000, kSecond = 10000000;

struct Setting {
    const char* name;
    double clock = 1.0;               // the input's clock against the graph's
    REFERENCE_TIME late = 50000;      // a lump arrives this long after its last frame was recorded,
    REFERENCE_TIME scatter = 0;       // and up to this much later again
    REFERENCE_TIME stallAt = -1, stall = 0;  // a delivery at stallAt takes this long
    REFERENCE_TIME holdAt = -1, hold = 0;    // lumps due from holdAt on wait this long
};

struct Outcome {
    std::vector<REFERENCE_TIME> lag;     // per unit: delivered this long after its end
    std::vector<REFERENCE_TIME> offset;  // per unit: its stamp less the recording time of its sound
    std::int64_t silence = 0;
    std::vector<std::int64_t> gaps;      // units marked as following lost sound
};

// The input records from 0.5 s before the stream starts, in lumps of a unit; the store keeps 4 s.
Outcome Simulate(const Setting& s, REFERENCE_TIME length)
{
    const auto recorded = [&](std::int64_t frame) {
        return static_cast<REFERENCE_TIME>(frame * 1e7 / (kRate * s.clock)) - kSecond / 2;
    };
    std::uint32_t random = 12345;
    std::int64_t head = 0, tail = 0, lumps = 0, lost = 0;
    REFERENCE_TIME next = 0;  // when the next lump arrives
    const auto schedule = [&] {
        random = random * 1664525u + 1013904223u;
        REFERENCE_TIME at = recorded((lumps + 1) * kUnit) + s.late + (s.scatter ? (random >> 8) % s.scatter : 0);
        if (s.holdAt >= 0 && at >= s.holdAt && at < s.holdAt + s.hold) at = s.holdAt + s.hold;
        next = std::max(at, next);
    };
    const auto advance = [&](REFERENCE_TIME now) {
        for (; next <= now; schedule()) {
            tail = ++lumps * kUnit;
            if (tail - head > 4 * kRate) lost += tail - 4 * kRate - head, head = tail - 4 * kRate;
        }
    };
    schedule();
    TSoundPacer pacer(kRate, kUnit, kUnit);
    Outcome out;
    REFERENCE_TIME free = 0;  // when the previous delivery came back
    for (std::int64_t n = 0; (n + 1) * kLength <= length; ++n) {
        REFERENCE_TIME now = std::max((n + 1) * kLength, free);
        advance(now);
        const TUnitPlan plan = pacer.Plan(n, now, static_cast<std::size_t>(tail - head), static_cast<std::size_t>(lost));
        lost = 0;
        head += std::min<std::int64_t>(static_cast<std::int64_t>(plan.Skip), tail - head);
        const auto take = static_cast<std::int64_t>(plan.Take);
        while (tail - head < take && next <= pacer.Deadline(n)) now = std::max(now, next), advance(now);
        if (tail - head < take) now = std::max(now, pacer.Deadline(n));
        const std::int64_t got = std::min(take, tail - head);
        out.silence += static_cast<std::int64_t>(plan.Silence) + take - got;
        if (plan.Gap) out.gaps.push_back(n);
        // The unit's last frame: the last one taken, stamped at the unit's end.
        out.offset.push_back(got > 0 ? (n + 1) * kLength - recorded(head + got) : out.offset.empty() ? 0 : out.offset.back());
        head += got;
        out.lag.push_back(now - (n + 1) * kLength);
        free = now + (s.stallAt >= 0 && now >= s.stallAt && now < s.stallAt + kLength ? s.stall : 0);
    }
    return out;
}

REFERENCE_TIME Least(const std::vector<REFERENCE_TIME>& v, std::size_t from, std::size_t to)
{
    return *std::min_element(v.begin() + static_cast<std::ptrdiff_t>(from), v.begin() + static_cast<std::ptrdiff_t>(to));
}

TEST(SoundPacer, KeepsCountAndTimeOfTheSoundOnTheGraphClock)
{
    const Setting settings[] = {
        {"slow clock", 0.995, 50000, 150000},
        {"fast clock", 1.005, 50000, 150000},
        {"late lumps", 1.0, 300000, 400000},
        {"stall kept", 1.0, 50000, 0, 50 * kSecond, 15000000},
        {"stall past the store", 1.0, 50000, 0, 50 * kSecond, 60000000},
        {"input held back past the store", 1.0, 50000, 0, -1, 0, 50 * kSecond, 8 * kSecond},
    };
    for (const Setting& s : settings) {
        SCOPED_TRACE(s.name);
        const REFERENCE_TIME length = 300 * kSecond;
        const Outcome out = Simulate(s, length);
        const std::size_t units = out.lag.size();
        ASSERT_EQ(static_cast<std::size_t>(length / kLength), units);
        // Settled after two seconds; from then on the sound keeps its time within a unit, bar the
        // seconds a held-back input gives nothing.
        const REFERENCE_TIME settled = out.offset[200];
        for (std::size_t n = 200; n < units; ++n) {
            if (s.holdAt >= 0 && n >= 4990 && n < 5900) continue;
            ASSERT_LE(std::abs(out.offset[n] - settled), 2 * kLength) << "unit " << n;
        }
        // At the end every unit is there by the time it ends, give or take the lumps' scatter.
        EXPECT_LE(Least(out.lag, units - 50, units), kLength);
        if (s.stallAt < 0 && s.holdAt < 0) {
            EXPECT_EQ(0, out.silence) << "a drifting or late input is stretched, not cut by silence";
        }
    }
    // Sound the store let go is made up with as much silence, marked, where it was lost.
    const Outcome past = Simulate(settings[4], 60 * kSecond);
    EXPECT_NEAR(2 * kRate, past.silence, 2 * kUnit);
    ASSERT_FALSE(past.gaps.empty());
    EXPECT_EQ(5000, past.gaps.front());
    EXPECT_EQ(0u, Simulate(settings[3], 60 * kSecond).gaps.size()) << "nothing lost in a stall the store holds";
}

TEST(SoundPacer, StretchesPcmBetweenItsEnds)
{
    const std::int16_t in[] = {0, 100, 200, 300, 400, -400, -300, -200};  // two channels
    std::int16_t out[10] = {};
    standins::StretchPcm(reinterpret_cast<const BYTE*>(in), 4, reinterpret_cast<BYTE*>(out), 5, 2, 16);
    EXPECT_EQ(0, out[0]);
    EXPECT_EQ(100, out[1]);
    EXPECT_EQ(150, out[2]) << "three quarters of the way to the second frame";
    EXPECT_EQ(250, out[3]);
    EXPECT_EQ(-300, out[8]) << "the last frame stays";
    EXPECT_EQ(-200, out[9]);
    const BYTE eight[] = {0x80, 0x90, 0xA0};
    BYTE squeezed[2] = {};
    standins::StretchPcm(eight, 3, squeezed, 2, 1, 8);
    EXPECT_EQ(0x80, squeezed[0]);
    EXPECT_EQ(0xA0, squeezed[1]);
}

}  // namespace
