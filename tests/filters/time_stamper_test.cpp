// The time stamper in Wine graphs: media-time numbering, keep/clear/clock stamp modes and freeze.
#include <gtest/gtest.h>

#include <cstring>

#include "media_sources.h"

#include "filters/time_stamper.h"

namespace ftest {
namespace {

class TimeStamperGraph : public FilterGraphTest {
protected:
    void Build(int count)
    {
        MediaType mt;
        MakeVideoType(mt, 32, 24);
        source = Add(new MediaSource(mt, VideoBytes(32, 24)), L"Source");
        source->Count = count;
        source->Duration = 333667;  // not 40 ms: clock mode must replace it
        stamper = Add(new filters::Tqz_TimeStamper, L"Tamponer Video");
        ASSERT_EQ(S_OK, Link(filters[0].Get(), filters[1].Get()));
        ASSERT_EQ(S_OK, AddGrabberAfter(filters[1].Get(), MEDIATYPE_Video));
    }
    MediaSource* source = nullptr;
    filters::Tqz_TimeStamper* stamper = nullptr;
};

TEST_F(TimeStamperGraph, KeepModeNumbersSamplesFromOneAndKeepsTheirTimes)
{
    Build(10);
    EXPECT_EQ(400000, stamper->StampStop()) << "initial stamps";
    ASSERT_TRUE(RunUntil(10));
    auto got = recorder.Samples();
    ASSERT_EQ(10u, got.size());
    for (size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(S_OK, got[i].mediaTimeResult);
        EXPECT_EQ(static_cast<LONGLONG>(i + 1), got[i].mediaStart);
        EXPECT_EQ(static_cast<LONGLONG>(i + 2), got[i].mediaStop);
        EXPECT_EQ(S_OK, got[i].timeResult);
        EXPECT_EQ(static_cast<REFERENCE_TIME>(i) * 333667, got[i].start);
        EXPECT_EQ(static_cast<REFERENCE_TIME>(i + 1) * 333667, got[i].stop);
    }
    EXPECT_EQ(9 * 333667, stamper->StampStart());
    EXPECT_EQ(0u, stamper->SampleCounter()) << "Stop resets the counter";
}

TEST_F(TimeStamperGraph, ClearModeRemovesTimesAndMediaTimes)
{
    Build(5);
    stamper->SetClockStamps();
    stamper->SetClearStamps();
    EXPECT_TRUE(stamper->ClearStamps());
    EXPECT_FALSE(stamper->ClockStamps());
    ASSERT_TRUE(RunUntil(5));
    for (const auto& s : recorder.Samples()) {
        EXPECT_NE(S_OK, s.timeResult);
        EXPECT_NE(S_OK, s.mediaTimeResult);
    }
    EXPECT_EQ(0, stamper->StampStart());
    EXPECT_EQ(0, stamper->StampStop());
}

TEST_F(TimeStamperGraph, ClockModeStampsFortyMillisecondsFromTwentyAfterStreamTime)
{
    Build(0);
    source->Pace = 5;
    source->Live = true;
    UseSystemClock();
    stamper->SetClockStamps();
    ASSERT_TRUE(RunUntil(8)) << source->Delivered.load() << " delivered, " << recorder.Size() << " grabbed";
    const REFERENCE_TIME streamStart = stamper->StartTime();
    auto got = recorder.Samples();
    ASSERT_GE(got.size(), 8u);
    REFERENCE_TIME last = got[0].start;
    for (const auto& s : got) {
        ASSERT_EQ(S_OK, s.timeResult);
        EXPECT_EQ(400000, s.stop - s.start) << "one PAL frame whatever the source said";
        const REFERENCE_TIME streamTime = s.clockNow - streamStart;
        EXPECT_LE(s.start, streamTime + 200000) << "20 ms after the stream time at the stamp";
        EXPECT_GE(s.start, streamTime + 200000 - 200000) << "stamped just before the grabber saw it";
        EXPECT_GE(s.start, last);
        last = s.start;
    }
    EXPECT_GT(got.back().start, got.front().start) << "the stamps follow the clock";
    // Switching back keeps the source's stamps again on the next run.
    stamper->SetKeepStamps();
    recorder.Samples();
    ComPtr<IMediaFilter> mf;
    graph.As(&mf);
    mf->SetSyncSource(nullptr);
    source->Count = 3;
    source->Pace = 0;
    const size_t had = recorder.Size();
    ASSERT_TRUE(RunUntil(had + 3));
    got = recorder.Samples();
    EXPECT_EQ(0, got[had].start);
    EXPECT_EQ(333667, got[had].stop);
    EXPECT_EQ(1, got[had].mediaStart) << "numbering starts again after Stop";
}

TEST_F(TimeStamperGraph, FreezeDropsEverythingAndNumberingResumesAfterIt)
{
    Build(0);
    source->Pace = 2;
    stamper->SetFreeze(true);
    ASSERT_TRUE(SUCCEEDED(control->Run()));
    ASSERT_TRUE(WaitUntil([&] { return source->Delivered.load() >= 10; }));
    EXPECT_EQ(0u, recorder.Size()) << "nothing leaves a frozen stamper";
    EXPECT_EQ(0u, stamper->SampleCounter()) << "the counter does not move while frozen";
    stamper->SetFreeze(false);
    ASSERT_TRUE(WaitUntil([&] { return recorder.Size() >= 3; }));
    stamper->SetFreeze(true);
    Sleep(20);
    const size_t frozenAt = recorder.Size();
    const std::uint32_t counter = stamper->SampleCounter();
    Sleep(30);
    EXPECT_EQ(frozenAt, recorder.Size());
    stamper->SetFreeze(false);
    ASSERT_TRUE(WaitUntil([&] { return recorder.Size() >= frozenAt + 2; }));
    control->Stop();
    auto got = recorder.Samples();
    for (size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(static_cast<LONGLONG>(i + 1), got[i].mediaStart) << "numbering goes on where it stopped";
    }
    EXPECT_EQ(static_cast<LONGLONG>(counter + 1), got[frozenAt].mediaStart);
    EXPECT_TRUE(stamper->Freeze() == false);
    stamper->SetFreeze(true);
    control->Run();
    control->Stop();
    EXPECT_TRUE(stamper->Freeze()) << "Stop keeps the freeze flag";
}

// Freezes at stream times the caller gives: later samples keep their stamps less the time frozen.
TEST_F(TimeStamperGraph, KeptStampsGoBackByTheFrozenTimeUntilTheStop)
{
    Build(0);
    source->Pace = 2;
    source->Fill = [](int index, BYTE* data, long) { std::memcpy(data, &index, sizeof index); };
    ASSERT_TRUE(SUCCEEDED(control->Run()));
    ASSERT_TRUE(WaitUntil([&] { return recorder.Size() >= 3; }));
    stamper->SetFreeze(true, 20000000);
    stamper->SetFreeze(false, 75000000);
    EXPECT_EQ(55000000, stamper->FrozenTime());
    ASSERT_TRUE(WaitUntil([&] { return recorder.Size() >= 6; }));
    stamper->SetFreeze(true, 90000000);
    stamper->SetFreeze(true, 95000000);  // already frozen: the freeze still began at 9 s
    stamper->SetFreeze(false, 100000000);
    EXPECT_EQ(65000000, stamper->FrozenTime()) << "freezes add up";
    const size_t resumed = recorder.Size();
    ASSERT_TRUE(WaitUntil([&] { return recorder.Size() >= resumed + 3; }));
    control->Stop();
    EXPECT_EQ(0, stamper->FrozenTime()) << "a stop ends the shift";
    REFERENCE_TIME shifted = 0;
    for (const auto& s : recorder.Samples()) {
        int index = 0;
        std::memcpy(&index, s.data.data(), sizeof index);
        const REFERENCE_TIME shift = index * 333667 - s.start;
        EXPECT_TRUE(shift == 0 || shift == 55000000 || shift == 65000000) << shift;
        EXPECT_GE(shift, shifted) << "a stamp goes back only by a freeze before it";
        EXPECT_EQ(333667, s.stop - s.start);
        shifted = shift;
    }
    EXPECT_EQ(65000000, shifted);
    source->Count = 2;
    source->Pace = 0;
    const size_t had = recorder.Size();
    ASSERT_TRUE(RunUntil(had + 2));
    EXPECT_EQ(0, recorder.Samples()[had].start) << "the next run's stamps as they come";
}

// Frozen before the run: the frozen time counts from the run's start, and clock stamps go back by it.
TEST_F(TimeStamperGraph, AFreezeFromBeforeTheRunCountsFromItsStartAndMovesClockStampsBack)
{
    Build(0);
    source->Pace = 5;
    source->Live = true;
    UseSystemClock();
    stamper->SetClockStamps();
    stamper->SetFreeze(true);
    ASSERT_TRUE(SUCCEEDED(control->Run()));
    // Wine's graph starts its stream time a moment after the run.
    ASSERT_TRUE(WaitUntil([&] { return source->Delivered.load() >= 10 && stamper->StreamTime() > 0; }));
    EXPECT_EQ(0u, recorder.Size());
    const REFERENCE_TIME before = stamper->StreamTime();
    stamper->SetFreeze(false);
    const REFERENCE_TIME frozen = stamper->FrozenTime();
    EXPECT_GE(frozen, before);
    EXPECT_LE(frozen, stamper->StreamTime());
    ASSERT_TRUE(WaitUntil([&] { return recorder.Size() >= 5; }));
    control->Stop();
    for (const auto& s : recorder.Samples()) {
        const REFERENCE_TIME streamTime = s.clockNow - stamper->StartTime() - frozen;
        EXPECT_LE(s.start, streamTime + 200000) << "20 ms after the stream time less the frozen time";
        EXPECT_GE(s.start, streamTime);
    }
}

}  // namespace
}  // namespace ftest
