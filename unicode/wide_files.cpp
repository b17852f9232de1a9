// Wide file functions and the wide-named file stream. Every name goes through the wide platform
// layer, which falls back to the ANSI calls on platforms without the wide ones.
#include "unicode/wide_files.h"

#include <vector>

#include "classlib/conversions.h"
#include "classlib/format.h"
#include "unicode/wide_platform.h"

namespace unicode {

namespace {

constexpr wchar_t kBackslash = L'\\';
constexpr wchar_t kColon = L':';

// Access and sharing bits of the class library's file modes, mapped to the system's flags.
bool ModeToCreateFlags(std::uint16_t mode, DWORD& access, DWORD& share)
{
    static constexpr DWORD kAccess[3] = {GENERIC_READ, GENERIC_WRITE, GENERIC_READ | GENERIC_WRITE};
    static constexpr DWORD kShare[5] = {0, 0, FILE_SHARE_READ, FILE_SHARE_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE};
    const unsigned a = mode & 3u;
    const unsigned s = (mode >> 4) & 0x0Fu;
    if (a > 2 || s > 4) return false;
    access = kAccess[a];
    share = kShare[s];
    return true;
}

std::int32_t FindDataToDosTime(const WIN32_FIND_DATAW& data, bool& ok)
{
    FILETIME local{};
    WORD dosDate = 0;
    WORD dosTime = 0;
    ok = FileTimeToLocalFileTime(&data.ftLastWriteTime, &local) && FileTimeToDosDateTime(&local, &dosDate, &dosTime);
    return static_cast<std::int32_t>((static_cast<std::uint32_t>(dosDate) << 16) | dosTime);
}

// Step 2 of the directory search: skips excluded entries and fills the record from the first
// entry left.
std::int32_t FindMatchingFile(TSearchRecW& F)
{
    while ((F.FindData.dwFileAttributes & static_cast<DWORD>(F.ExcludeAttr)) != 0) {
        if (!Uc_FindNextFileW(F.FindHandle, &F.FindData)) return static_cast<std::int32_t>(GetLastError());
    }
    bool ok = false;
    F.Time = FindDataToDosTime(F.FindData, ok);
    F.Size = (static_cast<std::int64_t>(F.FindData.nFileSizeHigh) << 32) | F.FindData.nFileSizeLow;
    F.Attr = static_cast<std::int32_t>(F.FindData.dwFileAttributes);
    F.Name = F.FindData.cFileName;
    return 0;
}

bool ForceDirectoriesFull(std::wstring dir)
{
    dir = WideExcludeTrailingBackslash(dir);
    if (dir.size() < 3 || WideDirectoryExists(dir) || WideExtractFilePath(dir) == dir) return true;
    return ForceDirectoriesFull(WideExtractFilePath(dir)) && Uc_CreateDirectoryW(dir.c_str(), nullptr) != FALSE;
}

}  // namespace

// ---- file stream -------------------------------------------------------------------------------

namespace {

HANDLE OpenStreamHandle(const std::wstring& FileName, std::uint16_t Mode)
{
    if (Mode == classlib::fmCreate) {
        HANDLE h = WideFileCreate(FileName);
        if (h == INVALID_HANDLE_VALUE) {
            const DWORD err = GetLastError();
            throw classlib::EFCreateError(classlib::Format(
                L"Cannot create file \"%s\". %s", {WideExpandFileName(FileName), WideSysErrorMessage(err)}));
        }
        return h;
    }
    HANDLE h = WideFileOpen(FileName, Mode);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD err = GetLastError();
        throw classlib::EFOpenError(classlib::Format(L"Cannot open file \"%s\". %s",
                                                     {WideExpandFileName(FileName), WideSysErrorMessage(err)}));
    }
    return h;
}

}  // namespace

TUcFileStream::TUcFileStream(const std::wstring& FileName, std::uint16_t Mode)
    : classlib::THandleStream(OpenStreamHandle(FileName, Mode))
{
}

TUcFileStream::~TUcFileStream()
{
    if (handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr) CloseHandle(handle_);
}

// ---- files and attributes ------------------------------------------------------------------

