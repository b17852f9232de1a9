// Drives the built program from outside, as a user's automation does: a copy in a folder of its
// own, started with command-line switches, script files run through its script button and the open
// dialog it shows, waits on what it does (its window, files appearing and closed, its end), and the
// storage question answered at the close. Shared by the end-to-end test and the session benchmark;
// it reports through return values, never through a test framework.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace e2e {

inline constexpr wchar_t kMainCaption[] = L"Quillotrane 6.0.5En by Marbrecq";
inline constexpr wchar_t kStorageCaption[] = L"Saving the preferences of Quillotrane";
inline constexpr DWORD kTimeoutMs = 60000;

// Waits until Done answers true, looking every 50 ms; false when TimeoutMs passed first.
bool WaitFor(const std::function<bool()>& Done, DWORD TimeoutMs = kTimeoutMs);

// A file that exists and that no process holds open for writing any more.
bool FileClosed(const std::wstring& Path);
std::uint64_t FileSize(const std::wstring& Path);
bool FileExists(const std::wstring& Path);

// Writes Lines, each ended by CR LF, as UTF-16 with a byte-order mark.
bool WriteUtf16Lines(const std::wstring& Path, const std::vector<std::wstring>& Lines);
// Reads a UTF-16 file with byte-order mark (or a plain ANSI one) into its lines.
std::vector<std::wstring> ReadLines(const std::wstring& Path);
// The value of "Key=" among Lines, or "<missing>".
std::wstring IniValue(const std::vector<std::wstring>& Lines, const std::wstring& Key);

// A folder of its own under the temporary folder with a copy of the program; removed with all it
// holds when the object goes.
class TProgramFolder {
public:
    TProgramFolder(const std::wstring& Program, const std::wstring& Name);
    ~TProgramFolder();
    TProgramFolder(const TProgramFolder&) = delete;
    TProgramFolder& operator=(const TProgramFolder&) = delete;

    bool Ready() const { return ready_; }
    const std::wstring& Folder() const { return folder_; }  // ends with a backslash
    std::wstring Exe() const { return folder_ + L"Quillotrane.exe"; }
    std::wstring Ini() const { return folder_ + L"Quillotrane.ini"; }
    // Portable settings: the INI file beside the copy, its section header first.
    bool WriteSettings(const std::vector<std::wstring>& Lines) const;

private:
    std::wstring folder_;
    bool ready_ = false;
};

// One run of the program.
class TProgram {
public:
    TProgram() = default;
    ~TProgram();
    TProgram(const TProgram&) = delete;
    TProgram& operator=(const TProgram&) = delete;

    // Starts Exe in its folder with Arguments (already quoted as a command line wants them) and
    // waits for its main window and for the end of its start-up (the source lists filled). False
    // when the window did not come; Failure() says why.
    bool Start(const std::wstring& Exe, const std::wstring& Arguments = L"");
    // Only starts the process (for a run that may end by itself before its window is seen).
    bool Launch(const std::wstring& Exe, const std::wstring& Arguments = L"");
    // Starts Exe as Start does, through the Linux side, with Variables ("NAME=value", UTF-8) in
    // its Linux environment: Wine gives a program that one program starts the Linux environment of
    // the starter, whatever their Windows environments say, and Linux libraries (a sound server's
    // client) read theirs there.
    bool StartWithLinuxEnvironment(const std::wstring& Exe, const std::vector<std::string>& Variables);
    // After Launch: waits for the main window and the end of its start-up, as Start does.
    bool WaitReady();

