// The built program: started from a copy in a temporary folder, it shows its main window, closes on
// WM_CLOSE with exit code 0 and keeps its settings where the storage mode found at start says (the
// INI file beside the copy, the registry key naming the copy, or nowhere), reading them back at the
// next start; and it carries its version resource and texts. HKCU\Software\Marbrecq is set aside
// around the program's runs and put back.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/common/desktop_input.h"
#include "tests/ui/store_helpers.h"

#ifndef QUILL_APP_EXE
#error "QUILL_APP_EXE (path of the built Quillotrane.exe) must be defined by the build"
#endif

namespace {

using namespace quill_test;

constexpr DWORD kExitTimeoutMs = 60000;
constexpr DWORD kWindowTimeoutMs = 60000;

const std::wstring kSignature = L"Quillotrane 6.0.5 En by Marbrecq";
const std::wstring kCaption = L"Quillotrane 6.0.5En by Marbrecq";

// The keys of the eighty settings; "IncrustRec" is a record stored field by field below its key.
const wchar_t* const kSettingKeys[] = {
    L"Top", L"Left", L"Volume", L"Camform 1 left", L"Camform 2 left", L"Camform 1 top", L"Camform 2 top",
    L"Standard DV", L"Profile wmv", L"FrequenceDV", L"RatioDV", L"Ratio DivX", L"Correction Sync", L"Framerate",
    L"IncrustRec", L"Dur\u00e9e Incruster", L"When Incrust", L"No Datecode", L"D\u00e9calage Horaire",
    L"D\u00e9calage avanc\u00e9", L"Extension des images", L"Qualit\u00e9 JPeg", L"Version wmv",
    L"Valeur Intervallom\u00e8tre", L"Unit\u00e9s Intervallom\u00e8tre", L"Panneau Actif", L"Aspect ratio",
    L"WideScreen", L"Plugins Dir", L"Video Directory", L"Video Racine", L"Image Directory", L"Image Racine",
    L"Pelorin", L"Source video", L"Source Audio", L"Capture Format", L"Audio Type", L"Sound Card Entry",
    L"Profil Windows media", L"Preferred  wmv profile", L"Default Profile", L"Divx favori", L"Want Mp3",
    L"Frequence DV native", L"Garder Format DV", L"Demi Taille", L"Notifier", L"Internal Deinterlacer",
    L"EcranGauche", L"Preview Locked", L"Activer Superposition", L"Want Incrust", L"Want vert Flip",
    L"Want Horz flip", L"Want Widescreen", L"Want video source", L"Want audio source", L"Want Format capture",
    L"Raccourcis Sort", L"Fullscreen On", L"Reduced on", L"Mute On", L"Stopper camera DV 1 en quittant",
    L"Stopper camera DV 2 en quittant", L"Video Date", L"Image date", L"Show Video Pilot DV",
    L"Show Audio Pilot DV", L"Sauver pr\u00e9f\u00e9rences en quittant", L"Confirmer Image", L"Confirmer Video",
    L"Mpeg2 Ratio Normal", L"Scn", L"DV demi si DivX", L"Beeps", L"Sources Exclues", L"Video Input Select",
    L"Freeze Preview", L"Freeze Capture"};
static_assert(sizeof(kSettingKeys) / sizeof(kSettingKeys[0]) == 80);

// The build gives the program's path as the build machine sees it (UTF-8). Under Wine a Unix
// absolute path is reached through drive Z:.
std::wstring AppPath()
{
    const char* utf8 = QUILL_APP_EXE;
    const int length = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);
    std::wstring path(length > 0 ? length - 1 : 0, L'\0');
    if (length > 1)
        MultiByteToWideChar(CP_UTF8, 0, utf8, -1, path.data(), length);
    if (!path.empty() && path[0] == L'/')
        path.insert(0, L"Z:");
    for (wchar_t& c : path)
        if (c == L'/')
            c = L'\\';
    return path;
}

