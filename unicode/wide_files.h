// Wide file functions: existence and attribute tests, directory search, folder creation, path
// splitting and joining, full paths, the file stream opened by wide name, system error texts,
// and the two exception classes of the wide-text units.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "classlib/exceptions.h"
#include "classlib/streams.h"

namespace unicode {

// User-facing failures of the wide-text units (an empty folder name, malformed UTF-7).
class EUcGeneralError : public classlib::Exception {
public:
    using classlib::Exception::Exception;
};
// Internal consistency failures.
class EUcInternalError : public classlib::Exception {
public:
    using classlib::Exception::Exception;
};

// Attribute bits.
constexpr std::int32_t faReadOnly = 0x01;
constexpr std::int32_t faHidden = 0x02;
constexpr std::int32_t faSysFile = 0x04;
constexpr std::int32_t faVolumeID = 0x08;
constexpr std::int32_t faDirectory = 0x10;
constexpr std::int32_t faArchive = 0x20;
constexpr std::int32_t faAnyFile = 0x3F;

struct TSearchRecW {
    std::int32_t Time = 0;  // DOS date-time of the last write, local time
    std::int64_t Size = 0;
    std::int32_t Attr = 0;
    std::wstring Name;
    std::int32_t ExcludeAttr = 0;
    HANDLE FindHandle = INVALID_HANDLE_VALUE;
    WIN32_FIND_DATAW FindData{};
};

// A handle stream opened by wide file name (Mode: classlib::fmCreate, or access | sharing).
// Raises classlib::EFCreateError "Cannot create file "%s". %s" or classlib::EFOpenError
// "Cannot open file "%s". %s". The destructor closes the handle.
class TUcFileStream : public classlib::THandleStream {
public:
    CLASSLIB_CLASS_NAME(TUcFileStream)
    TUcFileStream(const std::wstring& FileName, std::uint16_t Mode);
    ~TUcFileStream() override;
    TUcFileStream(const TUcFileStream&) = delete;
    TUcFileStream& operator=(const TUcFileStream&) = delete;
};

HANDLE WideFileCreate(const std::wstring& FileName);
HANDLE WideFileOpen(const std::wstring& FileName, std::uint16_t Mode);
std::int32_t WideFileAge(const std::wstring& FileName);
bool WideFileExists(const std::wstring& FileName);
std::int32_t WideFileGetAttr(const std::wstring& FileName);
bool WideDirectoryExists(const std::wstring& Name);
bool WideFileSetAttr(const std::wstring& FileName, std::int32_t Attr);
bool WideForceDirectories(const std::wstring& Dir);

std::int32_t WideFindFirst(const std::wstring& Path, std::int32_t Attr, TSearchRecW& F);
std::int32_t WideFindNext(TSearchRecW& F);
void WideFindClose(TSearchRecW& F);

std::wstring WideExpandFileName(const std::wstring& FileName);
int WideLastDelimiter(const std::wstring& Delimiters, const std::wstring& S);
bool WideIsDelimiter(const std::wstring& Delimiters, const std::wstring& S, int Index);
bool WideIsPathDelimiter(const std::wstring& S, int Index);
std::wstring WideIncludeTrailingBackslash(const std::wstring& S);
std::wstring WideExcludeTrailingBackslash(const std::wstring& S);
std::wstring WideExtractFilePath(const std::wstring& FileName);
std::wstring WideExtractFileName(const std::wstring& FileName);
std::wstring WideExtractFileExt(const std::wstring& FileName);
std::wstring WideChangeFileExt(const std::wstring& FileName, const std::wstring& Extension);
std::wstring WideExtractFileDrive(const std::wstring& FileName);

std::wstring WideSysErrorMessage(std::uint32_t ErrorCode);
std::wstring WideLibraryErrorMessage(const std::wstring& LibName, HMODULE Module, std::uint32_t ErrorCode);

}  // namespace unicode
