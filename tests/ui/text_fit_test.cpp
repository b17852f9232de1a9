// The texts of the about, help and overlay panels show whole at the screen's resolution: every line
// of their rich texts ends inside its box (the last character's ink measured in its own font), and
// the overlay's border drop-down has room for its picture, its widest caption and its arrow. CTest
// runs these tests at 96 dots per inch and at 120 (tests/ui/wine_120dpi.sh); whole-screen grabs of
// the three panels are kept in the build folder's screenshots, as screen_*.bmp.
#include <windows.h>
#include <richedit.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "classlib/conversions.h"
#include "classlib/gdi_handles.h"
#include "tests/common/window_screenshot.h"
#include "tests/ui/capture_form_fixture.h"
#include "ui/apropos_frame.h"
#include "ui/help_frame.h"
#include "ui/incruster_frame.h"
#include "ui/options_frame.h"
#include "ui/panel_frame.h"
#include "ui/system_report.h"

namespace {

using namespace quill_test;

int ExpectedDpi() {
    wchar_t value[16] = {};
    const DWORD n = GetEnvironmentVariableW(L"QUILL_WINE_DPI", value, 16);
    return n > 0 && n < 16 ? _wtoi(value) : 96;
}

std::wstring DpiSuffix() { return ExpectedDpi() == 96 ? L"" : L"_" + std::to_wstring(ExpectedDpi()) + L"dpi"; }

// The whole screen as it shows Form's window on top, kept as screen_<Name>[_<dpi>dpi].bmp.
int GrabScreen(HWND Form, const std::wstring& Name) {
    SetWindowPos(Form, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
    RedrawWindow(Form, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
    PumpWindowMessages(5, 20);
    return SaveWindowScreenshot(GetDesktopWindow(), L"screen_" + Name + DpiSuffix() + L".bmp");
}

// The right end of the ink of character Index of a rich edit, in client pixels: its place plus its
// width in its own character format (for a slanted glyph, whichever of its advance and its ink
// reaches further).
int InkRight(HWND Edit, int Index, wchar_t Character) {
    POINTL at{};
    SendMessageW(Edit, EM_POSFROMCHAR, reinterpret_cast<WPARAM>(&at), Index);
    CHARRANGE one{Index, Index + 1};
    SendMessageW(Edit, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&one));
    CHARFORMAT2W cf{};
    cf.cbSize = sizeof cf;
    SendMessageW(Edit, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&cf));
    classlib::TWindowDC screen(nullptr);
    LOGFONTW lf{};
    lf.lfHeight = -MulDiv(cf.yHeight, GetDeviceCaps(screen.Get(), LOGPIXELSY), 1440);
    lf.lfWeight = (cf.dwEffects & CFE_BOLD) != 0 ? FW_BOLD : FW_NORMAL;
    lf.lfItalic = (cf.dwEffects & CFE_ITALIC) != 0 ? TRUE : FALSE;
    lf.lfCharSet = DEFAULT_CHARSET;
    wcsncpy(lf.lfFaceName, cf.szFaceName, LF_FACESIZE - 1);
    classlib::TOwnedFont font(CreateFontIndirectW(&lf));
    classlib::TSelectedObject selected(screen.Get(), font.Get());
    ABC abc{};
    int width = 0;
    if (GetCharABCWidthsW(screen.Get(), Character, Character, &abc)) {
        width = std::max<int>(abc.abcA + static_cast<int>(abc.abcB), abc.abcA + static_cast<int>(abc.abcB) + abc.abcC);
    } else {
        SIZE size{};
        GetTextExtentPoint32W(screen.Get(), &Character, 1, &size);
        width = size.cx;
    }
    return at.x + width;
}

// The lines of a rich edit whose last visible character does not end inside the client area.
std::vector<std::string> CutLines(classlib::TWinControl* Edit) {
    std::vector<std::string> cut;
    HWND h = Edit->Handle();
    RECT client{};
    GetClientRect(h, &client);
    CHARRANGE kept{};
    SendMessageW(h, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&kept));
    const int lines = static_cast<int>(SendMessageW(h, EM_GETLINECOUNT, 0, 0));
    for (int line = 0; line < lines; ++line) {
        const int start = static_cast<int>(SendMessageW(h, EM_LINEINDEX, line, 0));
        const int length = static_cast<int>(SendMessageW(h, EM_LINELENGTH, start, 0));
        if (start < 0 || length <= 0) continue;
        std::wstring text(static_cast<size_t>(length) + 1, L'\0');
        TEXTRANGEW range{{start, start + length}, text.data()};
        text.resize(static_cast<size_t>(SendMessageW(h, EM_GETTEXTRANGE, 0, reinterpret_cast<LPARAM>(&range))));
        const size_t last = text.find_last_not_of(L" \t\r\n");
        if (last == std::wstring::npos) continue;
        const int right = InkRight(h, start + static_cast<int>(last), text[last]);
        if (right > client.right)
            cut.push_back(classlib::WideToUtf8(Edit->Name()) + " line " + std::to_string(line) + " \"" +
                          classlib::WideToUtf8(text.substr(0, last + 1)) + "\" ends at " + std::to_string(right) +
                          " of " + std::to_string(client.right));
    }
    SendMessageW(h, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&kept));
    return cut;
}

