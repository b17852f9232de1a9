// The wide platform layer: the platform flags and default code page fixed at start, one wrapper
// per wide system call with its ANSI fallback for non-Unicode platforms, the wide command line
// and wide resource strings.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace unicode {

// True on the NT platform. Set once at start; tests may force it (see ForcePlatformForTesting).
bool Win32PlatformIsUnicode();
// True for Windows XP (5.1) and later.
bool Win32PlatformIsXP();
// The code page of every ANSI/wide conversion: CP_THREAD_ACP (3) on NT 5.0 and later, else the
// ANSI code page of the thread locale.
unsigned DefaultSystemCodePage();

// Runs the start-up initialization (flags, code page; also hands the code page to the runtime's
// conversions). Idempotent; every function here calls it on first use.
void InitializeWidePlatform();

// Test seam: forces the platform flag (false takes every ANSI path) and recomputes the default
// code page by the rule above. Restore with ForcePlatformForTesting(true).
void ForcePlatformForTesting(bool isUnicode);

// The locale's default ANSI code page (LOCALE_IDEFAULTANSICODEPAGE); GetACP() when not a number.
unsigned LCIDToCodePage(LCID locale);

// True when the value is an integer resource identifier rather than a text pointer
// (no bit above bit 15 set; on x64 every bit of the pointer is tested).
bool Uc_Is_IntResource(const void* p);
bool Uc_Is_IntResource(std::uintptr_t value);

// Raises the platform error (classlib::EOSError) when Result is 0; else returns it.
DWORD Uc_Win32Check(DWORD Result);

// Wrappers: same arguments and results as the wide system functions.
BOOL Uc_SetWindowTextW(HWND hWnd, const wchar_t* lpString);
DWORD Uc_GetFullPathNameW(const wchar_t* lpFileName, DWORD nBufferLength, wchar_t* lpBuffer, wchar_t** lpFilePart);
HANDLE Uc_CreateFileW(const wchar_t* lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                      LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                      DWORD dwFlagsAndAttributes, HANDLE hTemplateFile);
HANDLE Uc_FindFirstFileW(const wchar_t* lpFileName, WIN32_FIND_DATAW* lpFindFileData);
BOOL Uc_FindNextFileW(HANDLE hFindFile, WIN32_FIND_DATAW* lpFindFileData);
DWORD Uc_GetFileAttributesW(const wchar_t* lpFileName);
BOOL Uc_SetFileAttributesW(const wchar_t* lpFileName, DWORD dwFileAttributes);
BOOL Uc_CreateDirectoryW(const wchar_t* lpPathName, LPSECURITY_ATTRIBUTES lpSecurityAttributes);
int Uc_DrawTextW(HDC hDC, const wchar_t* lpString, int nCount, RECT* lpRect, UINT uFormat);
DWORD Uc_GetModuleFileNameW(HMODULE hModule, wchar_t* lpFilename, DWORD nSize);
HMODULE Uc_LoadLibraryW(const wchar_t* lpLibFileName);
// A pointer argument is upper-cased in place and returned; an integer argument (one character in
// the low 16 bits) comes back upper-cased as an integer.
wchar_t* Uc_CharUpperW(wchar_t* lpsz);
DWORD Uc_CharUpperBuffW(wchar_t* lpsz, DWORD cchLength);
BOOL Uc_GetStringTypeExW(LCID Locale, DWORD dwInfoType, const wchar_t* lpSrcStr, int cchSrc, WORD* lpCharType);
int Uc_LoadStringW(HINSTANCE hInstance, UINT uID, wchar_t* lpBuffer, int nBufferMax);

// The module's full file name (260 characters at most); raises the platform error on failure.
std::wstring WideGetModuleFileName(HMODULE Module);

// Wide command-line argument Index: 0 is the program's full path; a missing argument (and any
// negative Index) gives the empty string.
std::wstring WideParamStr(int Index);
// The same parser over a given command line (Index >= 1; argument 0 of the line is the program
// as typed). Exposed so that exact command lines can be checked.
std::wstring WideParamStrOf(const std::wstring& CommandLine, int Index);

// A resource-string record: the module that holds the text and its identifier. An identifier of
// 65536 or more is the address of a zero-terminated ANSI text instead.
struct TResStringRec {
    HMODULE* Module;
    std::uintptr_t Identifier;
};

// The text of a resource string as wide text (empty for no record).
std::wstring WideLoadResString(const TResStringRec* ResStringRec);

}  // namespace unicode
