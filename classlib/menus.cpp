// Menus of the class library: items, the menu bar and pop-up menus, the pop-up list.
#include "classlib/menus.h"

#include <algorithm>
#include <bitset>

#include "classlib/application.h"
#include "classlib/conversions.h"
#include "classlib/gdi_handles.h"
#include "classlib/threads.h"

namespace classlib {

namespace {

// WM_COMMAND carries 16 bits of identifier; 0 is never used, and the identifiers from
// kFirstMDIChildId on belong to the MDI frame's window list.
std::bitset<0x10000> gUsedCommands;
UINT gNextCommand = 1;

UINT UniqueCommand() {
    for (UINT tries = 0; tries < kFirstMDIChildId; ++tries) {
        UINT c = gNextCommand;
        gNextCommand = gNextCommand >= kFirstMDIChildId - 1 ? 1 : gNextCommand + 1;
        if (!gUsedCommands.test(c)) {
            gUsedCommands.set(c);
            return c;
        }
    }
    throw EMenuError(L"Too many menu items");
}

void ReleaseCommand(UINT Command) {
    if (Command != 0 && Command < gUsedCommands.size()) gUsedCommands.reset(Command);
}

TPopupList* gLibraryPopupList = nullptr;
TPopupList* gPopupList = nullptr;

}  // namespace

std::string StripHotkey(const std::string& Caption) {
    std::string out;
    for (size_t i = 0; i < Caption.size(); ++i) {
        if (Caption[i] == '&' && i + 1 < Caption.size()) ++i;
        else if (Caption[i] == '&') continue;
        out += Caption[i];
    }
    return out;
}

char GetHotkey(const std::string& Caption) { return AccelChar(Caption); }

// ---- TMenuActionLink -------------------------------------------------------------------------

TMenuActionLink::TMenuActionLink(TMenuItem* AClient) : TActionLink(AClient), client_(AClient) {}

const TMenuActionLink::ClassRefType& TMenuActionLink::ClassRef() {
    static const ClassRefType ref(L"TMenuActionLink", nullptr,
                                  [](TMenuItem* c) -> TMenuActionLink* { return new TMenuActionLink(c); });
    return ref;
}

bool TMenuActionLink::IsCaptionLinked() {
    return TActionLink::IsCaptionLinked() && client_->Caption() == CustomAction()->Caption();
}
bool TMenuActionLink::IsCheckedLinked() {
    return TActionLink::IsCheckedLinked() && client_->Checked() == CustomAction()->Checked();
}
bool TMenuActionLink::IsEnabledLinked() {
    return TActionLink::IsEnabledLinked() && client_->Enabled() == CustomAction()->Enabled();
}
bool TMenuActionLink::IsHelpContextLinked() {
    return TActionLink::IsHelpContextLinked() && client_->HelpContext() == CustomAction()->HelpContext();
}
bool TMenuActionLink::IsHintLinked() {
    return TActionLink::IsHintLinked() && client_->Hint() == CustomAction()->Hint();
}
bool TMenuActionLink::IsImageIndexLinked() {
    return TActionLink::IsImageIndexLinked() && client_->ImageIndex() == CustomAction()->ImageIndex();
}
bool TMenuActionLink::IsShortCutLinked() {
    return TActionLink::IsShortCutLinked() && client_->ShortCut() == CustomAction()->ShortCut();
}
bool TMenuActionLink::IsVisibleLinked() {
    return TActionLink::IsVisibleLinked() && client_->Visible() == CustomAction()->Visible();
}
bool TMenuActionLink::IsOnExecuteLinked() { return !client_->OnClick; }

void TMenuActionLink::SetCaption(const std::string& Value) {
    if (IsCaptionLinked()) client_->SetCaption(Value);
}
void TMenuActionLink::SetChecked(bool Value) {
    if (IsCheckedLinked()) client_->SetChecked(Value);
}
void TMenuActionLink::SetEnabled(bool Value) {
    if (IsEnabledLinked()) client_->SetEnabled(Value);
}
void TMenuActionLink::SetHelpContext(int Value) {
    if (IsHelpContextLinked()) client_->SetHelpContext(Value);
}
void TMenuActionLink::SetHint(const std::string& Value) {
    if (IsHintLinked()) client_->SetHint(Value);
}
void TMenuActionLink::SetImageIndex(int Value) {
    if (IsImageIndexLinked()) client_->SetImageIndex(Value);
}
void TMenuActionLink::SetShortCut(TShortCut Value) {
    if (IsShortCutLinked()) client_->SetShortCut(Value);
}
void TMenuActionLink::SetVisible(bool Value) {
    if (IsVisibleLinked()) client_->SetVisible(Value);
}

// ---- TMenuItem -------------------------------------------------------------------------------

TMenuItem::TMenuItem(TComponent* AOwner) : TComponent(AOwner), command_(UniqueCommand()) {}

TMenuItem::~TMenuItem() {
    destroying_ = true;
    actionLink_.reset();
    if (parent_ != nullptr) parent_->Remove(this);
    while (!items_.empty()) {
        TMenuItem* child = items_.back();
        items_.pop_back();
        child->parent_ = nullptr;
        delete child;
    }
    DestroyHandle();
    ReleaseCommand(command_);
}

void TMenuItem::SetCaption(const std::string& Value) { Store(caption_, Value); }

void TMenuItem::SetShortCut(TShortCut Value) { Store(shortCut_, Value); }

void TMenuItem::SetChecked(bool Value) {
    if (checked_ == Value) return;
    checked_ = Value;
    if (Value && radioItem_) TurnSiblingsOff();
    Changed(true);
}

void TMenuItem::TurnSiblingsOff() {
    if (parent_ == nullptr) return;
    for (TMenuItem* sibling : parent_->items_)
        if (sibling != this && sibling->radioItem_ && sibling->groupIndex_ == groupIndex_ && sibling->checked_) {
            sibling->checked_ = false;
            if (sibling->actionLink_) sibling->actionLink_->SetChecked(false);
        }
}

void TMenuItem::SetEnabled(bool Value) { Store(enabled_, Value); }

void TMenuItem::SetVisible(bool Value) { Store(visible_, Value); }

void TMenuItem::SetDefault(bool Value) {
    if (default_ == Value) return;
    if (Value && parent_ != nullptr)
        for (TMenuItem* sibling : parent_->items_) sibling->default_ = false;
    default_ = Value;
    Changed(true);
}

void TMenuItem::SetRadioItem(bool Value) {
    if (radioItem_ == Value) return;
    radioItem_ = Value;
    if (checked_ && radioItem_) TurnSiblingsOff();
    Changed(true);
}

void TMenuItem::SetImageIndex(int Value) { Store(imageIndex_, Value); }

TMenuItem* TMenuItem::Items(int Index) const {
    if (Index < 0 || Index >= Count()) throw EMenuError(L"Menu index out of range");
    return items_[static_cast<size_t>(Index)];
}

int TMenuItem::IndexOf(const TMenuItem* Item) const {
    auto it = std::find(items_.begin(), items_.end(), Item);
    return it == items_.end() ? -1 : static_cast<int>(it - items_.begin());
}

void TMenuItem::Insert(int Index, TMenuItem* Item) {
    if (Item == nullptr) return;
    if (Item->parent_ != nullptr) throw EMenuError(L"Menu inserted twice");
    if (Index < 0 || Index > Count()) throw EMenuError(L"Menu index out of range");
    items_.insert(items_.begin() + Index, Item);
    Item->parent_ = this;
    if (Item->radioItem_ && Item->checked_) Item->TurnSiblingsOff();
    RebuildHandle();
    if (TMenu* menu = GetParentMenu()) menu->MenuChanged(this, true);
}

void TMenuItem::Remove(TMenuItem* Item) {
    int index = IndexOf(Item);
    if (index < 0) return;
    items_.erase(items_.begin() + index);
    Item->parent_ = nullptr;
    if (destroying_) return;
    RebuildHandle();
    if (TMenu* menu = GetParentMenu()) menu->MenuChanged(this, true);
}

void TMenuItem::Delete(int Index) {
    TMenuItem* item = Items(Index);
    Remove(item);
    delete item;
}

void TMenuItem::Clear() {
    while (Count() > 0) Delete(Count() - 1);
}

TMenuItem* TMenuItem::Find(const std::string& ACaption) const {
    std::string wanted = StripHotkey(ACaption);
    for (TMenuItem* item : items_)
        if (CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, StripHotkey(item->caption_).c_str(), -1,
                           wanted.c_str(), -1) == CSTR_EQUAL)
            return item;
    return nullptr;
}

