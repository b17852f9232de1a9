// The program's start to its first preview frame, and its memory while it previews: Quillotrane
// copied into a temporary folder (portable settings naming the stand-in camera) is started, the
// time until the camera's colour bars appear on the screen is taken, three starts and their median,
// beside the time Wine needs to start and end a program that does nothing (this benchmark started with
// "--noop"). The program's own start-up trace (QUILL_START_TRACE) of the last start is printed step by
// step. The working set is read after the first and after the last period of preview; it must not grow.
//   bench_program_start.exe [minutes]    (default 10; the first reading at a tenth of it, at least
//                                          5 s, so that "0.5" is a quick check)
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "tests/app/screen_pixels.h"

namespace {

const wchar_t kCaption[] = L"Quillotrane 6.0.5En by Marbrecq";
// The stand-in camera's cyan bar.
constexpr DWORD kCyan = 0x00FFFF;
constexpr double kTimeoutMs = 60000.0;
// Starts measured; the median counts (the first start after the prefix was made pays for Wine's caches).
constexpr int kStarts = 3;

std::wstring Folder(const std::wstring& Path) { return Path.substr(0, Path.find_last_of(L'\\') + 1); }

std::wstring ModulePath() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return path;
}

bool WriteSettings(const std::wstring& File) {
    const std::wstring text = L"\xFEFF[\\Software\\Marbrecq\\Quillotrane]\r\nSource video=Quillotrane Test Camera\r\n"
                              L"Source Audio=Quillotrane Test Microphone\r\nCapture Format=5\r\nPreview Locked=0\r\n";
    HANDLE h = CreateFileW(File.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool ok = WriteFile(h, text.data(), static_cast<DWORD>(text.size() * sizeof(wchar_t)), &written, nullptr) != 0;
    CloseHandle(h);
    return ok;
}

struct FindData {
    DWORD process;
    HWND found;
};

BOOL CALLBACK FindMain(HWND Window, LPARAM Data) {
    auto* find = reinterpret_cast<FindData*>(Data);
    DWORD process = 0;
    GetWindowThreadProcessId(Window, &process);
    wchar_t text[128] = {};
    GetWindowTextW(Window, text, 128);
    if (process != find->process || !IsWindowVisible(Window) || std::wstring(kCaption) != text) return TRUE;
    find->found = Window;
    return FALSE;
}

// Pixels of the camera's cyan in the window's rectangle on the screen.
int CyanPixels(HWND Window) {
    RECT rect{};
    if (!GetWindowRect(Window, &rect)) return 0;
    return quill_test::CountColour(quill_test::GrabScreen(rect), kCyan);
}

bool Launch(const std::wstring& Exe, const std::wstring& Arguments, const std::wstring& Folder, PROCESS_INFORMATION& Process) {
    std::wstring commandLine = L"\"" + Exe + L"\"" + Arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    if (!CreateProcessW(Exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, Folder.c_str(), &startup,
                        &Process))
        return false;
    CloseHandle(Process.hThread);
    return true;
}

// The program's start-up steps as it wrote them (milliseconds since its process was made), each with
// the time it took since the step before; the frame seen on the screen last.
void PrintTrace(const std::wstring& File, double FirstFrameMs) {
    FILE* in = _wfopen(File.c_str(), L"rb");
    if (in == nullptr) {
        std::printf("no start-up trace\n");
        return;
    }
    std::printf("start-up steps (ms since the process was made, since the step before, processor ms since the "
                "step before):\n");
    char line[256];
    double before = 0.0, cpuBefore = 0.0;
    while (std::fgets(line, sizeof(line), in) != nullptr) {
        char* rest = nullptr;
        const double at = std::strtod(line, &rest);
        char* step = nullptr;
        const double cpu = std::strtod(rest, &step);
        if (rest == line || step == rest) continue;
        std::string text(step);
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
        std::printf("  %8.1f %+8.1f %+8.1f %s\n", at, at - before, cpu - cpuBefore, text.c_str() + (text.empty() ? 0 : 1));
        before = at;
        cpuBefore = cpu;
    }
    std::fclose(in);
    std::printf("  %8.1f          first preview frame on the screen (from the benchmark's start of the process)\n",
                FirstFrameMs);
}

// Starts the program and waits for the camera's colour bars in its window: the milliseconds from the
// start, or -1 when none came in time.
double StartToFirstFrame(const std::wstring& Exe, const std::wstring& Folder, PROCESS_INFORMATION& Run, FindData& Find) {
    const double start = bench::Now();
    if (!Launch(Exe, L"", Folder, Run)) return -1.0;
    Find = FindData{Run.dwProcessId, nullptr};
    while (bench::Now() - start < kTimeoutMs) {
        if (Find.found == nullptr) EnumWindows(FindMain, reinterpret_cast<LPARAM>(&Find));
        if (Find.found != nullptr && CyanPixels(Find.found) > 2000) return bench::Now() - start;
        Sleep(5);
    }
    return -1.0;
}

// Closes the program as a user does (WM_CLOSE to its window); 1 when it did not end.
int CloseProgram(PROCESS_INFORMATION& Run, HWND Window) {
    if (Window != nullptr) PostMessageW(Window, WM_CLOSE, 0, 0);
    int status = 0;
    if (WaitForSingleObject(Run.hProcess, 60000) != WAIT_OBJECT_0) {
        TerminateProcess(Run.hProcess, 1);
        std::printf("the program did not end after WM_CLOSE\n");
        status = 1;
    }
    CloseHandle(Run.hProcess);
    Run.hProcess = nullptr;
    return status;
}

SIZE_T WorkingSet(HANDLE Process) {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof(counters);
    return GetProcessMemoryInfo(Process, &counters, sizeof(counters)) ? counters.WorkingSetSize : 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::string(argv[1]) == "--noop") return 0;
    const double minutes = argc > 1 ? std::strtod(argv[1], nullptr) : 10.0;
    if (!(minutes > 0.0)) {
        std::printf("bench_program_start: the preview time must be a positive number of minutes\n");
        return 1;
    }
    const std::wstring self = ModulePath();
    const std::wstring program = Folder(self) + L"Quillotrane.exe";

    // Wine's own start and end of a program that does nothing.
    std::vector<double> wineStarts;
    for (int i = 0; i < 3; ++i) {
        PROCESS_INFORMATION noop{};
        const double start = bench::Now();
        if (!Launch(self, L" --noop", Folder(self), noop)) {
            std::printf("cannot start the benchmark itself\n");
            return 1;
        }
        WaitForSingleObject(noop.hProcess, INFINITE);
        wineStarts.push_back(bench::Now() - start);
        CloseHandle(noop.hProcess);
    }

    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring folder = std::wstring(temp) + L"quill-bench-start-" + std::to_wstring(GetCurrentProcessId()) + L"\\";
    CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring exe = folder + L"Quillotrane.exe";
    const std::wstring ini = folder + L"Quillotrane.ini";
    if (!CopyFileW(program.c_str(), exe.c_str(), FALSE) || !WriteSettings(ini)) {
        std::printf("cannot copy the program into %ls\n", folder.c_str());
        return 1;
    }

    // The program writes its start-up steps there (inherited through the environment). It is started
    // kStarts times; all but the last are closed at their first frame, the last previews on.
    const std::wstring trace = folder + L"start-trace.txt";
    SetEnvironmentVariableW(L"QUILL_START_TRACE", trace.c_str());
    int status = 0;
    PROCESS_INFORMATION run{};
    FindData find{0, nullptr};
    std::vector<double> firstFrames;
    for (int n = 0; n < kStarts && status == 0; ++n) {
        DeleteFileW(trace.c_str());
        if (run.hProcess != nullptr) {
            status = CloseProgram(run, find.found);
            run = PROCESS_INFORMATION{};
        }
        const double firstFrame = StartToFirstFrame(exe, folder, run, find);
        if (firstFrame < 0.0) {
            std::printf("no preview frame within %.0f s\n", kTimeoutMs / 1000.0);
            status = 1;
            break;
        }
        firstFrames.push_back(firstFrame);
        std::printf("start %d: %.0f ms to the first preview frame\n", n + 1, firstFrame);
    }
    if (status == 0) {
        std::vector<double> sorted = firstFrames;
        std::sort(sorted.begin(), sorted.end());
        const double median = sorted[sorted.size() / 2];
        std::printf("figure wine_program_start_ms %.1f\n", wineStarts[1]);
        std::printf("figure program_start_to_first_preview_frame_ms %.1f\n", median);
        std::printf("program start to first preview frame: %.0f ms, median of %d starts (first %.0f ms; Wine's own start "
                    "and end of an empty program: %.0f ms; target 1500 ms)\n",
                    median, kStarts, firstFrames.front(), wineStarts[1]);
        std::printf("the last start, step by step:\n");
        PrintTrace(trace, firstFrames.back());

        // The working set after the first tenth of the preview and at its end.
        const double totalMs = minutes * 60000.0;
        const double firstMs = totalMs / 10.0 > 5000.0 ? totalMs / 10.0 : 5000.0;
        Sleep(static_cast<DWORD>(firstMs));
        const SIZE_T early = WorkingSet(run.hProcess);
        Sleep(static_cast<DWORD>(totalMs > firstMs ? totalMs - firstMs : 0.0));
        const SIZE_T late = WorkingSet(run.hProcess);
        const bool previewing = CyanPixels(find.found) > 2000;
        std::printf("figure working_set_early_mb %.1f\n", early / 1048576.0);
        std::printf("figure working_set_late_mb %.1f\n", late / 1048576.0);
        std::printf("working set after %.1f min: %.1f MB, after %.1f min: %.1f MB\n", firstMs / 60000.0,
                    early / 1048576.0, totalMs / 60000.0, late / 1048576.0);
        // Allocators and caches settle: growth beyond 4 MB or a tenth is a leak.
        const SIZE_T allowed = early / 10 > 4u * 1048576u ? early / 10 : 4u * 1048576u;
        if (early == 0 || late > early + allowed) {
            std::printf("the working set grew while previewing\n");
            status = 1;
        }
        if (!previewing) {
            std::printf("the preview stopped\n");
            status = 1;
        }
    }
    if (run.hProcess != nullptr && CloseProgram(run, find.found) != 0) status = 1;
    DeleteFileW(ini.c_str());
    DeleteFileW(trace.c_str());
    DeleteFileW(exe.c_str());
    RemoveDirectoryW(folder.c_str());
    return status;
}
