// The time stamper in Wine graphs: media-time numbering, keep/clear/clock stamp modes and freeze.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <tuple>

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
    // A sound branch beside the picture's: a PCM source through its own stamper to a grabber of
    // its own (into heard) and a renderer.
    void BuildSound()
    {
        MediaType pcm;
        MakePcmType(pcm, 8000, 1, 16, false);
        sound = Add(new MediaSource(pcm, 320), L"Sound");
        follower = Add(new filters::Tqz_TimeStamper, L"AudioCap Tamponer");
        ComPtr<IBaseFilter> soundGrabber = AddStock(CLSID_SampleGrabber, L"Sound grabber");
        ComPtr<ISampleGrabber> grabbing;
        ASSERT_TRUE(soundGrabber && SUCCEEDED(soundGrabber.As(&grabbing)));
        grabbing->SetCallback(&heard, 0);
        ASSERT_EQ(S_OK, Link(sound->BaseFilterInterface(), follower->BaseFilterInterface()));
        ASSERT_EQ(S_OK, Link(follower->BaseFilterInterface(), soundGrabber.Get()));
        ASSERT_EQ(S_OK, Link(soundGrabber.Get(), AddStock(CLSID_NullRenderer, L"Sound renderer").Get()));
    }
    MediaSource* source = nullptr;
    filters::Tqz_TimeStamper* stamper = nullptr;
    MediaSource* sound = nullptr;
    filters::Tqz_TimeStamper* follower = nullptr;
    // A second branch's grabbed samples: it outlives the graph, which holds it.
    RecordingGrabber heard;
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

// The number a source's Fill wrote into a sample.
int IndexOf(const GrabbedSample& s)
{
    int index = -1;
    if (s.data.size() >= sizeof index) std::memcpy(&index, s.data.data(), sizeof index);
    return index;
}
void WriteIndex(int index, BYTE* data, long) { std::memcpy(data, &index, sizeof index); }

// Resumes at stream times the caller gives: a resumed stream goes on at its first sample taken from
// the resume on, placed where the last one before the freeze ended; later samples keep their stamps
// less the time left out, and freezes add up until the stop.
TEST_F(TimeStamperGraph, KeptStampsGoBackByTheFrozenTimeUntilTheStop)
{
    Build(0);
    source->Pace = 2;
    source->Fill = WriteIndex;
    ASSERT_TRUE(SUCCEEDED(control->Run()));
    ASSERT_TRUE(WaitUntil([&] { return recorder.Size() >= 3; }));
    stamper->SetFreeze(true);
    stamper->SetFreeze(false, 75000000);
    ASSERT_TRUE(WaitUntil([&] { return !stamper->Resuming() && recorder.Size() >= 6; }));
    const REFERENCE_TIME first = stamper->FrozenTime();
    // The second resume comes 10 s after where the stream stands (before any shift).
    const REFERENCE_TIME second = stamper->StampStop() + first + 100000000;
    stamper->SetFreeze(true);
    stamper->SetFreeze(false, second);
    const size_t resumed = recorder.Size();
    ASSERT_TRUE(WaitUntil([&] { return !stamper->Resuming() && recorder.Size() >= resumed + 3; }));
    const REFERENCE_TIME both = stamper->FrozenTime();
    control->Stop();
    EXPECT_EQ(0, stamper->FrozenTime()) << "a stop ends the shift";
    EXPECT_GT(both, first) << "freezes add up";
    const auto got = recorder.Samples();
    for (size_t i = 0; i < got.size(); ++i) {
        const REFERENCE_TIME taken = IndexOf(got[i]) * source->Duration;
        const REFERENCE_TIME shift = taken - got[i].start;
        EXPECT_TRUE(shift == 0 || shift == first || shift == both) << shift;
        EXPECT_EQ(source->Duration, got[i].stop - got[i].start);
        if (i == 0) continue;
        const REFERENCE_TIME before = IndexOf(got[i - 1]) * source->Duration - got[i - 1].start;
        EXPECT_GE(shift, before) << "a stamp goes back only by a freeze before it";
        if (shift != before) {
            EXPECT_EQ(got[i - 1].stop, got[i].start) << "the stream goes on where it was frozen";
            EXPECT_GE(taken, shift == first ? 75000000 : second) << "nothing taken while frozen";
        }
    }
    EXPECT_EQ(both, IndexOf(got.back()) * source->Duration - got.back().start);
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
    ASSERT_TRUE(WaitUntil([&] { return recorder.Size() >= 5; }));
    const REFERENCE_TIME frozen = stamper->FrozenTime();
    EXPECT_GE(frozen, before);
    EXPECT_LE(frozen, stamper->StreamTime() + 200000);
    control->Stop();
    const auto got = recorder.Samples();
    EXPECT_EQ(0, got.front().start) << "the stream goes on at the run's start";
    for (const auto& s : got) {
        const REFERENCE_TIME streamTime = s.clockNow - stamper->StartTime() - frozen;
        EXPECT_LE(s.start, streamTime + 200000) << "20 ms after the stream time less the frozen time";
        EXPECT_GE(s.start, streamTime);
    }
}

