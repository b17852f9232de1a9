// The class library's exception hierarchy: one wide message per exception, raised by the
// runtime, stream, list, filer and registry code and by everything built on them.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

namespace classlib {

// Base of every exception the system raises. The message is wide text; what() gives it in UTF-8.
class Exception : public std::exception {
public:
    explicit Exception(std::wstring message);
    const std::wstring& Message() const { return message_; }
    void SetMessage(std::wstring message);
    const char* what() const noexcept override { return narrow_.c_str(); }

private:
    std::wstring message_;
    std::string narrow_;
};

#define CLASSLIB_EXCEPTION(Name, Base)                                                    \
    class Name : public Base {                                                            \
    public:                                                                               \
        using Base::Base;                                                                 \
    }

// The silent exception: it ends an operation without any message.
CLASSLIB_EXCEPTION(EAbort, Exception);
CLASSLIB_EXCEPTION(EConvertError, Exception);
CLASSLIB_EXCEPTION(EListError, Exception);
CLASSLIB_EXCEPTION(EStringListError, Exception);
CLASSLIB_EXCEPTION(EComponentError, Exception);
CLASSLIB_EXCEPTION(EInvalidOperation, Exception);
CLASSLIB_EXCEPTION(EOutOfResources, Exception);  // the system refused a resource (a timer, a window)
CLASSLIB_EXCEPTION(EResNotFound, Exception);     // a resource the program expects is missing
CLASSLIB_EXCEPTION(EAssertionFailed, Exception);
CLASSLIB_EXCEPTION(EStreamError, Exception);
CLASSLIB_EXCEPTION(EFCreateError, EStreamError);
CLASSLIB_EXCEPTION(EFOpenError, EStreamError);
CLASSLIB_EXCEPTION(EFilerError, EStreamError);
CLASSLIB_EXCEPTION(EReadError, EFilerError);
CLASSLIB_EXCEPTION(EWriteError, EFilerError);
CLASSLIB_EXCEPTION(EClassNotFound, EFilerError);
CLASSLIB_EXCEPTION(EPropertyError, Exception);  // a published property the code expects is not declared
CLASSLIB_EXCEPTION(ERegistryException, Exception);

#undef CLASSLIB_EXCEPTION

// An operating-system failure with its error code.
class EOSError : public Exception {
public:
    EOSError(std::wstring message, std::uint32_t errorCode);
    std::uint32_t ErrorCode() const { return errorCode_; }

private:
    std::uint32_t errorCode_;
};

// Raises EAbort ("Operation aborted"), which the application passes over without a message.
[[noreturn]] void Abort();

// The system's own text for an error code (FormatMessageW), trailing line break removed; empty
// when the system knows no text.
std::wstring SysErrorMessage(std::uint32_t errorCode);

// Raises EOSError for the given code: "System Error.  Code: %d.\r\n%s" with the system's text,
// or "A call to an OS function failed" for code 0.
[[noreturn]] void RaiseLastOSError(std::uint32_t errorCode);
[[noreturn]] void RaiseLastOSError();

// Raises EAssertionFailed with "<message> (<file>, line <line>)" when the condition is false.
void Assert(bool condition, const std::wstring& message, const char* file, int line);

}  // namespace classlib

#define CLASSLIB_ASSERT(cond, msg) ::classlib::Assert((cond), (msg), __FILE__, __LINE__)
