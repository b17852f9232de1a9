// The wide platform layer: flags and default code page, the ANSI paths of the wrappers (forced,
// since Wine reports NT), the command line, string resources.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "classlib/conversions.h"
#include "classlib/exceptions.h"
#include "unicode/wide_codecs.h"
#include "unicode/wide_platform.h"
#include "unicode_text_test_ids.h"

using namespace unicode;

namespace {

// Runs a test on the ANSI paths and restores the platform flag afterwards.
class AnsiPlatform : public ::testing::Test {
protected:
    void SetUp() override { ForcePlatformForTesting(false); }
    void TearDown() override { ForcePlatformForTesting(true); }
};

wchar_t* AsInt(wchar_t c) { return reinterpret_cast<wchar_t*>(static_cast<std::uintptr_t>(c)); }

std::wstring ExeFolder() {
    std::wstring exe = WideParamStr(0);
    return exe.substr(0, exe.find_last_of(L'\\') + 1);
}

// A folder of the test's working folder (which every run starts empty).
std::wstring MakeFolder(const wchar_t* name) {
    wchar_t cwd[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, cwd);
    std::wstring path = std::wstring(cwd) + L"\\" + name;
    CreateDirectoryW(path.c_str(), nullptr);
    return path;
}

}  // namespace

TEST(WidePlatform, FlagsCodePagesAndChecks) {
    EXPECT_TRUE(Win32PlatformIsUnicode());
    EXPECT_TRUE(Win32PlatformIsXP());
    EXPECT_EQ(DefaultSystemCodePage(), unsigned(CP_THREAD_ACP));
    EXPECT_EQ(classlib::RuntimeCodePage(), unsigned(CP_THREAD_ACP));
    ForcePlatformForTesting(false);
    const bool forcedFlag = Win32PlatformIsUnicode();
    const unsigned forced = DefaultSystemCodePage(), forcedRuntime = classlib::RuntimeCodePage();
    ForcePlatformForTesting(true);
    EXPECT_FALSE(forcedFlag);
    EXPECT_EQ(forced, 1252u);  // the thread locale's ANSI code page in the test environment
    EXPECT_EQ(forcedRuntime, forced);
    EXPECT_EQ(DefaultSystemCodePage(), unsigned(CP_THREAD_ACP));

    EXPECT_EQ(LCIDToCodePage(0x0419), 1251u);
    EXPECT_EQ(LCIDToCodePage(0x0411), 932u);
    EXPECT_EQ(LCIDToCodePage(0x7abc), GetACP());  // unknown locale

    EXPECT_TRUE(Uc_Is_IntResource(std::uintptr_t{0xFFFF}));
    EXPECT_FALSE(Uc_Is_IntResource(std::uintptr_t{0x10000}));
#ifdef _WIN64
    EXPECT_FALSE(Uc_Is_IntResource(reinterpret_cast<const void*>(std::uintptr_t{0x200000000ull})));
#endif
    SetLastError(ERROR_FILE_NOT_FOUND);
    try {
        Uc_Win32Check(0);
        ADD_FAILURE() << "no exception";
    } catch (const classlib::EOSError& e) {
        EXPECT_EQ(e.ErrorCode(), std::uint32_t(ERROR_FILE_NOT_FOUND));
    }
    EXPECT_THROW(WideGetModuleFileName(reinterpret_cast<HMODULE>(std::uintptr_t{0x12340000})), classlib::EOSError);
}

