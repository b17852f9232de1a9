// Stateless helpers shared by the settings store and the panels.
#include "settings/shell_helpers.h"

#include <cmath>
#include <cwchar>
#include <cwctype>
#include <limits>
#include <utility>

#include "classlib/conversions.h"
#include "classlib/exceptions.h"
#include "unicode/wide_files.h"
#include "unicode/wide_platform.h"
#include "unicode/wide_registry.h"

namespace settings {

namespace {

TApplicationWindowProvider& WindowProvider() {
    static TApplicationWindowProvider provider;
    return provider;
}

TShellCalls SystemShellCalls() {
    TShellCalls calls;
    calls.Execute = [](HWND hwnd, const wchar_t* verb, const wchar_t* file, const wchar_t* parameters,
                       const wchar_t* directory, int showCmd) {
        return ShellExecuteW(hwnd, verb, file, parameters, directory, showCmd);
    };
    calls.FileOperation = [](SHFILEOPSTRUCTW* operation) { return SHFileOperationW(operation); };
    return calls;
}

TShellCalls& CurrentShellCalls() {
    static TShellCalls calls = SystemShellCalls();
    return calls;
}

const wchar_t kShellFoldersKey[] = L"\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const wchar_t kPelorinKey[] = L"\\Software\\Marbrecq\\Pelorin";

// A text value of a key of the current user, the key created when missing. The value is read as
// wide text, so folder names outside the ANSI code page survive. A missing key or value, or a value
// of a non-text type, gives the empty text: callers run while the settings are registered and rely
// on this never failing.
std::wstring ReadUserText(const wchar_t* key, const wchar_t* name) {
    try {
        unicode::TUcRegistry registry;
        registry.SetRootKey(HKEY_CURRENT_USER);
        if (!registry.OpenKey(key, true)) return std::wstring();
        return registry.ReadString(name);
    } catch (const classlib::Exception&) {
        return std::wstring();
    }
}

// Explorer splits its command line at commas; a name with a comma (or a blank) is quoted so that it
// reaches Explorer whole.
std::wstring ExplorerPathArgument(const std::wstring& fileName) {
    if (fileName.find_first_of(L" ,") == std::wstring::npos) return fileName;
    return L"\"" + fileName + L"\"";
}

}  // namespace

// --- Seams -------------------------------------------------------------------------------------

void SetApplicationWindowProvider(TApplicationWindowProvider provider) { WindowProvider() = std::move(provider); }

HWND ApplicationWindow() {
    const auto& provider = WindowProvider();
    return provider ? provider() : nullptr;
}

TShellCalls SetShellCalls(TShellCalls calls) {
    TShellCalls previous = CurrentShellCalls();
    TShellCalls system = SystemShellCalls();
    if (!calls.Execute) calls.Execute = system.Execute;
    if (!calls.FileOperation) calls.FileOperation = system.FileOperation;
    CurrentShellCalls() = std::move(calls);
    return previous;
}

void ResetShellCalls() { CurrentShellCalls() = SystemShellCalls(); }

// --- Parsing -----------------------------------------------------------------------------------

std::int32_t StrToIntTrim(const std::wstring& text) {
    const std::wstring t = classlib::Trim(text);
    size_t i = 0;
    bool negative = false;
    if (i < t.size() && (t[i] == L'+' || t[i] == L'-')) negative = t[i++] == L'-';
    if (i == t.size()) return 0;
    std::int64_t value = 0;
    const std::int64_t limit = negative ? -static_cast<std::int64_t>(std::numeric_limits<std::int32_t>::min())
                                        : std::numeric_limits<std::int32_t>::max();
    for (; i < t.size(); ++i) {
        if (t[i] < L'0' || t[i] > L'9') return 0;
        value = value * 10 + (t[i] - L'0');
        if (value > limit) return 0;
    }
    return static_cast<std::int32_t>(negative ? -value : value);
}

double StrToFloatTrim(const std::wstring& text) {
    double value = 0.0;
    if (!classlib::TryStrToFloat(classlib::Trim(text), value) || !std::isfinite(value)) return 0.0;
    return value;
}

std::wstring IntToStr2(std::int32_t value) {
    const std::wstring text = L"00" + classlib::IntToStr(value);
    return text.substr(text.size() - 2);
}

// --- Files and the shell -----------------------------------------------------------------------

bool ForceDeleteFile(const std::wstring& fileName) {
    unicode::Uc_SetFileAttributesW(fileName.c_str(), FILE_ATTRIBUTE_NORMAL);
    return DeleteFileW(fileName.c_str()) != FALSE;
}

namespace {

bool IsHexRun(const std::wstring& Text, size_t From, size_t To, size_t MaxDigits) {
    if (To <= From || To - From > MaxDigits) return false;
    for (size_t i = From; i < To; ++i)
        if (!std::iswxdigit(Text[i])) return false;
    return true;
}

bool SameName(const wchar_t* A, size_t ALength, const wchar_t* B, size_t BLength) {
    return CompareStringOrdinal(A, static_cast<int>(ALength), B, static_cast<int>(BLength), TRUE) == CSTR_EQUAL;
}

// Whether Name is as ProcessOwnName names them, with Suffix and (unless Base is empty) the file
// name Base, the case of the letters aside as file names go; ProcessId and Number receive its two
// numbers.
bool IsProcessOwnName(const std::wstring& Base, const std::wstring& Suffix, const std::wstring& Name,
                      DWORD& ProcessId, std::uint64_t& Number) {
    if (Name.size() <= Suffix.size() ||
        !SameName(Name.c_str() + Name.size() - Suffix.size(), Suffix.size(), Suffix.c_str(), Suffix.size()))
        return false;
    const size_t end = Name.size() - Suffix.size();
    const size_t numberDot = Name.rfind(L'.', end - 1);
    if (numberDot == std::wstring::npos || numberDot == 0) return false;
    const size_t idDot = Name.rfind(L'.', numberDot - 1);
    if (idDot == std::wstring::npos || idDot == 0 || !IsHexRun(Name, idDot + 1, numberDot, 8) ||
        !IsHexRun(Name, numberDot + 1, end, 16))
        return false;
    if (!Base.empty() && !SameName(Name.c_str(), idDot, Base.c_str(), Base.size())) return false;
    ProcessId = static_cast<DWORD>(std::wcstoul(Name.substr(idDot + 1, numberDot - idDot - 1).c_str(), nullptr, 16));
    Number = std::wcstoull(Name.substr(numberDot + 1, end - numberDot - 1).c_str(), nullptr, 16);
    return true;
}

// Whether the process ProcessId may still be at work on a file last written at Written. A process
// that has ended, or that started after the file was written (another one under a reused id), is
// not; one that cannot be looked at may be.
bool WriterMayRun(DWORD ProcessId, const FILETIME& Written) {
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, ProcessId);
    if (process == nullptr) return GetLastError() == ERROR_ACCESS_DENIED;
    bool runs = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    FILETIME created{}, exited{}, kernel{}, user{};
    if (runs && GetProcessTimes(process, &created, &exited, &kernel, &user) && CompareFileTime(&created, &Written) > 0)
        runs = false;
    CloseHandle(process);
    return runs;
}

}  // namespace

