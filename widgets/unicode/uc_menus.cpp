// Wide menus: wide menu items, the wide pop-up menu and pop-up list, shortcut texts and hot keys.
#include "widgets/unicode/uc_menus.h"

#include <vector>

#include "classlib/conversions.h"
#include "classlib/gdi_handles.h"
#include "classlib/threads.h"
#include "unicode/wide_codecs.h"
#include "unicode/wide_platform.h"
#include "unicode/wide_properties.h"

namespace widgets {

using classlib::AnsiToWide;
using classlib::TMessage;
using classlib::WideToAnsi;

namespace {

bool IsUnicodePlatform() { return unicode::Win32PlatformIsUnicode(); }

int gFarEastOverride = -1;
int gMiddleEastOverride = -1;
TUcPopupList* gUcPopupList = nullptr;

bool SameTextIgnoringCase(const std::wstring& A, const std::wstring& B) {
    return CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, A.c_str(), static_cast<int>(A.size()), B.c_str(),
                          static_cast<int>(B.size())) == CSTR_EQUAL;
}

// Moves the hot-key marks of Wide to the places they have in Ansi (the two being the same
// caption apart from their marks). Answers false when the result still differs from Ansi.
bool SyncHotKeyPosition(std::wstring& Wide, const std::string& Ansi) {
    std::wstring stripped = WideStripHotkey(Wide);
    std::wstring out;
    size_t p = 0;
    for (wchar_t wc : stripped) {
        if (p < Ansi.size() && Ansi[p] == '&') {
            if (p + 1 < Ansi.size() && Ansi[p + 1] == '&' && wc == L'&') {
                out += L"&&";
                p += 2;
                continue;
            }
            out += L'&';
            ++p;
        }
        out += wc;
        p += WideToAnsi(std::wstring(1, wc)).size();
    }
    if (p < Ansi.size() && Ansi[p] == '&') out += L'&';
    if (WideToAnsi(out) != Ansi) return false;
    Wide = out;
    return true;
}

void WriteMenuItem(TUcMenuItem* Item, HMENU Menu, bool Force) {
    if (!IsUnicodePlatform() || Item == nullptr || Menu == nullptr || !Item->Visible()) return;
    classlib::TMenuItem* parent = Item->Parent();
    if (parent == nullptr || !parent->HandleAllocated()) return;
    if (Item->HasState(classlib::csReading) || Item->HasState(classlib::csDestroying)) return;
    MENUITEMINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_FTYPE;
    if (!GetMenuItemInfoW(Menu, Item->Command(), FALSE, &info)) return;
    if ((info.fType & (MFT_BITMAP | MFT_OWNERDRAW | MFT_SEPARATOR)) != 0) return;
    std::wstring text = Item->WideMenuText();
    wchar_t current[1024] = {};
    int n = GetMenuStringW(Menu, Item->Command(), current, 1024, MF_BYCOMMAND);
    if (!Force && n >= 0 && text == std::wstring(current, static_cast<size_t>(n))) return;
    MENUITEMINFOW set{};
    set.cbSize = sizeof set;
    set.fMask = MIIM_STRING;
    set.dwTypeData = text.data();
    set.cch = static_cast<UINT>(text.size());
    if (!SetMenuItemInfoW(Menu, Item->Command(), FALSE, &set)) classlib::RaiseLastOSError();
    classlib::TMenu* menu = Item->GetParentMenu();
    if (auto* bar = dynamic_cast<classlib::TMainMenu*>(menu); bar != nullptr && bar->WindowHandle() != nullptr)
        DrawMenuBar(bar->WindowHandle());
}

void UpdateTree(classlib::TMenuItem* Item) {
    for (int i = Item->Count() - 1; i >= 0; --i) {
        classlib::TMenuItem* child = Item->Items(i);
        if (child->HasState(classlib::csReading) || child->HasState(classlib::csDestroying)) continue;
        UpdateTree(child);
        if (auto* wide = dynamic_cast<TUcMenuItem*>(child)) UpdateMenuItem(wide, Item->HandleAllocated() ? Item->Handle() : nullptr);
    }
}

}  // namespace

