// Shared main of every test executable: no error box may wait for a person, then GoogleTest.
// An operation of the main thread called from another thread fails the test that was running.
#include <windows.h>

#include <gtest/gtest.h>

#include <mutex>
#include <string>
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
    return RUN_ALL_TESTS();
}
