// A start over an older file answered Yes, as a user makes it: the recording begins as soon after
// the answer as one that asks nothing begins after the click, however large the older file, and
// the older file is gone once the recording runs, nothing of it left in the folder.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/common/older_file.h"
#include "tests/e2e/recordings_fixture.h"

namespace {

using namespace e2e_fixture;

// Bytes past which a camera recording in native AVI holds its first frame: its header and one
// 320 x 240 picture. A size past kOlder is still the older file, not yet replaced.
constexpr std::uint64_t kFirstFrame = 8192 + 320 * 240 * 3;
constexpr std::uint64_t kOlder = 4000ull << 20;

// Milliseconds from Since to the first frame in File; ~0 when none came within a minute.
ULONGLONG FirstFrameAfter(ULONGLONG Since, const std::wstring& File) {
    const ULONGLONG giveUp = Since + 60000;
    for (;;) {
        const std::uint64_t size = e2e::FileSize(File);
        const ULONGLONG now = GetTickCount64();
        if (size > kFirstFrame && size < kOlder) return now - Since;
        if (now > giveUp) return ~0ull;
        Sleep(5);
    }
}

std::vector<std::wstring> FilesIn(const std::wstring& Folder) {
    std::vector<std::wstring> names;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(Folder, ec)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

// The older file is large: the file system takes a while to free its space, which the start must
// not wait for. Half a second is allowed for a busy machine.
TEST_F(Recordings, AYesToReplaceALargeFileStartsAsSoonAsAStartThatAsksNothing) {
    ASSERT_TRUE(copy_.WriteSettings(RecordingSettings(kCamera, kMicrophone, 5, true)));
    ASSERT_TRUE(CreateDirectoryW(Videos().c_str(), nullptr));
    TProgram program;
    ASSERT_NO_FATAL_FAILURE(Start(program));

    // A start that asks nothing: a name of its own.
    ULONGLONG at = GetTickCount64();
    ASSERT_TRUE(program.ClickButton(L"Capture")) << testing::PrintToString(program.Failure());
    const ULONGLONG plain = FirstFrameAfter(at, Clip(0));
    ASSERT_NE(~0ull, plain) << "no first frame";
    ASSERT_TRUE(program.ClickButton(L"Stop Capture")) << testing::PrintToString(program.Failure());
    ASSERT_TRUE(e2e::WaitFor([&] { return e2e::FileClosed(Clip(0)); }));

    // The next name holds a large older file: the question comes and is answered Yes.
    ASSERT_TRUE(quill_test::WriteOlderFile(Clip(1), kOlder));
    ASSERT_TRUE(program.ClickButton(L"Capture")) << testing::PrintToString(program.Failure());
    ASSERT_TRUE(e2e::WaitFor([&] { return program.Message() != nullptr; })) << "exists already: the question";
    at = GetTickCount64();
    ASSERT_TRUE(program.AnswerMessage(L"Yes")) << testing::PrintToString(program.Failure());
    const ULONGLONG answered = FirstFrameAfter(at, Clip(1));
    ASSERT_NE(~0ull, answered) << "no first frame";
    EXPECT_LE(answered, plain + 500) << "after Yes " << answered << " ms, without the question " << plain << " ms";
    ASSERT_TRUE(e2e::WaitFor([&] { return e2e::FileSize(Clip(1)) > 3000000; }));
    ASSERT_TRUE(program.ClickButton(L"Stop Capture")) << testing::PrintToString(program.Failure());
    ASSERT_TRUE(e2e::WaitFor([&] { return e2e::FileClosed(Clip(1)); }));
    EXPECT_TRUE(program.Close());

    EXPECT_FALSE(quill_test::HoldsOlderFile(quill_test::ReadWholeFile(Clip(1))));
    ReadBack(Clip(1), {"rawvideo", "pcm_s16le", "0x0001", false});
    // Nothing of the older file stays anywhere in the folder.
    const std::vector<std::wstring> expected{L"clip_0.avi", L"clip_1.avi"};
    EXPECT_TRUE(e2e::WaitFor([&] { return FilesIn(Videos()) == expected; }))
        << testing::PrintToString(FilesIn(Videos()));
}

}  // namespace