// A recording frozen before its run and resumed ahead of the samples still on their way (sound
// reaches the stamper after the moment it was taken): its picture goes on at the next picture that
// stands alone, its sound from that picture's moment on, both at the run's start and shifted alike;
// no stamp lies before the start.
TEST_F(TimeStamperGraph, AResumedRecordingGoesOnAtAPictureThatStandsAloneAndItsSoundThere)
{
    Build(0);
    source->Pace = 2;
    source->KeyEvery = 5;
    source->Fill = WriteIndex;
    ASSERT_NO_FATAL_FAILURE(BuildSound());
    sound->Pace = 1;
    sound->Duration = 200000;
    sound->Fill = WriteIndex;
    stamper->SetFreeze(true);
    follower->SetFreeze(true);
    ASSERT_TRUE(SUCCEEDED(control->Run()));
    ASSERT_TRUE(WaitUntil([&] { return source->Delivered.load() >= 12 && sound->Delivered.load() >= 12; }));
    const REFERENCE_TIME at = (source->Delivered.load() + 3) * source->Duration;
    follower->SetFreeze(false, at, stamper);
    stamper->SetFreeze(false, at);
    ASSERT_TRUE(WaitUntil([&] { return recorder.Size() >= 5 && heard.Size() >= 5; }));
    const REFERENCE_TIME frozen = stamper->FrozenTime();
    control->Stop();

    const auto pictures = recorder.Samples();
    const GrabbedSample& first = pictures.front();
    EXPECT_TRUE(first.sync) << "the first picture stands alone";
    const REFERENCE_TIME resumedAt = IndexOf(first) * source->Duration;
    EXPECT_GE(resumedAt, at);
    EXPECT_EQ(0, first.start) << "it goes on at the run's start";
    for (const auto& s : pictures) EXPECT_EQ(IndexOf(s) * source->Duration - frozen, s.start);
    const auto sounds = heard.Samples();
    ASSERT_FALSE(sounds.empty());
    EXPECT_EQ(0, sounds.front().start) << "the sound goes on at the run's start too";
    for (const auto& s : sounds) {
        const REFERENCE_TIME taken = IndexOf(s) * sound->Duration;
        EXPECT_GE(taken + sound->Duration / 2, resumedAt) << "no sound from before the first picture";
        EXPECT_EQ(taken - IndexOf(sounds.front()) * sound->Duration, s.start) << "shifted by what it left out";
    }
}

