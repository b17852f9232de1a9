// The processor-usage sampler and its performance-data parser.
#include "widgets/custom/cpu_usage.h"

#include <winperf.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "classlib/exceptions.h"
#include "classlib/format.h"

namespace widgets::custom {

using classlib::Exception;

namespace {

constexpr DWORD kProcessorObject = 238;
constexpr DWORD kProcessorTimeCounter = 6;

[[noreturn]] void Invalid(const wchar_t* What) {
    throw Exception(classlib::Format(L"Invalid performance data: %s.", {What}));
}

// A structure read at Offset, which must lie wholly before End.
template <typename T>
T ReadAt(std::span<const std::uint8_t> Block, size_t Offset, size_t End, const wchar_t* What) {
    if (End > Block.size() || Offset > End || End - Offset < sizeof(T)) Invalid(What);
    T value;
    std::memcpy(&value, Block.data() + Offset, sizeof(T));
    return value;
}

// A length read from the data that must cover at least Min bytes and stay before End.
size_t CheckedLength(DWORD Length, size_t Min, size_t Offset, size_t End, const wchar_t* What) {
    if (Length < Min || Length > End - Offset) Invalid(What);
    return Length;
}

// Walks Count records from At, each Length bytes long, to the one whose Name is Wanted: true with
// the record in Found and At on it; false when none of them is.
template <typename T>
bool FindRecord(std::span<const std::uint8_t> Block, size_t& At, size_t End, DWORD Count, DWORD T::*Length,
                DWORD T::*Name, DWORD Wanted, const wchar_t* What, T& Found) {
    for (DWORD i = 0; i < Count; ++i) {
        Found = ReadAt<T>(Block, At, End, What);
        CheckedLength(Found.*Length, sizeof(T), At, End, What);
        if (Found.*Name == Wanted) return true;
        At += Found.*Length;
    }
    return false;
}

LONG SystemPerfQuery(std::vector<std::uint8_t>& Buffer, DWORD& Size) {
    DWORD type = 0;
    return RegQueryValueExW(HKEY_PERFORMANCE_DATA, L"238", nullptr, &type, Buffer.data(), &Size);
}

class TSystemDynDataStats : public TDynDataStats {
public:
    bool Start(bool& StartFailed) override {
        StartFailed = true;
        HKEY start = nullptr;
        if (RegOpenKeyExW(HKEY_DYN_DATA, L"PerfStats\\StartStat", 0, KEY_ALL_ACCESS, &start) != ERROR_SUCCESS)
            return false;
        ReadValue(start);
        RegCloseKey(start);
        StartFailed = false;
        return RegOpenKeyExW(HKEY_DYN_DATA, L"PerfStats\\StatData", 0, KEY_READ, &data_) == ERROR_SUCCESS;
    }
    bool ReadUsage(std::uint32_t& Percent) override { return data_ != nullptr && ReadValue(data_, &Percent); }
    void Stop() override {
        if (data_ != nullptr) RegCloseKey(data_);
        data_ = nullptr;
        HKEY stop = nullptr;
        if (RegOpenKeyExW(HKEY_DYN_DATA, L"PerfStats\\StopStat", 0, KEY_ALL_ACCESS, &stop) == ERROR_SUCCESS) {
            ReadValue(stop);
            RegCloseKey(stop);
        }
    }

private:
    static bool ReadValue(HKEY Key, std::uint32_t* Value = nullptr) {
        std::uint32_t v = 0;
        DWORD size = sizeof v, type = 0;
        LONG r = RegQueryValueExW(Key, L"KERNEL\\CPUUsage", nullptr, &type, reinterpret_cast<BYTE*>(&v), &size);
        if (Value != nullptr) *Value = v;
        return r == ERROR_SUCCESS && size == sizeof v;
    }
    HKEY data_ = nullptr;
};

std::int64_t FileTimeValue(const FILETIME& Time) {
    return static_cast<std::int64_t>((static_cast<std::uint64_t>(Time.dwHighDateTime) << 32) | Time.dwLowDateTime);
}

// The processor performance information of ntdll (class 8), laid out as the system answers it.
struct TNtProcessorPerformance {
    LARGE_INTEGER IdleTime, KernelTime, UserTime;
    LARGE_INTEGER Reserved1[2];
    ULONG Reserved2;
};
using TNtQuerySystemInformation = LONG(WINAPI*)(int Class, void* Information, ULONG Length, ULONG* ReturnLength);
constexpr int kSystemProcessorPerformanceInformation = 8;

// Each processor's times; the system's times of all processors together where ntdll cannot tell
// them apart.
bool SystemTimesQuery(std::vector<TProcessorTimes>& Processors) {
    static const auto query = reinterpret_cast<TNtQuerySystemInformation>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
    if (query != nullptr) {
        SYSTEM_INFO system{};
        GetSystemInfo(&system);
        std::vector<TNtProcessorPerformance> each(std::max<DWORD>(system.dwNumberOfProcessors, 1));
        ULONG length = 0;
        if (query(kSystemProcessorPerformanceInformation, each.data(),
                  static_cast<ULONG>(each.size() * sizeof(TNtProcessorPerformance)), &length) >= 0 &&
            length >= sizeof(TNtProcessorPerformance)) {
            Processors.clear();
            for (size_t i = 0; i < std::min<size_t>(length / sizeof(TNtProcessorPerformance), each.size()); ++i)
                Processors.push_back(
                    {each[i].IdleTime.QuadPart, each[i].KernelTime.QuadPart, each[i].UserTime.QuadPart});
            return true;
        }
    }
    FILETIME idle{}, kernel{}, user{};
    if (!GetSystemTimes(&idle, &kernel, &user)) return false;
    Processors.assign(1, TProcessorTimes{FileTimeValue(idle), FileTimeValue(kernel), FileTimeValue(user)});
    return true;
}

bool SystemIsNT() {
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof info;
    if (!GetVersionExW(&info)) throw Exception(L"Can't get the Windows version");
    return info.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

}  // namespace

TCpuSample ParseProcessorData(std::span<const std::uint8_t> Block) {
    const auto header = ReadAt<PERF_DATA_BLOCK>(Block, 0, Block.size(), L"the block is too short");
    if (std::memcmp(header.Signature, L"PERF", sizeof header.Signature) != 0) Invalid(L"the block has no PERF signature");
    if (header.TotalByteLength > Block.size()) Invalid(L"the block is shorter than its stated length");
    const size_t end = std::max<size_t>(header.TotalByteLength, sizeof(PERF_DATA_BLOCK));
    if (header.HeaderLength < sizeof(PERF_DATA_BLOCK) || header.HeaderLength > end) Invalid(L"its header length is out of the block");

    TCpuSample sample;
    FILETIME time{};
    if (!SystemTimeToFileTime(&header.SystemTime, &time)) Invalid(L"its system time is not a date");
    sample.Time = static_cast<std::int64_t>((static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime);

    // The processor object.
    size_t object = header.HeaderLength;
    PERF_OBJECT_TYPE type{};
    if (!FindRecord(Block, object, end, header.NumObjectTypes, &PERF_OBJECT_TYPE::TotalByteLength,
                    &PERF_OBJECT_TYPE::ObjectNameTitleIndex, kProcessorObject, L"an object runs past the end of the block", type))
        return sample;
    sample.HasProcessor = true;
    const size_t objectEnd = object + type.TotalByteLength;
    if (type.HeaderLength < sizeof type || type.DefinitionLength < type.HeaderLength ||
        type.DefinitionLength > type.TotalByteLength)
        Invalid(L"the processor object's definitions are out of the object");
    const size_t definitionsEnd = object + type.DefinitionLength;

    // Its processor-time counter.
    size_t counter = object + type.HeaderLength;
    PERF_COUNTER_DEFINITION definition{};
    if (!FindRecord(Block, counter, definitionsEnd, type.NumCounters, &PERF_COUNTER_DEFINITION::ByteLength,
                    &PERF_COUNTER_DEFINITION::CounterNameTitleIndex, kProcessorTimeCounter,
                    L"a counter definition runs past its object", definition))
        throw Exception(L"Unable to locate the \"% of CPU usage\" performance counter");

    // One value per instance, each in the counter block that follows the instance.
    auto readBlockValue = [&](size_t At) {
        const auto block = ReadAt<PERF_COUNTER_BLOCK>(Block, At, objectEnd, L"a counter block runs past its object");
        CheckedLength(block.ByteLength, sizeof block, At, objectEnd, L"a counter block runs past its object");
        if (definition.CounterOffset > block.ByteLength || block.ByteLength - definition.CounterOffset < sizeof(std::int64_t))
            Invalid(L"the counter lies outside its counter block");
        sample.Values.push_back(ReadAt<std::int64_t>(Block, At + definition.CounterOffset, objectEnd, L"a counter runs past its object"));
        return At + block.ByteLength;
    };
    size_t instance = definitionsEnd;
    if (type.NumInstances == PERF_NO_INSTANCES) {
        readBlockValue(instance);
        return sample;
    }
    for (LONG i = 0; i < type.NumInstances; ++i) {
        const auto def = ReadAt<PERF_INSTANCE_DEFINITION>(Block, instance, objectEnd, L"an instance runs past its object");
        const size_t length = CheckedLength(def.ByteLength, sizeof def, instance, objectEnd, L"an instance runs past its object");
        instance = readBlockValue(instance + length);
    }
    return sample;
}

// ---- TCpuUsageMeter --------------------------------------------------------------------------

TCpuUsageMeter::TCpuUsageMeter()
    : TCpuUsageMeter(SystemIsNT(), SystemPerfQuery, std::make_unique<TSystemDynDataStats>(), SystemTimesQuery) {}

TCpuUsageMeter::TCpuUsageMeter(bool IsNT, TPerfQuery Query, std::unique_ptr<TDynDataStats> Stats, TSystemTimesQuery Times)
    : isNT_(IsNT),
      query_(std::move(Query)),
      stats_(std::move(Stats)),
      times_(std::move(Times)),
      buffer_(InitialBufferSize) {}

TCpuUsageMeter::~TCpuUsageMeter() {
    if (started9x_ && stats_) stats_->Stop();
}

int TCpuUsageMeter::GetCPUCount() {
    if (!isNT_) return 1;
    if (count_ < 0) CollectCPUData();
    return count_;
}

void TCpuUsageMeter::CollectCPUData() {
    if (isNT_)
        CollectNT();
    else
        Collect9x();
}

TCpuSample TCpuUsageMeter::ReadProcessorData() {
    DWORD size = 0;
    LONG result = ERROR_MORE_DATA;
    for (;;) {
        size = static_cast<DWORD>(buffer_.size());
        result = query_(buffer_, size);
        if (result != ERROR_MORE_DATA) break;
        if (buffer_.size() + BufferStep > MaxBufferSize)
            throw Exception(L"Unable to read the performance data: it keeps growing past 16 MB");
        buffer_.resize(buffer_.size() + BufferStep);
    }
    if (result != ERROR_SUCCESS)
        throw Exception(classlib::Format(L"Unable to read the performance data: %s",
                                         {classlib::SysErrorMessage(static_cast<std::uint32_t>(result))}));
    return ParseProcessorData(std::span<const std::uint8_t>(buffer_.data(), std::min<size_t>(size, buffer_.size())));
}

void TCpuUsageMeter::CollectNT() {
    TCpuSample sample;
    TSource source = TSource::SystemTimes;
    // Once the performance data has shown no processor object, it is not read again: under Wine
    // each reading takes tens of milliseconds of the main thread, twice a second.
    if (source_ != TSource::SystemTimes || !SystemTimesSample(sample)) {
        sample = ReadProcessorData();
        source = TSource::ProcessorData;
        // Wine's performance data holds no processor object: the system's times tell the load instead.
        if (!sample.HasProcessor) source = SystemTimesSample(sample) ? TSource::SystemTimes : TSource::None;
    }
    if (source == TSource::None) {
        // No processor data at all: one instance that always reads 0, as on 9x.
        source_ = source;
        count_ = 1;
        current_.assign(1, 0);
        previous_ = current_;
        currentTimes_.clear();
        previousTimes_.clear();
        currentTime_ = previousTime_ = sample.Time;
        return;
    }
    if (source != source_ || count_ != static_cast<int>(sample.Values.size())) {
        // A first sample, or the instances changed: nothing to compare with yet, so every
        // instance reads 0 until the next sample instead of a usage measured from zero.
        source_ = source;
        count_ = static_cast<int>(sample.Values.size());
        current_ = sample.Values;
        previous_ = sample.Values;
        currentTimes_ = previousTimes_ = sample.Times;
        currentTime_ = previousTime_ = sample.Time;
        return;
    }
    previous_ = std::move(current_);
    current_ = std::move(sample.Values);
    previousTimes_ = std::move(currentTimes_);
    currentTimes_ = std::move(sample.Times);
    previousTime_ = currentTime_;
    currentTime_ = sample.Time;
}

bool TCpuUsageMeter::SystemTimesSample(TCpuSample& Sample) {
    std::vector<TProcessorTimes> processors;
    if (!times_ || !times_(processors) || processors.empty()) return false;
    // The same reading as the processor object's: idle time against the time that passed, here
    // each processor's own (its kernel time holds its idle time), then all of them together.
    Sample.Values.clear();
    Sample.Times.clear();
    TProcessorTimes total;
    for (const TProcessorTimes& each : processors) {
        Sample.Values.push_back(each.Idle);
        Sample.Times.push_back(each.Kernel + each.User);
        total.Idle += each.Idle;
        total.Kernel += each.Kernel;
        total.User += each.User;
    }
    Sample.Values.push_back(total.Idle);
    Sample.Times.push_back(total.Kernel + total.User);
    Sample.Time = total.Kernel + total.User;
    return true;
}

void TCpuUsageMeter::Collect9x() {
    if (!started9x_) {
        bool startFailed = false;
        if (!stats_ || !stats_->Start(startFailed))
            throw Exception(startFailed ? L"Unable to start performance monitoring" : L"Unable to read performance data");
        started9x_ = true;
    }
    std::uint32_t percent = 0;
    if (!stats_->ReadUsage(percent)) throw Exception(L"Unable to read performance data");
    usage9x_ = percent;
}

double TCpuUsageMeter::GetCPUUsage(int Index) {
    if (!isNT_) {
        if (Index != 0) throw Exception(L"CPU index out of bounds");
        if (!started9x_) Collect9x();
        return std::min(1.0, usage9x_ / 100.0);
    }
    if (count_ < 0) CollectCPUData();
    if (Index < 0 || Index >= count_) throw Exception(L"CPU index out of bounds");
    if (source_ == TSource::None) return 0.0;
    const auto i = static_cast<size_t>(Index);
    const bool own = i < currentTimes_.size() && i < previousTimes_.size();
    const std::int64_t passed = own ? currentTimes_[i] - previousTimes_[i] : currentTime_ - previousTime_;
    if (passed <= 0) return 0.0;
    const double idle = static_cast<double>(current_[i] - previous_[i]) / static_cast<double>(passed);
    return std::clamp(1.0 - idle, 0.0, 1.0);
}

TCpuUsageMeter& CpuUsageMeter() {
    static TCpuUsageMeter meter;
    return meter;
}

int GetCPUCount() { return CpuUsageMeter().GetCPUCount(); }
void CollectCPUData() { CpuUsageMeter().CollectCPUData(); }
double GetCPUUsage(int Index) { return CpuUsageMeter().GetCPUUsage(Index); }

int BusiestProcessorLoad(int Count, double (*Usage)(int Index)) {
    int busiest = 0;
    for (int i = 0; i + 1 < Count; ++i)
        busiest = std::max(busiest, static_cast<int>(std::lround(Usage(i) * 100.0)));
    return busiest;
}

}  // namespace widgets::custom