std::wstring ProcessOwnName(const std::wstring& File, std::uint64_t Number, const std::wstring& Suffix) {
    return File + L"." + classlib::IntToHex(GetCurrentProcessId(), 4) + L"." + classlib::IntToHex(Number, 6) +
           Suffix;
}

void RemoveLeftOvers(const std::wstring& Folder, const std::wstring& Base, const std::wstring& Suffix,
                     const std::wstring& Own, bool OwnAreLeftOvers,
                     const std::function<void(const std::wstring& File)>& Remove, const TOwnerRuns& OwnerRuns) {
    const std::wstring ownName = unicode::WideExtractFileName(Own);
    WIN32_FIND_DATAW found{};
    HANDLE search = unicode::Uc_FindFirstFileW((Folder + Base + L"*" + Suffix).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        const std::wstring file = found.cFileName;
        DWORD writer = 0;
        std::uint64_t number = 0;
        if ((found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) != 0 ||
            !IsProcessOwnName(Base, Suffix, file, writer, number) ||
            SameName(file.c_str(), file.size(), ownName.c_str(), ownName.size()))
            continue;
        if (!(OwnAreLeftOvers && writer == GetCurrentProcessId()) &&
            (OwnerRuns ? OwnerRuns(writer, number, found.ftLastWriteTime) : WriterMayRun(writer, found.ftLastWriteTime)))
            continue;
        try {
            Remove(Folder + file);
        } catch (...) {
        }
    } while (unicode::Uc_FindNextFileW(search, &found));
    FindClose(search);
}

