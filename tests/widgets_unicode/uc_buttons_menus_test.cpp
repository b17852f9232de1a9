// Wide buttons, check boxes, radio buttons and group boxes (captions, accelerators by a wide hot
// key), wide actions reaching buttons and menu items, wide menus (captions with hot keys and
// shortcut texts in the system menu, hints while a menu is open, owner drawing), the ANSI
// fallback, and one form showing every wide control of these kinds, photographed.
#include <windows.h>

#include <gtest/gtest.h>

#include "classlib/conversions.h"
#include "exception_text.h"
#include "painted_ink.h"
#include "uc_test_support.h"
#include "widgets/unicode/uc_actions.h"
#include "widgets/unicode/uc_buttons.h"
#include "widgets/unicode/uc_com_controls.h"
#include "widgets/unicode/uc_std_buttons.h"
#include "widgets/unicode/uc_edits.h"
#include "widgets/unicode/uc_list_box.h"
#include "widgets/unicode/uc_menus.h"
#include "widgets/unicode/uc_std_controls.h"

using namespace uctest;
using classlib::AnsiToWide;
using classlib::WideToAnsi;

namespace {

// Measures an owner-drawn item through the wide pop-up list (the test fails when the system
// menu does not hold the item as owner-drawn); the answer carries the item's data.
MEASUREITEMSTRUCT MeasureOwnerDrawn(classlib::TMenu* Menu, classlib::TMenuItem* Item) {
    MENUITEMINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_FTYPE | MIIM_DATA;
    EXPECT_TRUE(GetMenuItemInfoW(Menu->Handle(), Item->Command(), FALSE, &info));
    EXPECT_NE(info.fType & MFT_OWNERDRAW, 0u);
    MEASUREITEMSTRUCT measure{};
    measure.CtlType = ODT_MENU;
    measure.itemID = Item->Command();
    measure.itemData = info.dwItemData;
    SendMessageW(widgets::UcPopupList()->Window(), WM_MEASUREITEM, 0, reinterpret_cast<LPARAM>(&measure));
    return measure;
}

// Draws a measured item through the wide pop-up list into Dc.
void DrawOwnerDrawn(const MEASUREITEMSTRUCT& Measured, HDC Dc, RECT Rect, UINT State) {
    DRAWITEMSTRUCT draw{};
    draw.CtlType = ODT_MENU;
    draw.itemID = Measured.itemID;
    draw.itemData = Measured.itemData;
    draw.itemState = State;
    draw.hDC = Dc;
    draw.rcItem = Rect;
    SendMessageW(widgets::UcPopupList()->Window(), WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&draw));
}

class WideButtonsMenus : public WideTest {
protected:
    void SetUp() override {
        WideTest::SetUp();
        form = new widgets::TUcForm(classlib::Application());
        form->SetBounds(120, 120, 460, 360);
        form->Show();
    }
    void TearDown() override {
        widgets::SetFarEastLocaleForTesting(-1);
        WideTest::TearDown();
    }
    template <typename T>
    T* Make(int Left = 8, int Top = 8) {
        T* c = new T(form);
        c->SetParent(form);
        c->SetLeft(Left);
        c->SetTop(Top);
        return c;
    }
    widgets::TUcForm* form = nullptr;
};

std::wstring MenuStringW(HMENU Menu, UINT Command) {
    wchar_t buf[256] = {};
    int n = GetMenuStringW(Menu, Command, buf, 256, MF_BYCOMMAND);
    return std::wstring(buf, static_cast<size_t>(n > 0 ? n : 0));
}

TEST_F(WideButtonsMenus, ButtonCaptionsAreWideAndAnsiCodeReadsTheirAnsiForm) {
    auto* button = Make<widgets::TUcButton>();
    auto* check = Make<widgets::TUcCheckBox>(8, 40);
    auto* radio = Make<widgets::TUcRadioButton>(8, 70);
    button->SetCaption(kCjk);
    check->SetCaption(kGreek);
    radio->SetCaption(kCjk + kGreek);
    for (classlib::TWinControl* c : std::initializer_list<classlib::TWinControl*>{button, check, radio}) {
        EXPECT_TRUE(IsWindowUnicode(c->Handle()));
        EXPECT_EQ(widgets::UcControl_GetText(c), WindowText(c->Handle()));
    }
    EXPECT_EQ(ClassNameOf(check->Handle()), L"TUcCheckBox.UnicodeClass");
    // ANSI code reads through the system's conversion.
    EXPECT_EQ(button->classlib::TControl::Caption(), WideToAnsi(kCjk));
    // Clicking by the system's notification still runs the class library's events.
    int clicks = 0;
    check->OnClick = [&](classlib::TObject*) { ++clicks; };
    SendMessageW(form->Handle(), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(check->Handle()), BN_CLICKED),
                 reinterpret_cast<LPARAM>(check->Handle()));
    EXPECT_TRUE(check->Checked());
    EXPECT_EQ(clicks, 1);
}

