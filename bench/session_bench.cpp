// A session of the running program watched from outside: Quillotrane (copied into a temporary
// folder with portable settings naming the stand-in camera and microphone) starts (its time to a
// ready window and its processor share while previewing before the first recording are printed
// with their targets), previews for a while
// and records a few seconds of native AVI at every minute, started and stopped with its Capture
// button as a user clicks it (not through script files: Wine's open dialog keeps one registry key
// open for every file it is confirmed on, which would be counted against the program). Every
// second its working set, private bytes, handles, threads, windows and GDI and USER objects are
// sampled from outside; the figures after the first minute and at the end are printed, with the
// handles opened meanwhile, and the run fails when the end's figures grew beyond the margins below.
// Under Wine, GetProcessHandleCount answers 0, the process list's handle count is the size of the
// process's handle table (it doubles: 512, 1024, ...), the private usage of GetProcessMemoryInfo is
// 0 for another process and GetGuiResources answers 0. So the handles are counted in the system's
// handle list, threads and memory read from the process list (both filled by Wine's server), the
// windows counted, and the GDI and USER figures printed as Wine gives them.
//   bench_session.exe [minutes] [recording seconds] [avi|wav|dv]
//     (default 10, 5 and avi: the camera and microphone in native AVI; wav: the microphone alone;
//      dv: the camcorder in DV type 2; "1" minute is a quick check)
#include <windows.h>
#include <winternl.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "tests/common/handle_counts.h"
#include "tests/e2e/program_driver.h"

namespace {

// Growth allowed from the first minute to the end.
constexpr double kWorkingSetMargin = 0.05;       // 5 %, and at least:
constexpr double kWorkingSetFloorBytes = 4.0e6;  // 4 MB
constexpr double kHandleMargin = 8;
constexpr double kObjectMargin = 10;

struct Sample {
    double workingSet = 0;  // bytes
    double privateBytes = 0;
    double handles = 0;
    double threads = 0;
    double windows = 0;
    double gdi = 0;
    double user = 0;
};

// Handles counted by object type (the type's index in the system's handle list).
std::map<int, int> HandlesByType(const std::vector<quill_test::HandleEntry>& Handles) {
    std::map<int, int> counts;
    for (const quill_test::HandleEntry& e : Handles) ++counts[e.objectType];
    return counts;
}

// The name of an object type, read from one of the process's handles of that type.
std::wstring TypeName(HANDLE Process, DWORD ProcessId, int Type) {
    for (const quill_test::HandleEntry& e : quill_test::ProcessHandles(ProcessId)) {
        if (e.objectType != Type) continue;
        HANDLE copy = nullptr;
        if (!DuplicateHandle(Process, reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(e.handle)), GetCurrentProcess(),
                             &copy, 0, FALSE, DUPLICATE_SAME_ACCESS))
            continue;
        std::wstring name = quill_test::HandleTypeName(copy);
        CloseHandle(copy);
        return name;
    }
    return L"?";
}

double CountHandles(DWORD ProcessId) { return static_cast<double>(quill_test::ProcessHandles(ProcessId).size()); }

// The process's entry of the system's process list.
bool ReadProcessEntry(DWORD ProcessId, Sample& s) {
    const std::vector<unsigned char> buffer = quill_test::QuerySystemTable(SystemProcessInformation);
    if (buffer.size() < sizeof(SYSTEM_PROCESS_INFORMATION)) return false;
    size_t at = 0;
    for (;;) {
        const auto* entry = reinterpret_cast<const SYSTEM_PROCESS_INFORMATION*>(buffer.data() + at);
        if (static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(entry->UniqueProcessId)) == ProcessId) {
            s.threads = entry->NumberOfThreads;
            s.workingSet = static_cast<double>(entry->VirtualMemoryCounters.WorkingSetSize);
            s.privateBytes = static_cast<double>(entry->VirtualMemoryCounters.PagefileUsage);
            return true;
        }
        if (entry->NextEntryOffset == 0) return false;
        at += entry->NextEntryOffset;
    }
}

struct WindowCount {
    DWORD process;
    int count;
};

BOOL CALLBACK CountChild(HWND, LPARAM Data) {
    ++reinterpret_cast<WindowCount*>(Data)->count;
    return TRUE;
}

