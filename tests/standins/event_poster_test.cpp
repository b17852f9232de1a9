// The event poster in a graph component's graph: device loss and completion raised from another
// thread reach the component's handlers on the main thread, with their parameters whole.
#include <evcode.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <thread>
#include <tuple>

#include "dshow/ds_graph.h"
#include "first_standins_support.h"
#include "platform/standins/event_poster.h"

using namespace first_standins;
using standins::IQuillEventPoster;

namespace {

class EventPoster : public testing::Test {
protected:
    void SetUp() override {
        graph_.SetActive(true);
        filterGraph_ = graph_.As<IFilterGraph>(IID_IFilterGraph);
        ASSERT_TRUE(filterGraph_);
        poster_ = Create<IQuillEventPoster>(standins::CLSID_QuillEventPoster, standins::IID_IQuillEventPoster);
        ASSERT_TRUE(poster_);
        ASSERT_HRESULT_SUCCEEDED(poster_.As(&posterFilter_));
        ASSERT_HRESULT_SUCCEEDED(filterGraph_->AddFilter(posterFilter_.Get(), L"Poster"));
    }
    void TearDown() override {
        graph_.Stop();
        if (filterGraph_ && posterFilter_) filterGraph_->RemoveFilter(posterFilter_.Get());
    }
    // Raises from a thread of its own, as a device's streaming thread would.
    void FromWorker(const std::function<void()>& Raise) {
        std::thread worker(Raise);
        worker.join();
    }

    ComScope com_;
    dshow::TFilterGraph graph_{nullptr};
    ComPtr<IFilterGraph> filterGraph_;
    ComPtr<IQuillEventPoster> poster_;
    ComPtr<IBaseFilter> posterFilter_;
    const DWORD mainThread_ = GetCurrentThreadId();
};

TEST_F(EventPoster, DeviceLostAndBackReachTheHandlerOnTheMainThread) {
    std::vector<std::pair<IUnknown*, bool>> lost;
    bool offThread = false;
    graph_.OnGraphDeviceLost = [&](classlib::TObject*, IUnknown* device, bool available) {
        lost.emplace_back(device, available);
        if (GetCurrentThreadId() != mainThread_) offThread = true;
    };
    FromWorker([&] {
        EXPECT_HRESULT_SUCCEEDED(poster_->RaiseDeviceLost(FALSE));
        EXPECT_HRESULT_SUCCEEDED(poster_->RaiseDeviceLost(TRUE));
    });
    ASSERT_TRUE(PumpUntil([&] { return lost.size() >= 2; }));
    EXPECT_FALSE(offThread);
    ComPtr<IUnknown> identity;
    ASSERT_HRESULT_SUCCEEDED(poster_.As(&identity));
    ASSERT_EQ(lost.size(), 2u);
    EXPECT_EQ(lost[0].first, identity.Get());  // the device is named by its identity
    EXPECT_FALSE(lost[0].second);
    EXPECT_EQ(lost[1].first, identity.Get());
    EXPECT_TRUE(lost[1].second);
}

TEST_F(EventPoster, CompletionOfARunningGraphReachesTheHandler) {
    bool complete = false, offThread = false;
    HRESULT result = E_FAIL;
    graph_.OnGraphComplete = [&](classlib::TObject*, HRESULT hr, IBaseFilter*) {
        complete = true;
        result = hr;
        if (GetCurrentThreadId() != mainThread_) offThread = true;
    };
    ASSERT_TRUE(graph_.Play());
    ASSERT_TRUE(PumpUntil([&] {
        FILTER_STATE s = State_Stopped;
        return posterFilter_->GetState(0, &s) == S_OK && s == State_Running;
    }));
    FromWorker([&] { EXPECT_HRESULT_SUCCEEDED(poster_->RaiseEvent(EC_COMPLETE, S_OK, 0)); });
    ASSERT_TRUE(PumpUntil([&] { return complete; }));
    EXPECT_FALSE(offThread);
    EXPECT_EQ(result, S_OK);
}

TEST_F(EventPoster, OtherCodesKeepTheirPointerWideParameters) {
    const auto wide1 = static_cast<LONG_PTR>(~static_cast<ULONG_PTR>(0) - 0x4321);
    const auto wide2 = static_cast<LONG_PTR>(static_cast<ULONG_PTR>(1) << (sizeof(LONG_PTR) * 8 - 2));
    std::vector<std::tuple<long, LONG_PTR, LONG_PTR>> seen;
    graph_.OnDSEvent = [&](classlib::TComponent*, long code, LONG_PTR p1, LONG_PTR p2) {
        seen.emplace_back(code, p1, p2);
    };
    FromWorker([&] {
        EXPECT_HRESULT_SUCCEEDED(poster_->RaiseEvent(EC_USER + 3, wide1, wide2));
        EXPECT_HRESULT_SUCCEEDED(poster_->RaiseEvent(EC_TIME, 11, 22));
    });
    ASSERT_TRUE(PumpUntil([&] { return seen.size() >= 2; }));
    EXPECT_EQ(seen[0], std::make_tuple(static_cast<long>(EC_USER + 3), wide1, wide2));
    EXPECT_EQ(seen[1], std::make_tuple(static_cast<long>(EC_TIME), LONG_PTR{11}, LONG_PTR{22}));
}

TEST(EventPosterOutsideAGraph, AnswersNotInGraph) {
    ComScope com;
    auto poster = Create<IQuillEventPoster>(standins::CLSID_QuillEventPoster, standins::IID_IQuillEventPoster);
    ASSERT_TRUE(poster);
    EXPECT_EQ(poster->RaiseEvent(EC_COMPLETE, S_OK, 0), VFW_E_NOT_IN_GRAPH);
    EXPECT_EQ(poster->RaiseDeviceLost(FALSE), VFW_E_NOT_IN_GRAPH);
    // In a graph and out again: nothing is sent to the graph it left.
    auto graph = Create<IGraphBuilder>(CLSID_FilterGraph, IID_IGraphBuilder);
    ComPtr<IBaseFilter> filter;
    ASSERT_HRESULT_SUCCEEDED(poster.As(&filter));
    ASSERT_HRESULT_SUCCEEDED(graph->AddFilter(filter.Get(), L"Poster"));
    EXPECT_HRESULT_SUCCEEDED(poster->RaiseEvent(EC_USER, 1, 2));
    ASSERT_HRESULT_SUCCEEDED(graph->RemoveFilter(filter.Get()));
    EXPECT_EQ(poster->RaiseEvent(EC_USER, 1, 2), VFW_E_NOT_IN_GRAPH);
}

}  // namespace
