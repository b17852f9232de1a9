// The outside driver of the built program.
#include "tests/e2e/program_driver.h"

#include "tests/app/screen_pixels.h"
#include "tests/common/desktop_input.h"
#include "tests/common/ffprobe_helpers.h"
#include "tests/common/hint_windows.h"

#include <commctrl.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <cwctype>
#include <filesystem>

namespace e2e {

namespace {

const wchar_t kIniSection[] = L"[\\Software\\Marbrecq\\Quillotrane]";
// The capture formats' names: the format list holds some of them, by the sources chosen.
const wchar_t* const kFormatNames[] = {L"None",    L"dv type 1 natifve", L"dv type 2 native",   L"mpeg1 native stream",
                                       L"mpeg2 native stream", L"avi native", L"Image by Image", L"dv type 2 (recomp)",
                                       L"Wmv",     L"DivX",           L"Default",          L"Wav",
                                       L"mp3"};

std::wstring ClassOf(HWND Window) {
    wchar_t name[128] = {};
    GetClassNameW(Window, name, 128);
    return name;
}

std::wstring TextOf(HWND Window) {
    wchar_t text[512] = {};
    GetWindowTextW(Window, text, 512);
    return text;
}

bool Holds(HWND Combo, const wchar_t* Entry) {
    return SendMessageW(Combo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(Entry)) != CB_ERR;
}

struct TopFind {
    DWORD process;
    std::function<bool(HWND)> match;
    HWND found;
};

BOOL CALLBACK FindTop(HWND Window, LPARAM Data) {
    auto* find = reinterpret_cast<TopFind*>(Data);
    DWORD process = 0;
    GetWindowThreadProcessId(Window, &process);
    if (process != find->process || !IsWindowVisible(Window) || !find->match(Window)) return TRUE;
    find->found = Window;
    return FALSE;
}

HWND FindTopWindow(DWORD Process, std::function<bool(HWND)> Match) {
    TopFind find{Process, std::move(Match), nullptr};
    EnumWindows(FindTop, reinterpret_cast<LPARAM>(&find));
    return find.found;
}

// Every visible top-level window of the process.
std::vector<HWND> TopWindows(DWORD Process) {
    std::vector<HWND> found;
    FindTopWindow(Process, [&](HWND Window) {
        found.push_back(Window);
        return false;
    });
    return found;
}

struct ChildFind {
    std::function<bool(HWND)> match;
    HWND found;
};

BOOL CALLBACK FindChildWindow(HWND Window, LPARAM Data) {
    auto* find = reinterpret_cast<ChildFind*>(Data);
    if (!find->match(Window)) return TRUE;
    find->found = Window;
    return FALSE;
}

HWND FindChild(HWND Parent, std::function<bool(HWND)> Match) {
    ChildFind find{std::move(Match), nullptr};
    EnumChildWindows(Parent, FindChildWindow, reinterpret_cast<LPARAM>(&find));
    return find.found;
}

BOOL CALLBACK CollectChildWindow(HWND Window, LPARAM Data) {
    auto* find = reinterpret_cast<std::pair<std::function<bool(HWND)>, std::vector<HWND>>*>(Data);
    if (find->first(Window)) find->second.push_back(Window);
    return TRUE;
}

// Every window below Parent that Match accepts.
std::vector<HWND> Children(HWND Parent, std::function<bool(HWND)> Match) {
    std::pair<std::function<bool(HWND)>, std::vector<HWND>> find{std::move(Match), {}};
    EnumChildWindows(Parent, CollectChildWindow, reinterpret_cast<LPARAM>(&find));
    return find.second;
}

// The program's combo boxes have window classes of their own, named after the control.
bool IsCombo(HWND Window) { return ClassOf(Window).find(L"ComboBox") != std::wstring::npos; }

}  // namespace

bool WaitFor(const std::function<bool()>& Done, DWORD TimeoutMs) {
    const ULONGLONG start = GetTickCount64();
    while (!Done()) {
        if (GetTickCount64() - start > TimeoutMs) return Done();
        Sleep(50);
    }
    return true;
}

bool FileExists(const std::wstring& Path) { return GetFileAttributesW(Path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::uint64_t FileSize(const std::wstring& Path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(Path.c_str(), GetFileExInfoStandard, &data)) return 0;
    return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

bool FileClosed(const std::wstring& Path) {
    // Opening for writing with no sharing fails while the writer still holds it.
    HANDLE h = CreateFileW(Path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    CloseHandle(h);
    return true;
}

bool WriteUtf16Lines(const std::wstring& Path, const std::vector<std::wstring>& Lines) {
    std::wstring text = L"\xFEFF";
    for (const std::wstring& line : Lines) text += line + L"\r\n";
    HANDLE h = CreateFileW(Path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const DWORD size = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    const bool ok = WriteFile(h, text.data(), size, &written, nullptr) && written == size;
    CloseHandle(h);
    return ok;
}

std::vector<std::wstring> ReadLines(const std::wstring& Path) {
    std::vector<std::wstring> lines;
    HANDLE h = CreateFileW(Path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return lines;
    std::string bytes(GetFileSize(h, nullptr), '\0');
    DWORD read = 0;
    if (!bytes.empty() && !ReadFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr)) read = 0;
    CloseHandle(h);
    bytes.resize(read);
    std::wstring text;
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF && static_cast<unsigned char>(bytes[1]) == 0xFE) {
        text.resize((bytes.size() - 2) / 2);
        std::memcpy(text.data(), bytes.data() + 2, text.size() * 2);
    } else {
        text.assign(bytes.begin(), bytes.end());
    }
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find(L'\n', at);
        if (end == std::wstring::npos) end = text.size();
        std::wstring line = text.substr(at, end - at);
        if (!line.empty() && line.back() == L'\r') line.pop_back();
        lines.push_back(line);
        at = end + 1;
    }
    return lines;
}

std::wstring IniValue(const std::vector<std::wstring>& Lines, const std::wstring& Key) {
    for (const std::wstring& line : Lines)
        if (line.size() > Key.size() && line.compare(0, Key.size(), Key) == 0 && line[Key.size()] == L'=')
            return line.substr(Key.size() + 1);
    return L"<missing>";
}

// --- The program's folder ----------------------------------------------------------------------

TProgramFolder::TProgramFolder(const std::wstring& Program, const std::wstring& Name) {
    wchar_t base[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, base);
    folder_ = std::wstring(base) + L"quill-e2e-" + Name + L"-" + std::to_wstring(GetCurrentProcessId()) + L"\\";
    std::error_code ec;
    std::filesystem::remove_all(folder_, ec);
    std::filesystem::create_directories(folder_, ec);
    ready_ = !ec && CopyFileW(Program.c_str(), Exe().c_str(), FALSE);
}

TProgramFolder::~TProgramFolder() {
    std::error_code ec;
    std::filesystem::remove_all(folder_, ec);
}

bool TProgramFolder::WriteSettings(const std::vector<std::wstring>& Lines) const {
    std::vector<std::wstring> all{kIniSection};
    all.insert(all.end(), Lines.begin(), Lines.end());
    return WriteUtf16Lines(Ini(), all);
}

// --- One run -------------------------------------------------------------------------------------

TProgram::~TProgram() {
    if (process_.hProcess == nullptr) return;
    if (Running()) TerminateProcess(process_.hProcess, 1);
    CloseHandle(process_.hProcess);
}

bool TProgram::Launch(const std::wstring& Exe, const std::wstring& Arguments) {
    folder_ = Exe.substr(0, Exe.find_last_of(L'\\') + 1);
    std::wstring commandLine = L"\"" + Exe + L"\"" + (Arguments.empty() ? L"" : L" " + Arguments);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    // Wine now and then fails to make a process (ERROR_INTERNAL_ERROR) among the kill stories' quick
    // restarts: the program never ran, so it is started again.
    DWORD error = ERROR_INTERNAL_ERROR;
    for (int attempt = 0; attempt < 3 && error == ERROR_INTERNAL_ERROR; ++attempt) {
        if (attempt > 0) Sleep(500);
        error = CreateProcessW(Exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, folder_.c_str(),
                               &startup, &process_)
                    ? ERROR_SUCCESS
                    : GetLastError();
    }
    if (error != ERROR_SUCCESS) {
        failure_ = L"CreateProcess failed, error " + std::to_wstring(error);
        return false;
    }
    CloseHandle(process_.hThread);
    process_.hThread = nullptr;
    return true;
}

bool TProgram::Start(const std::wstring& Exe, const std::wstring& Arguments) {
    return Launch(Exe, Arguments) && WaitReady();
}

namespace {

// The processes running the program at Exe, by id.
std::vector<DWORD> ProcessesOf(const std::wstring& Exe) {
    std::vector<DWORD> found;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return found;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID);
        if (process == nullptr) continue;
        wchar_t path[MAX_PATH] = {};
        DWORD size = MAX_PATH;
        if (QueryFullProcessImageNameW(process, 0, path, &size) && _wcsicmp(path, Exe.c_str()) == 0)
            found.push_back(entry.th32ProcessID);
        CloseHandle(process);
    }
    CloseHandle(snapshot);
    return found;
}

}  // namespace

bool TProgram::StartWithLinuxEnvironment(const std::wstring& Exe, const std::vector<std::string>& Variables) {
    folder_ = Exe.substr(0, Exe.find_last_of(L'\\') + 1);
    const std::string folder = quill_test::UnixPath(folder_);
    if (folder.empty()) {
        failure_ = L"no Linux path for the program's folder";
        return false;
    }
    const std::vector<DWORD> before = ProcessesOf(Exe);
    // A Linux program started from here has the Windows environment for its own: the shell starts
    // Wine's loader with the variables added, in the program's folder.
    std::wstring command = L"sh -c " + quill_test::QuoteArgument(
        L"cd \"$0\" || exit 1; exe=$1; shift; for w in /usr/lib/wine/wine64 /usr/bin/wine64 /usr/bin/wine; do "
        L"[ -x \"$w\" ] && exec env \"$@\" WINEDLLOVERRIDES='mscoree,mshtml=' \"$w\" \"$exe\"; done; exit 1");
    command += L" " + quill_test::QuoteArgument(quill_test::WideFromUtf8(folder)) + L" " + quill_test::QuoteArgument(Exe);
    for (const std::string& variable : Variables)
        command += L" " + quill_test::QuoteArgument(quill_test::WideFromUtf8(variable));
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION shell{};
    if (!CreateProcessW(L"Z:\\bin\\sh", command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &shell)) {
        failure_ = L"CreateProcess of /bin/sh failed, error " + std::to_wstring(GetLastError());
        return false;
    }
    if (shell.hThread != nullptr) CloseHandle(shell.hThread);
    if (shell.hProcess != nullptr) CloseHandle(shell.hProcess);
    // The program is the one process of that file that was not there before.
    WaitFor([&] {
        for (DWORD id : ProcessesOf(Exe)) {
            if (std::find(before.begin(), before.end(), id) != before.end()) continue;
            process_.hProcess = OpenProcess(PROCESS_ALL_ACCESS, FALSE, id);
            process_.dwProcessId = id;
            return process_.hProcess != nullptr;
        }
        return false;
    });
    if (process_.hProcess == nullptr) {
        failure_ = L"the program started through the Linux side did not come";
        return false;
    }
    return WaitReady();
}

bool TProgram::WaitReady() {
    WaitFor([this] {
        window_ = FindWindowCaptioned(kMainCaption);
        return window_ != nullptr || !Running();
    });
    if (window_ == nullptr) {
        failure_ = L"no main window captioned as expected";
        return false;
    }
    // The lists are filled on the first idle, which ends the start-up.
    const bool listed = WaitFor([this] {
        videoList_ = FindChild(window_, [](HWND w) { return IsCombo(w) && Holds(w, L"no video stream"); });
        soundList_ = FindChild(window_, [](HWND w) { return IsCombo(w) && Holds(w, L"no audio stream"); });
        formatList_ = FindChild(window_, [](HWND w) {
            if (!IsCombo(w)) return false;
            for (const wchar_t* name : kFormatNames)
                if (Holds(w, name)) return true;
            return false;
        });
        return (videoList_ != nullptr && soundList_ != nullptr && formatList_ != nullptr) || !Running();
    });
    if (!listed || videoList_ == nullptr) {
        failure_ = L"the source lists were not filled:";
        // What the lists hold, for the report.
        for (HWND list : Children(window_, IsCombo)) {
            const LRESULT n = SendMessageW(list, CB_GETCOUNT, 0, 0);
            failure_ += L" [";
            for (LRESULT i = 0; i < n && i < 20; ++i) {
                wchar_t item[256] = {};
                if (SendMessageW(list, CB_GETLBTEXTLEN, i, 0) < 255)
                    SendMessageW(list, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(item));
                failure_ += std::wstring(item) + L"|";
            }
            failure_ += L"]";
        }
        return false;
    }
    return true;
}

bool TProgram::SourcesListed(HWND Window) {
    return FindChild(Window, [](HWND w) { return IsCombo(w) && Holds(w, L"no video stream"); }) != nullptr &&
           FindChild(Window, [](HWND w) { return IsCombo(w) && Holds(w, L"no audio stream"); }) != nullptr;
}

bool TProgram::Running() const {
    return process_.hProcess != nullptr && WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT;
}

HWND TProgram::FindWindowCaptioned(const std::wstring& Caption) const {
    return FindTopWindow(process_.dwProcessId, [&](HWND w) { return TextOf(w) == Caption; });
}

HWND TProgram::FindWindowOfClass(const std::wstring& ClassName) const {
    return FindTopWindow(process_.dwProcessId, [&](HWND w) { return ClassOf(w).rfind(ClassName, 0) == 0; });
}

HWND TProgram::ShownPanel(const std::wstring& ClassName) const {
    for (HWND child = GetWindow(window_, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT))
        if (ClassOf(child).compare(0, ClassName.size(), ClassName) == 0 && IsWindowVisible(child)) return child;
    return nullptr;
}

std::wstring TProgram::Selected(HWND List) {
    if (List == nullptr) return std::wstring();
    const LRESULT index = SendMessageW(List, CB_GETCURSEL, 0, 0);
    if (index == CB_ERR || SendMessageW(List, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0) >= 255)
        return std::wstring();
    wchar_t text[256] = {};
    SendMessageW(List, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text));
    return text;
}

