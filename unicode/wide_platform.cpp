#include "unicode/wide_platform.h"

#include <atomic>
#include <cstring>
#include <string>
#include <vector>

#include "classlib/conversions.h"
#include "classlib/exceptions.h"
#include "unicode/wide_codecs.h"
#include "unicode/wide_files.h"

namespace unicode {

namespace {

// The platform state. It is filled once, on first use, by a function-local static (the order of
// static initialization across files is not fixed). The flag and the code page are atomics only
// because the test seam may change them while streaming threads read them.
struct PlatformState {
    std::atomic<bool> isUnicode{true};
    std::atomic<bool> isXP{true};
    std::atomic<unsigned> codePage{CP_THREAD_ACP};
    DWORD majorVersion = 0;

    PlatformState() {
        OSVERSIONINFOW info{};
        info.dwOSVersionInfoSize = sizeof(info);
        if (GetVersionExW(&info)) {
            majorVersion = info.dwMajorVersion;
            isUnicode.store(info.dwPlatformId == VER_PLATFORM_WIN32_NT);
            isXP.store((info.dwMajorVersion == 5 && info.dwMinorVersion >= 1) || info.dwMajorVersion > 5);
        } else {
            // Only the 9x family lacks the wide call.
            OSVERSIONINFOA infoA{};
            infoA.dwOSVersionInfoSize = sizeof(infoA);
            GetVersionExA(&infoA);
            majorVersion = infoA.dwMajorVersion;
            isUnicode.store(infoA.dwPlatformId == VER_PLATFORM_WIN32_NT);
            isXP.store((infoA.dwMajorVersion == 5 && infoA.dwMinorVersion >= 1) || infoA.dwMajorVersion > 5);
        }
        RecomputeCodePage();
    }

