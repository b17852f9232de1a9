// Shared main of every test executable: no error box may wait for a person, then GoogleTest.
// An operation of the main thread called from another thread fails the test that was running.
// A program that outlives its time says which test it was in and ends failed; one that is done
// ends at once, with its result.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

std::mutex gThreadReportsLock;
std::vector<std::string> gThreadReports;

// Reports arrive on worker threads; the failures are added on the main thread at each test's end.
class ThreadCheckListener : public testing::EmptyTestEventListener {
    void OnTestEnd(const testing::TestInfo&) override {
        std::vector<std::string> reports;
        {
            std::lock_guard<std::mutex> lock(gThreadReportsLock);
            reports.swap(gThreadReports);
        }
        for (const std::string& report : reports) ADD_FAILURE() << "main-thread check: " << report;
    }
};

// The test running now, for the watch below; empty between tests.
std::mutex gRunningLock;
std::string gRunning;
ULONGLONG gRunningSince = 0;

class RunningTestListener : public testing::EmptyTestEventListener {
    void OnTestStart(const testing::TestInfo& info) override {
        std::lock_guard<std::mutex> lock(gRunningLock);
        gRunning = std::string(info.test_suite_name()) + "." + info.name();
        gRunningSince = GetTickCount64();
    }
    void OnTestEnd(const testing::TestInfo&) override {
        std::lock_guard<std::mutex> lock(gRunningLock);
        gRunning.clear();
    }
};

// The time CTest gives the program (QUILL_TEST_TIMEOUT, in seconds, set from the test's TIMEOUT),
// less what Wine's start may take of it on a busy machine: 0 when it is not given (a run by hand).
ULONGLONG WatchedMs()
{
    const char* given = std::getenv("QUILL_TEST_TIMEOUT");
    const long seconds = given != nullptr ? std::strtol(given, nullptr, 10) : 0;
    if (seconds <= 0) return 0;
    const long margin = 30 + seconds / 20;
    return static_cast<ULONGLONG>(seconds > 2 * margin ? seconds - margin : seconds / 2) * 1000;
}

// CTest kills a program that outlives its TIMEOUT without a word on where it stood. Before that,
// the program says which test was running, and for how long, and ends failed.
void WatchTheTime(ULONGLONG limitMs)
{
    const ULONGLONG start = GetTickCount64();
    std::thread([start, limitMs] {
        while (GetTickCount64() - start < limitMs) Sleep(500);
        std::string running;
        ULONGLONG since = 0;
        {
            std::lock_guard<std::mutex> lock(gRunningLock);
            running = gRunning;
            since = gRunningSince;
        }
        const ULONGLONG now = GetTickCount64();
        char line[512];
        if (running.empty()) {
            std::snprintf(line, sizeof line,
                          "[  FAILED  ] the program has not ended %llu s after it started (between tests or after "
                          "the last): it is ended here\n",
                          (now - start) / 1000);
        } else {
            std::snprintf(line, sizeof line,
                          "[  FAILED  ] %s has run for %llu s and has not ended (the program %llu s): it is ended "
                          "here\n",
                          running.c_str(), (now - since) / 1000, (now - start) / 1000);
        }
        std::fputs(line, stdout);
        std::fflush(stdout);
        std::fputs(line, stderr);
        std::fflush(stderr);
        TerminateProcess(GetCurrentProcess(), 3);
    }).detach();
}

}  // namespace

// Called by the class library's main-thread check when no test set a reporter of its own.
extern "C" void QuillThreadCheckHook(const char* Message)
{
    std::lock_guard<std::mutex> lock(gThreadReportsLock);
    gThreadReports.emplace_back(Message);
}

int main(int argc, char** argv)
{
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    testing::InitGoogleTest(&argc, argv);
    testing::UnitTest::GetInstance()->listeners().Append(new ThreadCheckListener);
    testing::UnitTest::GetInstance()->listeners().Append(new RunningTestListener);
    if (const ULONGLONG limitMs = WatchedMs()) WatchTheTime(limitMs);
    const int result = RUN_ALL_TESTS();
    // Everything is written: the program ends here, at once. Wine's ordinary end (the unloading of
    // its sound, window and media libraries, while threads that the tests' graphs and windows left
    // are taken down) can take seconds on a busy machine, and its server kills a process that is
    // slow to go: CTest then reports a program whose tests all passed as killed.
    std::fflush(stdout);
    std::fflush(stderr);
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(result));
    return result;
}
