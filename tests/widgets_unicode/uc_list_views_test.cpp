// The wide list view and extended combo box: Unicode windows with wide items, the wide action
// links carrying a wide action's caption and hint while the items stay intact, a list action's
// items and images, and wide selections copied between wide list controls.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <string>

#include "classlib/conversions.h"
#include "uc_test_support.h"
#include "widgets/unicode/uc_actions.h"
#include "widgets/unicode/uc_list_view.h"
#include "widgets/unicode/uc_std_controls.h"

using namespace uctest;
using widgets::TUcComboBoxEx;
using widgets::TUcListView;

namespace {

const std::wstring kCyrillic = L"\x0421\x043F\x0438\x0441\x043E\x043A";  // "Spisok"

class WideListViewsTest : public WideTest {
protected:
    void SetUp() override {
        WideTest::SetUp();
        form = new widgets::TUcForm(classlib::Application());
        form->SetBounds(100, 100, 560, 360);
        form->Show();
    }
    template <typename T>
    T* Make(int Left, int Top) {
        auto* c = new T(form);
        c->SetParent(form);
        c->SetLeft(Left);
        c->SetTop(Top);
        return c;
    }
    widgets::TUcForm* form = nullptr;
};

TEST_F(WideListViewsTest, WideItemsStayIntactWhileTheWideActionsCaptionChanges) {
    auto* view = Make<TUcListView>(8, 8);
    view->SetViewStyle(classlib::TViewStyle::vsReport);
    auto* combo = Make<TUcComboBoxEx>(280, 8);
    for (const std::wstring& text : {kCyrillic, kCjk}) {
        view->AddItem(text, nullptr);
        combo->AddItem(text, nullptr);
    }
    EXPECT_TRUE(IsWindowUnicode(view->Handle()));
    EXPECT_TRUE(IsWindowUnicode(combo->Handle()));
    EXPECT_EQ(ClassNameOf(view->Handle()), L"TUcListView.UnicodeClass");
    EXPECT_EQ(view->ItemWindowTextW(0), kCyrillic);
    EXPECT_EQ(view->ItemWindowTextW(1), kCjk);
    EXPECT_EQ(combo->ItemWindowTextW(0), kCyrillic);
    EXPECT_EQ(combo->ItemWindowTextW(1), kCjk);
    EXPECT_EQ(view->Items()->Item(1)->Caption(), classlib::WideToAnsi(kCjk));  // the ANSI shadow

    auto* action = new widgets::TUcAction(form);
    action->SetCaption(kGreek);
    action->SetHint(kCjk);
    view->SetAction(action);
    combo->SetAction(action);
    EXPECT_EQ(view->ActionLink()->ClassName(), L"TUcListViewActionLink");
    EXPECT_EQ(combo->ActionLink()->ClassName(), L"TUcComboBoxExActionLink");
    EXPECT_EQ(WindowText(view->Handle()), kGreek);
    EXPECT_EQ(combo->Text(), kGreek);
    EXPECT_EQ(view->Hint(), kCjk);
    // A new wide caption of the action: the controls' texts follow, their items stay.
    const std::wstring renamed = kCyrillic + L" " + kCjk;
    action->SetCaption(renamed);
    EXPECT_EQ(WindowText(view->Handle()), renamed);
    EXPECT_EQ(combo->Text(), renamed);
    EXPECT_EQ(view->ItemWindowTextW(0), kCyrillic);
    EXPECT_EQ(view->ItemWindowTextW(1), kCjk);
    EXPECT_EQ(combo->ItemWindowTextW(0), kCyrillic);
    EXPECT_EQ(combo->ItemWindowTextW(1), kCjk);
    // A control whose text was changed behind the action is no longer linked.
    view->SetCaption(L"own");
    action->SetCaption(kGreek);
    EXPECT_EQ(WindowText(view->Handle()), L"own");
    EXPECT_EQ(combo->Text(), kGreek);

    // A wide item changed, and the window made again: the wide texts come back.
    view->Item(0)->SetCaption(kGreek);
    EXPECT_EQ(view->ItemWindowTextW(0), kGreek);
    view->SetViewStyle(classlib::TViewStyle::vsList);
    combo->SetStyle(classlib::TComboBoxExStyle::csExDropDownList);
    EXPECT_EQ(view->ItemWindowTextW(0), kGreek);
    EXPECT_EQ(view->ItemWindowTextW(1), kCjk);
    EXPECT_EQ(combo->ItemWindowTextW(1), kCjk);
}

TEST_F(WideListViewsTest, ListActionGivesItemsWithImagesAndWideSelectionsAreCopied) {
    auto* images = new classlib::TImageList(form);
    HDC screen = GetDC(nullptr);
    HBITMAP strip = CreateCompatibleBitmap(screen, 32, 16);
    ReleaseDC(nullptr, screen);
    images->AddMasked(strip, classlib::clFuchsia);
    DeleteObject(strip);
    auto* action = new classlib::TStaticListAction(form);
    action->SetImages(images);
    action->AddItem("First", 1);
    action->AddItem("Second", 0);
    action->SetCaption("Choices");
    auto* view = Make<TUcListView>(8, 8);
    view->SetViewStyle(classlib::TViewStyle::vsSmallIcon);
    auto* combo = Make<TUcComboBoxEx>(280, 8);
    view->SetAction(action);
    combo->SetAction(action);
    EXPECT_EQ(view->ActionLink()->ClassName(), L"TUcListViewActionLink");
    EXPECT_EQ(view->ItemWindowTextW(1), L"Second");
    EXPECT_EQ(view->SmallImages(), images);
    LVITEMW item{};
    item.mask = LVIF_IMAGE;
    SendMessageW(view->Handle(), LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
    EXPECT_EQ(item.iImage, 1);
    EXPECT_EQ(combo->ItemWindowTextW(0), L"First");
    EXPECT_EQ(combo->Images(), images);
    EXPECT_EQ(WindowText(view->Handle()), L"Choices");

    // Copying selections keeps wide texts between wide list controls.
    auto* source = Make<widgets::TUcComboBox>(8, 200);
    classlib::TObject marker;
    source->Items()->AddObject(kCjk, &marker);
    source->SetItemIndex(0);
    source->CopySelection(view);
    ASSERT_EQ(view->Items()->Count(), 3);
    EXPECT_EQ(view->ItemWindowTextW(2), kCjk);
    EXPECT_EQ(view->Item(2)->Data(), &marker);
    view->SetItemIndex(2);
    view->CopySelection(combo);
    EXPECT_EQ(combo->ItemWindowTextW(2), kCjk);
    combo->SetItemIndex(2);
    combo->CopySelection(source);
    ASSERT_EQ(source->Items()->Count(), 2);
    EXPECT_EQ(source->Items()->Get(1), kCjk);
    // Into a plain (ANSI) list control the ANSI form goes.
    auto* plain = Make<classlib::TListBox>(280, 200);
    source->CopySelection(plain);
    EXPECT_EQ(plain->Items()->Get(0), classlib::WideToAnsi(kCjk));
}

}  // namespace