// A stop behind a source stopped at a moment, as a capture pin's stream control stops it: the
// picture taken at or after that moment, the one more its pin sends, is the stream's last by its own
// stamp, and the end follows it; the sound of an input that gave nothing since ends there all the
// same once its time has passed, and both renderers are told. A source that sends no picture more
// ends once it says it stopped, with every picture it sent; one that says nothing, all the same.
TEST_F(TimeStamperGraph, AStoppedSourcesPictureMoreEndsTheStreamAndASilentSoundEndsWithIt)
{
    Build(0);
    source->Pace = 40;
    source->Live = true;
    ASSERT_NO_FATAL_FAILURE(BuildSound());
    sound->Count = 1;
    sound->HoldEnd = true;
    UseSystemClock();
    ASSERT_TRUE(SUCCEEDED(control->Run()));
    ASSERT_TRUE(WaitUntil([&] { return source->Delivered.load() >= 5; }));
    const REFERENCE_TIME at = (source->Delivered.load() + 3) * source->Duration + source->Duration / 2;
    stamper->EndAt(at, nullptr, true);
    follower->EndAt(at, stamper);
    EXPECT_FALSE(follower->EndWhenDue()) << "the sound ends before the picture";
    ASSERT_TRUE(WaitUntil([&] { return follower->EndWhenDue(); }));
    EXPECT_TRUE(stamper->Ended());
    const int ended = source->Delivered.load();
    ComPtr<IMediaEvent> events;
    ASSERT_EQ(S_OK, graph->QueryInterface(IID_IMediaEvent, reinterpret_cast<void**>(events.GetAddressOf())));
    long code = 0;
    EXPECT_EQ(S_OK, events->WaitForCompletion(5000, &code)) << "a renderer was not told the end";
    ASSERT_TRUE(WaitUntil([&] { return source->Delivered.load() >= ended + 3; }));
    control->Stop();
    auto got = recorder.Samples();
    EXPECT_EQ(at / source->Duration + 1, got.back().start / source->Duration) << "the picture more is the last";
    EXPECT_EQ(static_cast<std::size_t>(got.back().start / source->Duration + 1), got.size()) << "one is missing";

    source->Count = 8;
    source->HoldEnd = true;
    const int before = source->Delivered.load();
    ASSERT_TRUE(SUCCEEDED(control->Run()));
    ASSERT_TRUE(WaitUntil([&] { return source->Delivered.load() >= before + 8; }));
    stamper->EndAt(8 * source->Duration, nullptr, true);
    // Its word is waited for a fifth of a second by the filter's clock: an end refused until then
    // is what counts, not how long a busy machine kept this thread from asking.
    constexpr REFERENCE_TIME kWordWait = 2000000;
    const bool endedAtOnce = stamper->EndWhenDue();
    if (stamper->StreamTime() < 8 * source->Duration + kWordWait) {
        EXPECT_FALSE(endedAtOnce) << "ended before the source said it stopped";
    }
    stamper->SourceStopped();
    ASSERT_TRUE(WaitUntil([&] { return stamper->EndWhenDue(); }));
    EXPECT_EQ(got.size() + 8, recorder.Size());

    // Sources that say nothing at the stop: one stopped at the moment that neither sends the picture
    // more nor says it stopped, nothing coming after the moment, and one that cannot be stopped and
    // stalls then (every picture before the moment came); one whose pictures carry no stamps, which
    // no stop holds back. Each stream ends within half a second of the moment by the filter's own
    // clock, with no picture that came after it, and the sound of an input that gave nothing ends
    // with it, silence taking its place from the picture's first moment to its end.
    for (const auto& [unstamped, stopped] : {std::pair{false, true}, std::pair{false, false}, std::pair{true, true}}) {
        SCOPED_TRACE(unstamped ? "pictures without stamps" : stopped ? "a source stopped untold" : "a source that stalls");
        control->Stop();
        const std::size_t pictures = recorder.Size(), sounds = heard.Size();
        std::vector<REFERENCE_TIME> came(4096, -1);
        source->Fill = [&](int i, BYTE* data, long bytes) {
            WriteIndex(i, data, bytes);
            if (i < static_cast<int>(came.size())) came[static_cast<std::size_t>(i)] = stamper->StreamTime();
        };
        source->Unstamped = unstamped;
        source->Count = unstamped ? 0 : 12;
        sound->GivesNothing = true;
        const int delivered = source->Delivered.load();
        ASSERT_TRUE(SUCCEEDED(control->Run()));
        ASSERT_TRUE(WaitUntil([&] { return source->Delivered.load() >= delivered + 12; }));
        Sleep(100);
        const REFERENCE_TIME endAt = stamper->StreamTime();
        stamper->EndAt(endAt, nullptr, stopped);
        follower->EndAt(endAt, stamper);
        // The end is asked for as the program's timer asks: what counts is the last time it was
        // refused, not when a busy machine let this thread ask again.
        REFERENCE_TIME ended = -1, refused = endAt;
        ASSERT_TRUE(WaitUntil([&] {
            if (ended < 0) {
                const REFERENCE_TIME now = stamper->StreamTime();
                (stamper->EndWhenDue() ? ended : refused) = now;
            }
            return ended >= 0 && follower->EndWhenDue();
        })) << "not ended within 10 s of the moment";
        EXPECT_LT(refused - endAt, 5000000) << "still not ended half a second and more after the moment";
        control->Stop();
        auto got = recorder.Samples();
        ASSERT_GT(got.size(), pictures + 5);
        for (std::size_t n = pictures; n < got.size(); ++n)
            EXPECT_LT(came[static_cast<std::size_t>(IndexOf(got[n]))], endAt) << "a picture that came after the moment";
        if (!unstamped) {
            EXPECT_EQ(pictures + 12, got.size()) << "a picture before the stall is missing";
        }
        // The silence from where the picture begins to where it ends, without a hole.
        const auto silence = heard.Samples();
        ASSERT_GT(silence.size(), sounds);
        REFERENCE_TIME at = unstamped ? silence[sounds].start : 0;
        if (unstamped) {
            EXPECT_NEAR(static_cast<double>(came[0]), static_cast<double>(at), 200000.0);
        }
        for (std::size_t n = sounds; n < silence.size(); ++n) {
            EXPECT_EQ(at, silence[n].start);
            EXPECT_EQ(static_cast<std::size_t>((silence[n].stop - at) * 8000 / 10000000 * 2), silence[n].data.size());
            EXPECT_TRUE(std::all_of(silence[n].data.begin(), silence[n].data.end(), [](BYTE b) { return b == 0; }));
            at = silence[n].stop;
        }
        EXPECT_NEAR(static_cast<double>(unstamped ? endAt : 12 * source->Duration), static_cast<double>(at), 1250.0)
            << "the silence ends elsewhere than the picture";
    }

    // A stopped source's picture more that comes late, stamped two pictures' time after the moment
    // (a busy machine made the camera skip them), while the sound goes on past where that picture
    // could have ended at the least: the sound waits, and ends where that picture ends.
    control->Stop();
    std::atomic<int> pictureAllowed{5}, soundAllowed{10};
    std::atomic<bool> released{false};
    auto paced = [&released](std::atomic<int>& allowed) {
        return [&released, &allowed](int i, BYTE* data, long bytes) {
            while (i >= allowed.load() && !released.load()) Sleep(1);
            WriteIndex(i, data, bytes);
        };
    };
    source->Fill = paced(pictureAllowed);
    source->Unstamped = false;
    source->Count = 0;
    source->Duration = 400000;
    source->Stamp = [](int i, bool& discontinuity) {
        discontinuity = false;
        return (i < 5 ? i : i + 2) * REFERENCE_TIME{400000};
    };
    sound->Fill = paced(soundAllowed);
    sound->GivesNothing = false;
    sound->HoldEnd = true;
    sound->Count = 0;
    sound->Pace = 0;
    sound->Duration = 200000;
    const std::size_t pictures = recorder.Size(), sounds = heard.Size();
    const int picturesBefore = source->Delivered.load(), soundsBefore = sound->Delivered.load();
    ASSERT_TRUE(SUCCEEDED(control->Run()));
    ASSERT_TRUE(WaitUntil([&] {
        return source->Delivered.load() >= picturesBefore + 5 && sound->Delivered.load() >= soundsBefore + 10;
    }));
    stamper->EndAt(5 * REFERENCE_TIME{400000}, nullptr, true);
    follower->EndAt(5 * REFERENCE_TIME{400000}, stamper);
    soundAllowed = 21;
    ASSERT_TRUE(WaitUntil([&] { return sound->Delivered.load() >= soundsBefore + 21; }));
    EXPECT_FALSE(follower->EndWhenDue()) << "the sound ended before its picture came";
    pictureAllowed = 6;
    ASSERT_TRUE(WaitUntil([&] { return stamper->Ended() && follower->EndWhenDue(); }));
    released = true;
    control->Stop();
    EXPECT_EQ(pictures + 6, recorder.Size()) << "the picture more is not the last";
    const auto late = heard.Samples();
    ASSERT_GT(late.size(), sounds);
    for (std::size_t n = sounds + 1; n < late.size(); ++n)
        EXPECT_EQ(late[n - 1].stop, late[n].start) << "a hole in the sound at " << late[n].start;
    EXPECT_EQ(8 * REFERENCE_TIME{400000}, late.back().stop) << "the sound ends elsewhere than the late picture";
    source->Stamp = nullptr;
}