TEST_F(WideButtonsMenus, AWideHotKeyClicksTogglesAndFocuses) {
    auto* button = Make<widgets::TUcButton>();
    auto* check = Make<widgets::TUcCheckBox>(8, 40);
    auto* radio = Make<widgets::TUcRadioButton>(8, 70);
    auto* box = Make<widgets::TUcGroupBox>(120, 8);
    box->SetBounds(120, 8, 200, 120);
    auto* inside = new widgets::TUcEdit(form);
    inside->SetParent(box);
    inside->SetBounds(10, 30, 100, 24);
    auto* label = Make<widgets::TUcLabel>(8, 150);
    auto* target = Make<widgets::TUcEdit>(8, 170);
    button->SetCaption(L"&\x0416ать");      // hot key: Zhe
    check->SetCaption(L"\x0411&\x0434");    // hot key: de
    radio->SetCaption(L"&&\x0444\x043E");   // no hot key: "&&" is a plain ampersand
    box->SetCaption(L"&\x03A9mega");        // hot key: Omega
    label->SetCaption(L"&\x65E5");
    label->SetFocusControl(target);
    int clicks = 0;
    button->OnClick = [&](classlib::TObject*) { ++clicks; };
    auto dialogChar = [&](wchar_t c) { return form->Perform(classlib::CM_DIALOGCHAR, c, 0); };
    EXPECT_EQ(dialogChar(L'\x0436'), 1);  // lower case finds the upper-case hot key
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(dialogChar(L'\x0414'), 1);
    EXPECT_TRUE(check->Focused());
    EXPECT_TRUE(check->Checked());
    EXPECT_EQ(dialogChar(L'\x0444'), 0);
    EXPECT_FALSE(radio->Focused());
    EXPECT_EQ(dialogChar(L'\x03C9'), 1);
    EXPECT_TRUE(inside->Focused());
    EXPECT_EQ(dialogChar(L'\x65E5'), 1);
    EXPECT_TRUE(target->Focused());
    // The hot key as the user types it: WM_SYSCHAR with the wide character.
    SendMessageW(target->Handle(), WM_SYSCHAR, 0x0416, 0x20000001);
    EXPECT_EQ(clicks, 2);
    // A disabled label gives no focus.
    label->SetEnabled(false);
    EXPECT_EQ(dialogChar(L'\x65E5'), 0);
}

// A wide bit button takes its own hot key and passes any other on to the class library's
// handling, which hands it to the controls it holds.
TEST_F(WideButtonsMenus, AWideBitButtonPassesAHotKeyThatIsNotItsOwnOn) {
    auto* bit = Make<widgets::TUcBitBtn>(8, 8);
    bit->SetBounds(8, 8, 200, 60);
    bit->SetCaption(L"&\x0416");
    auto* held = new widgets::TUcButton(form);
    held->SetParent(bit);
    held->SetBounds(100, 10, 80, 30);
    held->SetCaption(L"&\x03A9");
    int own = 0, others = 0;
    bit->OnClick = [&](classlib::TObject*) { ++own; };
    held->OnClick = [&](classlib::TObject*) { ++others; };
    Pump();
    EXPECT_EQ(1, form->Perform(classlib::CM_DIALOGCHAR, L'\x03C9', 0));
    EXPECT_EQ(0, own);
    EXPECT_EQ(1, others) << "the held button's hot key reached it through the bit button";
    EXPECT_EQ(1, form->Perform(classlib::CM_DIALOGCHAR, L'\x0436', 0));
    EXPECT_EQ(1, own);
    EXPECT_EQ(0, form->Perform(classlib::CM_DIALOGCHAR, L'q', 0)) << "nobody's hot key";
}

