// The slot counter of files of one picture per frame time: a camera faster than its format states
// has the pictures whose slot is taken left out, so that its track lasts as long as the time it
// recorded; and stamps that jump hours ahead of the recording's clock, or a stop stamp near the
// largest time, fill nothing past the clock, without an overflow anywhere.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "filters/frame_slots.h"

namespace {

using filters::kNoClock;
using filters::TFrameSlots;

constexpr REFERENCE_TIME kFrame = 400000;
constexpr REFERENCE_TIME kHour = 36000000000LL;

// A camera's picture N every Interval, its stamp straying by a pattern of N's own within Jitter.
REFERENCE_TIME Stamp(std::int64_t n, REFERENCE_TIME interval, REFERENCE_TIME jitter)
{
    const std::int64_t pattern[] = {0, 7, -9, 3, 10, -4, -10, 6, 1, -7};
    return n * interval + (n > 0 ? pattern[n % 10] * jitter / 10 : 0);
}

// Pictures of a camera every 0.5 or 0.67 frame time, straying by up to half the time between two:
// those whose slot is taken are left out, one picture stays in each slot its stamp gives, and the
// track (its slots, empty ones included) lasts as long as the time recorded, within a frame time.
// Kept in the next slot instead, as a stream whose pictures refer to others must be, the track runs
// ahead by as much as it lasts.
TEST(FrameSlots, AFasterCamerasPicturesWhoseSlotIsTakenAreLeftOutAndItsTrackKeepsItsTime)
{
    for (const REFERENCE_TIME interval : {kFrame / 2, kFrame * 667 / 1000}) {
        SCOPED_TRACE(testing::Message() << "a picture every " << interval << " 100 ns");
        TFrameSlots slots;
        slots.SetFrameTime(kFrame, true);
        std::int64_t kept = 0, leftOut = 0, places = 0;
        std::int64_t lastSlot = -1, slotsWithPictures = 0, lastStampSlot = -1;
        constexpr int kPictures = 1500;  // a minute at 0.5, 40 s at 0.67
        for (int n = 0; n < kPictures; ++n) {
            const REFERENCE_TIME at = Stamp(n, interval, interval / 2);
            slotsWithPictures += at / kFrame != lastStampSlot;
            lastStampSlot = at / kFrame;
            const TFrameSlots::TPlace place = slots.Place(true, n == 0, at, at + interval, at);
            if (place.LeftOut) {
                ++leftOut;
                EXPECT_EQ(0, place.Count) << "a picture left out leaves no empty frame";
                continue;
            }
            places += place.Count + 1;
            const std::int64_t slot = places - 1;
            EXPECT_GT(slot, lastSlot);
            EXPECT_EQ((at - Stamp(0, interval, 0)) / kFrame, slot) << "picture " << n << " in the slot of its stamp";
            lastSlot = slot;
            ++kept;
        }
        const REFERENCE_TIME last = Stamp(kPictures - 1, interval, interval / 2);
        places += slots.End(last).Count;
        const double recorded = static_cast<double>(last + interval) / kFrame;
        EXPECT_NEAR(recorded, static_cast<double>(places), 1.0) << "the track lasts the time recorded";
        EXPECT_EQ(kPictures, kept + leftOut);
        EXPECT_EQ(slotsWithPictures, kept) << "one picture kept in each slot its pictures' stamps fall in";
        if (interval == kFrame / 2) {
            EXPECT_EQ(places, kept) << "two pictures a frame time leave no slot empty";
        }

        slots.SetFrameTime(kFrame);
        std::int64_t ahead = 0;
        for (int n = 0; n < kPictures; ++n) {
            const REFERENCE_TIME at = Stamp(n, interval, interval / 2);
            const TFrameSlots::TPlace place = slots.Place(true, n == 0, at, at + interval, at);
            EXPECT_FALSE(place.LeftOut);
            ahead += place.Count + 1;
        }
        EXPECT_EQ(kPictures, ahead) << "kept, every picture takes a slot of its own";
    }
}

// Pictures every frame time by the recording's clock, with stamps that jump hours ahead of it, one
// after another, some an hour apart beside it: each is taken at the clock, and the file has no more
// places than the clock ran frame times, within two. A last picture whose stop lies an hour, or
// near the largest time, after its start is held to the clock's reach only. Without a clock (a graph
// that runs as fast as it goes) a step or a hold is never longer than kMostFilledTime.
TEST(FrameSlots, StampsHoursAheadOfTheClockFillNothingPastIt)
{
    TFrameSlots slots;
    slots.SetFrameTime(kFrame);
    std::int64_t places = 0;
    REFERENCE_TIME clock = 0;
    std::vector<REFERENCE_TIME> wild = {kHour, 59 * 10000000LL, 10 * kHour, 1000 * kHour, INT64_MAX - 5, INT64_MAX};
    for (int n = 0; n < 300; ++n) {
        clock = n * kFrame + kFrame / 4;  // each picture comes a little after its stamp
        REFERENCE_TIME at = n * kFrame;
        const REFERENCE_TIME jump = wild[static_cast<std::size_t>(n / 20) % wild.size()];
        if (n % 20 == 10) at = jump < INT64_MAX - kHour ? jump + at : jump;
        if (n >= 200 && n < 250) at = n * kFrame + (n - 199) * 59 * 10000000LL;  // 59 s apart and more
        const REFERENCE_TIME stop = at > INT64_MAX - kFrame ? INT64_MAX : at + kFrame;
        const TFrameSlots::TPlace place = slots.Place(true, n == 0, at, stop, clock);
        EXPECT_FALSE(place.LeftOut);
        EXPECT_LE(place.Start, TFrameSlots::Reach(clock, kFrame)) << "picture " << n;
        EXPECT_LE(place.Stop, TFrameSlots::Reach(clock, kFrame)) << "picture " << n;
        places += place.Count + 1;
        EXPECT_LE(places, clock / kFrame + 3) << "picture " << n << " filled past the clock";
    }
    EXPECT_EQ(300, places) << "every picture has its place, and no place is empty";
    // Ten pictures, the last one's stop stamp an hour after its start, or the largest time.
    for (const REFERENCE_TIME stop : {9 * kFrame + kHour, INT64_MAX - 1, INT64_MAX}) {
        TFrameSlots last;
        last.SetFrameTime(kFrame);
        std::int64_t used = 0;
        for (int n = 0; n < 10; ++n) {
            const REFERENCE_TIME at = n * kFrame;
            used += last.Place(true, n == 0, at, n == 9 ? stop : at + kFrame, at + kFrame / 4).Count + 1;
        }
        const REFERENCE_TIME ended = 9 * kFrame + kFrame / 2;
        const TFrameSlots::TEmpty tail = last.End(ended);
        EXPECT_GE(tail.Count, 0);
        EXPECT_LE(used + tail.Count, ended / kFrame + 3) << "the last picture held past the clock, to " << stop;
    }

    // No clock: the stamps alone, a step of more than kMostFilledTime a new run, a hold at most that.
    for (const REFERENCE_TIME first : {REFERENCE_TIME{0}, INT64_MIN, INT64_MAX - kHour, -kHour}) {
        SCOPED_TRACE(first);
        TFrameSlots alone;
        alone.SetFrameTime(kFrame);
        alone.Place(true, false, first, first + kFrame, kNoClock);
        const TFrameSlots::TPlace hour = alone.Place(true, false, filters::AddTime(first, kHour), INT64_MAX, kNoClock);
        EXPECT_EQ(0, hour.Count) << "an hour's step is a new timeline";
        const TFrameSlots::TEmpty tail = alone.End(kNoClock);
        EXPECT_LE(tail.Count, filters::kMostFilledTime / kFrame) << "held no longer than a step may be";
        EXPECT_GE(tail.Count, 0);
        const TFrameSlots::TPlace back = alone.Place(true, false, INT64_MIN, INT64_MIN + 1, kNoClock);
        EXPECT_EQ(0, back.Count);
        const TFrameSlots::TPlace most = alone.Place(true, false, INT64_MAX, INT64_MAX, kNoClock);
        EXPECT_EQ(0, most.Count) << "from the smallest time to the largest is no step to fill";
        EXPECT_EQ(0, alone.End(kNoClock).Count);
    }
    EXPECT_EQ(INT64_MAX, filters::AddTime(INT64_MAX - 1, kFrame));
    EXPECT_EQ(INT64_MIN, filters::AddTime(INT64_MIN + 1, -kFrame));
    EXPECT_EQ(INT64_MAX, filters::TimeBetween(INT64_MIN, INT64_MAX));
    EXPECT_EQ(-INT64_MAX, filters::TimeBetween(INT64_MAX, INT64_MIN));
    EXPECT_EQ(INT64_MAX, TFrameSlots::Reach(kNoClock, kFrame));
    EXPECT_EQ(INT64_MAX, TFrameSlots::Reach(INT64_MAX - 1, kFrame));
}

}  // namespace