TMenu* TMenuItem::GetParentMenu() const {
    const TMenuItem* item = this;
    while (item->parent_ != nullptr) item = item->parent_;
    return item->menu_;
}

HMENU TMenuItem::Handle() {
    if (handle_ == nullptr) {
        handle_ = (menu_ != nullptr) ? menu_->CreateMenuHandle() : CreatePopupMenu();
        if (handle_ == nullptr) RaiseLastOSError();
        RebuildHandle();
    }
    return handle_;
}

void TMenuItem::DestroyHandle() {
    if (handle_ == nullptr) return;
    // The sub-menus belong to their items: take them out before the menu goes.
    while (GetMenuItemCount(handle_) > 0) RemoveMenu(handle_, 0, MF_BYPOSITION);
    DestroyMenu(handle_);
    handle_ = nullptr;
}

std::string TMenuItem::MenuText() const {
    std::string text = caption_;
    bool barItem = parent_ != nullptr && parent_->parent_ == nullptr && parent_->menu_ != nullptr &&
                   parent_->menu_->IsMenuBar();
    if (shortCut_ != scNone && items_.empty() && !barItem) text.append(1, '\t').append(ShortCutToText(shortCut_));
    return text;
}

void TMenuItem::AppendTo(HMENU Menu, bool TopLevelOfBar) {
    TMenu* menu = GetParentMenu();
    std::string text = MenuText();
    MENUITEMINFOA info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_DATA;
    info.wID = command_;
    info.dwItemData = reinterpret_cast<ULONG_PTR>(this);
    if (IsLine()) {
        info.fType = MFT_SEPARATOR;
    } else {
        info.fMask |= MIIM_STRING;
        info.dwTypeData = text.data();
        info.cch = static_cast<UINT>(text.size());
        if (radioItem_) info.fType |= MFT_RADIOCHECK;
        if (menu != nullptr && menu->IsOwnerDraw() && !TopLevelOfBar) info.fType |= MFT_OWNERDRAW;
        if (menu != nullptr && menu->IsRightToLeft()) info.fType |= MFT_RIGHTORDER;
    }
    if (checked_) info.fState |= MFS_CHECKED;
    if (!enabled_) info.fState |= MFS_DISABLED;
    if (default_) info.fState |= MFS_DEFAULT;
    bool hasVisibleItems = std::any_of(items_.begin(), items_.end(), [](TMenuItem* i) { return i->visible_; });
    if (hasVisibleItems) {
        info.fMask |= MIIM_SUBMENU;
        info.hSubMenu = Handle();
    }
    if (!InsertMenuItemA(Menu, static_cast<UINT>(GetMenuItemCount(Menu)), TRUE, &info)) RaiseLastOSError();
    Appended(Menu);
}

