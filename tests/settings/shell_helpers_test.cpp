// Shell and system helpers: parsing, aspect fitting, version text, folder lookups in the registry,
// file deletion, and the shell actions caught through the seam.
#include "settings/shell_helpers.h"

#include <gtest/gtest.h>

#include <climits>
#include <cwchar>
#include <vector>

#include "classlib/format.h"

namespace {

using settings::TWindowsVersionRecord;

// --- Parsing ---------------------------------------------------------------------------------

TEST(StrToIntTrim, TrimsControlCharactersAndRefusesAnythingElse) {
    EXPECT_EQ(12, settings::StrToIntTrim(L" \t 12\t  "));
    EXPECT_EQ(-5, settings::StrToIntTrim(L"\r\n-5\r\n"));
    EXPECT_EQ(7, settings::StrToIntTrim(L"+7"));
    EXPECT_EQ(INT_MAX, settings::StrToIntTrim(L"2147483647"));
    EXPECT_EQ(INT_MIN, settings::StrToIntTrim(L"-2147483648"));
    for (const wchar_t* bad : {L"12a", L"", L" \t ", L"-", L"1 2", L"0x10", L"$10", L"2147483648",
                               L"-2147483649", L"99999999999999999999999", L"1.5"})
        EXPECT_EQ(0, settings::StrToIntTrim(bad)) << bad;
}

TEST(StrToFloatTrim, UsesTheLocaleSeparatorAndNeverRaises) {
    auto& fs = classlib::FormatSettings();
    const wchar_t saved = fs.DecimalSeparator;
    fs.DecimalSeparator = L'.';
    EXPECT_DOUBLE_EQ(1.5, settings::StrToFloatTrim(L"\t 1.5 \t"));
    EXPECT_DOUBLE_EQ(-2500.0, settings::StrToFloatTrim(L"-2.5e3"));
    fs.DecimalSeparator = L',';
    EXPECT_DOUBLE_EQ(1.5, settings::StrToFloatTrim(L" 1,5 "));
    EXPECT_DOUBLE_EQ(0.0, settings::StrToFloatTrim(L"1.5"));
    fs.DecimalSeparator = saved;
    for (const wchar_t* bad : {L"", L"abc", L"1e400", L"-1e400", L"12a", L"1e"})
        EXPECT_DOUBLE_EQ(0.0, settings::StrToFloatTrim(bad)) << bad;
}

TEST(IntToStr2, KeepsTheLastTwoCharacters) {
    EXPECT_EQ(L"07", settings::IntToStr2(7));
    EXPECT_EQ(L"00", settings::IntToStr2(0));
    EXPECT_EQ(L"42", settings::IntToStr2(42));
    EXPECT_EQ(L"23", settings::IntToStr2(123));
    EXPECT_EQ(L"-5", settings::IntToStr2(-5));
    EXPECT_EQ(L"48", settings::IntToStr2(INT_MIN));
}

// --- Aspect ratio ----------------------------------------------------------------------------

TEST(FitSizeToRatio, ShrinksTheSideThatIsTooLong) {
    struct Case {
        int w, h, rw, rh, ew, eh;
    };
    for (const Case& c : {Case{720, 576, 4, 3, 720, 540}, Case{400, 400, 16, 9, 400, 225},
                          Case{1000, 300, 4, 3, 400, 300}, Case{640, 480, 4, 3, 640, 480},
                          Case{100, 100, 3, 2, 100, 66}, Case{100, 100, 2, 3, 66, 100},
                          // the products exceed 32 bits
                          Case{2000000000, 2000000000, 16, 9, 2000000000, 1125000000}}) {
        int w = c.w, h = c.h;
        settings::FitSizeToRatio(w, h, c.rw, c.rh);
        EXPECT_EQ(c.ew, w) << c.w << "x" << c.h << " " << c.rw << ":" << c.rh;
        EXPECT_EQ(c.eh, h) << c.w << "x" << c.h << " " << c.rw << ":" << c.rh;
    }
}

void ExpectRect(const RECT& expected, const RECT& actual) {
    EXPECT_EQ(expected.left, actual.left);
    EXPECT_EQ(expected.top, actual.top);
    EXPECT_EQ(expected.right, actual.right);
    EXPECT_EQ(expected.bottom, actual.bottom);
}

TEST(FitRectToRatio, CentresTheLargestFittingRectangle) {
    ExpectRect({0, 87, 400, 312}, settings::FitRectToRatio(16, 9, {0, 0, 400, 400}));
    ExpectRect({200, 0, 600, 300}, settings::FitRectToRatio(4, 3, {0, 0, 800, 300}));
    ExpectRect({10, 107, 410, 332}, settings::FitRectToRatio(16, 9, {10, 20, 410, 420}));
    ExpectRect({0, 0, 640, 480}, settings::FitRectToRatio(4, 3, {0, 0, 640, 480}));
    // a ratio term below 1: the empty rectangle at the top-left corner
    ExpectRect({10, 20, 10, 20}, settings::FitRectToRatio(0, 9, {10, 20, 410, 420}));
    ExpectRect({10, 20, 10, 20}, settings::FitRectToRatio(16, -1, {10, 20, 410, 420}));
    // an empty source stays empty where it is
    ExpectRect({5, 5, 5, 5}, settings::FitRectToRatio(4, 3, {5, 5, 5, 5}));
}

// --- Windows version -------------------------------------------------------------------------

TEST(WindowsVersionText, EveryRowOfTheTable) {
    struct Case {
        DWORD platform, major, minor;
        const wchar_t* sp;
        const wchar_t* expected;
    };
    const Case cases[] = {
        {0, 3, 10, L"", L"Windows 3.1  - build 1234"},
        {1, 4, 0, L" B", L"Windows 95 OSR 2  B - build 1234"},
        {1, 4, 0, L" c", L"Windows 95 OSR 2  c - build 1234"},
        {1, 4, 0, L" C", L"Windows 95 OSR 2  C - build 1234"},
        {1, 4, 0, L" b", L"Windows 95  b - build 1234"},
        {1, 4, 0, L"B", L"Windows 95 B - build 1234"},
        {1, 4, 10, L" A", L"Windows 98 Second Edition  A - build 1234"},
        {1, 4, 10, L" a", L"Windows 98 Second Edition  a - build 1234"},
        {1, 4, 10, L"", L"Windows 98  - build 1234"},
        {1, 4, 10, L" B", L"Windows 98  B - build 1234"},
        {1, 4, 90, L" ", L"Windows ME   - build 1234"},
        {1, 4, 3, L"", L"Windows 9X  - build 1234"},
        {1, 5, 0, L"", L"Unknown  - build 1234"},
        {2, 3, 51, L"", L"Windows NT 3.5  - build 1234"},
        {2, 4, 0, L"Service Pack 6", L"Windows NT 4 Service Pack 6 - build 1234"},
        {2, 5, 0, L"", L"Windows 2000  - build 1234"},
        {2, 5, 1, L"Service Pack 2", L"Windows XP Service Pack 2 - build 1234"},
        {2, 5, 2, L"", L"Windows Server 2003  - build 1234"},
        {2, 5, 3, L"", L"Windows NT ?  - build 1234"},
        {2, 6, 1, L"Service Pack 1", L"Windows NT ? Service Pack 1 - build 1234"},
        {2, 10, 0, L"", L"Windows NT ?  - build 1234"},
        {3, 4, 0, L"", L"Unknown  - build 1234"},
    };
    for (const Case& c : cases) {
        TWindowsVersionRecord v;
        v.PlatformId = c.platform;
        v.MajorVersion = c.major;
        v.MinorVersion = c.minor;
        v.BuildNumber = 1234;
        v.CSDVersion = c.sp;
        EXPECT_EQ(c.expected, settings::WindowsVersionText(v));
    }
    // Only the build number's low 16 bits count (9x keeps the version in the high ones).
    TWindowsVersionRecord xp{5, 1, (0x0501u << 16) | 2600u, 2, L"Service Pack 2"};
    EXPECT_EQ(L"Windows XP Service Pack 2 - build 2600", settings::WindowsVersionText(xp));
}

TEST(WindowsVersionText, RunningSystemEndsWithItsBuild) {
    const std::wstring text = settings::GetWindowsVersionText();
    const size_t at = text.rfind(L" - build ");
    ASSERT_NE(std::wstring::npos, at) << text;
    const std::wstring build = text.substr(at + 9);
    ASSERT_FALSE(build.empty());
    EXPECT_EQ(std::wstring::npos, build.find_first_not_of(L"0123456789")) << text;
    EXPECT_NE(0u, text.rfind(L"Unknown", 0)) << text;
}

// --- Registry lookups ------------------------------------------------------------------------

// Saves one value of a key of the current user and puts it back (or removes it) at the end.
class ValueGuard {
public:
    ValueGuard(const wchar_t* key, const wchar_t* name) : key_(key), name_(name) {
        DWORD size = 0;
        if (RegGetValueW(HKEY_CURRENT_USER, key, name, RRF_RT_ANY | RRF_NOEXPAND, &type_, nullptr, &size) != 0)
            return;
        data_.resize(size);
        saved_ = RegGetValueW(HKEY_CURRENT_USER, key, name, RRF_RT_ANY | RRF_NOEXPAND, &type_, data_.data(),
                              &size) == ERROR_SUCCESS;
        data_.resize(size);
    }
    ~ValueGuard() {
        if (saved_)
            RegSetKeyValueW(HKEY_CURRENT_USER, key_, name_, type_, data_.data(), static_cast<DWORD>(data_.size()));
        else
            RegDeleteKeyValueW(HKEY_CURRENT_USER, key_, name_);
    }
    ValueGuard(const ValueGuard&) = delete;
    ValueGuard& operator=(const ValueGuard&) = delete;

private:
    const wchar_t* key_;
    const wchar_t* name_;
    bool saved_ = false;
    DWORD type_ = 0;
    std::vector<BYTE> data_;
};

// Writes a value, creating its key when missing.
void SetText(const wchar_t* key, const wchar_t* name, const std::wstring& value, DWORD type = REG_SZ) {
    ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueW(HKEY_CURRENT_USER, key, name, type, value.c_str(),
                                             static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))));
}

