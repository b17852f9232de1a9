#include "tests/ui/caption_fit.h"

#include <algorithm>
#include <cstdint>

#include "classlib/buttons.h"
#include "classlib/conversions.h"
#include "classlib/gdi_handles.h"
#include "classlib/panels.h"
#include "classlib/std_buttons.h"
#include "classlib/std_group_boxes.h"
#include "classlib/std_label.h"
#include "classlib/tool_bar.h"
#include "widgets/custom/color_button.h"
#include "widgets/hover/fb_button.h"
#include "widgets/hover/hx_img_btn.h"
#include "widgets/hover/hx_label.h"
#include "widgets/kit/kit_label.h"
#include "widgets/kit/kit_speed_button.h"
#include "widgets/unicode/uc_controls.h"

namespace quill_test {

namespace {

using classlib::TControl;

// What a 32-bit picture of Width x Height drawn by Draw shows on a background of Colour: the
// count of pixels of another colour.
template <typename F>
int InkOn(int Width, int Height, COLORREF Colour, F&& Draw) {
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), Width, -Height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    classlib::TOwnedDC dc(CreateCompatibleDC(nullptr));
    classlib::TOwnedBitmap bitmap(CreateDIBSection(dc.Get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!bitmap) return 0;
    classlib::TSelectedObject selected(dc.Get(), bitmap.Get());
    classlib::TOwnedBrush brush(CreateSolidBrush(Colour));
    RECT all{0, 0, Width, Height};
    FillRect(dc.Get(), &all, brush.Get());
    Draw(dc.Get());
    GdiFlush();
    const auto* pixels = static_cast<const std::uint32_t*>(bits);
    const std::uint32_t background = (GetRValue(Colour) << 16) | (GetGValue(Colour) << 8) | GetBValue(Colour);
    int ink = 0;
    for (int i = 0; i < Width * Height; ++i)
        if ((pixels[i] & 0xFFFFFF) != background) ++ink;
    return ink;
}

// A picture shows when it draws more than a speck, on two backgrounds (a picture of the
// background's own colour counts on the other).
constexpr int kSpeck = 8;

SIZE ClientSize(TControl* Control) {
    if (auto* windowed = dynamic_cast<classlib::TWinControl*>(Control);
        windowed != nullptr && windowed->HandleAllocated()) {
        RECT r{};
        GetClientRect(windowed->Handle(), &r);
        return SIZE{r.right, r.bottom};
    }
    return SIZE{Control->Width(), Control->Height()};
}

SIZE Shrunk(SIZE Size, int By) {
    return SIZE{Size.cx - 2 * By, Size.cy - 2 * By};
}

std::wstring Shown(const std::wstring& Text) {
    std::wstring s = Text;
    std::replace(s.begin(), s.end(), L'\r', L' ');
    std::replace(s.begin(), s.end(), L'\n', L' ');
    return s;
}

// Whether the control shows its caption (an edit's text is what the user typed; a form's caption is
// its title; the colour button's parts cover its own).
bool IsCaptionShown(TControl* Control) {
    using namespace classlib;
    if (auto* flat = dynamic_cast<hover::TFlatBarButton*>(Control))
        return flat->DisplayMode() != hover::TButtonDisplayMode::dmGlyphOnly;
    if (dynamic_cast<widgets::custom::TColorButton*>(Control) != nullptr) return false;
    return dynamic_cast<TCustomLabel*>(Control) != nullptr || dynamic_cast<TButtonControl*>(Control) != nullptr ||
           dynamic_cast<TCustomGroupBox*>(Control) != nullptr || dynamic_cast<TCustomPanel*>(Control) != nullptr ||
           dynamic_cast<TSpeedButton*>(Control) != nullptr || dynamic_cast<hover::THxImgBtn*>(Control) != nullptr ||
           dynamic_cast<widgets::kit::TKitSpeedButton*>(Control) != nullptr ||
           dynamic_cast<widgets::kit::TKitCustomLabel*>(Control) != nullptr ||
           dynamic_cast<hover::THxCustomLabel*>(Control) != nullptr;
}

}  // namespace

bool PictureShown(classlib::TCustomImageList* Images, int Index) {
    if (Images == nullptr || Index < 0 || Index >= Images->Count()) return false;
    auto draw = [&](HDC DC) { ImageList_Draw(Images->Handle(), Index, DC, 0, 0, ILD_TRANSPARENT); };
    return InkOn(Images->Width(), Images->Height(), RGB(255, 0, 255), draw) > kSpeck &&
           InkOn(Images->Width(), Images->Height(), RGB(0, 128, 0), draw) > kSpeck;
}

bool GlyphShown(HBITMAP Glyph) {
    BITMAP b{};
    if (Glyph == nullptr || GetObjectW(Glyph, sizeof b, &b) == 0 || b.bmWidth <= 0 || b.bmHeight <= 0) return false;
    classlib::TOwnedDC source(CreateCompatibleDC(nullptr));
    classlib::TSelectedObject selected(source.Get(), Glyph);
    const COLORREF clear = GetPixel(source.Get(), 0, b.bmHeight - 1);
    return InkOn(b.bmWidth, b.bmHeight, clear,
                 [&](HDC DC) { BitBlt(DC, 0, 0, b.bmWidth, b.bmHeight, source.Get(), 0, 0, SRCCOPY); }) > kSpeck;
}

void TCaptionFit::Walk(TControl* Control, const std::wstring& Where) {
    const std::wstring path = Where + L"/" + (Control->Name().empty() ? Control->ClassName() : Control->Name());
    Check(Control, path);
    if (auto* parent = dynamic_cast<classlib::TWinControl*>(Control))
        for (int i = 0; i < parent->ControlCount(); ++i) Walk(parent->Controls(i), path);
}

void TCaptionFit::Report(const std::wstring& Path, TControl* Control, const std::wstring& Text, SIZE Need, SIZE Room) {
    ++Captions;
    if (Need.cx <= Room.cx && Need.cy <= Room.cy) return;
    Problems.push_back(classlib::WideToUtf8(Path + L" (" + Control->ClassName() + L") \"" + Shown(Text) + L"\" needs " +
                                            std::to_wstring(Need.cx) + L"x" + std::to_wstring(Need.cy) + L", has " +
                                            std::to_wstring(Room.cx) + L"x" + std::to_wstring(Room.cy)));
}

void TCaptionFit::Blank(const std::wstring& Path, TControl* Control) {
    Problems.push_back(
        classlib::WideToUtf8(Path + L" (" + Control->ClassName() + L"): a button with neither caption nor picture"));
}

void TCaptionFit::TextOnly(const std::wstring& Path, TControl* Control, const std::wstring& Text) {
    Problems.push_back(classlib::WideToUtf8(Path + L" (" + Control->ClassName() + L") \"" + Shown(Text) +
                                            L"\": a button with a caption and no picture"));
}

SIZE TCaptionFit::Extent(TControl* Control, const std::wstring& Text, UINT Flags, int Width) {
    classlib::TWindowDC screen(nullptr);
    classlib::TSelectedObject font(screen.Get(), Control->Font()->Handle());
    RECT r{0, 0, Width, 0};
    if (Width > 0) Flags |= DT_WORDBREAK;
    DrawTextW(screen.Get(), Text.c_str(), static_cast<int>(Text.size()), &r, Flags | DT_CALCRECT);
    return SIZE{r.right - r.left, r.bottom - r.top};
}

void TCaptionFit::CheckGlyphAndText(const std::wstring& Path, TControl* Control, SIZE Glyph, const std::wstring& Text,
                                    bool Horizontal, int Spacing, SIZE Room, int Extra) {
    const SIZE text = Text.empty() ? SIZE{0, 0} : Extent(Control, Text, 0);
    if (Glyph.cx == 0 || Text.empty()) Spacing = 0;
    SIZE need = Horizontal ? SIZE{Glyph.cx + Spacing + text.cx + Extra, std::max(Glyph.cy, text.cy)}
                           : SIZE{std::max(Glyph.cx, text.cx + Extra), Glyph.cy + Spacing + text.cy};
    if (Text.empty()) {
        // A picture alone: it fits or shows cut.
        ++Pictures;
        if (need.cx > Room.cx || need.cy > Room.cy) Report(Path, Control, L"(picture)", need, Room);
        return;
    }
    Report(Path, Control, Text, need, Room);
}

template <typename TGlyphButton>
void TCaptionFit::CheckGlyphButton(const std::wstring& Path, TGlyphButton* Button, const std::wstring& Text,
                                   SIZE Room) {
    using classlib::TButtonLayout;
    const bool glyph = !Button->ButtonGlyph()->Empty() && GlyphShown(Button->Glyph());
    if (!glyph && Text.empty()) return Blank(Path, Button);
    // Bit and speed buttons sit among pictures: each shows one.
    if (!glyph) TextOnly(Path, Button, Text);
    const SIZE g = glyph ? Button->ButtonGlyph()->GlyphSize() : SIZE{0, 0};
    const bool horizontal =
        Button->Layout() == TButtonLayout::blGlyphLeft || Button->Layout() == TButtonLayout::blGlyphRight;
    CheckGlyphAndText(Path, Button, g, Text, horizontal, std::max(Button->Spacing(), 0), Room);
}

void TCaptionFit::Check(TControl* Control, const std::wstring& Path) {
    using namespace classlib;
    const std::wstring text = widgets::UcControl_GetText(Control);
    const SIZE client = ClientSize(Control);
    // A control given its name as caption when it was named, and never a caption of its own.
    if (!text.empty() && text == Control->Name() && IsCaptionShown(Control))
        Problems.push_back(WideToUtf8(Path + L" (" + Control->ClassName() + L") shows its own name"));

    // Tool bars: each button shows its picture or its caption.
    if (auto* bar = dynamic_cast<TToolBar*>(Control)) {
        for (int i = 0; i < bar->ButtonCount(); ++i) {
            TToolButton* button = bar->Buttons(i);
            if (button->Style() == TToolButtonStyle::tbsSeparator || button->Style() == TToolButtonStyle::tbsDivider ||
                !button->Visible())
                continue;
            const std::wstring caption = bar->ShowCaptions() ? widgets::UcControl_GetText(button) : std::wstring();
            const bool picture = PictureShown(bar->Images(), button->ImageIndex());
            const std::wstring where = Path + L"/" + button->Name();
            if (!picture && caption.empty()) Blank(where, button);
            if (picture) ++Pictures;
            if (!caption.empty())
                Report(where, button, caption, Extent(button, caption, 0),
                       Shrunk(SIZE{button->Width(), button->Height()}, 3));
        }
        return;
    }
    // A cell of the colour drop-down: its face is the colour it offers.
    if (auto* cell = dynamic_cast<widgets::custom::TSubColorButton*>(Control);
        cell != nullptr && cell->Kind() == widgets::custom::TSubColorKind::scCell && text.empty()) {
        if (cell->ShownColor() == clNone || cell->ShownColor() == clDefault) return Blank(Path, Control);
        ++Pictures;
        return;
    }
    // "Automatic" of the colour drop-down: the swatch it paints at its left is its picture.
    if (auto* automatic = dynamic_cast<widgets::custom::TSubColorButton*>(Control);
        automatic != nullptr && automatic->Kind() == widgets::custom::TSubColorKind::scAutomatic) {
        const int side = std::max<int>(4, client.cy - 10);
        if (text.empty()) return Blank(Path, Control);
        // Its caption centred in what the swatch leaves on either side.
        return Report(Path, Control, text, Extent(Control, text, 0),
                      SIZE{client.cx - 2 * (5 + side + 2), client.cy - 2});
    }
    // Glyph buttons of the class library: the layout's room is the client less the frame.
    if (auto* speed = dynamic_cast<TSpeedButton*>(Control))
        return CheckGlyphButton(Path, speed, text, Shrunk(client, 1));
    if (auto* bit = dynamic_cast<TBitBtn*>(Control)) return CheckGlyphButton(Path, bit, text, Shrunk(client, 3));
    if (auto* flat = dynamic_cast<hover::TFlatBarButton*>(Control)) {
        const bool glyph =
            flat->DisplayMode() != hover::TButtonDisplayMode::dmTextOnly && flat->ButtonGlyph()->HasImage();
        const std::wstring caption =
            flat->DisplayMode() == hover::TButtonDisplayMode::dmGlyphOnly ? std::wstring() : text;
        if (glyph && flat->Images() != nullptr && !PictureShown(flat->Images(), flat->ImageIndex()) &&
            flat->Glyph() == nullptr)
            return Blank(Path, Control);
        if (!glyph && caption.empty()) return Blank(Path, Control);
        const SIZE g = glyph ? flat->ButtonGlyph()->GlyphSize() : SIZE{0, 0};
        const bool horizontal =
            flat->Layout() == hover::TButtonLayout::blGlyphLeft || flat->Layout() == hover::TButtonLayout::blGlyphRight;
        const bool arrow = flat->DropdownMenu() != nullptr && !flat->DropdownCombo() && flat->DropdownArrow();
        const int frame = flat->NoBorder() ? 0 : (flat->Flat() ? 1 : 2);
        return CheckGlyphAndText(Path, Control, g, caption, horizontal, std::max(flat->Spacing(), 0),
                                 Shrunk(client, frame), arrow ? flat->DropdownArrowWidth() : 0);
    }
    if (auto* image = dynamic_cast<hover::THxImgBtn*>(Control)) {
        const bool picture = image->ImageVisible() && PictureShown(image->Images(), image->ImageIndex());
        std::wstring caption = text;
        if (image->WordWrap()) std::replace(caption.begin(), caption.end(), L'|', L'\n');
        if (!picture && caption.empty()) return Blank(Path, Control);
        const SIZE g = picture ? SIZE{image->Images()->Width(), image->Images()->Height()} : SIZE{0, 0};
        // Laid out 4 pixels in from each side, centred across; the frame takes 2 of them.
        return CheckGlyphAndText(Path, Control, g, caption, true, image->Spacing(), SIZE{client.cx - 8, client.cy - 4});
    }
    if (auto* kit = dynamic_cast<widgets::kit::TKitSpeedButton*>(Control)) {
        if (!GlyphShown(kit->Glyph()) && text.empty())
            Blank(Path, Control);
        else if (!GlyphShown(kit->Glyph()))
            TextOnly(Path, Control, text);
        if (!text.empty())
            Report(Path, Control, text, Extent(Control, text, 0), Shrunk(client, 2));
        return;
    }
    // Push buttons, check boxes and radio buttons: the system draws them.
    if (dynamic_cast<TButton*>(Control) != nullptr) {
        if (text.empty()) return Blank(Path, Control);
        return Report(Path, Control, text, Extent(Control, text, DT_SINGLELINE), Shrunk(client, 3));
    }
    if (dynamic_cast<TCustomCheckBox*>(Control) != nullptr || dynamic_cast<TRadioButton*>(Control) != nullptr) {
        if (text.empty()) return;
        // The box (Wine: 12 pixels at 96 dots per inch, plus 1) and a gap of half a "0" before the text.
        const int zero = Extent(Control, L"0", DT_SINGLELINE).cx;
        const int box = MulDiv(12, ScreenPixelsPerInch(), 96) + 1 + zero / 2;
        const bool wrap = dynamic_cast<TButtonControl*>(Control)->WordWrap();
        SIZE need =
            wrap ? Extent(Control, text, 0, std::max<LONG>(client.cx - box, 1)) : Extent(Control, text, DT_SINGLELINE);
        need.cx += box;
        return Report(Path, Control, text, need, client);
    }
    if (dynamic_cast<TCustomGroupBox*>(Control) != nullptr) {
        if (text.empty()) return;
        SIZE need = Extent(Control, text, DT_SINGLELINE);
        // The caption starts 8 pixels in and keeps a blank each side over the frame.
        need.cx += 2 * 8 + 4;
        return Report(Path, Control, text, need, SIZE{client.cx, std::max<LONG>(client.cy, need.cy)});
    }
    if (auto* panel = dynamic_cast<TCustomPanel*>(Control)) {
        // The colour button's two parts cover it: they are its face.
        if (text.empty() || dynamic_cast<widgets::custom::TColorButton*>(Control) != nullptr) return;
        const int bevels = (panel->BevelOuter() != TPanelBevel::bvNone ? panel->BevelWidth() : 0) +
                           (panel->BevelInner() != TPanelBevel::bvNone ? panel->BevelWidth() : 0) +
                           panel->BorderWidth();
        return Report(Path, Control, text, Extent(Control, text, DT_EXPANDTABS), Shrunk(client, bevels));
    }
    if (auto* label = dynamic_cast<TCustomLabel*>(Control)) {
        if (text.empty()) return;
        const SIZE need = Extent(Control, text, DT_EXPANDTABS, label->WordWrap() ? client.cx : 0);
        return Report(Path, Control, text, need, client);
    }
    if (auto* kitLabel = dynamic_cast<widgets::kit::TKitCustomLabel*>(Control)) {
        if (text.empty()) return;
        SIZE need = Extent(Control, text, DT_EXPANDTABS);
        need.cx += kitLabel->ShadowSize() + 2;
        need.cy += kitLabel->ShadowSize();
        return Report(Path, Control, text, need, client);
    }
    if (dynamic_cast<hover::THxCustomLabel*>(Control) != nullptr) {
        if (text.empty()) return;
        return Report(Path, Control, text, Extent(Control, text, DT_EXPANDTABS), client);
    }
}

}  // namespace quill_test
