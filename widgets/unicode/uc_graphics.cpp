// Wide canvas text, wide accelerators and the wide clipboard.
#include "widgets/unicode/uc_graphics.h"

#include <cstring>
#include <vector>

#include "classlib/conversions.h"
#include "unicode/wide_platform.h"

namespace widgets {

namespace {

// Right-to-left text orientation of the canvas's DC.
bool RightToLeft(HDC DC) { return (GetTextAlign(DC) & TA_RTLREADING) != 0; }

}  // namespace

SIZE WideCanvasTextExtent(classlib::TCanvas* Canvas, const std::wstring& Text) {
    SIZE size{0, 0};
    if (Text.empty()) return size;
    HDC dc = Canvas->TextHandle(false);
    if (!GetTextExtentPoint32W(dc, Text.c_str(), static_cast<int>(Text.size()), &size)) size = SIZE{0, 0};
    return size;
}

int WideCanvasTextWidth(classlib::TCanvas* Canvas, const std::wstring& Text) {
    return WideCanvasTextExtent(Canvas, Text).cx;
}

int WideCanvasTextHeight(classlib::TCanvas* Canvas, const std::wstring& Text) {
    return WideCanvasTextExtent(Canvas, Text).cy;
}

void WideCanvasTextOut(classlib::TCanvas* Canvas, int X, int Y, const std::wstring& Text) {
    HDC dc = Canvas->TextHandle();
    int width = WideCanvasTextWidth(Canvas, Text);
    if (RightToLeft(dc)) X += width + 1;
    ExtTextOutW(dc, X, Y, static_cast<UINT>(Canvas->TextFlags()), nullptr, Text.c_str(),
                static_cast<UINT>(Text.size()), nullptr);
    MoveToEx(dc, X + width, Y, nullptr);
}

void WideCanvasTextRect(classlib::TCanvas* Canvas, const RECT& Rect, int X, int Y, const std::wstring& Text) {
    HDC dc = Canvas->TextHandle();
    UINT options = static_cast<UINT>(Canvas->TextFlags()) | ETO_CLIPPED;
    if (Canvas->Brush()->Style() != classlib::TBrushStyle::bsClear) options |= ETO_OPAQUE;
    if ((Canvas->TextFlags() & ETO_RTLREADING) != 0 && RightToLeft(dc)) X += WideCanvasTextWidth(Canvas, Text) + 1;
    ExtTextOutW(dc, X, Y, options, &Rect, Text.c_str(), static_cast<UINT>(Text.size()), nullptr);
}

void DrawWideCaption(HDC DC, const std::wstring& Text, RECT& Rect, UINT Flags, bool Enabled) {
    int mode = SetBkMode(DC, TRANSPARENT);
    if ((Flags & DT_CALCRECT) != 0) {
        unicode::Uc_DrawTextW(DC, Text.c_str(), -1, &Rect, Flags);
    } else if (!Enabled) {
        COLORREF old = SetTextColor(DC, classlib::ColorToRGB(classlib::clBtnHighlight));
        RECT shifted = Rect;
        OffsetRect(&shifted, 1, 1);
        unicode::Uc_DrawTextW(DC, Text.c_str(), -1, &shifted, Flags);
        SetTextColor(DC, classlib::ColorToRGB(classlib::clBtnShadow));
        unicode::Uc_DrawTextW(DC, Text.c_str(), -1, &Rect, Flags);
        SetTextColor(DC, old);
    } else {
        unicode::Uc_DrawTextW(DC, Text.c_str(), -1, &Rect, Flags);
    }
    SetBkMode(DC, mode);
}

// ---- TUcClipboard ----------------------------------------------------------------------------

std::wstring TUcClipboard::AsWideText() {
    if (!HasFormat(CF_UNICODETEXT)) return classlib::AnsiToWide(AsText());
    std::vector<std::uint8_t> bytes = GetBuffer(CF_UNICODETEXT);
    std::wstring text(bytes.size() / sizeof(wchar_t), L'\0');
    if (!text.empty()) std::memcpy(text.data(), bytes.data(), text.size() * sizeof(wchar_t));
    // The block may be larger than the text: it ends at the first zero.
    size_t end = text.find(L'\0');
    if (end != std::wstring::npos) text.resize(end);
    return text;
}

void TUcClipboard::SetAsWideText(const std::wstring& Value) {
    Open();
    try {
        SetAsText(classlib::WideToAnsi(Value));
        SetBuffer(CF_UNICODETEXT, Value.c_str(), (Value.size() + 1) * sizeof(wchar_t));
    } catch (...) {
        Close();
        throw;
    }
    Close();
}

TUcClipboard* UcClipboard() {
    // Lives to the end of the process, as the class library's clipboard does.
    static TUcClipboard* instance = new TUcClipboard();
    return instance;
}

}  // namespace widgets