TEST(WideCommandLine, ParsesExactLines) {
    const std::wstring line = L"prog.exe a \"b c\" d";
    EXPECT_EQ(WideParamStrOf(line, 1), L"a");
    EXPECT_EQ(WideParamStrOf(line, 2), L"b c");
    EXPECT_EQ(WideParamStrOf(line, 3), L"d");
    EXPECT_EQ(WideParamStrOf(line, 4), L"");
    EXPECT_EQ(WideParamStrOf(line, -1), L"");
    const std::pair<const wchar_t*, const wchar_t*> firstArgument[] = {
        {L"prog.exe \"\" x", L"x"},
        {L"prog.exe \"\"\"\" \"\"x", L"x"},
        {L"prog.exe a\"b c\"d e", L"ab cd"},
        {L"prog.exe \"unterminated text", L"unterminated text"},
        {L"prog.exe\t\x01" L"a\tb", L"a"},
        {L"prog.exe \"C:\\dir\\\" next", L"C:\\dir\\"},  // no escape character
        {L"prog.exe a\\\"b\"", L"a\\b"},
        {L"prog.exe \" \" z", L" "},
        {L"prog.exe \"", L""},
        {L"p \u00e9\u20ac\U0001F600", L"\u00e9\u20ac\U0001F600"}};
    for (const auto& [text, expected] : firstArgument) EXPECT_EQ(WideParamStrOf(text, 1), expected) << text;
    EXPECT_EQ(WideParamStrOf(L"prog.exe a\"b c\"d e", 2), L"e");
    EXPECT_EQ(WideParamStrOf(L"prog.exe \"unterminated text", 2), L"");
    EXPECT_EQ(WideParamStrOf(L"prog.exe\ta\r\nb", 2), L"b");
    EXPECT_EQ(WideParamStrOf(std::wstring(L"p x\0y", 5), 2), L"");  // the line ends at a zero
}

namespace {
// Starts the helper with an exact command line; returns the arguments it parsed.
std::vector<std::wstring> RunHelper(const wchar_t* application, std::wstring commandLine, const wchar_t* folder) {
    SECURITY_ATTRIBUTES sa{sizeof(sa), nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &sa, 0)) return {};
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = si.hStdError = writeEnd;
    PROCESS_INFORMATION pi{};
    BOOL started = CreateProcessW(application, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, folder, &si, &pi);
    CloseHandle(writeEnd);
    std::string output;
    char buffer[4096];
    DWORD got = 0;
    while (started && ReadFile(readEnd, buffer, sizeof(buffer), &got, nullptr) && got > 0) output.append(buffer, got);
    CloseHandle(readEnd);
    if (started) {
        WaitForSingleObject(pi.hProcess, 30000);
        CloseHandle(pi.hProcess);
        CloseHandle(pi.hThread);
    }
    std::vector<std::wstring> args;
    for (std::size_t pos = 0; pos < output.size();) {
        std::size_t eol = output.find('\n', pos);
        std::string line = output.substr(pos, eol - pos);
        pos = eol == std::string::npos ? output.size() : eol + 1;
        if (line == "end") return args;
        std::wstring arg;
        for (std::size_t i = 4; i + 4 <= line.size(); i += 4)
            arg.push_back(static_cast<wchar_t>(std::stoul(line.substr(i, 4), nullptr, 16)));
        args.push_back(arg);
    }
    return {};  // no "end": the helper failed
}
}  // namespace

TEST(WideCommandLine, RealProcessAndModulePath) {
    wchar_t module[MAX_PATH];
    EXPECT_EQ(WideParamStr(0), std::wstring(module, GetModuleFileNameW(nullptr, module, MAX_PATH)));
    EXPECT_EQ(WideParamStr(1), WideParamStrOf(GetCommandLineW(), 1));

    const std::wstring helper = ExeFolder() + L"unicode_text_args_helper.exe";
    std::vector<std::wstring> args =
        RunHelper(helper.c_str(), L"h a \"b c\" d\t\"\" x\"y z\"w \u00e9\u20ac \"open end", nullptr);
    EXPECT_EQ(args, (std::vector<std::wstring>{helper, L"a", L"b c", L"d", L"xy zw", L"\u00e9\u20ac", L"open end"}));
    // Started by its bare name from its folder: argument 0 is still the full path.
    args = RunHelper(nullptr, L"unicode_text_args_helper.exe one", ExeFolder().c_str());
    EXPECT_EQ(args, (std::vector<std::wstring>{helper, L"one"}));

}

