// Text drawn and laid out by its font's measures.
#include "classlib/measured_text.h"

#include <algorithm>

namespace classlib {

namespace {

// The advance of each character of Text: the steps between its partial extents.
template <typename TChar, typename TMeasure>
std::vector<INT> Advances(HDC DC, const std::basic_string<TChar>& Text, TMeasure Measure) {
    const int count = static_cast<int>(Text.size());
    std::vector<INT> advances(Text.size());
    SIZE size{};
    if (!Measure(DC, Text.data(), count, 0, nullptr, advances.data(), &size)) return {};
    for (int i = count - 1; i > 0; --i) advances[static_cast<size_t>(i)] -= advances[static_cast<size_t>(i) - 1];
    return advances;
}

int MeasuredWidth(HDC DC, const std::wstring& Text) {
    SIZE size{};
    GetTextExtentPoint32W(DC, Text.data(), static_cast<int>(Text.size()), &size);
    return size.cx;
}

}  // namespace

void TextOutMeasured(HDC DC, int X, int Y, const std::string& Text, UINT Options, const RECT* Clip) {
    // An ANSI text's advances come a byte each: a double-byte character's second byte adds none.
    const std::vector<INT> advances = Advances(DC, Text, GetTextExtentExPointA);
    ExtTextOutA(DC, X, Y, Options, Clip, Text.data(), static_cast<UINT>(Text.size()),
                advances.empty() ? nullptr : advances.data());
}

void TextOutMeasured(HDC DC, int X, int Y, const std::wstring& Text, UINT Options, const RECT* Clip) {
    const std::vector<INT> advances = Advances(DC, Text, GetTextExtentExPointW);
    ExtTextOutW(DC, X, Y, Options, Clip, Text.data(), static_cast<UINT>(Text.size()),
                advances.empty() ? nullptr : advances.data());
}

std::vector<std::wstring> WrappedLines(HDC DC, const std::wstring& Text, int MaxWidth) {
    std::vector<std::wstring> lines;
    size_t start = 0;
    for (;;) {
        const size_t end = Text.find_first_of(L"\r\n", start);
        const std::wstring paragraph = Text.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
        if (MaxWidth <= 0 || MeasuredWidth(DC, paragraph) <= MaxWidth) {
            lines.push_back(paragraph);
        } else {
            std::wstring line;
            size_t from = 0;
            for (;;) {
                const size_t space = paragraph.find(L' ', from);
                const std::wstring word = paragraph.substr(from, space == std::wstring::npos ? std::wstring::npos : space - from);
                const std::wstring longer = from == 0 ? word : line + L' ' + word;
                if (from == 0 || MeasuredWidth(DC, longer) <= MaxWidth) {
                    line = longer;
                } else {
                    lines.push_back(line);
                    line = word;
                }
                if (space == std::wstring::npos) break;
                from = space + 1;
            }
            lines.push_back(line);
        }
        if (end == std::wstring::npos) break;
        start = end + (Text.compare(end, 2, L"\r\n") == 0 ? 2 : 1);
    }
    return lines;
}

SIZE LinesExtent(HDC DC, const std::vector<std::wstring>& Lines) {
    TEXTMETRICW metrics{};
    GetTextMetricsW(DC, &metrics);
    SIZE extent{0, metrics.tmHeight * static_cast<LONG>(Lines.size())};
    for (const std::wstring& line : Lines) extent.cx = std::max<LONG>(extent.cx, MeasuredWidth(DC, line));
    return extent;
}

void DrawLines(HDC DC, int X, int Y, const std::vector<std::wstring>& Lines, UINT Options) {
    TEXTMETRICW metrics{};
    GetTextMetricsW(DC, &metrics);
    for (const std::wstring& line : Lines) {
        TextOutMeasured(DC, X, Y, line, Options);
        Y += metrics.tmHeight;
    }
}

}  // namespace classlib
