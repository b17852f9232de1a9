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
