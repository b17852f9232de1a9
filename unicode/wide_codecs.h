// Wide text codecs and string utilities: code-page, UTF-8 and UTF-7 conversion, byte swapping,
// keyboard characters, zero-terminated wide text functions, upper-casing, pattern replacement,
// line-break normalisation, position search and splitting.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace unicode {

constexpr unsigned CP_UTF7_NUMBER = 65000;
constexpr unsigned CP_UTF8_NUMBER = 65001;

// 65000 UTF-7, 65001 UTF-8, any other number the platform's code-page conversion.
std::wstring StringToWideStringEx(const std::string& S, unsigned CodePage);
std::string WideStringToStringEx(const std::wstring& WS, unsigned CodePage);

std::string UTF8EncodeWide(const std::wstring& WS);
// Malformed input never empties the whole text: see the module's notes in wide_codecs.cpp.
std::wstring UTF8DecodeWide(const std::string& S);
std::string WideStringToUTF7(const std::wstring& WS);
// Raises unicode::EUcGeneralError "Invalid UTF7" for malformed input.
std::wstring UTF7ToWideString(const std::string& S);

// Swaps the bytes of every code unit in place, up to the first zero code unit.
void StrSwapByteOrder(wchar_t* Str);

// A character up to 255 converted from the current keyboard layout's code page; larger values
// unchanged; 0 when the conversion fails.
wchar_t KeyCharToWideChar(unsigned Key);
bool IsWideCharMappableToAnsi(wchar_t WC);

// Zero-terminated wide text. WStrAlloc'd blocks carry their byte size in 4 bytes before the text
// and must be released with WStrDispose.
wchar_t* WStrAlloc(std::uint32_t Size);
void WStrDispose(wchar_t* Str);
wchar_t* WStrMove(wchar_t* Dest, const wchar_t* Source, std::size_t Count);
wchar_t* WStrNew(const wchar_t* Str);
std::size_t WStrLen(const wchar_t* Str);
wchar_t* WStrEnd(wchar_t* Str);
wchar_t* WStrCopy(wchar_t* Dest, const wchar_t* Source);
wchar_t* WStrLCopy(wchar_t* Dest, const wchar_t* Source, std::size_t MaxLen);
wchar_t* WStrPCopy(wchar_t* Dest, const char* Source);
wchar_t* WStrPLCopy(wchar_t* Dest, const char* Source, std::size_t MaxLen);
wchar_t* WStrScan(wchar_t* Str, wchar_t Ch);
// Address of the last character inside S, nullptr for the empty string.
const wchar_t* WLastChar(const std::wstring& S);

std::wstring WideStrUpper(const std::wstring& S);
wchar_t WideLastChar(const std::wstring& S);
bool IsWideCharSpace(wchar_t C);
bool IsWideCharPunct(wchar_t C);
bool IsWideWordDelimiter(wchar_t C);

// Flags of WideStringReplace.
constexpr unsigned rfReplaceAll = 1;
constexpr unsigned rfIgnoreCase = 2;
std::wstring WideStringReplace(const std::wstring& S, const std::wstring& OldPattern, const std::wstring& NewPattern,
                               unsigned Flags, bool WholeWord);

// Line-break styles.
enum TTextLineBreakStyle : int { tlbsLF = 0, tlbsCRLF = 1, tlbsCR = 2 };
std::size_t WideAdjustLineBreaksLength(const std::wstring& S, TTextLineBreakStyle Style);
std::wstring WideAdjustLineBreaks(const std::wstring& S, TTextLineBreakStyle Style);

// 1-based position of SubStr in S ignoring case; 0 when absent.
int WideTextPos(const std::wstring& SubStr, const std::wstring& S);
// Token up to the next Delimiter; P moves past it (or to the terminating zero).
void WideExtractToken(const wchar_t*& P, wchar_t Delimiter, std::wstring& Token);
using TWideStringDynArray = std::vector<std::wstring>;
TWideStringDynArray WideSplitString(const wchar_t* P, wchar_t Delimiter);

}  // namespace unicode
