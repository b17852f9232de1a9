#include "classlib/start_trace.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>

namespace classlib {

namespace {

struct TTraceFile {
    HANDLE File = INVALID_HANDLE_VALUE;
    ULONGLONG Created = 0;  // the process's creation, in 100 ns units
    std::mutex Lock;

    TTraceFile()
    {
        wchar_t path[MAX_PATH] = {};
        const DWORD length = GetEnvironmentVariableW(L"QUILL_START_TRACE", path, MAX_PATH);
        if (length == 0 || length >= MAX_PATH) return;
        FILETIME created{}, exited{}, kernel{}, user{};
        GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
        Created = (static_cast<ULONGLONG>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
        File = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    }
};

// Made on the first step; left open to the end of the process, which closes it.
TTraceFile& Trace()
{
    static TTraceFile* trace = new TTraceFile;
    return *trace;
}

}  // namespace

void StartTrace(const char* Step)
{
    TTraceFile& trace = Trace();
    if (trace.File == INVALID_HANDLE_VALUE || Step == nullptr) return;
    FILETIME now{}, created{}, exited{}, kernel{}, user{};
    GetSystemTimeAsFileTime(&now);
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    const auto value = [](const FILETIME& t) { return (static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
    const ULONGLONG at = value(now);
    char line[200];
    const int n = std::snprintf(line, sizeof(line), "%.1f %.1f %s\r\n", at > trace.Created ? (at - trace.Created) / 1e4 : 0.0,
                                (value(kernel) + value(user)) / 1e4, Step);
    if (n <= 0) return;
    std::lock_guard<std::mutex> guard(trace.Lock);
    // Also to the debugger's channel: a Wine log of the start shows the steps among the system's calls.
    OutputDebugStringA(line);
    DWORD written = 0;
    WriteFile(trace.File, line, static_cast<DWORD>(std::min<size_t>(static_cast<size_t>(n), sizeof(line) - 1)), &written, nullptr);
}

}  // namespace classlib