// ---- Shortcut texts and hot keys -------------------------------------------------------------

void SetFarEastLocaleForTesting(int Value) { gFarEastOverride = Value; }
void SetMiddleEastLocaleForTesting(int Value) { gMiddleEastOverride = Value; }
bool IsFarEastLocale() { return gFarEastOverride >= 0 ? gFarEastOverride != 0 : GetSystemMetrics(SM_DBCSENABLED) != 0; }
bool IsMiddleEastLocale() {
    return gMiddleEastOverride >= 0 ? gMiddleEastOverride != 0 : GetSystemMetrics(SM_MIDEASTENABLED) != 0;
}

std::wstring WideShortCutToText(classlib::TShortCut ShortCut) {
    WORD key = ShortCut & 0xFF;
    bool fixed = key == VK_BACK || key == VK_TAB || key == VK_RETURN || key == VK_ESCAPE ||
                 (key >= VK_SPACE && key <= VK_DOWN) || key == VK_INSERT || key == VK_DELETE ||
                 (key >= VK_F1 && key <= VK_F24);
    if (!IsUnicodePlatform() || fixed) return AnsiToWide(classlib::ShortCutToText(ShortCut));
    std::wstring name;
    if ((key >= '0' && key <= '9') || (key >= 'A' && key <= 'Z') || (key >= VK_NUMPAD0 && key <= VK_NUMPAD9)) {
        UINT ch = MapVirtualKeyW(key, MAPVK_VK_TO_CHAR) & 0xFFFF;
        if (ch != 0) name = std::wstring(1, static_cast<wchar_t>(ch));
    } else {
        wchar_t buf[257] = {};
        LONG lparam = static_cast<LONG>(MapVirtualKeyW(key, MAPVK_VK_TO_VSC) << 16);
        int n = GetKeyNameTextW(lparam, buf, 256);
        if (n > 0) name.assign(buf, static_cast<size_t>(n));
    }
    if (name.empty()) return std::wstring();
    std::wstring text;
    if (ShortCut & classlib::scShift) text += L"Shift+";
    if (ShortCut & classlib::scCtrl) text += L"Ctrl+";
    if (ShortCut & classlib::scAlt) text += L"Alt+";
    return text + name;
}

int WideGetHotkeyPos(const std::wstring& Caption) {
    int pos = 0;
    for (size_t i = 0; i + 1 < Caption.size(); ++i) {
        if (Caption[i] != L'&') continue;
        ++i;  // the mark and the character after it
        if (Caption[i] != L'&') pos = static_cast<int>(i) + 1;
    }
    return pos;
}

std::wstring WideGetHotkey(const std::wstring& Caption) {
    int pos = WideGetHotkeyPos(Caption);
    return pos == 0 ? std::wstring() : Caption.substr(static_cast<size_t>(pos - 1), 1);
}

std::wstring WideStripHotkey(const std::wstring& Caption) {
    std::wstring out;
    bool farEast = IsFarEastLocale();
    for (size_t i = 0; i < Caption.size(); ++i) {
        wchar_t c = Caption[i];
        if (c != L'&') {
            out += c;
            continue;
        }
        // A Far-East "(&X)" group goes whole.
        if (farEast && !out.empty() && out.back() == L'(' && i + 2 < Caption.size() && Caption[i + 2] == L')') {
            out.pop_back();
            i += 2;
            continue;
        }
        if (i + 1 < Caption.size()) out += Caption[++i];
    }
    return out;
}

bool WideSameCaption(const std::wstring& A, const std::wstring& B) {
    return SameTextIgnoringCase(WideStripHotkey(A), WideStripHotkey(B));
}

bool WideIsAccel(WPARAM Key, const std::wstring& Caption) {
    std::wstring hotkey = WideGetHotkey(Caption);
    if (hotkey.empty()) return false;
    // A key parked above 255 by the wide core is its own wide character.
    wchar_t typed = LOWORD(Key) == 255 && HIWORD(Key) != 0 ? static_cast<wchar_t>(HIWORD(Key))
                                                            : unicode::KeyCharToWideChar(LOWORD(Key));
    return typed != 0 && SameTextIgnoringCase(std::wstring(1, typed), hotkey);
}