bool SamePath(const std::wstring& a, const std::wstring& b)
{
    return CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

// --- The program's runs --------------------------------------------------------------------------

struct FindWindowData {
    DWORD processId;
    HWND found;
};

BOOL CALLBACK FindMainWindow(HWND window, LPARAM data)
{
    auto* find = reinterpret_cast<FindWindowData*>(data);
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (processId != find->processId || !IsWindowVisible(window))
        return TRUE;
    wchar_t text[256] = {};
    GetWindowTextW(window, text, 256);
    if (kCaption != text)
        return TRUE;
    find->found = window;
    return FALSE;
}

struct RunResult {
    bool windowFound = false;
    RECT windowRect{};
    bool exited = false;
    bool storageQuestionAnswered = false;
    DWORD exitCode = STILL_ACTIVE;
};

// The top-level window of a process captioned so, nullptr when none.
struct FindCaptionData {
    DWORD processId;
    const wchar_t* caption;
    HWND found;
};

BOOL CALLBACK FindCaptioned(HWND window, LPARAM data)
{
    auto* find = reinterpret_cast<FindCaptionData*>(data);
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    wchar_t text[256] = {};
    GetWindowTextW(window, text, 256);
    if (processId != find->processId || !IsWindowVisible(window) || std::wstring(find->caption) != text)
        return TRUE;
    find->found = window;
    return FALSE;
}

HWND FindProcessWindow(DWORD processId, const wchar_t* caption)
{
    FindCaptionData find{processId, caption, nullptr};
    EnumWindows(FindCaptioned, reinterpret_cast<LPARAM>(&find));
    return find.found;
}

BOOL CALLBACK FindChildCaptioned(HWND window, LPARAM data)
{
    auto* find = reinterpret_cast<FindCaptionData*>(data);
    wchar_t text[256] = {};
    GetWindowTextW(window, text, 256);
    if (std::wstring(find->caption) != text)
        return TRUE;
    find->found = window;
    return FALSE;
}

// Clicks the button captioned Answer in the close question "where to keep the preferences".
bool AnswerStorageQuestion(DWORD processId, const wchar_t* answer)
{
    HWND dialog = FindProcessWindow(processId, L"Saving the preferences of Quillotrane");
    if (dialog == nullptr)
        return false;
    FindCaptionData button{processId, answer, nullptr};
    EnumChildWindows(dialog, FindChildCaptioned, reinterpret_cast<LPARAM>(&button));
    if (button.found == nullptr)
        return false;
    PostMessageW(button.found, BM_CLICK, 0, 0);
    return true;
}

// Starts the program, waits for its main window, notes where it stands, posts WM_CLOSE to it and
// waits for the end, answering the storage question (asked in "do not save" mode) with
// StorageAnswer. A program that does not end is terminated.
RunResult RunAndClose(const std::wstring& exe, const std::wstring& folder, const wchar_t* storageAnswer = L"None",
                      const std::wstring& arguments = L"", bool postClose = true)
{
    RunResult result;
    std::wstring commandLine = L"\"" + exe + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(),
                        &startup, &process)) {
        ADD_FAILURE() << "CreateProcessW failed, error " << GetLastError();
        return result;
    }
    CloseHandle(process.hThread);

    FindWindowData find{process.dwProcessId, nullptr};
    const DWORD start = GetTickCount();
    while (find.found == nullptr && GetTickCount() - start < kWindowTimeoutMs) {
        if (WaitForSingleObject(process.hProcess, 100) == WAIT_OBJECT_0)
            break;
        EnumWindows(FindMainWindow, reinterpret_cast<LPARAM>(&find));
    }
    if (find.found != nullptr) {
        result.windowFound = true;
        GetWindowRect(find.found, &result.windowRect);
        if (postClose)
            PostMessageW(find.found, WM_CLOSE, 0, 0);
    }
    const DWORD closing = GetTickCount();
    bool answered = false;
    while (GetTickCount() - closing < kExitTimeoutMs) {
        if (WaitForSingleObject(process.hProcess, 100) == WAIT_OBJECT_0) {
            result.exited = true;
            break;
        }
        if (!answered && storageAnswer != nullptr)
            answered = AnswerStorageQuestion(process.dwProcessId, storageAnswer);
    }
    result.storageQuestionAnswered = answered;
    if (!result.exited)
        TerminateProcess(process.hProcess, 1);
    GetExitCodeProcess(process.hProcess, &result.exitCode);
    CloseHandle(process.hProcess);
    return result;
}