void SetDword(const wchar_t* key, const wchar_t* name, DWORD value) {
    ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueW(HKEY_CURRENT_USER, key, name, REG_DWORD, &value, sizeof(value)));
}

void DeleteValue(const wchar_t* key, const wchar_t* name) { RegDeleteKeyValueW(HKEY_CURRENT_USER, key, name); }

bool KeyExists(const wchar_t* key) {
    HKEY k = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, key, 0, KEY_READ, &k) != ERROR_SUCCESS) return false;
    RegCloseKey(k);
    return true;
}

const wchar_t kShellFolders[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const wchar_t kMarbrecq[] = L"Software\\Marbrecq";
const wchar_t kPelorin[] = L"Software\\Marbrecq\\Pelorin";
// Outside the ANSI code page, so a single-byte read would mangle it.
const std::wstring kWideDocs = L"C:\\Users\\t\\Docs \u00e9t\u00e9 \u4e2d\u6587 \u0416";

TEST(FolderLookups, ReadWideTextAndFallBack) {
    ValueGuard personal(kShellFolders, L"Personal");
    ValueGuard pictures(kShellFolders, L"My Pictures");
    ValueGuard video(kShellFolders, L"My Video");

    SetText(kShellFolders, L"Personal", kWideDocs);
    SetText(kShellFolders, L"My Pictures", L"D:\\Pictures \u4e2d");
    SetText(kShellFolders, L"My Video", L"%USERPROFILE%\\Video", REG_EXPAND_SZ);
    EXPECT_EQ(kWideDocs, settings::GetMyDocumentsDir());
    EXPECT_EQ(L"D:\\Pictures \u4e2d", settings::GetMyPicturesDir());
    EXPECT_EQ(L"%USERPROFILE%\\Video", settings::GetMyVideoDir());  // as stored, not expanded

    // Empty, missing and non-text values fall back to the documents folder.
    SetText(kShellFolders, L"My Pictures", L"");
    DeleteValue(kShellFolders, L"My Video");
    EXPECT_EQ(kWideDocs, settings::GetMyPicturesDir());
    EXPECT_EQ(kWideDocs, settings::GetMyVideoDir());
    SetDword(kShellFolders, L"My Pictures", 42);
    SetDword(kShellFolders, L"My Video", 7);
    EXPECT_EQ(kWideDocs, settings::GetMyPicturesDir());
    EXPECT_EQ(kWideDocs, settings::GetMyVideoDir());

    // And the documents folder falls back to "c:".
    SetText(kShellFolders, L"Personal", L"");
    EXPECT_EQ(L"c:", settings::GetMyDocumentsDir());
    EXPECT_EQ(L"c:", settings::GetMyVideoDir());
    SetDword(kShellFolders, L"Personal", 1);
    EXPECT_EQ(L"c:", settings::GetMyDocumentsDir());
    DeleteValue(kShellFolders, L"Personal");
    EXPECT_EQ(L"c:", settings::GetMyPicturesDir());
}

TEST(FolderLookups, PelorinPathLeavesItsKeyBehind) {
    const bool hadMarbrecq = KeyExists(kMarbrecq);
    const bool hadPelorin = KeyExists(kPelorin);
    {
        ValueGuard exename(kPelorin, L"Exename");  // puts a user's own value back
        RegDeleteKeyW(HKEY_CURRENT_USER, kPelorin);
        ASSERT_FALSE(KeyExists(kPelorin));
        EXPECT_EQ(L"", settings::GetPelorinExePath());
        EXPECT_TRUE(KeyExists(kPelorin));

        const std::wstring path = L"C:\\Program Files\\Pelorin \u4e2d\\Pelorin.exe";
        SetText(kPelorin, L"Exename", path);
        EXPECT_EQ(path, settings::GetPelorinExePath());
        SetDword(kPelorin, L"Exename", 5);
        EXPECT_EQ(L"", settings::GetPelorinExePath());
    }
    if (!hadPelorin) RegDeleteKeyW(HKEY_CURRENT_USER, kPelorin);
    if (!hadMarbrecq) RegDeleteKeyW(HKEY_CURRENT_USER, kMarbrecq);
}

// --- Files -----------------------------------------------------------------------------------

// Files made in the system's temporary folder, removed at the end whatever their attributes.
class FileHelpers : public testing::Test {
protected:
    void TearDown() override {
        for (const auto& path : made_) {
            SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileW(path.c_str());
        }
    }
    std::wstring MakeFile(const std::wstring& name) {
        wchar_t base[MAX_PATH];
        GetTempPathW(MAX_PATH, base);
        const std::wstring path = base + std::to_wstring(GetCurrentProcessId()) + L" " + name;
        HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        EXPECT_NE(INVALID_HANDLE_VALUE, h);
        CloseHandle(h);
        made_.push_back(path);
        return path;
    }
    static bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }
    std::vector<std::wstring> made_;
};