// The keyboard of another language for one test: Wine takes the layout of the user's locale, so
// both are switched (through ntdll, as Wine has no layout loading) and put back afterwards.
class TKeyboardLanguage {
public:
    explicit TKeyboardLanguage(LANGID Language) {
        if (setLocale_ == nullptr) return;
        setLocale_(TRUE, MAKELCID(Language, SORT_DEFAULT));
        ActivateKeyboardLayout(reinterpret_cast<HKL>(static_cast<UINT_PTR>(MAKELONG(Language, Language))), 0);
    }
    ~TKeyboardLanguage() {
        if (setLocale_ == nullptr) return;
        setLocale_(TRUE, userLocale_);
        ActivateKeyboardLayout(layout_, 0);
    }
    TKeyboardLanguage(const TKeyboardLanguage&) = delete;
    TKeyboardLanguage& operator=(const TKeyboardLanguage&) = delete;
    // The code page of the keyboard now in use.
    static UINT CodePage() { return unicode::LCIDToCodePage(LOWORD(reinterpret_cast<UINT_PTR>(GetKeyboardLayout(0)))); }

private:
    using SetDefaultLocale = LONG(WINAPI*)(BOOLEAN User, LCID Locale);
    SetDefaultLocale setLocale_ = reinterpret_cast<SetDefaultLocale>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtSetDefaultLocale")));
    LCID userLocale_ = GetUserDefaultLCID();
    HKL layout_ = GetKeyboardLayout(0);
};

// Alt+key typed on a plain (ANSI) control reaches the form as a byte of the keyboard's code
// page: every wide kind reads it by the same rule, under a Western and a Cyrillic keyboard.
TEST_F(WideButtonsMenus, OneHotKeyRuleForEveryKindUnderTwoKeyboardCodePages) {
    auto* button = Make<widgets::TUcButton>(8, 8);
    auto* speed = Make<widgets::TUcSpeedButton>(100, 8);
    auto* bit = Make<widgets::TUcBitBtn>(200, 8);
    auto* pages = Make<widgets::TUcPageControl>(8, 60);
    pages->SetBounds(8, 60, 300, 120);
    auto* sheet = new widgets::TUcTabSheet(form);
    sheet->SetPageControl(pages);
    auto* other = new widgets::TUcTabSheet(form);
    other->SetCaption(L"other");
    other->SetPageControl(pages);
    auto* typing = Make<classlib::TEdit>(8, 200);  // an ANSI window: its characters are bytes
    int clicks = 0;
    for (auto* b : std::initializer_list<classlib::TControl*>{button, speed, bit})
        b->OnClick = [&](classlib::TObject*) { ++clicks; };
    Pump();
    struct Keyboard {
        LANGID Language;
        UINT CodePage;
        wchar_t HotKey;  // a letter of that code page above 127
    };
    for (Keyboard keyboard : {Keyboard{0x0409, 1252, L'\x00E9'}, Keyboard{0x0419, 1251, L'\x0439'}}) {
        TKeyboardLanguage language(keyboard.Language);
        ASSERT_EQ(TKeyboardLanguage::CodePage(), keyboard.CodePage);
        SCOPED_TRACE(testing::Message() << "keyboard code page " << keyboard.CodePage);
        const std::wstring hot = std::wstring(L"&") + keyboard.HotKey + L"x";
        auto holdHotKey = [&](classlib::TControl* holder) {
            for (auto* c : std::initializer_list<classlib::TControl*>{button, speed, bit, sheet})
                widgets::UcControl_SetText(c, c == holder ? hot : L"none");
        };
        // The user's Alt+key on the ANSI window (the loop hands it the key's byte).
        auto altKey = [&] {
            PostMessageW(typing->Handle(), WM_SYSCHAR, keyboard.HotKey, 0x20000001);
            Pump();
        };
        for (auto* holder : std::initializer_list<classlib::TControl*>{button, speed, bit}) {
            holdHotKey(holder);
            clicks = 0;
            altKey();
            EXPECT_EQ(clicks, 1) << classlib::WideToUtf8(holder->ClassName());
        }
        holdHotKey(sheet);
        pages->SetActivePage(other);
        altKey();
        EXPECT_EQ(pages->ActivePage(), sheet);
    }
}

