// The ASF writer's pacing of pictures to its profile's frame rate: each slot of the profile's frame
// time is coded once, pictures early for a slot already taken are dropped, slots the input skipped
// repeat the picture before, and times that a source's clock gets wrong neither fill the file with
// repeats nor overflow.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "platform/standins/asf_conversion.h"

namespace {

using standins::TFramePacer;

// The slots the pictures coded fill, in coding order: repeats first, then the picture's own.
struct Paced {
    std::vector<std::int64_t> Slots;
    int Taken = 0, Dropped = 0, Repeated = 0;
};

Paced Pace(TFramePacer& pacer, const std::vector<REFERENCE_TIME>& starts) {
    Paced out;
    for (REFERENCE_TIME start : starts) {
        const TFramePacer::TPlace place = pacer.Place(start, true);
        if (!place.Take) {
            ++out.Dropped;
            continue;
        }
        for (std::int64_t n = place.Slot - place.Repeats; n < place.Slot; ++n) out.Slots.push_back(n);
        out.Slots.push_back(place.Slot);
        ++out.Taken;
        out.Repeated += static_cast<int>(place.Repeats);
    }
    return out;
}

std::vector<std::int64_t> Count(std::int64_t n) {
    std::vector<std::int64_t> slots;
    for (std::int64_t i = 0; i < n; ++i) slots.push_back(i);
    return slots;
}

// A second of a camera's 25 pictures, from its own clock's start.
std::vector<REFERENCE_TIME> CameraSecond(REFERENCE_TIME origin) {
    std::vector<REFERENCE_TIME> starts;
    for (int i = 0; i < 25; ++i) starts.push_back(origin + i * 400000);
    return starts;
}

TEST(FramePacer, FewerPicturesASecondDropSomeMoreRepeatSomeEverySlotOnce) {
    TFramePacer pacer;
    pacer.Reset(10000000 / 15);
    const Paced down = Pace(pacer, CameraSecond(123456789));
    EXPECT_EQ(Count(15), down.Slots);
    EXPECT_EQ(10, down.Dropped);
    EXPECT_EQ(0, down.Repeated);
    EXPECT_EQ(123456789 + 3 * (10000000 / 15), pacer.SlotStart(3)) << "slots count from the first picture";

    pacer.Reset(10000000 / 30);
    const Paced up = Pace(pacer, CameraSecond(0));
    EXPECT_EQ(Count(up.Slots.back() + 1), up.Slots);
    EXPECT_EQ(29, up.Slots.back()) << "the 25th picture's slot at 0.96 s";
    EXPECT_EQ(0, up.Dropped);
    EXPECT_EQ(5, up.Repeated);

    // A live source's late picture keeps its slot while it is nearer it than the next.
    pacer.Reset(400000);
    const Paced late = Pace(pacer, {0, 400000, 800000 + 190000, 1200000, 1600000 - 150000});
    EXPECT_EQ(Count(5), late.Slots);
    EXPECT_EQ(0, late.Dropped + late.Repeated);
}

TEST(FramePacer, UntimedPicturesTakeTheNextSlots) {
    TFramePacer pacer;
    pacer.Reset(400000);
    for (std::int64_t n = 0; n < 4; ++n) {
        const TFramePacer::TPlace place = pacer.Place(0, false);
        EXPECT_TRUE(place.Take);
        EXPECT_EQ(n, place.Slot);
        EXPECT_EQ(0, place.Repeats);
    }
    // A first picture without a time puts the first slot at 0: a timed one then counts from there.
    const TFramePacer::TPlace timed = pacer.Place(6 * 400000, true);
    EXPECT_EQ(6, timed.Slot);
    EXPECT_EQ(2, timed.Repeats);
}

TEST(FramePacer, TimesAClockGotWrongAreDroppedOrLeftAsAGap) {
    TFramePacer pacer;
    pacer.Reset(400000);
    EXPECT_TRUE(pacer.Place(10000000, true).Take);
    EXPECT_FALSE(pacer.Place(0, true).Take) << "before the first picture";
    EXPECT_FALSE(pacer.Place(INT64_MIN, true).Take);
    EXPECT_FALSE(pacer.Place(INT64_MAX, true).Take) << "a slot no time can hold";
    // A jump of ten minutes is a gap in the file's times, not ten minutes of one picture repeated.
    const TFramePacer::TPlace jump = pacer.Place(10000000 + 600LL * 10000000, true);
    EXPECT_TRUE(jump.Take);
    EXPECT_EQ(15000, jump.Slot);
    EXPECT_EQ(0, jump.Repeats);
    const TFramePacer::TPlace next = pacer.Place(10000000 + 600LL * 10000000 + 2 * 400000, true);
    EXPECT_EQ(15002, next.Slot);
    EXPECT_EQ(1, next.Repeats) << "after the gap, skipped slots repeat again";
    // A frame time of nothing is taken as the shortest there is, never divided by.
    pacer.Reset(0);
    EXPECT_EQ(1, pacer.FrameTime());
    EXPECT_TRUE(pacer.Place(-5, true).Take);
    EXPECT_EQ(5, pacer.Place(0, true).Slot);
}

}  // namespace
