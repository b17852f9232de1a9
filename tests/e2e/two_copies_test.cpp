// Two copies of the program at once, as a user starts them: started in the same second with the
// same settings they prepare the same recording name, and each records whole into a file of its own;
// a Yes answered late in one copy never replaces what the other recorded meanwhile, and a name the
// other copy records into is never offered for replacing.
#include "tests/e2e/recordings_fixture.h"

#include <filesystem>

#include "tests/common/older_file.h"

namespace {

using namespace e2e_fixture;

// Both copies start a capture from their command lines as soon as they are up, so that their
// starts meet: whichever comes second finds the name taken (held, or taken between its checks and
// its writer's open) and records under the next free one, without a word. The run's date stamp
// is left out of the names: two copies started in the same second name their files alike exactly
// so.
TEST_F(Recordings, TwoCopiesStartedTogetherRecordIntoFilesOfTheirOwn) {
    ASSERT_TRUE(copy_.WriteSettings(RecordingSettings(kCamera, kMicrophone, 5, true)));
    ASSERT_TRUE(CreateDirectoryW(Videos().c_str(), nullptr));
    TProgram first, second;
    ASSERT_TRUE(first.Launch(copy_.Exe(), L"+c")) << testing::PrintToString(first.Failure());
    ASSERT_TRUE(second.Launch(copy_.Exe(), L"+c")) << testing::PrintToString(second.Failure());
    ASSERT_TRUE(first.WaitReady()) << testing::PrintToString(first.Failure());
    ASSERT_TRUE(second.WaitReady()) << testing::PrintToString(second.Failure());
    // Neither says anything: no refusal, no stop, no question.
    std::wstring said;
    const bool both = e2e::WaitFor([&] {
        for (TProgram* program : {&first, &second})
            if (program->Message() != nullptr) {
                said = program->MessageText();
                return true;
            }
        return e2e::FileSize(Clip(0)) > 3000000 && e2e::FileSize(Clip(1)) > 3000000;
    });
    EXPECT_EQ(L"", said);
    ASSERT_TRUE(both) << "two recordings, each growing";
    for (TProgram* program : {&first, &second}) {
        EXPECT_EQ(L"Stop Capture", program->ButtonShown({L"Capture", L"Stop Capture"}));
        ASSERT_TRUE(program->ClickButton(L"Stop Capture")) << testing::PrintToString(program->Failure());
    }
    EXPECT_TRUE(e2e::WaitFor([&] { return e2e::FileClosed(Clip(0)) && e2e::FileClosed(Clip(1)); }));
    EXPECT_TRUE(first.Close());
    EXPECT_TRUE(second.Close());
    EXPECT_FALSE(e2e::FileExists(Clip(2))) << "no name taken for nothing";
    ReadBack(Clip(0), {"rawvideo", "pcm_s16le", "0x0001", false});
    ReadBack(Clip(1), {"rawvideo", "pcm_s16le", "0x0001", false});
}

// Both copies ask about the same older file. The first answers Yes, records and stops; the second's
// Yes comes after: it was for the older file, not for the first copy's recording, which stays. And
// while the second records, the first copy's next start takes a name of its own without a word.
TEST_F(Recordings, ALateYesInASecondCopyKeepsTheFirstCopysRecording) {
    ASSERT_TRUE(copy_.WriteSettings(RecordingSettings(kCamera, kMicrophone, 5, true)));
    ASSERT_TRUE(CreateDirectoryW(Videos().c_str(), nullptr));
    ASSERT_TRUE(quill_test::WriteOlderFile(Clip(0), 1u << 20));
    TProgram first, second;
    ASSERT_NO_FATAL_FAILURE(Start(first));
    ASSERT_NO_FATAL_FAILURE(Start(second));
    for (TProgram* program : {&first, &second}) {
        ASSERT_TRUE(program->ClickButton(L"Capture")) << testing::PrintToString(program->Failure());
        ASSERT_TRUE(e2e::WaitFor([&] { return program->Message() != nullptr; })) << "exists already: the question";
        EXPECT_NE(std::wstring::npos, program->MessageText().find(Clip(0) + L" exists already"));
    }
    // Grows past Bytes with no message shown meanwhile; what was said otherwise.
    auto growsUntold = [](TProgram& Program, const std::wstring& File, std::uint64_t Bytes) {
        std::wstring said;
        const bool grew = e2e::WaitFor([&] {
            if (Program.Message() != nullptr) said = Program.MessageText();
            return !said.empty() || e2e::FileSize(File) > Bytes;
        });
        return grew && said.empty() ? std::wstring() : L"said: " + said;
    };
    ASSERT_TRUE(first.AnswerMessage(L"Yes"));
    ASSERT_EQ(L"", growsUntold(first, Clip(0), 3000000));
    ASSERT_TRUE(first.ClickButton(L"Stop Capture")) << testing::PrintToString(first.Failure());
    ASSERT_TRUE(e2e::WaitFor([&] { return e2e::FileClosed(Clip(0)); }));
    const std::string firstRecording = quill_test::ReadWholeFile(Clip(0));

    ASSERT_TRUE(second.AnswerMessage(L"Yes"));
    ASSERT_EQ(L"", growsUntold(second, Clip(1), 3000000)) << "the second copy records under the next free name";
    // The first copy's next name is the one the second records into: it is neither offered nor taken.
    ASSERT_TRUE(first.ClickButton(L"Capture")) << testing::PrintToString(first.Failure());
    ASSERT_EQ(L"", growsUntold(first, Clip(2), 3000000));
    for (TProgram* program : {&first, &second})
        ASSERT_TRUE(program->ClickButton(L"Stop Capture")) << testing::PrintToString(program->Failure());
    EXPECT_TRUE(e2e::WaitFor([&] { return e2e::FileClosed(Clip(1)) && e2e::FileClosed(Clip(2)); }));
    EXPECT_TRUE(first.Close());
    EXPECT_TRUE(second.Close());
    EXPECT_TRUE(firstRecording == quill_test::ReadWholeFile(Clip(0))) << "the first copy's recording is as it was";
    for (int clip : {0, 1, 2}) ReadBack(Clip(clip), {"rawvideo", "pcm_s16le", "0x0001", false});
}

// One copy is killed as it makes its recording's file over an older one it was told to replace:
// the older file is aside, a recording of no bytes under its name. The other copy, asked to record
// under that name, first settles what the killed copy left: its question is about the older file,
// back under its name, and a No keeps it whole; never a Yes given for an empty file that then
// takes the older one.
TEST_F(Recordings, ACopyKilledAsItReplacesAFileLeavesItToTheOtherCopysQuestion) {
    ASSERT_TRUE(copy_.WriteSettings(RecordingSettings(kCamera, kMicrophone, 5, true)));
    ASSERT_TRUE(CreateDirectoryW(Videos().c_str(), nullptr));
    ASSERT_TRUE(quill_test::WriteOlderFile(Clip(0), 8u << 20));
    const std::string older = quill_test::ReadWholeFile(Clip(0));
    TProgram killed, other;
    ASSERT_NO_FATAL_FAILURE(Start(killed));
    ASSERT_NO_FATAL_FAILURE(Start(other));
    {
        TProcessTestSetting kill(killed, standins::kTestKillAfterWritesValue, 0);
        ASSERT_TRUE(kill.Set());
        ASSERT_TRUE(killed.ClickButton(L"Capture")) << testing::PrintToString(killed.Failure());
        ASSERT_TRUE(killed.AnswerMessage(L"Yes")) << "exists already: the question";
        ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(killed.Process(), 60000)) << "the copy was never killed";
    }
    ASSERT_EQ(0u, e2e::FileSize(Clip(0))) << "the killed copy's recording, made and never written";
    ASSERT_TRUE(other.ClickButton(L"Capture")) << testing::PrintToString(other.Failure());
    ASSERT_TRUE(e2e::WaitFor([&] { return other.Message() != nullptr; })) << "exists already: the question";
    EXPECT_NE(std::wstring::npos, other.MessageText().find(Clip(0) + L" exists already"));
    EXPECT_TRUE(older == quill_test::ReadWholeFile(Clip(0))) << "the question is about the older file, back";
    ASSERT_TRUE(other.AnswerMessage(L"No"));
    EXPECT_EQ(L"Capture", other.ButtonShown({L"Capture", L"Stop Capture"}));
    EXPECT_TRUE(other.Close());
    std::vector<std::wstring> names;
    for (const auto& entry : std::filesystem::directory_iterator(Videos())) names.push_back(entry.path().wstring());
    EXPECT_EQ(std::vector<std::wstring>{Clip(0)}, names);
    EXPECT_TRUE(older == quill_test::ReadWholeFile(Clip(0))) << "kept whole";
}

}  // namespace
