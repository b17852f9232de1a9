// Wide push button, check box, radio button and group box.
#include "widgets/unicode/uc_std_buttons.h"

#include <uxtheme.h>
#include <vssym32.h>

#include "classlib/gdi_handles.h"
#include "classlib/themes.h"
#include "unicode/wide_platform.h"
#include "widgets/unicode/uc_actions.h"
#include "widgets/unicode/uc_menus.h"

namespace widgets {

using classlib::TMessage;

namespace {

bool IsUnicodePlatform() { return unicode::Win32PlatformIsUnicode(); }

}  // namespace

bool UcControl_DialogChar(classlib::TWinControl* Control, TMessage& Message, TUcAccelAction Action) {
    if (Message.Msg != classlib::CM_DIALOGCHAR || !WideIsAccel(Message.WParam, UcControl_GetText(Control)) ||
        !Control->CanFocus())
        return false;
    switch (Action) {
        case TUcAccelAction::Click:
            Control->Click();
            break;
        case TUcAccelAction::FocusAndToggle:
            Control->SetFocus();
            if (Control->Focused())
                if (auto* box = dynamic_cast<classlib::TCustomCheckBox*>(Control)) box->Toggle();
            break;
        case TUcAccelAction::Focus:
            Control->SetFocus();
            break;
        case TUcAccelAction::SelectFirst:
            Control->SelectFirst();
            break;
    }
    Message.Result = 1;
    return true;
}

// The window and the hot key of each wide button class.
#define WIDGETS_UC_BUTTON_BODIES(Class, Base, SystemClass, Accel)                                        \
    void Class::CreateWindowHandle(const classlib::TCreateParams& Params) {                             \
        CreateUnicodeHandle(this, Params, SystemClass);                                                 \
    }                                                                                                   \
    void Class::Dispatch(TMessage& Message) {                                                           \
        if (UcControl_DialogChar(this, Message, Accel)) return;                                         \
        Base::Dispatch(Message);                                                                        \
    }

WIDGETS_UC_BUTTON_BODIES(TUcButton, classlib::TButton, L"BUTTON", TUcAccelAction::Click)
WIDGETS_UC_BUTTON_BODIES(TUcCustomCheckBox, classlib::TCustomCheckBox, L"BUTTON", TUcAccelAction::FocusAndToggle)
WIDGETS_UC_BUTTON_BODIES(TUcRadioButton, classlib::TRadioButton, L"BUTTON", TUcAccelAction::Focus)
WIDGETS_UC_BUTTON_BODIES(TUcCustomGroupBox, classlib::TCustomGroupBox, std::wstring(), TUcAccelAction::SelectFirst)
#undef WIDGETS_UC_BUTTON_BODIES

void UcGroupBox_Paint(classlib::TCustomControl* Box, const std::wstring& Caption) {
    classlib::TCanvas* canvas = Box->Canvas();
    canvas->SetFont(Box->Font());
    HDC dc = canvas->Handle();
    classlib::TSavedDC saved(dc);
    SelectObject(dc, canvas->Font()->Handle());
    const bool rtl = Box->UseRightToLeftAlignment();
    const int width = Box->Width();
    // The theme library comes with the class library, which asks it whether themes are on.
    if (classlib::ThemesEnabled()) {
        SIZE extent{};
        GetTextExtentPoint32W(dc, Caption.c_str(), static_cast<int>(Caption.size()), &extent);
        RECT caption = rtl ? RECT{width - 8 - extent.cx, 0, width - 8, extent.cy} : RECT{8, 0, 8 + extent.cx, extent.cy};
        RECT frame{0, extent.cy / 2, width, Box->Height()};
        HTHEME theme = OpenThemeData(Box->Handle(), L"BUTTON");
        if (theme != nullptr) {
            int state = Box->Enabled() ? GBS_NORMAL : GBS_DISABLED;
            if (!Caption.empty()) ExcludeClipRect(dc, caption.left, caption.top, caption.right, caption.bottom);
            DrawThemeBackground(theme, dc, BP_GROUPBOX, state, &frame, nullptr);
            SelectClipRgn(dc, nullptr);
            if (!Caption.empty())
                DrawThemeText(theme, dc, BP_GROUPBOX, state, Caption.c_str(), static_cast<int>(Caption.size()),
                              Box->DrawTextBiDiModeFlags(DT_SINGLELINE), 0, &caption);
            CloseThemeData(theme);
            return;
        }
    }
    TEXTMETRICW tm{};
    GetTextMetricsW(dc, &tm);
    int h = tm.tmHeight;
    RECT r{0, h / 2 - 1, width, Box->Height()};
    auto frame = [&](classlib::TColor Color, const RECT& Rect) {
        classlib::TOwnedBrush brush(CreateSolidBrush(classlib::ColorToRGB(Color)));
        FrameRect(dc, &Rect, brush.Get());
    };
    if (Box->Ctl3D()) {
        RECT light = r;
        ++light.left;
        ++light.top;
        frame(classlib::clBtnHighlight, light);
        RECT dark = r;
        --dark.right;
        --dark.bottom;
        frame(classlib::clBtnShadow, dark);
    } else {
        frame(classlib::clWindowFrame, r);
    }
    if (Caption.empty()) return;
    UINT flags = Box->DrawTextBiDiModeFlags(DT_SINGLELINE);
    RECT measure{0, 0, 0, h};
    DrawTextW(dc, Caption.c_str(), static_cast<int>(Caption.size()), &measure, flags | DT_CALCRECT);
    int w = measure.right - measure.left;
    RECT text = rtl ? RECT{width - w - 8, 0, width - 8, measure.bottom} : RECT{8, 0, 8 + w, measure.bottom};
    // The caption is never clipped, and the frame line stays clear of the ink past its measured
    // width (Wine's stand-in font).
    const int slack = classlib::TextInkSlack(dc, canvas->Font()->Handle());
    RECT back = text;
    if (rtl)
        back.left -= slack;
    else
        back.right += slack;
    classlib::TOwnedBrush background(CreateSolidBrush(classlib::ColorToRGB(Box->Color())));
    FillRect(dc, &back, background.Get());
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, classlib::ColorToRGB(canvas->Font()->Color()));
    DrawTextW(dc, Caption.c_str(), static_cast<int>(Caption.size()), &text, flags | DT_NOCLIP);
}

void TUcCustomGroupBox::Paint() {
    if (!IsUnicodePlatform()) {
        classlib::TCustomGroupBox::Paint();
        return;
    }
    UcGroupBox_Paint(this, Caption());
}

}  // namespace widgets