TEST_F(FileHelpers, ForceDeleteFileRemovesReadOnlyFiles) {
    const std::wstring path = MakeFile(L"read only \u4e2d.avi");
    ASSERT_TRUE(SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY));
    ASSERT_FALSE(DeleteFileW(path.c_str()));  // a plain delete refuses it
    EXPECT_TRUE(settings::ForceDeleteFile(path));
    EXPECT_FALSE(Exists(path));
    EXPECT_FALSE(settings::ForceDeleteFile(path));  // already gone
}

TEST_F(FileHelpers, MoveToRecycleBinRemovesTheFile) {
    settings::ResetShellCalls();
    const std::wstring path = MakeFile(L"Clip.AVI");
    EXPECT_TRUE(settings::MoveToRecycleBin(path));
    EXPECT_FALSE(Exists(path));
}

// --- Shell actions through the seam ----------------------------------------------------------

struct ExecuteCall {
    HWND hwnd;
    std::wstring verb, file, parameters;
    bool parametersNull, directoryNull;
    int show;
};

class ShellActions : public testing::Test {
protected:
    void SetUp() override {
        settings::TShellCalls calls;
        calls.Execute = [this](HWND hwnd, const wchar_t* verb, const wchar_t* file, const wchar_t* parameters,
                               const wchar_t* directory, int show) {
            executed.push_back({hwnd, verb ? verb : L"(null)", file ? file : L"(null)", parameters ? parameters : L"",
                                parameters == nullptr, directory == nullptr, show});
            return reinterpret_cast<HINSTANCE>(static_cast<INT_PTR>(33));
        };
        calls.FileOperation = [this](SHFILEOPSTRUCTW* op) {
            operation = *op;
            // the list of names up to and including its closing double NUL
            const wchar_t* p = op->pFrom;
            size_t n = 0;
            while (p[n] != L'\0' || p[n + 1] != L'\0') ++n;
            from.assign(p, n + 2);
            return fileOperationResult;
        };
        settings::SetShellCalls(calls);
        settings::SetApplicationWindowProvider([] { return kAppWindow; });
    }
    void TearDown() override {
        settings::ResetShellCalls();
        settings::SetApplicationWindowProvider(nullptr);
    }
    static inline const HWND kAppWindow = reinterpret_cast<HWND>(static_cast<INT_PTR>(0x1234));
    std::vector<ExecuteCall> executed;
    SHFILEOPSTRUCTW operation{};
    std::wstring from;
    int fileOperationResult = 0;
};