std::string Lines(const std::vector<std::string>& Problems) {
    std::string all;
    for (const std::string& p : Problems) all += "\n  " + p;
    return all;
}

class CaptionFitPanelTexts : public StartedFormTest {
protected:
    void Start() {
        StartedFormTest::Start({L"Source video=Quillotrane Test Camera", L"Source Audio=Quillotrane Test Microphone",
                                L"Capture Format=5", L"Preview Locked=0"});
    }
};

TEST_F(CaptionFitPanelTexts, TheAboutPanelsLinesEndInsideTheirBoxes) {
    ASSERT_EQ(ExpectedDpi(), classlib::ScreenPixelsPerInch()) << "the prefix's resolution";
    Start();
    form_->ShowPanel(8);
    ui::TAproposFrame* about = form_->AproposFrame1;
    PumpWindowMessages();
    std::vector<std::string> cut;
    for (classlib::TWinControl* edit : {static_cast<classlib::TWinControl*>(about->le1),
                                        static_cast<classlib::TWinControl*>(about->leHome),
                                        static_cast<classlib::TWinControl*>(about->leMail)}) {
        const auto found = CutLines(edit);
        cut.insert(cut.end(), found.begin(), found.end());
    }
    EXPECT_TRUE(cut.empty()) << cut.size() << " at " << ExpectedDpi() << " dots per inch:" << Lines(cut);
    EXPECT_GT(GrabScreen(form_->Handle(), L"about"), 1000);
}

