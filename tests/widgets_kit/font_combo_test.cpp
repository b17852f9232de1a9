// The font combo box against the system's fonts: every family listed once with its type bits,
// the filters on made-up fonts, FontName and OnChange, and the owner-drawn items.
#include <set>

#include "classlib/conversions.h"
#include "classlib/forms.h"
#include "kit_test_support.h"
#include "widgets/kit/font_combo.h"

using namespace classlib;
using namespace widgets::kit;

namespace {

class FontComboTest : public kittest::KitTest {
protected:
    void SetUp() override {
        KitTest::SetUp();
        form = ShownForm();
        box = new TFontComboBox(form);
        box->SetParent(form);
        box->SetBounds(10, 10, 177, 20);
        box->OnChange = [this](TObject*) { ++changes; };
    }
    TForm* form = nullptr;
    TFontComboBox* box = nullptr;
    int changes = 0;
};

struct TFamily {
    std::string name;
    DWORD type;
    BYTE charset;
};

int CALLBACK CollectFamily(const LOGFONTA* lf, const TEXTMETRICA*, DWORD type, LPARAM p) {
    auto* v = reinterpret_cast<std::vector<TFamily>*>(p);
    // Vertical ("@") variants are not offered.
    if (lf->lfFaceName[0] == '@') return 1;
    for (const auto& f : *v)
        if (f.name == lf->lfFaceName) return 1;
    v->push_back({lf->lfFaceName, type, lf->lfCharSet});
    return 1;
}

std::vector<TFamily> SystemFamilies() {
    std::vector<TFamily> out;
    HDC dc = GetDC(nullptr);
    EnumFontFamiliesA(dc, nullptr, reinterpret_cast<FONTENUMPROCA>(&CollectFamily), reinterpret_cast<LPARAM>(&out));
    ReleaseDC(nullptr, dc);
    return out;
}

TEST_F(FontComboTest, ListsEverySystemFamilyOnceWithItsType) {
    box->HandleNeeded();
    std::vector<TFamily> families = SystemFamilies();
    ASSERT_FALSE(families.empty());
    ASSERT_EQ(box->Items()->Count(), static_cast<int>(families.size()));
    bool sawSymbol = false;
    for (const TFamily& f : families) {
        int i = box->Items()->IndexOf(f.name);
        ASSERT_GE(i, 0) << f.name;
        std::uintptr_t data = box->FontData(i);
        EXPECT_EQ(data & 0xFF, f.type) << f.name;
        EXPECT_EQ((data & kFontDrawsItsName) != 0, f.charset != SYMBOL_CHARSET) << f.name;
        sawSymbol = sawSymbol || f.charset == SYMBOL_CHARSET;
    }
    // Sorted.
    for (int i = 1; i < box->Items()->Count(); ++i)
        EXPECT_LE(AnsiCompareText(AnsiToWide(box->Items()->Get(i - 1)), AnsiToWide(box->Items()->Get(i))), 0);
    // TrueType only: the list shrinks to those, and a surviving choice fires nothing.
    std::string trueType;
    for (const TFamily& f : families)
        if (f.type & TRUETYPE_FONTTYPE) trueType = f.name;
    ASSERT_FALSE(trueType.empty());
    box->SetFontName(trueType);
    changes = 0;
    box->SetTrueTypeOnly(true);
    EXPECT_EQ(changes, 0);
    EXPECT_EQ(box->FontName(), trueType);
    for (int i = 0; i < box->Items()->Count(); ++i) EXPECT_TRUE(box->FontData(i) & TRUETYPE_FONTTYPE);
    (void)sawSymbol;
}

TEST_F(FontComboTest, FontNameAndChangeEvents) {
    box->HandleNeeded();
    ASSERT_GT(box->Items()->Count(), 1);
    std::string name = box->Items()->Get(1);
    std::string other;
    // The same name with every ASCII letter's case swapped.
    for (char c : name) other += c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
    box->SetFontName(other);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(box->ItemIndex(), 1);
    EXPECT_EQ(box->FontName(), name);
    // The same name again: nothing.
    box->SetFontName(name);
    EXPECT_EQ(changes, 1);
    // A drop-down list has no text of its own: no selection, and still one change.
    box->SetFontName("No Such Font Anywhere");
    EXPECT_EQ(box->ItemIndex(), -1);
    EXPECT_EQ(changes, 2);
    // In a drop-down box the text stays; typing a listed name selects it.
    box->SetStyle(TOwnerDrawComboStyle::csDropDown);
    box->SetFontName("Typed Face");
    EXPECT_EQ(box->FontName(), "Typed Face");
    changes = 0;
    ASSERT_NE(box->EditHandle(), nullptr);
    SendMessageA(box->EditHandle(), EM_SETSEL, 0, -1);
    for (char c : name) SendMessageA(box->EditHandle(), WM_CHAR, static_cast<unsigned char>(c), 1);
    kittest::Pump();
    EXPECT_EQ(box->ItemIndex(), 1);
    EXPECT_GE(changes, 1);  // a typed prefix may name another face on the way
}

TEST(FontFilters, RulesOnMadeUpFonts) {
    LOGFONTA lf{};
    lf.lfCharSet = ANSI_CHARSET;
    lf.lfPitchAndFamily = VARIABLE_PITCH;
    EXPECT_TRUE(FontPassesFilters(lf, TRUETYPE_FONTTYPE, 0));
    EXPECT_TRUE(FontPassesFilters(lf, TRUETYPE_FONTTYPE, foAnsiOnly | foTrueTypeOnly | foScalableOnly));
    EXPECT_FALSE(FontPassesFilters(lf, RASTER_FONTTYPE, foTrueTypeOnly));
    EXPECT_FALSE(FontPassesFilters(lf, RASTER_FONTTYPE, foScalableOnly));
    EXPECT_FALSE(FontPassesFilters(lf, TRUETYPE_FONTTYPE, foFixedPitchOnly));
    EXPECT_FALSE(FontPassesFilters(lf, TRUETYPE_FONTTYPE, foOEMFontsOnly));
    lf.lfCharSet = OEM_CHARSET;
    EXPECT_FALSE(FontPassesFilters(lf, RASTER_FONTTYPE, foAnsiOnly));
    EXPECT_FALSE(FontPassesFilters(lf, RASTER_FONTTYPE, foNoOEMFonts));
    EXPECT_TRUE(FontPassesFilters(lf, RASTER_FONTTYPE, foOEMFontsOnly));
    lf.lfCharSet = SYMBOL_CHARSET;
    lf.lfPitchAndFamily = FIXED_PITCH;
    EXPECT_FALSE(FontPassesFilters(lf, TRUETYPE_FONTTYPE, foNoSymbolFonts));
    EXPECT_TRUE(FontPassesFilters(lf, TRUETYPE_FONTTYPE, foFixedPitchOnly));
}

// A box whose panel is hidden lists no fonts at start: the choice of a font waits for its window,
// silently, and falls back to the first font when the name is not installed.
TEST_F(FontComboTest, ChoosingAFontWaitsForTheWindowOfAHiddenBox) {
    std::vector<TFamily> families = SystemFamilies();
    ASSERT_GE(families.size(), 2u);
    auto* hidden = new TFontComboBox(form);
    hidden->SetVisible(false);
    hidden->SetParent(form);
    hidden->OnChange = [this](TObject*) { ++changes; };
    hidden->ChooseFont(families[1].name);
    EXPECT_FALSE(hidden->HandleAllocated());
    EXPECT_EQ(AnsiCompareText(AnsiToWide(hidden->FontName()), AnsiToWide(families[1].name)), 0);
    EXPECT_TRUE(hidden->HandleAllocated());

    auto* other = new TFontComboBox(form);
    other->SetVisible(false);
    other->SetParent(form);
    other->ChooseFont("No Such Font Anywhere");
    other->Show();
    EXPECT_GE(other->ItemIndex(), 0);
    EXPECT_FALSE(other->FontName().empty());
    // With a window the choice is made at once.
    other->ChooseFont(families[1].name);
    EXPECT_EQ(AnsiCompareText(AnsiToWide(other->FontName()), AnsiToWide(families[1].name)), 0);
    EXPECT_EQ(changes, 0);
}

TEST_F(FontComboTest, ItemsAreDrawnWithPictureAndName) {
    box->HandleNeeded();
    int tt = -1;
    for (int i = 0; i < box->Items()->Count() && tt < 0; ++i)
        if (box->FontData(i) & TRUETYPE_FONTTYPE) tt = i;
    ASSERT_GE(tt, 0);
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bmp = CreateCompatibleBitmap(screen, 200, 20);
    ReleaseDC(nullptr, screen);
    HGDIOBJ old = SelectObject(dc, bmp);
    DRAWITEMSTRUCT dis{};
    dis.CtlType = ODT_COMBOBOX;
    dis.itemID = static_cast<UINT>(tt);
    dis.hwndItem = box->Handle();
    dis.hDC = dc;
    dis.rcItem = RECT{0, 0, 200, 20};
    box->Perform(classlib::CN_DRAWITEM, 0, reinterpret_cast<LPARAM>(&dis));
    int pictureInk = 0, textInk = 0;
    COLORREF back = ColorToRGB(box->Color());
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 200; ++x) {
            COLORREF c = GetPixel(dc, x, y);
            if (c == back) continue;
            if (x < 20) ++pictureInk;
            else if (x >= 16 + 6) ++textInk;
        }
    EXPECT_GT(pictureInk, 0);  // the TrueType mark
    EXPECT_GT(textInk, 0);     // the name
    SelectObject(dc, old);
    DeleteObject(bmp);
    DeleteDC(dc);
}

