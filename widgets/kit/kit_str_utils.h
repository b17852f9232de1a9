// The kit's text routines: shortening with an ellipsis, command-line style items (file names in
// double quotes), replacing, repeating, character-set tests and tokens.
#pragma once

#include <windows.h>

#include <string>

#include "classlib/graphics.h"

namespace widgets::kit {

// The text, cut at its end with "..." appended until it fits MaxWidth on the canvas.
std::string FitTextWithEllipsis(const std::string& Text, classlib::TCanvas* Canvas, int MaxWidth);
// The same measured with the font selected into DC.
std::string FitTextWithEllipsis(const std::string& Text, HDC DC, int MaxWidth);

// Items of a command line: blanks and control characters separate them, double quotes group
// blanks into one item (the quotes are dropped).
int ItemCount(const std::wstring& Text);
// Item Index (from 0); empty past the last.
std::wstring ItemAt(const std::wstring& Text, int Index);
// The first item, and the others joined by blanks (quoted when they hold a blank).
void SplitCommand(const std::wstring& Text, std::wstring& First, std::wstring& Rest);

// Every occurrence, left to right; an empty Search leaves the text as it is.
std::wstring ReplaceAll(const std::wstring& Text, const std::wstring& Search, const std::wstring& Replacement);
std::wstring RepeatChar(wchar_t C, int Count);
bool ConsistsOf(const std::wstring& Text, const std::wstring& Chars);
// The text from Pos (0-based) to the next of Delimiters; Pos moves past that delimiter.
std::wstring NextToken(const std::wstring& Text, size_t& Pos, const std::wstring& Delimiters);
inline int MaxOf(int A, int B) { return A > B ? A : B; }
inline int MinOf(int A, int B) { return A < B ? A : B; }

}  // namespace widgets::kit