std::wstring WideGetMenuItemHint(classlib::TMenuItem* Item) {
    if (auto* wide = dynamic_cast<TUcMenuItem*>(Item)) return wide->Hint();
    return Item != nullptr ? AnsiToWide(Item->Hint()) : std::wstring();
}

void UpdateMenuItem(TUcMenuItem* Item, HMENU Menu) { WriteMenuItem(Item, Menu, false); }

void UpdateMenuItems(classlib::TMenu* Menu) {
    if (Menu == nullptr || !IsUnicodePlatform() || !Menu->HandleAllocated()) return;
    UpdateTree(Menu->Items());
}

void FixMenuBiDiProblem(classlib::TMenu* Menu) {
    if (Menu == nullptr || !IsMiddleEastLocale() || !Menu->HandleAllocated() || Menu->Items()->Count() == 0) return;
    if (auto* first = dynamic_cast<TUcMenuItem*>(Menu->Items()->Items(0))) WriteMenuItem(first, Menu->Handle(), true);
}

// ---- TUcMenuItem -----------------------------------------------------------------------------

std::wstring TUcMenuItem::Caption() {
    const std::string& ansi = classlib::TMenuItem::Caption();
    if (WideToAnsi(wideCaption_) != ansi &&
        WideToAnsi(WideStripHotkey(wideCaption_)) == WideToAnsi(WideStripHotkey(AnsiToWide(ansi)))) {
        // Only the hot keys moved: keep the wide text with the ANSI caption's marks. When they
        // cannot be matched the ANSI caption wins below; a reader (a paint or menu pass) gets a
        // caption, never an error.
        SyncHotKeyPosition(wideCaption_, ansi);
    }
    return unicode::GetSyncedWideString(wideCaption_, ansi);
}

void TUcMenuItem::SetCaption(const std::wstring& Value) {
    unicode::SetSyncedWideString(Value, wideCaption_, classlib::TMenuItem::Caption(),
                                 [this](const std::string& s) { classlib::TMenuItem::SetCaption(s); });
}

std::wstring TUcMenuItem::Hint() { return unicode::GetSyncedWideString(wideHint_, classlib::TMenuItem::Hint()); }

void TUcMenuItem::SetHint(const std::wstring& Value) {
    unicode::SetSyncedWideString(Value, wideHint_, classlib::TMenuItem::Hint(),
                                 [this](const std::string& s) { classlib::TMenuItem::SetHint(s); });
}

bool TUcMenuItem::IsCaptionStored() { return ActionLink() == nullptr || !ActionLink()->IsCaptionLinked(); }
bool TUcMenuItem::IsHintStored() { return ActionLink() == nullptr || !ActionLink()->IsHintLinked(); }

std::wstring TUcMenuItem::WideMenuText() {
    std::wstring text = Caption();
    classlib::TMenuItem* parent = Parent();
    bool barItem = parent != nullptr && parent->Parent() == nullptr &&
                   dynamic_cast<classlib::TMainMenu*>(GetParentMenu()) != nullptr;
    if (Count() == 0 && ShortCut() != classlib::scNone && !barItem) text += L'\t' + WideShortCutToText(ShortCut());
    return text;
}

void TUcMenuItem::DefineProperties(classlib::TFiler* Filer) {
    classlib::TMenuItem::DefineProperties(Filer);
    unicode::UcPersistent_DefineWideProperties(Filer, this);
}

void TUcMenuItem::Loaded() {
    classlib::TMenuItem::Loaded();
    if (Parent() != nullptr && Parent()->HandleAllocated()) UpdateMenuItem(this, Parent()->Handle());
}

void TUcMenuItem::Appended(HMENU Menu) { UpdateMenuItem(this, Menu); }

void TUcMenuItem::MenuChanged(bool Rebuild) {
    if (updating_) return;
    classlib::TMenuItem::MenuChanged(Rebuild);
    classlib::TMenu* menu = GetParentMenu();
    UpdateMenuItems(menu);
    FixMenuBiDiProblem(menu);
}

