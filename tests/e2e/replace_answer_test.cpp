// A start over an older file answered Yes, as a user makes it: the start does nothing with the
// older file but move it out of the way (at the recording's first picture it is still there, the
// same file, whole or being emptied), however large it is, and the older file is gone once the
// recording runs, nothing of it left in the folder. On a volume
// that has room for the recording only through the older file's, the Yes gives it that room; where
// even that would not do, the start is refused and the older file kept byte for byte.
#include <windows.h>

#include <gtest/gtest.h>

#include <commctrl.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "tests/app/screen_pixels.h"
#include "tests/common/desktop_input.h"
#include "tests/common/older_file.h"
#include "tests/common/recording_headers.h"
#include "tests/e2e/recordings_fixture.h"
#include "ui/aside_record.h"

namespace {

using namespace e2e_fixture;

// Bytes past which a camera recording in native AVI holds its first frame: its header and one
// 320 x 240 picture. A size past kOlder is still the older file, not yet replaced.
constexpr std::uint64_t kFirstFrame = 8192 + 320 * 240 * 3;
constexpr std::uint64_t kOlder = 4000ull << 20;

// Waits for the first frame in File (a minute at most); false when none came. At the poll that sees
// it, Older tells where the file of that identity lies in Folder and how large it is then (empty
// when it is nowhere).
bool FirstFrameIn(const std::wstring& File, const ui::TFileIdentity& OlderFile = {}, const std::wstring& Folder = {},
                  std::pair<std::wstring, std::uint64_t>* Older = nullptr) {
    const ULONGLONG giveUp = GetTickCount64() + 60000;
    for (;;) {
        const std::uint64_t size = e2e::FileSize(File);
        if (size > kFirstFrame && size < kOlder) break;
        if (GetTickCount64() > giveUp) return false;
        Sleep(5);
    }
    if (Older == nullptr) return true;
    *Older = {};
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(Folder, ec)) {
        const ui::TFileIdentity there = ui::FileIdentity(entry.path().wstring());
        if (there.SameFile(OlderFile)) *Older = {entry.path().filename().wstring(), e2e::FileSize(entry.path().wstring())};
    }
    return true;
}