TEST_F(ShellActions, MoveToRecycleBinAsksTheShellToDeleteWithUndo) {
    EXPECT_TRUE(settings::MoveToRecycleBin(L"C:\\Clips\\\u00c9T\u00c9 Clip.AVI"));
    EXPECT_EQ(kAppWindow, operation.hwnd);
    EXPECT_EQ(static_cast<UINT>(FO_DELETE), operation.wFunc);
    EXPECT_EQ(0x54, operation.fFlags);
    EXPECT_EQ(nullptr, operation.pTo);
    std::wstring expected = L"c:\\clips\\\u00e9t\u00e9 clip.avi";  // lower-cased, then the double NUL
    expected.append(2, L'\0');
    EXPECT_EQ(expected, from);

    fileOperationResult = 2;
    EXPECT_FALSE(settings::MoveToRecycleBin(L"C:\\missing.avi"));
}

TEST_F(ShellActions, ShowInExplorerSelectsTheFile) {
    const HWND parent = reinterpret_cast<HWND>(static_cast<INT_PTR>(0x99));
    settings::ShowInExplorer(parent, L"C:\\Clips\\clip.avi");
    settings::ShowInExplorer(parent, L"C:\\My Clips\\a, b.avi");
    ASSERT_EQ(2u, executed.size());
    EXPECT_EQ(parent, executed[0].hwnd);
    EXPECT_EQ(L"open", executed[0].verb);
    EXPECT_EQ(L"explorer.exe", executed[0].file);
    EXPECT_EQ(L"/n,/select,C:\\Clips\\clip.avi", executed[0].parameters);
    EXPECT_EQ(SW_SHOWNORMAL, executed[0].show);
    // Explorer splits at commas: such a name goes quoted
    EXPECT_EQ(L"/n,/select,\"C:\\My Clips\\a, b.avi\"", executed[1].parameters);
}

