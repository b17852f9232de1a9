// The colour button: its arrangement and layout values, choosing from the palette, Automatic and
// Other Colors, the drop-down's place, its drag-away state and its closing, and the painted bar.
#include <windows.h>

#include <gtest/gtest.h>

#include "custom_test_support.h"
#include "widgets/custom/color_button.h"

using namespace customtest;
using namespace widgets::custom;

namespace {

bool HasCaption(HWND W) { return (GetWindowLongPtrW(W, GWL_STYLE) & WS_CAPTION) == WS_CAPTION; }

// The colour dialog answers what the test says, as a user would.
class AnsweredColorButton : public TColorButton {
public:
    using TColorButton::TColorButton;
    bool answer = true;
    classlib::TColor chosen = 0x123456;
    classlib::TColor offered = -1;

protected:
    bool ExecuteColorDialog(classlib::TColor& Color) override {
        offered = Color;
        if (answer) Color = chosen;
        return answer;
    }
};

class ColorButtonTest : public CustomTest {
protected:
    void SetUp() override {
        CustomTest::SetUp();
        form = new classlib::TForm(classlib::Application());
        form->SetBounds(100, 100, 200, 100);
        button = new AnsweredColorButton(form);
        button->SetParent(form);
        button->OnColorSelected = [this](classlib::TObject*, classlib::TColor c) { selected.push_back(c); };
        form->Show();
    }
    classlib::TForm* form = nullptr;
    AnsweredColorButton* button = nullptr;
    std::vector<classlib::TColor> selected;
};

TEST_F(ColorButtonTest, ArrangementAndLayoutValues) {
    EXPECT_EQ(button->Width(), 32);
    EXPECT_EQ(button->Height(), 22);
    button->SetBounds(5, 5, 20, 15);
    EXPECT_EQ(button->Width(), button->DropDownWidth() + 23);
    EXPECT_EQ(button->Height(), 22);
    EXPECT_EQ(button->ColorPart()->Width(), 23);
    EXPECT_EQ(button->ArrowPart()->Left(), 23);
    EXPECT_NE(button->ColorPart()->Glyph(), nullptr);  // from the program's resources
    button->DropDown();
    RECT client{};
    GetClientRect(button->DropDownWindow()->Handle(), &client);
    EXPECT_EQ(client.right, 158);
    EXPECT_EQ(client.bottom, 158);
    EXPECT_EQ(button->Cell(9)->ShownColor(), 0x0066FF);
    EXPECT_EQ(button->Cell(39)->Tag(), 39);
    EXPECT_EQ(button->Cell(8)->Left(), 7);
    EXPECT_EQ(button->Cell(8)->Top(), 2 + 7 + 3 + 22 + 4 + 18);
    button->SetColorSize(10);
    EXPECT_EQ(button->ColorSize(), 18);
    EXPECT_FALSE(button->WordStyle());
    button->SetColorSpace(2);
    GetClientRect(button->DropDownWindow()->Handle(), &client);
    EXPECT_EQ(client.right, 158 + 14);
    button->CloseDropDown();
}

TEST_F(ColorButtonTest, ChoosingFromThePaletteAutomaticAndOtherColors) {
    button->DropDown();
    button->Cell(16)->Click();
    EXPECT_EQ(button->SelectedColor(), 0x0000FF);
    EXPECT_TRUE(button->Cell(16)->Down());
    EXPECT_FALSE(button->AutomaticButton()->Down());
    EXPECT_FALSE(button->DropDownWindow()->Visible());  // a choice closes the drop-down
    EXPECT_FALSE(button->ArrowPart()->Down());
    button->SetSelectedColor(0x0000FF);  // the same colour again: nothing
    EXPECT_EQ(selected, (std::vector<classlib::TColor>{0x0000FF}));
    // A colour outside the palette through the dialog: every palette button comes up.
    button->OtherButton()->Click();
    EXPECT_EQ(button->offered, 0x0000FF);
    EXPECT_EQ(button->SelectedColor(), 0x123456);
    for (int i = 0; i < 40; ++i) EXPECT_FALSE(button->Cell(i)->Down()) << i;
    button->answer = false;
    button->OtherButton()->Click();
    EXPECT_EQ(button->SelectedColor(), 0x123456);
    button->AutomaticButton()->Click();
    EXPECT_EQ(button->SelectedColor(), classlib::clDefault);
    EXPECT_TRUE(button->AutomaticButton()->Down());
    // The colour part re-applies the colour.
    button->ColorPart()->Click();
    EXPECT_EQ(selected, (std::vector<classlib::TColor>{0x0000FF, 0x123456, classlib::clDefault, classlib::clDefault}));
}

TEST_F(ColorButtonTest, DropDownNearTheScreensCornerOpensAboveWithinTheScreen) {
    const int sw = GetSystemMetrics(SM_CXSCREEN), sh = GetSystemMetrics(SM_CYSCREEN);
    form->SetBounds(sw - 60, sh - 80, 60, 80);
    button->DropDown();
    classlib::TForm* dd = button->DropDownWindow();
    EXPECT_EQ(dd->Left() + dd->Width(), sw);
    EXPECT_EQ(dd->Top() + dd->Height(), button->ColorPart()->ClientToScreen(POINT{0, 0}).y);
    EXPECT_TRUE(button->ArrowPart()->Down());
}

TEST_F(ColorButtonTest, MovedAwayItKeepsACaptionAndStaysOpenAfterAChoice) {
    button->DropDown();
    TColorDropDown* dd = button->DropDownWindow();
    EXPECT_FALSE(HasCaption(dd->Handle()));
    EXPECT_FALSE(IsRectEmpty(&dd->DragBar()));
    // Over the drag bar the window answers as a caption.
    POINT bar{(dd->DragBar().left + dd->DragBar().right) / 2, dd->DragBar().top + 1};
    ClientToScreen(dd->Handle(), &bar);
    EXPECT_EQ(SendMessageW(dd->Handle(), WM_NCHITTEST, 0, MAKELPARAM(bar.x, bar.y)), HTCAPTION);
    const int height = dd->Height();
    SendMessageW(dd->Handle(), WM_ENTERSIZEMOVE, 0, 0);
    EXPECT_TRUE(dd->MovedAway());
    EXPECT_TRUE(HasCaption(dd->Handle()));
    EXPECT_TRUE(IsRectEmpty(&dd->DragBar()));
    EXPECT_GT(dd->Height(), height - 7);  // no drag bar, but a caption
    EXPECT_FALSE(button->ArrowPart()->Down());
    button->Cell(0)->Click();
    EXPECT_TRUE(dd->Visible());
    SendMessageW(dd->Handle(), WM_ACTIVATE, WA_INACTIVE, 0);
    EXPECT_TRUE(dd->Visible());
    // From the arrow again: without caption, and losing the focus closes it.
    button->DropDown();
    EXPECT_FALSE(dd->MovedAway());
    EXPECT_FALSE(HasCaption(dd->Handle()));
    SendMessageW(dd->Handle(), WM_ACTIVATE, WA_INACTIVE, 0);
    EXPECT_FALSE(dd->Visible());
    EXPECT_FALSE(button->ArrowPart()->Down());
}

TEST_F(ColorButtonTest, UnderItsButtonOnlyTheDragBarTakesTheMovesOfTheWindow) {
    button->DropDown();
    TColorDropDown* dd = button->DropDownWindow();
    int moves = 0;
    dd->OnMouseMove = [&](classlib::TObject*, classlib::TShiftState, int, int) { ++moves; };
    // The left margin beside the palette: no cell lies there.
    const LPARAM margin = MAKELPARAM(1, dd->ClientHeight() / 2);
    SendMessageW(dd->Handle(), WM_MOUSEMOVE, 0, margin);
    EXPECT_EQ(moves, 0) << "a move beside the drag bar goes no further";
    SendMessageW(dd->Handle(), WM_ENTERSIZEMOVE, 0, 0);
    SendMessageW(dd->Handle(), WM_MOUSEMOVE, 0, margin);
    EXPECT_EQ(moves, 1) << "moved away, the window is an ordinary one";
}

TEST_F(ColorButtonTest, TheColourPartPaintsItsBarInTheSelectedColour) {
    button->SetSelectedColor(0x00CC99);
    TSubColorButton* part = button->ColorPart();
    classlib::TWindowDC screen(nullptr);
    HDC dc = CreateCompatibleDC(screen.Get());
    HBITMAP bmp = CreateCompatibleBitmap(screen.Get(), part->Width(), part->Height());
    HGDIOBJ old = SelectObject(dc, bmp);
    part->Perform(WM_PAINT, reinterpret_cast<WPARAM>(dc), 0);
    const int left = (part->Width() + 1) / 2 - 8, top = (part->Height() + 1) / 2 + 4;
    EXPECT_EQ(GetPixel(dc, left + 8, top + 2), 0x00CC99u);
    EXPECT_EQ(GetPixel(dc, left + 15, top + 3), 0x00CC99u);
    EXPECT_NE(GetPixel(dc, left + 8, top + 5), 0x00CC99u);
    button->SetEnabled(false);
    part->Perform(WM_PAINT, reinterpret_cast<WPARAM>(dc), 0);
    EXPECT_EQ(GetPixel(dc, left + 8, top + 2), classlib::ColorToRGB(classlib::clInactiveCaption));
    SelectObject(dc, old);
    DeleteObject(bmp);
    DeleteDC(dc);
}

}  // namespace