class ProgramTest : public ::testing::Test {
protected:
    MarbrecqKeyGuard registry_{L"Software\\QuillotraneAppTestBackup"};
    void SetUp() override
    {
        wchar_t base[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, base);
        folder_ = std::wstring(base) + L"quill-app-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                  std::to_wstring(GetTickCount()) + L"\\";
        ASSERT_TRUE(CreateDirectoryW(folder_.c_str(), nullptr));
        exe_ = folder_ + L"Quillotrane.exe";
        ini_ = folder_ + L"Quillotrane.ini";
        ASSERT_TRUE(CopyFileW(AppPath().c_str(), exe_.c_str(), FALSE)) << "error " << GetLastError();
    }
    void TearDown() override
    {
        DeleteFileW(ini_.c_str());
        DeleteFileW(exe_.c_str());
        RemoveDirectoryW(folder_.c_str());
    }

    // One run that must show the window and end cleanly.
    RunResult Run()
    {
        RunResult run = RunAndClose(exe_, folder_);
        EXPECT_TRUE(run.windowFound) << "no main window titled as expected";
        EXPECT_TRUE(run.exited) << "the program did not end after WM_CLOSE";
        EXPECT_EQ(0u, run.exitCode);
        return run;
    }

    std::wstring folder_;
    std::wstring exe_;
    std::wstring ini_;
};

TEST_F(ProgramTest, PortableModeKeepsTheSettingsInTheIniFileAndReadsThemBack)
{
    // An empty INI file beside the program chooses the portable mode.
    WriteIniLines(ini_, {});
    Run();
    auto lines = ReadIniLines(ini_);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(kIniSection, lines[0]);
    EXPECT_EQ(kSignature, IniValue(lines, L"Signature"));
    EXPECT_TRUE(SamePath(exe_, IniValue(lines, L"ExeName"))) << IniValue(lines, L"ExeName");
    EXPECT_NE(L"<missing>", IniValue(lines, L"DerniereSauvegarde"));
    for (const wchar_t* key : kSettingKeys) {
        if (std::wstring(key) == L"IncrustRec")
            EXPECT_NE(L"<missing>", IniValue(lines, L"IncrustRec\\Xpos"));
        else
            EXPECT_NE(L"<missing>", IniValue(lines, key)) << "no line for the setting " << testing::PrintToString(key);
    }
    EXPECT_FALSE(KeyExists(kProgramKey));

    // Settings changed between runs are read back, used, and saved again.
    for (auto& line : lines) {
        if (line.compare(0, 4, L"Top=") == 0)
            line = L"Top=123";
        else if (line.compare(0, 5, L"Left=") == 0)
            line = L"Left=77";
        else if (line.compare(0, 7, L"Volume=") == 0)
            line = L"Volume=4321";
    }
    WriteIniLines(ini_, lines);
    const RunResult second = Run();
    EXPECT_EQ(123, second.windowRect.top);
    EXPECT_EQ(77, second.windowRect.left);
    lines = ReadIniLines(ini_);
    EXPECT_EQ(L"123", IniValue(lines, L"Top"));
    EXPECT_EQ(L"77", IniValue(lines, L"Left"));
    EXPECT_EQ(L"4321", IniValue(lines, L"Volume"));
}

TEST_F(ProgramTest, NormalModeKeepsTheSettingsInTheRegistryAndReadsThemBack)
{
    // The registry entry naming this copy chooses the normal mode.
    SetSz(kProgramKey, L"Exename", exe_);
    Run();
    EXPECT_EQ(kSignature, GetSz(kProgramKey, L"Signature"));
    EXPECT_TRUE(SamePath(exe_, GetSz(kProgramKey, L"ExeName")));
    EXPECT_TRUE(ValueExists(kProgramKey, L"DerniereSauvegarde"));
    const std::wstring recordKey = std::wstring(kProgramKey) + L"\\IncrustRec";
    for (const wchar_t* key : kSettingKeys) {
        if (std::wstring(key) == L"IncrustRec")
            EXPECT_TRUE(KeyExists(recordKey.c_str()));
        else
            EXPECT_TRUE(ValueExists(kProgramKey, key)) << "no value for the setting " << testing::PrintToString(key);
    }
    EXPECT_FALSE(FileExists(ini_));

    SetDword(kProgramKey, L"Top", 123);
    SetDword(kProgramKey, L"Left", 77);
    SetDword(kProgramKey, L"Volume", 4321);
    const RunResult second = Run();
    EXPECT_EQ(123, second.windowRect.top);
    EXPECT_EQ(77, second.windowRect.left);
    EXPECT_EQ(123, GetDword(kProgramKey, L"Top"));
    EXPECT_EQ(77, GetDword(kProgramKey, L"Left"));
    EXPECT_EQ(4321, GetDword(kProgramKey, L"Volume"));
}