TEST_F(ShellActions, ShellOpenRunsTheOpenVerb) {
    settings::ShellOpen(L"http://example.org/");
    settings::ShellOpen(L"C:\\Clips\\readme.txt");
    ASSERT_EQ(2u, executed.size());
    EXPECT_EQ(kAppWindow, executed[0].hwnd);
    EXPECT_EQ(L"open", executed[0].verb);
    EXPECT_EQ(L"http://example.org/", executed[0].file);
    EXPECT_FALSE(executed[0].parametersNull);
    EXPECT_EQ(L"", executed[0].parameters);
    EXPECT_EQ(SW_SHOWNORMAL, executed[0].show);
    EXPECT_EQ(L"C:\\Clips\\readme.txt", executed[1].file);
}

TEST_F(ShellActions, SendMailToPercentEncodesSubjectAndBody) {
    settings::SendMailTo(L"me@example.org", L"Bug report #2", L"a&b=c 100%\r\nC:\\Films+\u00e9t\u00e9");
    ASSERT_EQ(1u, executed.size());
    EXPECT_EQ(kAppWindow, executed[0].hwnd);
    EXPECT_EQ(L"open", executed[0].verb);
    // Nothing of the texts can end the subject or the body: "&", "#", "%", "+", blanks, line breaks
    // and non-ASCII letters (as UTF-8) all arrive encoded, once.
    EXPECT_EQ(L"mailto:me@example.org?subject=Bug%20report%20%232"
              L"&body=a%26b%3Dc%20100%25%0D%0AC%3A%5CFilms%2B%C3%A9t%C3%A9",
              executed[0].file);
    EXPECT_EQ(L"Az09-._~", settings::PercentEncode(L"Az09-._~"));
    EXPECT_EQ(L"", settings::PercentEncode(L""));
}

TEST_F(ShellActions, NoOwnerWindowUntilTheApplicationSetsOne) {
    settings::SetApplicationWindowProvider(nullptr);
    settings::ShellOpen(L"x");
    settings::MoveToRecycleBin(L"C:\\x");
    ASSERT_EQ(1u, executed.size());
    EXPECT_EQ(nullptr, executed[0].hwnd);
    EXPECT_EQ(nullptr, operation.hwnd);
}

}  // namespace
