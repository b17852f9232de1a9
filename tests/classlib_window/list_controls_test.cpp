// List view, extended combo box and the list action: items with images kept through the window's
// re-creation, the user's pick (and no event for code's), a list action filling its linked
// controls with its items and images and following their picks, copying a selection between
// list controls.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <string>

#include "classlib/combo_box_ex.h"
#include "classlib/forms.h"
#include "classlib/list_view.h"
#include "classlib/std_controls.h"

using namespace classlib;

namespace {

void Pump() {
    for (int i = 0; i < 10; ++i) Application()->ProcessMessages();
}

// Two 16 x 16 images (blue, green) in a new image list owned by Owner.
TImageList* TwoImages(TComponent* Owner) {
    auto* images = new TImageList(Owner);
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP strip = CreateCompatibleBitmap(screen, 32, 16);
    ReleaseDC(nullptr, screen);
    HGDIOBJ old = SelectObject(dc, strip);
    RECT left{0, 0, 16, 16}, right{16, 0, 32, 16};
    HBRUSH blue = CreateSolidBrush(RGB(0, 0, 255)), green = CreateSolidBrush(RGB(0, 128, 0));
    FillRect(dc, &left, blue);
    FillRect(dc, &right, green);
    DeleteObject(blue);
    DeleteObject(green);
    SelectObject(dc, old);
    DeleteDC(dc);
    images->AddMasked(strip, clFuchsia);
    DeleteObject(strip);
    return images;
}

int ListViewImage(HWND View, int Index) {
    LVITEMA item{};
    item.mask = LVIF_IMAGE;
    item.iItem = Index;
    SendMessageA(View, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
    return item.iImage;
}

int ComboExImage(HWND Combo, int Index) {
    COMBOBOXEXITEMA item{};
    item.mask = CBEIF_IMAGE;
    item.iItem = Index;
    SendMessageA(Combo, CBEM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
    return item.iImage;
}

class ListControlsTest : public ::testing::Test {
protected:
    void SetUp() override {
        Application()->Initialize();
        form = new TForm(Application());
        form->SetBounds(100, 100, 520, 360);
        form->Show();
    }
    void TearDown() override {
        Application()->DestroyForms();
        Application()->SetMainForm(nullptr);
    }
    template <typename T>
    T* Make(int Left, int Top) {
        auto* c = new T(form);
        c->SetParent(form);
        c->SetLeft(Left);
        c->SetTop(Top);
        return c;
    }
    TForm* form = nullptr;
};

TEST_F(ListControlsTest, ListViewKeepsItsItemsImagesAndSelectionThroughItsWindow) {
    auto* view = Make<TListView>(8, 8);
    view->SetViewStyle(TViewStyle::vsSmallIcon);
    view->SetSmallImages(TwoImages(form));
    TObject marker;
    view->AddItem("Alpha", &marker);
    TListItem* beta = view->Items()->Add();
    beta->SetCaption("Beta");
    beta->SetImageIndex(1);
    int changes = 0;
    view->OnChange = [&](TObject*) { ++changes; };
    HWND h = view->Handle();
    EXPECT_EQ(SendMessageA(h, LVM_GETITEMCOUNT, 0, 0), 2);
    EXPECT_EQ(view->ItemWindowText(0), "Alpha");
    EXPECT_EQ(ListViewImage(h, 1), 1);
    EXPECT_EQ(view->Items()->Item(0)->Data(), &marker);
    view->SetItemIndex(1);
    EXPECT_EQ(view->ItemIndex(), 1);
    EXPECT_EQ(changes, 0);  // from code: no event
    view->Items()->Item(0)->SetCaption("Alef");
    EXPECT_EQ(view->ItemWindowText(0), "Alef");

    // Another style re-creates the window: items, images and selection come back.
    view->SetViewStyle(TViewStyle::vsReport);
    EXPECT_NE(view->WindowHandle(), h);
    h = view->WindowHandle();
    EXPECT_EQ(SendMessageA(h, LVM_GETITEMCOUNT, 0, 0), 2);
    EXPECT_EQ(view->ItemWindowText(1), "Beta");
    EXPECT_EQ(ListViewImage(h, 1), 1);
    EXPECT_EQ(view->ItemIndex(), 1);

    // The user clicks the first item.
    Pump();
    RECT r{LVIR_LABEL, 0, 0, 0};
    SendMessageA(h, LVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&r));
    LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    PostMessageA(h, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageA(h, WM_LBUTTONUP, 0, at);
    Pump();
    EXPECT_EQ(view->ItemIndex(), 0);
    EXPECT_EQ(changes, 1);

    view->Items()->Delete(0);
    EXPECT_EQ(SendMessageA(h, LVM_GETITEMCOUNT, 0, 0), 1);
    EXPECT_THROW(view->Items()->Item(1), EListError);
    view->Clear();
    EXPECT_EQ(SendMessageA(h, LVM_GETITEMCOUNT, 0, 0), 0);
}

TEST_F(ListControlsTest, ComboBoxExShowsItemsWithImagesAndReportsTheUsersPick) {
    auto* combo = Make<TComboBoxEx>(8, 8);
    combo->SetImages(TwoImages(form));
    combo->ItemsEx()->AddItem("Red", 0, 1, 0, nullptr);
    combo->ItemsEx()->AddItem("Green", 1, 1, 1, nullptr);
    combo->SetItemIndex(1);  // before the window: kept for it
    int changes = 0;
    combo->OnChange = [&](TObject*) { ++changes; };
    HWND h = combo->Handle();
    EXPECT_EQ(combo->ItemWindowText(0), "Red");
    EXPECT_EQ(ComboExImage(h, 1), 1);
    EXPECT_EQ(combo->ItemIndex(), 1);
    combo->SetItemIndex(0);
    EXPECT_EQ(changes, 0);
    combo->ItemsEx()->Item(1)->SetCaption("Lime");
    EXPECT_EQ(combo->ItemWindowText(1), "Lime");
    combo->SetStyle(TComboBoxExStyle::csExDropDownList);
    EXPECT_EQ(combo->ItemWindowText(1), "Lime");
    EXPECT_EQ(combo->ItemIndex(), 0);
    // The user's pick: the window selects and tells its parent.
    h = combo->WindowHandle();
    SendMessageA(h, CB_SETCURSEL, 1, 0);
    SendMessageA(form->Handle(), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(h), CBN_SELCHANGE), reinterpret_cast<LPARAM>(h));
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(combo->ItemIndex(), 1);
}

TEST_F(ListControlsTest, ListActionFillsItsControlsWithItemsAndImagesAndFollowsTheirPicks) {
    auto* images = TwoImages(form);
    auto* action = new TStaticListAction(form);
    action->SetImages(images);
    action->AddItem("One", 0);
    action->AddItem("Two", 1);
    action->SetItemIndex(1);
    int picked = -2;
    action->OnItemSelected = [&](TCustomListAction*, int Index) { picked = Index; };
    auto* view = Make<TListView>(8, 8);
    view->SetViewStyle(TViewStyle::vsList);
    view->AddItem("replaced", nullptr);
    auto* combo = Make<TComboBoxEx>(280, 8);
    view->SetAction(action);
    combo->SetAction(action);
    EXPECT_EQ(view->ActionLink()->ClassName(), L"TListViewActionLink");
    EXPECT_EQ(combo->ActionLink()->ClassName(), L"TComboBoxExActionLink");
    // The action's items with their images, its images and its current item.
    ASSERT_EQ(view->Items()->Count(), 2);
    EXPECT_EQ(view->ItemWindowText(1), "Two");
    EXPECT_EQ(ListViewImage(view->Handle(), 1), 1);
    EXPECT_EQ(view->SmallImages(), images);
    EXPECT_EQ(view->ItemIndex(), 1);
    ASSERT_EQ(combo->ItemsEx()->Count(), 2);
    EXPECT_EQ(ComboExImage(combo->Handle(), 1), 1);
    EXPECT_EQ(combo->Images(), images);
    EXPECT_EQ(combo->ItemIndex(), 1);
    // A new item and a new current item reach both.
    action->AddItem("Three", 0);
    EXPECT_EQ(view->ItemWindowText(2), "Three");
    EXPECT_EQ(combo->ItemWindowText(2), "Three");
    action->SetItemIndex(2);
    EXPECT_EQ(combo->ItemIndex(), 2);
    EXPECT_EQ(picked, -2);  // from code: no event
    // The user's pick in the combo box: the action and the other control follow.
    HWND h = combo->Handle();
    SendMessageA(h, CB_SETCURSEL, 0, 0);
    SendMessageA(form->Handle(), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(h), CBN_SELCHANGE), reinterpret_cast<LPARAM>(h));
    EXPECT_EQ(picked, 0);
    EXPECT_EQ(action->ItemIndex(), 0);
    EXPECT_EQ(view->ItemIndex(), 0);
    // Gone images leave the controls without them.
    delete images;
    EXPECT_EQ(action->Images(), nullptr);
    EXPECT_EQ(view->SmallImages(), nullptr);
    EXPECT_EQ(combo->Images(), nullptr);
    action->ClearItems();
    EXPECT_EQ(view->Items()->Count(), 0);
    EXPECT_EQ(combo->ItemsEx()->Count(), 0);
}

TEST_F(ListControlsTest, SelectionsAreCopiedBetweenListControlsWithTheirObjects) {
    auto* combo = Make<TComboBox>(8, 8);
    auto* view = Make<TListView>(8, 40);
    auto* list = Make<TListBox>(200, 8);
    auto* ex = Make<TComboBoxEx>(200, 150);
    TObject first, second;
    combo->Items()->AddObject("first", &first);
    combo->Items()->AddObject("second", &second);
    combo->CopySelection(view);  // nothing current: nothing copied
    EXPECT_EQ(view->Items()->Count(), 0);
    combo->SetItemIndex(1);
    combo->CopySelection(view);
    ASSERT_EQ(view->Items()->Count(), 1);
    EXPECT_EQ(view->Items()->Item(0)->Caption(), "second");
    EXPECT_EQ(view->Items()->Item(0)->Data(), &second);
    view->SetItemIndex(0);
    view->CopySelection(list);
    ASSERT_EQ(list->Items()->Count(), 1);
    EXPECT_EQ(list->Items()->Objects(0), &second);
    list->SetItemIndex(0);
    list->CopySelection(ex);
    ASSERT_EQ(ex->ItemsEx()->Count(), 1);
    EXPECT_EQ(ex->ItemWindowText(0), "second");
    ex->SetItemIndex(0);
    ex->CopySelection(combo);
    EXPECT_EQ(combo->Items()->Count(), 3);
    EXPECT_EQ(combo->Items()->Objects(2), &second);
}

}  // namespace
