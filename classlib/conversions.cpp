#include "classlib/conversions.h"

#include <windows.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cwchar>
#include <cstdlib>

#include "classlib/exceptions.h"
#include "classlib/format.h"

namespace classlib {

namespace {
// Set once at start by the wide platform layer; read from any thread afterwards.
std::atomic<unsigned> g_runtimeCodePage{CP_THREAD_ACP};
}  // namespace

unsigned RuntimeCodePage() { return g_runtimeCodePage.load(std::memory_order_relaxed); }
void SetRuntimeCodePage(unsigned codePage) { g_runtimeCodePage.store(codePage, std::memory_order_relaxed); }

std::wstring AnsiToWide(const std::string& text, unsigned codePage) {
    if (text.empty()) return {};
    int len = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (len <= 0) return {};
    std::wstring out(static_cast<size_t>(len), L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), out.data(), len);
    return out;
}

std::wstring AnsiToWide(const std::string& text) { return AnsiToWide(text, RuntimeCodePage()); }

std::string WideToAnsi(const std::wstring& text, unsigned codePage) {
    if (text.empty()) return {};
    int len = WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                  nullptr);
    if (len <= 0) return {};
    std::string out(static_cast<size_t>(len), '\0');
    WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), out.data(), len, nullptr, nullptr);
    return out;
}

std::string WideToAnsi(const std::wstring& text) { return WideToAnsi(text, RuntimeCodePage()); }

std::string WideToUtf8(const std::wstring& text) { return WideToAnsi(text, CP_UTF8); }

std::wstring IntToStr(std::int64_t value) { return std::to_wstring(value); }

std::wstring IntToHex(std::uint64_t value, int digits) {
    std::wstring out;
    do {
        out.insert(out.begin(), L"0123456789ABCDEF"[value & 15]);
        value >>= 4;
    } while (value != 0);
    while (static_cast<int>(out.size()) < digits) out.insert(out.begin(), L'0');
    return out;
}

bool TryStrToInt64(const std::wstring& text, std::int64_t& value) {
    size_t i = 0;
    const size_t n = text.size();
    bool negative = false;
    if (i < n && (text[i] == L'-' || text[i] == L'+')) {
        negative = text[i] == L'-';
        ++i;
    }
    unsigned base = 10;
    if (i < n && text[i] == L'$') {
        base = 16;
        ++i;
    } else if (i + 1 < n && text[i] == L'0' && (text[i + 1] == L'x' || text[i + 1] == L'X')) {
        base = 16;
        i += 2;
    }
    if (i >= n) return false;
    std::uint64_t acc = 0;
    const std::uint64_t limit = negative ? static_cast<std::uint64_t>(INT64_MAX) + 1 : (base == 16 ? UINT64_MAX : static_cast<std::uint64_t>(INT64_MAX));
    for (; i < n; ++i) {
        wchar_t c = text[i];
        unsigned d;
        if (c >= L'0' && c <= L'9')
            d = static_cast<unsigned>(c - L'0');
        else if (base == 16 && c >= L'a' && c <= L'f')
            d = static_cast<unsigned>(c - L'a' + 10);
        else if (base == 16 && c >= L'A' && c <= L'F')
            d = static_cast<unsigned>(c - L'A' + 10);
        else
            return false;
        if (acc > (limit - d) / base) return false;
        acc = acc * base + d;
    }
    value = negative ? static_cast<std::int64_t>(0 - acc) : static_cast<std::int64_t>(acc);
    return true;
}

bool TryStrToInt(const std::wstring& text, std::int32_t& value) {
    std::int64_t v = 0;
    if (!TryStrToInt64(text, v)) return false;
    bool hex = text.find_first_of(L"$xX") != std::wstring::npos;
    if (hex && v >= 0 && v <= static_cast<std::int64_t>(UINT32_MAX)) {
        value = static_cast<std::int32_t>(static_cast<std::uint32_t>(v));
        return true;
    }
    if (v < INT32_MIN || v > INT32_MAX) return false;
    value = static_cast<std::int32_t>(v);
    return true;
}

std::int32_t StrToInt(const std::wstring& text) {
    std::int32_t v = 0;
    if (!TryStrToInt(text, v)) throw EConvertError(L"'" + text + L"' is not a valid integer value");
    return v;
}

