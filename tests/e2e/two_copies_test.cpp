// Two copies of the program at once, as a user starts them: started in the same second with the
// same settings they prepare the same recording name, and each records whole into a file of its own.
#include "tests/e2e/recordings_fixture.h"

#include <filesystem>

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

}  // namespace
