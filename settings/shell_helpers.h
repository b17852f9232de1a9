// Stateless helpers shared by the settings store and the panels: number parsing that never raises,
// file deletion, the user's standard folders, the clip browser's path, the readable Windows version,
// aspect-ratio fitting, and handing a file, document or mail to the shell.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <cstdint>
#include <functional>
#include <string>

namespace settings {

// --- Seams -------------------------------------------------------------------------------------

// The application's window, owner of the shell's windows and dialogs. The main window's layer sets
// it at start; until then (and in tests that set nothing) there is no owner window.
using TApplicationWindowProvider = std::function<HWND()>;
void SetApplicationWindowProvider(TApplicationWindowProvider provider);
HWND ApplicationWindow();

// The two shell calls, replaceable so that tests catch the actions instead of launching them.
// Arguments are those of ShellExecuteW and SHFileOperationW.
struct TShellCalls {
    std::function<HINSTANCE(HWND hwnd, const wchar_t* verb, const wchar_t* file, const wchar_t* parameters,
                            const wchar_t* directory, int showCmd)>
        Execute;
    std::function<int(SHFILEOPSTRUCTW* operation)> FileOperation;
};
// Installs the calls (an empty member keeps the system's function); returns the previous ones.
TShellCalls SetShellCalls(TShellCalls calls);
// Back to the system's ShellExecuteW and SHFileOperationW.
void ResetShellCalls();

// --- Parsing -----------------------------------------------------------------------------------

// Characters up to U+0020 trimmed at both ends, then a decimal integer with optional sign;
// anything else (or a value outside 32 bits) gives 0.
std::int32_t StrToIntTrim(const std::wstring& text);
// Trimmed likewise, then a number with the locale's decimal separator; anything else gives 0.0.
double StrToFloatTrim(const std::wstring& text);
// The last two characters of "00" + the decimal text: 7 -> "07", 123 -> "23", -5 -> "-5".
std::wstring IntToStr2(std::int32_t value);

// --- Files and the shell -----------------------------------------------------------------------

// Clears the file's attributes (read-only files go too) and deletes it; true when deleted.
bool ForceDeleteFile(const std::wstring& fileName);
// A name of this process's own for a file it writes beside File until it is done with it: File,
// ".", the process id and "." and Number, both in hexadecimal, then Suffix (".tmp").
std::wstring ProcessOwnName(const std::wstring& File, std::uint64_t Number, const std::wstring& Suffix);
// Whether the process ProcessId, which named a file Number, may still be at work on it (the file
// last written at Written).
using TOwnerRuns = std::function<bool(DWORD ProcessId, std::uint64_t Number, const FILETIME& Written)>;
// Hands to Remove each file of Folder named as ProcessOwnName names them, with the given Suffix and
// (when Base is not empty) the file name Base, whose process has ended since: killed on the way, it
// left the file behind. Own is never handed on, nor a file of a process that still runs or cannot be
// looked at (another copy at work), nor a folder or a read-only file. This process's own files
// count as left behind only when OwnAreLeftOvers (it does one such job at a time). Whether the
// process runs is OwnerRuns's answer when given; else a process that has ended, or that started
// after the file was last written (another one under a reused id), does not.
void RemoveLeftOvers(const std::wstring& Folder, const std::wstring& Base, const std::wstring& Suffix,
                     const std::wstring& Own, bool OwnAreLeftOvers,
                     const std::function<void(const std::wstring& File)>& Remove, const TOwnerRuns& OwnerRuns = nullptr);
// The shell's delete operation with undo (the recycle bin), silent and without confirmation,
// on the lower-cased name; true when the shell reports success.
bool MoveToRecycleBin(const std::wstring& fileName);
// Opens a new Explorer window with the file selected.
void ShowInExplorer(HWND parent, const std::wstring& fileName);
// Runs the shell's "open" verb on a document or address (one trailing NUL is dropped).
void ShellOpen(const std::wstring& target);
// Runs the shell's "open" verb on a program with its parameters, in a normal window.
void ShellOpenWith(const std::wstring& program, const std::wstring& parameters);
// The text's UTF-8 bytes with every byte but the unreserved ones (letters, digits, "-", ".", "_",
// "~") written as %XX: "a&b c" -> "a%26b%20c", CR LF -> "%0D%0A".
std::wstring PercentEncode(const std::wstring& text);
// Opens the mail composer on "mailto:" + address + "?subject=" + subject + "&body=" + body, subject
// and body percent-encoded: callers pass plain text, line breaks as CR LF.
void SendMailTo(const std::wstring& address, const std::wstring& subject, const std::wstring& body);

// --- Registry lookups (never raise) ------------------------------------------------------------

// "Personal" of the user's shell folders; "c:" when empty or unreadable.
std::wstring GetMyDocumentsDir();
// "My Pictures"; the documents folder when empty or unreadable.
std::wstring GetMyPicturesDir();
// "My Video"; the documents folder when empty or unreadable.
std::wstring GetMyVideoDir();
// The clip browser's "Exename"; empty when absent or unreadable.
std::wstring GetPelorinExePath();

// --- Windows version ---------------------------------------------------------------------------

// The parts of the operating system's version record that the readable text depends on.
struct TWindowsVersionRecord {
    DWORD MajorVersion = 0;
    DWORD MinorVersion = 0;
    DWORD BuildNumber = 0;
    DWORD PlatformId = 0;  // 0 Win32s, 1 Windows 9x, 2 Windows NT
    std::wstring CSDVersion;  // service-pack text
};

// The readable name of a version record, then " " + service pack + " - build " + build (low 16 bits).
std::wstring WindowsVersionText(const TWindowsVersionRecord& version);
// The same for the running system.
std::wstring GetWindowsVersionText();

// --- Aspect ratio ------------------------------------------------------------------------------

// Shrinks the width (too wide) or the height (too tall) so that W:H matches RatioW:RatioH.
// RatioW and RatioH must be positive.
void FitSizeToRatio(std::int32_t& width, std::int32_t& height, std::int32_t ratioW, std::int32_t ratioH);
// The largest rectangle of aspect RatioW:RatioH centred in R; a ratio term below 1 gives the empty
// rectangle at R's top-left corner.
RECT FitRectToRatio(std::int32_t ratioW, std::int32_t ratioH, const RECT& r);

}  // namespace settings