// The face a font of Name is drawn with.
std::string DrawnFace(const char* Name) {
    HFONT font = CreateFontA(-12, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, Name);
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, font);
    char face[LF_FACESIZE] = {};
    GetTextFaceA(dc, LF_FACESIZE, face);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    DeleteObject(font);
    return face;
}

// No vertical "@" face is offered, and a face that is not installed (Arial under Wine) shows as
// the face drawn in its place, not as the first of the list.
TEST_F(FontComboTest, TheBoxShowsTheFaceInUseAndNoVerticalFaces) {
    box->HandleNeeded();
    ASSERT_GT(box->Items()->Count(), 1);
    for (int i = 0; i < box->Items()->Count(); ++i) EXPECT_NE('@', box->Items()->Get(i)[0]) << box->Items()->Get(i);
    for (const char* wanted : {"Arial", "No Such Font Anywhere"}) {
        const std::string drawn = DrawnFace(wanted);
        box->ChooseFont(wanted);
        if (box->Items()->IndexOf(wanted) >= 0)
            EXPECT_EQ(AnsiCompareText(AnsiToWide(box->FontName()), AnsiToWide(wanted)), 0);
        else if (box->Items()->IndexOf(drawn) >= 0)
            EXPECT_EQ(box->FontName(), box->Items()->Get(box->Items()->IndexOf(drawn))) << wanted;
        else
            EXPECT_EQ(box->ItemIndex(), 0) << wanted;
        EXPECT_NE('@', box->FontName()[0]) << wanted;
    }
    EXPECT_EQ(changes, 0);
}

}  // namespace
