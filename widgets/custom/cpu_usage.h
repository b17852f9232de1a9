// Processor usage sampled from the system's performance data: on the NT family the processor
// object of the registry's performance data (or, where that data holds no processor object, each
// processor's idle, kernel and user times), on the Windows 9x family the kernel's statistics of the
// dynamic-data key.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

namespace widgets::custom {

// The number of processor instances (the total included); a first sample is taken when none was.
int GetCPUCount();
// Takes a new sample.
void CollectCPUData();
// The usage of instance Index between the last two samples, from 0 to 1. Raises "CPU index out of
// bounds" for an index outside 0 to GetCPUCount() - 1.
double GetCPUUsage(int Index);
// The highest load of one processor in percent: instances 0 to Count - 2 (the last one is the
// total); 0 with fewer than two instances. The gauge of the clip list panel shows it.
int BusiestProcessorLoad(int Count, double (*Usage)(int Index));

// One parsed sample of the processor object.
struct TCpuSample {
    std::vector<std::int64_t> Values;  // the idle-time counter of each instance
    std::int64_t Time = 0;             // the block's system time, in 100 ns units
    // The time that passed for each instance, where each processor keeps its own (the system
    // times); empty: Time for every instance.
    std::vector<std::int64_t> Times;
    bool HasProcessor = false;         // false: the data holds no processor object
};

// The idle, kernel (idle included) and user times of one processor, in 100 ns units.
struct TProcessorTimes {
    std::int64_t Idle = 0, Kernel = 0, User = 0;
};

// Reads the processor object's processor-time counter out of a performance data block. Every
// length and offset is checked against the block: a short block, a wrong signature or an
// offset outside the block raises an exception naming the fault; a well-formed block without
// the processor object answers HasProcessor false.
TCpuSample ParseProcessorData(std::span<const std::uint8_t> Block);

// The kernel statistics of the Windows 9x family (the dynamic-data key).
class TDynDataStats {
public:
    virtual ~TDynDataStats() = default;
    // Starts the statistics and opens them for reading; false when either step fails (the
    // failing step is told by StartFailed).
    virtual bool Start(bool& StartFailed) = 0;
    virtual bool ReadUsage(std::uint32_t& Percent) = 0;
    virtual void Stop() = 0;
};

// The sampler behind the three routines. Main thread only.
class TCpuUsageMeter {
public:
    // Fills Buffer with the value "238" of the performance data (ERROR_MORE_DATA when it is too
    // small; Size gets the bytes written).
    using TPerfQuery = std::function<LONG(std::vector<std::uint8_t>& Buffer, DWORD& Size)>;
    // The times of each processor (the system's processor performance information, or where the
    // system cannot tell them apart, all processors as one); false when the system cannot tell them.
    using TSystemTimesQuery = std::function<bool(std::vector<TProcessorTimes>& Processors)>;

    // The system's own sources; IsNT from the system's version (raises "Can't get the Windows
    // version" when it cannot be read).
    TCpuUsageMeter();
    // Where the performance data holds no processor object, Times (when given) stands in for it:
    // each processor is then an instance and the processors taken together the last one (the
    // total). Without Times such a system has one instance that reads 0.
    TCpuUsageMeter(bool IsNT, TPerfQuery Query, std::unique_ptr<TDynDataStats> Stats, TSystemTimesQuery Times = nullptr);
    ~TCpuUsageMeter();
    TCpuUsageMeter(const TCpuUsageMeter&) = delete;
    TCpuUsageMeter& operator=(const TCpuUsageMeter&) = delete;

    int GetCPUCount();
    void CollectCPUData();
    double GetCPUUsage(int Index);
    size_t BufferSize() const { return buffer_.size(); }

    static constexpr size_t InitialBufferSize = 8192;
    static constexpr size_t BufferStep = 4096;
    // A query still asking for more past this is refused.
    static constexpr size_t MaxBufferSize = 16u << 20;

private:
    // Where the NT samples come from.
    enum class TSource { None, ProcessorData, SystemTimes };

    void CollectNT();
    TCpuSample ReadProcessorData();
    void Collect9x();
    bool SystemTimesSample(TCpuSample& Sample);

    bool isNT_;
    TPerfQuery query_;
    std::unique_ptr<TDynDataStats> stats_;
    TSystemTimesQuery times_;
    std::vector<std::uint8_t> buffer_;
    int count_ = -1;
    TSource source_ = TSource::None;
    std::vector<std::int64_t> current_, previous_;
    std::vector<std::int64_t> currentTimes_, previousTimes_;
    std::int64_t currentTime_ = 0, previousTime_ = 0;
    bool started9x_ = false;
    std::uint32_t usage9x_ = 0;
};

// The meter the three routines use.
TCpuUsageMeter& CpuUsageMeter();

}  // namespace widgets::custom