TEST_F(ProgramTest, WithoutStoredSettingsNothingIsWritten)
{
    // "Do not save when quit": the close asks where to keep the preferences; "None" keeps nothing.
    EXPECT_TRUE(Run().storageQuestionAnswered);
    EXPECT_FALSE(FileExists(ini_));
    EXPECT_FALSE(KeyExists(kProgramKey));
}

TEST_F(ProgramTest, ClosingTheStorageQuestionKeepsTheProgramRunningAndAChoiceIsKept)
{
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    std::wstring commandLine = L"\"" + exe_ + L"\"";
    ASSERT_TRUE(CreateProcessW(exe_.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, folder_.c_str(),
                               &startup, &process));
    CloseHandle(process.hThread);
    // A story that stops early leaves no program behind.
    struct TEnds {
        HANDLE process;
        ~TEnds() {
            if (WaitForSingleObject(process, 0) == WAIT_TIMEOUT) TerminateProcess(process, 1);
            CloseHandle(process);
        }
    } ends{process.hProcess};
    HWND main = nullptr;
    for (DWORD start = GetTickCount(); main == nullptr && GetTickCount() - start < kWindowTimeoutMs;) {
        if (WaitForSingleObject(process.hProcess, 100) == WAIT_OBJECT_0)
            break;
        FindWindowData find{process.dwProcessId, nullptr};
        EnumWindows(FindMainWindow, reinterpret_cast<LPARAM>(&find));
        main = find.found;
    }
    ASSERT_NE(nullptr, main);
    // The keyboard's way to close, once the window has the keyboard (as the desktop gives it).
    std::wstring seen;
    auto keyboard = [&](HWND Window) {
        for (DWORD start = GetTickCount(); GetTickCount() - start < 30000; Sleep(50))
            if (HasKeyboard(Window, &seen)) return true;
        return HasKeyboard(Window, &seen);
    };
    EXPECT_TRUE(keyboard(main)) << "at the start: " << testing::PrintToString(seen);
    EXPECT_TRUE(TypeKey('Q', true));
    HWND dialog = nullptr;
    for (DWORD start = GetTickCount(); dialog == nullptr && GetTickCount() - start < kWindowTimeoutMs;) {
        Sleep(100);
        dialog = FindProcessWindow(process.dwProcessId, L"Saving the preferences of Quillotrane");
    }
    ASSERT_NE(nullptr, dialog) << "Ctrl+Q did not ask";
    // The question's own close box chooses nothing: the close is refused, the program runs on, and
    // its window has the keyboard again.
    EXPECT_TRUE(ClickCloseBox(dialog)) << "the close box's place is unknown";
    for (DWORD start = GetTickCount(); IsWindowVisible(dialog) && GetTickCount() - start < kWindowTimeoutMs;)
        Sleep(100);
    EXPECT_FALSE(IsWindowVisible(dialog)) << "the close box did not close the question";
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(process.hProcess, 1000));
    EXPECT_TRUE(IsWindowVisible(main));
    EXPECT_FALSE(FileExists(ini_));
    EXPECT_TRUE(keyboard(main)) << "after the close box: " << testing::PrintToString(seen);

    // Asked again with Ctrl+Q: "Portable" keeps the settings beside the program, and the program ends.
    EXPECT_TRUE(TypeKey('Q', true));
    bool answered = false;
    bool exited = false;
    for (DWORD start = GetTickCount(); !exited && GetTickCount() - start < kExitTimeoutMs;) {
        exited = WaitForSingleObject(process.hProcess, 100) == WAIT_OBJECT_0;
        if (!answered && !exited)
            answered = AnswerStorageQuestion(process.dwProcessId, L"Portable");
    }
    EXPECT_TRUE(answered);
    ASSERT_TRUE(exited);
    EXPECT_EQ(kSignature, IniValue(ReadIniLines(ini_), L"Signature"));

    // The next start finds the INI file: portable mode, no question at the close.
    const RunResult next = Run();
    EXPECT_FALSE(next.storageQuestionAnswered);
}