std::int64_t StrToInt64(const std::wstring& text) {
    std::int64_t v = 0;
    if (!TryStrToInt64(text, v)) throw EConvertError(L"'" + text + L"' is not a valid integer value");
    return v;
}

std::int32_t StrToIntDef(const std::wstring& text, std::int32_t dflt) {
    std::int32_t v = 0;
    return TryStrToInt(text, v) ? v : dflt;
}

bool TryStrToFloat(const std::wstring& text, double& value, wchar_t decimalSeparator) {
    std::wstring t = Trim(text);
    if (t.empty()) return false;
    std::string narrow;
    size_t i = 0;
    const size_t n = t.size();
    if (t[i] == L'+' || t[i] == L'-') narrow += static_cast<char>(t[i++]);
    bool digits = false;
    while (i < n && t[i] >= L'0' && t[i] <= L'9') {
        narrow += static_cast<char>(t[i++]);
        digits = true;
    }
    if (i < n && t[i] == decimalSeparator) {
        narrow += '.';
        ++i;
        while (i < n && t[i] >= L'0' && t[i] <= L'9') {
            narrow += static_cast<char>(t[i++]);
            digits = true;
        }
    }
    if (!digits) return false;
    if (i < n && (t[i] == L'e' || t[i] == L'E')) {
        narrow += 'e';
        ++i;
        if (i < n && (t[i] == L'+' || t[i] == L'-')) narrow += static_cast<char>(t[i++]);
        bool expDigits = false;
        while (i < n && t[i] >= L'0' && t[i] <= L'9') {
            narrow += static_cast<char>(t[i++]);
            expDigits = true;
        }
        if (!expDigits) return false;
    }
    if (i != n) return false;
    errno = 0;
    char* end = nullptr;
    double v = std::strtod(narrow.c_str(), &end);
    if (end == nullptr || *end != '\0' || !std::isfinite(v)) return false;
    value = v;
    return true;
}

bool TryStrToFloat(const std::wstring& text, double& value) {
    return TryStrToFloat(text, value, FormatSettings().DecimalSeparator);
}

double StrToFloat(const std::wstring& text) {
    double v = 0;
    if (!TryStrToFloat(text, v)) throw EConvertError(L"'" + text + L"' is not a valid floating point value");
    return v;
}

std::wstring TrimLeft(const std::wstring& text) {
    size_t i = 0;
    while (i < text.size() && text[i] <= L' ') ++i;
    return text.substr(i);
}

std::wstring TrimRight(const std::wstring& text) {
    size_t n = text.size();
    while (n > 0 && text[n - 1] <= L' ') --n;
    return text.substr(0, n);
}

std::wstring Trim(const std::wstring& text) { return TrimRight(TrimLeft(text)); }

std::wstring UpperCase(const std::wstring& text) {
    std::wstring out = text;
    for (auto& c : out)
        if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - 32);
    return out;
}

std::wstring LowerCase(const std::wstring& text) {
    std::wstring out = text;
    for (auto& c : out)
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c + 32);
    return out;
}

std::wstring AnsiUpperCase(const std::wstring& text) {
    std::wstring out = text;
    if (!out.empty()) CharUpperBuffW(out.data(), static_cast<DWORD>(out.size()));
    return out;
}

std::wstring AnsiLowerCase(const std::wstring& text) {
    std::wstring out = text;
    if (!out.empty()) CharLowerBuffW(out.data(), static_cast<DWORD>(out.size()));
    return out;
}

int AnsiCompareText(const std::wstring& a, const std::wstring& b) {
    return CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.data(), static_cast<int>(a.size()), b.data(),
                          static_cast<int>(b.size())) -
           2;
}

int AnsiCompareStr(const std::wstring& a, const std::wstring& b) {
    return CompareStringW(LOCALE_USER_DEFAULT, 0, a.data(), static_cast<int>(a.size()), b.data(),
                          static_cast<int>(b.size())) -
           2;
}

bool SameText(const std::wstring& a, const std::wstring& b) { return UpperCase(a) == UpperCase(b); }

}  // namespace classlib
