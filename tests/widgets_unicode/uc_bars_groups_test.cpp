// Wide tool bars built from menus, tool and speed buttons following their actions, and the wide
// radio group under Wine: wide captions in the windows, buttons laid out in columns, the user's
// choice, and the ANSI fallback.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "classlib/conversions.h"
#include "uc_test_support.h"
#include "widgets/unicode/uc_actions.h"
#include "widgets/unicode/uc_buttons.h"
#include "widgets/unicode/uc_com_controls.h"
#include "widgets/unicode/uc_menus.h"
#include "widgets/unicode/uc_radio_group.h"

using namespace uctest;
using namespace widgets;

namespace {

class WideBarsGroupsTest : public WideTest {
protected:
    void SetUp() override {
        WideTest::SetUp();
        form = new classlib::TForm(classlib::Application());
        form->SetBounds(60, 60, 460, 320);
    }
    TUcMenuItem* Item(classlib::TMenuItem* Parent, const std::wstring& Caption, const std::wstring& Hint = L"") {
        auto* item = new TUcMenuItem(form);
        item->SetCaption(Caption);
        item->SetHint(Hint);
        Parent->Add(item);
        return item;
    }
    classlib::TForm* form = nullptr;
};

TEST_F(WideBarsGroupsTest, ToolBarFromAMenuHasOneGroupedWideButtonPerItemInMenuOrder) {
    auto* menu = new classlib::TMainMenu(form);
    TUcMenuItem* first = Item(menu->Items(), L"&" + kGreek, kGreek + L" hint");
    TUcMenuItem* second = Item(menu->Items(), kCjk);
    Item(second, L"sub " + kCjk);
    TUcMenuItem* third = Item(menu->Items(), L"x" + kGreek);
    int clicked = 0;
    third->OnClick = [&](classlib::TObject*) { ++clicked; };
    auto* bar = new TUcToolBar(form);
    bar->SetParent(form);
    bar->SetBounds(0, 0, 400, 30);
    auto* stray = new TUcToolButton(form);
    stray->SetParent(bar);
    bar->SetMenu(menu);
    form->Show();
    Pump();
    ASSERT_EQ(bar->ButtonCount(), 3);
    const TUcMenuItem* items[] = {first, second, third};
    for (int i = 0; i < 3; ++i) {
        auto* button = dynamic_cast<TUcToolButton*>(bar->Buttons(i));
        ASSERT_NE(button, nullptr);
        EXPECT_TRUE(button->Grouped());
        EXPECT_TRUE(button->AutoSize());
        EXPECT_EQ(button->MenuItem(), items[i]);
        EXPECT_EQ(button->Caption(), const_cast<TUcMenuItem*>(items[i])->Caption());
        EXPECT_EQ(bar->ButtonWindowText(i), const_cast<TUcMenuItem*>(items[i])->Caption());
    }
    EXPECT_EQ(dynamic_cast<TUcToolButton*>(bar->Buttons(0))->Hint(), kGreek + L" hint");
    // A button of an item without sub-items clicks the item.
    bar->Buttons(2)->Click();
    EXPECT_EQ(clicked, 1);
    // The menu going takes nothing down with it but the link.
    delete menu;
    EXPECT_EQ(bar->Menu(), nullptr);
    EXPECT_EQ(bar->Buttons(0)->MenuItem(), nullptr);
}

// The records the bar's window holds, in order: the button each one stands for, its state and text.
struct HeldButton {
    classlib::TToolButton* Button;
    BYTE State;
    std::wstring Text;
};
std::vector<HeldButton> HeldButtons(classlib::TToolBar* Bar) {
    std::vector<HeldButton> held;
    HWND h = Bar->WindowHandle();
    const auto count = static_cast<int>(SendMessageW(h, TB_BUTTONCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        TBBUTTON record{};
        SendMessageW(h, TB_GETBUTTON, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&record));
        wchar_t text[128] = {};
        SendMessageW(h, TB_GETBUTTONTEXTW, static_cast<WPARAM>(record.idCommand), reinterpret_cast<LPARAM>(text));
        held.push_back({reinterpret_cast<classlib::TToolButton*>(record.dwData), record.fsState, text});
    }
    return held;
}

// The bar sends only the records that changed: what its window holds must still be, after each
// change, every visible button in order with its own state and wide caption.
TEST_F(WideBarsGroupsTest, ToolBarWindowFollowsEachButtonChangeInOrder) {
    for (bool captions : {true, false}) {
        SCOPED_TRACE(captions ? "captions shown" : "no captions");
        auto* bar = new TUcToolBar(form);
        bar->SetParent(form);
        bar->SetBounds(0, 0, 440, 40);
        bar->SetShowCaptions(captions);
        std::vector<TUcToolButton*> buttons;
        for (int i = 0; i < 4; ++i) {
            auto* button = new TUcToolButton(form);
            button->SetParent(bar);
            button->SetCaption(kGreek + std::to_wstring(i));
            buttons.push_back(button);
        }
        form->Show();
        Pump();
        const auto expect = [&](const std::vector<TUcToolButton*>& Shown) {
            const std::vector<HeldButton> held = HeldButtons(bar);
            ASSERT_EQ(held.size(), Shown.size());
            for (size_t i = 0; i < held.size(); ++i) {
                EXPECT_EQ(held[i].Button, Shown[i]) << i;
                EXPECT_EQ((held[i].State & TBSTATE_ENABLED) != 0, Shown[i]->Enabled()) << i;
                if (captions) {
                    EXPECT_EQ(held[i].Text, Shown[i]->Caption()) << i;
                }
            }
        };
        expect(buttons);
        // A new wide caption, then another of the same length, reach the window.
        buttons[1]->SetCaption(kCjk);
        expect(buttons);
        buttons[1]->SetCaption(std::wstring(kCjk.rbegin(), kCjk.rend()));
        expect(buttons);
        buttons[2]->SetEnabled(false);
        expect(buttons);
        buttons[1]->SetVisible(false);
        expect({buttons[0], buttons[2], buttons[3]});
        buttons[1]->SetVisible(true);
        expect(buttons);
        delete buttons[0];
        buttons.erase(buttons.begin());
        expect(buttons);
        auto* added = new TUcToolButton(form);
        added->SetParent(bar);
        added->SetCaption(kGreek);
        buttons.push_back(added);
        expect(buttons);
        // A window made again holds every record again.
        bar->SetFlat(!bar->Flat());
        expect(buttons);
    }
}

TEST_F(WideBarsGroupsTest, SpeedAndToolButtonsFollowTheirWideActions) {
    auto* action = new TUcAction(form);
    action->SetCaption(kCjk);
    action->SetHint(kGreek);
    action->SetImageIndex(2);
    action->SetGroupIndex(1);
    auto* speed = new TUcSpeedButton(form);
    speed->SetParent(form);
    speed->SetAction(action);
    EXPECT_NE(dynamic_cast<TUcSpeedButtonActionLink*>(speed->ActionLink()), nullptr);
    EXPECT_EQ(speed->Caption(), kCjk);
    EXPECT_EQ(speed->Hint(), kGreek);
    EXPECT_EQ(speed->GroupIndex(), 1);
    auto* bar = new TUcToolBar(form);
    bar->SetParent(form);
    bar->SetShowCaptions(true);
    auto* tool = new TUcToolButton(form);
    tool->SetParent(bar);
    tool->SetStyle(classlib::TToolButtonStyle::tbsCheck);
    tool->SetAction(action);
    form->Show();
    EXPECT_NE(dynamic_cast<TUcToolButtonActionLink*>(tool->ActionLink()), nullptr);
    EXPECT_EQ(tool->Caption(), kCjk);
    EXPECT_EQ(tool->ImageIndex(), 2);
    EXPECT_EQ(bar->ButtonWindowText(0), kCjk);
    // Checking the action puts both buttons down; new texts follow.
    int clicks = 0;
    speed->OnClick = [&](classlib::TObject*) { ++clicks; };
    action->SetChecked(true);
    EXPECT_TRUE(speed->Down());
    EXPECT_TRUE(tool->Down());
    EXPECT_EQ(clicks, 0);
    action->SetCaption(kGreek);
    EXPECT_EQ(speed->Caption(), kGreek);
    EXPECT_EQ(bar->ButtonWindowText(0), kGreek);
    action->SetImageIndex(4);
    EXPECT_EQ(tool->ImageIndex(), 4);
}

TEST_F(WideBarsGroupsTest, RadioGroupLaysOutWideButtonsInColumnsAndFollowsTheUser) {
    auto* group = new TUcRadioGroup(form);
    group->SetParent(form);
    group->SetBounds(8, 8, 300, 160);
    group->SetCaption(kCjk);
    group->SetColumns(2);
    for (const std::wstring& s : std::initializer_list<std::wstring>{kGreek, kCjk, L"c", L"d", L"e" + kGreek})
        group->Items()->Add(s);
    form->Show();
    Pump();
    ASSERT_EQ(group->ButtonCount(), 5);
    EXPECT_TRUE(IsWindowUnicode(group->Handle()));
    // 3 in the first column, 2 in the second.
    for (int k = 0; k < 5; ++k) EXPECT_EQ(group->Buttons(k)->Left() == group->Buttons(0)->Left(), k < 3) << k;
    EXPECT_EQ(group->Buttons(3)->Top(), group->Buttons(0)->Top());
    EXPECT_GT(group->Buttons(1)->Top(), group->Buttons(0)->Top());
    EXPECT_EQ(WindowText(group->Buttons(4)->Handle()), L"e" + kGreek);
    EXPECT_TRUE(IsWindowUnicode(group->Buttons(4)->Handle()));

    int clicks = 0;
    group->OnClick = [&](classlib::TObject*) { ++clicks; };
    SendMessageW(group->Buttons(1)->Handle(), BM_CLICK, 0, 0);
    Pump();
    EXPECT_EQ(group->ItemIndex(), 1);
    EXPECT_GE(clicks, 1);
    group->SetItemIndex(10);
    EXPECT_EQ(group->ItemIndex(), 4);
    EXPECT_TRUE(group->Buttons(4)->Checked());
    EXPECT_FALSE(group->Buttons(1)->Checked());
    group->SetItemIndex(-5);
    EXPECT_EQ(group->ItemIndex(), -1);
    for (int k = 0; k < 5; ++k) EXPECT_FALSE(group->Buttons(k)->Checked());
    // Fewer items: an index past the end becomes the last item.
    group->SetItemIndex(4);
    group->Items()->Delete(4);
    group->Items()->Delete(3);
    EXPECT_EQ(group->ButtonCount(), 3);
    EXPECT_EQ(group->ItemIndex(), 2);
    group->SetEnabled(false);
    EXPECT_FALSE(group->Buttons(0)->Enabled());
}

TEST_F(WideBarsGroupsTest, AnsiPlatformRadioGroupAndToolBarUseTheCodePage) {
    unicode::ForcePlatformForTesting(false);
    auto* group = new TUcRadioGroup(form);
    group->SetParent(form);
    group->SetBounds(8, 8, 300, 100);
    group->Items()->Add(L"caf\x00E9");
    group->Items()->Add(kCjk);
    EXPECT_FALSE(IsWindowUnicode(group->Buttons(0)->Handle()));
    char text[64] = {};
    GetWindowTextA(group->Buttons(0)->Handle(), text, 64);
    EXPECT_EQ(std::string(text), "caf\xE9");
    EXPECT_EQ(group->Buttons(1)->Caption(), classlib::AnsiToWide(classlib::WideToAnsi(kCjk)));
}

}  // namespace