TEST_F(WideButtonsMenus, GroupBoxPaintsItsWideCaption) {
    auto* box = Make<widgets::TUcGroupBox>();
    box->SetBounds(8, 8, 240, 100);
    // Ink in the caption's band, themed (the theme's text colour) or not (the font's).
    auto captionInk = [&] {
        HDC screen = GetDC(nullptr);
        HDC dc = CreateCompatibleDC(screen);
        HBITMAP bitmap = CreateCompatibleBitmap(screen, 240, 100);
        ReleaseDC(nullptr, screen);
        HGDIOBJ old = SelectObject(dc, bitmap);
        RECT all{0, 0, 240, 100};
        FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        box->Perform(WM_PAINT, reinterpret_cast<WPARAM>(dc), 0);
        COLORREF back = GetPixel(dc, 120, 50);
        int n = 0;
        for (int y = 0; y < 6; ++y)
            for (int x = 12; x < 200; ++x)
                if (GetPixel(dc, x, y) != back && GetPixel(dc, x, y) != RGB(255, 255, 255)) ++n;
        SelectObject(dc, old);
        DeleteObject(bitmap);
        DeleteDC(dc);
        return n;
    };
    box->SetCaption(L" ");  // a caption of the same height without ink
    int without = captionInk();
    box->SetCaption(kCjk + kGreek);
    EXPECT_GT(captionInk(), without + 10);
}

TEST_F(WideButtonsMenus, AWideActionReachesButtonsAndMenuItems) {
    auto* list = new widgets::TUcActionList(form);
    auto* action = new widgets::TUcAction(form);
    action->SetActionList(list);
    action->SetCaption(kCjk);
    action->SetHint(kGreek + L"|" + kCjk);
    action->SetShortCut(classlib::ShortCut('K', classlib::ssCtrl));
    int executed = 0;
    action->OnExecute = [&](classlib::TObject*) { ++executed; };
    auto* button = Make<widgets::TUcButton>();
    button->SetName(L"btnGo");
    auto* keep = Make<widgets::TUcCheckBox>(8, 40);
    keep->SetCaption(L"own");
    button->SetAction(action);
    keep->SetAction(action);
    EXPECT_EQ(button->GetActionLinkClass(), &widgets::TUcButtonActionLink::ClassRef());
    EXPECT_EQ(button->Caption(), kCjk);
    EXPECT_EQ(button->Hint(), kGreek + L"|" + kCjk);
    EXPECT_EQ(keep->Caption(), kCjk);  // no defaults checked: the action's caption

    auto* menu = new widgets::TUcPopupMenu(form);
    auto* item = new widgets::TUcMenuItem(form);
    menu->Items()->Add(item);
    item->SetAction(action);
    EXPECT_EQ(item->Caption(), kCjk);
    HMENU h = menu->Handle();
    EXPECT_EQ(MenuStringW(h, item->Command()), kCjk + L"\tCtrl+K");

    // A new wide caption with the same ANSI form still reaches every client.
    std::wstring other = kCjk;
    other[0] = L'\x4E00';
    action->SetCaption(other);
    EXPECT_EQ(button->Caption(), other);
    EXPECT_EQ(item->Caption(), other);
    EXPECT_EQ(MenuStringW(h, item->Command()), other + L"\tCtrl+K");
    EXPECT_EQ(action->classlib::TCustomAction::Caption(), WideToAnsi(other));
    // A client with a caption of its own keeps it (defaults checked).
    button->SetCaption(L"mine");
    action->SetCaption(kGreek);
    EXPECT_EQ(button->Caption(), L"mine");
    EXPECT_EQ(item->Caption(), kGreek);
    button->Click();
    EXPECT_TRUE(menu->DispatchCommand(item->Command()));
    EXPECT_EQ(executed, 2);
}