    // Runs a script file through the script button: the file is written (UTF-16) beside the
    // program, the button clicked, its name typed into the open dialog and the dialog confirmed.
    // True once the dialog has closed on that name. With WaitTurn, a script still running (the
    // one before, whose last command may still be at work) makes the program tell that this one
    // was not run: that is answered and the script chosen again until it is taken, as a user
    // would.
    bool RunScript(const std::vector<std::wstring>& Lines, bool WaitTurn = true);
    // The same with a file that is there already.
    bool RunFile(const std::wstring& File, bool WaitTurn = true);
    // Clicks the main window's visible, enabled button captioned Caption, as a user's click does
    // (the button answers BM_CLICK with its own press and release). False when there is none.
    bool ClickButton(const std::wstring& Caption);
    // Types Values into the spin edits of Panel, taken from the top left to the bottom right.
    bool TypeIntoSpinEdits(HWND Panel, const std::vector<int>& Values);
    // Types Text into an edit as a user's typing ends: the text replaced, then Enter when asked.
    bool TypeInto(HWND Edit, const std::wstring& Text, bool Enter = false);
    // The controls below Panel whose window class starts with ClassName, from the top left to the
    // bottom right.
    static std::vector<HWND> ControlsOf(HWND Panel, const std::wstring& ClassName);
    // The message the program shows (its own message form), nullptr when none is shown.
    HWND Message() const;
    // The whole text of that message (caption, text and buttons), as its Ctrl+C copies it; empty
    // when none is shown.
    std::wstring MessageText() const;
    // Waits for a message and clicks its button captioned Button (in any case, without its
    // accelerator mark); its caption ("Error", "Warning", ...) goes into Caption. False when no
    // message came.
    bool AnswerMessage(const std::wstring& Button, std::wstring* Caption = nullptr, DWORD TimeoutMs = kTimeoutMs);
    // The same with a click of the mouse on the button, as the screen shows it.
    bool ClickMessageButton(const std::wstring& Button);
    // The caption of the main window's visible button among Captions (the capture button reads
    // "Capture" or "Stop Capture"), empty when none.
    std::wstring ButtonShown(const std::vector<std::wstring>& Captions) const;
    // Waits until a stopped recording is settled: File closed, the capture button back to
    // "Capture" and no message standing, each message met meanwhile answered with Answer (a stop's
    // questions come after its writers let the file go). False when it never settled.
    bool Settled(const std::wstring& File, const wchar_t* Answer = L"No");
    // The buttons of the action tool bar at the top of the window, by their place on it (separators
    // count).
    static constexpr int kFreezeCaptureButton = 3;
    static constexpr int kScriptButton = 10;
    // Clicks the action tool bar's button at Index as the mouse does; false when it is not found.
    bool ClickToolButton(int Index);
    // The state (TBSTATE_ENABLED, TBSTATE_CHECKED...) of the button at Index; -1 when unknown.
    int ToolButtonState(int Index);
    // The number of entries of the list box of a visible panel whose window class starts with ClassName.
    int ListCount(const std::wstring& PanelClass) const;
    // Pixels in pure red, the colour of what the status bar tells, in the status bar as the screen
    // shows it; -1 when there is no status bar.
    int StatusRedPixels() const;

    // Posts WM_CLOSE (Requests times in a row, as a close box clicked again before the program
    // answers); when the storage question comes, clicks the button captioned Answer (nullptr: the
    // question must not come). True when the program ended with exit code 0.
    bool Close(const wchar_t* Answer = nullptr, int Requests = 1);
    // Waits for the program to end by itself (a quit command); true with exit code 0.
    bool WaitEnd(DWORD TimeoutMs = kTimeoutMs);
    bool Running() const;
    // The storage question was shown at the last close.
    bool Asked() const { return asked_; }
    // The other windows the program showed during the last close (an error box beside the
    // question, say): each one's caption and the texts of its controls.
    const std::vector<std::wstring>& ShownAtClose() const { return shownAtClose_; }

    HANDLE Process() const { return process_.hProcess; }
    DWORD ProcessId() const { return process_.dwProcessId; }
    HWND Window() const { return window_; }
    const std::wstring& Failure() const { return failure_; }

    // Whether the start-up of the program whose main window is Window is over: its video and
    // sound source lists are filled (the first idle fills them).
    static bool SourcesListed(HWND Window);

    // The selected entry of the sources panel's video, sound and capture-format lists.
    std::wstring VideoSource() const { return Selected(videoList_); }
    std::wstring SoundSource() const { return Selected(soundList_); }
    std::wstring CaptureFormat() const { return Selected(formatList_); }
    // Every entry of the capture-format list, in order.
    std::vector<std::wstring> CaptureFormats() const;
    // The picture in the video area keeps changing, four looks 200 ms apart, within TimeoutMs (to
    // which the time other windows hide the area is added, up to kTimeoutMs).
    bool PreviewMoves(DWORD TimeoutMs = 20000) const;
    // The video area shows its "No video" look, no preview's picture.
    bool ShowsNoVideo() const;
    // The visible top-level window of the program with this caption, nullptr when none.
    HWND FindWindowCaptioned(const std::wstring& Caption) const;
    // The visible top-level window of the program whose window class starts with ClassName.
    HWND FindWindowOfClass(const std::wstring& ClassName) const;
    // The main window's visible panel whose window class starts with ClassName.
    HWND ShownPanel(const std::wstring& ClassName) const;

private:
    static std::wstring Selected(HWND List);
    bool ClickScriptButton();
    HWND ActionToolBar();
    // Sends Message to the action tool bar with a buffer of Size bytes in the program's memory as
    // its LParam, and reads the buffer back into Answer; false when it did not answer.
    bool AskToolBar(UINT Message, WPARAM WParam, void* Answer, SIZE_T Size);
    bool AnswerOpenDialog(const std::wstring& File);
    bool Answer(const std::wstring& Button, std::wstring* Caption, DWORD TimeoutMs, bool Mouse);

    PROCESS_INFORMATION process_{};
    HWND window_ = nullptr;
    HWND videoList_ = nullptr;
    HWND soundList_ = nullptr;
    HWND formatList_ = nullptr;
    std::wstring folder_;
    std::wstring failure_;
    int scripts_ = 0;
    bool asked_ = false;
    std::vector<std::wstring> shownAtClose_;
};

}  // namespace e2e