int TMenuItem::ImageAreaWidth() const {
    TMenu* menu = GetParentMenu();
    return menu != nullptr ? menu->ImagesWidth() : 16;
}

RECT TMenuItem::TextArea(RECT ARect, bool TopLevel) const {
    RECT text = ARect;
    text.left += TopLevel ? 6 : ImageAreaWidth() + 8;
    text.right -= 6;
    return text;
}

void TMenuItem::RebuildHandle() {
    if (handle_ == nullptr || destroying_) return;
    while (GetMenuItemCount(handle_) > 0) RemoveMenu(handle_, 0, MF_BYPOSITION);
    bool bar = menu_ != nullptr && menu_->IsMenuBar();
    for (TMenuItem* item : items_)
        if (item->visible_) item->AppendTo(handle_, bar);
}

void TMenuItem::MenuChanged(bool Rebuild) {
    (void)Rebuild;
    if (destroying_) return;
    // A sub-item's text and state live in its parent's menu.
    if (parent_ != nullptr) parent_->RebuildHandle();
    else RebuildHandle();
    if (TMenu* menu = GetParentMenu()) menu->MenuChanged(this, Rebuild);
}

TBasicAction* TMenuItem::Action() const { return actionLink_ ? actionLink_->Action() : nullptr; }

void TMenuItem::SetAction(TBasicAction* Value) { SetClientAction(this, actionLink_, Value); }