// A picture stamped hours ahead of the recording's clock, in a recording whose pictures keep their
// slots: the stamper moves it to the clock, so that no file after it fills the hours with empty
// frames; the pictures around it pass as they came, none left out.
TEST_F(TimeStamperGraph, APictureStampedHoursAheadOfTheClockIsMovedToIt)
{
    constexpr REFERENCE_TIME kHours = 1000LL * 36000000000LL;
    Build(12);
    source->Duration = 400000;
    source->Pace = 40;
    source->Live = true;
    source->Fill = WriteIndex;
    source->Stamp = [](int i, bool& discontinuity) {
        discontinuity = false;
        return i * REFERENCE_TIME{400000} + (i == 5 ? kHours : 0);
    };
    UseSystemClock();
    stamper->SetPictureSlots(filters::TPictureSlots::kStatedFrameTime);
    ASSERT_TRUE(RunUntil(12));
    const auto got = recorder.Samples();
    ASSERT_EQ(12u, got.size());
    for (const auto& s : got) {
        // Wine's graph runs its filters a moment before their stream starts: it has run nothing then.
        const REFERENCE_TIME streamTime = std::max<REFERENCE_TIME>(s.clockNow - stamper->StartTime(), 0);
        EXPECT_LE(s.start, streamTime + 2 * 400000) << "picture " << IndexOf(s) << " ahead of the clock";
        EXPECT_LE(s.stop, streamTime + 2 * 400000) << "picture " << IndexOf(s) << " ends ahead of the clock";
        if (IndexOf(s) != 5) {
            EXPECT_EQ(IndexOf(s) * REFERENCE_TIME{400000}, s.start);
        }
    }
    EXPECT_EQ(0u, stamper->PicturesLeftOut());
}

