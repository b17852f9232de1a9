// Wide drawing and the wide clipboard: the canvas text calls every wide control draws with, the
// wide accelerator test of captions, and the clipboard's Unicode text.
#pragma once

#include <windows.h>

#include <string>

#include "classlib/clipboard.h"
#include "classlib/graphics.h"

namespace widgets {

// Draws Text at X, Y with the canvas's font, brush and text flags (right-to-left orientation:
// X moves right by the text width + 1); the pen ends at X + text width.
void WideCanvasTextOut(classlib::TCanvas* Canvas, int X, int Y, const std::wstring& Text);
// Draws Text at X, Y clipped to Rect, filling Rect with the brush unless it is clear.
void WideCanvasTextRect(classlib::TCanvas* Canvas, const RECT& Rect, int X, int Y, const std::wstring& Text);
// The size of Text in the canvas's font (0 x 0 for an empty text).
SIZE WideCanvasTextExtent(classlib::TCanvas* Canvas, const std::wstring& Text);
int WideCanvasTextWidth(classlib::TCanvas* Canvas, const std::wstring& Text);
int WideCanvasTextHeight(classlib::TCanvas* Canvas, const std::wstring& Text);

// The accelerator of a wide caption: the character after a single "&" ("&&" is a plain
// ampersand, the last marked character counts); 0 when there is none.
wchar_t WideCaptionAccel(const std::wstring& Caption);
// True when the typed key (a character message's WParam: a wide character, or an ANSI one of the
// keyboard's code page) is the caption's accelerator, compared without case.
bool IsWideAccel(WPARAM Key, const std::wstring& Caption);

// Draws (or with DT_CALCRECT measures) a wide caption; a disabled one embossed (button
// highlight offset by one, then button shadow).
void DrawWideCaption(HDC DC, const std::wstring& Text, RECT& Rect, UINT Flags, bool Enabled);

// The clipboard with wide text: writing puts the ANSI form (CF_TEXT) and the UTF-16 text
// (CF_UNICODETEXT) on it in one session; reading prefers the UTF-16 text.
class TUcClipboard : public classlib::TClipboard {
public:
    CLASSLIB_CLASS_NAME(TUcClipboard)
    std::wstring AsWideText();
    void SetAsWideText(const std::wstring& Value);
};

// The one wide clipboard (made on first use).
TUcClipboard* UcClipboard();

}  // namespace widgets