void TUcMenuItem::ActionChange(classlib::TObject* Sender, bool CheckDefaults) {
    if (auto* action = dynamic_cast<classlib::TCustomAction*>(Sender);
        action != nullptr && dynamic_cast<IUcWideAction*>(action) != nullptr) {
        if (!CheckDefaults || Caption().empty()) SetCaption(WideActionCaption(action));
        if (!CheckDefaults || Hint().empty()) SetHint(WideActionHint(action));
    }
    classlib::TMenuItem::ActionChange(Sender, CheckDefaults);
}

classlib::TMenuActionLinkClass TUcMenuItem::GetActionLinkClass() const { return &TUcMenuActionLink::ClassRef(); }

void TUcMenuItem::DoDrawWideText(classlib::TCanvas* ACanvas, const std::wstring& Text, RECT& Rect, bool Selected,
                                 UINT Flags) {
    std::wstring text = Text;
    classlib::TMenu* menu = GetParentMenu();
    if (menu != nullptr && menu->IsRightToLeft()) Flags |= DT_RIGHT | DT_RTLREADING;
    if ((Flags & DT_CALCRECT) != 0 && (text.empty() || text == L"&")) text += L' ';
    HDC dc = ACanvas->Handle();
    HFONT font = ACanvas->Font()->Handle();
    classlib::TOwnedFont bold;  // outlives the DC's saved state
    if (Default()) {
        LOGFONTW lf{};
        GetObjectW(font, sizeof lf, &lf);
        lf.lfWeight = FW_BOLD;
        bold.Reset(CreateFontIndirectW(&lf));
        font = bold.Get();
    }
    classlib::TSavedDC saved(dc);
    SelectObject(dc, font);
    SetBkMode(dc, TRANSPARENT);
    auto draw = [&](RECT& r) { DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r, Flags); };
    if (!Enabled()) {
        if (!Selected) {
            RECT r = Rect;
            OffsetRect(&r, 1, 1);
            SetTextColor(dc, classlib::ColorToRGB(classlib::clBtnHighlight));
            draw(r);
        }
        bool sameAsShadow = classlib::ColorToRGB(classlib::clHighlight) == classlib::ColorToRGB(classlib::clBtnShadow);
        SetTextColor(dc, classlib::ColorToRGB(Selected && sameAsShadow ? classlib::clBtnHighlight : classlib::clBtnShadow));
    } else {
        SetTextColor(dc, classlib::ColorToRGB(Selected ? classlib::clHighlightText : classlib::clMenuText));
    }
    draw(Rect);
}

void TUcMenuItem::DoDrawText(classlib::TCanvas* ACanvas, const std::string& Text, RECT& Rect, bool Selected,
                             UINT Flags) {
    if (!IsUnicodePlatform()) {
        classlib::TMenuItem::DoDrawText(ACanvas, Text, Rect, Selected, Flags);
        return;
    }
    DoDrawWideText(ACanvas, AnsiToWide(Text), Rect, Selected, Flags);
}

