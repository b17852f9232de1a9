// Wide buttons, panels, images, canvas text and the clipboard under Wine: what is drawn, clicked,
// copied and loaded carries texts and names outside the ANSI code page; panels under visual themes.
#include <windows.h>
#include <uxtheme.h>

#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <vector>

#include "classlib/conversions.h"
#include "classlib/filer.h"
#include "classlib/stream_classes.h"
#include "classlib/streams.h"
#include "classlib/themes.h"
#include "exception_text.h"
#include "painted_ink.h"
#include "uc_test_support.h"
#include "unicode/wide_files.h"
#include "widgets/hover/hx_themes.h"
#include "widgets/unicode/uc_actions.h"
#include "widgets/unicode/uc_buttons.h"
#include "widgets/unicode/uc_graphics.h"
#include "widgets/unicode/uc_panels.h"

using namespace uctest;
using classlib::WideToAnsi;
using namespace widgets;

namespace {

class WideButtonsPanelsTest : public WideTest {
protected:
    void SetUp() override {
        WideTest::SetUp();
        form = new classlib::TForm(classlib::Application());
        form->SetBounds(60, 60, 420, 300);
    }
    classlib::TForm* form = nullptr;
};

// A 24-bit bitmap of W x H in one colour per image of Size pixels (left to right).
HBITMAP MakeStrip(int Size, const std::vector<COLORREF>& Colours) {
    HDC screen = GetDC(nullptr);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, Size * static_cast<int>(Colours.size()), Size);
    HDC dc = CreateCompatibleDC(screen);
    HGDIOBJ old = SelectObject(dc, bitmap);
    for (size_t i = 0; i < Colours.size(); ++i) {
        HBRUSH b = CreateSolidBrush(Colours[i]);
        RECT r{static_cast<int>(i) * Size, 0, static_cast<int>(i + 1) * Size, Size};
        FillRect(dc, &r, b);
        DeleteObject(b);
        SetPixel(dc, static_cast<int>(i) * Size, Size - 1, RGB(255, 0, 255));  // the transparent key
    }
    SelectObject(dc, old);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
    return bitmap;
}

TEST_F(WideButtonsPanelsTest, ClipboardGivesBackWideAndAnsiForms) {
    UcClipboard()->SetAsWideText(kCjk + L"\r\n" + kGreek);
    EXPECT_EQ(UcClipboard()->AsWideText(), kCjk + L"\r\n" + kGreek);
    EXPECT_EQ(classlib::Clipboard()->AsText(), WideToAnsi(kCjk + L"\r\n" + kGreek));
    // Another program reads the Unicode text format with its terminator.
    ASSERT_TRUE(OpenClipboard(nullptr));
    HANDLE data = GetClipboardData(CF_UNICODETEXT);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(GlobalSize(data), (kCjk.size() + 2 + kGreek.size() + 1) * sizeof(wchar_t));
    EXPECT_EQ(std::wstring(static_cast<const wchar_t*>(GlobalLock(data))), kCjk + L"\r\n" + kGreek);
    GlobalUnlock(data);
    CloseClipboard();
    // An empty text is a text too.
    UcClipboard()->SetAsWideText(L"");
    EXPECT_EQ(UcClipboard()->AsWideText(), L"");
    UcClipboard()->Clear();
    EXPECT_FALSE(UcClipboard()->HasFormat(CF_UNICODETEXT));
    EXPECT_EQ(UcClipboard()->AsWideText(), L"");
}

TEST_F(WideButtonsPanelsTest, CanvasTextIsMeasuredAndClippedWide) {
    classlib::TCanvas canvas;
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, 200, 40);
    ReleaseDC(nullptr, screen);
    HGDIOBJ old = SelectObject(dc, bitmap);
    canvas.SetHandle(dc);
    SIZE expected{};
    SelectObject(dc, canvas.Font()->Handle());
    GetTextExtentPoint32W(dc, kCjk.c_str(), static_cast<int>(kCjk.size()), &expected);
    EXPECT_EQ(WideCanvasTextWidth(&canvas, kCjk), expected.cx);
    EXPECT_EQ(WideCanvasTextHeight(&canvas, kCjk), expected.cy);
    EXPECT_EQ(WideCanvasTextExtent(&canvas, L"").cx, 0);
    WideCanvasTextOut(&canvas, 3, 4, kGreek);
    EXPECT_EQ(canvas.PenPos().x, 3 + WideCanvasTextWidth(&canvas, kGreek));
    canvas.SetHandle(nullptr);
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);

    // Text drawn in a rectangle leaves no ink outside it.
    auto inkOutside = quill_test::InkOf(RGB(0, 0, 0), 200, 40, [&](HDC d) {
        classlib::TCanvas c;
        c.SetHandle(d);
        c.Font()->SetColor(classlib::clBlack);
        c.Brush()->SetStyle(classlib::TBrushStyle::bsClear);
        WideCanvasTextRect(&c, RECT{0, 0, 20, 40}, 2, 2, kCjk + kCjk);
        c.SetHandle(nullptr);
    });
    EXPECT_GT(inkOutside.Count, 0);
    EXPECT_LT(inkOutside.Right, 20);
}