void TMenuItem::DoActionChange(TObject* Sender) {
    if (Sender != nullptr && Sender == Action()) ActionChange(Sender, false);
}

void TMenuItem::ActionChange(TObject* Sender, bool CheckDefaults) {
    auto* action = dynamic_cast<TCustomAction*>(Sender);
    if (action == nullptr) return;
    if (!CheckDefaults || caption_.empty()) SetCaption(action->Caption());
    if (!CheckDefaults || !checked_) SetChecked(action->Checked());
    if (!CheckDefaults || enabled_) SetEnabled(action->Enabled());
    if (!CheckDefaults || helpContext_ == 0) SetHelpContext(action->HelpContext());
    if (!CheckDefaults || hint_.empty()) SetHint(action->Hint());
    if (!CheckDefaults || imageIndex_ == -1) SetImageIndex(action->ImageIndex());
    if (!CheckDefaults || shortCut_ == scNone) SetShortCut(action->ShortCut());
    if (!CheckDefaults || visible_) SetVisible(action->Visible());
}

TMenuActionLinkClass TMenuItem::GetActionLinkClass() const { return &TMenuActionLink::ClassRef(); }

void TMenuItem::InitiateAction() {
    if (actionLink_) actionLink_->Update();
}

void TMenuItem::Click() {
    if (!enabled_) return;
    // An action that checks itself pushes the state back to the item.
    auto* action = dynamic_cast<TCustomAction*>(Action());
    if (autoCheck_ && !(action != nullptr && action->AutoCheck())) SetChecked(!checked_);
    if (OnClick)
        OnClick(this);
    else if (actionLink_)
        actionLink_->Execute(this);
}

void TMenuItem::Loaded() {
    TComponent::Loaded();
    if (Action() != nullptr) ActionChange(Action(), true);
}

void TMenuItem::Notification(TComponent* AComponent, TOperation Operation) {
    TComponent::Notification(AComponent, Operation);
    if (Operation == TOperation::opRemove && actionLink_ && AComponent == actionLink_->Action()) actionLink_.reset();
}

void TMenuItem::DoDrawText(TCanvas* ACanvas, const std::string& Text, RECT& Rect, bool Selected, UINT Flags) {
    std::string text = Text;
    if ((Flags & DT_CALCRECT) != 0 && (text.empty() || text == "&")) text += ' ';
    HDC dc = ACanvas->Handle();
    HFONT font = ACanvas->Font()->Handle();
    TOwnedFont bold;  // outlives the DC's saved state, which selects it out again
    if (default_) {
        LOGFONTW lf{};
        GetObjectW(font, sizeof lf, &lf);
        lf.lfWeight = FW_BOLD;
        bold.Reset(CreateFontIndirectW(&lf));
        font = bold.Get();
    }
    TSavedDC saved(dc);
    SelectObject(dc, font);
    SetBkMode(dc, TRANSPARENT);
    if (!enabled_) {
        if (!Selected) {
            RECT r = Rect;
            OffsetRect(&r, 1, 1);
            SetTextColor(dc, ColorToRGB(clBtnHighlight));
            DrawTextAnsi(dc, text, r, Flags);
        }
        SetTextColor(dc, ColorToRGB(Selected && ColorToRGB(clHighlight) == ColorToRGB(clBtnShadow) ? clBtnHighlight
                                                                                                     : clBtnShadow));
    } else {
        SetTextColor(dc, ColorToRGB(Selected ? clHighlightText : clMenuText));
    }
    DrawTextAnsi(dc, text, Rect, Flags);
}