namespace {

// Answers the system's colour dialog from another thread: OK or Cancel once it shows.
void AnswerColorDialog(int Button, std::atomic<bool>& Found) {
    for (int i = 0; i < 3000 && !Found; ++i) {
        HWND w = FindWindowW(L"#32770", nullptr);
        if (w != nullptr && IsWindowVisible(w) && GetDlgItem(w, IDOK) != nullptr) {
            Found = true;
            SendMessageW(w, WM_COMMAND, MAKEWPARAM(Button, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(w, Button)));
            return;
        }
        Sleep(10);
    }
}

TEST_F(CustomTest, OtherColorsOpensTheSystemsColourDialog) {
    auto* form = new classlib::TForm(classlib::Application());
    auto* button = new TColorButton(form);
    button->SetParent(form);
    form->Show();
    std::vector<classlib::TColor> selected;
    button->OnColorSelected = [&](classlib::TObject*, classlib::TColor c) { selected.push_back(c); };
    std::atomic<bool> found{false};
    std::thread cancel(AnswerColorDialog, IDCANCEL, std::ref(found));
    button->OtherButton()->Click();
    cancel.join();
    EXPECT_TRUE(found);
    EXPECT_TRUE(selected.empty());
    // Automatic goes to the dialog as the window text colour; confirming it chooses black.
    found = false;
    std::thread ok(AnswerColorDialog, IDOK, std::ref(found));
    button->OtherButton()->Click();
    ok.join();
    EXPECT_TRUE(found);
    EXPECT_EQ(selected, (std::vector<classlib::TColor>{static_cast<classlib::TColor>(classlib::ColorToRGB(classlib::clWindowText))}));
    EXPECT_EQ(button->CustomColors()->Count(), 16);
}

}  // namespace
