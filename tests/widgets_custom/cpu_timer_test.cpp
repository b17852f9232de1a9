// The CPU meter on synthetic performance data and system times, on Wine's own with a core kept
// busy, and the threaded timer.
#include <windows.h>
#include <winperf.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <thread>

#include "classlib/exceptions.h"
#include "custom_test_support.h"
#include "exception_text.h"
#include "widgets/custom/cpu_usage.h"
#include "widgets/custom/threaded_timer.h"

using namespace customtest;
using quill_test::MessageOf;

namespace {

// A performance data block: a header, an unrelated object, then (when Instances >= 0) the
// processor object with two counters (the processor-time one second) and one instance per value.
struct PerfBlock {
    std::vector<std::uint8_t> bytes;
    template <typename T>
    size_t Put(const T& v) {
        size_t at = bytes.size();
        bytes.resize(at + sizeof v);
        std::memcpy(bytes.data() + at, &v, sizeof v);
        return at;
    }
    template <typename T>
    T& At(size_t offset) { return *reinterpret_cast<T*>(bytes.data() + offset); }
};

PerfBlock MakeBlock(const std::vector<std::int64_t>& Idle, WORD Second, bool WithProcessor = true) {
    PerfBlock b;
    PERF_DATA_BLOCK h{};
    std::memcpy(h.Signature, L"PERF", 8);
    h.HeaderLength = sizeof h;
    h.NumObjectTypes = WithProcessor ? 2 : 1;
    h.SystemTime = SYSTEMTIME{2024, 3, 0, 5, 10, 20, Second, 0};
    size_t header = b.Put(h);
    // An unrelated object (memory, 4) without counters.
    PERF_OBJECT_TYPE other{};
    other.TotalByteLength = sizeof other;
    other.DefinitionLength = other.HeaderLength = sizeof other;
    other.ObjectNameTitleIndex = 4;
    other.NumInstances = PERF_NO_INSTANCES;
    b.Put(other);
    if (WithProcessor) {
        PERF_OBJECT_TYPE cpu{};
        cpu.HeaderLength = sizeof cpu;
        cpu.DefinitionLength = sizeof cpu + 2 * sizeof(PERF_COUNTER_DEFINITION);
        cpu.ObjectNameTitleIndex = 238;
        cpu.NumCounters = 2;
        cpu.NumInstances = static_cast<LONG>(Idle.size());
        size_t object = b.Put(cpu);
        PERF_COUNTER_DEFINITION c{};
        c.ByteLength = sizeof c;
        c.CounterNameTitleIndex = 142;  // user time, first
        c.CounterSize = 8;
        c.CounterOffset = 8;
        b.Put(c);
        c.CounterNameTitleIndex = 6;
        c.CounterOffset = 16;
        b.Put(c);
        for (std::int64_t v : Idle) {
            PERF_INSTANCE_DEFINITION i{};
            i.ByteLength = sizeof i + 8;  // and its name
            b.Put(i);
            b.Put(std::uint64_t{0x0030});
            PERF_COUNTER_BLOCK cb{};
            cb.ByteLength = sizeof cb + 4 + 16;
            b.Put(cb);
            b.Put(std::uint32_t{0});
            b.Put(std::int64_t{-1});
            b.Put(v);
        }
        b.At<PERF_OBJECT_TYPE>(object).TotalByteLength = static_cast<DWORD>(b.bytes.size() - object);
    }
    b.At<PERF_DATA_BLOCK>(header).TotalByteLength = static_cast<DWORD>(b.bytes.size());
    return b;
}

// A meter fed with blocks one query at a time (the buffer grows as the real query makes it).
struct FedMeter {
    std::vector<PerfBlock> blocks;
    size_t next = 0;
    int queries = 0;
    widgets::custom::TCpuUsageMeter meter{true, [this](std::vector<std::uint8_t>& buffer, DWORD& size) -> LONG {
                                      ++queries;
                                      const auto& data = blocks.at(std::min(next, blocks.size() - 1)).bytes;
                                      if (buffer.size() < data.size()) return ERROR_MORE_DATA;
                                      ++next;
                                      std::memcpy(buffer.data(), data.data(), data.size());
                                      size = static_cast<DWORD>(data.size());
                                      return ERROR_SUCCESS;
                                  },
                                  nullptr};
};

constexpr std::int64_t kSecond = 10000000;  // 100 ns units

TEST(CpuMeter, UsageBetweenTwoSamplesAndZeroBeforeTheSecond) {
    FedMeter f;
    f.blocks = {MakeBlock({0, 0, 0}, 1), MakeBlock({kSecond / 4, kSecond, kSecond / 2}, 2)};
    EXPECT_EQ(f.meter.GetCPUCount(), 3);
    // One sample only: nothing to compare with, so no 100% at the start.
    EXPECT_EQ(f.meter.GetCPUUsage(0), 0.0);
    f.meter.CollectCPUData();
    EXPECT_DOUBLE_EQ(f.meter.GetCPUUsage(0), 0.75);
    EXPECT_DOUBLE_EQ(f.meter.GetCPUUsage(1), 0.0);
    EXPECT_DOUBLE_EQ(f.meter.GetCPUUsage(2), 0.5);
    EXPECT_EQ(MessageOf<classlib::Exception>([&] { f.meter.GetCPUUsage(3); }), L"CPU index out of bounds");
    // Same system time: 0 for every instance.
    f.blocks.push_back(MakeBlock({kSecond, kSecond, kSecond}, 2));
    f.meter.CollectCPUData();
    EXPECT_EQ(f.meter.GetCPUUsage(0), 0.0);
}

TEST(CpuMeter, BufferGrowsInStepsAndKeepsItsSize) {
    FedMeter f;
    std::vector<std::int64_t> many(400, 0);  // about 16 KB
    f.blocks = {MakeBlock(many, 1), MakeBlock(many, 2)};
    f.meter.CollectCPUData();
    const size_t need = f.blocks[0].bytes.size();
    EXPECT_GE(f.meter.BufferSize(), need);
    EXPECT_LT(f.meter.BufferSize(), need + widgets::custom::TCpuUsageMeter::BufferStep);
    EXPECT_EQ((f.meter.BufferSize() - widgets::custom::TCpuUsageMeter::InitialBufferSize) % widgets::custom::TCpuUsageMeter::BufferStep, 0u);
    const int queries = f.queries;
    f.meter.CollectCPUData();
    EXPECT_EQ(f.queries, queries + 1);
}

TEST(CpuMeter, MalformedBlocksRaiseAndKeepTheLastGoodSample) {
    FedMeter f;
    PerfBlock good1 = MakeBlock({0, 0}, 1), good2 = MakeBlock({kSecond / 2, kSecond / 2}, 2);
    PerfBlock shortBlock = good2;
    shortBlock.bytes.resize(sizeof(PERF_DATA_BLOCK) + 10);
    PerfBlock unsigned_ = good2;
    unsigned_.bytes[0] = 'X';
    PerfBlock pastEnd = good2;
    pastEnd.At<PERF_OBJECT_TYPE>(sizeof(PERF_DATA_BLOCK)).TotalByteLength = 0x10000;  // the first object
    PerfBlock badOffset = good2;
    reinterpret_cast<PERF_COUNTER_DEFINITION*>(badOffset.bytes.data() + sizeof(PERF_DATA_BLOCK) +
                                               2 * sizeof(PERF_OBJECT_TYPE) + sizeof(PERF_COUNTER_DEFINITION))
        ->CounterOffset = 0x7FFFFFF0;
    f.blocks = {good1, shortBlock, unsigned_, pastEnd, badOffset, good2};
    f.meter.CollectCPUData();
    EXPECT_EQ(MessageOf<classlib::Exception>([&] { f.meter.CollectCPUData(); }),
              L"Invalid performance data: the block is shorter than its stated length.");
    EXPECT_EQ(MessageOf<classlib::Exception>([&] { f.meter.CollectCPUData(); }),
              L"Invalid performance data: the block has no PERF signature.");
    EXPECT_EQ(MessageOf<classlib::Exception>([&] { f.meter.CollectCPUData(); }),
              L"Invalid performance data: an object runs past the end of the block.");
    EXPECT_EQ(MessageOf<classlib::Exception>([&] { f.meter.CollectCPUData(); }),
              L"Invalid performance data: the counter lies outside its counter block.");
    f.meter.CollectCPUData();
    EXPECT_DOUBLE_EQ(f.meter.GetCPUUsage(1), 0.5);
}

TEST(CpuMeter, MoreInstancesThanAtTheFirstSampleStartAfresh) {
    FedMeter f;
    f.blocks = {MakeBlock({0, 0}, 1), MakeBlock({0, 0, 0, 0}, 2), MakeBlock({kSecond, kSecond, kSecond, 0}, 3)};
    f.meter.CollectCPUData();
    f.meter.CollectCPUData();
    EXPECT_EQ(f.meter.GetCPUCount(), 4);
    EXPECT_EQ(f.meter.GetCPUUsage(3), 0.0);
    f.meter.CollectCPUData();
    EXPECT_DOUBLE_EQ(f.meter.GetCPUUsage(3), 1.0);
    EXPECT_DOUBLE_EQ(f.meter.GetCPUUsage(0), 0.0);
}

TEST(CpuMeter, WithoutProcessorDataTheMeterReadsZero) {
    FedMeter f;
    f.blocks = {MakeBlock({}, 1, false)};
    EXPECT_EQ(f.meter.GetCPUCount(), 1);
    EXPECT_EQ(f.meter.GetCPUUsage(0), 0.0);
    // Wine's own performance data: whatever it holds, the meter answers without raising.
    widgets::custom::CollectCPUData();
    widgets::custom::CollectCPUData();
    const int count = widgets::custom::GetCPUCount();
    ASSERT_GE(count, 1);
    for (int i = 0; i < count; ++i) {
        const double usage = widgets::custom::GetCPUUsage(i);
        EXPECT_GE(usage, 0.0);
        EXPECT_LE(usage, 1.0);
    }
}

// A meter whose performance data holds no processor object (as Wine's), with the system times
// fed one query at a time.
struct TimesMeter {
    struct Times {
        std::int64_t idle, kernel, user;
    };
    std::vector<Times> times;
    size_t next = 0;
    bool answer = true;
    bool withProcessor = false;
    int queries = 0;
    widgets::custom::TCpuUsageMeter meter{
        true,
        [this](std::vector<std::uint8_t>& buffer, DWORD& size) -> LONG {
            ++queries;
            const auto block = withProcessor ? MakeBlock({0, 0}, 1) : MakeBlock({}, 1, false);
            if (buffer.size() < block.bytes.size()) return ERROR_MORE_DATA;
            std::memcpy(buffer.data(), block.bytes.data(), block.bytes.size());
            size = static_cast<DWORD>(block.bytes.size());
            return ERROR_SUCCESS;
        },
        nullptr,
        [this](std::vector<widgets::custom::TProcessorTimes>& processors) {
            if (!answer) return false;
            const Times& t = times.at(std::min(next++, times.size() - 1));
            processors.assign(1, {t.idle, t.kernel, t.user});
            return true;
        }};
};

TEST(CpuMeter, WithoutProcessorDataTheSystemTimesGiveTheLoad) {
    TimesMeter f;
    // Two processors: in one second of each, 0.5 s idle in all (kernel time holds the idle time).
    f.times = {{10 * kSecond, 12 * kSecond, 4 * kSecond},
               {10 * kSecond + kSecond / 2, 13 * kSecond + kSecond / 2, 4 * kSecond + kSecond / 2},
               {10 * kSecond + kSecond / 2, 13 * kSecond + kSecond / 2, 4 * kSecond + kSecond / 2}};
    EXPECT_EQ(f.meter.GetCPUCount(), 2);
    EXPECT_EQ(f.meter.GetCPUUsage(0), 0.0);
    f.meter.CollectCPUData();
    EXPECT_DOUBLE_EQ(f.meter.GetCPUUsage(0), 0.75);
    EXPECT_DOUBLE_EQ(f.meter.GetCPUUsage(1), 0.75);
    EXPECT_EQ(MessageOf<classlib::Exception>([&] { f.meter.GetCPUUsage(2); }), L"CPU index out of bounds");
    // No time passed: nothing to measure.
    f.meter.CollectCPUData();
    EXPECT_EQ(f.meter.GetCPUUsage(0), 0.0);

    // Once the performance data has shown no processor, only the times are read (a reading of the
    // data costs Wine tens of milliseconds of the main thread).
    EXPECT_EQ(1, f.queries);

    // Times that stop answering send the meter back to the performance data: a system that
    // cannot tell its times either reads 0 on one instance.
    f.answer = false;
    f.meter.CollectCPUData();
    EXPECT_EQ(2, f.queries);
    EXPECT_EQ(f.meter.GetCPUCount(), 1);
    EXPECT_EQ(f.meter.GetCPUUsage(0), 0.0);
    // Processor data is then read from a fresh start, and the times again once it is gone.
    f.withProcessor = true;
    f.meter.CollectCPUData();
    EXPECT_EQ(f.meter.GetCPUUsage(0), 0.0);
    f.withProcessor = false;
    f.answer = true;
    f.times = {{0, kSecond, 0}, {kSecond / 4, 2 * kSecond, 0}};
    f.next = 0;
    f.meter.CollectCPUData();
    EXPECT_EQ(f.meter.GetCPUUsage(0), 0.0);
    f.meter.CollectCPUData();
    EXPECT_DOUBLE_EQ(f.meter.GetCPUUsage(0), 0.75);
    EXPECT_EQ(4, f.queries);
}

// The busiest processor as the clip list panel's gauge shows it.
int BusiestLoad() {
    return widgets::custom::BusiestProcessorLoad(widgets::custom::GetCPUCount(), &widgets::custom::GetCPUUsage);
}

TEST(CpuMeter, ACoreKeptBusyShowsALoadAboveZero) {
    // One core spinning: the system's own meter must see it within a few samples.
    std::atomic<bool> stop{false};
    std::thread spinner([&] {
        volatile std::uint64_t n = 0;
        while (!stop.load(std::memory_order_relaxed)) n = n + 1;
    });
    widgets::custom::CollectCPUData();
    int load = 0;
    const DWORD start = GetTickCount();
    while (load == 0 && GetTickCount() - start < 15000) {
        Sleep(500);
        widgets::custom::CollectCPUData();
        load = BusiestLoad();
    }
    stop = true;
    spinner.join();
    EXPECT_GT(load, 0) << "the meter reads no load while a core is busy";
    EXPECT_LE(load, 100);
}

// The Windows 9x statistics, through a stand-in for the dynamic-data key.
struct FakeStats : widgets::custom::TDynDataStats {
    bool startOk = true;
    int stops = 0;
    std::uint32_t percent = 37;
    int* stopCount;
    explicit FakeStats(int* Stops) : stopCount(Stops) {}
    bool Start(bool& StartFailed) override {
        StartFailed = !startOk;
        return startOk;
    }
    bool ReadUsage(std::uint32_t& Percent) override {
        Percent = percent;
        return true;
    }
    void Stop() override { ++*stopCount; }
};

TEST(CpuMeter, NineXHasOneInstanceAndStopsItsStatistics) {
    int stops = 0;
    {
        widgets::custom::TCpuUsageMeter meter(false, nullptr, std::make_unique<FakeStats>(&stops));
        EXPECT_EQ(meter.GetCPUCount(), 1);
        EXPECT_DOUBLE_EQ(meter.GetCPUUsage(0), 0.37);
        EXPECT_EQ(MessageOf<classlib::Exception>([&] { meter.GetCPUUsage(1); }), L"CPU index out of bounds");
    }
    EXPECT_EQ(stops, 1);
    auto refusing = std::make_unique<FakeStats>(&stops);
    refusing->startOk = false;
    widgets::custom::TCpuUsageMeter meter(false, nullptr, std::move(refusing));
    EXPECT_EQ(MessageOf<classlib::Exception>([&] { meter.CollectCPUData(); }), L"Unable to start performance monitoring");
}

// ---- Threaded timer ----------------------------------------------------------------------------

class ThreadedTimerTest : public CustomTest {};

TEST_F(ThreadedTimerTest, TicksRunOnTheMainThreadAndSurviveAFailingHandler) {
    widgets::custom::TThreadedTimer timer(nullptr);
    EXPECT_FALSE(timer.Enabled());
    EXPECT_EQ(timer.Interval(), 1000u);
    int ticks = 0;
    bool offThread = false;
    timer.OnTimer = [&](classlib::TObject* sender) {
        offThread |= GetCurrentThreadId() != classlib::MainThreadID() || sender != &timer;
        if (++ticks == 1) throw classlib::Exception(L"a failing tick");
    };
    timer.SetInterval(10);
    timer.SetEnabled(true);
    EXPECT_TRUE(PumpUntil([&] { return ticks >= 3; }));
    EXPECT_FALSE(offThread);
    timer.SetEnabled(false);
    PumpUntil([] { return false; }, 50);
    const int stopped = ticks;
    PumpUntil([] { return false; }, 100);
    EXPECT_EQ(ticks, stopped);
}

TEST_F(ThreadedTimerTest, ZeroIntervalEnabledTwiceDisabledAndEnabledAgainStillTicks) {
    widgets::custom::TThreadedTimer timer(nullptr);
    int ticks = 0;
    timer.OnTimer = [&](classlib::TObject*) { ++ticks; };
    timer.SetInterval(0);
    timer.SetEnabled(true);
    EXPECT_TRUE(timer.Enabled());
    PumpUntil([] { return false; }, 60);
    EXPECT_EQ(ticks, 0);
    timer.SetEnabled(false);
    timer.SetEnabled(false);
    timer.SetInterval(5);
    timer.SetEnabled(true);
    EXPECT_TRUE(PumpUntil([&] { return ticks >= 2; }));
}

TEST_F(ThreadedTimerTest, DestroyedDuringItsOwnTickOrWhileATickWaits) {
    auto* timer = new widgets::custom::TThreadedTimer(nullptr);
    int ticks = 0;
    timer->OnTimer = [&](classlib::TObject*) {
        ++ticks;
        delete timer;
        timer = nullptr;
    };
    timer->SetInterval(5);
    timer->SetEnabled(true);
    EXPECT_TRUE(PumpUntil([&] { return timer == nullptr; }));
    PumpUntil([] { return false; }, 50);
    EXPECT_EQ(ticks, 1);
    // A tick queued for the main thread that never serves it: the destruction must not wait for
    // it, and it never runs.
    int late = 0;
    {
        widgets::custom::TThreadedTimer waiting(nullptr);
        waiting.OnTimer = [&](classlib::TObject*) { ++late; };
        waiting.SetInterval(1);
        waiting.SetEnabled(true);
        Sleep(50);
    }
    PumpUntil([] { return false; }, 30);
    EXPECT_EQ(late, 0);
}

}  // namespace

