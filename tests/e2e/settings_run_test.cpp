// Settings and messages around a run, as a user meets them: a full screen left open at the close
// comes back at the next start; a stored sound input missing at the start stays stored; a
// "Portable" answer that cannot be written (a folder holds the INI file's name) is told; a script
// chosen while another runs is told not run; a question naming a folder of 100,000 characters
// stays on the screen with its buttons.
#include "tests/e2e/recordings_fixture.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

using namespace e2e_fixture;

// Whether Window lies wholly on the screen.
bool OnScreen(HWND Window) {
    RECT r{};
    if (!GetWindowRect(Window, &r)) return false;
    return r.left >= 0 && r.top >= 0 && r.right <= GetSystemMetrics(SM_CXSCREEN) && r.bottom <= GetSystemMetrics(SM_CYSCREEN);
}

TEST_F(EndToEnd, AFullScreenLeftOpenAtTheCloseComesBackAtTheNextStart) {
    ASSERT_TRUE(copy_.WriteSettings(RecordingSettings()));
    {
        TProgram program;
        ASSERT_NO_FATAL_FAILURE(Start(program, Arg(std::wstring(L"+sv=") + kCamera)));
        ASSERT_TRUE(program.PreviewMoves());
        ASSERT_NO_FATAL_FAILURE(Script(program, {L"full_screen"}));
        ASSERT_TRUE(e2e::WaitFor([&] { return program.FindWindowCaptioned(L"plaque") != nullptr; }));
        EXPECT_TRUE(program.Close());
    }
    EXPECT_EQ(L"1", e2e::IniValue(e2e::ReadLines(copy_.Ini()), L"Fullscreen On")) << "kept as the close found it";
    {
        TProgram program;
        ASSERT_NO_FATAL_FAILURE(Start(program));
        EXPECT_TRUE(e2e::WaitFor([&] { return program.FindWindowCaptioned(L"plaque") != nullptr; }))
            << "the next start is full screen again";
        ASSERT_NO_FATAL_FAILURE(Script(program, {L"exit_fullscreen"}));
        EXPECT_TRUE(e2e::WaitFor([&] { return program.FindWindowCaptioned(L"plaque") == nullptr; }));
        EXPECT_TRUE(program.Close());
    }
    EXPECT_EQ(L"0", e2e::IniValue(e2e::ReadLines(copy_.Ini()), L"Fullscreen On")) << "left before the close";
}

// A stored sound input missing at the start (its sound server down) is told, and the close keeps
// it stored in place of the one taken for the run.
TEST_F(EndToEnd, AStoredSoundInputMissingAtTheStartStaysStored) {
    std::vector<std::wstring> settings = RecordingSettings();
    settings.insert(settings.end(), {std::wstring(L"Source video=") + kCamera, L"Source Audio=Monitor of QuillSink"});
    ASSERT_TRUE(copy_.WriteSettings(settings));
    TProgram program;
    ASSERT_NO_FATAL_FAILURE(Start(program));
    // The stand-in: the test microphone, or an input of the test run's sound server.
    ASSERT_TRUE(e2e::WaitFor([&] {
        const std::wstring taken = program.SoundSource();
        return !taken.empty() && taken != L"no audio stream" && taken != L"Monitor of QuillSink";
    })) << "a stand-in is taken";
    EXPECT_TRUE(e2e::WaitFor([&] { return program.StatusRedPixels() > 0; }, 10000)) << "and told";
    EXPECT_TRUE(program.Close());
    EXPECT_EQ(L"Monitor of QuillSink", e2e::IniValue(e2e::ReadLines(copy_.Ini()), L"Source Audio"));
}

TEST_F(EndToEnd, APortableAnswerThatCannotBeWrittenIsTold) {
    RegDeleteTreeW(HKEY_CURRENT_USER, quill_test::kMakerKey);
    ASSERT_TRUE(CreateDirectoryW(copy_.Ini().c_str(), nullptr)) << "a folder named like the settings file";
    TProgram program;
    ASSERT_NO_FATAL_FAILURE(Start(program));
    EXPECT_TRUE(program.Close(L"Portable")) << "the program still ends";
    EXPECT_TRUE(program.Asked());
    // The message's text is drawn, not a window's: its caption and its one button are read. A
    // window without a button (a tip, a list dropped down) is no message.
    const std::vector<std::wstring>& shown = program.ShownAtClose();
    const auto messages = std::count_if(shown.begin(), shown.end(),
                                        [](const std::wstring& Text) { return Text.find(L" [") != std::wstring::npos; });
    EXPECT_EQ(1, messages) << "one message says the settings were not saved: " << testing::PrintToString(shown);
    EXPECT_EQ(1, std::count(shown.begin(), shown.end(), std::wstring(L"Error: [Ok]"))) << testing::PrintToString(shown);
    EXPECT_FALSE(quill_test::KeyExists(quill_test::kProgramKey)) << "nor were they kept elsewhere";
    RemoveDirectoryW(copy_.Ini().c_str());
}

