// The control filter in Wine graphs: one sample per gate request with gapless media times, the
// gate open after Stop, and the stop call made after Stop has returned.
#include <gtest/gtest.h>

#include "media_sources.h"

#include "filters/control_unit.h"

namespace ftest {
namespace {

void PumpMessages()
{
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

class ControlGraph : public FilterGraphTest {
protected:
    void Build()
    {
        MediaType mt;
        MakeVideoType(mt, 32, 24);
        source = Add(new MediaSource(mt, VideoBytes(32, 24)), L"Source");
        source->Pace = 1;
        gate = Add(new filters::Tqz_ControlFilter, L"Control Filter");
        // As the image-by-image builder sets it up.
        gate->SetMarkSyncPoint(true);
        gate->SetMarkDiscontinuity(true);
        gate->SetMediaTimeStep(1);
        gate->SetMediaTimeFlag(true);
        gate->SetNextMediaTime(0);
        gate->SetPassNext(false);
        ASSERT_EQ(S_OK, Link(filters[0].Get(), filters[1].Get()));
        ASSERT_EQ(S_OK, AddGrabberAfter(filters[1].Get(), MEDIATYPE_Video));
    }
    // Opens the gate and waits until the sample it lets through has arrived.
    void Request(size_t expect)
    {
        gate->SetPassNext(true);
        ASSERT_TRUE(WaitUntil([&] { return recorder.Size() >= expect; }));
        ASSERT_TRUE(WaitUntil([&] { return !gate->PassNext(); }));
    }
    MediaSource* source = nullptr;
    filters::Tqz_ControlFilter* gate = nullptr;
};

TEST_F(ControlGraph, OnePicturePerRequestWithGaplessMediaTimes)
{
    Build();
    ASSERT_TRUE(SUCCEEDED(control->Run()));
    ASSERT_TRUE(WaitUntil([&] { return source->Delivered.load() >= 20; }));
    EXPECT_EQ(0u, recorder.Size()) << "a closed gate lets nothing through";
    for (size_t i = 1; i <= 5; ++i) {
        Request(i);
    }
    // Two requests before a sample arrives still let one through.
    source->Pace = 30;
    Sleep(40);
    gate->SetPassNext(true);
    gate->SetPassNext(true);
    ASSERT_TRUE(WaitUntil([&] { return recorder.Size() >= 6; }));
    const int delivered = source->Delivered.load();
    ASSERT_TRUE(WaitUntil([&] { return source->Delivered.load() >= delivered + 3; }));
    EXPECT_EQ(6u, recorder.Size());
    control->Stop();
    auto got = recorder.Samples();
    ASSERT_EQ(6u, got.size());
    for (size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(S_OK, got[i].mediaTimeResult);
        EXPECT_EQ(static_cast<LONGLONG>(i), got[i].mediaStart);
        EXPECT_EQ(static_cast<LONGLONG>(i + 1), got[i].mediaStop);
        EXPECT_TRUE(got[i].sync);
        EXPECT_TRUE(got[i].discontinuity);
    }
    EXPECT_EQ(6, gate->NextMediaTime()) << "Stop does not reset the media time";
    EXPECT_TRUE(gate->PassNext()) << "the gate is open after Stop";
}

TEST_F(ControlGraph, TheFirstSampleAfterARestartPassesAndANewRecordingStartsAtZero)
{
    Build();
    ASSERT_TRUE(SUCCEEDED(control->Run()));
    Request(1);
    Request(2);
    control->Stop();
    ASSERT_TRUE(gate->PassNext());
    gate->SetNextMediaTime(0);  // the builder of the next recording
    ASSERT_TRUE(SUCCEEDED(control->Run()));
    ASSERT_TRUE(WaitUntil([&] { return recorder.Size() >= 3; }));
    const int delivered = source->Delivered.load();
    ASSERT_TRUE(WaitUntil([&] { return source->Delivered.load() >= delivered + 5; }));
    control->Stop();
    auto got = recorder.Samples();
    ASSERT_EQ(3u, got.size()) << "one sample through the gate left open by Stop";
    EXPECT_EQ(0, got[2].mediaStart);
    EXPECT_EQ(1, got[2].mediaStop);
}

TEST_F(ControlGraph, OnStopRunsAfterStopHasReturned)
{
    Build();
    std::atomic<bool> inStop{false};
    int calls = 0;
    bool calledInsideStop = false;
    gate->OnStop = [&] {
        ++calls;
        calledInsideStop = calledInsideStop || inStop.load();
    };
    ASSERT_TRUE(SUCCEEDED(control->Run()));
    Request(1);
    inStop = true;
    ASSERT_EQ(S_OK, control->Stop());
    inStop = false;
    EXPECT_EQ(0, calls) << "the finish waits for the message loop";
    PumpMessages();
    EXPECT_EQ(1, calls);
    EXPECT_FALSE(calledInsideStop);
    // A finish still waiting when the filter goes runs then.
    ASSERT_TRUE(SUCCEEDED(control->Run()));
    control->Stop();
    EXPECT_EQ(1, calls);
    gate->RunPendingStops();
    EXPECT_EQ(2, calls);
    gate->OnStop = nullptr;  // the test's counters go before the filter
}

}  // namespace
}  // namespace ftest