TEST_F(ProgramTest, TheQuitSwitchOfTheCommandLineClosesTheProgram)
{
    WriteIniLines(ini_, {});
    // The window may be gone before the test sees it: the switch runs at the first activation.
    const RunResult run = RunAndClose(exe_, folder_, nullptr, L"+q", false);
    EXPECT_TRUE(run.exited) << "the switch did not reach the quit action";
    EXPECT_EQ(0u, run.exitCode);
    EXPECT_NE(L"<missing>", IniValue(ReadIniLines(ini_), L"Signature"));
}

TEST_F(ProgramTest, AnotherCopysRegistrySettingsAreLeftAlone)
{
    const std::wstring other = L"C:\\Other Copy\\Quillotrane.exe";
    SetSz(kProgramKey, L"Exename", other);
    SetDword(kProgramKey, L"Top", 5);
    Run();
    EXPECT_EQ(other, GetSz(kProgramKey, L"Exename"));
    EXPECT_EQ(5, GetDword(kProgramKey, L"Top"));
    EXPECT_FALSE(ValueExists(kProgramKey, L"Signature"));
    EXPECT_FALSE(FileExists(ini_));
}

struct VersionInfo {

    std::vector<BYTE> data;

    bool Load(const std::wstring& file)
    {
        DWORD handle = 0;
        const DWORD size = GetFileVersionInfoSizeW(file.c_str(), &handle);
        if (size == 0)
            return false;
        data.assign(size, 0);
        return GetFileVersionInfoW(file.c_str(), 0, size, data.data()) != FALSE;
    }

    std::wstring String(const wchar_t* block, const wchar_t* name)
    {
        const std::wstring query = std::wstring(L"\\StringFileInfo\\") + block + L"\\" + name;
        void* value = nullptr;
        UINT length = 0;
        if (!VerQueryValueW(data.data(), query.c_str(), &value, &length) || value == nullptr)
            return L"<missing>";
        return std::wstring(static_cast<const wchar_t*>(value));
    }
};

} // namespace

TEST(App, CarriesItsVersionResource)
{
    VersionInfo info;
    ASSERT_TRUE(info.Load(AppPath())) << "no version resource, error " << GetLastError();

    void* value = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(info.data.data(), L"\\VarFileInfo\\Translation", &value, &length));
    ASSERT_GE(length, 2 * sizeof(WORD));
    const WORD* translation = static_cast<const WORD*>(value);
    EXPECT_EQ(translation[0], 0x0409);
    EXPECT_EQ(translation[1], 0x04E4);

    ASSERT_TRUE(VerQueryValueW(info.data.data(), L"\\", &value, &length));
    ASSERT_GE(length, sizeof(VS_FIXEDFILEINFO));
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00060000u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0x00050000u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00060000u);
    EXPECT_EQ(fixed->dwProductVersionLS, 0x00050000u);

    EXPECT_EQ(info.String(L"040904E4", L"ProductName"), L"Quillotrane");
    EXPECT_EQ(info.String(L"040904E4", L"FileVersion"), L"6.0.5");
    EXPECT_EQ(info.String(L"040904E4", L"CompanyName"), L"Marbrecq");
    EXPECT_EQ(info.String(L"040904E4", L"OriginalFilename"), L"Quillotrane.exe");
}

TEST(App, CarriesTheProgramTexts)
{
    HMODULE module = LoadLibraryExW(AppPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr) << "error " << GetLastError();
    auto text = [&](UINT id) {
        wchar_t buffer[512] = {};
        const int n = LoadStringW(module, id, buffer, 512);
        return std::wstring(buffer, n > 0 ? n : 0);
    };
    EXPECT_EQ(text(2000), L"no video stream");  // first text of the table
    EXPECT_EQ(text(2006), L"duration %d:%.2d :%.2d");
    // The beeps are found by the names the string table gives them, as WAVE resources.
    for (UINT id : {2061u, 2062u}) {
        const std::wstring name = text(id);
        HRSRC found = FindResourceW(module, name.c_str(), L"WAVE");
        ASSERT_NE(found, nullptr) << "no WAVE resource named by text " << id;
        HGLOBAL loaded = LoadResource(module, found);
        const auto* bytes = static_cast<const char*>(LockResource(loaded));
        ASSERT_GE(SizeofResource(module, found), 44u);
        EXPECT_EQ(std::string(bytes, 4), "RIFF");
        EXPECT_EQ(std::string(bytes + 8, 4), "WAVE");
    }
    FreeLibrary(module);
}