TEST_F(AnsiPlatform, FilesAndFoldersInCodePage1252) {
    const std::wstring folder = MakeFolder(L"ansi_files");
    const std::wstring dir = folder + L"\\d\u00e9j\u00e0", file = dir + L"\\caf\u00e9 \u20ac.txt";
    ASSERT_TRUE(Uc_CreateDirectoryW(dir.c_str(), nullptr));
    HANDLE h = Uc_CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(h, "12345", 5, &written, nullptr);
    CloseHandle(h);
    EXPECT_EQ(GetFileAttributesW(file.c_str()), DWORD(FILE_ATTRIBUTE_ARCHIVE));  // the exact name, seen wide
    ASSERT_TRUE(Uc_SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY));
    const DWORD attributes = GetFileAttributesW(file.c_str());
    EXPECT_NE(attributes & FILE_ATTRIBUTE_READONLY, 0u);
    EXPECT_EQ(Uc_GetFileAttributesW(file.c_str()), attributes);
    EXPECT_EQ(Uc_GetFileAttributesW((dir + L"\\missing").c_str()), INVALID_FILE_ATTRIBUTES);

    WIN32_FIND_DATAW data;
    std::memset(&data, 0xCC, sizeof(data));
    HANDLE find = Uc_FindFirstFileW((dir + L"\\*").c_str(), &data);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    std::vector<std::wstring> names;
    do {
        names.push_back(data.cFileName);
        EXPECT_LT(wcslen(data.cAlternateFileName), 14u);
        if (names.back() == L"caf\u00e9 \u20ac.txt") {
            EXPECT_EQ(data.nFileSizeLow, 5u);
            EXPECT_EQ(data.dwFileAttributes, attributes);
        }
    } while (Uc_FindNextFileW(find, &data));
    FindClose(find);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::wstring>{L".", L"..", L"caf\u00e9 \u20ac.txt"}));

    // U+0416 has no 1252 form: the ANSI name holds "?", and no file of another name appears.
    h = Uc_CreateFileW((folder + L"\\\u0416").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    EXPECT_EQ(h, INVALID_HANDLE_VALUE);
    SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(file.c_str());
    RemoveDirectoryW(dir.c_str());
    EXPECT_TRUE(RemoveDirectoryW(folder.c_str()));  // nothing else was created
}

TEST_F(AnsiPlatform, FullPathAndModuleNameLengthRules) {
    const std::wstring folder = MakeFolder(L"ansi_path");
    wchar_t buffer[MAX_PATH];
    wchar_t* filePart = nullptr;
    const std::wstring name = folder + L"\\sub\\..\\caf\u00e9.avi", full = folder + L"\\caf\u00e9.avi";
    EXPECT_EQ(Uc_GetFullPathNameW(name.c_str(), MAX_PATH, buffer, &filePart), full.size());
    EXPECT_EQ(buffer, full);
    EXPECT_EQ(filePart, buffer + full.size() - 8);
    EXPECT_EQ(Uc_GetFullPathNameW((folder + L"\\sub\\").c_str(), MAX_PATH, buffer, &filePart),
              folder.size() + 5);
    EXPECT_EQ(filePart, nullptr);  // a folder name: no file part
    buffer[0] = L'x';
    filePart = buffer;
    EXPECT_EQ(Uc_GetFullPathNameW(name.c_str(), DWORD(full.size()), buffer, &filePart), full.size() + 1);
    EXPECT_EQ(buffer[0], L'\0');
    EXPECT_EQ(filePart, nullptr);

    wchar_t wide[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, wide, MAX_PATH);
    EXPECT_EQ(Uc_GetModuleFileNameW(nullptr, buffer, MAX_PATH), length);
    EXPECT_STREQ(buffer, wide);
    EXPECT_EQ(WideParamStr(0), wide);
    std::wmemset(buffer, L'#', MAX_PATH);
    EXPECT_EQ(Uc_GetModuleFileNameW(nullptr, buffer, length), length);  // too small: no terminator
    EXPECT_EQ(std::wstring(buffer, length), wide);
    EXPECT_EQ(buffer[length], L'#');
    RemoveDirectoryW(folder.c_str());
}