void TMenuItem::AdvancedDrawItem(TCanvas* ACanvas, RECT ARect, TOwnerDrawState State, bool TopLevel) {
    TMenu* menu = GetParentMenu();
    bool selected = (State & odSelected) != 0;
    if (OnAdvancedDrawItem) {
        OnAdvancedDrawItem(this, ACanvas, ARect, State);
        return;
    }
    if (OnDrawItem) {
        OnDrawItem(this, ACanvas, ARect, selected);
        return;
    }
    HDC dc = ACanvas->Handle();
    FillRect(dc, &ARect, GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_MENU));
    if (IsLine()) {
        RECT line = ARect;
        line.top += (line.bottom - line.top) / 2 - 1;
        DrawEdge(dc, &line, EDGE_ETCHED, BF_TOP);
        return;
    }
    RECT area{ARect.left + 2, ARect.top, ARect.left + 2 + ImageAreaWidth(), ARect.bottom};
    TCustomImageList* images = menu != nullptr ? menu->Images() : nullptr;
    // An index the list does not hold shows no image (the check mark, when checked).
    if (images != nullptr && imageIndex_ >= 0 && imageIndex_ < images->Count()) {
        int y = ARect.top + ((ARect.bottom - ARect.top) - images->Height()) / 2;
        if (checked_) {
            // A checked item with an image shows the image pressed in.
            RECT frame{area.left - 1, y - 1, area.right + 1, y + images->Height() + 1};
            DrawEdge(dc, &frame, BDR_SUNKENOUTER, BF_RECT);
        }
        images->Draw(ACanvas, area.left, y, imageIndex_, enabled_);
    } else if (checked_) {
        DrawFrameControl(dc, &area, DFC_MENU, radioItem_ ? DFCS_MENUBULLET : DFCS_MENUCHECK);
    }
    RECT text = TextArea(ARect, TopLevel);
    UINT flags = DT_SINGLELINE | DT_VCENTER | DT_EXPANDTABS;
    DoDrawText(ACanvas, caption_, text, selected, flags | DT_LEFT);
    if (shortCut_ != scNone && !TopLevel) DoDrawText(ACanvas, ShortCutToText(shortCut_), text, selected, flags | DT_RIGHT);
}

void TMenuItem::MeasureItem(TCanvas* ACanvas, int& Width, int& Height) {
    if (IsLine()) {
        Height = 8;
        Width = 0;
    } else {
        RECT r{0, 0, 0, 0};
        DoDrawText(ACanvas, caption_, r, false, DT_CALCRECT | DT_SINGLELINE | DT_NOCLIP | DT_EXPANDTABS);
        TMenu* menu = GetParentMenu();
        Width = (r.right - r.left) + ImageAreaWidth() + 16;
        Height = std::max<int>(r.bottom - r.top + 4, GetSystemMetrics(SM_CYMENUSIZE));
        if (menu != nullptr && menu->Images() != nullptr) Height = std::max(Height, menu->Images()->Height() + 4);
        if (shortCut_ != scNone) {
            RECT s{0, 0, 0, 0};
            DoDrawText(ACanvas, ShortCutToText(shortCut_), s, false, DT_CALCRECT | DT_SINGLELINE | DT_NOCLIP);
            Width += (s.right - s.left) + 16;
        }
    }
    if (OnMeasureItem) OnMeasureItem(this, ACanvas, Width, Height);
}

// ---- TMenu -----------------------------------------------------------------------------------

TMenu::TMenu(TComponent* AOwner) : TComponent(AOwner), items_(std::make_unique<TMenuItem>(nullptr)) {
    items_->menu_ = this;
}

TMenu::~TMenu() {
    // The items go with the system menu; owned items that outlive the menu are only detached.
    items_.reset();
}

HMENU TMenu::Handle() { return items_->Handle(); }