std::vector<std::wstring> TProgram::CaptureFormats() const {
    std::vector<std::wstring> items;
    if (formatList_ == nullptr) return items;
    const LRESULT count = SendMessageW(formatList_, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        wchar_t text[256] = {};
        if (SendMessageW(formatList_, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0) < 255)
            SendMessageW(formatList_, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
        items.push_back(text);
    }
    return items;
}

bool TProgram::PreviewMoves(DWORD TimeoutMs) const {
    // The video area: the part of the main window left of the panels and above the buttons.
    RECT area{};
    GetWindowRect(window_, &area);
    area.right -= (area.right - area.left) * 2 / 5;
    area.top += 60;
    area.bottom -= (area.bottom - area.top) / 4;
    // Within the client area: the frame a window manager draws round it turns with the focus.
    RECT client{};
    GetClientRect(window_, &client);
    MapWindowPoints(window_, nullptr, reinterpret_cast<POINT*>(&client), 2);
    IntersectRect(&area, &area, &client);
    // Time while other windows hide the area (the test programs' own, which stand above a managed
    // window) does not count, up to the longest wait of a story: what the screen shows then tells
    // nothing of the program.
    const ULONGLONG start = GetTickCount64();
    ULONGLONG hidden = 0;
    for (;;) {
        const ULONGLONG lookStart = GetTickCount64();
        const quill_test::TAreaLook look = quill_test::LookAtWindowArea(window_, area, 200, 3);
        if (look == quill_test::TAreaLook::Moving) return true;
        const ULONGLONG now = GetTickCount64();
        if (look == quill_test::TAreaLook::Hidden) hidden += now - lookStart;
        if (now - start > TimeoutMs + std::min<ULONGLONG>(hidden, kTimeoutMs)) return false;
        Sleep(50);
    }
}

bool TProgram::ShowsNoVideo() const {
    return FindChild(window_, [](HWND w) { return IsWindowVisible(w) && TextOf(w) == L"No video"; }) != nullptr;
}

HWND TProgram::ActionToolBar() {
    // The tool bar with thirteen buttons (eleven actions, two separators); its window class is named
    // after the control.
    HWND bar = nullptr;
    WaitFor([&] {
        bar = FindChild(window_, [](HWND w) {
            return ClassOf(w).find(L"ToolBar") != std::wstring::npos && SendMessageW(w, TB_BUTTONCOUNT, 0, 0) == 13;
        });
        return bar != nullptr || !Running();
    }, 10000);
    if (bar == nullptr) failure_ = L"no action tool bar";
    return bar;
}

bool TProgram::AskToolBar(UINT Message, WPARAM WParam, void* Answer, SIZE_T Size) {
    const HWND bar = ActionToolBar();
    if (bar == nullptr) return false;
    // The tool bar answers through memory in the program's own process.
    HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, process_.dwProcessId);
    if (process == nullptr) {
        failure_ = L"OpenProcess failed";
        return false;
    }
    void* remote = VirtualAllocEx(process, nullptr, Size, MEM_COMMIT, PAGE_READWRITE);
    SIZE_T read = 0;
    const bool answered = remote != nullptr &&
                          SendMessageW(bar, Message, WParam, reinterpret_cast<LPARAM>(remote)) != 0 &&
                          ReadProcessMemory(process, remote, Answer, Size, &read) && read == Size;
    if (remote != nullptr) VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    CloseHandle(process);
    if (!answered) failure_ = L"the action tool bar did not answer";
    return answered;
}