std::vector<std::wstring> FilesIn(const std::wstring& Folder) {
    std::vector<std::wstring> names;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(Folder, ec)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

// The older file is large: the file system takes a while to free its space, which the start must
// not wait for, nor read or copy the file. The start moves it out of the way, and only once the
// recording runs is it emptied (a step at a time, with pauses) and deleted: at the first frame of the
// recording, the older file is still in the folder, the same file (a load that slows the program
// slows the freeing as much).
TEST_F(Recordings, AYesToReplaceALargeFileStartsAsSoonAsAStartThatAsksNothing) {
    ASSERT_TRUE(copy_.WriteSettings(RecordingSettings(kCamera, kMicrophone, 5, true)));
    ASSERT_TRUE(CreateDirectoryW(Videos().c_str(), nullptr));
    TProgram program;
    ASSERT_NO_FATAL_FAILURE(Start(program));

    // A start that asks nothing: a name of its own.
    ASSERT_TRUE(program.ClickButton(L"Capture")) << testing::PrintToString(program.Failure());
    ASSERT_TRUE(FirstFrameIn(Clip(0))) << "no first frame";
    ASSERT_TRUE(program.ClickButton(L"Stop Capture")) << testing::PrintToString(program.Failure());
    ASSERT_TRUE(e2e::WaitFor([&] { return e2e::FileClosed(Clip(0)); }));

    // The next name holds a large older file: the question comes and is answered Yes.
    ASSERT_TRUE(quill_test::WriteOlderFile(Clip(1), kOlder));
    const ui::TFileIdentity olderFile = ui::FileIdentity(Clip(1));
    ASSERT_TRUE(olderFile.Exists);
    ASSERT_TRUE(program.ClickButton(L"Capture")) << testing::PrintToString(program.Failure());
    ASSERT_TRUE(e2e::WaitFor([&] { return program.Message() != nullptr; })) << "exists already: the question";
    ASSERT_TRUE(program.AnswerMessage(L"Yes")) << testing::PrintToString(program.Failure());
    std::pair<std::wstring, std::uint64_t> older;
    ASSERT_TRUE(FirstFrameIn(Clip(1), olderFile, Videos(), &older)) << "no first frame";
    // Deleted, or copied elsewhere (a file of another identity), before the start: not there. The
    // emptying that follows the recording's beginning takes seconds of pauses for this size.
    EXPECT_FALSE(older.first.empty()) << "the older file was freed or copied before the recording began";
    std::printf("at the first frame, the older file: %ls, %llu bytes of %llu\n", older.first.c_str(),
                static_cast<unsigned long long>(older.second), static_cast<unsigned long long>(kOlder));
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

TEST_F(Recordings, AYesOnAFullVolumeRecordsInTheOlderFilesRoomOrKeepsItWhole) {
    const TSmallVolumeFolder volume(L"videos");
    if (volume.Path().empty()) GTEST_SKIP() << "no small volume (scripts/test.sh mounts one when it runs as root)";
    const std::wstring folder = volume.Path();
    ASSERT_TRUE(copy_.WriteSettings(RecordingSettingsIn(folder, kCamera, kMicrophone, 5, true)));
    const std::wstring first = folder + L"clip_0.avi";
    ASSERT_TRUE(quill_test::WriteOlderFile(first, 40u << 20));
    ASSERT_TRUE(FillVolume(folder)) << "the volume is not full";
    TProgram program;
    ASSERT_NO_FATAL_FAILURE(Start(program));

    // The older file holds the volume's only room: the recording takes it and runs, and says nothing.
    ASSERT_TRUE(program.ClickButton(L"Capture")) << testing::PrintToString(program.Failure());
    ASSERT_TRUE(program.AnswerMessage(L"Yes")) << "exists already: the question";
    std::wstring said;
    EXPECT_TRUE(e2e::WaitFor([&] {
        if (program.Message() != nullptr) said = program.MessageText();
        // The older file is larger still, and keeps the name until the answer is acted on: the
        // name holds the new recording once the capture runs.
        return !said.empty() ||
               (program.ButtonShown({L"Capture", L"Stop Capture"}) == L"Stop Capture" && e2e::FileSize(first) > (4u << 20));
    }));
    ASSERT_EQ(L"", said);
    EXPECT_EQ(L"Stop Capture", program.ButtonShown({L"Capture", L"Stop Capture"}));
    ASSERT_TRUE(program.ClickButton(L"Stop Capture")) << testing::PrintToString(program.Failure());
    ASSERT_TRUE(e2e::WaitFor([&] { return e2e::FileClosed(first); }));
    EXPECT_FALSE(quill_test::HoldsOlderFile(quill_test::ReadWholeFile(first)));
    ReadBack(first, {"rawvideo", "pcm_s16le", "0x0001", false});
    const std::vector<std::wstring> recorded{L"clip_0.avi", L"filler"};
    EXPECT_TRUE(e2e::WaitFor([&] { return FilesIn(folder) == recorded; })) << testing::PrintToString(FilesIn(folder));

    // Room for a second or so: the recording begins, fills the volume, and goes on in the older
    // file's room. What it recorded before is kept as the recording's first part, the recording
    // goes on under the next name, and nothing is said. The older file stays aside till the
    // volume is full, however much the first part holds by then.
    ASSERT_TRUE(DeleteFileW((folder + L"filler").c_str()));
    ASSERT_TRUE(DeleteFileW(first.c_str()));
    const std::wstring begun = folder + L"clip_1.avi";
    ASSERT_TRUE(quill_test::WriteOlderFile(begun, 40u << 20));
    ASSERT_TRUE(FillVolume(folder, 8u << 20)) << "the volume is not full";
    const std::wstring next = folder + L"clip_2.avi";
    ASSERT_TRUE(program.ClickButton(L"Capture")) << testing::PrintToString(program.Failure());
    ASSERT_TRUE(program.AnswerMessage(L"Yes")) << "exists already: the question";
    EXPECT_TRUE(e2e::WaitFor([&] {
        if (program.Message() != nullptr) said = program.MessageText();
        return !said.empty() || e2e::FileSize(next) > (4u << 20);
    }));
    ASSERT_EQ(L"", said);
    ASSERT_TRUE(program.ClickButton(L"Stop Capture")) << testing::PrintToString(program.Failure());
    ASSERT_TRUE(e2e::WaitFor([&] { return e2e::FileClosed(begun) && e2e::FileClosed(next); }));
    for (const std::wstring& part : {begun, next}) {
        EXPECT_FALSE(quill_test::HoldsOlderFile(quill_test::ReadWholeFile(part)));
        const quill_test::TMediaProbe probe = quill_test::Probe(part);
        ASSERT_TRUE(probe.Ok()) << probe.Run.Failure << probe.Run.Err;
        const int v = probe.StreamOfType("video");
        ASSERT_GE(v, 0);
        EXPECT_GE(std::atoi(probe.Stream(v, "nb_read_packets").c_str()), 1) << "a picture in each part";
    }
    const std::vector<std::wstring> parts{L"clip_1.avi", L"clip_2.avi", L"filler"};
    EXPECT_TRUE(e2e::WaitFor([&] { return FilesIn(folder) == parts; })) << testing::PrintToString(FilesIn(folder));

    // A small older file on a full volume would give too little room: the start is refused and
    // the older file stays as it was.
    ASSERT_TRUE(DeleteFileW(begun.c_str()));
    ASSERT_TRUE(DeleteFileW(next.c_str()));
    ASSERT_TRUE(DeleteFileW((folder + L"filler").c_str()));
    const std::wstring second = folder + L"clip_3.avi";
    ASSERT_TRUE(quill_test::WriteOlderFile(second, 1u << 20));
    const std::string older = quill_test::ReadWholeFile(second);
    ASSERT_TRUE(FillVolume(folder)) << "the volume is not full";
    ASSERT_TRUE(program.ClickButton(L"Capture")) << testing::PrintToString(program.Failure());
    ASSERT_TRUE(program.AnswerMessage(L"Yes")) << "exists already: the question";
    ASSERT_TRUE(e2e::WaitFor([&] { return program.Message() != nullptr; })) << "the refusal is not told";
    said = program.MessageText();
    EXPECT_NE(std::wstring::npos, said.find(L"The capture could not start: the file " + second + L" cannot be written: "))
        << testing::PrintToString(said);
    EXPECT_TRUE(program.AnswerMessage(L"OK"));
    EXPECT_TRUE(e2e::WaitFor([&] { return program.ButtonShown({L"Capture", L"Stop Capture"}) == L"Capture"; }));
    const std::vector<std::wstring> kept{L"clip_3.avi", L"filler"};
    EXPECT_TRUE(e2e::WaitFor([&] { return FilesIn(folder) == kept; })) << testing::PrintToString(FilesIn(folder));
    EXPECT_TRUE(older == quill_test::ReadWholeFile(second)) << "the older file, byte for byte";

    // The older file holds the room again, but the sound input cannot be opened: room is not all
    // that stands in the way, so the older file's room is not given and it stays whole.
    if (GetEnvironmentVariableW(L"QUILL_TEST_PULSE", nullptr, 0) != 0) {
        const wchar_t sineInput[] = L"Monitor of Sine440";
        ASSERT_NO_FATAL_FAILURE(Script(program, {std::wstring(L"source_audio=") + sineInput}));
        ASSERT_TRUE(e2e::WaitFor([&] { return program.SoundSource() == sineInput; }));
        ASSERT_TRUE(DeleteFileW((folder + L"filler").c_str()));
        ASSERT_TRUE(quill_test::WriteOlderFile(second, 40u << 20));
        const std::string larger = quill_test::ReadWholeFile(second);
        ASSERT_TRUE(FillVolume(folder)) << "the volume is not full";
        for (bool ask : {true, false}) {
            SCOPED_TRACE(ask);
            TProcessTestSetting busy(program, standins::kTestSoundInputsBusyValue, 1);
            ASSERT_TRUE(busy.Set());
            ASSERT_TRUE(program.ClickButton(L"Capture")) << testing::PrintToString(program.Failure());
            // All: this one replaced, and no later start asks.
            if (ask) {
                ASSERT_TRUE(program.AnswerMessage(L"All")) << "exists already: the question";
            }
            ASSERT_TRUE(e2e::WaitFor([&] { return program.Message() != nullptr; })) << "the refusal is not told";
            said = program.MessageText();
            EXPECT_NE(std::wstring::npos, said.find(std::wstring(L"The capture could not start: the sound input ") +
                                                    sineInput + L" could not be opened: "))
                << testing::PrintToString(said);
            EXPECT_TRUE(program.AnswerMessage(L"OK"));
            EXPECT_TRUE(e2e::WaitFor([&] { return program.ButtonShown({L"Capture", L"Stop Capture"}) == L"Capture"; }));
            EXPECT_TRUE(e2e::WaitFor([&] { return FilesIn(folder) == kept; })) << testing::PrintToString(FilesIn(folder));
            EXPECT_TRUE(larger == quill_test::ReadWholeFile(second)) << "the older file, byte for byte";
        }

        // The older file holds the room; the recording begins, fills the volume, and as the preview
        // comes back its sound input cannot be opened: room is not all that stands in the way, so
        // the older file's room is not given for a new start. It stays whole, under its name or
        // beside it, and the user is told why.
        ASSERT_TRUE(DeleteFileW((folder + L"filler").c_str()));
        ASSERT_TRUE(FillVolume(folder, 300u << 10)) << "the volume is not full";
        {
            // The recording's start opens the input; the preview's after it finds it taken.
            TProcessTestSetting busy(program, standins::kTestSoundInputsBusyValue, 2);
            ASSERT_TRUE(busy.Set());
            ASSERT_TRUE(program.ClickButton(L"Capture")) << testing::PrintToString(program.Failure());
            ASSERT_TRUE(e2e::WaitFor([&] { return program.Message() != nullptr; })) << "nothing is told";
            said = program.MessageText();
        }
        EXPECT_NE(std::wstring::npos, said.find(std::wstring(L"the sound input ") + sineInput + L" could not be opened: "))
            << testing::PrintToString(said);
        EXPECT_TRUE(program.AnswerMessage(L"OK"));
        EXPECT_TRUE(e2e::WaitFor([&] { return program.ButtonShown({L"Capture", L"Stop Capture"}) == L"Capture"; }));
        std::vector<std::string> held;
        for (const std::wstring& name : FilesIn(folder)) held.push_back(quill_test::ReadWholeFile(folder + name));
        EXPECT_NE(held.end(), std::find(held.begin(), held.end(), larger))
            << "the older file, byte for byte: " << testing::PrintToString(FilesIn(folder));
    }
    EXPECT_TRUE(program.Close());
}

}  // namespace

namespace {

using namespace e2e_fixture;

// The window class of Window.
std::wstring ClassOf(HWND Window) {
    wchar_t name[128] = {};
    GetClassNameW(Window, name, 128);
    return name;
}

// The first window below Parent that Match accepts, nullptr when there is none.
BOOL CALLBACK MatchChild(HWND Window, LPARAM Data) {
    auto* find = reinterpret_cast<std::pair<const std::function<bool(HWND)>*, HWND>*>(Data);
    if (!(*find->first)(Window)) return TRUE;
    find->second = Window;
    return FALSE;
}
HWND ChildWhere(HWND Parent, const std::function<bool(HWND)>& Match) {
    std::pair<const std::function<bool(HWND)>*, HWND> find{&Match, nullptr};
    EnumChildWindows(Parent, MatchChild, reinterpret_cast<LPARAM>(&find));
    return find.second;
}

// The window below Parent captioned Caption, nullptr when there is none.
HWND ChildCaptioned(HWND Parent, const std::wstring& Caption) {
    return ChildWhere(Parent, [&](HWND Window) {
        wchar_t text[256] = {};
        GetWindowTextW(Window, text, 256);
        return Caption == text;
    });
}

// The name of the folder the folder picker Picker has selected in its tree, empty while none is:
// asked through memory in the picker's own process.
std::wstring PickedFolder(HWND Picker) {
    const HWND tree = ChildWhere(Picker, [](HWND Window) { return ClassOf(Window) == L"SysTreeView32"; });
    const LRESULT item = tree != nullptr ? SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CARET, 0) : 0;
    DWORD id = 0;
    GetWindowThreadProcessId(Picker, &id);
    HANDLE process = item != 0 ? OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, id) : nullptr;
    if (process == nullptr) return std::wstring();
    struct TAsked {
        TVITEMW Item;
        wchar_t Text[MAX_PATH];
    } asked{};
    auto* remote = static_cast<TAsked*>(VirtualAllocEx(process, nullptr, sizeof(TAsked), MEM_COMMIT, PAGE_READWRITE));
    asked.Item.mask = TVIF_TEXT;
    asked.Item.hItem = reinterpret_cast<HTREEITEM>(item);
    asked.Item.pszText = remote != nullptr ? remote->Text : nullptr;
    asked.Item.cchTextMax = MAX_PATH;
    SIZE_T done = 0;
    const bool answered = remote != nullptr && WriteProcessMemory(process, remote, &asked, sizeof(asked), &done) &&
                          SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(remote)) != 0 &&
                          ReadProcessMemory(process, remote, &asked, sizeof(asked), &done);
    if (remote != nullptr) VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    CloseHandle(process);
    asked.Text[MAX_PATH - 1] = L'\0';
    return answered ? std::wstring(asked.Text) : std::wstring();
}