void TMenu::SetOwnerDraw(bool Value) {
    if (ownerDraw_ == Value) return;
    ownerDraw_ = Value;
    RebuildHandle();
}

void TMenu::SetImages(TCustomImageList* Value) {
    if (images_ == Value) return;
    if (images_ != nullptr) {
        images_->UnRegisterChanges(&imageChangeLink_);
        images_->RemoveFreeNotification(this);
    }
    images_ = Value;
    if (images_ != nullptr) {
        images_->RegisterChanges(&imageChangeLink_);
        images_->FreeNotification(this);
        // New images or a new size: the items are measured again.
        imageChangeLink_.OnChange = [this](TObject*) { RebuildHandle(); };
    }
    RebuildHandle();
}

void TMenu::Notification(TComponent* AComponent, TOperation Operation) {
    TComponent::Notification(AComponent, Operation);
    if (Operation == TOperation::opRemove && AComponent != nullptr && AComponent == images_) {
        images_ = nullptr;
        if (!HasState(csDestroying)) RebuildHandle();
    }
}

void TMenu::SetBiDiMode(TBiDiMode Value) {
    if (biDiMode_ == Value) return;
    biDiMode_ = Value;
    RebuildHandle();
}

namespace {

void RebuildTree(TMenuItem* Item) {
    for (int i = 0; i < Item->Count(); ++i) RebuildTree(Item->Items(i));
    Item->RebuildHandle();
}

template <typename Pred>
TMenuItem* FindIn(TMenuItem* Item, Pred P) {
    for (int i = 0; i < Item->Count(); ++i) {
        TMenuItem* child = Item->Items(i);
        if (P(child)) return child;
        if (TMenuItem* found = FindIn(child, P)) return found;
    }
    return nullptr;
}

}  // namespace

void TMenu::RebuildHandle() {
    if (!items_->HandleAllocated()) return;
    RebuildTree(items_.get());
    MenuChanged(items_.get(), true);
}

TMenuItem* TMenu::FindItem(UINT_PTR Value, TFindItemKind Kind) {
    switch (Kind) {
        case TFindItemKind::fkCommand:
            return FindIn(items_.get(), [Value](TMenuItem* i) { return i->Command() == Value; });
        case TFindItemKind::fkHandle:
            if (items_->handle_ != nullptr && reinterpret_cast<UINT_PTR>(items_->handle_) == Value) return items_.get();
            return FindIn(items_.get(), [Value](TMenuItem* i) {
                return i->HandleAllocated() && reinterpret_cast<UINT_PTR>(i->handle_) == Value;
            });
        case TFindItemKind::fkShortCut:
            return FindIn(items_.get(), [Value](TMenuItem* i) { return i->ShortCut() != scNone && i->ShortCut() == Value; });
    }
    return nullptr;
}

bool TMenu::DispatchCommand(UINT Command) {
    TMenuItem* item = FindItem(Command, TFindItemKind::fkCommand);
    if (item == nullptr) return false;
    item->Click();
    return true;
}

bool TMenu::DispatchPopup(HMENU Menu) {
    TMenuItem* item = FindItem(reinterpret_cast<UINT_PTR>(Menu), TFindItemKind::fkHandle);
    if (item == nullptr) return false;
    for (int i = 0; i < item->Count(); ++i) item->Items(i)->InitiateAction();
    if (item != items_.get()) item->Click();
    return true;
}

bool TMenu::IsShortCut(TShortCut ShortCut) {
    TMenuItem* item = FindItem(ShortCut, TFindItemKind::fkShortCut);
    if (item == nullptr) return false;
    // The item and its parents must be usable.
    for (TMenuItem* p = item; p != nullptr; p = p->Parent()) {
        p->InitiateAction();
        if (!p->Enabled() || (p->Parent() != nullptr && !p->Visible())) return false;
    }
    item->Click();
    return true;
}