TEST_F(WideButtonsMenus, HotKeyRulesAndShortcutTexts) {
    EXPECT_EQ(widgets::WideGetHotkeyPos(L"&&Open"), 0);
    EXPECT_EQ(widgets::WideStripHotkey(L"&&Open"), L"&Open");
    EXPECT_EQ(widgets::WideGetHotkeyPos(L"Sa&ve && &\x0416"), 11);
    EXPECT_EQ(widgets::WideGetHotkey(L"Sa&ve"), L"v");
    EXPECT_EQ(widgets::WideGetHotkey(L"trailing&"), L"");
    EXPECT_TRUE(widgets::WideSameCaption(L"&\x0416ать", L"\x0436АТ&Ь"));
    widgets::SetFarEastLocaleForTesting(1);
    EXPECT_EQ(widgets::WideStripHotkey(L"\x958B\x304F(&O)"), L"\x958B\x304F");
    widgets::SetFarEastLocaleForTesting(0);
    EXPECT_EQ(widgets::WideStripHotkey(L"\x958B\x304F(&O)"), L"\x958B\x304F(O)");

    using classlib::ShortCut;
    EXPECT_EQ(widgets::WideShortCutToText(ShortCut('S', classlib::ssCtrl | classlib::ssShift)), L"Shift+Ctrl+S");
    EXPECT_EQ(widgets::WideShortCutToText(ShortCut('7', classlib::ssAlt)), L"Alt+7");
    // The fixed names are the class library's.
    EXPECT_EQ(widgets::WideShortCutToText(ShortCut(VK_F12, 0)), L"F12");
    EXPECT_EQ(widgets::WideShortCutToText(ShortCut(VK_DELETE, classlib::ssCtrl)), L"Ctrl+Del");
    EXPECT_EQ(widgets::WideShortCutToText(ShortCut(VK_LEFT, 0)), L"Left");
    EXPECT_EQ(widgets::WideShortCutToText(ShortCut(VK_RETURN, classlib::ssAlt)), L"Alt+Enter");
    // Keys named by the keyboard layout get a name, whatever the layout calls them.
    EXPECT_FALSE(widgets::WideShortCutToText(ShortCut(VK_OEM_PLUS, classlib::ssCtrl)).empty());
}

TEST_F(WideButtonsMenus, MenuItemCaptionsHotKeysAndHints) {
    auto* menu = new widgets::TUcPopupMenu(form);
    auto* file = new widgets::TUcMenuItem(form);
    auto* open = new widgets::TUcMenuItem(form);
    auto* line = new widgets::TUcMenuItem(form);
    menu->Items()->Add(file);
    file->Add(open);
    file->Add(line);
    file->SetCaption(L"&\x0424\x0430\x0439\x043B");
    open->SetCaption(kCjk + L"(&O)");
    open->SetShortCut(classlib::ShortCut('O', classlib::ssCtrl));
    open->SetHint(kGreek + L"|" + kCjk + L" long");
    line->SetCaption(L"-");
    HMENU h = menu->Handle();
    EXPECT_EQ(MenuStringW(h, file->Command()), L"&\x0424\x0430\x0439\x043B");
    EXPECT_EQ(MenuStringW(file->Handle(), open->Command()), kCjk + L"(&O)\tCtrl+O");
    // The ANSI caption's hot key moved: the wide caption follows it.
    std::string ansi = open->classlib::TMenuItem::Caption();
    std::string moved = ansi;
    moved.erase(moved.find('&'), 1);
    moved.insert(0, "&");
    open->classlib::TMenuItem::SetCaption(moved);
    EXPECT_EQ(open->Caption(), L"&" + kCjk + L"(O)");
    EXPECT_EQ(MenuStringW(file->Handle(), open->Command()), L"&" + kCjk + L"(O)\tCtrl+O");
    // A different ANSI caption wins over the wide one, and reading it never raises.
    open->classlib::TMenuItem::SetCaption("Plain");
    EXPECT_EQ(open->Caption(), L"Plain");

    // The wide hint reaches the wide application while the item is selected; leaving clears it.
    widgets::TUcPopupList* popupList = widgets::UcPopupList();
    HWND listWindow = popupList->Window();
    SendMessageW(listWindow, WM_MENUSELECT, MAKEWPARAM(open->Command(), MF_STRING), reinterpret_cast<LPARAM>(file->Handle()));
    EXPECT_EQ(widgets::UcApplication()->Hint(), kCjk + L" long");
    SendMessageW(listWindow, WM_MENUSELECT, MAKEWPARAM(0, MF_POPUP), reinterpret_cast<LPARAM>(h));
    EXPECT_EQ(widgets::UcApplication()->Hint(), L"");
    open->SetHint(L"only");
    SendMessageW(listWindow, WM_MENUSELECT, MAKEWPARAM(open->Command(), MF_STRING), reinterpret_cast<LPARAM>(file->Handle()));
    EXPECT_EQ(widgets::UcApplication()->Hint(), L"only");
    SendMessageW(listWindow, WM_MENUSELECT, MAKEWPARAM(0, 0xFFFF), 0);
    EXPECT_EQ(widgets::UcApplication()->Hint(), L"");
}

