// One wide form with every wide control, each showing a text outside code page 1252, photographed
// under Xvfb: the picture is kept in the build folder's screenshots as wide_controls.bmp, and each
// control's place in it is compared with what the control reports. The same form with the texts'
// ANSI forms ("?" for every character outside the code page) must look different in every place.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <vector>

#include "classlib/conversions.h"
#include "uc_test_support.h"
#include "window_screenshot.h"
#include "widgets/unicode/uc_buttons.h"
#include "widgets/unicode/uc_check_list_box.h"
#include "widgets/unicode/uc_com_controls.h"
#include "widgets/unicode/uc_edits.h"
#include "widgets/unicode/uc_grids.h"
#include "widgets/unicode/uc_list_box.h"
#include "widgets/unicode/uc_panels.h"
#include "widgets/unicode/uc_radio_group.h"
#include "widgets/unicode/uc_rich_edit.h"
#include "widgets/unicode/uc_std_buttons.h"
#include "widgets/unicode/uc_std_controls.h"

using namespace uctest;
using namespace widgets;
using classlib::WideToAnsi;

namespace {

// The client area of a window as the screen shows it, as 32-bit pixels.
struct TShot {
    int Width = 0, Height = 0;
    std::vector<DWORD> Pixels;
    DWORD At(int X, int Y) const { return Pixels[static_cast<size_t>(Y) * Width + X]; }
};

TShot Photograph(HWND Window) {
    RECT client{};
    GetClientRect(Window, &client);
    TShot shot;
    shot.Width = client.right;
    shot.Height = client.bottom;
    HDC screen = GetDC(Window);
    HDC mem = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, shot.Width, shot.Height);
    HGDIOBJ old = SelectObject(mem, bitmap);
    BitBlt(mem, 0, 0, shot.Width, shot.Height, screen, 0, 0, SRCCOPY);
    SelectObject(mem, old);
    BITMAPINFO info{};
    info.bmiHeader = BITMAPINFOHEADER{sizeof(BITMAPINFOHEADER), shot.Width, -shot.Height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    shot.Pixels.resize(static_cast<size_t>(shot.Width) * shot.Height);
    GetDIBits(mem, bitmap, 0, shot.Height, shot.Pixels.data(), &info, DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(mem);
    ReleaseDC(Window, screen);
    return shot;
}

// Writes the picture as a 24-bit BMP file.
bool SaveBmp(const TShot& Shot, const wchar_t* Name) {
    const int stride = (Shot.Width * 3 + 3) & ~3;
    BITMAPFILEHEADER file{};
    BITMAPINFOHEADER info{sizeof(BITMAPINFOHEADER), Shot.Width, Shot.Height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof(file) + sizeof(info);
    file.bfSize = file.bfOffBits + static_cast<DWORD>(stride) * Shot.Height;
    FILE* f = _wfopen(quill_test::ScreenshotPath(Name).c_str(), L"wb");
    if (f == nullptr) return false;
    std::fwrite(&file, sizeof(file), 1, f);
    std::fwrite(&info, sizeof(info), 1, f);
    std::vector<unsigned char> row(static_cast<size_t>(stride), 0);
    for (int y = Shot.Height - 1; y >= 0; --y) {
        for (int x = 0; x < Shot.Width; ++x) {
            DWORD p = Shot.At(x, y);
            row[static_cast<size_t>(x) * 3] = static_cast<unsigned char>(p & 0xFF);
            row[static_cast<size_t>(x) * 3 + 1] = static_cast<unsigned char>((p >> 8) & 0xFF);
            row[static_cast<size_t>(x) * 3 + 2] = static_cast<unsigned char>((p >> 16) & 0xFF);
        }
        std::fwrite(row.data(), 1, row.size(), f);
    }
    return std::fclose(f) == 0;
}

// One control's showing: where its text is, what it reports (from its window where it has one)
// and how to give it the ANSI form of its text instead.
struct TShown {
    const char* Name;
    std::function<RECT()> Place;  // form client coordinates
    std::function<std::wstring()> Reported;
    std::wstring Text;
    std::function<void(const std::wstring&)> Show;
};

class WideShowcaseTest : public WideTest {
protected:
    RECT PlaceOf(classlib::TControl* Control, RECT Inner) {
        POINT origin = Control->ClientToScreen(POINT{0, 0});
        ScreenToClient(form->Handle(), &origin);
        OffsetRect(&Inner, origin.x, origin.y);
        return Inner;
    }
    RECT PlaceOf(classlib::TControl* Control) { return PlaceOf(Control, RECT{0, 0, Control->Width(), Control->Height()}); }
    template <typename T>
    T* Make(classlib::TWinControl* Parent, int X, int Y, int W, int H) {
        auto* c = new T(form);
        c->SetParent(Parent);
        c->SetBounds(X, Y, W, H);
        return c;
    }
    TUcForm* form = nullptr;
};

TEST_F(WideShowcaseTest, EveryWideControlShowsTheTextItReports) {
    form = new TUcForm(classlib::Application());
    form->AfterConstruction();
    form->SetBounds(20, 20, 780, 620);
    form->SetCaption(kCjk + L" " + kGreek);
    // Greek and Cyrillic: outside code page 1252, and in the fonts the test display has.
    const std::wstring a = kGreek, b = L"\x041F\x0440\x0438\x0432\x0435\x0442";
    std::vector<TShown> shown;
    auto add = [&](const char* Name, std::function<RECT()> Place, std::function<std::wstring()> Reported,
                   std::wstring Text, std::function<void(const std::wstring&)> Show) {
        Show(Text);
        shown.push_back(TShown{Name, std::move(Place), std::move(Reported), std::move(Text), std::move(Show)});
    };

    auto* label = Make<TUcLabel>(form, 10, 46, 150, 20);
    add("label", [=, this] { return PlaceOf(label); }, [=, this] { return label->Caption(); }, a,
        [=, this](const std::wstring& t) { label->SetCaption(t); });
    auto* edit = Make<TUcEdit>(form, 10, 72, 150, 24);
    add("edit", [=, this] { return PlaceOf(edit); }, [=, this] { return WindowText(edit->Handle()); }, b,
        [=, this](const std::wstring& t) { edit->SetText(t); });
    auto* memo = Make<TUcMemo>(form, 10, 102, 150, 50);
    add("memo", [=, this] { return PlaceOf(memo); }, [=, this] { return memo->Lines()->Strings(1); }, a,
        [=, this](const std::wstring& t) { memo->Lines()->SetText(b + L"\r\n" + t); });
    auto* combo = Make<TUcComboBox>(form, 10, 158, 150, 24);
    add("combo box", [=, this] { return PlaceOf(combo); }, [=, this] { return WindowText(combo->Handle()); }, b,
        [=, this](const std::wstring& t) { combo->SetText(t); });
    auto* list = Make<TUcListBox>(form, 10, 188, 150, 50);
    add("list box", [=, this] { return PlaceOf(list); }, [=, this] { return list->Items()->Strings(0); }, a, [=, this](const std::wstring& t) {
        list->Items()->Clear();
        list->Items()->Add(t);
    });
    auto* button = Make<TUcButton>(form, 10, 244, 150, 26);
    add("button", [=, this] { return PlaceOf(button); }, [=, this] { return WindowText(button->Handle()); }, b,
        [=, this](const std::wstring& t) { button->SetCaption(t); });
    auto* check = Make<TUcCheckBox>(form, 10, 276, 150, 22);
    add("check box", [=, this] { return PlaceOf(check); }, [=, this] { return WindowText(check->Handle()); }, a,
        [=, this](const std::wstring& t) { check->SetCaption(t); });
    auto* radio = Make<TUcRadioButton>(form, 10, 302, 150, 22);
    add("radio button", [=, this] { return PlaceOf(radio); }, [=, this] { return WindowText(radio->Handle()); }, b,
        [=, this](const std::wstring& t) { radio->SetCaption(t); });
    auto* groupBox = Make<TUcGroupBox>(form, 10, 330, 150, 60);
    add("group box", [=, this] { return PlaceOf(groupBox, RECT{0, 0, groupBox->Width(), 18}); },
        [=, this] { return groupBox->Caption(); }, a, [=, this](const std::wstring& t) { groupBox->SetCaption(t); });

    auto* tools = Make<TUcToolBar>(form, 180, 10, 260, 30);
    tools->SetShowCaptions(true);
    auto* tool = new TUcToolButton(form);
    tool->SetParent(tools);
    add("tool button", [=, this] { return PlaceOf(tools); }, [=, this] { return tools->ButtonWindowText(0); }, b,
        [=, this](const std::wstring& t) { tool->SetCaption(t); });
    auto* pages = Make<TUcPageControl>(form, 180, 82, 260, 90);
    auto* sheet = new TUcTabSheet(form);
    sheet->SetPageControl(pages);
    add("tab sheet", [=, this] {
            RECT tab{};
            SendMessageW(pages->Handle(), TCM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&tab));
            return PlaceOf(pages, tab);
        },
        [=, this] { return pages->TabWindowText(0); }, a, [=, this](const std::wstring& t) { sheet->SetCaption(t); });
    auto* rich = Make<TUcRichEdit>(form, 180, 178, 260, 50);
    add("rich edit", [=, this] { return PlaceOf(rich); }, [=, this] { return rich->Lines()->Strings(0); }, b,
        [=, this](const std::wstring& t) { rich->Lines()->SetText(t); });
    auto* grid = Make<TUcStringGrid>(form, 180, 234, 260, 80);
    grid->SetColCount(3);
    grid->SetRowCount(3);
    grid->SetDefaultColWidth(80);
    grid->SetCol(2);
    add("string grid", [=, this] { return PlaceOf(grid, grid->CellRect(1, 1)); }, [=, this] { return grid->Cells(1, 1); }, a,
        [=, this](const std::wstring& t) { grid->SetCells(1, 1, t); });
    auto* checks = Make<TUcCheckListBox>(form, 180, 320, 260, 50);
    add("check list box", [=, this] { return PlaceOf(checks); },
        [=, this] {
            wchar_t text[64] = {};
            SendMessageW(checks->Handle(), LB_GETTEXT, 0, reinterpret_cast<LPARAM>(text));
            return std::wstring(text);
        },
        b, [=, this](const std::wstring& t) {
            checks->Items()->Clear();
            checks->Items()->Add(t);
            checks->SetChecked(0, true);
        });
    auto* radios = Make<TUcRadioGroup>(form, 180, 376, 260, 80);
    radios->Items()->Add(L"-");
    add("radio group", [=, this] { return PlaceOf(radios, RECT{0, 0, radios->Width(), 16}); }, [=, this] { return radios->Caption(); }, a,
        [=, this](const std::wstring& t) { radios->SetCaption(t); });
    add("radio group button", [=, this] { return PlaceOf(radios->Buttons(0)); },
        [=, this] { return WindowText(radios->Buttons(0)->Handle()); }, b,
        [=, this](const std::wstring& t) { radios->Items()->Strings(0) == t ? void() : radios->Items()->Put(0, t); });

    auto* speed = Make<TUcSpeedButton>(form, 460, 46, 150, 28);
    add("speed button", [=, this] { return PlaceOf(speed); }, [=, this] { return speed->Caption(); }, a,
        [=, this](const std::wstring& t) { speed->SetCaption(t); });
    auto* bit = Make<TUcBitBtn>(form, 460, 80, 150, 28);
    add("bit button", [=, this] { return PlaceOf(bit); }, [=, this] { return WindowText(bit->Handle()); }, b,
        [=, this](const std::wstring& t) { bit->SetCaption(t); });
    auto* panel = Make<TUcPanel>(form, 460, 114, 150, 40);
    add("panel", [=, this] { return PlaceOf(panel); }, [=, this] { return WindowText(panel->Handle()); }, a,
        [=, this](const std::wstring& t) { panel->SetCaption(t); });
    auto* status = new TUcStatusBar(form);
    status->SetParent(form);
    status->Panels()->Add()->SetWidth(200);
    status->Panels()->Add();
    add("status panel", [=, this] { return PlaceOf(status, RECT{0, 0, 200, status->Height()}); },
        [=, this] { return status->PanelWindowTextW(0); }, b, [=, this](const std::wstring& t) { status->Panels()->Items(0)->SetText(t); });

    // Controls without a text of their own report their wide hints.
    auto* track = Make<TUcTrackBar>(form, 460, 166, 150, 30);
    auto* image = Make<TUcImage>(form, 460, 206, 32, 32);
    auto* shape = Make<TUcShape>(form, 500, 206, 32, 32);
    auto* bevel = Make<TUcBevel>(form, 540, 206, 32, 32);
    track->SetHint(a);
    image->SetHint(b);
    shape->SetHint(a);
    bevel->SetHint(b);
    image->Picture()->SetIcon(CopyIcon(LoadIconW(nullptr, MAKEINTRESOURCEW(0x7F04))));

    form->Show();
    SetForegroundWindow(form->Handle());
    auto settle = [&] {
        RedrawWindow(form->Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        Pump(100);
    };
    settle();
    TShot wide = Photograph(form->Handle());
    EXPECT_TRUE(SaveBmp(wide, L"wide_controls.bmp"));

    EXPECT_EQ(WindowText(form->Handle()), kCjk + L" " + kGreek);
    EXPECT_EQ(tools->Align(), classlib::TAlign::alTop);
    EXPECT_EQ(track->Hint(), a);
    EXPECT_EQ(image->Hint(), b);
    EXPECT_EQ(shape->Hint(), a);
    EXPECT_EQ(bevel->Hint(), b);
    std::vector<RECT> places;
    for (const TShown& s : shown) {
        EXPECT_EQ(s.Reported(), s.Text) << s.Name;
        RECT r = s.Place();
        IntersectRect(&r, &r, std::array<RECT, 1>{RECT{0, 0, wide.Width, wide.Height}}.data());
        EXPECT_FALSE(IsRectEmpty(&r)) << s.Name;
        places.push_back(r);
        // Ink of the text's colours in its place.
        int ink = 0;
        COLORREF text = GetSysColor(COLOR_WINDOWTEXT), buttonText = GetSysColor(COLOR_BTNTEXT);
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x) {
                DWORD p = wide.At(x, y) & 0xFFFFFF;
                COLORREF c = RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
                if (c == text || c == buttonText) ++ink;
            }
        EXPECT_GT(ink, 10) << s.Name;
    }

    // The ANSI forms of the same texts: every place looks different.
    for (const TShown& s : shown) s.Show(classlib::AnsiToWide(WideToAnsi(s.Text)));
    settle();
    TShot ansi = Photograph(form->Handle());
    SaveBmp(ansi, L"wide_controls_ansi_forms.bmp");
    for (size_t i = 0; i < shown.size(); ++i) {
        EXPECT_NE(shown[i].Reported(), shown[i].Text) << shown[i].Name;
        const RECT& r = places[i];
        int changed = 0;
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x)
                if ((wide.At(x, y) & 0xFFFFFF) != (ansi.At(x, y) & 0xFFFFFF)) ++changed;
        EXPECT_GT(changed, 10) << shown[i].Name;
    }
}

}  // namespace
