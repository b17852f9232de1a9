// Text drawn at the widths its font's measures give, and laid out in lines by those measures: what
// a measure says fits is drawn within it. Wine's stand-in fonts place glyphs at fractional
// positions but report whole widths, so a line drawn plainly runs a few pixels past its measure.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace classlib {

// Draws Text at (X, Y) in the font selected into DC with each character at the advance that
// GetTextExtentExPoint measures for it; Options and Clip as ExtTextOut takes them.
void TextOutMeasured(HDC DC, int X, int Y, const std::string& Text, UINT Options = 0, const RECT* Clip = nullptr);
void TextOutMeasured(HDC DC, int X, int Y, const std::wstring& Text, UINT Options = 0, const RECT* Clip = nullptr);

// Text in lines as a word break lays it out: a line for each "\r\n", "\n" or "\r", and a line
// broken at the space before a word that would take it past MaxWidth (a word wider than MaxWidth
// stands alone on its line; no break for a MaxWidth of 0 or less). At least one line.
std::vector<std::wstring> WrappedLines(HDC DC, const std::wstring& Text, int MaxWidth);
// The room Lines take: the widest one's measured width, and the font's line height for each.
SIZE LinesExtent(HDC DC, const std::vector<std::wstring>& Lines);
// Draws Lines one under the other from (X, Y), each with TextOutMeasured.
void DrawLines(HDC DC, int X, int Y, const std::vector<std::wstring>& Lines, UINT Options = 0);

}  // namespace classlib