// The system report with the MP3 encoder's server path, the test prefix's and a deeper one: a long
// path without blanks is no word to wrap at, yet it shows whole.
TEST_F(CaptionFitPanelTexts, TheSystemReportsLinesEndInsideTheirBox) {
    ASSERT_EQ(ExpectedDpi(), classlib::ScreenPixelsPerInch()) << "the prefix's resolution";
    Start();
    ASSERT_TRUE(ui::Mp3EncoderPresent) << "the test prefix's MP3 encoder";
    form_->ShowPanel(7);
    ui::THelpFrame* help = form_->HelpFrame1;
    help->PageControl1->SetActivePage(help->tsSystem);
    PumpWindowMessages();
    std::wstring path, version;
    ASSERT_TRUE(ui::ReadMp3EncoderServer(path, version));
    ASSERT_GT(path.size(), 20u);
    std::wstring all;
    for (const ui::TReportLine& line : help->reSystem->ReportLines()) all += line.Text + L"\n";
    EXPECT_NE(std::wstring::npos, all.find(path)) << classlib::WideToUtf8(all);
    const auto cut = CutLines(help->reSystem);
    EXPECT_TRUE(cut.empty()) << cut.size() << " at " << ExpectedDpi() << " dots per inch:" << Lines(cut);
    EXPECT_GT(GrabScreen(form_->Handle(), L"help_system"), 1000);

    // An encoder installed deep in folders with long names: its path takes three rows, each
    // starting under the first, while the report's own line (and its mail copy) keeps its blanks.
    ui::TSystemFacts facts;
    facts.WindowsVersion = L"Windows XP - build 2600";
    facts.DirectXVersion = L"9.0c";
    facts.Mp3EncoderPresent = true;
    facts.Mp3ServerKnown = true;
    facts.Mp3ServerPath =
        L"C:\\Programs\\Elecard\\LAME_MPEG_Layer_III_Audio_Encoder_Filter\\Release_for_Windows_XP\\x86\\lame_enc.ax";
    facts.Mp3ServerVersion = L"FileVersion = 3.99.5";
    ui::WriteSystemReport(*help, facts);
    PumpWindowMessages();
    const auto deep = CutLines(help->reSystem);
    EXPECT_TRUE(deep.empty()) << deep.size() << " at " << ExpectedDpi() << " dots per inch:" << Lines(deep);
    EXPECT_NE(std::wstring::npos, ui::SystemInfoMailText().find(L"\r\n    " + facts.Mp3ServerPath + L"\r\n"));
    HWND h = help->reSystem->Handle();
    FINDTEXTEXW find{};
    find.chrg = {0, -1};
    find.lpstrText = L"C:\\Programs";
    const LRESULT start = SendMessageW(h, EM_FINDTEXTEXW, FR_DOWN, reinterpret_cast<LPARAM>(&find));
    ASSERT_GE(start, 0);
    const LRESULT firstRow = SendMessageW(h, EM_EXLINEFROMCHAR, 0, start);
    POINTL first{}, next{};
    SendMessageW(h, EM_POSFROMCHAR, reinterpret_cast<WPARAM>(&first), start);
    SendMessageW(h, EM_POSFROMCHAR, reinterpret_cast<WPARAM>(&next), SendMessageW(h, EM_LINEINDEX, firstRow + 1, 0));
    EXPECT_GT(first.x, 5) << "the blanks' room before the path";
    EXPECT_EQ(first.x, next.x) << "the path's next row keeps the indent";
    find.lpstrText = L"lame_enc.ax";
    EXPECT_GE(SendMessageW(h, EM_EXLINEFROMCHAR, 0, SendMessageW(h, EM_FINDTEXTEXW, FR_DOWN, reinterpret_cast<LPARAM>(&find))),
              firstRow + 1)
        << "the path wraps";
    EXPECT_GT(GrabScreen(form_->Handle(), L"help_system_deep_path"), 1000);
}

// The border drop-down shows its picture, its widest caption and its arrow with room around them,
// inside the panel.
TEST_F(CaptionFitPanelTexts, TheOverlaysBorderDropDownHasRoomForItsPictureCaptionAndArrow) {
    ASSERT_EQ(ExpectedDpi(), classlib::ScreenPixelsPerInch()) << "the prefix's resolution";
    Start();
    form_->ShowPanel(4);
    ui::TIncrusterFrame* inlay = form_->IncrusterFrame1;
    hover::TFlatBarButton* border = inlay->tbBorder;
    int widest = 0;
    {
        classlib::TWindowDC screen(nullptr);
        classlib::TSelectedObject font(screen.Get(), border->Font()->Handle());
        for (const char* caption : {"1", "2", "3", "4", "5"}) {
            SIZE size{};
            GetTextExtentPoint32A(screen.Get(), caption, 1, &size);
            widest = std::max<int>(widest, size.cx);
        }
    }
    const SIZE glyph = border->ButtonGlyph()->GlyphSize();
    ASSERT_GT(glyph.cx, 0);
    // A frame of a pixel each side and at least 3 pixels between it and what the button shows.
    const int need = 2 + 2 * 3 + glyph.cx + std::max(border->Spacing(), 0) + widest + border->DropdownArrowWidth();
    EXPECT_LE(need, border->Width()) << "at " << ExpectedDpi() << " dots per inch";
    EXPECT_LE(border->Left() + border->Width(), inlay->ClientWidth() - 4);
    // Each size chosen from the drop-down's menu shows as its caption.
    ASSERT_EQ(6, inlay->pmBorder->Items()->Count());
    for (int size = 1; size <= 5; ++size) {
        inlay->pmBorder->Items()->Items(size)->Click();
        EXPECT_EQ(std::to_string(size), border->Caption());
    }
    inlay->pmBorder->Items()->Items(1)->Click();
    EXPECT_GT(GrabScreen(form_->Handle(), L"inlay"), 1000);
}

}  // namespace
