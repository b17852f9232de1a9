// Wide tool bar, page control, track bar and status bar.
#include "widgets/unicode/uc_com_controls.h"

#include "widgets/unicode/uc_menus.h"

#include <commctrl.h>

#include <cstring>
#include <vector>

#include "classlib/conversions.h"
#include "classlib/custom_form.h"
#include "unicode/wide_files.h"
#include "unicode/wide_platform.h"
#include "widgets/unicode/uc_graphics.h"

namespace widgets {

WIDGETS_UC_LINK_BODIES(TUcToolButtonActionLink, classlib::TToolButtonActionLink)
// Registered with the wide links when the program holds this module's controls.
[[maybe_unused]] const bool kTUcToolButtonActionLinkRegistered = (RegisterWideActionLinkClass(&TUcToolButtonActionLink::ClassRef()), true);

using classlib::AnsiToWide;
using classlib::TMessage;
using classlib::WideToAnsi;

namespace {

bool IsUnicodePlatform() { return unicode::Win32PlatformIsUnicode(); }

size_t LeadingTabs(const std::wstring& Text) {
    size_t n = 0;
    while (n < Text.size() && Text[n] == L'\t') ++n;
    return n;
}

// Text with exactly Count leading Tabs.
std::wstring WithLeadingTabs(const std::wstring& Text, size_t Count) {
    return std::wstring(Count, L'\t') + Text.substr(LeadingTabs(Text));
}

}  // namespace

void CreateUnicodeHandle_ComCtl(classlib::TWinControl* Control, const classlib::TCreateParams& Params,
                                const std::wstring& SubClass) {
    if (SubClass.empty())
        throw unicode::EUcInternalError(L"UC Internal Error: Only call CreateUnicodeHandle_ComCtl for Common Controls.");
    CreateUnicodeHandle(Control, Params, SubClass);
    if (IsUnicodePlatform()) SendMessageW(Control->WindowHandle(), CCM_SETUNICODEFORMAT, TRUE, 0);
}

// ---- Tool bar --------------------------------------------------------------------------------

void TUcToolBar::CreateWindowHandle(const classlib::TCreateParams& Params) {
    CreateUnicodeHandle_ComCtl(this, Params, TOOLBARCLASSNAMEW);
}

void TUcToolBar::Dispatch(TMessage& Message) {
    if (Message.Msg == TB_INSERTBUTTONA && IsUnicodePlatform() && HandleAllocated()) {
        auto* record = reinterpret_cast<TBBUTTON*>(Message.LParam);
        auto* button = record != nullptr ? dynamic_cast<TUcToolButton*>(reinterpret_cast<classlib::TObject*>(record->dwData))
                                         : nullptr;
        if (record != nullptr && record->iString != -1 && button != nullptr) {
            std::wstring text = button->Caption();
            text.push_back(L'\0');  // the list of strings ends with a second terminator
            record->iString = static_cast<INT_PTR>(
                SendMessageW(WindowHandle(), TB_ADDSTRINGW, 0, reinterpret_cast<LPARAM>(text.c_str())));
        }
    }
    classlib::TToolBar::Dispatch(Message);
}

classlib::TToolButton* TUcToolBar::NewMenuButton() { return new TUcToolButton(this); }

std::wstring TUcToolBar::ButtonCaption(classlib::TToolButton* Button) const {
    if (auto* wide = dynamic_cast<TUcToolButton*>(Button)) return wide->Caption();
    return classlib::TToolBar::ButtonCaption(Button);
}

void TUcToolButton::SetMenuItem(classlib::TMenuItem* Value) {
    classlib::TToolButton::SetMenuItem(Value);
    if (auto* wide = dynamic_cast<TUcMenuItem*>(Value)) {
        SetCaption(wide->Caption());
        SetHint(wide->Hint());
    }
}

void TUcToolButton::Dispatch(TMessage& Message) {
    if (Message.Msg == classlib::CM_HINTSHOW) ProcessCMHintShowMsg(this, Message);
    classlib::TToolButton::Dispatch(Message);
}

// ---- Page control ----------------------------------------------------------------------------

void TUcTabSheet::CreateWindowHandle(const classlib::TCreateParams& Params) {
    CreateUnicodeHandle(this, Params, std::wstring());
}

void TUcTabSheet::Dispatch(TMessage& Message) {
    if (Message.Msg == WM_SETTEXT && IsUnicodePlatform() && !HandleAllocated() && !settingText_ && Message.LParam != 0) {
        // ANSI code named the sheet: that text becomes the wide caption. (The kept wide caption is
        // compared as it is: reading Caption() would sync it with the ANSI text being replaced.)
        std::string ansi = reinterpret_cast<const char*>(Message.LParam);
        TWideControlHelper* helper = FindWideControlHelper(this);
        if (helper == nullptr || ansi != WideToAnsi(helper->WideCaption)) {
            settingText_ = true;
            try {
                WideControlHelper(this)->WideCaption = AnsiToWide(ansi);
            } catch (...) {
                settingText_ = false;
                throw;
            }
            settingText_ = false;
        }
    }
    classlib::TTabSheet::Dispatch(Message);
}

void TUcPageControl::CreateWindowHandle(const classlib::TCreateParams& Params) {
    CreateUnicodeHandle_ComCtl(this, Params, WC_TABCONTROLW);
}

std::wstring TUcPageControl::TabWindowText(int Index) {
    wchar_t buffer[512] = {};
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = buffer;
    item.cchTextMax = 511;
    if (!SendMessageW(Handle(), TCM_GETITEMW, static_cast<WPARAM>(Index), reinterpret_cast<LPARAM>(&item))) return {};
    return item.pszText != nullptr ? std::wstring(item.pszText) : std::wstring();
}

void TUcPageControl::Dispatch(TMessage& Message) {
    if (IsUnicodePlatform() && Message.Msg == TCM_SETITEMA && Message.LParam != 0) {
        const auto* ansi = reinterpret_cast<const TCITEMA*>(Message.LParam);
        classlib::TTabSheet* page = nullptr;
        if ((ansi->mask & TCIF_PARAM) != 0)
            page = reinterpret_cast<classlib::TTabSheet*>(ansi->lParam);
        else if ((ansi->mask & TCIF_TEXT) != 0)
            page = PageOfTab(static_cast<int>(Message.WParam));
        TCITEMW wide{};
        std::memcpy(&wide, ansi, sizeof wide);
        std::wstring text;
        if (page != nullptr) {
            auto* sheet = dynamic_cast<TUcTabSheet*>(page);
            text = sheet != nullptr ? sheet->Caption() : AnsiToWide(page->Caption());
            wide.mask |= TCIF_TEXT;
            if (UseRightToLeftReading()) wide.mask |= TCIF_RTLREADING;
            wide.pszText = text.data();
        } else {
            wide.mask &= ~static_cast<UINT>(TCIF_TEXT);
            wide.pszText = nullptr;
        }
        TMessage w{TCM_SETITEMW, Message.WParam, reinterpret_cast<LPARAM>(&wide), 0};
        classlib::TPageControl::Dispatch(w);
        Message.Result = w.Result;
        return;
    }
    if (IsUnicodePlatform() && Message.Msg == TCM_INSERTITEMA && Message.LParam != 0) {
        // The text follows with the next set-item, which carries the wide caption.
        TCITEMA item = *reinterpret_cast<const TCITEMA*>(Message.LParam);
        item.mask &= ~static_cast<UINT>(TCIF_TEXT);
        TMessage m{Message.Msg, Message.WParam, reinterpret_cast<LPARAM>(&item), 0};
        classlib::TPageControl::Dispatch(m);
        Message.Result = m.Result;
        return;
    }
    if (Message.Msg == classlib::CM_DIALOGCHAR) {
        for (int i = 0; i < PageCount(); ++i) {
            auto* sheet = dynamic_cast<TUcTabSheet*>(Pages(i));
            std::wstring caption = sheet != nullptr ? sheet->Caption() : AnsiToWide(Pages(i)->Caption());
            if (CanShowTab(i) && WideIsAccel(Message.WParam, caption) && CanFocus()) {
                Message.Result = 1;
                if (CanChange()) {
                    SetActivePage(Pages(i));
                    Change();
                }
                return;
            }
        }
    }
    classlib::TPageControl::Dispatch(Message);
}

classlib::TTabSheet* TUcPageControl::NewDockSheet(classlib::TControl* Client) {
    auto* sheet = new TUcTabSheet(this);
    if (dynamic_cast<classlib::TCustomForm*>(Client) != nullptr) sheet->SetCaption(UcControl_GetText(Client));
    return sheet;
}

void TUcPageControl::DockClientTextChanged(classlib::TTabSheet* Page, classlib::TControl* Client, LPARAM Text) {
    auto* sheet = dynamic_cast<TUcTabSheet*>(Page);
    if (sheet == nullptr) {
        classlib::TPageControl::DockClientTextChanged(Page, Client, Text);
        return;
    }
    auto* window = dynamic_cast<classlib::TWinControl*>(Client);
    std::wstring text;
    if (Text != 0 && window != nullptr && window->HandleAllocated()) {
        text = IsWindowUnicode(window->WindowHandle()) ? std::wstring(reinterpret_cast<const wchar_t*>(Text))
                                                       : AnsiToWide(reinterpret_cast<const char*>(Text));
    } else if (Text != 0) {
        // Without a window the text is ANSI; a wide client's wide caption, kept beside it, is the
        // one it stands for (characters outside the code page would be lost in the ANSI one).
        const std::string ansi = reinterpret_cast<const char*>(Text);
        text = UcControl_GetText(Client);
        if (WideToAnsi(text) != ansi) text = AnsiToWide(ansi);
    }
    sheet->SetCaption(text.substr(0, text.find_first_of(L"\r\n")));
}

// ---- Track bar -------------------------------------------------------------------------------

void TUcTrackBar::CreateWindowHandle(const classlib::TCreateParams& Params) {
    CreateUnicodeHandle_ComCtl(this, Params, TRACKBAR_CLASSW);
}

// ---- Status bar ------------------------------------------------------------------------------

std::wstring TUcStatusPanel::Text() { return unicode::GetSyncedWideString(wideText_, classlib::TStatusPanel::Text()); }

void TUcStatusPanel::SetText(const std::wstring& Value) {
    unicode::SetSyncedWideString(Value, wideText_, classlib::TStatusPanel::Text(),
                                 [this](const std::string& s) { classlib::TStatusPanel::SetText(s); });
}

void TUcStatusPanel::Assign(classlib::TPersistent* Source) {
    classlib::TStatusPanel::Assign(Source);
    if (auto* other = dynamic_cast<TUcStatusPanel*>(Source)) SetText(other->Text());
}

std::wstring TUcCustomStatusBar::SimpleText() {
    const std::string& ansi = classlib::TCustomStatusBar::SimpleText();
    size_t tabs = 0;
    while (tabs < ansi.size() && ansi[tabs] == '\t') ++tabs;
    wideSimpleText_ = WithLeadingTabs(wideSimpleText_, tabs);
    return unicode::GetSyncedWideString(wideSimpleText_, ansi);
}

void TUcCustomStatusBar::SetSimpleText(const std::wstring& Value) {
    unicode::SetSyncedWideString(Value, wideSimpleText_, classlib::TCustomStatusBar::SimpleText(),
                                 [this](const std::string& s) { classlib::TCustomStatusBar::SetSimpleText(s); });
}

std::wstring TUcCustomStatusBar::PanelWindowTextW(int Part) {
    if (!HandleAllocated()) return std::wstring();
    LRESULT len = SendMessageW(WindowHandle(), SB_GETTEXTLENGTHW, static_cast<WPARAM>(Part), 0);
    std::vector<wchar_t> buffer(static_cast<size_t>(LOWORD(len)) + 1, L'\0');
    SendMessageW(WindowHandle(), SB_GETTEXTW, static_cast<WPARAM>(Part), reinterpret_cast<LPARAM>(buffer.data()));
    return std::wstring(buffer.data());
}

bool TUcCustomStatusBar::ExecuteAction(classlib::TBasicAction* Action) {
    auto* hint = dynamic_cast<TUcHintAction*>(Action);
    if (hint != nullptr && AutoHint()) {
        // The hint event runs once: when it shows the hint itself the class library is not asked
        // again (it would run the event a second time).
        if (DoHint()) return true;
        if (!SimplePanel() && Panels()->Count() > 0)
            Panels()->Items(0)->SetText(hint->Hint());
        else
            SetSimpleText(hint->Hint());
        return true;
    }
    return classlib::TCustomStatusBar::ExecuteAction(Action);
}

void TUcCustomStatusBar::CreateWindowHandle(const classlib::TCreateParams& Params) {
    CreateUnicodeHandle_ComCtl(this, Params, STATUSCLASSNAMEW);
}

void TUcCustomStatusBar::Dispatch(TMessage& Message) {
    if (IsUnicodePlatform() && Message.Msg == SB_SETTEXTA && (Message.WParam & SBT_OWNERDRAW) == 0) {
        int part = static_cast<int>(Message.WParam & 0xFF);
        std::string ansi = Message.LParam != 0 ? reinterpret_cast<const char*>(Message.LParam) : "";
        std::wstring text;
        if (part >= 255)
            text = SimpleText();
        else if (Panels()->Count() > 0 && part < Panels()->Count())
            text = Panels()->Items(part)->Text();
        else
            text = AnsiToWide(ansi);
        size_t tabs = 0;
        while (tabs < ansi.size() && ansi[tabs] == '\t') ++tabs;
        text = WithLeadingTabs(text, tabs);
        TMessage w{SB_SETTEXTW, Message.WParam, reinterpret_cast<LPARAM>(text.c_str()), 0};
        classlib::TCustomStatusBar::Dispatch(w);
        Message.Result = w.Result;
        return;
    }
    if (IsUnicodePlatform() && Message.Msg == WM_GETTEXTLENGTH && HandleAllocated()) {
        Message.Result = static_cast<LRESULT>(SimpleText().size());
        return;
    }
    classlib::TCustomStatusBar::Dispatch(Message);
}

}  // namespace widgets