TEST_F(WideButtonsPanelsTest, SpeedButtonsDrawWideCaptionsEmbossedWhenDisabledAndKeepTheirGroup) {
    auto* one = new TUcSpeedButton(form);
    one->SetParent(form);
    one->SetBounds(10, 10, 120, 30);
    one->SetFlat(true);
    one->SetCaption(L"&" + kCjk);
    auto paintHighlight = [&] {
        return quill_test::InkOf(classlib::ColorToRGB(classlib::clBtnHighlight), 120, 30,
                                 [&](HDC dc) { one->Perform(WM_PAINT, reinterpret_cast<WPARAM>(dc), 0); }).Count;
    };
    EXPECT_EQ(paintHighlight(), 0);
    one->SetEnabled(false);
    EXPECT_GT(paintHighlight(), 0);
    one->SetEnabled(true);

    auto* two = new TUcSpeedButton(form);
    two->SetParent(form);
    two->SetBounds(140, 10, 60, 30);
    one->SetGroupIndex(1);
    two->SetGroupIndex(1);
    int clicks = 0;
    one->OnClick = [&](classlib::TObject*) { ++clicks; };
    form->Show();
    // The user presses the first button: it stays down; the accelerator of the second (none)
    // changes nothing; pressing the second brings the first up.
    one->Perform(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    one->Perform(WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    EXPECT_EQ(clicks, 1);
    EXPECT_TRUE(one->Down());
    two->Perform(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    two->Perform(WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    EXPECT_TRUE(two->Down());
    EXPECT_FALSE(one->Down());
    // A release outside the button does not click.
    one->Perform(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    one->Perform(WM_LBUTTONUP, 0, MAKELPARAM(500, 5));
    EXPECT_EQ(clicks, 1);
    // The wide accelerator (a character above 255) clicks it.
    EXPECT_EQ(form->Perform(classlib::CM_DIALOGCHAR, kCjk[0], 0), 1);
    EXPECT_EQ(clicks, 2);
    EXPECT_EQ(one->Caption(), L"&" + kCjk);
    EXPECT_EQ(one->Text(), WideToAnsi(L"&" + kCjk));
}

TEST_F(WideButtonsPanelsTest, GlyphsGiveEachStateItsImage) {
    auto* button = new TUcSpeedButton(form);
    button->SetGlyph(MakeStrip(16, {RGB(255, 0, 0), RGB(0, 255, 0)}));
    EXPECT_EQ(button->NumGlyphs(), 2);
    classlib::TButtonGlyph* glyph = UcGlyphButton_GetGlyph(button);
    ASSERT_EQ(glyph, button->ButtonGlyph());
    int up = glyph->GlyphIndex(classlib::TButtonState::bsUp);
    // Fewer than three images: the disabled state shows the first one.
    EXPECT_EQ(glyph->GlyphIndex(classlib::TButtonState::bsDisabled), up);
    auto red = quill_test::InkOf(RGB(255, 0, 0), 16, 16, [&](HDC dc) { glyph->DrawGlyph(dc, 0, 0, classlib::TButtonState::bsUp); });
    EXPECT_GT(red.Count, 200);
    // Three images: the disabled and the down states have their own.
    button->SetGlyph(MakeStrip(16, {RGB(255, 0, 0), RGB(0, 255, 0), RGB(0, 0, 255)}));
    EXPECT_EQ(button->NumGlyphs(), 3);
    auto green = quill_test::InkOf(RGB(0, 255, 0), 16, 16, [&](HDC dc) { glyph->DrawGlyph(dc, 0, 0, classlib::TButtonState::bsDisabled); });
    EXPECT_GT(green.Count, 200);
    auto blue = quill_test::InkOf(RGB(0, 0, 255), 16, 16, [&](HDC dc) { glyph->DrawGlyph(dc, 0, 0, classlib::TButtonState::bsDown); });
    EXPECT_GT(blue.Count, 200);
    EXPECT_EQ(quill_test::MessageOf<classlib::Exception>([&] { UcGlyphButton_GetGlyph(form); }),
              L"Internal Error: Control does not support IUcGlyphButton.");
}

// A speed or bit button linked to an action shows the action's picture when it has no glyph of
// its own; its own glyph stays, and an action without a picture in its list gives none.
TEST_F(WideButtonsPanelsTest, GlyphButtonsWithoutGlyphTakeTheirActionsPicture) {
    auto* images = new classlib::TImageList(form);
    images->SetWidth(16);
    images->SetHeight(16);
    HBITMAP strip = MakeStrip(16, {RGB(255, 0, 0), RGB(0, 160, 0)});
    images->AddMasked(strip, static_cast<classlib::TColor>(RGB(255, 0, 255)));
    DeleteObject(strip);
    auto* actions = new classlib::TActionList(form);
    actions->SetImages(images);
    auto action = [&](int Image) {
        auto* made = new classlib::TAction(form);
        made->SetActionList(actions);
        made->SetImageIndex(Image);
        return made;
    };
    auto green = [](classlib::TButtonGlyph* Glyph) {
        return quill_test::InkOf(RGB(0, 160, 0), 16, 16, [&](HDC dc) { Glyph->DrawGlyph(dc, 0, 0, classlib::TButtonState::bsUp); }).Count;
    };

    auto* speed = new TUcSpeedButton(form);
    speed->SetAction(action(1));
    ASSERT_FALSE(speed->ButtonGlyph()->Empty());
    EXPECT_EQ(speed->ButtonGlyph()->GlyphSize().cx, 16);
    EXPECT_GT(green(speed->ButtonGlyph()), 200);
    auto* bit = new TUcBitBtn(form);
    bit->SetAction(action(1));
    EXPECT_GT(green(bit->ButtonGlyph()), 200);

    auto* own = new TUcSpeedButton(form);
    own->SetGlyph(MakeStrip(16, {RGB(255, 0, 0)}));
    own->SetAction(action(1));
    EXPECT_EQ(green(own->ButtonGlyph()), 0);
    for (int image : {-1, 2}) {
        auto* none = new TUcSpeedButton(form);
        none->SetAction(action(image));
        EXPECT_TRUE(none->ButtonGlyph()->Empty()) << image;
    }
}

TEST_F(WideButtonsPanelsTest, BitButtonKindsCaptionsAndClicks) {
    auto* ok = new TUcBitBtn(form);
    ok->SetParent(form);
    ok->SetBounds(10, 60, 100, 28);
    ok->SetKind(classlib::TBitBtnKind::bkOK);
    EXPECT_EQ(ok->Caption(), L"OK");
    EXPECT_EQ(ok->ModalResult(), classlib::mrOk);
    EXPECT_TRUE(ok->Default());
    EXPECT_FALSE(ok->IsCaptionStored());
    ok->SetCaption(kGreek);
    EXPECT_TRUE(ok->IsCaptionStored());
    HWND h = ok->Handle();
    EXPECT_TRUE(IsWindowUnicode(h));
    EXPECT_EQ(WindowText(h), kGreek);
    EXPECT_EQ(GetWindowLongPtrW(h, GWL_STYLE) & 0x0F, BS_OWNERDRAW);
    form->Show();
    Pump();
    // A click through the window sets the form's result.
    SendMessageW(h, BM_CLICK, 0, 0);
    Pump();
    EXPECT_EQ(form->ModalResult(), classlib::mrOk);
    // Focus moves keep the button owner-drawn.
    ok->SetFocus();
    Pump();
    EXPECT_EQ(GetWindowLongPtrW(h, GWL_STYLE) & 0x0F, BS_OWNERDRAW);
}

// The wide bit button stores its caption by the class library's own stored-test of TBitBtn (of
// TButton for a custom kind); without that published property it reports the missing property.
TEST_F(WideButtonsPanelsTest, BitButtonStoresItsCaptionAsTheClassLibraryWould) {
    auto* bit = new TUcBitBtn(form);
    bit->SetKind(classlib::TBitBtnKind::bkCancel);
    EXPECT_FALSE(bit->IsCaptionStored());  // the kind's own caption
    bit->SetCaption(kCjk);
    EXPECT_TRUE(bit->IsCaptionStored());
    // Custom: stored unless its action gives it.
    bit->SetKind(classlib::TBitBtnKind::bkCustom);
    auto* action = new widgets::TUcAction(form);
    action->SetCaption(kGreek);
    bit->SetAction(action);
    EXPECT_EQ(bit->Caption(), kGreek);
    EXPECT_FALSE(bit->IsCaptionStored());
    bit->SetCaption(kCjk);
    EXPECT_TRUE(bit->IsCaptionStored());
    // Written wide when stored, and read back.
    classlib::TMemoryStream stream;
    {
        classlib::TWriter writer(&stream);
        writer.WriteRootComponent(bit);
    }
    stream.SetPosition(0);
    TUcBitBtn copy(nullptr);
    classlib::TReader reader(&stream);
    reader.ReadRootComponent(&copy);
    EXPECT_EQ(copy.Caption(), kCjk);
    EXPECT_EQ(copy.Kind(), classlib::TBitBtnKind::bkCustom);

    // The class library's declarations taken away (and put back whatever happens).
    struct TRestore {
        ~TRestore() { classlib::RegisterStreamClasses(); }
    } restore;
    classlib::UnregisterPublishedProperties(L"TButton");
    EXPECT_EQ(quill_test::MessageOf<classlib::EPropertyError>([&] { bit->IsCaptionStored(); }),
              L"Property Caption does not exist");
    bit->SetKind(classlib::TBitBtnKind::bkOK);  // asks TBitBtn's, which it declares itself
    EXPECT_EQ(bit->Caption(), L"OK");
    EXPECT_FALSE(bit->IsCaptionStored());
    classlib::UnregisterPublishedProperties(L"TBitBtn");
    EXPECT_THROW(bit->IsCaptionStored(), classlib::EPropertyError);
}

TEST_F(WideButtonsPanelsTest, PanelPaintsItsWideCaption) {
    auto* panel = new TUcPanel(form);
    panel->SetParent(form);
    panel->SetBounds(0, 0, 200, 40);
    panel->SetBevelOuter(classlib::TPanelBevel::bvNone);
    auto ink = [&] {
        return quill_test::InkOf(RGB(0, 0, 0), 200, 40, [&](HDC dc) {
            panel->Canvas()->SetHandle(dc);
            panel->Perform(WM_PAINT, reinterpret_cast<WPARAM>(dc), 0);
            panel->Canvas()->SetHandle(nullptr);
        });
    };
    panel->Font()->SetColor(classlib::clBlack);
    panel->SetCaption(kCjk);
    EXPECT_EQ(WindowText(panel->Handle()), kCjk);
    auto wide = ink();
    panel->SetCaption(classlib::AnsiToWide(WideToAnsi(kCjk)));  // what an ANSI panel would show
    auto ansi = ink();
    EXPECT_GT(wide.Count, 0);
    EXPECT_NE(wide.Count, ansi.Count);
    // The border and bevels move the client area in.
    panel->SetBevelOuter(classlib::TPanelBevel::bvRaised);
    panel->SetBorderWidth(3);
    EXPECT_EQ(panel->ClientRect().left, 4);
}

// A panel asks the system whether themes are on, as the hover widgets do. Themed, one that takes its
// parent's background shows it in place of its border and fill (its bevel stays), and hands it on to
// a child that does too; one with a background of its own paints as without themes.
TEST_F(WideButtonsPanelsTest, ThemedPanelsShowTheirParentsBackgroundInPlaceOfBorderAndFill) {
    struct TUnforce {
        ~TUnforce() { classlib::SetThemesEnabledForTesting(std::nullopt); }
    } unforce;
    form->SetColor(classlib::clBlue);
    auto* panel = new TUcPanel(form);
    panel->SetParent(form);
    panel->SetBounds(20, 30, 120, 60);
    panel->SetColor(classlib::clRed);
    panel->SetBorderWidth(5);
    panel->SetCaption(L"");
    auto* inner = new TUcPanel(form);
    inner->SetParent(panel);
    inner->SetBounds(10, 10, 60, 30);
    inner->SetColor(classlib::clLime);
    inner->SetBevelOuter(classlib::TPanelBevel::bvNone);
    inner->SetCaption(L"");
    form->Show();
    constexpr int kInside = (120 - 2) * (60 - 2);  // inside the raised bevel of a pixel
    const COLORREF red = RGB(255, 0, 0), blue = RGB(0, 0, 255);
    using quill_test::PaintedInk;

    // The expectation from what the system does rather than from the calls the library makes: it
    // hands a window of this program the theme of its buttons exactly when themes are on for it.
    HTHEME buttons = OpenThemeData(form->Handle(), L"BUTTON");
    const bool themed = buttons != nullptr;
    if (buttons != nullptr) CloseThemeData(buttons);
    EXPECT_EQ(themed, classlib::ThemesEnabled());
    EXPECT_EQ(themed, hover::ThemesEnabled());
    EXPECT_EQ(themed ? 0 : kInside, PaintedInk(panel, red).Count) << "themes " << (themed ? "on" : "off");

    classlib::SetThemesEnabledForTesting(false);
    EXPECT_EQ(kInside, PaintedInk(panel, red).Count) << "border and fill in the panel's colour";
    EXPECT_EQ(0, PaintedInk(panel, blue).Count);
    EXPECT_FALSE(hover::ThemesEnabled()) << "the hover widgets get the same answer";
    EXPECT_EQ(60 * 30, PaintedInk(inner, RGB(0, 255, 0)).Count);

    classlib::SetThemesEnabledForTesting(true);
    ASSERT_TRUE(panel->ParentBackground());
    EXPECT_EQ(0, PaintedInk(panel, red).Count) << "neither border nor fill";
    EXPECT_EQ(kInside, PaintedInk(panel, blue).Count) << "the parent's background shows through";
    EXPECT_GT(PaintedInk(panel, classlib::ColorToRGB(classlib::clBtnHighlight)).Count, 120 - 2) << "the bevel";
    EXPECT_EQ(60 * 30, PaintedInk(inner, blue).Count) << "the form's colour, not the outer panel's";

    panel->SetParentBackground(false);
    EXPECT_EQ(kInside, PaintedInk(panel, red).Count);
    EXPECT_EQ(0, PaintedInk(panel, blue).Count);
}

TEST_F(WideButtonsPanelsTest, ImageLoadsPicturesByWideNamesAndRefusesBadFiles) {
    auto* image = new TUcImage(form);
    int changes = 0;
    image->Picture()->OnChange = [&](classlib::TObject*) { ++changes; };
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    std::wstring name = std::wstring(temp) + kCjk + L".bmp";
    // A 2 x 2 24-bit bitmap file.
    {
        std::vector<unsigned char> file = {'B', 'M', 70, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0, 40, 0, 0, 0, 2, 0, 0, 0, 2, 0,
                                           0, 0, 1, 0, 24, 0, 0, 0, 0, 0, 16, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                           0, 0, 0, 0, 0, 0};
        for (int i = 0; i < 2; ++i) file.insert(file.end(), {0, 0, 255, 0, 0, 255, 0, 0});
        HANDLE f = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(f, INVALID_HANDLE_VALUE);
        DWORD written = 0;
        WriteFile(f, file.data(), static_cast<DWORD>(file.size()), &written, nullptr);
        CloseHandle(f);
    }
    image->Picture()->LoadFromWideFile(name);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(image->Picture()->Width(), 2);
    EXPECT_EQ(image->Picture()->Height(), 2);
    // A truncated file is refused with an error; the picture keeps what it had.
    {
        HANDLE f = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD written = 0;
        WriteFile(f, "BM", 2, &written, nullptr);
        CloseHandle(f);
    }
    EXPECT_THROW(image->Picture()->LoadFromWideFile(name), classlib::Exception);
    EXPECT_EQ(image->Picture()->Width(), 2);
    DeleteFileW(name.c_str());
    EXPECT_EQ(quill_test::MessageOf<classlib::Exception>([&] { image->Picture()->LoadFromWideFile(L"x.gif"); }),
              L"Unknown picture file extension (.gif)");
    image->SetHint(kGreek);
    EXPECT_EQ(image->Hint(), kGreek);
}

TEST_F(WideButtonsPanelsTest, ImageListsKeepImagesAndGiveThemBack) {
    classlib::TImageList list(nullptr);
    HBITMAP strip = MakeStrip(16, {RGB(0, 0, 255), RGB(0, 128, 0)});
    EXPECT_EQ(list.AddMasked(strip, classlib::clDefault), 0);
    DeleteObject(strip);
    EXPECT_EQ(list.Count(), 2);
    HBITMAP second = list.GetBitmap(1);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, second);
    EXPECT_EQ(GetPixel(dc, 8, 8), RGB(0, 128, 0));
    SelectObject(dc, old);
    DeleteDC(dc);
    DeleteObject(second);
    EXPECT_EQ(quill_test::MessageOf<classlib::Exception>([&] { list.GetBitmap(2); }), L"Invalid image index");
    list.SetWidth(24);
    EXPECT_EQ(list.Count(), 0);
}

}  // namespace