HANDLE WideFileCreate(const std::wstring& FileName)
{
    return Uc_CreateFileW(FileName.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
}

HANDLE WideFileOpen(const std::wstring& FileName, std::uint16_t Mode)
{
    DWORD access = 0;
    DWORD share = 0;
    if (!ModeToCreateFlags(Mode, access, share)) {
        // A sharing or access value outside the library's modes opens nothing.
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    return Uc_CreateFileW(FileName.c_str(), access, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

std::int32_t WideFileAge(const std::wstring& FileName)
{
    WIN32_FIND_DATAW data{};
    HANDLE h = Uc_FindFirstFileW(FileName.c_str(), &data);
    if (h == INVALID_HANDLE_VALUE) return -1;
    FindClose(h);
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return -1;
    bool ok = false;
    const std::int32_t t = FindDataToDosTime(data, ok);
    return ok ? t : -1;
}

bool WideFileExists(const std::wstring& FileName)
{
    return WideFileAge(FileName) != -1;
}

std::int32_t WideFileGetAttr(const std::wstring& FileName)
{
    return static_cast<std::int32_t>(Uc_GetFileAttributesW(FileName.c_str()));
}

bool WideDirectoryExists(const std::wstring& Name)
{
    const std::int32_t attr = WideFileGetAttr(Name);
    return attr != -1 && (attr & faDirectory) != 0;
}

bool WideFileSetAttr(const std::wstring& FileName, std::int32_t Attr)
{
    return Uc_SetFileAttributesW(FileName.c_str(), static_cast<DWORD>(Attr)) != FALSE;
}

bool WideForceDirectories(const std::wstring& Dir)
{
    if (Dir.empty()) throw EUcGeneralError(L"Unable to create directory");
    // A relative name is made full first: otherwise its last parent is the empty text, which
    // either raises or stops the recursion before anything is created.
    const std::wstring full = WideExpandFileName(Dir);
    if (full.empty()) return false;
    return ForceDirectoriesFull(full);
}

// ---- directory search ------------------------------------------------------------------------

std::int32_t WideFindFirst(const std::wstring& Path, std::int32_t Attr, TSearchRecW& F)
{
    constexpr std::int32_t kExcludable = faHidden | faSysFile | faVolumeID | faDirectory;
    F.ExcludeAttr = ~Attr & kExcludable;
    F.FindHandle = Uc_FindFirstFileW(Path.c_str(), &F.FindData);
    if (F.FindHandle == INVALID_HANDLE_VALUE) return static_cast<std::int32_t>(GetLastError());
    const std::int32_t result = FindMatchingFile(F);
    if (result != 0) {
        WideFindClose(F);
        // Closing the search must not replace the code the caller is given.
        SetLastError(static_cast<DWORD>(result));
    }
    return result;
}

std::int32_t WideFindNext(TSearchRecW& F)
{
    if (F.FindHandle == INVALID_HANDLE_VALUE) return ERROR_INVALID_HANDLE;
    if (!Uc_FindNextFileW(F.FindHandle, &F.FindData)) return static_cast<std::int32_t>(GetLastError());
    return FindMatchingFile(F);
}

void WideFindClose(TSearchRecW& F)
{
    if (F.FindHandle != INVALID_HANDLE_VALUE) {
        FindClose(F.FindHandle);
        F.FindHandle = INVALID_HANDLE_VALUE;
    }
}

// ---- paths ---------------------------------------------------------------------------------

std::wstring WideExpandFileName(const std::wstring& FileName)
{
    std::vector<wchar_t> buffer(MAX_PATH);
    wchar_t* filePart = nullptr;
    DWORD len = Uc_GetFullPathNameW(FileName.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), &filePart);
    if (len >= buffer.size()) {
        // Longer than the customary 260 characters: ask again with the size the system wants
        // rather than cutting the path.
        buffer.assign(len + 1, L'\0');
        len = Uc_GetFullPathNameW(FileName.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), &filePart);
        if (len >= buffer.size()) return std::wstring();
    }
    return std::wstring(buffer.data(), len);
}

int WideLastDelimiter(const std::wstring& Delimiters, const std::wstring& S)
{
    for (std::size_t i = S.size(); i > 0; --i) {
        const wchar_t c = S[i - 1];
        if (c != L'\0' && Delimiters.find(c) != std::wstring::npos) return static_cast<int>(i);
    }
    return 0;
}

bool WideIsDelimiter(const std::wstring& Delimiters, const std::wstring& S, int Index)
{
    if (Index < 1 || Index > static_cast<int>(S.size())) return false;
    const wchar_t c = S[static_cast<std::size_t>(Index - 1)];
    return c != L'\0' && Delimiters.find(c) != std::wstring::npos;
}

bool WideIsPathDelimiter(const std::wstring& S, int Index)
{
    return Index >= 1 && Index <= static_cast<int>(S.size()) && S[static_cast<std::size_t>(Index - 1)] == kBackslash;
}

std::wstring WideIncludeTrailingBackslash(const std::wstring& S)
{
    if (!S.empty() && S.back() == kBackslash) return S;
    return S + kBackslash;
}

std::wstring WideExcludeTrailingBackslash(const std::wstring& S)
{
    if (!S.empty() && S.back() == kBackslash) return S.substr(0, S.size() - 1);
    return S;
}

std::wstring WideExtractFilePath(const std::wstring& FileName)
{
    const int i = WideLastDelimiter(L"\\:", FileName);
    return FileName.substr(0, static_cast<std::size_t>(i));
}

std::wstring WideExtractFileName(const std::wstring& FileName)
{
    const int i = WideLastDelimiter(L"\\:", FileName);
    return FileName.substr(static_cast<std::size_t>(i));
}

std::wstring WideExtractFileExt(const std::wstring& FileName)
{
    const int i = WideLastDelimiter(L".\\:", FileName);
    if (i > 0 && FileName[static_cast<std::size_t>(i - 1)] == L'.') return FileName.substr(static_cast<std::size_t>(i - 1));
    return std::wstring();
}

std::wstring WideChangeFileExt(const std::wstring& FileName, const std::wstring& Extension)
{
    const int i = WideLastDelimiter(L".\\:", FileName);
    if (i > 0 && FileName[static_cast<std::size_t>(i - 1)] == L'.')
        return FileName.substr(0, static_cast<std::size_t>(i - 1)) + Extension;
    return FileName + Extension;
}

std::wstring WideExtractFileDrive(const std::wstring& FileName)
{
    const std::size_t n = FileName.size();
    if (n >= 2 && FileName[1] == kColon) return FileName.substr(0, 2);
    if (n >= 2 && FileName[0] == kBackslash && FileName[1] == kBackslash) {
        if (n == 2) return FileName;
        // 1-based scan from the third character for the backslash that ends the share name.
        std::size_t i = 3;
        int found = 0;
        while (i < n && found < 2) {
            if (FileName[i - 1] == kBackslash) ++found;
            if (found < 2) ++i;
        }
        if (FileName[i - 1] == kBackslash) --i;
        return FileName.substr(0, i);
    }
    return std::wstring();
}

// ---- error texts ---------------------------------------------------------------------------

std::wstring WideSysErrorMessage(std::uint32_t ErrorCode)
{
    return WideLibraryErrorMessage(L"system", nullptr, ErrorCode);
}

std::wstring WideLibraryErrorMessage(const std::wstring& LibName, HMODULE Module, std::uint32_t ErrorCode)
{
    DWORD flags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ARGUMENT_ARRAY;
    if (Module != nullptr) flags |= FORMAT_MESSAGE_FROM_HMODULE;
    std::wstring text;
    if (Win32PlatformIsUnicode()) {
        wchar_t buffer[256] = {};
        const DWORD len = FormatMessageW(flags, Module, ErrorCode, 0, buffer, 256, nullptr);
        text.assign(buffer, len < 256 ? len : 255);
    } else {
        char buffer[256] = {};
        const DWORD len = FormatMessageA(flags, Module, ErrorCode, 0, buffer, 256, nullptr);
        text = classlib::AnsiToWide(std::string(buffer, len < 256 ? len : 255), DefaultSystemCodePage());
    }
    if (classlib::Trim(text).empty())
        text = classlib::Format(L"Unspecified error (%d) from %s.", {ErrorCode, LibName});
    return text;
}

}  // namespace unicode
