#include "classlib/exceptions.h"

#include <windows.h>

#include "classlib/conversions.h"
#include "classlib/format.h"

namespace classlib {

Exception::Exception(std::wstring message) : message_(std::move(message)), narrow_(WideToUtf8(message_)) {}

void Exception::SetMessage(std::wstring message) {
    message_ = std::move(message);
    narrow_ = WideToUtf8(message_);
}

EOSError::EOSError(std::wstring message, std::uint32_t errorCode)
    : Exception(std::move(message)), errorCode_(errorCode) {}

std::wstring SysErrorMessage(std::uint32_t errorCode) {
    wchar_t buffer[1024];
    DWORD len = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, errorCode,
                               0, buffer, static_cast<DWORD>(std::size(buffer)), nullptr);
    std::wstring text(buffer, len);
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ')) text.pop_back();
    return text;
}

void RaiseLastOSError(std::uint32_t errorCode) {
    if (errorCode != 0)
        throw EOSError(Format(L"System Error.  Code: %d.\r\n%s", {errorCode, SysErrorMessage(errorCode)}),
                       errorCode);
    throw EOSError(L"A call to an OS function failed", 0);
}

void Abort() { throw EAbort(L"Operation aborted"); }

void RaiseLastOSError() { RaiseLastOSError(GetLastError()); }

void Assert(bool condition, const std::wstring& message, const char* file, int line) {
    if (condition) return;
    throw EAssertionFailed(Format(L"%s (%s, line %d)", {message, std::string(file), line}));
}

}  // namespace classlib
