// The sound input's pacing on a simulated input, minutes at a time: whatever the input's clock, a
// stall downstream or an input that holds its sound back a while (all of it, or what a busy machine
// keeps coming late), the units delivered make up the graph's time and their sound keeps the time it
// was recorded at (within a unit), never stretched more than clocks stray; sound the input's store
// lost, or that the input lost without a word, is replaced by as much silence, and nothing else is.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "platform/standins/sound_pacer.h"

namespace {

constexpr std::int64_t kRate = 44100, kUnit = 441;
constexpr REFERENCE_TIME kLength = 100000, kSecond = 10000000;

struct Setting {
    const char* name;
    double clock;             // the input's clock against the graph's
    REFERENCE_TIME scatter;   // a lump arrives 5 ms after its last frame, and up to this later
    REFERENCE_TIME stall;     // the delivery at 50 s takes this long
    REFERENCE_TIME hold = 0;  // the input gives nothing from 50 s on for this long, then all it has
    REFERENCE_TIME late = 0;  // the sound of 50 s to 51.2 s comes this much later than the rest
    REFERENCE_TIME lose = 0;  // the input loses this much of its sound at 50 s and says nothing
};

struct Outcome {
    std::vector<REFERENCE_TIME> lag;     // per unit: delivered this long after its end
    std::vector<REFERENCE_TIME> offset;  // per unit: its stamp less the recording time of its sound
    std::int64_t silence = 0;
    std::vector<std::int64_t> gaps;      // units marked as following lost sound
    std::int64_t stretched = 0;          // the most frames one unit was stretched or squeezed by
};

// The input records from 0.5 s before the stream starts, in lumps of a unit; its store keeps 4 s.
Outcome Simulate(const Setting& s, REFERENCE_TIME length) {
    const auto recorded = [&](std::int64_t frame) {
        const auto at = static_cast<REFERENCE_TIME>(frame * 1e7 / (kRate * s.clock)) - kSecond / 2;
        return at >= 50 * kSecond ? at + s.lose : at;
    };
    std::uint32_t random = 12345;
    std::int64_t head = 0, tail = 0, lumps = 0, lost = 0;
    REFERENCE_TIME next = 0;  // when the next lump arrives
    const auto schedule = [&] {
        random = random * 1664525u + 1013904223u;
        const REFERENCE_TIME at = recorded((lumps + 1) * kUnit);
        const REFERENCE_TIME late = at >= 50 * kSecond && at < 50 * kSecond + 12000000 ? s.late : 0;
        next = std::max(next, at + 50000 + late + (s.scatter ? (random >> 8) % s.scatter : 0));
        if (next >= 50 * kSecond && next < 50 * kSecond + s.hold) next = 50 * kSecond + s.hold;
    };
    const auto advance = [&](REFERENCE_TIME now) {
        for (; next <= now; schedule()) {
            tail = ++lumps * kUnit;
            if (tail - head > 4 * kRate) lost += tail - 4 * kRate - head, head = tail - 4 * kRate;
        }
    };
    schedule();
    standins::TSoundPacer pacer(kRate, kUnit, kUnit);
    Outcome out;
    REFERENCE_TIME free = 0;  // when the previous delivery came back
    for (std::int64_t n = 0; (n + 1) * kLength <= length; ++n) {
        REFERENCE_TIME now = std::max((n + 1) * kLength, free);
        advance(now);
        const standins::TUnitPlan plan =
            pacer.Plan(n, now, static_cast<std::size_t>(tail - head), static_cast<std::size_t>(lost));
        lost = 0;
        head += std::min<std::int64_t>(static_cast<std::int64_t>(plan.Skip), tail - head);
        const auto take = static_cast<std::int64_t>(plan.Take);
        while (tail - head < take && next <= pacer.Deadline(n)) now = std::max(now, next), advance(now);
        if (tail - head < take) now = std::max(now, pacer.Deadline(n));
        const std::int64_t got = std::min(take, tail - head);
        out.silence += static_cast<std::int64_t>(plan.Silence) + take - got;
        out.stretched = std::max(out.stretched, std::abs(kUnit - static_cast<std::int64_t>(plan.Silence) - take));
        if (plan.Gap) out.gaps.push_back(n);
        // The unit's last frame: the last one taken, stamped at the unit's end.
        out.offset.push_back(got > 0 ? (n + 1) * kLength - recorded(head + got) : out.offset.empty() ? 0 : out.offset.back());
        head += got;
        out.lag.push_back(now - (n + 1) * kLength);
        free = now + (now >= 50 * kSecond && now < 50 * kSecond + kLength ? s.stall : 0);
    }
    return out;
}

TEST(SoundPacer, KeepsCountAndTimeOfTheSoundOnTheGraphClock) {
    const Setting settings[] = {{"slow clock", 0.995, 150000, 0},
                                {"fast clock", 1.005, 150000, 0},
                                {"stall kept", 1.0, 0, 15000000},
                                {"stall past the store", 1.0, 0, 60000000},
                                {"input held back a second", 1.0, 0, 0, 10000000},
                                {"sound late for a while on a busy machine", 1.0, 150000, 0, 0, 8000000},
                                {"sound lost without a word", 1.0, 150000, 0, 0, 0, 3000000}};
    for (const Setting& s : settings) {
        SCOPED_TRACE(s.name);
        const Outcome out = Simulate(s, 300 * kSecond);
        const std::size_t units = out.lag.size();
        ASSERT_EQ(30000u, units);
        // Settled after two seconds; from then on the sound keeps its time within a unit, but for
        // the while sound lost without a word is waited for.
        for (std::size_t n = 200; n < units; ++n) {
            if (s.lose > 0 && n >= 5000 && n < 5300) continue;
            ASSERT_LE(std::abs(out.offset[n] - out.offset[200]), 2 * kLength) << n;
        }
        // At the end every unit is there by the time it ends, give or take the lumps' scatter.
        EXPECT_LE(*std::min_element(out.lag.end() - 50, out.lag.end()), kLength);
        if (s.stall == 0 && s.lose == 0) {
            EXPECT_EQ(0, out.silence) << "a drifting input is stretched, and one held back is waited for, not cut by silence";
        }
        EXPECT_LE(out.stretched * 100, kUnit) << "stretched by more than a hundredth: a change of pitch";
    }
    // Sound lost without a word is waited for a while, then made up by as much silence, marked.
    const Outcome dropped = Simulate(settings[6], 60 * kSecond);
    EXPECT_NEAR(3 * kRate / 10, dropped.silence, 2 * kUnit);
    ASSERT_EQ(1u, dropped.gaps.size());
    EXPECT_LT(dropped.gaps.front(), 5300);
    // Sound the store let go is made up with as much silence, marked, where it was lost.
    const Outcome past = Simulate(settings[3], 60 * kSecond);
    EXPECT_NEAR(2 * kRate, past.silence, 2 * kUnit);
    ASSERT_FALSE(past.gaps.empty());
    EXPECT_EQ(5000, past.gaps.front());
    EXPECT_EQ(0u, Simulate(settings[2], 60 * kSecond).gaps.size()) << "nothing lost in a stall the store holds";
}

TEST(SoundPacer, StretchesPcmBetweenItsEnds) {
    const std::int16_t in[] = {0, 100, 200, 300, 400, -400, -300, -200};  // four frames of two channels
    std::int16_t out[10] = {};
    standins::StretchPcm(reinterpret_cast<const BYTE*>(in), 4, reinterpret_cast<BYTE*>(out), 5, 2, 16);
    EXPECT_EQ((std::vector<std::int16_t>{0, 100, 150, 250}), std::vector<std::int16_t>(out, out + 4));
    EXPECT_EQ((std::vector<std::int16_t>{-300, -200}), std::vector<std::int16_t>(out + 8, out + 10)) << "the last frame";
    const BYTE eight[] = {0x80, 0x90, 0xA0};
    BYTE squeezed[2] = {};
    standins::StretchPcm(eight, 3, squeezed, 2, 1, 8);
    EXPECT_EQ((std::vector<BYTE>{0x80, 0xA0}), std::vector<BYTE>(squeezed, squeezed + 2));
}

}  // namespace