void TUcMenuItem::AdvancedDrawItem(classlib::TCanvas* ACanvas, RECT ARect, classlib::TOwnerDrawState State,
                                   bool TopLevel) {
    classlib::TMenu* menu = GetParentMenu();
    bool ownHandlers = (OnDrawItem || OnAdvancedDrawItem) && menu != nullptr && menu->IsOwnerDraw();
    if (!IsUnicodePlatform() || IsLine() || ownHandlers) {
        classlib::TMenuItem::AdvancedDrawItem(ACanvas, ARect, State, TopLevel);
        return;
    }
    // The library draws the frame, the image and the check mark; the texts are drawn wide here,
    // after the image area.
    std::string caption = classlib::TMenuItem::Caption();
    classlib::TShortCut shortCut = ShortCut();
    std::wstring wideCaption = Caption();
    updating_ = true;
    try {
        classlib::TMenuItem::SetCaption(std::string());
        classlib::TMenuItem::SetShortCut(classlib::scNone);
        classlib::TMenuItem::AdvancedDrawItem(ACanvas, ARect, State, TopLevel);
    } catch (...) {
        classlib::TMenuItem::SetCaption(caption);
        classlib::TMenuItem::SetShortCut(shortCut);
        wideCaption_ = wideCaption;
        updating_ = false;
        throw;
    }
    classlib::TMenuItem::SetCaption(caption);
    classlib::TMenuItem::SetShortCut(shortCut);
    wideCaption_ = wideCaption;
    updating_ = false;
    bool selected = (State & classlib::odSelected) != 0;
    RECT text = TextArea(ARect, TopLevel);
    UINT flags = DT_SINGLELINE | DT_VCENTER | DT_EXPANDTABS;
    DoDrawWideText(ACanvas, wideCaption, text, selected, flags | DT_LEFT);
    if (shortCut != classlib::scNone && !TopLevel)
        DoDrawWideText(ACanvas, WideShortCutToText(shortCut), text, selected, flags | DT_RIGHT);
}

void TUcMenuItem::MeasureItem(classlib::TCanvas* ACanvas, int& Width, int& Height) {
    if (!IsUnicodePlatform()) {
        classlib::TMenuItem::MeasureItem(ACanvas, Width, Height);
        return;
    }
    classlib::TMenuMeasureItemEvent event = std::move(OnMeasureItem);
    OnMeasureItem = nullptr;
    auto restore = [&] { OnMeasureItem = std::move(event); };
    try {
        classlib::TMenuItem::MeasureItem(ACanvas, Width, Height);
        UINT align = DT_LEFT;
        if (auto* popup = dynamic_cast<classlib::TPopupMenu*>(GetParentMenu())) {
            if (popup->Alignment() == classlib::TPopupAlignment::paRight) align = DT_RIGHT;
            else if (popup->Alignment() == classlib::TPopupAlignment::paCenter) align = DT_CENTER;
        }
        UINT flags = DT_CALCRECT | DT_NOCLIP | DT_EXPANDTABS | DT_SINGLELINE | align;
        auto wideWidth = [&](const std::wstring& t) {
            RECT r{0, 0, 0, 0};
            DoDrawWideText(ACanvas, t, r, false, flags);
            return static_cast<int>(r.right - r.left);
        };
        auto ansiWidth = [&](const std::string& t) {
            RECT r{0, 0, 0, 0};
            DoDrawWideText(ACanvas, AnsiToWide(t), r, false, flags);
            return static_cast<int>(r.right - r.left);
        };
        Width += wideWidth(Caption()) - ansiWidth(classlib::TMenuItem::Caption());
        if (ShortCut() != classlib::scNone)
            Width += wideWidth(WideShortCutToText(ShortCut())) - ansiWidth(classlib::ShortCutToText(ShortCut()));
    } catch (...) {
        restore();
        throw;
    }
    restore();
    if (OnMeasureItem) OnMeasureItem(this, ACanvas, Width, Height);
}

// ---- TUcMenuActionLink -----------------------------------------------------------------------

const TUcMenuActionLink::ClassRefType& TUcMenuActionLink::ClassRef() {
    static const ClassRefType ref(L"TUcMenuActionLink", &classlib::TMenuActionLink::ClassRef(),
                                  [](classlib::TMenuItem* c) -> classlib::TMenuActionLink* {
                                      return new TUcMenuActionLink(c);
                                  });
    return ref;
}

bool TUcMenuActionLink::IsCaptionLinked() {
    auto* item = dynamic_cast<TUcMenuItem*>(Client());
    return classlib::TMenuActionLink::IsCaptionLinked() && item != nullptr &&
           WideSameCaption(item->Caption(), WideActionCaption(CustomAction()));
}

bool TUcMenuActionLink::IsHintLinked() {
    auto* item = dynamic_cast<TUcMenuItem*>(Client());
    return classlib::TMenuActionLink::IsHintLinked() && item != nullptr &&
           item->Hint() == WideActionHint(CustomAction());
}