// ---- Each processor's own load -----------------------------------------------------------------

// Where the system tells each processor's times apart, each is an instance of its own and the
// processors together the last: one processor busy reads full, not one over their number.
TEST(CpuMeter, EachProcessorsTimesGiveItsOwnLoadAndTheTotalComesLast) {
    using widgets::custom::TProcessorTimes;
    std::vector<std::vector<TProcessorTimes>> samples = {
        {{10 * kSecond, 12 * kSecond, 1 * kSecond}, {10 * kSecond, 11 * kSecond, 2 * kSecond},
         {10 * kSecond, 11 * kSecond, 2 * kSecond}, {10 * kSecond, 11 * kSecond, 2 * kSecond}},
        // One second later: processor 1 spun all of it in user time, the others idled.
        {{11 * kSecond, 13 * kSecond, 1 * kSecond}, {10 * kSecond, 11 * kSecond, 3 * kSecond},
         {11 * kSecond, 12 * kSecond, 2 * kSecond}, {11 * kSecond, 12 * kSecond, 2 * kSecond}}};
    size_t next = 0;
    widgets::custom::TCpuUsageMeter meter{
        true,
        [](std::vector<std::uint8_t>& buffer, DWORD& size) -> LONG {
            const auto block = MakeBlock({}, 1, false);
            if (buffer.size() < block.bytes.size()) return ERROR_MORE_DATA;
            std::memcpy(buffer.data(), block.bytes.data(), block.bytes.size());
            size = static_cast<DWORD>(block.bytes.size());
            return ERROR_SUCCESS;
        },
        nullptr,
        [&](std::vector<TProcessorTimes>& processors) {
            processors = samples.at(std::min(next++, samples.size() - 1));
            return true;
        }};
    ASSERT_EQ(meter.GetCPUCount(), 5);
    meter.CollectCPUData();
    EXPECT_DOUBLE_EQ(meter.GetCPUUsage(0), 0.0);
    EXPECT_DOUBLE_EQ(meter.GetCPUUsage(1), 1.0);
    EXPECT_DOUBLE_EQ(meter.GetCPUUsage(2), 0.0);
    EXPECT_DOUBLE_EQ(meter.GetCPUUsage(3), 0.0);
    EXPECT_DOUBLE_EQ(meter.GetCPUUsage(4), 0.25);
    // A processor whose times stood still (a reading within one tick) reads 0, not a division by 0.
    samples.push_back(samples[1]);
    meter.CollectCPUData();
    EXPECT_DOUBLE_EQ(meter.GetCPUUsage(1), 0.0);
    // Fewer processors than before (one taken offline): a fresh start, every instance at 0.
    samples.push_back({samples[1][0], samples[1][1]});
    meter.CollectCPUData();
    ASSERT_EQ(meter.GetCPUCount(), 3);
    EXPECT_DOUBLE_EQ(meter.GetCPUUsage(1), 0.0);
}