bool TProgram::ClickToolButton(int Index) {
    // The program builds the bar's buttons anew as their states and the window's look change (a
    // hidden one is taken out): the place is asked until the whole bar answers one.
    RECT rect{};
    HWND bar = nullptr;
    WaitFor([&] {
        rect = RECT{};
        bar = AskToolBar(TB_GETITEMRECT, static_cast<WPARAM>(Index), &rect, sizeof(rect)) ? ActionToolBar() : nullptr;
        return (bar != nullptr && rect.right > rect.left) || !Running();
    }, 20000);
    if (bar == nullptr || rect.right <= rect.left) {
        failure_ = L"the tool button's place is unknown";
        return false;
    }
    const LPARAM at = MAKELPARAM((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
    PostMessageW(bar, WM_MOUSEMOVE, 0, at);
    PostMessageW(bar, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageW(bar, WM_LBUTTONUP, 0, at);
    return true;
}

int TProgram::ToolButtonState(int Index) {
    TBBUTTON button{};
    if (!AskToolBar(TB_GETBUTTON, static_cast<WPARAM>(Index), &button, sizeof(button))) return -1;
    return button.fsState;
}

bool TProgram::ClickScriptButton() { return ClickToolButton(kScriptButton); }

int TProgram::StatusRedPixels() const {
    HWND bar = FindChild(window_, [](HWND w) { return ClassOf(w).find(L"StatusBar") != std::wstring::npos; });
    RECT rect{};
    if (bar == nullptr || !GetWindowRect(bar, &rect)) return -1;
    return quill_test::CountColour(quill_test::GrabScreen(rect), 0xFF0000);
}

bool TProgram::AnswerOpenDialog(const std::wstring& File) {
    HWND dialog = nullptr;
    if (!WaitFor([&] {
            dialog = FindTopWindow(process_.dwProcessId, [](HWND w) { return ClassOf(w) == L"#32770"; });
            return dialog != nullptr || !Running();
        }, 20000) || dialog == nullptr) {
        failure_ = L"the script's open dialog did not come";
        return false;
    }
    // The file name box: an edit of its own or the edit inside the name combo box.
    HWND name = nullptr;
    WaitFor([&] {
        name = GetDlgItem(dialog, 0x480);
        if (name == nullptr) {
            if (HWND combo = GetDlgItem(dialog, 0x47C))
                name = FindChild(combo, [](HWND w) { return ClassOf(w) == L"Edit"; });
        }
        return name != nullptr || !IsWindow(dialog);
    }, 10000);
    if (name == nullptr) {
        failure_ = L"the open dialog has no file name box";
        return false;
    }
    SendMessageW(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(File.c_str()));
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
    if (!WaitFor([&] { return !IsWindow(dialog); }, 20000)) {
        failure_ = L"the open dialog stayed";
        return false;
    }
    return true;
}

bool TProgram::RunScript(const std::vector<std::wstring>& Lines, bool WaitTurn) {
    const std::wstring file = folder_ + L"script" + std::to_wstring(++scripts_) + L".txt";
    if (!WriteUtf16Lines(file, Lines)) {
        failure_ = L"the script file could not be written";
        return false;
    }
    return RunFile(file, WaitTurn);
}

bool TProgram::RunFile(const std::wstring& File, bool WaitTurn) {
    const ULONGLONG start = GetTickCount64();
    // The script before stands still while a refusal is shown: the pause between tries grows.
    DWORD pause = 100;
    for (;;) {
        const std::vector<HWND> before = TopWindows(process_.dwProcessId);
        if (!ClickScriptButton() || !AnswerOpenDialog(File)) return false;
        if (!WaitTurn) return true;
        // The program takes the file or refuses it before it next reads its messages: once this
        // one is answered, a refusal is on the screen or the script has begun (a window already
        // gone took the file and ran it).
        DWORD_PTR ignored = 0;
        if (!SendMessageTimeoutW(window_, WM_NULL, 0, 0, SMTO_NORMAL, kTimeoutMs, &ignored)) return true;
        const HWND message = Message();
        if (message == nullptr || std::find(before.begin(), before.end(), message) != before.end()) return true;
        const std::wstring text = MessageText();
        const std::wstring name = File.substr(File.find_last_of(L"\\/") + 1);
        if (text.find(L"another script is running") == std::wstring::npos || text.find(name) == std::wstring::npos)
            return true;
        if (!AnswerMessage(L"OK") || !WaitFor([&] { return !IsWindow(message); }, 10000)) return false;
        if (GetTickCount64() - start > kTimeoutMs) {
            failure_ = L"the script before never ended";
            return false;
        }
        Sleep(pause);
        pause = std::min<DWORD>(pause * 2, 3000);
    }
}

bool TProgram::ClickButton(const std::wstring& Caption) {
    // A button of a panel made late, or enabled by a step just taken, is waited for.
    HWND button = nullptr;
    WaitFor([&] {
        button = FindChild(window_, [&](HWND w) {
            return ClassOf(w).find(L"Btn") != std::wstring::npos && IsWindowVisible(w) && IsWindowEnabled(w) &&
                   TextOf(w) == Caption;
        });
        return button != nullptr || !Running();
    }, 10000);
    if (button == nullptr) {
        failure_ = L"no enabled button captioned " + Caption;
        return false;
    }
    PostMessageW(button, BM_CLICK, 0, 0);
    return true;
}

std::vector<HWND> TProgram::ControlsOf(HWND Panel, const std::wstring& ClassName) {
    struct Placed {
        RECT rect;
        HWND window;
    };
    std::vector<Placed> found;
    for (HWND control : Children(Panel, [&](HWND w) { return ClassOf(w).compare(0, ClassName.size(), ClassName) == 0; })) {
        Placed p{{}, control};
        GetWindowRect(control, &p.rect);
        found.push_back(p);
    }
    std::sort(found.begin(), found.end(), [](const Placed& a, const Placed& b) {
        return a.rect.top != b.rect.top ? a.rect.top < b.rect.top : a.rect.left < b.rect.left;
    });
    std::vector<HWND> windows;
    for (const Placed& p : found) windows.push_back(p.window);
    return windows;
}

bool TProgram::TypeInto(HWND Edit, const std::wstring& Text, bool Enter) {
    SendMessageW(Edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(Text.c_str()));
    // An edit's text lives in the edit: another process asks for it with WM_GETTEXT.
    std::wstring back(Text.size() + 2, L'\0');
    back.resize(SendMessageW(Edit, WM_GETTEXT, back.size(), reinterpret_cast<LPARAM>(back.data())));
    if (back != Text) {
        failure_ = L"an edit shows " + back + L" instead of " + Text;
        return false;
    }
    if (Enter) SendMessageW(Edit, WM_CHAR, VK_RETURN, 0);
    return true;
}

bool TProgram::TypeIntoSpinEdits(HWND Panel, const std::vector<int>& Values) {
    // A panel shown before its controls are made: the edits are waited for.
    std::vector<HWND> edits;
    WaitFor([&] { return (edits = ControlsOf(Panel, L"TKitSpinEdit")).size() >= Values.size() || !Running(); }, 10000);
    if (edits.size() < Values.size()) {
        failure_ = L"the panel has " + std::to_wstring(edits.size()) + L" spin edits";
        return false;
    }
    for (size_t i = 0; i < Values.size(); ++i)
        if (!TypeInto(edits[i], std::to_wstring(Values[i]))) return false;
    return true;
}

HWND TProgram::Message() const {
    // The wide forms' window classes carry a suffix after the control's name.
    return FindTopWindow(process_.dwProcessId, [](HWND w) { return ClassOf(w).rfind(L"TUcMessageForm", 0) == 0; });
}

std::wstring TProgram::MessageText() const {
    const HWND message = Message();
    if (message == nullptr) return std::wstring();
    // Its Ctrl+C, handed by Windows to the message brought to the front (whatever window the
    // desktop gives the keyboard). A busy machine can keep a message just shown from the front, or
    // from reading its keys, past one try: it is asked again while it stands.
    const ULONGLONG start = GetTickCount64();
    std::wstring text;
    while (text.empty() && IsWindow(message) && GetTickCount64() - start < kTimeoutMs) {
        SetForegroundWindow(message);
        if (!WaitFor([&] { return GetForegroundWindow() == message; }, 5000)) continue;
        const DWORD before = GetClipboardSequenceNumber();
        INPUT keys[4] = {};
        const WORD order[4] = {VK_CONTROL, 'C', 'C', VK_CONTROL};
        for (int i = 0; i < 4; ++i) {
            keys[i].type = INPUT_KEYBOARD;
            keys[i].ki.wVk = order[i];
            keys[i].ki.dwFlags = i < 2 ? 0 : KEYEVENTF_KEYUP;
        }
        SendInput(4, keys, sizeof(INPUT));
        if (!WaitFor([&] { return GetClipboardSequenceNumber() != before; }, 5000) || !OpenClipboard(nullptr)) continue;
        if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
            if (const auto* chars = static_cast<const wchar_t*>(GlobalLock(data))) text = chars;
            GlobalUnlock(data);
        }
        CloseClipboard();
    }
    return text;
}

bool TProgram::AnswerMessage(const std::wstring& Button, std::wstring* Caption, DWORD TimeoutMs) {
    return Answer(Button, Caption, TimeoutMs, false);
}

bool TProgram::ClickMessageButton(const std::wstring& Button) {
    return Answer(Button, nullptr, kTimeoutMs, true);
}

bool TProgram::Answer(const std::wstring& Button, std::wstring* Caption, DWORD TimeoutMs, bool Mouse) {
    HWND message = nullptr;
    if (!WaitFor([&] { return (message = Message()) != nullptr || !Running(); }, TimeoutMs) || message == nullptr) {
        failure_ = L"no message came";
        return false;
    }
    if (Caption != nullptr) *Caption = TextOf(message);
    // A button's caption as read: without its accelerator mark, in any case ("Ok", "&Yes").
    auto plain = [](std::wstring Text) {
        Text.erase(std::remove(Text.begin(), Text.end(), L'&'), Text.end());
        for (wchar_t& c : Text) c = static_cast<wchar_t>(std::towlower(c));
        return Text;
    };
    HWND button = nullptr;
    WaitFor([&] {
        button = FindChild(message, [&](HWND w) { return plain(TextOf(w)) == plain(Button); });
        return button != nullptr || !IsWindow(message);
    }, 10000);
    if (button == nullptr) {
        failure_ = L"the message has no button " + Button;
        return false;
    }
    RECT place{};
    if (!Mouse) {
        PostMessageW(button, BM_CLICK, 0, 0);
    } else if (!GetWindowRect(button, &place) ||
               !quill_test::ClickAt({(place.left + place.right) / 2, (place.top + place.bottom) / 2})) {
        failure_ = L"the message's button " + Button + L" could not be clicked";
        return false;
    }
    if (!WaitFor([&] { return !IsWindow(message) || !IsWindowVisible(message); }, 20000)) {
        failure_ = L"the message stayed";
        return false;
    }
    return true;
}

std::wstring TProgram::ButtonShown(const std::vector<std::wstring>& Captions) const {
    for (const std::wstring& caption : Captions) {
        const HWND button = FindChild(window_, [&](HWND w) {
            return ClassOf(w).find(L"Btn") != std::wstring::npos && IsWindowVisible(w) && TextOf(w) == caption;
        });
        if (button != nullptr) return caption;
    }
    return std::wstring();
}

bool TProgram::Settled(const std::wstring& File, const wchar_t* Answer) {
    return WaitFor([&] {
        if (Message() != nullptr) AnswerMessage(Answer, nullptr, 0);
        return FileClosed(File) && ButtonShown({L"Capture", L"Stop Capture"}) == L"Capture" && Message() == nullptr;
    });
}

int TProgram::ListCount(const std::wstring& PanelClass) const {
    const HWND panel = ShownPanel(PanelClass);
    if (panel == nullptr) return -1;
    const HWND list = FindChild(panel, [](HWND w) { return ClassOf(w).find(L"ListBox") != std::wstring::npos; });
    return list == nullptr ? -1 : static_cast<int>(SendMessageW(list, LB_GETCOUNT, 0, 0));
}

bool TProgram::WaitEnd(DWORD TimeoutMs) {
    if (WaitForSingleObject(process_.hProcess, TimeoutMs) != WAIT_OBJECT_0) return false;
    DWORD code = 1;
    GetExitCodeProcess(process_.hProcess, &code);
    return code == 0;
}

bool TProgram::Close(const wchar_t* Answer, int Requests) {
    asked_ = false;
    shownAtClose_.clear();
    if (process_.hProcess == nullptr || window_ == nullptr) return false;
    // The windows shown before (a camcorder's window, say) are not the close's.
    std::vector<HWND> seen = TopWindows(process_.dwProcessId);
    for (int i = 0; i < Requests; ++i) PostMessageW(window_, WM_CLOSE, 0, 0);
    const ULONGLONG start = GetTickCount64();
    while (Running() && GetTickCount64() - start < kTimeoutMs) {
        // The question and the other windows come from one look: a question shown between two
        // looks would otherwise be taken for another window and closed.
        HWND question = nullptr;
        // Any other window that comes up meanwhile is noted once, and closed so that the close
        // can go on.
        for (HWND other : TopWindows(process_.dwProcessId)) {
            if (TextOf(other) == kStorageCaption) {
                question = other;
                continue;
            }
            if (other == window_ || std::find(seen.begin(), seen.end(), other) != seen.end()) continue;
            // A hint the pointer raised is nothing the program told; one that went before it
            // could be looked at told nothing either.
            if (quill_test::IsHintWindow(other) || !IsWindow(other)) continue;
            seen.push_back(other);
            std::wstring text = TextOf(other) + L":";
            for (HWND child : Children(other, [](HWND) { return true; }))
                if (!TextOf(child).empty()) text += L" [" + TextOf(child) + L"]";
            shownAtClose_.push_back(text);
            PostMessageW(other, WM_CLOSE, 0, 0);
        }
        if (question != nullptr && !asked_) {
            asked_ = true;
            HWND button = nullptr;
            if (Answer != nullptr)
                WaitFor([&] {
                    button = FindChild(question, [&](HWND w) { return TextOf(w) == Answer; });
                    return button != nullptr || !IsWindow(question);
                }, 5000);
            // An unexpected question is closed with its close box: the program then runs on.
            if (button != nullptr)
                PostMessageW(button, BM_CLICK, 0, 0);
            else
                PostMessageW(question, WM_CLOSE, 0, 0);
            if (button == nullptr) return false;
        }
        Sleep(50);
    }
    return WaitEnd(0);
}

}  // namespace e2e