// A camera faster than its format states (a picture every half or two thirds of its frame time, its
// stamps straying by up to half the time between two) through the recording's picture stamper at
// the format's frame time: about one picture passes for each frame time, as it goes to the file,
// and the others are left out and counted, across a freeze and its join too. A picture that others
// refer to is never left out; at 0 every picture passes; a new recording counts from nothing.
TEST(TimeStamperSlots, AFasterCamerasPicturesWhoseSlotIsTakenAreLeftOutAndCounted)
{
    constexpr REFERENCE_TIME kFrame = 400000;
    for (const REFERENCE_TIME interval : {kFrame / 2, kFrame * 667 / 1000}) {
        SCOPED_TRACE(testing::Message() << "a picture every " << interval << " 100 ns");
        auto* video = new filters::Tqz_TimeStamper;
        ComPtr<IBaseFilter> held = Hold(video);
        video->SetPictureSlots(kFrame);
        video->GetPin(0);
        video->Pause();  // pins made, as in a graph
        TestSample sample(false);
        const std::int64_t pattern[] = {0, 7, -9, 3, 10, -4, -10, 6, 1, -7};
        std::int64_t offered = 0, passed = 0, lastSlot = -1;
        REFERENCE_TIME lastStop = 0, lastOffered = 0;
        bool frozen = false, leftOut = false;
        for (std::int64_t n = 0; n < 1500; ++n) {
            REFERENCE_TIME taken = n * interval + (n > 0 ? pattern[n % 10] * interval / 20 : 0);
            // Frozen for a second at 10 s, with the space bar: the join leaves the second out.
            if (!frozen && taken >= 100000000 && taken < 110000000) video->SetFreeze(frozen = true, taken);
            if (frozen && taken >= 110000000) video->SetFreeze(frozen = false, taken);
            REFERENCE_TIME until = taken + interval;
            sample.SetTime(&taken, &until);
            sample.Sync = true;
            // The copy of the picture after one left out comes marked, as a transform marks it.
            sample.Discontinuity = leftOut;
            const HRESULT hr = video->Transform(&sample);
            if (frozen) {
                leftOut = false;
                continue;
            }
            ++offered;
            lastOffered = taken;
            leftOut = hr != S_OK;
            if (hr != S_OK) continue;
            ++passed;
            EXPECT_FALSE(sample.Discontinuity) << "picture " << n << " goes on marked as a gap in its source's time";
            const std::int64_t slot = sample.Start / kFrame;
            EXPECT_GE(slot, lastSlot) << "picture " << n << " before the one before it";
            EXPECT_LE(sample.Start - lastStop, kFrame + interval) << "no hole at picture " << n;
            lastSlot = slot;
            lastStop = sample.Stop;
        }
        EXPECT_EQ(static_cast<std::uint32_t>(offered - passed), video->PicturesLeftOut());
        EXPECT_GE(video->PicturesLeftOut(), static_cast<std::uint32_t>(offered / 4)) << "a slower camera's count";
        EXPECT_NEAR(static_cast<double>(passed), static_cast<double>(lastStop) / kFrame, 2.0)
            << "one picture in each slot of the time recorded";

        // Another picture at the last one's time takes the slot after it, if that is free; then
        // another is left out, but not when others refer to it; at 0 every picture passes.
        {
            REFERENCE_TIME again = lastOffered, until = again + interval;
            sample.SetTime(&again, &until);
            sample.Sync = true;
            ++offered;
            if (video->Transform(&sample) == S_OK) ++passed;
        }
        for (const auto& [sync, slots, passes] : {std::tuple{true, kFrame, false}, std::tuple{false, kFrame, true},
                                                  std::tuple{true, REFERENCE_TIME{0}, true}}) {
            video->SetPictureSlots(slots);
            REFERENCE_TIME again = lastOffered, until = again + interval;
            sample.SetTime(&again, &until);
            sample.Sync = sync;
            EXPECT_EQ(passes ? S_OK : S_FALSE, video->Transform(&sample)) << sync << " " << slots;
        }
        EXPECT_EQ(static_cast<std::uint32_t>(offered - passed + 1), video->PicturesLeftOut());
        const std::uint32_t counted = video->PicturesLeftOut();
        video->Stop();
        EXPECT_EQ(counted, video->PicturesLeftOut()) << "told after the stop too";
        video->Pause();
        EXPECT_EQ(0u, video->PicturesLeftOut()) << "a new recording";
        video->Stop();
    }
}