    void RecomputeCodePage() {
        unsigned cp = (isUnicode.load() && majorVersion >= 5) ? CP_THREAD_ACP : LCIDToCodePage(GetThreadLocale());
        codePage.store(cp);
        // The runtime's implicit conversions follow the same rule.
        classlib::SetRuntimeCodePage(cp);
    }
};

PlatformState& State() {
    static PlatformState state;
    return state;
}

// Wide text to ANSI in the default code page; nullptr stays "no text".
struct AnsiArg {
    explicit AnsiArg(const wchar_t* text) : present(text != nullptr) {
        if (present) value = classlib::WideToAnsi(std::wstring(text), DefaultSystemCodePage());
    }
    const char* get() const { return present ? value.c_str() : nullptr; }
    bool present;
    std::string value;
};

std::wstring Widen(const char* text, std::size_t length) {
    return classlib::AnsiToWide(std::string(text, length), DefaultSystemCodePage());
}

// Widens a zero-terminated ANSI field into a fixed wide field, always terminated.
template <std::size_t N, std::size_t M>
void WidenField(const char (&source)[M], wchar_t (&dest)[N]) {
    std::wstring wide = Widen(source, strnlen(source, M));
    std::size_t n = wide.size() < N - 1 ? wide.size() : N - 1;
    std::memcpy(dest, wide.data(), n * sizeof(wchar_t));
    dest[n] = L'\0';
}

void CopyFindData(const WIN32_FIND_DATAA& a, WIN32_FIND_DATAW& w) {
    w.dwFileAttributes = a.dwFileAttributes;
    w.ftCreationTime = a.ftCreationTime;
    w.ftLastAccessTime = a.ftLastAccessTime;
    w.ftLastWriteTime = a.ftLastWriteTime;
    w.nFileSizeHigh = a.nFileSizeHigh;
    w.nFileSizeLow = a.nFileSizeLow;
    w.dwReserved0 = a.dwReserved0;
    w.dwReserved1 = a.dwReserved1;
    WidenField(a.cFileName, w.cFileName);
    WidenField(a.cAlternateFileName, w.cAlternateFileName);
}

// The ANSI platform's upper case of one character: through the default code page when the
// character survives the trip there and back, else unchanged.
wchar_t AnsiUpperChar(wchar_t c) {
    if (!IsWideCharMappableToAnsi(c)) return c;
    const unsigned cp = DefaultSystemCodePage();
    char bytes[8];
    int n = WideCharToMultiByte(cp, 0, &c, 1, bytes, sizeof(bytes), nullptr, nullptr);
    if (n <= 0) return c;
    CharUpperBuffA(bytes, static_cast<DWORD>(n));
    wchar_t back[4];
    int m = MultiByteToWideChar(cp, 0, bytes, n, back, 4);
    return m == 1 ? back[0] : c;
}

// Argument parser of the wide command line: returns the argument starting at or after P and
// leaves P after the last character examined.
std::wstring ParseArgument(const wchar_t*& p, const wchar_t* end) {
    for (;;) {
        while (p < end && *p >= 1 && *p <= L' ') ++p;
        if (end - p >= 2 && p[0] == L'"' && p[1] == L'"') {
            p += 2;  // an empty quoted pair is no argument at all
            continue;
        }
        break;
    }
    std::wstring arg;
    while (p < end && *p > L' ') {
        if (*p == L'"') {
            ++p;
            while (p < end && *p != L'\0' && *p != L'"') arg.push_back(*p++);
            if (p < end && *p == L'"') ++p;
        } else {
            arg.push_back(*p++);
        }
    }
    return arg;
}

}  // namespace

void InitializeWidePlatform() { (void)State(); }

bool Win32PlatformIsUnicode() { return State().isUnicode.load(std::memory_order_relaxed); }
bool Win32PlatformIsXP() { return State().isXP.load(std::memory_order_relaxed); }
unsigned DefaultSystemCodePage() { return State().codePage.load(std::memory_order_relaxed); }

void ForcePlatformForTesting(bool isUnicode) {
    PlatformState& state = State();
    state.isUnicode.store(isUnicode);
    state.RecomputeCodePage();
}

unsigned LCIDToCodePage(LCID locale) {
    char text[6] = {};
    int n = GetLocaleInfoA(locale, LOCALE_IDEFAULTANSICODEPAGE, text, sizeof(text));
    if (n <= 1) return GetACP();
    unsigned value = 0;
    for (int i = 0; i < n - 1; ++i) {
        if (text[i] < '0' || text[i] > '9') return GetACP();
        value = value * 10 + static_cast<unsigned>(text[i] - '0');
    }
    return value;
}

bool Uc_Is_IntResource(std::uintptr_t value) { return (value >> 16) == 0; }
bool Uc_Is_IntResource(const void* p) { return Uc_Is_IntResource(reinterpret_cast<std::uintptr_t>(p)); }

DWORD Uc_Win32Check(DWORD Result) {
    if (Result == 0) classlib::RaiseLastOSError();
    return Result;
}

BOOL Uc_SetWindowTextW(HWND hWnd, const wchar_t* lpString) {
    if (Win32PlatformIsUnicode()) return SetWindowTextW(hWnd, lpString);
    AnsiArg text(lpString);
    return SetWindowTextA(hWnd, text.get());
}

DWORD Uc_GetFullPathNameW(const wchar_t* lpFileName, DWORD nBufferLength, wchar_t* lpBuffer, wchar_t** lpFilePart) {
    if (Win32PlatformIsUnicode()) return GetFullPathNameW(lpFileName, nBufferLength, lpBuffer, lpFilePart);
    if (lpFilePart) *lpFilePart = nullptr;
    AnsiArg name(lpFileName);
    std::vector<char> buffer(520);
    char* filePart = nullptr;
    DWORD n = GetFullPathNameA(name.get(), static_cast<DWORD>(buffer.size()), buffer.data(), &filePart);
    if (n >= buffer.size()) {
        // A path longer than the usual buffer: ask again with the size the system asked for.
        buffer.resize(n + 1);
        filePart = nullptr;
        n = GetFullPathNameA(name.get(), static_cast<DWORD>(buffer.size()), buffer.data(), &filePart);
        if (n >= buffer.size()) n = 0;
    }
    if (n == 0) return 0;
    std::wstring wide = Widen(buffer.data(), n);
    if (nBufferLength > wide.size()) {
        std::memcpy(lpBuffer, wide.c_str(), (wide.size() + 1) * sizeof(wchar_t));
        if (lpFilePart && filePart && filePart >= buffer.data() && filePart < buffer.data() + n)
            *lpFilePart = lpBuffer + Widen(buffer.data(), static_cast<std::size_t>(filePart - buffer.data())).size();
        return static_cast<DWORD>(wide.size());
    }
    if (nBufferLength > 0 && lpBuffer) lpBuffer[0] = L'\0';
    return static_cast<DWORD>(wide.size() + 1);
}

HANDLE Uc_CreateFileW(const wchar_t* lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                      LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                      DWORD dwFlagsAndAttributes, HANDLE hTemplateFile) {
    if (Win32PlatformIsUnicode())
        return CreateFileW(lpFileName, dwDesiredAccess, dwShareMode, lpSecurityAttributes, dwCreationDisposition,
                           dwFlagsAndAttributes, hTemplateFile);
    AnsiArg name(lpFileName);
    return CreateFileA(name.get(), dwDesiredAccess, dwShareMode, lpSecurityAttributes, dwCreationDisposition,
                       dwFlagsAndAttributes, hTemplateFile);
}

HANDLE Uc_FindFirstFileW(const wchar_t* lpFileName, WIN32_FIND_DATAW* lpFindFileData) {
    if (Win32PlatformIsUnicode()) return FindFirstFileW(lpFileName, lpFindFileData);
    AnsiArg name(lpFileName);
    WIN32_FIND_DATAA data{};
    HANDLE h = FindFirstFileA(name.get(), &data);
    if (h != INVALID_HANDLE_VALUE) CopyFindData(data, *lpFindFileData);
    return h;
}

BOOL Uc_FindNextFileW(HANDLE hFindFile, WIN32_FIND_DATAW* lpFindFileData) {
    if (Win32PlatformIsUnicode()) return FindNextFileW(hFindFile, lpFindFileData);
    WIN32_FIND_DATAA data{};
    BOOL ok = FindNextFileA(hFindFile, &data);
    if (ok) CopyFindData(data, *lpFindFileData);
    return ok;
}

DWORD Uc_GetFileAttributesW(const wchar_t* lpFileName) {
    if (Win32PlatformIsUnicode()) return GetFileAttributesW(lpFileName);
    AnsiArg name(lpFileName);
    return GetFileAttributesA(name.get());
}

BOOL Uc_SetFileAttributesW(const wchar_t* lpFileName, DWORD dwFileAttributes) {
    if (Win32PlatformIsUnicode()) return SetFileAttributesW(lpFileName, dwFileAttributes);
    AnsiArg name(lpFileName);
    return SetFileAttributesA(name.get(), dwFileAttributes);
}

BOOL Uc_CreateDirectoryW(const wchar_t* lpPathName, LPSECURITY_ATTRIBUTES lpSecurityAttributes) {
    if (Win32PlatformIsUnicode()) return CreateDirectoryW(lpPathName, lpSecurityAttributes);
    AnsiArg name(lpPathName);
    return CreateDirectoryA(name.get(), lpSecurityAttributes);
}

int Uc_DrawTextW(HDC hDC, const wchar_t* lpString, int nCount, RECT* lpRect, UINT uFormat) {
    if (Win32PlatformIsUnicode()) return DrawTextW(hDC, lpString, nCount, lpRect, uFormat);
    std::wstring text;
    if (lpString) text = nCount < 0 ? std::wstring(lpString) : std::wstring(lpString, static_cast<std::size_t>(nCount));
    std::string ansi = classlib::WideToAnsi(text, DefaultSystemCodePage());
    return DrawTextA(hDC, ansi.c_str(), -1, lpRect, uFormat);
}

DWORD Uc_GetModuleFileNameW(HMODULE hModule, wchar_t* lpFilename, DWORD nSize) {
    if (Win32PlatformIsUnicode()) return GetModuleFileNameW(hModule, lpFilename, nSize);
    char buffer[260];
    DWORD n = GetModuleFileNameA(hModule, buffer, sizeof(buffer));
    if (n == 0) return 0;
    std::wstring wide = Widen(buffer, strnlen(buffer, n));
    if (nSize > wide.size()) {
        std::memcpy(lpFilename, wide.c_str(), (wide.size() + 1) * sizeof(wchar_t));
        return static_cast<DWORD>(wide.size());
    }
    if (nSize > 0) std::memcpy(lpFilename, wide.data(), nSize * sizeof(wchar_t));
    return nSize;
}

HMODULE Uc_LoadLibraryW(const wchar_t* lpLibFileName) {
    if (Win32PlatformIsUnicode()) return LoadLibraryW(lpLibFileName);
    AnsiArg name(lpLibFileName);
    return LoadLibraryA(name.get());
}

wchar_t* Uc_CharUpperW(wchar_t* lpsz) {
    if (Win32PlatformIsUnicode()) return CharUpperW(lpsz);
    // Every bit above bit 15 decides between a text pointer and a character (x64 pointers may
    // have bits 16-31 clear).
    if (!Uc_Is_IntResource(lpsz)) {
        for (wchar_t* p = lpsz; *p; ++p) *p = AnsiUpperChar(*p);
        return lpsz;
    }
    wchar_t c = static_cast<wchar_t>(reinterpret_cast<std::uintptr_t>(lpsz) & 0xFFFF);
    return reinterpret_cast<wchar_t*>(static_cast<std::uintptr_t>(AnsiUpperChar(c)));
}

DWORD Uc_CharUpperBuffW(wchar_t* lpsz, DWORD cchLength) {
    if (Win32PlatformIsUnicode()) return CharUpperBuffW(lpsz, cchLength);
    for (DWORD i = 0; i < cchLength; ++i) lpsz[i] = AnsiUpperChar(lpsz[i]);
    return cchLength;
}

BOOL Uc_GetStringTypeExW(LCID Locale, DWORD dwInfoType, const wchar_t* lpSrcStr, int cchSrc, WORD* lpCharType) {
    if (Win32PlatformIsUnicode()) return GetStringTypeExW(Locale, dwInfoType, lpSrcStr, cchSrc, lpCharType);
    if (!lpSrcStr || !lpCharType) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::size_t count = cchSrc < 0 ? std::wcslen(lpSrcStr) : static_cast<std::size_t>(cchSrc);
    if (count == 0) return TRUE;
    // Convert character by character so that each wide character's type is read at the offset of
    // its first byte, and ask for exactly those bytes: the caller's array holds count entries.
    const unsigned cp = DefaultSystemCodePage();
    std::string ansi;
    std::vector<std::size_t> offsets(count);
    for (std::size_t i = 0; i < count; ++i) {
        offsets[i] = ansi.size();
        char bytes[8];
        int n = WideCharToMultiByte(cp, 0, &lpSrcStr[i], 1, bytes, sizeof(bytes), nullptr, nullptr);
        if (n <= 0) {
            bytes[0] = '?';
            n = 1;
        }
        ansi.append(bytes, static_cast<std::size_t>(n));
    }
    std::vector<WORD> types(ansi.size() + 1);
    if (!GetStringTypeExA(Locale, dwInfoType, ansi.data(), static_cast<int>(ansi.size()), types.data())) return FALSE;
    for (std::size_t i = 0; i < count; ++i) lpCharType[i] = types[offsets[i]];
    return TRUE;
}

int Uc_LoadStringW(HINSTANCE hInstance, UINT uID, wchar_t* lpBuffer, int nBufferMax) {
    if (Win32PlatformIsUnicode()) return LoadStringW(hInstance, uID, lpBuffer, nBufferMax);
    if ((uID >> 16) == 0xFFFF) uID = 0u - uID;
    const UINT block = ((uID >> 4) & 0xFFFF) + 1;
    const UINT entry = uID & 15;
    HRSRC info = FindResourceA(hInstance, MAKEINTRESOURCEA(block), MAKEINTRESOURCEA(6));
    if (!info) return 0;
    HGLOBAL handle = LoadResource(hInstance, info);
    if (!handle) return 0;
    const auto* p = static_cast<const WORD*>(LockResource(handle));
    if (!p) return 0;
    // Every step stays inside the resource: a damaged table gives what it really holds.
    const WORD* end = p + SizeofResource(hInstance, info) / sizeof(WORD);
    for (UINT i = 0; i < entry; ++i) {
        if (p >= end) return 0;
        std::size_t skip = 1u + *p;
        if (skip > static_cast<std::size_t>(end - p)) return 0;
        p += skip;
    }
    if (p >= end) return 0;
    std::size_t length = *p++;
    if (length > static_cast<std::size_t>(end - p)) length = static_cast<std::size_t>(end - p);
    if (!lpBuffer || nBufferMax < 1) return static_cast<int>(length);
    std::size_t n = length < static_cast<std::size_t>(nBufferMax - 1) ? length : static_cast<std::size_t>(nBufferMax - 1);
    std::memcpy(lpBuffer, p, n * sizeof(wchar_t));
    lpBuffer[n] = L'\0';
    return static_cast<int>(n);
}

std::wstring WideGetModuleFileName(HMODULE Module) {
    wchar_t buffer[MAX_PATH + 1] = {};
    Uc_Win32Check(Uc_GetModuleFileNameW(Module, buffer, MAX_PATH));
    return std::wstring(buffer, wcsnlen(buffer, MAX_PATH));
}

std::wstring WideParamStrOf(const std::wstring& CommandLine, int Index) {
    if (Index < 0) return {};
    const wchar_t* p = CommandLine.c_str();
    // The line ends at its first zero.
    const wchar_t* end = p + wcsnlen(p, CommandLine.size());
    std::wstring arg;
    for (int i = 0; i <= Index; ++i) {
        arg = ParseArgument(p, end);
        if (arg.empty()) break;
    }
    return arg;
}

std::wstring WideParamStr(int Index) {
    if (Index < 0) return {};
    if (Index == 0) return WideGetModuleFileName(nullptr);
    const wchar_t* line = GetCommandLineW();
    return line ? WideParamStrOf(line, Index) : std::wstring();
}

std::wstring WideLoadResString(const TResStringRec* ResStringRec) {
    if (!ResStringRec) return {};
    if (ResStringRec->Identifier < 0x10000) {
        // One module holds every resource of the program: the record's own.
        HMODULE module = ResStringRec->Module ? *ResStringRec->Module : nullptr;
        std::vector<wchar_t> buffer(4097);
        int n = Uc_LoadStringW(module, static_cast<UINT>(ResStringRec->Identifier), buffer.data(),
                               static_cast<int>(buffer.size()));
        if (n <= 0) return {};
        return std::wstring(buffer.data(), static_cast<std::size_t>(n));
    }
    const char* text = reinterpret_cast<const char*>(ResStringRec->Identifier);
    std::size_t length = std::strlen(text);
    if (length > 3 && static_cast<unsigned char>(text[0]) == 0xEF && static_cast<unsigned char>(text[1]) == 0xBB &&
        static_cast<unsigned char>(text[2]) == 0xBF)
        return UTF8DecodeWide(std::string(text + 3, length - 3));
    return Widen(text, length);
}

}  // namespace unicode