namespace {

TMenuItem* ItemOfDrawData(TMenu* Menu, ULONG_PTR Data, UINT Id) {
    auto* item = reinterpret_cast<TMenuItem*>(Data);
    // The item data is trusted only when the menu really holds that item.
    TMenuItem* byCommand = Menu->FindItem(Id, TFindItemKind::fkCommand);
    if (byCommand != nullptr && byCommand == item) return item;
    return FindIn(Menu->Items(), [item](TMenuItem* i) { return i == item; });
}

}  // namespace

bool TMenu::MeasureItem(MEASUREITEMSTRUCT& Measure) {
    if (Measure.CtlType != ODT_MENU) return false;
    TMenuItem* item = ItemOfDrawData(this, Measure.itemData, Measure.itemID);
    if (item == nullptr) return false;
    TWindowDC screen(nullptr);
    TCanvas canvas;
    canvas.SetHandle(screen.Get());
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    TOwnedFont menuFont;
    if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0))
        menuFont.Reset(CreateFontIndirectW(&metrics.lfMenuFont));
    if (menuFont.Get() != nullptr) canvas.Font()->SetHandle(menuFont.Get());
    int width = 0, height = 0;
    item->MeasureItem(&canvas, width, height);
    canvas.SetHandle(nullptr);
    Measure.itemWidth = static_cast<UINT>(std::max(width, 0));
    Measure.itemHeight = static_cast<UINT>(std::max(height, 0));
    return true;
}

bool TMenu::DrawItem(const DRAWITEMSTRUCT& Draw) {
    if (Draw.CtlType != ODT_MENU) return false;
    TMenuItem* item = ItemOfDrawData(this, Draw.itemData, Draw.itemID);
    if (item == nullptr) return false;
    TCanvas canvas;
    canvas.SetHandle(Draw.hDC);
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    TOwnedFont menuFont;
    if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0))
        menuFont.Reset(CreateFontIndirectW(&metrics.lfMenuFont));
    if (menuFont.Get() != nullptr) canvas.Font()->SetHandle(menuFont.Get());
    bool topLevel = IsMenuBar() && item->Parent() == items_.get();
    item->AdvancedDrawItem(&canvas, Draw.rcItem, Draw.itemState, topLevel);
    canvas.SetHandle(nullptr);
    return true;
}

void TMenu::MenuChanged(TMenuItem* Source, bool Rebuild) {
    (void)Source;
    (void)Rebuild;
}

TMainMenu::~TMainMenu() {
    HWND window = WindowHandle();
    if (window != nullptr && IsWindow(window) && HandleAllocated() && GetMenu(window) == Handle()) {
        ::SetMenu(window, nullptr);
        DrawMenuBar(window);
    }
}

void TMainMenu::MenuChanged(TMenuItem* Source, bool Rebuild) {
    TMenu::MenuChanged(Source, Rebuild);
    if (WindowHandle() == nullptr || !IsWindow(WindowHandle())) return;
    // An MDI frame's client lists its children in the window menu again.
    if (auto* form = dynamic_cast<TCustomForm*>(FindControl(WindowHandle())); form != nullptr && form->ClientHandle())
        form->RefreshMDIMenu();
    DrawMenuBar(WindowHandle());
}

// ---- TPopupMenu ------------------------------------------------------------------------------

TPopupMenu::TPopupMenu(TComponent* AOwner) : TMenu(AOwner) { PopupList()->Add(this); }

TPopupMenu::~TPopupMenu() {
    if (gPopupList != nullptr) gPopupList->Remove(this);
    if (gLibraryPopupList != nullptr) gLibraryPopupList->Remove(this);
}

HWND TPopupMenu::WindowHandle() const { return PopupList()->Window(); }

void TPopupMenu::DoPopup(TObject* Sender) {
    if (OnPopup) OnPopup(Sender);
}

void TPopupMenu::Popup(int X, int Y) {
    CheckMainThread("TPopupMenu.Popup");
    DoPopup(this);
    static constexpr UINT kAlign[] = {TPM_LEFTALIGN, TPM_RIGHTALIGN, TPM_CENTERALIGN};
    UINT flags = kAlign[static_cast<int>(alignment_)] |
                 (trackButton_ == TTrackButton::tbLeftButton ? TPM_LEFTBUTTON : TPM_RIGHTBUTTON);
    if (IsRightToLeft()) flags |= TPM_LAYOUTRTL;
    HMENU menu = Handle();
    for (int i = 0; i < Items()->Count(); ++i) Items()->Items(i)->InitiateAction();
    TrackPopupMenu(menu, flags, X, Y, 0, PopupList()->Window(), nullptr);
}