// Whether Window stands above Below among the screen's windows.
bool Above(HWND Window, HWND Below) {
    for (HWND w = GetWindow(Below, GW_HWNDPREV); w != nullptr; w = GetWindow(w, GW_HWNDPREV))
        if (w == Window) return true;
    return false;
}

// The replace question and the messages after it as their user meets them on a desktop, where a
// window manager gives the keyboard: the question belongs to the main window and stays above it when
// the window is clicked and raised; it starts on No, so that Return and the space bar (a newcomer's
// freeze as the question comes up) keep the older file, and Alt+Y replaces it; Escape answers No
// (the cancel button), a click its buttons; whenever a question or message closes (an error and the
// message of a recording frozen throughout too), the main window has the keyboard again, its title
// lit: the space bar freezes and resumes the recording and Ctrl+Space starts and stops it, typed as
// the keyboard types them. So they do after every other window the main window opens or the user
// opens from it (the shortcuts window, a camcorder's window, the folder picker, the first-close
// question) and after a panel change from a name box; no recording's name gets a character the
// user did not type into a box in sight.
TEST_F(Recordings, TheReplaceQuestionStaysAboveItsWindowAndTheKeyboardAnswersIt) {
    ASSERT_TRUE(copy_.WriteSettings(RecordingSettings(kCamera, kMicrophone, 5, true)));
    ASSERT_TRUE(CreateDirectoryW(Videos().c_str(), nullptr));
    ASSERT_TRUE(quill_test::WriteOlderFile(Clip(0), 1u << 20));
    TProgram program;
    ASSERT_NO_FATAL_FAILURE(Start(program));
    std::wstring seen;
    auto keyboard = [&](HWND Window) {
        return e2e::WaitFor([&] { return quill_test::HasKeyboard(Window, &seen); }, 30000);
    };
    auto recording = [&] { return program.ButtonShown({L"Capture", L"Stop Capture"}) == L"Stop Capture"; };
    auto frozen = [&] {
        const int state = program.ToolButtonState(TProgram::kFreezeCaptureButton);
        return state >= 0 && (state & TBSTATE_CHECKED) != 0;
    };
    HWND question = nullptr;
    // Ctrl+Space asks for a recording; the message that comes has the keyboard.
    auto ask = [&](const char* What) {
        EXPECT_TRUE(quill_test::TypeKey(VK_SPACE, true));
        const bool came = e2e::WaitFor([&] { return (question = program.Message()) != nullptr; });
        EXPECT_TRUE(came) << What << " did not come";
        EXPECT_TRUE(came && keyboard(question)) << What << ": " << seen;
        return came;
    };
    EXPECT_TRUE(keyboard(program.Window())) << "at the start: " << seen;

    ASSERT_TRUE(ask("the question"));
    EXPECT_EQ(program.Window(), GetWindow(question, GW_OWNER)) << "the question belongs to the window it asks for";
    // A click on the main window's status bar, below the question, and the window raised as a
    // window manager raises a window clicked.
    RECT window{};
    GetWindowRect(program.Window(), &window);
    EXPECT_TRUE(quill_test::ClickAt({window.left + 40, window.bottom - 12}));
    SetWindowPos(program.Window(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    EXPECT_TRUE(e2e::WaitFor([&] { return Above(question, program.Window()); }, 5000)) << "the question went behind";
    EXPECT_TRUE(keyboard(question)) << "the click gave the keyboard away: " << seen;

    // Return and the space bar answer the button the question starts on: No, the older file kept.
    const std::string first = quill_test::ReadWholeFile(Clip(0));
    for (const WORD key : {VK_RETURN, VK_SPACE}) {
        EXPECT_TRUE(quill_test::TypeKey(key));
        const bool answered = e2e::WaitFor([&] { return !IsWindowVisible(question); }, 10000);
        EXPECT_TRUE(answered) << key << " did not answer the question";
        if (!answered) {
            ASSERT_TRUE(program.AnswerMessage(L"No"));
        }
        EXPECT_TRUE(keyboard(program.Window())) << "after " << key << ": " << seen;
        EXPECT_FALSE(recording()) << key << " started a recording";
        EXPECT_TRUE(first == quill_test::ReadWholeFile(Clip(0))) << key << " replaced the older file";
        ASSERT_TRUE(ask("the question"));
    }
    // Alt+Y answers Yes.
    EXPECT_TRUE(quill_test::TypeKey('Y', false, true));
    const bool answered = e2e::WaitFor([&] { return !IsWindowVisible(question); }, 10000);
    EXPECT_TRUE(answered) << "Alt+Y did not answer the question";
    if (!answered) {
        ASSERT_TRUE(program.AnswerMessage(L"Yes"));
    }
    ASSERT_TRUE(e2e::WaitFor([&] {
        return recording() && !quill_test::HoldsOlderFile(quill_test::FileStart(Clip(0)));
    })) << "Yes replaces the older file with the recording";
    EXPECT_TRUE(keyboard(program.Window())) << "after Alt+Y: " << seen;
    // The window with its title lit, as the screen shows it (kept in the build folder).
    EXPECT_FALSE(quill_test::GrabWholeScreen(L"keyboard_after_question.png").Pixels.empty());

    // The space bar, with nothing clicked since: the recording freezes, then goes on; Ctrl+Space
    // stops it.
    EXPECT_TRUE(quill_test::TypeKey(VK_SPACE));
    EXPECT_TRUE(e2e::WaitFor(frozen, 10000)) << "the space bar did not reach the main window";
    EXPECT_TRUE(quill_test::TypeKey(VK_SPACE));
    EXPECT_TRUE(e2e::WaitFor([&] { return !frozen(); }, 10000)) << "the second space bar did not resume";
    EXPECT_TRUE(quill_test::TypeKey(VK_SPACE, true));
    ASSERT_TRUE(e2e::WaitFor([&] { return !recording() && e2e::FileClosed(Clip(0)); })) << "Ctrl+Space did not stop";

    // A start that the disk refuses is told; its OK clicked, the keys start and stop the next one.
    {
        TDiskLimit disk(program, 0);
        ASSERT_TRUE(disk.Set());
        ASSERT_TRUE(ask("the refusal"));
        wchar_t caption[64] = {};
        GetWindowTextW(question, caption, 64);
        EXPECT_EQ(std::wstring(L"Error"), caption);
        ASSERT_TRUE(program.ClickMessageButton(L"OK")) << testing::PrintToString(program.Failure());
        EXPECT_TRUE(keyboard(program.Window())) << "after the error: " << seen;
    }
    ASSERT_TRUE(e2e::WaitFor([&] { return !recording(); }));
    EXPECT_TRUE(quill_test::TypeKey(VK_SPACE, true));
    // The refused start may keep its name or leave it to the one that began.
    int next = 0;
    EXPECT_TRUE(e2e::WaitFor([&] {
        for (int n : {1, 2})
            if (e2e::FileSize(Clip(n)) > 1000000) next = n;
        return recording() && next > 0;
    })) << "Ctrl+Space did not start";
    EXPECT_TRUE(quill_test::TypeKey(VK_SPACE, true));
    ASSERT_TRUE(e2e::WaitFor([&] { return !recording() && e2e::FileClosed(Clip(next)); })) << "Ctrl+Space did not stop";

    // The next name holds an older file too: Escape answers No, and so does a click on No; nothing
    // starts and the file stays.
    const std::wstring asked = Clip(next + 1);
    ASSERT_TRUE(quill_test::WriteOlderFile(asked, 1u << 20));
    const std::string older = quill_test::ReadWholeFile(asked);
    ASSERT_TRUE(ask("the question"));
    EXPECT_TRUE(quill_test::TypeKey(VK_ESCAPE));
    const bool refused = e2e::WaitFor([&] { return !IsWindowVisible(question); }, 10000);
    EXPECT_TRUE(refused) << "Escape did not answer the question";
    if (!refused) {
        ASSERT_TRUE(program.AnswerMessage(L"No"));
    }
    EXPECT_TRUE(keyboard(program.Window())) << "after Escape: " << seen;
    ASSERT_TRUE(ask("the question"));
    ASSERT_TRUE(program.ClickMessageButton(L"No")) << testing::PrintToString(program.Failure());
    EXPECT_TRUE(keyboard(program.Window())) << "after a click on No: " << seen;
    EXPECT_FALSE(recording());
    EXPECT_TRUE(older == quill_test::ReadWholeFile(asked)) << "the older file, byte for byte";

    // Frozen before its start and asked again, a click on Yes starts a recording that holds
    // nothing: its stop is told, and Return on the message gives the keyboard back, where the
    // space bar resumes the capture as the message says.
    EXPECT_TRUE(quill_test::TypeKey(VK_SPACE));
    EXPECT_TRUE(e2e::WaitFor(frozen, 10000)) << "the space bar did not freeze the capture";
    ASSERT_TRUE(ask("the question"));
    ASSERT_TRUE(program.ClickMessageButton(L"Yes")) << testing::PrintToString(program.Failure());
    EXPECT_TRUE(e2e::WaitFor(recording)) << "a click on Yes did not start the recording";
    EXPECT_TRUE(keyboard(program.Window())) << "after a click on Yes: " << seen;
    ASSERT_TRUE(ask("the message of a recording frozen throughout"));
    EXPECT_TRUE(quill_test::TypeKey(VK_RETURN));
    EXPECT_TRUE(e2e::WaitFor([&] { return !IsWindowVisible(question); }, 10000)) << "Return did not answer the message";
    EXPECT_TRUE(keyboard(program.Window())) << "after the message: " << seen;
    EXPECT_TRUE(quill_test::TypeKey(VK_SPACE));
    EXPECT_TRUE(e2e::WaitFor([&] { return !frozen(); }, 10000)) << "the space bar did not resume the capture";
    EXPECT_FALSE(recording());

    // The space bar freezes the capture and resumes it; Ctrl+Space records into a new file and
    // stops (a question on the scene list of a camcorder's recording answered No).
    auto freezeAndResume = [&](const char* When) {
        EXPECT_TRUE(quill_test::TypeKey(VK_SPACE));
        EXPECT_TRUE(e2e::WaitFor(frozen, 10000)) << When << ": the space bar did not freeze";
        EXPECT_TRUE(quill_test::TypeKey(VK_SPACE));
        EXPECT_TRUE(e2e::WaitFor([&] { return !frozen(); })) << When << ": the space bar did not resume";
    };
    // The start under a name that holds an older file (one kept above) asks first: answered Yes.
    // The recording runs once a recording's name (a new one, or the older file's) holds more than
    // its start: a key pressed before that is one for the start under way.
    std::wstring recorded;
    auto startRecording = [&](const char* When) {
        std::vector<std::wstring> older;
        for (const std::wstring& name : FilesIn(Videos()))
            if (quill_test::HoldsOlderFile(quill_test::FileStart(Videos() + name))) older.push_back(name);
        const std::vector<std::wstring> before = FilesIn(Videos());
        EXPECT_TRUE(quill_test::TypeKey(VK_SPACE, true));
        auto in = [](const std::vector<std::wstring>& Names, const std::wstring& Name) {
            return std::find(Names.begin(), Names.end(), Name) != Names.end();
        };
        return e2e::WaitFor([&] {
            if (program.Message() != nullptr) program.AnswerMessage(L"Yes", nullptr, 0);
            for (const std::wstring& name : FilesIn(Videos())) {
                const std::wstring path = Videos() + name;
                if (!std::regex_match(name, std::wregex(L"clip_[0-9]+\\.avi")) || e2e::FileSize(path) < 300000) continue;
                if (!in(before, name) || (in(older, name) && !quill_test::HoldsOlderFile(quill_test::FileStart(path)))) {
                    recorded = name;
                    return recording() && program.Message() == nullptr;
                }
            }
            return false;
        }) || (ADD_FAILURE() << When << ": Ctrl+Space did not start a recording", false);
    };
    auto stopRecording = [&](const char* When) {
        EXPECT_TRUE(quill_test::TypeKey(VK_SPACE, true));
        EXPECT_TRUE(e2e::WaitFor([&] {
            if (program.Message() != nullptr) program.AnswerMessage(L"No", nullptr, 0);
            return !recording();
        })) << When << ": Ctrl+Space did not stop; the keyboard: " << (quill_test::HasKeyboard(program.Window(), &seen), seen)
            << "; the window " << (IsWindowEnabled(program.Window()) ? "enabled" : "disabled");
    };
    auto recordAndStop = [&](const char* When) {
        if (startRecording(When)) stopRecording(When);
    };

    // F11: the shortcuts window opens with the keyboard; the main window's keys work from it (the
    // space bar, Ctrl+Space, Alt+A for the about panel), and Escape closes it, the keyboard back
    // with the main window.
    EXPECT_TRUE(quill_test::TypeKey(VK_F11));
    HWND shortcuts = nullptr;
    ASSERT_TRUE(e2e::WaitFor([&] { return (shortcuts = program.FindWindowOfClass(L"TRaccourcisForm")) != nullptr; }))
        << "F11 did not open the shortcuts window";
    EXPECT_TRUE(keyboard(shortcuts)) << "the shortcuts window: " << seen;
    freezeAndResume("from the shortcuts window");
    recordAndStop("from the shortcuts window");
    EXPECT_TRUE(quill_test::TypeKey('A', false, true));
    EXPECT_TRUE(e2e::WaitFor([&] { return program.ShownPanel(L"TAproposFrame") != nullptr; }))
        << "Alt+A from the shortcuts window";
    EXPECT_FALSE(quill_test::GrabWholeScreen(L"keyboard_shortcuts_window.png").Pixels.empty());
    EXPECT_TRUE(quill_test::TypeKey(VK_ESCAPE));
    EXPECT_TRUE(e2e::WaitFor([&] { return !IsWindowVisible(shortcuts); })) << "Escape did not close it";
    EXPECT_TRUE(keyboard(program.Window())) << "after the shortcuts window: " << seen;
    freezeAndResume("after the shortcuts window");

    // The camcorder chosen by a script: its window opens beside the main window, which keeps the
    // keyboard.
    ASSERT_NO_FATAL_FAILURE(Script(program, {std::wstring(L"source_video=") + kCamcorderVideo}));
    EXPECT_TRUE(e2e::WaitFor([&] { return program.FindWindowOfClass(L"TcamForm") != nullptr; }))
        << "the camcorder's window did not open";
    EXPECT_TRUE(keyboard(program.Window())) << "after the camcorder's window opened: " << seen;
    EXPECT_FALSE(quill_test::GrabWholeScreen(L"keyboard_camcorder_window.png").Pixels.empty());
    freezeAndResume("beside the camcorder's window");
    recordAndStop("beside the camcorder's window");
    // Its check box clicked, then the space bar twice: the box takes it (ticked and unticked in
    // turn), the capture is not frozen. A click on the main window gives the keyboard back.
    {
        HWND camcorder = program.FindWindowOfClass(L"TcamForm");
        HWND stopBox = camcorder != nullptr ? ChildCaptioned(camcorder, L"Stop when quit") : nullptr;
        ASSERT_NE(nullptr, stopBox) << "the camcorder window's check box";
        auto ticked = [&] { return SendMessageW(stopBox, BM_GETCHECK, 0, 0) == BST_CHECKED; };
        bool tick = !ticked();
        RECT boxAt{};
        GetWindowRect(stopBox, &boxAt);
        EXPECT_TRUE(quill_test::ClickAt({boxAt.left + 6, (boxAt.top + boxAt.bottom) / 2}));
        EXPECT_TRUE(e2e::WaitFor([&] { return quill_test::FocusedWindow(camcorder) == stopBox && ticked() == tick; }))
            << "the click did not reach the box";
        for (int press = 0; press < 2; ++press) {
            tick = !tick;
            EXPECT_TRUE(quill_test::TypeKey(VK_SPACE));
            EXPECT_TRUE(e2e::WaitFor([&] { return ticked() == tick; }, 10000)) << "the space bar did not reach the box";
            EXPECT_FALSE(frozen()) << "the space bar on the box froze the capture";
        }
        GetWindowRect(program.Window(), &window);
        EXPECT_TRUE(quill_test::ClickAt({window.left + 40, window.bottom - 12}));
        EXPECT_TRUE(keyboard(program.Window())) << "after the camcorder's check box: " << seen;
    }
    ASSERT_NO_FATAL_FAILURE(Script(program, {std::wstring(L"source_video=") + kCamera}));
    EXPECT_TRUE(keyboard(program.Window())) << "after the camera's script: " << seen;

    // A click in the name box of the folders panel, then another panel: the box, hidden, gives up
    // the keyboard; the space bar freezes instead of typing into it, and the box keeps its name.
    EXPECT_TRUE(quill_test::TypeKey('D', false, true));
    HWND folders = nullptr;
    ASSERT_TRUE(e2e::WaitFor([&] { return (folders = program.ShownPanel(L"TDossiersFrame")) != nullptr; }))
        << "Alt+D";
    auto text = [](HWND Window) {
        wchar_t buffer[MAX_PATH] = {};
        SendMessageW(Window, WM_GETTEXT, MAX_PATH, reinterpret_cast<LPARAM>(buffer));
        return std::wstring(buffer);
    };
    HWND stem = nullptr;
    ASSERT_TRUE(e2e::WaitFor([&] {
        for (HWND box : TProgram::ControlsOf(folders, L"TUcEdit"))
            if (text(box) == L"clip") stem = box;
        return stem != nullptr;
    })) << "the name box";
    RECT box{};
    GetWindowRect(stem, &box);
    EXPECT_TRUE(quill_test::ClickAt({(box.left + box.right) / 2, (box.top + box.bottom) / 2}));
    EXPECT_TRUE(e2e::WaitFor([&] { return quill_test::FocusedWindow(program.Window()) == stem; }))
        << "the click did not focus the name box";
    EXPECT_TRUE(quill_test::TypeKey(VK_F2));
    EXPECT_TRUE(e2e::WaitFor([&] { return program.ShownPanel(L"TSourcesFrame") != nullptr; })) << "F2";
    freezeAndResume("after a panel change from the name box");
    recordAndStop("after a panel change from the name box");
    EXPECT_EQ(L"clip", text(stem)) << "typed into the hidden name box";

    // A new stem typed into the name box and Ctrl+Space at once, the cursor still in the box: the
    // question and the recording name what the box shows, never the name from before the edit,
    // whose next file is there too and stays as it was.
    std::wsmatch number;
    ASSERT_TRUE(std::regex_match(recorded, number, std::wregex(L"clip_([0-9]+)\\.avi"))) << testing::PrintToString(recorded);
    const std::wstring numbered = std::to_wstring(std::stoi(number[1].str()) + 1) + L".avi";
    const std::wstring untyped = Videos() + L"clip_" + numbered, typed = Videos() + L"take_" + numbered;
    for (const std::wstring& name : {untyped, typed}) ASSERT_TRUE(quill_test::WriteOlderFile(name, 1u << 20));
    const std::string untouched = quill_test::ReadWholeFile(untyped);
    auto retype = [&](const char* Stem) {
        GetWindowRect(stem, &box);
        EXPECT_TRUE(quill_test::ClickAt({(box.left + box.right) / 2, (box.top + box.bottom) / 2}));
        EXPECT_TRUE(e2e::WaitFor([&] { return quill_test::FocusedWindow(program.Window()) == stem; }))
            << "the click did not focus the name box";
        EXPECT_TRUE(quill_test::TypeKey(VK_END));
        for (std::size_t i = text(stem).size(); i > 0; --i) EXPECT_TRUE(quill_test::TypeKey(VK_BACK));
        for (const char* c = Stem; *c != '\0'; ++c) EXPECT_TRUE(quill_test::TypeKey(static_cast<WORD>(std::toupper(*c))));
        const std::wstring wanted(Stem, Stem + std::strlen(Stem));
        EXPECT_TRUE(e2e::WaitFor([&] { return text(stem) == wanted; })) << testing::PrintToString(text(stem));
    };
    EXPECT_TRUE(quill_test::TypeKey('D', false, true));
    ASSERT_TRUE(e2e::WaitFor([&] { return program.ShownPanel(L"TDossiersFrame") != nullptr; })) << "Alt+D";
    retype("take");
    ASSERT_TRUE(ask("the question on the typed name"));
    const std::wstring said = program.MessageText();
    EXPECT_NE(std::wstring::npos, said.find(L"The file " + typed + L" exists already.")) << testing::PrintToString(said);
    EXPECT_EQ(std::wstring::npos, said.find(untyped)) << testing::PrintToString(said);
    EXPECT_TRUE(quill_test::TypeKey('Y', false, true));
    EXPECT_TRUE(e2e::WaitFor([&] { return !IsWindowVisible(question); }, 10000)) << "Alt+Y did not answer the question";
    EXPECT_TRUE(e2e::WaitFor([&] {
        return recording() && e2e::FileSize(typed) > 12 * kFirstFrame && !quill_test::HoldsOlderFile(quill_test::FileStart(typed));
    })) << "the recording is not under the typed name";
    stopRecording("with the typed name");
    EXPECT_TRUE(untouched == quill_test::ReadWholeFile(untyped)) << "the older file of the name before the edit";
    ReadBack(typed, {"rawvideo", "pcm_s16le", "0x0001", false});
    retype("clip");
    EXPECT_TRUE(quill_test::TypeKey(VK_F2));
    EXPECT_TRUE(e2e::WaitFor([&] { return program.ShownPanel(L"TSourcesFrame") != nullptr; })) << "F2";

    // The folder picker of the folders panel, left by Escape, then by OK: the keyboard is back in
    // the main window, in the folder box, which types nothing: the space bar freezes.
    EXPECT_TRUE(quill_test::TypeKey('D', false, true));
    ASSERT_TRUE(e2e::WaitFor([&] { return program.ShownPanel(L"TDossiersFrame") != nullptr; })) << "Alt+D";
    const std::vector<HWND> folderBoxes = TProgram::ControlsOf(folders, L"TDirectoryEdit");
    ASSERT_FALSE(folderBoxes.empty()) << "the recordings' folder box";
    for (const WORD key : {VK_ESCAPE, VK_RETURN}) {
        GetWindowRect(folderBoxes.front(), &box);
        EXPECT_TRUE(quill_test::ClickAt({box.right - 8, (box.top + box.bottom) / 2}));
        HWND picker = nullptr;
        ASSERT_TRUE(e2e::WaitFor([&] { return (picker = program.FindWindowOfClass(L"#32770")) != nullptr; }))
            << "the folder picker did not open";
        EXPECT_TRUE(keyboard(picker)) << "the folder picker: " << seen;
        // OK once the picker shows the folder it opened on.
        EXPECT_TRUE(key == VK_ESCAPE || e2e::WaitFor([&] { return PickedFolder(picker) == L"videos"; }))
            << "the folder picker selects " << testing::PrintToString(PickedFolder(picker));
        EXPECT_TRUE(quill_test::TypeKey(key));
        EXPECT_TRUE(e2e::WaitFor([&] { return !IsWindow(picker) || !IsWindowVisible(picker); }))
            << key << " did not close the folder picker";
        EXPECT_TRUE(keyboard(program.Window())) << "after the folder picker: " << seen;
        freezeAndResume(key == VK_ESCAPE ? "after the folder picker's Escape" : "after the folder picker's OK");
    }
    EXPECT_EQ(Videos().substr(0, Videos().size() - 1), text(folderBoxes.front())) << "OK keeps the folder shown";
    recordAndStop("after the folder picker");

    // Nothing to be kept (the settings panel's last choice, clicked), a recording running, Ctrl+Q:
    // the first close asks where to keep the settings. Tab goes to its buttons; Escape answers as
    // its close box does, and the program runs on, the recording too: the space bar freezes it and
    // Ctrl+Space stops it.
    EXPECT_TRUE(quill_test::TypeKey(VK_F10));
    HWND settingsPanel = nullptr;
    ASSERT_TRUE(e2e::WaitFor([&] {
        settingsPanel = ChildCaptioned(program.Window(), L"Settings (F10)");
        return settingsPanel != nullptr && IsWindowVisible(settingsPanel);
    })) << "F10";
    // Its first tab, "Pref", clicked.
    const std::vector<HWND> pages = TProgram::ControlsOf(GetParent(settingsPanel), L"TUcPageControl");
    ASSERT_FALSE(pages.empty()) << "the settings' tabs";
    GetWindowRect(pages.front(), &box);
    EXPECT_TRUE(quill_test::ClickAt({box.left + 12, box.top + 10}));
    HWND nowhere = nullptr;
    ASSERT_TRUE(e2e::WaitFor([&] {
        nowhere = ChildCaptioned(program.Window(), L"Do not save when quit");
        return nowhere != nullptr && IsWindowVisible(nowhere);
    })) << "the storage choice";
    GetWindowRect(nowhere, &box);
    EXPECT_TRUE(quill_test::ClickAt({box.left + 6, (box.top + box.bottom) / 2}));
    EXPECT_TRUE(e2e::WaitFor([&] { return SendMessageW(nowhere, BM_GETCHECK, 0, 0) == BST_CHECKED; }))
        << "the click did not choose to keep nothing";
    ASSERT_TRUE(startRecording("before the first-close question"));
    EXPECT_TRUE(quill_test::TypeKey('Q', true));
    HWND storage = nullptr;
    ASSERT_TRUE(e2e::WaitFor([&] { return (storage = program.FindWindowCaptioned(e2e::kStorageCaption)) != nullptr; }))
        << "Ctrl+Q did not ask where to keep the settings";
    EXPECT_TRUE(keyboard(storage)) << "the first-close question: " << seen;
    EXPECT_TRUE(quill_test::TypeKey(VK_TAB));
    HWND button = nullptr;
    EXPECT_TRUE(e2e::WaitFor([&] {
        button = quill_test::FocusedWindow(storage);
        return button != nullptr && GetParent(button) == storage && ClassOf(button).find(L"Btn") != std::wstring::npos;
    })) << "Tab did not reach a button of the question";
    EXPECT_FALSE(quill_test::GrabWholeScreen(L"keyboard_first_close_question.png").Pixels.empty());
    EXPECT_TRUE(quill_test::TypeKey(VK_ESCAPE));
    EXPECT_TRUE(e2e::WaitFor([&] { return !IsWindowVisible(storage); })) << "Escape did not answer the question";
    EXPECT_TRUE(program.Running());
    EXPECT_TRUE(keyboard(program.Window())) << "after the first-close question: " << seen;
    EXPECT_TRUE(recording()) << "the recording goes on";
    freezeAndResume("after the first-close question");
    stopRecording("after the first-close question");

    // Every recording is named as the name box says: no character typed into a box out of sight.
    for (const std::wstring& name : FilesIn(Videos()))
        EXPECT_TRUE(std::regex_match(name, std::wregex(L"(clip|take)_[0-9]+\\.(avi|scn)"))) << testing::PrintToString(name);
    EXPECT_TRUE(program.Close(L"Portable"));
}

}  // namespace