// The system's own meter with one processor kept busy on a machine with several: the busiest
// instance reads near full (the spinner is held on one processor, so its load is not shared out).
TEST(CpuMeter, OneProcessorKeptBusyReadsNearFull) {
    SYSTEM_INFO system{};
    GetSystemInfo(&system);
    if (system.dwNumberOfProcessors < 2) GTEST_SKIP() << "one processor: nothing to tell apart";
    ASSERT_EQ(widgets::custom::GetCPUCount(), static_cast<int>(system.dwNumberOfProcessors) + 1)
        << "each processor and the total";
    std::atomic<bool> stop{false};
    std::thread spinner([&] {
        SetThreadAffinityMask(GetCurrentThread(), 1);
        volatile std::uint64_t n = 0;
        while (!stop.load(std::memory_order_relaxed)) n = n + 1;
    });
    widgets::custom::CollectCPUData();
    int load = 0;
    const DWORD start = GetTickCount();
    while (load < 80 && GetTickCount() - start < 20000) {
        Sleep(500);
        widgets::custom::CollectCPUData();
        load = BusiestLoad();
    }
    stop = true;
    spinner.join();
    EXPECT_GE(load, 80) << "the busiest of " << system.dwNumberOfProcessors << " processors";
    EXPECT_LE(load, 100);
}