void TUcMenuActionLink::SetCaption(const std::string& Value) {
    if (!IsCaptionLinked()) return;
    if (auto* item = dynamic_cast<TUcMenuItem*>(Client())) item->SetCaption(WideCaptionForLink(Action(), Value));
}

void TUcMenuActionLink::SetHint(const std::string& Value) {
    if (!IsHintLinked()) return;
    if (auto* item = dynamic_cast<TUcMenuItem*>(Client())) item->SetHint(WideHintForLink(Action(), Value));
}

// ---- Wide pop-up list and pop-up menu --------------------------------------------------------

TUcPopupList* UcPopupList() {
    if (gUcPopupList == nullptr) gUcPopupList = new TUcPopupList(classlib::LibraryPopupList());
    return gUcPopupList;
}

void FinalizeWideMenus() {
    if (gUcPopupList == nullptr) return;
    if (classlib::PopupList() == gUcPopupList) classlib::SetPopupList(nullptr);
    // Menus still alive go back to the library's list.
    while (gUcPopupList->Count() > 0) {
        classlib::TPopupMenu* menu = gUcPopupList->Items(0);
        gUcPopupList->Remove(menu);
        classlib::LibraryPopupList()->Add(menu);
    }
    delete gUcPopupList;
    gUcPopupList = nullptr;
}

void TUcPopupList::WndProc(TMessage& Message) {
    switch (Message.Msg) {
        case WM_MENUSELECT: {
            classlib::TMenuItem* item = nullptr;
            if (!(HIWORD(Message.WParam) == 0xFFFF && Message.LParam == 0)) item = FindSelectedItem(Message);
            if (item != nullptr) {
                if (UcApplication() != nullptr) UcApplication()->SetHint(WideGetLongHint(WideGetMenuItemHint(item)));
                return;
            }
            if (UcApplication() != nullptr) UcApplication()->SetHint(std::wstring());
            break;
        }
        case WM_ENTERMENULOOP:
            classlib::SetPopupList(libraryList_);
            for (int i = 0; i < Count(); ++i) FixMenuBiDiProblem(Items(i));
            break;
        default:
            break;
    }
    classlib::TPopupList::WndProc(Message);
}

TUcPopupMenu::TUcPopupMenu(classlib::TComponent* AOwner) : classlib::TPopupMenu(AOwner) {
    classlib::LibraryPopupList()->Remove(this);
    UcPopupList()->Add(this);
}

TUcPopupMenu::~TUcPopupMenu() {
    if (gUcPopupList != nullptr) gUcPopupList->Remove(this);
}

HWND TUcPopupMenu::WindowHandle() const {
    return gUcPopupList != nullptr && gUcPopupList->Contains(this) ? gUcPopupList->Window()
                                                                   : classlib::TPopupMenu::WindowHandle();
}

void TUcPopupMenu::Popup(int X, int Y) {
    classlib::CheckMainThread("TUcPopupMenu.Popup");
    classlib::TPopupList* previous = classlib::SetPopupList(UcPopupList());
    auto restore = [previous] { classlib::SetPopupList(previous == classlib::LibraryPopupList() ? nullptr : previous); };
    try {
        Handle();
        UpdateMenuItems(this);
        classlib::TPopupMenu::Popup(X, Y);
    } catch (...) {
        restore();
        throw;
    }
    restore();
}

void TUcPopupMenu::RebuildHandle() {
    classlib::TPopupMenu::RebuildHandle();
    UpdateMenuItems(this);
}

// ---- Wide form menu --------------------------------------------------------------------------

bool TUcFormMenu::FindItemHint(HMENU SubMenu, UINT Command, std::wstring& WideHint) {
    classlib::TMenuItem* item = SubMenu != nullptr
                                    ? menu_->FindItem(reinterpret_cast<UINT_PTR>(SubMenu), classlib::TFindItemKind::fkHandle)
                                    : menu_->FindItem(Command, classlib::TFindItemKind::fkCommand);
    if (item == nullptr) return false;
    WideHint = WideGetMenuItemHint(item);
    return true;
}

}  // namespace widgets