BOOL CALLBACK CountTop(HWND Window, LPARAM Data) {
    auto* count = reinterpret_cast<WindowCount*>(Data);
    DWORD process = 0;
    GetWindowThreadProcessId(Window, &process);
    if (process != count->process) return TRUE;
    ++count->count;
    EnumChildWindows(Window, CountChild, Data);
    return TRUE;
}

Sample Take(HANDLE Process, DWORD ProcessId) {
    Sample s;
    ReadProcessEntry(ProcessId, s);
    s.handles = CountHandles(ProcessId);
    WindowCount windows{ProcessId, 0};
    EnumWindows(CountTop, reinterpret_cast<LPARAM>(&windows));
    s.windows = windows.count;
    s.gdi = GetGuiResources(Process, GR_GDIOBJECTS);
    s.user = GetGuiResources(Process, GR_USEROBJECTS);
    return s;
}

// The median of each figure over the samples [From, To).
Sample Median(const std::vector<Sample>& Samples, size_t From, size_t To) {
    To = std::min(To, Samples.size());
    From = std::min(From, To);
    auto median = [&](double Sample::*Field) {
        std::vector<double> v;
        for (size_t i = From; i < To; ++i) v.push_back(Samples[i].*Field);
        if (v.empty()) return 0.0;
        std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
        return v[v.size() / 2];
    };
    return {median(&Sample::workingSet), median(&Sample::privateBytes), median(&Sample::handles),
            median(&Sample::threads),    median(&Sample::windows),      median(&Sample::gdi),
            median(&Sample::user)};
}

void Print(const char* Label, const Sample& s) {
    std::printf("%-21s working set %6.1f MB  private %6.1f MB  handles %5.0f  threads %3.0f  windows %4.0f  GDI %4.0f  "
                "USER %4.0f\n",
                Label, s.workingSet / 1e6, s.privateBytes / 1e6, s.handles, s.threads, s.windows, s.gdi, s.user);
}

// The handles open at the end that were not open after the first minute, with their objects' names
// where they have one (a key's path), so that growth can be traced to what opened it.
void PrintNewHandles(HANDLE Process, const std::vector<quill_test::HandleEntry>& Before,
                     const std::vector<quill_test::HandleEntry>& After) {
    int printed = 0;
    for (const quill_test::HandleEntry& e : After) {
        const bool old = std::any_of(Before.begin(), Before.end(), [&](const quill_test::HandleEntry& b) {
            return b.handle == e.handle && b.objectType == e.objectType && b.object == e.object;
        });
        if (old) continue;
        HANDLE copy = nullptr;
        if (!DuplicateHandle(Process, reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(e.handle)), GetCurrentProcess(),
                             &copy, 0, FALSE, DUPLICATE_SAME_ACCESS))
            continue;
        if (printed++ < 60)
            std::printf("  new handle %#x: %ls %ls\n", e.handle, quill_test::HandleTypeName(copy).c_str(),
                        quill_test::HandleObjectName(copy).c_str());
        CloseHandle(copy);
    }
    if (printed > 60) std::printf("  ... %d new handles in all\n", printed);
}

// Processor milliseconds of a process so far, from the system's process list (Wine answers
// GetProcessTimes for another process without its processor times).
double ProcessCpuMs(DWORD ProcessId) {
    const std::vector<unsigned char> buffer = quill_test::QuerySystemTable(SystemProcessInformation);
    if (buffer.size() < sizeof(SYSTEM_PROCESS_INFORMATION)) return -1;
    for (size_t at = 0;;) {
        const auto* entry = reinterpret_cast<const SYSTEM_PROCESS_INFORMATION*>(buffer.data() + at);
        if (static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(entry->UniqueProcessId)) == ProcessId) {
            return (static_cast<double>(entry->UserTime.QuadPart) + static_cast<double>(entry->KernelTime.QuadPart)) / 10000.0;
        }
        if (entry->NextEntryOffset == 0) return -1;
        at += entry->NextEntryOffset;
    }
}

std::wstring Beside(const wchar_t* Name) {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder = path;
    return folder.substr(0, folder.find_last_of(L'\\') + 1) + Name;
}

}  // namespace

