// Notes on UTF-8: a malformed or truncated sequence decodes to one U+FFFD each and decoding goes on,
// so one bad byte never costs the rest of a text (a settings file is rewritten from what was read).
// A four-byte sequence decodes to a surrogate pair, and a valid pair encodes as one four-byte
// sequence. A lone surrogate is still written as three bytes and read back as itself, and a pair
// written as two three-byte sequences by older versions still decodes to the same pair.
#include "unicode/wide_codecs.h"

#include <windows.h>

#include <array>
#include <cstdlib>
#include <cstring>

#include "classlib/conversions.h"
#include "unicode/wide_files.h"
#include "unicode/wide_platform.h"

namespace unicode {

namespace {

// ---- UTF-7 tables, built as constants ----

constexpr char kBase64Chars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr char kDirectChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789'(),-./:?";
constexpr char kOptionalDirectChars[] = "!\"#$%&*;<=>@[]^_`{|}";
constexpr char kBlankChars[] = "\t\r\n ";

constexpr bool Contains(const char* set, int c) {
    for (; *set; ++set)
        if (static_cast<unsigned char>(*set) == c) return true;
    return false;
}

struct Utf7Tables {
    std::array<bool, 128> mustShiftSafe{};
    std::array<bool, 128> mustShiftOptional{};
    std::array<signed char, 128> base64Value{};
};

constexpr Utf7Tables MakeUtf7Tables() {
    Utf7Tables t{};
    for (int c = 0; c < 128; ++c) {
        const bool direct = Contains(kDirectChars, c) || Contains(kBlankChars, c);
        t.mustShiftSafe[c] = !direct;
        t.mustShiftOptional[c] = !direct && !Contains(kOptionalDirectChars, c);
        t.base64Value[c] = -1;
    }
    for (int i = 0; i < 64; ++i) t.base64Value[static_cast<unsigned char>(kBase64Chars[i])] = static_cast<signed char>(i);
    return t;
}

constexpr Utf7Tables kUtf7 = MakeUtf7Tables();
static_assert(kUtf7.base64Value['/'] == 63 && kUtf7.base64Value['-'] == -1);
static_assert(!kUtf7.mustShiftOptional['!'] && kUtf7.mustShiftSafe['!'] && kUtf7.mustShiftOptional['+']);

bool IsBase64Char(unsigned c) { return c < 128 && kUtf7.base64Value[c] >= 0; }

[[noreturn]] void InvalidUtf7() { throw EUcGeneralError(L"Invalid UTF7"); }

// ---- UTF-8 ----

constexpr wchar_t kReplacement = 0xFFFD;

bool IsContinuation(unsigned char b) { return (b & 0xC0) == 0x80; }

// Character type bits of one character under the thread locale; raises the platform error when
// the query fails.
WORD CharType1(wchar_t C) {
    WORD type = 0;
    Uc_Win32Check(static_cast<DWORD>(Uc_GetStringTypeExW(GetThreadLocale(), CT_CTYPE1, &C, 1, &type)));
    return type;
}

}  // namespace

std::wstring StringToWideStringEx(const std::string& S, unsigned CodePage) {
    if (CodePage == CP_UTF7_NUMBER) return UTF7ToWideString(S);
    if (CodePage == CP_UTF8_NUMBER) return UTF8DecodeWide(S);
    return classlib::AnsiToWide(S, CodePage);
}

std::string WideStringToStringEx(const std::wstring& WS, unsigned CodePage) {
    if (CodePage == CP_UTF7_NUMBER) return WideStringToUTF7(WS);
    if (CodePage == CP_UTF8_NUMBER) return UTF8EncodeWide(WS);
    return classlib::WideToAnsi(WS, CodePage);
}

std::string UTF8EncodeWide(const std::wstring& WS) {
    std::string out;
    out.reserve(WS.size() * 3);
    const std::size_t n = WS.size();
    for (std::size_t i = 0; i < n; ++i) {
        unsigned c = static_cast<unsigned>(WS[i]) & 0xFFFF;
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c >= 0xD800 && c <= 0xDBFF && i + 1 < n && (static_cast<unsigned>(WS[i + 1]) & 0xFC00) == 0xDC00) {
            unsigned cp = 0x10000 + ((c - 0xD800) << 10) + ((static_cast<unsigned>(WS[i + 1]) & 0xFFFF) - 0xDC00);
            ++i;
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            // Lone surrogates too: three bytes, read back as themselves.
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

std::wstring UTF8DecodeWide(const std::string& S) {
    std::wstring out;
    out.reserve(S.size());
    const std::size_t n = S.size();
    std::size_t i = 0;
    while (i < n) {
        const unsigned char lead = static_cast<unsigned char>(S[i]);
        if (lead < 0x80) {
            out.push_back(static_cast<wchar_t>(lead));
            ++i;
            continue;
        }
        std::size_t needed;
        unsigned value;
        unsigned minimum;
        if (lead >= 0xC2 && lead <= 0xDF) {
            needed = 1, value = lead & 0x1F, minimum = 0x80;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            needed = 2, value = lead & 0x0F, minimum = 0x800;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            needed = 3, value = lead & 0x07, minimum = 0x10000;
        } else {
            // A stray continuation byte, an overlong two-byte lead (C0, C1) or F5..FF.
            out.push_back(kReplacement);
            ++i;
            continue;
        }
        std::size_t j = i + 1;
        while (j < n && j - i - 1 < needed && IsContinuation(static_cast<unsigned char>(S[j]))) {
            value = (value << 6) | (static_cast<unsigned char>(S[j]) & 0x3F);
            ++j;
        }
        if (j - i - 1 < needed || value < minimum || value > 0x10FFFF) {
            // Truncated, overlong or out of range: one replacement for the bytes taken.
            out.push_back(kReplacement);
        } else if (value >= 0x10000) {
            value -= 0x10000;
            out.push_back(static_cast<wchar_t>(0xD800 + (value >> 10)));
            out.push_back(static_cast<wchar_t>(0xDC00 + (value & 0x3FF)));
        } else {
            out.push_back(static_cast<wchar_t>(value));
        }
        i = j;
    }
    return out;
}

std::string WideStringToUTF7(const std::wstring& WS) {
    std::string out;
    if (WS.empty()) return out;
    out.reserve(WS.size() * 7);
    bool inRun = false;
    std::uint32_t bitBuffer = 0;
    int bitCount = 0;
    auto closeRun = [&] {
        if (bitCount > 0) out.push_back(kBase64Chars[(bitBuffer << (6 - bitCount)) & 0x3F]);
        bitBuffer = 0;
        bitCount = 0;
        inRun = false;
    };
    for (std::size_t i = 0; i < WS.size(); ++i) {
        const unsigned r = static_cast<unsigned>(WS[i]) & 0xFFFF;
        const bool shift = r > 0x7F || kUtf7.mustShiftOptional[r];
        if (shift) {
            if (!inRun) {
                out.push_back('+');
                if (r == '+') {
                    out.push_back('-');
                    continue;
                }
                inRun = true;
            }
            bitBuffer = (bitBuffer << 16) | r;
            bitCount += 16;
            while (bitCount >= 6) {
                bitCount -= 6;
                out.push_back(kBase64Chars[(bitBuffer >> bitCount) & 0x3F]);
            }
            bitBuffer &= (1u << bitCount) - 1;
        } else {
            if (inRun) {
                closeRun();
                if (IsBase64Char(r) || r == '-') out.push_back('-');
            }
            out.push_back(static_cast<char>(r));
        }
    }
    if (inRun) closeRun();
    return out;
}

std::wstring UTF7ToWideString(const std::string& S) {
    std::wstring out;
    if (S.empty()) return out;
    out.reserve(S.size());
    const std::size_t n = S.size();
    std::size_t i = 0;
    while (i < n) {
        const unsigned char c = static_cast<unsigned char>(S[i]);
        if (c != '+') {
            if (c > 0x7F) InvalidUtf7();
            out.push_back(static_cast<wchar_t>(c));
            ++i;
            continue;
        }
        ++i;
        bool first = true;
        std::size_t written = 0;
        std::uint32_t bitBuffer = 0;
        int bitCount = 0;
        while (i < n && IsBase64Char(static_cast<unsigned char>(S[i]))) {
            bitBuffer = (bitBuffer << 6) | static_cast<unsigned>(kUtf7.base64Value[static_cast<unsigned char>(S[i])]);
            bitCount += 6;
            first = false;
            if (bitCount >= 16) {
                bitCount -= 16;
                out.push_back(static_cast<wchar_t>((bitBuffer >> bitCount) & 0xFFFF));
                ++written;
            }
            bitBuffer &= (1u << bitCount) - 1;
            ++i;
        }
        bool plusPair = false;
        if (i < n && (S[i] == '-' || S[i] == '+')) {
            if (S[i] == '-' && first) {
                out.push_back(L'+');
                plusPair = true;
            }
            ++i;
        }
        if (written == 0 && !plusPair) InvalidUtf7();
        if (bitBuffer != 0) InvalidUtf7();
        // One code unit per input byte at most.
        if (out.size() > n) throw EUcInternalError(L"Buffer overflow");
    }
    return out;
}

void StrSwapByteOrder(wchar_t* Str) {
    if (!Str) return;
    for (; *Str; ++Str) {
        const unsigned c = static_cast<unsigned>(*Str) & 0xFFFF;
        *Str = static_cast<wchar_t>(((c & 0xFF) << 8) | (c >> 8));
    }
}

wchar_t KeyCharToWideChar(unsigned Key) {
    if (Key > 255) return static_cast<wchar_t>(Key);
    const auto layout = reinterpret_cast<std::uintptr_t>(GetKeyboardLayout(0));
    const unsigned cp = LCIDToCodePage(static_cast<LCID>(layout & 0xFFFF));
    const char byte = static_cast<char>(Key);
    wchar_t result = 0;
    if (MultiByteToWideChar(cp, MB_USEGLYPHCHARS, &byte, 1, &result, 1) != 1) return 0;
    return result;
}

bool IsWideCharMappableToAnsi(wchar_t WC) {
    const unsigned cp = DefaultSystemCodePage();
    char bytes[8];
    BOOL usedDefault = FALSE;
    int n = WideCharToMultiByte(cp, 0, &WC, 1, bytes, sizeof(bytes), nullptr, &usedDefault);
    if (n <= 0 || usedDefault) return false;
    // A best-fit mapping (U+0101 to "a") reports no substitute but loses the character: only a
    // character that comes back unchanged is mappable.
    wchar_t back[4];
    return MultiByteToWideChar(cp, 0, bytes, n, back, 4) == 1 && back[0] == WC;
}

// ---- Zero-terminated wide text ----

wchar_t* WStrAlloc(std::uint32_t Size) {
    const std::uint32_t bytes = Size * 2 + 4;
    auto* block = static_cast<unsigned char*>(std::malloc(bytes));
    if (!block) throw std::bad_alloc();
    std::memcpy(block, &bytes, sizeof(bytes));
    return reinterpret_cast<wchar_t*>(block + 4);
}

void WStrDispose(wchar_t* Str) {
    if (Str) std::free(reinterpret_cast<unsigned char*>(Str) - 4);
}

wchar_t* WStrMove(wchar_t* Dest, const wchar_t* Source, std::size_t Count) {
    if (Count > 0) std::memmove(Dest, Source, Count * sizeof(wchar_t));
    return Dest;
}

wchar_t* WStrNew(const wchar_t* Str) {
    if (!Str) return nullptr;
    const std::size_t size = WStrLen(Str) + 1;
    return WStrMove(WStrAlloc(static_cast<std::uint32_t>(size)), Str, size);
}

std::size_t WStrLen(const wchar_t* Str) { return Str ? std::wcslen(Str) : 0; }

wchar_t* WStrEnd(wchar_t* Str) { return Str + WStrLen(Str); }

wchar_t* WStrCopy(wchar_t* Dest, const wchar_t* Source) { return WStrLCopy(Dest, Source, static_cast<std::size_t>(-1)); }

wchar_t* WStrLCopy(wchar_t* Dest, const wchar_t* Source, std::size_t MaxLen) {
    std::size_t i = 0;
    if (Source)
        for (; i < MaxLen && Source[i]; ++i) Dest[i] = Source[i];
    Dest[i] = L'\0';
    return Dest;
}

wchar_t* WStrPCopy(wchar_t* Dest, const char* Source) { return WStrPLCopy(Dest, Source, static_cast<std::size_t>(-1)); }

wchar_t* WStrPLCopy(wchar_t* Dest, const char* Source, std::size_t MaxLen) {
    const std::wstring wide = Source ? classlib::AnsiToWide(std::string(Source), DefaultSystemCodePage()) : std::wstring();
    return WStrLCopy(Dest, wide.c_str(), MaxLen);
}

wchar_t* WStrScan(wchar_t* Str, wchar_t Ch) {
    if (!Str) return nullptr;
    for (; *Str; ++Str)
        if (*Str == Ch) return Str;
    return nullptr;
}

const wchar_t* WLastChar(const std::wstring& S) { return S.empty() ? nullptr : &S.back(); }

// ---- Wide string utilities (reentrant: the overlay filter calls them on its streaming thread) ----

std::wstring WideStrUpper(const std::wstring& S) {
    std::wstring result = S;
    if (!result.empty()) Uc_CharUpperBuffW(result.data(), static_cast<DWORD>(result.size()));
    return result;
}

wchar_t WideLastChar(const std::wstring& S) { return S.empty() ? L'\0' : S.back(); }

bool IsWideCharSpace(wchar_t C) { return (CharType1(C) & C1_SPACE) != 0; }
bool IsWideCharPunct(wchar_t C) { return (CharType1(C) & C1_PUNCT) != 0; }

bool IsWideWordDelimiter(wchar_t C) {
    if (C == L'\0') return true;
    const WORD type = CharType1(C);
    return (type & (C1_SPACE | C1_PUNCT)) != 0;
}

std::wstring WideStringReplace(const std::wstring& S, const std::wstring& OldPattern, const std::wstring& NewPattern,
                               unsigned Flags, bool WholeWord) {
    if (OldPattern.empty()) return S;
    const bool ignoreCase = (Flags & rfIgnoreCase) != 0;
    const std::wstring search = ignoreCase ? WideStrUpper(S) : S;
    const std::wstring pattern = ignoreCase ? WideStrUpper(OldPattern) : OldPattern;
    const std::size_t n = S.size();
    const std::size_t len = pattern.size();
    std::wstring result;
    std::size_t pos = 0;  // start of the remaining source text (same offset in the search copy)
    while (pos < n) {
        const std::size_t p = search.find(pattern, pos);
        if (p == std::wstring::npos) break;
        if (WholeWord) {
            const wchar_t before = p > pos ? S[p - 1] : WideLastChar(result);
            const wchar_t after = p + len < n ? S[p + len] : L'\0';
            if (!IsWideWordDelimiter(before) || !IsWideWordDelimiter(after)) {
                result.append(S, pos, p + len - pos);
                pos = p + len;
                continue;
            }
        }
        result.append(S, pos, p - pos);
        result += NewPattern;
        pos = p + len;
        if ((Flags & rfReplaceAll) == 0) break;
    }
    if (pos < n) result.append(S, pos, std::wstring::npos);
    return result;
}

std::size_t WideAdjustLineBreaksLength(const std::wstring& S, TTextLineBreakStyle Style) {
    const std::size_t breakLength = Style == tlbsCRLF ? 2 : 1;
    std::size_t length = 0;
    const std::size_t n = S.size();
    for (std::size_t i = 0; i < n; ++i) {
        const wchar_t c = S[i];
        if (c == L'\r') {
            if (i + 1 < n && S[i + 1] == L'\n') ++i;
            length += breakLength;
        } else if (c == L'\n' || c == 0x2028) {
            length += breakLength;
        } else {
            ++length;
        }
    }
    return length;
}

std::wstring WideAdjustLineBreaks(const std::wstring& S, TTextLineBreakStyle Style) {
    const wchar_t* lineBreak = Style == tlbsCRLF ? L"\r\n" : (Style == tlbsCR ? L"\r" : L"\n");
    std::wstring result;
    result.reserve(WideAdjustLineBreaksLength(S, Style));
    const std::size_t n = S.size();
    for (std::size_t i = 0; i < n; ++i) {
        const wchar_t c = S[i];
        if (c == L'\r') {
            if (i + 1 < n && S[i + 1] == L'\n') ++i;
            result += lineBreak;
        } else if (c == L'\n' || c == 0x2028) {
            result += lineBreak;
        } else {
            result.push_back(c);
        }
    }
    return result;
}

int WideTextPos(const std::wstring& SubStr, const std::wstring& S) {
    if (SubStr.empty()) return 0;
    const std::size_t p = WideStrUpper(S).find(WideStrUpper(SubStr));
    return p == std::wstring::npos ? 0 : static_cast<int>(p) + 1;
}

void WideExtractToken(const wchar_t*& P, wchar_t Delimiter, std::wstring& Token) {
    Token.clear();
    if (!P) return;
    const wchar_t* start = P;
    while (*P && *P != Delimiter) ++P;
    Token.assign(start, static_cast<std::size_t>(P - start));
    if (*P == Delimiter && *P) ++P;
}

TWideStringDynArray WideSplitString(const wchar_t* P, wchar_t Delimiter) {
    TWideStringDynArray result;
    result.reserve(256);
    std::wstring token;
    for (;;) {
        WideExtractToken(P, Delimiter, token);
        if (token.empty()) break;
        result.push_back(token);
    }
    result.shrink_to_fit();
    return result;
}

}  // namespace unicode