bool MoveToRecycleBin(const std::wstring& fileName) {
    // The shell takes a list of names, each ended by a NUL, the list by a second NUL.
    std::wstring from = classlib::AnsiLowerCase(fileName);
    from.push_back(L'\0');
    from.push_back(L'\0');
    SHFILEOPSTRUCTW operation{};
    operation.hwnd = ApplicationWindow();
    operation.wFunc = FO_DELETE;
    operation.pFrom = from.c_str();
    operation.pTo = nullptr;
    operation.fFlags = FOF_ALLOWUNDO | FOF_NOCONFIRMATION | FOF_SILENT;
    return CurrentShellCalls().FileOperation(&operation) == 0;
}

void ShowInExplorer(HWND parent, const std::wstring& fileName) {
    const std::wstring parameters = L"/n,/select," + ExplorerPathArgument(fileName);
    CurrentShellCalls().Execute(parent, L"open", L"explorer.exe", parameters.c_str(), nullptr, SW_SHOWNORMAL);
}

void ShellOpen(const std::wstring& target) {
    std::wstring file = target;
    if (!file.empty() && file.back() == L'\0') file.pop_back();
    CurrentShellCalls().Execute(ApplicationWindow(), L"open", file.c_str(), L"", nullptr, SW_SHOWNORMAL);
}

void ShellOpenWith(const std::wstring& program, const std::wstring& parameters) {
    CurrentShellCalls().Execute(ApplicationWindow(), L"open", program.c_str(), parameters.c_str(), nullptr,
                                SW_SHOWNORMAL);
}

std::wstring PercentEncode(const std::wstring& text) {
    static const wchar_t kHex[] = L"0123456789ABCDEF";
    std::wstring encoded;
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                         nullptr);
    std::string utf8(size > 0 ? static_cast<size_t>(size) : 0, '\0');
    if (size > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), utf8.data(), size, nullptr, nullptr);
    for (const char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        const bool unreserved = (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
                                (byte >= '0' && byte <= '9') || byte == '-' || byte == '.' || byte == '_' || byte == '~';
        if (unreserved) {
            encoded.push_back(static_cast<wchar_t>(byte));
        } else {
            encoded.push_back(L'%');
            encoded.push_back(kHex[byte >> 4]);
            encoded.push_back(kHex[byte & 0x0F]);
        }
    }
    return encoded;
}

void SendMailTo(const std::wstring& address, const std::wstring& subject, const std::wstring& body) {
    // Encoded here and only here: a caller's "&", "#", "%" or line break can neither end the
    // subject nor cut the body short.
    const std::wstring url =
        L"mailto:" + address + L"?subject=" + PercentEncode(subject) + L"&body=" + PercentEncode(body);
    CurrentShellCalls().Execute(ApplicationWindow(), L"open", url.c_str(), L"", nullptr, SW_SHOWNORMAL);
}

// --- Registry lookups --------------------------------------------------------------------------

std::wstring GetMyDocumentsDir() {
    std::wstring dir = ReadUserText(kShellFoldersKey, L"Personal");
    return dir.empty() ? std::wstring(L"c:") : dir;
}

std::wstring GetMyPicturesDir() {
    std::wstring dir = ReadUserText(kShellFoldersKey, L"My Pictures");
    return dir.empty() ? GetMyDocumentsDir() : dir;
}

std::wstring GetMyVideoDir() {
    std::wstring dir = ReadUserText(kShellFoldersKey, L"My Video");
    return dir.empty() ? GetMyDocumentsDir() : dir;
}

