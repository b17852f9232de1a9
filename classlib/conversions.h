// Number and text conversions of the class library: ANSI/wide/UTF-8 transcoding with the
// runtime's default code page, integer and float parsing and printing, trimming and case.
#pragma once

#include <cstdint>
#include <string>

namespace classlib {

// The code page of the runtime's implicit ANSI/wide conversions. It starts as the thread's ANSI
// code page; the wide platform layer sets it at start so that one rule holds everywhere.
unsigned RuntimeCodePage();
void SetRuntimeCodePage(unsigned codePage);

std::wstring AnsiToWide(const std::string& text, unsigned codePage);
std::wstring AnsiToWide(const std::string& text);  // runtime code page
std::string WideToAnsi(const std::wstring& text, unsigned codePage);
std::string WideToAnsi(const std::wstring& text);  // runtime code page
// Plain platform UTF-8 (used for exception texts and diagnostics, not for stored data).
std::string WideToUtf8(const std::wstring& text);

std::wstring IntToStr(std::int64_t value);
std::wstring IntToHex(std::uint64_t value, int digits);

// Decimal or "$"/"0x" hexadecimal, optional sign, surrounding blanks refused; false on overflow.
bool TryStrToInt(const std::wstring& text, std::int32_t& value);
bool TryStrToInt64(const std::wstring& text, std::int64_t& value);
// Raises EConvertError "'%s' is not a valid integer value".
std::int32_t StrToInt(const std::wstring& text);
std::int64_t StrToInt64(const std::wstring& text);
std::int32_t StrToIntDef(const std::wstring& text, std::int32_t dflt);

// Accepts the given decimal separator (FormatSettings' by default), an optional exponent,
// surrounding blanks; false for anything else.
bool TryStrToFloat(const std::wstring& text, double& value, wchar_t decimalSeparator);
bool TryStrToFloat(const std::wstring& text, double& value);
// Raises EConvertError "'%s' is not a valid floating point value".
double StrToFloat(const std::wstring& text);

// Trim removes every character up to U+0020 at both ends (control characters included).
std::wstring Trim(const std::wstring& text);
std::wstring TrimLeft(const std::wstring& text);
std::wstring TrimRight(const std::wstring& text);

// ASCII-only case mapping, as the runtime's plain UpperCase/LowerCase.
std::wstring UpperCase(const std::wstring& text);
std::wstring LowerCase(const std::wstring& text);
// Locale case mapping and comparison (user's default locale).
std::wstring AnsiUpperCase(const std::wstring& text);
std::wstring AnsiLowerCase(const std::wstring& text);
int AnsiCompareText(const std::wstring& a, const std::wstring& b);
int AnsiCompareStr(const std::wstring& a, const std::wstring& b);
bool SameText(const std::wstring& a, const std::wstring& b);  // ASCII case-insensitive

}  // namespace classlib
