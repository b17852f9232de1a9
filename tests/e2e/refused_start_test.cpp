// A start whose writer cannot begin its file, as a user meets it: the refusal is told, the preview
// runs on, no recording is left running nor an empty file behind, and the program closes.
#include "tests/e2e/recordings_fixture.h"

#include <filesystem>

namespace {

using namespace e2e_fixture;

const std::vector<std::wstring> kCaptureButtons{L"Capture", L"Stop Capture"};

// A recording whose writer cannot write its file's first bytes (the disk takes none): the AVI
// multiplexer refuses the graph's start, the MPEG multiplexer its first write. Either way the
// start is told with a message, the preview runs on, no file grows behind the window's back, a
// later start on a disk with room records, and the program closes.
TEST_F(Recordings, AStartThatTheWriterRefusesIsToldAndThePreviewRunsOn) {
    struct Case {
        const wchar_t* video;
        const wchar_t* format;
        const wchar_t* extension;
        const char* codec;
        const char* soundCodec;
        const char* soundTag;
        std::uint64_t grown;  // bytes that show a recording with frames
    };
    const Case cases[] = {{kMpegCard, L"mpeg2 native stream", L".mpg", "mpeg2video", "mp2", kMpegSoundTag, 200000},
                          {kCamera, L"avi native", L".avi", "rawvideo", "pcm_s16le", "0x0001", 3000000}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.format)));
        ASSERT_TRUE(copy_.WriteSettings(RecordingSettings()));
        TProgram program;
        ASSERT_NO_FATAL_FAILURE(Start(program, Arg(std::wstring(L"+sv=") + c.video) + L" " +
                                                   Arg(std::wstring(L"+sa=") + kMicrophone) + L" " +
                                                   Arg(std::wstring(L"+format_capture=") + c.format)));
        EXPECT_TRUE(e2e::WaitFor([&] { return program.CaptureFormat() == c.format; }));
        const std::wstring first = Clip(0, c.extension);
        {
            TDiskLimit disk(program, 0);
            ASSERT_TRUE(disk.Set());
            ASSERT_TRUE(program.ClickButton(L"Capture")) << testing::PrintToString(program.Failure());
            std::wstring caption;
            EXPECT_TRUE(program.AnswerMessage(L"OK", &caption, 30000)) << "the refusal is told";
            EXPECT_EQ(L"Error", caption);
            EXPECT_TRUE(e2e::WaitFor([&] { return program.ButtonShown(kCaptureButtons) == L"Capture"; }))
                << "nothing records: " << testing::PrintToString(program.ButtonShown(kCaptureButtons));
            EXPECT_TRUE(program.PreviewMoves()) << "the preview runs on";
            EXPECT_FALSE(e2e::FileExists(first)) << "no empty file left behind, nor a recording running";
        }
        // The refused start keeps its name for the next try; a start refused at the first write
        // had begun, and the next recording takes the next name.
        ASSERT_TRUE(program.ClickButton(L"Capture")) << testing::PrintToString(program.Failure());
        std::wstring next;
        ASSERT_TRUE(e2e::WaitFor([&] {
            for (int n : {0, 1})
                if (e2e::FileSize(Clip(n, c.extension)) > c.grown) next = Clip(n, c.extension);
            return !next.empty();
        })) << "a later start records";
        ASSERT_TRUE(program.ClickButton(L"Stop Capture")) << testing::PrintToString(program.Failure());
        EXPECT_TRUE(e2e::WaitFor([&] { return e2e::FileClosed(next); }));
        EXPECT_TRUE(program.Close()) << "the program closes after a refused start";
        ReadBack(next, {c.codec, c.soundCodec, c.soundTag, false});
        std::error_code ignored;
        std::filesystem::remove_all(Videos(), ignored);
    }
}

}  // namespace