int main(int argc, char** argv) {
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    const double minutes = argc > 1 ? std::atof(argv[1]) : 10.0;
    const int recordSeconds = argc > 2 ? std::atoi(argv[2]) : 5;
    const std::string kind = argc > 3 ? argv[3] : "avi";
    const int total = static_cast<int>(minutes * 60.0);
    if (total < 60 || recordSeconds < 1 || recordSeconds > 40 || (kind != "avi" && kind != "wav" && kind != "dv")) {
        std::fprintf(stderr, "usage: bench_session.exe [minutes >= 1] [recording seconds 1..40] [avi|wav|dv]\n");
        return 2;
    }
    const std::wstring extension = kind == "wav" ? L".wav" : L".avi";
    const std::vector<std::wstring> sources =
        kind == "wav" ? std::vector<std::wstring>{L"Source video=no video stream",
                                                  L"Source Audio=Quillotrane Test Microphone", L"Capture Format=11"}
        : kind == "dv" ? std::vector<std::wstring>{L"Source video=DV Source - Video", L"Source Audio=DV Source - Audio",
                                                   L"Capture Format=2"}
                       : std::vector<std::wstring>{L"Source video=Quillotrane Test Camera",
                                                   L"Source Audio=Quillotrane Test Microphone", L"Capture Format=5"};

    e2e::TProgramFolder copy(Beside(L"Quillotrane.exe"), L"session");
    const std::wstring videos = copy.Folder() + L"videos\\";
    std::vector<std::wstring> settings = sources;
    settings.insert(settings.end(), {L"Preview Locked=0", L"Video Directory=" + videos, L"Video Racine=clip",
                                     L"Video Date=0", L"Confirmer Video=0", L"Scn=0"});
    if (!copy.Ready() || !copy.WriteSettings(settings)) {
        std::fprintf(stderr, "the program could not be copied beside its settings\n");
        return 1;
    }
    e2e::TProgram program;
    const ULONGLONG launched = GetTickCount64();
    if (!program.Start(copy.Exe())) {
        std::fprintf(stderr, "the program did not start: %ls\n", program.Failure().c_str());
        return 1;
    }
    // Start-up ends with the first idle, which fills the source lists the driver waits for.
    const double readyMs = static_cast<double>(GetTickCount64() - launched);
    std::printf("start to a window with its sources listed: %.0f ms (bench_program_start times the first preview "
                "frame: target 1500 ms)\n", readyMs);
    std::printf("figure session_start_to_ready_ms %.0f\n", readyMs);
    double previewCpuFrom = -1, previewFrom = 0;

    std::vector<Sample> samples;
    std::vector<quill_test::HandleEntry> handlesAtFirstMinute;
    std::vector<quill_test::HandleEntry> handlesAtEnd;
    int recordings = 0;
    int failedRecordings = 0;
    std::wstring recording;
    const ULONGLONG start = GetTickCount64();
    for (int second = 0; second < total && program.Running(); ++second) {
        const ULONGLONG due = start + static_cast<ULONGLONG>(second) * 1000;
        const ULONGLONG now = GetTickCount64();
        if (due > now) Sleep(static_cast<DWORD>(due - now));
        samples.push_back(Take(program.Process(), program.ProcessId()));
        // The preview's cost before the first recording: seconds 2 to 9, the whole process.
        if (second == 2 || second == 9) {
            const double cpu = ProcessCpuMs(program.ProcessId()), at = static_cast<double>(GetTickCount64());
            if (second == 2) {
                previewCpuFrom = cpu;
                previewFrom = at;
            } else if (previewCpuFrom >= 0 && at > previewFrom) {
                const double share = (cpu - previewCpuFrom) / (at - previewFrom);
                std::printf("previewing (seconds 2 to 9): %.3f of a core for the whole process, stand-in devices "
                            "included (the program's share of a PAL DV preview: target under 0.25, measured apart "
                            "by bench_recording_builders)\n", share);
                std::printf("figure session_preview_process_share %.4f\n", share);
            }
        }
        // A recording at the tenth second of every minute, stopped RecordSeconds later; the file is
        // checked to have grown, then removed.
        const int inMinute = second % 60;
        if (inMinute == 10) {
            recording = videos + L"clip_" + std::to_wstring(recordings) + extension;
            if (!program.ClickButton(L"Capture")) {
                std::fprintf(stderr, "the recording did not start: %ls\n", program.Failure().c_str());
                ++failedRecordings;
            }
        } else if (inMinute == 10 + recordSeconds) {
            const bool grew = e2e::FileSize(recording) > 100000;
            if (!program.ClickButton(L"Stop Capture")) {
                std::fprintf(stderr, "the recording did not stop: %ls\n", program.Failure().c_str());
                ++failedRecordings;
            }
            const bool closed = e2e::WaitFor([&] { return e2e::FileClosed(recording); }, 20000);
            if (!grew || !closed) ++failedRecordings;
            DeleteFileW(recording.c_str());
            ++recordings;
        }
        if (second == 59) handlesAtFirstMinute = quill_test::ProcessHandles(program.ProcessId());
        if (second == total - 1) handlesAtEnd = quill_test::ProcessHandles(program.ProcessId());
        if (second % 60 == 59) {
            const Sample s = samples.back();
            std::printf("minute %2d: ", second / 60 + 1);
            Print("", s);
            std::fflush(stdout);
        }
    }
    // Which kinds of handle changed in number after the first minute.
    const std::map<int, int> typesAtFirstMinute = HandlesByType(handlesAtFirstMinute);
    for (const auto& [type, count] : HandlesByType(handlesAtEnd)) {
        const int before = typesAtFirstMinute.count(type) != 0 ? typesAtFirstMinute.at(type) : 0;
        if (count != before)
            std::printf("handles of type %ls: %d after 1 minute, %d at the end\n",
                        TypeName(program.Process(), program.ProcessId(), type).c_str(), before, count);
    }
    PrintNewHandles(program.Process(), handlesAtFirstMinute, handlesAtEnd);
    const bool ran = program.Running() && static_cast<int>(samples.size()) == total;
    const bool closed = program.Close();

    std::printf("\n%d s sampled, %d recordings of %d s (%d failed)\n", static_cast<int>(samples.size()), recordings,
                recordSeconds, failedRecordings);
    const Sample first = Median(samples, 50, 60);
    const Sample last = Median(samples, samples.size() - std::min<size_t>(10, samples.size()), samples.size());
    Sample peak = first;
    for (size_t i = 60; i < samples.size(); ++i) {
        peak.workingSet = std::max(peak.workingSet, samples[i].workingSet);
        peak.privateBytes = std::max(peak.privateBytes, samples[i].privateBytes);
        peak.handles = std::max(peak.handles, samples[i].handles);
        peak.threads = std::max(peak.threads, samples[i].threads);
        peak.windows = std::max(peak.windows, samples[i].windows);
        peak.gdi = std::max(peak.gdi, samples[i].gdi);
        peak.user = std::max(peak.user, samples[i].user);
    }
    Print("after 1 minute:", first);
    Print("at the end:", last);
    Print("highest after 1 min:", peak);

    bool ok = ran && closed && failedRecordings == 0;
    if (!ran) std::printf("FAIL: the program ended before the session did\n");
    if (!closed) std::printf("FAIL: the program did not close cleanly\n");
    if (failedRecordings != 0) std::printf("FAIL: %d recordings did not grow or close\n", failedRecordings);
    const double wsAllowed = std::max(first.workingSet * kWorkingSetMargin, kWorkingSetFloorBytes);
    const double privateAllowed = std::max(first.privateBytes * kWorkingSetMargin, kWorkingSetFloorBytes);
    auto check = [&](const char* Name, double From, double To, double Allowed) {
        std::printf("%-14s %+.1f (allowed %+.1f)\n", Name, To - From, Allowed);
        if (To - From > Allowed) {
            std::printf("FAIL: %s grew after the first minute\n", Name);
            ok = false;
        }
    };
    check("working set MB", first.workingSet / 1e6, last.workingSet / 1e6, wsAllowed / 1e6);
    check("private MB", first.privateBytes / 1e6, last.privateBytes / 1e6, privateAllowed / 1e6);
    check("handles", first.handles, last.handles, kHandleMargin);
    check("threads", first.threads, last.threads, kObjectMargin);
    check("windows", first.windows, last.windows, kObjectMargin);
    check("GDI objects", first.gdi, last.gdi, kObjectMargin);
    check("USER objects", first.user, last.user, kObjectMargin);
    std::printf("%s\n", ok ? "PASS" : "FAIL");
    return ok ? 0 : 1;
}
