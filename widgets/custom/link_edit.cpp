// The link edit.
#include "widgets/custom/link_edit.h"

#include <richedit.h>

#include <algorithm>
#include <cstring>

#include "classlib/conversions.h"

namespace widgets::custom {

TLinkEdit::TLinkEdit(classlib::TComponent* AOwner)
    : widgets::TUcRichEdit(AOwner), lines_(std::make_unique<unicode::TUcStringList>()) {}

TLinkEdit::~TLinkEdit() = default;

void TLinkEdit::SetRichText(const std::wstring& Value) {
    richText_ = Value;
    // The markup is known at once; the window, made when it is first shown, is written then.
    markup_ = ParseLinkMarkup(richText_, Defaults());
    if (HandleAllocated()) Apply();
}

void TLinkEdit::CreateWnd() {
    widgets::TUcRichEdit::CreateWnd();
    if (!richText_.empty()) Apply();
}

TMarkupDefaults TLinkEdit::Defaults() {
    TMarkupDefaults defaults;
    classlib::TFont* font = Font();
    defaults.Format.FontName = classlib::AnsiToWide(font->Name());
    defaults.Format.Size = font->Size();
    defaults.Format.Color = font->Color();
    defaults.Format.Bold = font->Style().Contains(classlib::fsBold);
    defaults.Format.Italic = font->Style().Contains(classlib::fsItalic);
    defaults.Format.Underline = font->Style().Contains(classlib::fsUnderline);
    defaults.Format.StrikeOut = font->Style().Contains(classlib::fsStrikeOut);
    defaults.Align = Alignment();
    defaults.UrlColor = urlColor_;
    defaults.MailColor = mailColor_;
    defaults.LinkColor = linkColor_;
    return defaults;
}

void TLinkEdit::Apply() {
    markup_ = ParseLinkMarkup(richText_, Defaults());

    HWND h = Handle();
    // Hidden from the screen while the text and its formats are rebuilt.
    SendMessageW(h, WM_SETREDRAW, FALSE, 0);
    SetWindowTextW(h, markup_.Text.c_str());
    for (const TMarkupRun& run : markup_.Runs) {
        CHARRANGE range{run.Start, run.Start + run.Length};
        SendMessageW(h, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
        CHARFORMAT2W cf{};
        cf.cbSize = sizeof cf;
        cf.dwMask = CFM_BOLD | CFM_ITALIC | CFM_UNDERLINE | CFM_STRIKEOUT | CFM_COLOR | CFM_SIZE | CFM_FACE;
        cf.dwEffects = (run.Format.Bold ? CFE_BOLD : 0) | (run.Format.Italic ? CFE_ITALIC : 0) |
                       (run.Format.Underline ? CFE_UNDERLINE : 0) | (run.Format.StrikeOut ? CFE_STRIKEOUT : 0);
        cf.crTextColor = classlib::ColorToRGB(run.Format.Color);
        cf.yHeight = std::max(run.Format.Size, 0) * 20;
        wcsncpy(cf.szFaceName, run.Format.FontName.c_str(), LF_FACESIZE - 1);
        SendMessageW(h, EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&cf));
    }
    for (const TMarkupParagraph& p : markup_.Paragraphs) {
        CHARRANGE at{p.Start, p.Start};
        SendMessageW(h, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&at));
        PARAFORMAT2 pf{};
        pf.cbSize = sizeof pf;
        pf.dwMask = PFM_ALIGNMENT;
        pf.wAlignment = p.Align == classlib::TAlignment::taCenter       ? PFA_CENTER
                        : p.Align == classlib::TAlignment::taRightJustify ? PFA_RIGHT
                                                                          : PFA_LEFT;
        SendMessageW(h, EM_SETPARAFORMAT, 0, reinterpret_cast<LPARAM>(&pf));
    }
    CHARRANGE none{0, 0};
    SendMessageW(h, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&none));
    SendMessageW(h, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(h, nullptr, TRUE);
}

const TMarkupLink* TLinkEdit::LinkAt(int X, int Y) {
    if (!HandleAllocated()) return nullptr;
    POINTL p{X, Y};
    const LRESULT index = SendMessageW(Handle(), EM_CHARFROMPOS, 0, reinterpret_cast<LPARAM>(&p));
    return FindLink(markup_, static_cast<int>(index));
}

void TLinkEdit::MouseMove(classlib::TShiftState Shift, int X, int Y) {
    widgets::TUcRichEdit::MouseMove(Shift, X, Y);
    const TMarkupLink* link = LinkAt(X, Y);
    if (link == nullptr) {
        SetCursor(classlib::crArrow);
        SetShowHint(false);
        return;
    }
    SetCursor(classlib::crHandPoint);
    const TLinkHintEvent& event =
        link->Kind == TLinkKind::lkUrl ? OnUrlHint : link->Kind == TLinkKind::lkMail ? OnMailHint : OnCustomLinkHint;
    if (!event) return;
    std::wstring hint;
    const std::wstring target = link->Target;  // the handler may change the text
    event(target, hint);
    SetHint(hint);
    SetShowHint(true);
}

void TLinkEdit::MouseUp(classlib::TMouseButton Button, classlib::TShiftState Shift, int X, int Y) {
    widgets::TUcRichEdit::MouseUp(Button, Shift, X, Y);
    const TMarkupLink* link = LinkAt(X, Y);
    if (link == nullptr) return;
    const TLinkClickEvent& event =
        link->Kind == TLinkKind::lkUrl ? OnUrlClick : link->Kind == TLinkKind::lkMail ? OnMailClick : OnCustomLinkClick;
    const std::wstring target = link->Target;
    if (event) event(target);
}

}  // namespace widgets::custom