TEST_F(AnsiPlatform, LibraryWindowTextAndDrawText) {
    HMODULE module = Uc_LoadLibraryW(L"version.dll");
    EXPECT_NE(module, nullptr);
    FreeLibrary(module);
    HWND window = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    wchar_t text[64];
    EXPECT_TRUE(Uc_SetWindowTextW(window, L"Caf\u00e9 \u20ac"));
    GetWindowTextW(window, text, 64);
    EXPECT_STREQ(text, L"Caf\u00e9 \u20ac");
    DestroyWindow(window);

    HDC dc = CreateCompatibleDC(nullptr);
    RECT counted{0, 0, 0, 0}, whole{0, 0, 0, 0}, wideRect{0, 0, 0, 0};
    EXPECT_GT(Uc_DrawTextW(dc, L"caf\u00e9", 3, &counted, DT_CALCRECT | DT_SINGLELINE), 0);
    Uc_DrawTextW(dc, L"caf\u00e9", -1, &whole, DT_CALCRECT | DT_SINGLELINE);
    DrawTextW(dc, L"caf", -1, &wideRect, DT_CALCRECT | DT_SINGLELINE);
    EXPECT_EQ(counted.right, wideRect.right);
    EXPECT_GT(whole.right, counted.right);
    DeleteDC(dc);
}

TEST(WideWrappers, CharUpperOnBothPaths) {
    wchar_t text[] = L"caf\u00e9 \u0436";
    EXPECT_EQ(Uc_CharUpperW(text), text);
    EXPECT_STREQ(text, L"CAF\u00c9 \u0416");
    EXPECT_EQ(Uc_CharUpperW(AsInt(L'\u00e9')), AsInt(L'\u00c9'));

    ForcePlatformForTesting(false);
    wchar_t ansiText[] = L"caf\u00e9 \u0436 \u0101";
    wchar_t* result = Uc_CharUpperW(ansiText);
    wchar_t* single = Uc_CharUpperW(AsInt(L'\u00e9'));
    wchar_t* bestFit = Uc_CharUpperW(AsInt(L'\u0101'));  // best fit "a" in 1252: must stay itself
    wchar_t buffer[] = L"x\u00ff\u20acy";
    DWORD count = Uc_CharUpperBuffW(buffer, 3);
    ForcePlatformForTesting(true);
    EXPECT_EQ(result, ansiText);
    EXPECT_STREQ(ansiText, L"CAF\u00c9 \u0436 \u0101");  // no ANSI form: unchanged
    EXPECT_EQ(single, AsInt(L'\u00c9'));
    EXPECT_EQ(bestFit, AsInt(L'\u0101'));
    EXPECT_EQ(count, 3u);
    EXPECT_STREQ(buffer, L"X\u0178\u20acy");
}

#ifdef _WIN64
TEST_F(AnsiPlatform, CharUpperTakesPointersWithBits16To31ClearForText) {
    void* memory = nullptr;
    for (std::uintptr_t base : {0x200000000ull, 0x300000000ull, 0x7f0000000000ull})
        if ((memory = VirtualAlloc(reinterpret_cast<void*>(base), 4096, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE))) break;
    if (!memory) GTEST_SKIP() << "no free address with bits 16-31 clear";
    ASSERT_EQ(reinterpret_cast<std::uintptr_t>(memory) & 0xFFFF0000u, 0u);
    auto* text = static_cast<wchar_t*>(memory);
    std::wcscpy(text, L"abc\u00e9");
    EXPECT_EQ(Uc_CharUpperW(text), text);
    EXPECT_STREQ(text, L"ABC\u00c9");
    VirtualFree(memory, 0, MEM_RELEASE);
}
#endif

