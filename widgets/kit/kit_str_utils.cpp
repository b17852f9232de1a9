#include "widgets/kit/kit_str_utils.h"

namespace widgets::kit {

namespace {

// Two characters go first, then one more each round, until the text with "..." fits.
template <typename Width>
std::string FitText(const std::string& Text, int MaxWidth, Width TextWidth) {
    if (TextWidth(Text) <= MaxWidth) return Text;
    size_t keep = Text.size();
    std::string result;
    for (size_t drop = 2;; drop = 1) {
        keep = keep > drop ? keep - drop : 0;
        result.assign(Text.data(), keep);
        result.append("...");
        if (keep == 0 || TextWidth(result) <= MaxWidth) return result;
    }
}

}  // namespace

std::string FitTextWithEllipsis(const std::string& Text, classlib::TCanvas* Canvas, int MaxWidth) {
    return FitText(Text, MaxWidth, [Canvas](const std::string& t) { return Canvas->TextWidth(t); });
}

std::string FitTextWithEllipsis(const std::string& Text, HDC DC, int MaxWidth) {
    return FitText(Text, MaxWidth, [DC](const std::string& t) {
        SIZE ext{};
        GetTextExtentPoint32A(DC, t.c_str(), static_cast<int>(t.size()), &ext);
        return static_cast<int>(ext.cx);
    });
}

namespace {

// Reads one item from Pos; empty when the text is used up.
std::wstring ReadItem(const std::wstring& t, size_t& pos) {
    for (;;) {
        while (pos < t.size() && t[pos] >= 1 && t[pos] <= 32) ++pos;
        if (pos + 1 < t.size() && t[pos] == L'"' && t[pos + 1] == L'"') {
            pos += 2;  // an empty quoted item counts as nothing
            continue;
        }
        break;
    }
    std::wstring item;
    while (pos < t.size() && t[pos] > 32) {
        if (t[pos] == L'"') {
            size_t end = t.find(L'"', pos + 1);
            if (end == std::wstring::npos) end = t.size();
            item.append(t, pos + 1, end - pos - 1);
            pos = end < t.size() ? end + 1 : end;
        } else {
            item += t[pos++];
        }
    }
    return item;
}

}  // namespace

int ItemCount(const std::wstring& Text) {
    size_t pos = 0;
    int n = 0;
    while (!ReadItem(Text, pos).empty()) ++n;
    return n;
}

std::wstring ItemAt(const std::wstring& Text, int Index) {
    size_t pos = 0;
    std::wstring item;
    for (int i = 0; i <= Index; ++i) {
        item = ReadItem(Text, pos);
        if (item.empty()) return item;
    }
    return item;
}

void SplitCommand(const std::wstring& Text, std::wstring& First, std::wstring& Rest) {
    size_t pos = 0;
    First = ReadItem(Text, pos);
    Rest.clear();
    for (std::wstring item = ReadItem(Text, pos); !item.empty(); item = ReadItem(Text, pos)) {
        if (!Rest.empty()) Rest += L' ';
        Rest += item.find(L' ') != std::wstring::npos ? L"\"" + item + L"\"" : item;
    }
}

std::wstring ReplaceAll(const std::wstring& Text, const std::wstring& Search, const std::wstring& Replacement) {
    if (Search.empty()) return Text;  // nothing to find: searching would never end
    std::wstring out;
    size_t pos = 0;
    for (size_t at = Text.find(Search); at != std::wstring::npos; at = Text.find(Search, pos)) {
        out.append(Text, pos, at - pos);
        out += Replacement;
        pos = at + Search.size();
    }
    out.append(Text, pos, std::wstring::npos);
    return out;
}

std::wstring RepeatChar(wchar_t C, int Count) { return Count < 1 ? std::wstring() : std::wstring(static_cast<size_t>(Count), C); }

bool ConsistsOf(const std::wstring& Text, const std::wstring& Chars) {
    return Text.find_first_not_of(Chars) == std::wstring::npos;
}

std::wstring NextToken(const std::wstring& Text, size_t& Pos, const std::wstring& Delimiters) {
    if (Pos >= Text.size()) {
        Pos = Text.size();
        return std::wstring();
    }
    size_t end = Text.find_first_of(Delimiters, Pos);
    if (end == std::wstring::npos) end = Text.size();
    std::wstring token = Text.substr(Pos, end - Pos);
    Pos = end < Text.size() ? end + 1 : end;
    return token;
}

}  // namespace widgets::kit