TEST_F(WideButtonsMenus, AWideFormsMenuBarFeedsTheWideHint) {
    auto* bar = new classlib::TMainMenu(form);
    auto* top = new widgets::TUcMenuItem(form);
    auto* sub = new widgets::TUcMenuItem(form);
    bar->Items()->Add(top);
    top->Add(sub);
    top->SetCaption(kGreek);
    top->SetShortCut(classlib::ShortCut('G', classlib::ssCtrl));
    sub->SetCaption(kCjk);
    sub->SetHint(L"s|" + kGreek);
    form->SetMenu(bar);
    HMENU h = GetMenu(form->Handle());
    EXPECT_EQ(MenuStringW(h, top->Command()), kGreek);  // no shortcut text on the bar
    SendMessageW(form->Handle(), WM_MENUSELECT, MAKEWPARAM(sub->Command(), MF_STRING), reinterpret_cast<LPARAM>(top->Handle()));
    EXPECT_EQ(widgets::UcApplication()->Hint(), kGreek);
    SendMessageW(form->Handle(), WM_MENUSELECT, MAKEWPARAM(0, 0xFFFF), 0);
    EXPECT_EQ(widgets::UcApplication()->Hint(), L"");
}

TEST_F(WideButtonsMenus, OwnerDrawnItemsDrawAndMeasureTheirWideTexts) {
    auto* menu = new widgets::TUcPopupMenu(form);
    menu->SetOwnerDraw(true);
    auto* item = new widgets::TUcMenuItem(form);
    menu->Items()->Add(item);
    item->SetCaption(kCjk);
    item->SetShortCut(classlib::ShortCut('P', classlib::ssCtrl));
    MEASUREITEMSTRUCT measure = MeasureOwnerDrawn(menu, item);
    EXPECT_GT(measure.itemWidth, 40u);
    EXPECT_GT(measure.itemHeight, 8u);
    const int width = static_cast<int>(measure.itemWidth) + 40;
    quill_test::TInk ink = quill_test::InkOf(GetSysColor(COLOR_MENUTEXT), width, 24,
                                             [&](HDC dc) { DrawOwnerDrawn(measure, dc, RECT{0, 0, width, 24}, 0); });
    EXPECT_GT(ink.Count, 20);
    // The texts are put back after drawing.
    EXPECT_EQ(item->Caption(), kCjk);
    EXPECT_EQ(item->ShortCut(), classlib::ShortCut('P', classlib::ssCtrl));
}

// A menu given an image list draws its items itself: the item's image lands in the image area
// (as wide as the list's images), the wide caption after it; an index the list does not hold
// shows no image, and a list deleted before the menu leaves the menu drawing without one.
TEST_F(WideButtonsMenus, MenuImagesAreDrawnBeforeTheWideCaption) {
    constexpr int kImageWidth = 24, kImageHeight = 30, kItemWidth = 220, kItemHeight = 40;
    const COLORREF red = RGB(255, 0, 0);
    auto* images = new classlib::TImageList(form);
    images->SetWidth(kImageWidth);
    images->SetHeight(kImageHeight);
    {
        HDC screen = GetDC(nullptr);
        HDC dc = CreateCompatibleDC(screen);
        HBITMAP red24 = CreateCompatibleBitmap(screen, kImageWidth, kImageHeight);
        ReleaseDC(nullptr, screen);
        HGDIOBJ old = SelectObject(dc, red24);
        RECT all{0, 0, kImageWidth, kImageHeight};
        HBRUSH brush = CreateSolidBrush(red);
        FillRect(dc, &all, brush);
        DeleteObject(brush);
        SelectObject(dc, old);
        DeleteDC(dc);
        EXPECT_EQ(images->AddMasked(red24, classlib::clFuchsia), 0);  // every pixel shown
        DeleteObject(red24);
    }
    auto* menu = new widgets::TUcPopupMenu(form);
    auto* item = new widgets::TUcMenuItem(form);
    menu->Items()->Add(item);
    item->SetCaption(kCjk);
    item->SetImageIndex(0);
    menu->SetImages(images);
    EXPECT_FALSE(menu->OwnerDraw());
    MEASUREITEMSTRUCT measure = MeasureOwnerDrawn(menu, item);
    EXPECT_GE(measure.itemHeight, static_cast<UINT>(kImageHeight + 4));
    auto inkOf = [&](COLORREF Colour) {
        return quill_test::InkOf(Colour, kItemWidth, kItemHeight, [&](HDC dc) {
            DrawOwnerDrawn(measure, dc, RECT{0, 0, kItemWidth, kItemHeight}, item->Checked() ? ODS_CHECKED : 0);
        });
    };
    const COLORREF text = GetSysColor(COLOR_MENUTEXT);
    // The image area starts 2 pixels in; the texts start 8 pixels after it.
    const int textLeft = kImageWidth + 8;
    for (bool checked : {false, true}) {  // a checked item keeps its image (framed)
        item->SetChecked(checked);
        quill_test::TInk image = inkOf(red), caption = inkOf(text);
        EXPECT_EQ(image.Count, kImageWidth * kImageHeight) << checked;
        EXPECT_EQ(image.Left, 2);
        EXPECT_EQ(image.Right, 2 + kImageWidth - 1);
        EXPECT_GT(caption.Count, 20);
        EXPECT_GE(caption.Left, textLeft);
    }
    item->SetChecked(false);
    item->SetImageIndex(5);
    EXPECT_EQ(inkOf(red).Count, 0);
    EXPECT_GE(inkOf(text).Left, textLeft);

    item->SetImageIndex(0);
    delete images;
    EXPECT_EQ(menu->Images(), nullptr);
    EXPECT_EQ(inkOf(red).Count, 0);
    quill_test::TInk caption = inkOf(text);
    EXPECT_GT(caption.Count, 20);
    EXPECT_GE(caption.Left, 16 + 8);
    EXPECT_LT(caption.Left, textLeft);
    EXPECT_EQ(item->Caption(), kCjk);
}