std::wstring GetPelorinExePath() { return ReadUserText(kPelorinKey, L"Exename"); }

// --- Windows version ---------------------------------------------------------------------------

std::wstring WindowsVersionText(const TWindowsVersionRecord& version) {
    // Second character of the service-pack text (NUL when it is shorter).
    const wchar_t sp = version.CSDVersion.size() > 1 ? version.CSDVersion[1] : L'\0';
    std::wstring text = L"Unknown";
    switch (version.PlatformId) {
    case VER_PLATFORM_WIN32s:
        text = L"Windows 3.1";
        break;
    case VER_PLATFORM_WIN32_WINDOWS:
        if (version.MajorVersion == 4) {
            switch (version.MinorVersion) {
            case 0:
                // The system writes " B" or " C" for the second release.
                text = (sp == L'B' || sp == L'c' || sp == L'C') ? L"Windows 95 OSR 2" : L"Windows 95";
                break;
            case 10:
                // The system writes " A" for the second edition.
                text = (sp == L'a' || sp == L'A') ? L"Windows 98 Second Edition" : L"Windows 98";
                break;
            case 90:
                text = L"Windows ME";
                break;
            default:
                text = L"Windows 9X";
                break;
            }
        }
        break;
    case VER_PLATFORM_WIN32_NT:
        if (version.MajorVersion == 3)
            text = L"Windows NT 3.5";
        else if (version.MajorVersion == 4)
            text = L"Windows NT 4";
        else if (version.MajorVersion == 5 && version.MinorVersion == 0)
            text = L"Windows 2000";
        else if (version.MajorVersion == 5 && version.MinorVersion == 1)
            text = L"Windows XP";
        else if (version.MajorVersion == 5 && version.MinorVersion == 2)
            text = L"Windows Server 2003";
        else
            text = L"Windows NT ?";
        break;
    default:
        break;
    }
    return text + L" " + version.CSDVersion + L" - build " + classlib::IntToStr(version.BuildNumber & 0xFFFF);
}

std::wstring GetWindowsVersionText() {
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof(info);
    TWindowsVersionRecord version;
    if (GetVersionExW(&info)) {
        version.MajorVersion = info.dwMajorVersion;
        version.MinorVersion = info.dwMinorVersion;
        version.BuildNumber = info.dwBuildNumber;
        version.PlatformId = info.dwPlatformId;
        version.CSDVersion = info.szCSDVersion;
    } else {
        version.PlatformId = 0xFFFFFFFF;  // reads as "Unknown"
    }
    return WindowsVersionText(version);
}

// --- Aspect ratio ------------------------------------------------------------------------------

// The products are formed in 64 bits: a large size times a ratio term cannot overflow.
void FitSizeToRatio(std::int32_t& width, std::int32_t& height, std::int32_t ratioW, std::int32_t ratioH) {
    const std::int64_t a = static_cast<std::int64_t>(ratioW) * height;
    const std::int64_t b = static_cast<std::int64_t>(width) * ratioH;
    if (a < b)
        width = static_cast<std::int32_t>(a / ratioH);
    else if (a > b)
        height = static_cast<std::int32_t>(b / ratioW);
}

RECT FitRectToRatio(std::int32_t ratioW, std::int32_t ratioH, const RECT& r) {
    RECT result = r;
    if (ratioW < 1 || ratioH < 1) {
        result.right = r.left;
        result.bottom = r.top;
        return result;
    }
    const std::int64_t w = static_cast<std::int64_t>(r.right) - r.left;
    const std::int64_t h = static_cast<std::int64_t>(r.bottom) - r.top;
    const std::int64_t a = h * ratioW;
    const std::int64_t b = w * ratioH;
    if (a > b) {
        const std::int64_t fitted = b / ratioW;
        result.top = static_cast<LONG>(r.top + (h - fitted) / 2);
        result.bottom = static_cast<LONG>(result.top + fitted);
    } else {
        const std::int64_t fitted = a / ratioH;
        result.left = static_cast<LONG>(r.left + (w - fitted) / 2);
        result.right = static_cast<LONG>(result.left + fitted);
    }
    return result;
}

}  // namespace settings