// Picture and sound handed to their stampers as a graph hands them on: pictures as they are taken,
// a sound sample Lag after it began (a coder's delay); frozen eight times for a second, 1.5 s apart.
// However late the sound, and whether the picture waits for one that stands alone, each stream's
// stamps go on without a hole and every join leaves out as much sound as picture, within half a
// sound sample, never more over the joins. Then the recording ends at a moment: the picture taken
// before it still passes, the sound on its way passes up to where the picture ends, nothing after,
// also in a sound stream stamped by the clock as it comes (sound a busy machine held back, its
// own stamps tell where it belongs).
TEST(TimeStamperJoins, EveryJoinLeavesOutAsMuchSoundAsPicture)
{
    struct TStream {
        ComPtr<IBaseFilter> held;
        filters::Tqz_TimeStamper* stamper;
        REFERENCE_TIME length, lag;
        int keyEvery, next = 0, joins = 0;
        REFERENCE_TIME end = 0, stamped = 0, left = 0;
    };
    for (const auto& [soundLength, lag, keyEvery, clocked] :
         {std::tuple{240000, 1000000, 1, false}, std::tuple{200000, 200000, 5, false}, std::tuple{240000, 1000000, 1, true}}) {
        SCOPED_TRACE(testing::Message() << "sound " << lag / 10000 << " ms late, a key picture every " << keyEvery
                                        << (clocked ? ", stamped by the clock" : ""));
        auto* video = new filters::Tqz_TimeStamper;
        auto* audio = new filters::Tqz_TimeStamper;
        if (clocked) audio->SetClockStamps();
        TStream picture{Hold(video), video, 400000, 0, keyEvery}, sound{Hold(audio), audio, soundLength, lag, 1};
        TestSample sample(false);
        auto offer = [&](TStream& s, REFERENCE_TIME now) {
            for (; s.next * s.length + s.lag <= now; ++s.next) {
                REFERENCE_TIME taken = s.next * s.length, until = taken + s.length;
                sample.SetTime(&taken, &until);
                sample.Sync = s.next % s.keyEvery == 0;
                if (s.stamper->Transform(&sample) != S_OK) continue;
                if (taken != s.end) {
                    ++s.joins;
                    s.left += taken - s.end;
                    EXPECT_EQ(s.stamped, sample.Start) << "a hole in the stamps at a join";
                }
                s.end = taken + s.length;
                s.stamped = sample.Stop;
            }
        };
        for (TStream* s : {&picture, &sound}) s->stamper->GetPin(0), s->stamper->Pause();  // pins made, as in a graph
        for (REFERENCE_TIME now = 0; now < 210000000; now += 10000) {
            const REFERENCE_TIME since = now - 10130000, click = since >= 0 && since < 200000000 ? since % 25000000 : 1;
            if (click == 0) {
                EXPECT_LE(std::abs(sound.left - picture.left), soundLength / 2) << "frozen " << picture.joins;
                video->SetFreeze(true, now);
                audio->SetFreeze(true, now, video);
            } else if (click == 10000000) {
                audio->SetFreeze(false, now, video);
                video->SetFreeze(false, now);
            }
            offer(picture, now);
            offer(sound, now);
        }
        EXPECT_EQ(8, picture.joins);
        EXPECT_EQ(8, sound.joins);
        EXPECT_GE(picture.left, 80000000) << "each join leaves out its frozen second";
        EXPECT_LE(std::abs(sound.left - picture.left), soundLength / 2);

        // Between two pictures' starts, with the sound still a coder's delay behind.
        const REFERENCE_TIME endAt = 210130000;
        video->EndAt(endAt);
        audio->EndAt(endAt, video);
        for (REFERENCE_TIME now = 210000000; now < 215000000; now += 10000) {
            offer(picture, now);
            offer(sound, now);
        }
        EXPECT_TRUE(video->Ended());
        EXPECT_TRUE(audio->Ended());
        EXPECT_EQ((endAt / 400000 + 1) * 400000, picture.end) << "the picture ends with the last taken before the end";
        EXPECT_LE(std::abs((sound.end - sound.left) - (picture.end - picture.left)), soundLength / 2)
            << "the sound ends where the picture does, as both are placed";
    }
}

}  // namespace
}  // namespace ftest