TEST_F(WideButtonsMenus, AnsiPlatformMenusAndButtonsUseTheCodePage) {
    unicode::ForcePlatformForTesting(false);
    auto* button = Make<widgets::TUcButton>();
    button->SetCaption(kGreek);
    EXPECT_FALSE(IsWindowUnicode(button->Handle()));
    EXPECT_EQ(button->Caption(), AnsiToWide(WideToAnsi(kGreek)));
    auto* menu = new widgets::TUcPopupMenu(form);
    auto* item = new widgets::TUcMenuItem(form);
    menu->Items()->Add(item);
    item->SetCaption(L"caf\x00E9");
    item->SetShortCut(classlib::ShortCut('E', classlib::ssCtrl));
    char buf[64] = {};
    GetMenuStringA(menu->Handle(), item->Command(), buf, sizeof buf, MF_BYCOMMAND);
    EXPECT_EQ(std::string(buf), WideToAnsi(L"caf\x00E9\tCtrl+E"));
    EXPECT_EQ(widgets::WideShortCutToText(classlib::ShortCut('E', classlib::ssCtrl)), L"Ctrl+E");
    unicode::ForcePlatformForTesting(true);
}

// Every wide control of these kinds on one form with a text outside code page 1252: what each
// control reports is what its window holds, and the photograph of the form shows ink in each.
TEST_F(WideButtonsMenus, OneFormShowsEveryWideControlWithItsText) {
    form->SetBounds(60, 60, 520, 300);
    form->SetCaption(kCjk + L" " + kGreek);
    auto* label = Make<widgets::TUcLabel>(10, 10);
    label->SetCaption(kGreek);
    auto* edit = Make<widgets::TUcEdit>(10, 40);
    edit->SetText(kCjk);
    auto* memo = Make<widgets::TUcMemo>(10, 80);
    memo->SetBounds(10, 80, 150, 60);
    memo->Lines()->SetText(kGreek + L"\r" + kCjk);
    auto* combo = Make<widgets::TUcComboBox>(10, 160);
    combo->Items()->Add(kGreek);
    combo->SetText(kGreek);
    auto* list = Make<widgets::TUcListBox>(180, 10);
    list->SetBounds(180, 10, 140, 80);
    list->Items()->Add(kCjk);
    list->Items()->Add(kGreek);
    auto* button = Make<widgets::TUcButton>(180, 110);
    button->SetCaption(kCjk);
    auto* check = Make<widgets::TUcCheckBox>(180, 150);
    check->SetCaption(kGreek);
    auto* radio = Make<widgets::TUcRadioButton>(180, 180);
    radio->SetCaption(kCjk);
    auto* group = Make<widgets::TUcGroupBox>(340, 10);
    group->SetBounds(340, 10, 160, 120);
    group->SetCaption(kGreek);
    form->BringToFront();
    SetForegroundWindow(form->Handle());
    RedrawWindow(form->Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    Pump(50);

    EXPECT_EQ(WindowText(form->Handle()), kCjk + L" " + kGreek);
    EXPECT_EQ(label->Caption(), kGreek);
    for (auto [control, text] : std::initializer_list<std::pair<classlib::TWinControl*, std::wstring>>{
             {edit, kCjk}, {memo, kGreek + L"\r\n" + kCjk}, {combo, kGreek}, {button, kCjk}, {check, kGreek},
             {radio, kCjk}}) {
        EXPECT_EQ(widgets::UcControl_GetText(control), text);
        EXPECT_EQ(WindowText(control->Handle()), text);
    }
    EXPECT_EQ(list->Items()->Get(1), kGreek);
    EXPECT_EQ(group->Caption(), kGreek);

    // The photograph: the form's client area as the screen shows it.
    auto photograph = [&] {
        RedrawWindow(form->Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        Pump(20);
        RECT client{};
        GetClientRect(form->Handle(), &client);
        HDC screen = GetDC(form->Handle());
        HDC mem = CreateCompatibleDC(screen);
        HBITMAP shot = CreateCompatibleBitmap(screen, client.right, client.bottom);
        HGDIOBJ old = SelectObject(mem, shot);
        BitBlt(mem, 0, 0, client.right, client.bottom, screen, 0, 0, SRCCOPY);
        ReleaseDC(form->Handle(), screen);
        std::vector<COLORREF> pixels(static_cast<size_t>(client.right) * static_cast<size_t>(client.bottom));
        for (int y = 0; y < client.bottom; ++y)
            for (int x = 0; x < client.right; ++x) pixels[static_cast<size_t>(y * client.right + x)] = GetPixel(mem, x, y);
        SelectObject(mem, old);
        DeleteObject(shot);
        DeleteDC(mem);
        return std::pair<int, std::vector<COLORREF>>{client.right, std::move(pixels)};
    };
    const COLORREF text = GetSysColor(COLOR_WINDOWTEXT), buttonText = GetSysColor(COLOR_BTNTEXT);
    const auto controls = std::initializer_list<classlib::TControl*>{label, edit, memo, combo, list, button, check,
                                                                     radio, group};
    auto area = [](const std::pair<int, std::vector<COLORREF>>& Photo, classlib::TControl* C) {
        std::vector<COLORREF> part;
        for (int y = C->Top(); y < C->Top() + C->Height(); ++y)
            for (int x = C->Left(); x < C->Left() + C->Width(); ++x)
                part.push_back(Photo.second[static_cast<size_t>(y * Photo.first + x)]);
        return part;
    };
    const auto wide = photograph();
    for (classlib::TControl* c : controls) {
        const std::vector<COLORREF> part = area(wide, c);
        EXPECT_GT(std::count_if(part.begin(), part.end(), [&](COLORREF p) { return p == text || p == buttonText; }), 10)
            << WideToAnsi(c->ClassName());
    }
    // The same texts as the code page gives them ("?" for every character outside it): each control
    // must look different, or it was showing question marks all along.
    label->SetCaption(AnsiToWide(WideToAnsi(kGreek)));
    edit->SetText(AnsiToWide(WideToAnsi(kCjk)));
    memo->Lines()->SetText(AnsiToWide(WideToAnsi(kGreek + L"\r" + kCjk)));
    combo->Items()->Clear();
    combo->SetText(AnsiToWide(WideToAnsi(kGreek)));
    list->Items()->Clear();
    list->Items()->Add(AnsiToWide(WideToAnsi(kCjk)));
    list->Items()->Add(AnsiToWide(WideToAnsi(kGreek)));
    button->SetCaption(AnsiToWide(WideToAnsi(kCjk)));
    check->SetCaption(AnsiToWide(WideToAnsi(kGreek)));
    radio->SetCaption(AnsiToWide(WideToAnsi(kCjk)));
    group->SetCaption(AnsiToWide(WideToAnsi(kGreek)));
    const auto marks = photograph();
    for (classlib::TControl* c : controls) EXPECT_NE(area(wide, c), area(marks, c)) << WideToAnsi(c->ClassName());
}

}  // namespace
