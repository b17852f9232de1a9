// A recording from a sound input that cannot be opened (another program holds it: the audio
// capture stand-in's test setting for the program's process), as a user meets it: the window says
// that the capture could not start and which input could not be opened, alike for a sound format
// and a picture format, nothing goes on recording without its sound, the older file the start
// would have replaced is there as it was, and a later start records once the input is free, over
// the older file although another program looks at that file for a moment as the start comes.
#include <thread>

#include "tests/common/older_file.h"
#include "tests/e2e/recordings_fixture.h"
#include "ui/aside_record.h"

namespace e2e_fixture {
namespace {

// Another program's look at a file (a virus scanner or an indexer opens every new file): the
// file held open without sharing from the object's making until a while after LetGoIn.
class TPassingHold {
public:
    explicit TPassingHold(const std::wstring& File)
        : file_(CreateFileW(File.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr)) {}
    ~TPassingHold() {
        if (letGo_.joinable()) letGo_.join();
        if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
    }
    TPassingHold(const TPassingHold&) = delete;
    TPassingHold& operator=(const TPassingHold&) = delete;
    bool Held() const { return file_ != INVALID_HANDLE_VALUE; }
    void LetGoIn(DWORD Ms) {
        letGo_ = std::thread([this, Ms] {
            Sleep(Ms);
            CloseHandle(std::exchange(file_, INVALID_HANDLE_VALUE));
        });
    }

private:
    HANDLE file_;
    std::thread letGo_;
};

const wchar_t kSineInput[] = L"Monitor of Sine440";

// The sound inputs of one run of the program are busy while the object lives.
class TBusySoundInputs : public TProcessTestSetting {
public:
    explicit TBusySoundInputs(const TProgram& Program)
        : TProcessTestSetting(Program, standins::kTestSoundInputsBusyValue, 1) {}
};

// The text of the message the program shows, as Ctrl+C copies it to the clipboard.
std::wstring CopiedMessage(HWND Message) {
    const DWORD thread = GetWindowThreadProcessId(Message, nullptr);
    if (!AttachThreadInput(GetCurrentThreadId(), thread, TRUE)) return L"(the message's keyboard cannot be shared)";
    BYTE keys[256] = {};
    GetKeyboardState(keys);
    keys[VK_CONTROL] = 0x80;
    SetKeyboardState(keys);
    SendMessageW(Message, WM_KEYDOWN, 'C', 0);
    keys[VK_CONTROL] = 0;
    SetKeyboardState(keys);
    AttachThreadInput(GetCurrentThreadId(), thread, FALSE);
    std::wstring text;
    if (OpenClipboard(nullptr)) {
        if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
            if (const auto* chars = static_cast<const wchar_t*>(GlobalLock(data))) text = chars;
            GlobalUnlock(data);
        }
        CloseClipboard();
    }
    return text;
}

TEST_F(Recordings, ARecordingFromASoundInputThatCannotBeOpenedSaysWhichInputItWas) {
    if (GetEnvironmentVariableW(L"QUILL_TEST_PULSE", nullptr, 0) == 0)
        GTEST_SKIP() << "no test PulseAudio server (run through scripts/test.sh)";
    ASSERT_TRUE(copy_.WriteSettings(RecordingSettings()));
    ASSERT_TRUE(CreateDirectoryW(Videos().c_str(), nullptr));
    TProgram program;
    ASSERT_NO_FATAL_FAILURE(Start(program));
    struct Case {
        const wchar_t* video;
        const wchar_t* format;
        const wchar_t* extension;
    };
    int clip = 0;
    for (const Case& c : {Case{L"no video stream", L"Wav", L".wav"}, Case{kCamera, L"avi native", L".avi"}}) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.format)));
        ASSERT_NO_FATAL_FAILURE(Script(program, {std::wstring(L"source_video=") + c.video,
                                                 std::wstring(L"source_audio=") + kSineInput,
                                                 std::wstring(L"format_capture=") + c.format}));
        ASSERT_TRUE(e2e::WaitFor([&] { return program.SoundSource() == kSineInput && program.CaptureFormat() == c.format; }))
            << testing::PrintToString(program.SoundSource());
        // An older file where the recording goes, replaced without a question.
        ASSERT_TRUE(quill_test::WriteOlderFile(Clip(clip, c.extension), 1u << 20));
        const std::string older = quill_test::ReadWholeFile(Clip(clip, c.extension));
        {
            TBusySoundInputs busy(program);
            ASSERT_TRUE(busy.Set());
            // Tried twice while the input is busy: each refused start tells which input it was
            // (the input tells its failure once a start, and hears that a refused one is over).
            for (int attempt = 0; attempt < 2; ++attempt) {
                SCOPED_TRACE(attempt);
                ASSERT_TRUE(program.ClickButton(L"Capture")) << testing::PrintToString(program.Failure());
                HWND message = nullptr;
                ASSERT_TRUE(e2e::WaitFor([&] { return (message = program.Message()) != nullptr; })) << "nobody is told";
                const std::wstring text = CopiedMessage(message);
                std::wstring caption;
                EXPECT_TRUE(program.AnswerMessage(L"OK", &caption));
                EXPECT_EQ(L"Error", caption);
                EXPECT_NE(std::wstring::npos, text.find(std::wstring(L"The capture could not start: the sound input ") +
                                                        kSineInput + L" could not be opened: "))
                    << testing::PrintToString(text);
                EXPECT_EQ(std::wstring::npos, text.find(L"cannot be written")) << testing::PrintToString(text);
                EXPECT_TRUE(e2e::WaitFor([&] { return program.ButtonShown({L"Capture", L"Stop Capture"}) == L"Capture"; }))
                    << "a recording without its sound runs on";
            }
        }
        // A recording that never began leaves nothing behind, and the older file is back.
        EXPECT_TRUE(e2e::WaitFor([&] { return older == quill_test::ReadWholeFile(Clip(clip, c.extension)); }))
            << "the older file is not as it was";
        EXPECT_FALSE(e2e::FileExists(Clip(clip + 1, c.extension)));
        const ui::TFileIdentity olderFile = ui::FileIdentity(Clip(clip, c.extension));
        ASSERT_TRUE(olderFile.Exists);
        std::wstring recorded, said;
        {
            // Another program holds the older file for a second as the start comes: the
            // start waits for it rather than taking another name.
            TPassingHold look(Clip(clip, c.extension));
            ASSERT_TRUE(look.Held());
            ASSERT_TRUE(program.ClickButton(L"Capture")) << testing::PrintToString(program.Failure());
            look.LetGoIn(1000);
            ASSERT_TRUE(e2e::WaitFor([&] {
                if (program.Message() != nullptr) {
                    said += program.MessageText();
                    program.AnswerMessage(L"OK", nullptr, 0);
                }
                // The older file is as large: the recording is a file of another identity.
                for (int n : {clip, clip + 1}) {
                    if (e2e::FileSize(Clip(n, c.extension)) > 200000 && !ui::FileIdentity(Clip(n, c.extension)).SameFile(olderFile))
                        recorded = Clip(n, c.extension);
                }
                return !recorded.empty();
            })) << "the input, free again, does not record";
        }
        EXPECT_EQ(L"", said);
        EXPECT_EQ(Clip(clip, c.extension), recorded) << "the older file, looked at for a moment, is replaced";
        ASSERT_TRUE(program.ClickButton(L"Stop Capture")) << testing::PrintToString(program.Failure());
        ASSERT_TRUE(e2e::WaitFor([&] { return e2e::FileClosed(recorded); }));
        EXPECT_FALSE(quill_test::HoldsOlderFile(quill_test::ReadWholeFile(recorded))) << "nothing of the older file";
        clip = recorded == Clip(clip, c.extension) ? clip + 1 : clip + 2;
    }
    EXPECT_TRUE(program.Close());
}

}  // namespace
}  // namespace e2e_fixture
