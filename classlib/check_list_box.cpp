#include "classlib/check_list_box.h"

#include <algorithm>

#include "classlib/gdi_handles.h"

namespace classlib {

// ---- TCheckListBoxStrings --------------------------------------------------------------------
TCheckListBoxStrings::TCheckListBoxStrings(TCheckListBox* ListBox) : TListBoxStrings(ListBox), checkListBox_(ListBox) {}

TObject* TCheckListBoxStrings::GetObject(int Index) const {
    TObject* data = TListBoxStrings::GetObject(Index);
    if (auto* record = checkListBox_->RecordOf(reinterpret_cast<LRESULT>(data))) return record->Object;
    return data;
}

void TCheckListBoxStrings::PutObject(int Index, TObject* AObject) {
    if (auto* record = checkListBox_->ItemData(Index, false)) {
        record->Object = AObject;
        return;
    }
    TListBoxStrings::PutObject(Index, AObject);
}

// ---- TCheckListBox ---------------------------------------------------------------------------
TCheckListBox::TCheckListBox(TComponent* AOwner) : TCustomListBox(AOwner) { SetStyle(TListBoxStyle::lbOwnerDrawFixed); }

TCheckListBox::~TCheckListBox() {
    Destroying();
    if (HandleAllocated()) DestroyHandle();
}

std::unique_ptr<TStrings> TCheckListBox::CreateItems() { return std::make_unique<TCheckListBoxStrings>(this); }

TCheckListBox::TItemData* TCheckListBox::RecordOf(LRESULT Data) const {
    auto it = records_.find(reinterpret_cast<TItemData*>(Data));
    return it != records_.end() ? it->first : nullptr;
}

TCheckListBox::TItemData* TCheckListBox::ItemData(int Index, bool Make) {
    if (!HandleAllocated() || Index < 0 || Index >= Items()->Count()) {
        if (Make) throw EStringListError(L"List index out of bounds (" + std::to_wstring(Index) + L")");
        return nullptr;
    }
    LRESULT data = SendMessageA(WindowHandle(), LB_GETITEMDATA, static_cast<WPARAM>(Index), 0);
    if (TItemData* record = RecordOf(data)) return record;
    if (!Make) return nullptr;
    auto made = std::make_unique<TItemData>();
    made->Object = reinterpret_cast<TObject*>(data);
    TItemData* record = made.get();
    records_[record] = std::move(made);
    SendMessageA(WindowHandle(), LB_SETITEMDATA, static_cast<WPARAM>(Index), reinterpret_cast<LPARAM>(record));
    return record;
}

TCheckBoxState TCheckListBox::State(int Index) {
    HandleNeeded();
    TItemData* record = ItemData(Index, false);
    return record != nullptr ? record->State : TCheckBoxState::cbUnchecked;
}

void TCheckListBox::SetState(int Index, TCheckBoxState Value) {
    HandleNeeded();
    TItemData* record = ItemData(Index, true);
    if (record->State == Value) return;
    record->State = Value;
    RECT r = ItemRect(Index);
    InvalidateRect(WindowHandle(), &r, FALSE);
}

bool TCheckListBox::ItemEnabled(int Index) {
    HandleNeeded();
    TItemData* record = ItemData(Index, false);
    return record == nullptr || record->Enabled;
}

void TCheckListBox::SetItemEnabled(int Index, bool Value) {
    HandleNeeded();
    ItemData(Index, true)->Enabled = Value;
    RECT r = ItemRect(Index);
    InvalidateRect(WindowHandle(), &r, FALSE);
}

bool TCheckListBox::Header(int Index) {
    HandleNeeded();
    TItemData* record = ItemData(Index, false);
    return record != nullptr && record->Header;
}

void TCheckListBox::SetHeader(int Index, bool Value) {
    HandleNeeded();
    ItemData(Index, true)->Header = Value;
    RECT r = ItemRect(Index);
    InvalidateRect(WindowHandle(), &r, FALSE);
}

int TCheckListBox::CheckWidth() const { return GetSystemMetrics(SM_CXMENUCHECK) + 2; }

std::vector<TCheckItemState> TCheckListBox::ItemStates() {
    std::vector<TCheckItemState> states;
    if (!HandleAllocated()) return states;
    int count = Items()->Count();
    states.resize(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i)
        if (TItemData* record = ItemData(i, false)) states[static_cast<size_t>(i)] = *record;
    return states;
}

void TCheckListBox::RestoreItemStates(const std::vector<TCheckItemState>& States) {
    int count = std::min(static_cast<int>(States.size()), Items()->Count());
    for (int i = 0; i < count; ++i) {
        const TCheckItemState& s = States[static_cast<size_t>(i)];
        TItemData* record = ItemData(i, s.State != TCheckBoxState::cbUnchecked || !s.Enabled || s.Header);
        if (record != nullptr) static_cast<TCheckItemState&>(*record) = s;
    }
}

void TCheckListBox::CreateParams(TCreateParams& Params) {
    TCustomListBox::CreateParams(Params);
    if (Style() == TListBoxStyle::lbStandard) Params.Style |= LBS_OWNERDRAWFIXED;
}

void TCheckListBox::CreateWnd() {
    TCustomListBox::CreateWnd();
    RestoreItemStates(saved_);
    saved_.clear();
}

void TCheckListBox::DestroyWnd() {
    if (HandleAllocated() && !HasState(csDestroying)) saved_ = ItemStates();
    TCustomListBox::DestroyWnd();
}

void TCheckListBox::DrawItem(int Index, RECT Rect, UINT State) {
    bool enabled = Enabled() && (Index < 0 || ItemEnabled(Index));
    bool header = Index >= 0 && Header(Index);
    HDC dc = Canvas()->Handle();
    if (header) {
        // A header: no box, its own colours across the whole row.
        HBRUSH back = CreateSolidBrush(ColorToRGB(headerBackgroundColor_));
        FillRect(dc, &Rect, back);
        DeleteObject(back);
        return DrawHeaderText(dc, Index, Rect);
    }
    RECT box{Rect.left, Rect.top, Rect.left + CheckWidth(), Rect.bottom};
    FillRect(dc, &box, Brush()->Handle());
    if (Index >= 0) {
        int size = GetSystemMetrics(SM_CXMENUCHECK);
        RECT frame{box.left + 1, box.top + (box.bottom - box.top - size) / 2, box.left + 1 + size, 0};
        frame.bottom = frame.top + size;
        UINT flags = DFCS_BUTTONCHECK;
        TCheckBoxState state = this->State(Index);
        if (state == TCheckBoxState::cbChecked) flags |= DFCS_CHECKED;
        if (state == TCheckBoxState::cbGrayed) flags |= DFCS_BUTTON3STATE | DFCS_CHECKED;
        if (!enabled) flags |= DFCS_INACTIVE;
        DrawFrameControl(dc, &frame, DFC_BUTTON, flags);
    }
    RECT rest = Rect;
    rest.left += CheckWidth();
    TCustomListBox::DrawItem(Index, rest, enabled ? State : (State & ~static_cast<UINT>(ODS_SELECTED)));
}

void TCheckListBox::DrawHeaderText(HDC DC, int Index, RECT Rect) {
    TSavedDC saved(DC);
    SelectObject(DC, Font()->Handle());
    SetBkMode(DC, TRANSPARENT);
    SetTextColor(DC, ColorToRGB(headerColor_));
    std::string text = Items()->Get(Index);
    Rect.left += 2;
    DrawTextA(DC, text.c_str(), static_cast<int>(text.size()), &Rect, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
}

void TCheckListBox::ToggleClickCheck(int Index) {
    if (Index < 0 || Index >= Items()->Count() || !ItemEnabled(Index) || Header(Index)) return;
    TCheckBoxState next = TCheckBoxState::cbUnchecked;
    switch (State(Index)) {
        case TCheckBoxState::cbUnchecked: next = TCheckBoxState::cbChecked; break;
        case TCheckBoxState::cbChecked: next = allowGrayed_ ? TCheckBoxState::cbGrayed : TCheckBoxState::cbUnchecked; break;
        case TCheckBoxState::cbGrayed: next = TCheckBoxState::cbUnchecked; break;
    }
    SetState(Index, next);
    ClickCheck();
}

void TCheckListBox::ClickCheck() {
    if (OnClickCheck) OnClickCheck(this);
}

void TCheckListBox::KeyPress(char& Key) {
    TCustomListBox::KeyPress(Key);
    if (Key == ' ') {
        ToggleClickCheck(ItemIndex());
        Key = 0;
    }
}

void TCheckListBox::Dispatch(TMessage& Message) {
    switch (Message.Msg) {
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK: {
            TCustomListBox::Dispatch(Message);
            POINT p{static_cast<short>(LOWORD(Message.LParam)), static_cast<short>(HIWORD(Message.LParam))};
            int index = ItemAtPos(p, true);
            if (index >= 0 && p.x < ItemRect(index).left + CheckWidth()) ToggleClickCheck(index);
            return;
        }
        case CN_DELETEITEM: {
            // The item's record goes with the item.
            auto* item = reinterpret_cast<DELETEITEMSTRUCT*>(Message.LParam);
            if (TItemData* record = RecordOf(static_cast<LRESULT>(item->itemData))) records_.erase(record);
            Message.Result = 1;
            return;
        }
        default:
            TCustomListBox::Dispatch(Message);
    }
}

}  // namespace classlib