TEST_F(EndToEnd, AScriptChosenWhileAnotherRunsIsToldNotRun) {
    ASSERT_TRUE(copy_.WriteSettings(RecordingSettings()));
    // The picture folder is there: a grab that ran would leave its picture.
    const std::wstring pictures = copy_.Folder() + L"pictures\\";
    ASSERT_TRUE(CreateDirectoryW(pictures.c_str(), nullptr));
    TProgram program;
    ASSERT_NO_FATAL_FAILURE(Start(program, Arg(std::wstring(L"+sv=") + kCamera)));
    // A long script (some twenty seconds): the second one is chosen while it still runs (its
    // commands let the clicks in).
    std::vector<std::wstring> slow(1000, L"/mute");
    slow.push_back(L"jpeg");
    ASSERT_NO_FATAL_FAILURE(Script(program, slow));
    ASSERT_TRUE(program.RunScript({L"grab"}, false)) << testing::PrintToString(program.Failure());
    std::wstring caption;
    ASSERT_TRUE(program.AnswerMessage(L"OK", &caption)) << "the refusal is told";
    EXPECT_EQ(L"Warning", caption);
    // Chosen again until it is taken, it runs after the long one (whose last line chose JPEG).
    ASSERT_NO_FATAL_FAILURE(Script(program, {L"grab"}));
    const std::wstring grabbed = pictures + L"shot_00000.jpg";
    EXPECT_TRUE(e2e::WaitFor([&] { return e2e::FileSize(grabbed) > 0 && e2e::FileClosed(grabbed); }));
    EXPECT_TRUE(program.Close());
    EXPECT_FALSE(e2e::FileExists(pictures + L"shot_00000.bmp")) << "the refused script did not run";
    EXPECT_FALSE(e2e::FileExists(pictures + L"shot_00001.jpg")) << "the refused script did not run";
}

TEST_F(EndToEnd, AQuestionNamingAHundredThousandCharacterFolderFitsTheScreen) {
    // The first line of a name is the one read: the two asked for replace the usual ones.
    std::vector<std::wstring> settings{L"Confirmer Video=1", L"Video Directory=" + copy_.Folder() + std::wstring(100000, L'd')};
    for (const std::wstring& line : RecordingSettings()) settings.push_back(line);
    ASSERT_TRUE(copy_.WriteSettings(settings));
    TProgram program;
    ASSERT_NO_FATAL_FAILURE(Start(program, Arg(std::wstring(L"+sv=") + kCamera)));
    ASSERT_TRUE(program.ClickButton(L"Capture")) << testing::PrintToString(program.Failure());
    // Each message of the start (the question, then whatever it leads to) fits the screen.
    int messages = 0;
    for (;;) {
        HWND message = nullptr;
        if (!e2e::WaitFor([&] { return (message = program.Message()) != nullptr; }, messages == 0 ? e2e::kTimeoutMs : 5000))
            break;
        ++messages;
        EXPECT_TRUE(OnScreen(message)) << "message " << messages;
        int buttons = 0;
        for (HWND child : TProgram::ControlsOf(message, L"TUcButton")) {
            ++buttons;
            EXPECT_TRUE(OnScreen(child)) << "a button of message " << messages << " is off the screen";
        }
        EXPECT_GT(buttons, 0);
        ASSERT_TRUE(program.AnswerMessage(messages == 1 ? L"No" : L"OK")) << testing::PrintToString(program.Failure());
        ASSERT_TRUE(e2e::WaitFor([&] { return !IsWindow(message); }));
        if (messages > 3) break;
    }
    EXPECT_GE(messages, 1) << "the folder question came";
    EXPECT_TRUE(program.Close());
}

}  // namespace