TEST_F(AnsiPlatform, StringTypesMatchTheWideCall) {
    const wchar_t text[] = L"a ,\u00e9\t1\u00a0";
    WORD ansiTypes[8], wideTypes[7];
    ansiTypes[7] = 0xBEEF;
    ASSERT_TRUE(Uc_GetStringTypeExW(LOCALE_USER_DEFAULT, CT_CTYPE1, text, 7, ansiTypes));
    ASSERT_TRUE(GetStringTypeExW(LOCALE_USER_DEFAULT, CT_CTYPE1, text, 7, wideTypes));
    for (int i = 0; i < 7; ++i) EXPECT_EQ(ansiTypes[i], wideTypes[i]) << "character " << i;
    EXPECT_EQ(ansiTypes[7], 0xBEEF);
    WORD one[2] = {0, 0xBEEF};  // count -1: up to the zero, no entry for the zero itself
    ASSERT_TRUE(Uc_GetStringTypeExW(LOCALE_USER_DEFAULT, CT_CTYPE1, L"x", -1, one));
    EXPECT_NE(one[0] & C1_LOWER, 0);
    EXPECT_EQ(one[1], 0xBEEF);
    EXPECT_TRUE(IsWideWordDelimiter(L';'));
    EXPECT_FALSE(IsWideWordDelimiter(L'\u00e9'));
}

TEST_F(AnsiPlatform, LoadStringReadsTheTableItself) {
    HMODULE module = GetModuleHandleW(nullptr);
    wchar_t buffer[64];
    const std::pair<UINT, const wchar_t*> cases[] = {
        {IDS_CAFE, L"caf\u00e9 \u20ac"}, {IDS_FIRST, L"first"}, {IDS_SIXTEEN, L"sixteen"}, {IDS_HUNDRED, L"hundred"},
        {UINT(-16), L"sixteen"},  // high 16 bits all set: negated
        {3, L""}, {4000, L""},     // an empty slot, a missing block
        {IDS_DAMAGED_FIRST, L"AB"}, {IDS_DAMAGED_FIRST + 3, L""}};  // a damaged block: only what it holds
    for (const auto& [id, expected] : cases) {
        std::wmemset(buffer, L'#', 64);
        EXPECT_EQ(Uc_LoadStringW(module, id, buffer, 64), int(wcslen(expected))) << id;
        if (*expected) {
            EXPECT_STREQ(buffer, expected) << id;
        }
    }
    buffer[1] = L'#';
    EXPECT_EQ(Uc_LoadStringW(module, IDS_CAFE, buffer, 1), 0);
    EXPECT_EQ(buffer[0], L'\0');
    EXPECT_EQ(buffer[1], L'#');
    EXPECT_EQ(Uc_LoadStringW(module, IDS_CAFE, nullptr, 10), 6);
    EXPECT_EQ(Uc_LoadStringW(module, IDS_SEVENTEEN, buffer, 4), 3);
    EXPECT_STREQ(buffer, L"sev");
    TResStringRec rec{&module, IDS_CAFE};
    EXPECT_EQ(WideLoadResString(&rec), L"caf\u00e9 \u20ac");
}

TEST(WideResources, ResourceStringRecords) {
    HMODULE module = GetModuleHandleW(nullptr);
    TResStringRec rec{&module, IDS_SEVENTEEN};
    EXPECT_EQ(WideLoadResString(&rec), L"seventeen in block two");
    EXPECT_EQ(WideLoadResString(nullptr), L"");
    static const char utf8[] = "\xEF\xBB\xBF" "caf\xC3\xA9 \xE2\x82\xAC", bomOnly[] = "\xEF\xBB\xBF", ansi[] = "caf\xE9";
    const std::pair<const char*, const wchar_t*> cases[] = {
        {utf8, L"caf\u00e9 \u20ac"}, {bomOnly, L"\u00ef\u00bb\u00bf"}, {ansi, L"caf\u00e9"}};
    for (const auto& [text, expected] : cases) {
        rec.Identifier = reinterpret_cast<std::uintptr_t>(text);
        EXPECT_EQ(WideLoadResString(&rec), expected);
    }
}