// ---- TPopupList ------------------------------------------------------------------------------

TPopupList::TPopupList() = default;

TPopupList::~TPopupList() {
    if (window_ != nullptr) DeallocateHWnd(window_);
}

HWND TPopupList::Window() {
    if (window_ == nullptr) window_ = AllocateHWnd([this](TMessage& m) { WndProc(m); });
    return window_;
}

void TPopupList::Add(TPopupMenu* Menu) {
    if (!Contains(Menu)) menus_.push_back(Menu);
}

void TPopupList::Remove(TPopupMenu* Menu) { menus_.erase(std::remove(menus_.begin(), menus_.end(), Menu), menus_.end()); }

bool TPopupList::Contains(const TPopupMenu* Menu) const {
    return std::find(menus_.begin(), menus_.end(), Menu) != menus_.end();
}

TMenuItem* TPopupList::FindSelectedItem(const TMessage& Message) {
    UINT item = LOWORD(Message.WParam);
    UINT flags = HIWORD(Message.WParam);
    auto menu = reinterpret_cast<HMENU>(Message.LParam);
    for (TPopupMenu* popup : menus_) {
        TMenuItem* found = nullptr;
        if ((flags & MF_POPUP) != 0) {
            HMENU sub = menu != nullptr ? GetSubMenu(menu, static_cast<int>(item)) : nullptr;
            found = popup->FindItem(sub != nullptr ? reinterpret_cast<UINT_PTR>(sub) : static_cast<UINT_PTR>(-1),
                                    TFindItemKind::fkHandle);
        } else {
            found = popup->FindItem(item, TFindItemKind::fkCommand);
        }
        if (found != nullptr) return found;
    }
    return nullptr;
}

void TPopupList::WndProc(TMessage& Message) {
    switch (Message.Msg) {
        case WM_COMMAND:
            for (TPopupMenu* popup : menus_)
                if (popup->DispatchCommand(LOWORD(Message.WParam))) return;
            break;
        case WM_INITMENUPOPUP:
            for (TPopupMenu* popup : menus_)
                if (popup->DispatchPopup(reinterpret_cast<HMENU>(Message.WParam))) return;
            break;
        case WM_MENUSELECT: {
            std::string hint;
            bool closed = HIWORD(Message.WParam) == 0xFFFF && Message.LParam == 0;
            if (!closed)
                if (TMenuItem* item = FindSelectedItem(Message)) hint = GetLongHint(item->Hint());
            if (ApplicationExists()) Application()->SetHint(hint);
            return;
        }
        case WM_MEASUREITEM:
            for (TPopupMenu* popup : menus_)
                if (popup->MeasureItem(*reinterpret_cast<MEASUREITEMSTRUCT*>(Message.LParam))) {
                    Message.Result = TRUE;
                    return;
                }
            break;
        case WM_DRAWITEM:
            for (TPopupMenu* popup : menus_)
                if (popup->DrawItem(*reinterpret_cast<DRAWITEMSTRUCT*>(Message.LParam))) {
                    Message.Result = TRUE;
                    return;
                }
            break;
        default:
            break;
    }
    Message.Result = DefWindowProcA(window_, Message.Msg, Message.WParam, Message.LParam);
}

TPopupList* LibraryPopupList() {
    if (gLibraryPopupList == nullptr) gLibraryPopupList = new TPopupList();
    return gLibraryPopupList;
}

TPopupList* PopupList() { return gPopupList != nullptr ? gPopupList : LibraryPopupList(); }

TPopupList* SetPopupList(TPopupList* Value) {
    TPopupList* previous = PopupList();
    gPopupList = Value;
    return previous;
}

}  // namespace classlib
