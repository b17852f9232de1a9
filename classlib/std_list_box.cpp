// The list box of the class library.
#include "classlib/std_list_box.h"

#include <algorithm>
#include <vector>

#include "classlib/custom_controls.h"
#include "classlib/forms.h"
#include "classlib/gdi_handles.h"
#include "classlib/timer.h"

namespace classlib {

// ---- TListBoxStrings -------------------------------------------------------------------------

HWND TListBoxStrings::Wnd() const { return listBox_->Handle(); }

int TListBoxStrings::GetCount() const {
    if (listBox_->IsVirtual()) return listBox_->Count();
    LRESULT n = SendMessageA(Wnd(), LB_GETCOUNT, 0, 0);
    return n < 0 ? 0 : static_cast<int>(n);
}

std::string TListBoxStrings::Get(int Index) const {
    if (listBox_->IsVirtual()) {
        if (Index < 0 || Index >= listBox_->Count()) Error(L"List index out of bounds (%d)", Index);
        return listBox_->DoGetData(Index);
    }
    HWND h = Wnd();
    LRESULT len = SendMessageA(h, LB_GETTEXTLEN, static_cast<WPARAM>(Index), 0);
    if (len == LB_ERR) Error(L"List index out of bounds (%d)", Index);
    std::vector<char> buffer(static_cast<size_t>(len) + 1, '\0');
    LRESULT got = SendMessageA(h, LB_GETTEXT, static_cast<WPARAM>(Index), reinterpret_cast<LPARAM>(buffer.data()));
    if (got == LB_ERR) return std::string();
    return std::string(buffer.data());
}

TObject* TListBoxStrings::GetObject(int Index) const {
    if (listBox_->IsVirtual()) return listBox_->DoGetDataObject(Index);
    LRESULT data = SendMessageA(Wnd(), LB_GETITEMDATA, static_cast<WPARAM>(Index), 0);
    if (data == LB_ERR) Error(L"List index out of bounds (%d)", Index);
    return reinterpret_cast<TObject*>(data);
}

void TListBoxStrings::PutObject(int Index, TObject* AObject) {
    if (listBox_->IsVirtual()) return;
    if (Index < 0 || Index >= GetCount()) Error(L"List index out of bounds (%d)", Index);
    SendMessageA(Wnd(), LB_SETITEMDATA, static_cast<WPARAM>(Index), reinterpret_cast<LPARAM>(AObject));
}

void TListBoxStrings::Put(int Index, const std::string& S) {
    if (listBox_->IsVirtual()) throw EListError(L"Operation not supported on virtual list boxes");
    int selected = listBox_->ItemIndex();
    TObject* data = GetObject(Index);
    PutObject(Index, nullptr);
    Delete(Index);
    InsertObject(Index, S, data);
    listBox_->SetItemIndex(selected);
}

void TListBoxStrings::Clear() {
    if (listBox_->IsVirtual()) {
        listBox_->SetCount(0);
        return;
    }
    SendMessageA(Wnd(), LB_RESETCONTENT, 0, 0);
}

void TListBoxStrings::Delete(int Index) {
    if (listBox_->IsVirtual()) throw EListError(L"Operation not supported on virtual list boxes");
    SendMessageA(Wnd(), LB_DELETESTRING, static_cast<WPARAM>(Index), 0);
}

void TListBoxStrings::Insert(int Index, const std::string& S) {
    if (listBox_->IsVirtual()) throw EListError(L"Operation not supported on virtual list boxes");
    if (SendMessageA(Wnd(), LB_INSERTSTRING, static_cast<WPARAM>(Index), reinterpret_cast<LPARAM>(S.c_str())) < 0)
        throw EOutOfResources(L"Unable to insert a line");
}

int TListBoxStrings::Add(const std::string& S) {
    if (listBox_->IsVirtual()) throw EListError(L"Operation not supported on virtual list boxes");
    LRESULT r = SendMessageA(Wnd(), LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(S.c_str()));
    if (r < 0) throw EOutOfResources(L"Unable to insert a line");
    return static_cast<int>(r);
}

int TListBoxStrings::IndexOf(const std::string& S) const {
    if (listBox_->IsVirtual()) return listBox_->DoFindData(S);
    LRESULT r = SendMessageA(Wnd(), LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(S.c_str()));
    return r < 0 ? -1 : static_cast<int>(r);
}

void TListBoxStrings::Exchange(int Index1, int Index2) { ListBoxExchangeItems(*this, listBox_, Index1, Index2); }

void TListBoxStrings::Move(int CurIndex, int NewIndex) { ListBoxMoveItem(*this, listBox_, CurIndex, NewIndex); }

void TListBoxStrings::SetUpdateState(bool Updating) {
    if (!listBox_->HandleAllocated()) return;
    SendMessageA(listBox_->WindowHandle(), WM_SETREDRAW, Updating ? FALSE : TRUE, 0);
    if (!Updating) listBox_->Invalidate();
}

// ---- TCustomListBox --------------------------------------------------------------------------

TCustomListBox::TCustomListBox(TComponent* AOwner)
    : TCustomListControl(AOwner), canvas_(std::make_unique<TControlCanvas>()) {
    SetControlStyle(csSetCaption | csDoubleClicks);
    SetBounds(0, 0, 121, 97);
    SetTabStop(true);
    SetParentColor(false);
    SetColor(clWindow);
    canvas_->SetControl(this);
}

TCustomListBox::~TCustomListBox() {
    Destroying();
    if (HandleAllocated()) DestroyHandle();
}

std::unique_ptr<TStrings> TCustomListBox::CreateItems() { return std::make_unique<TListBoxStrings>(this); }

TStrings* TCustomListBox::Items() {
    if (!items_) items_ = CreateItems();
    return items_.get();
}

void TCustomListBox::Clear() { Items()->Clear(); }

void TCustomListBox::DeleteSelected() {
    if (multiSelect_) {
        for (int i = Items()->Count() - 1; i >= 0; --i)
            if (Selected(i)) Items()->Delete(i);
    } else if (ItemIndex() >= 0) {
        Items()->Delete(ItemIndex());
    }
}

void TCustomListBox::CopySelection(TCustomListControl* Destination) {
    if (Destination == nullptr) return;
    if (multiSelect_) {
        for (int i = 0; i < Items()->Count(); ++i)
            if (Selected(i)) Destination->AddItem(Items()->Get(i), Items()->Objects(i));
    } else if (ItemIndex() >= 0) {
        Destination->AddItem(Items()->Get(ItemIndex()), Items()->Objects(ItemIndex()));
    }
}

int TCustomListBox::ItemIndex() {
    UINT msg = multiSelect_ ? LB_GETCARETINDEX : LB_GETCURSEL;
    LRESULT r = SendMessageA(Handle(), msg, 0, 0);
    if (multiSelect_ && r >= 0 && SendMessageA(Handle(), LB_GETCOUNT, 0, 0) == 0) return -1;
    return r < 0 ? -1 : static_cast<int>(r);
}

void TCustomListBox::SetItemIndex(int Value) {
    if (multiSelect_) {
        SendMessageA(Handle(), LB_SETCARETINDEX, static_cast<WPARAM>(Value), FALSE);
        if (Value >= 0) SendMessageA(Handle(), LB_SETSEL, TRUE, Value);
    } else {
        SendMessageA(Handle(), LB_SETCURSEL, static_cast<WPARAM>(Value), 0);
    }
}

int TCustomListBox::TopIndex() { return static_cast<int>(SendMessageA(Handle(), LB_GETTOPINDEX, 0, 0)); }

void TCustomListBox::SetTopIndex(int Value) {
    SendMessageA(Handle(), LB_SETTOPINDEX, static_cast<WPARAM>(std::max(Value, 0)), 0);
}

int TCustomListBox::Count() {
    if (IsVirtual()) return count_;
    return Items()->Count();
}

void TCustomListBox::SetCount(int Value) {
    if (!IsVirtual()) throw EInvalidOperation(L"Setting the count requires a virtual list box style");
    count_ = std::max(Value, 0);
    if (HandleAllocated()) SendMessageA(WindowHandle(), LB_SETCOUNT, static_cast<WPARAM>(count_), 0);
}

bool TCustomListBox::Selected(int Index) {
    LRESULT r = SendMessageA(Handle(), LB_GETSEL, static_cast<WPARAM>(Index), 0);
    if (r == LB_ERR) throw EListError(L"List index out of bounds (" + std::to_wstring(Index) + L")");
    return r != 0;
}

void TCustomListBox::SetSelected(int Index, bool Value) {
    if (multiSelect_) {
        if (SendMessageA(Handle(), LB_SETSEL, Value ? TRUE : FALSE, Index) == LB_ERR)
            throw EListError(L"List index out of bounds (" + std::to_wstring(Index) + L")");
    } else if (Value) {
        SetItemIndex(Index);
    } else if (ItemIndex() == Index) {
        SetItemIndex(-1);
    }
}

int TCustomListBox::SelCount() {
    if (!multiSelect_) return ItemIndex() >= 0 ? 1 : 0;
    LRESULT r = SendMessageA(Handle(), LB_GETSELCOUNT, 0, 0);
    return r < 0 ? 0 : static_cast<int>(r);
}

int TCustomListBox::ItemAtPos(POINT Pos, bool Existing) {
    int count = Count();
    int top = TopIndex();
    RECT client = ClientRect();
    if (PtInRect(&client, Pos)) {
        for (int i = top; i < count; ++i) {
            RECT r = ItemRect(i);
            if (r.top > client.bottom) break;
            if (PtInRect(&r, Pos)) return i;
        }
    }
    return Existing ? -1 : count;
}

RECT TCustomListBox::ItemRect(int Index) {
    RECT r{};
    SendMessageA(Handle(), LB_GETITEMRECT, static_cast<WPARAM>(Index), reinterpret_cast<LPARAM>(&r));
    return r;
}

void TCustomListBox::SetStyle(TListBoxStyle Value) {
    if (style_ == Value) return;
    bool wasVirtual = IsVirtual();
    style_ = Value;
    if (IsVirtual() != wasVirtual) count_ = 0;
    if (HandleAllocated()) RecreateWnd();
}

void TCustomListBox::SetSorted(bool Value) {
    if (sorted_ == Value) return;
    sorted_ = Value;
    if (HandleAllocated()) RecreateWnd();
}

void TCustomListBox::SetMultiSelect(bool Value) {
    if (multiSelect_ == Value) return;
    multiSelect_ = Value;
    if (HandleAllocated()) RecreateWnd();
}

void TCustomListBox::SetExtendedSelect(bool Value) {
    if (extendedSelect_ == Value) return;
    extendedSelect_ = Value;
    if (HandleAllocated()) RecreateWnd();
}

void TCustomListBox::SetIntegralHeight(bool Value) {
    if (integralHeight_ == Value) return;
    integralHeight_ = Value;
    if (HandleAllocated()) RecreateWnd();
}

void TCustomListBox::SetItemHeight(int Value) {
    if (Value <= 0 || itemHeight_ == Value) return;
    itemHeight_ = Value;
    if (HandleAllocated()) RecreateWnd();
}

void TCustomListBox::CreateParams(TCreateParams& Params) {
    TWinControl::CreateParams(Params);
    CreateSubClass(Params, "LISTBOX");
    Params.Style |= LBS_NOTIFY | LBS_HASSTRINGS | WS_VSCROLL | LBS_USETABSTOPS;
    if (sorted_ && !IsVirtual()) Params.Style |= LBS_SORT;
    if (!integralHeight_) Params.Style |= LBS_NOINTEGRALHEIGHT;
    if (multiSelect_) Params.Style |= extendedSelect_ ? LBS_EXTENDEDSEL : LBS_MULTIPLESEL;
    switch (style_) {
        case TListBoxStyle::lbStandard:
            break;
        case TListBoxStyle::lbOwnerDrawFixed:
            Params.Style |= LBS_OWNERDRAWFIXED;
            break;
        case TListBoxStyle::lbOwnerDrawVariable:
            Params.Style |= LBS_OWNERDRAWVARIABLE;
            break;
        case TListBoxStyle::lbVirtual:
        case TListBoxStyle::lbVirtualOwnerDraw:
            // The window keeps no texts: it asks for each item to be drawn.
            Params.Style &= ~static_cast<DWORD>(LBS_HASSTRINGS | LBS_SORT);
            Params.Style |= LBS_OWNERDRAWFIXED | LBS_NODATA;
            break;
    }
    if (Ctl3D()) {
        Params.Style &= ~static_cast<DWORD>(WS_BORDER);
        Params.ExStyle |= WS_EX_CLIENTEDGE;
    } else {
        Params.Style |= WS_BORDER;
    }
    Params.WindowClass.style &= ~static_cast<UINT>(CS_HREDRAW | CS_VREDRAW);
}

void TCustomListBox::CreateWnd() {
    TWinControl::CreateWnd();
    HWND h = WindowHandle();
    if (style_ != TListBoxStyle::lbStandard && style_ != TListBoxStyle::lbOwnerDrawVariable)
        SendMessageA(h, LB_SETITEMHEIGHT, 0, itemHeight_);
    if (IsVirtual()) SendMessageA(h, LB_SETCOUNT, static_cast<WPARAM>(count_), 0);
    if (saveItems_) {
        std::unique_ptr<TStringList> saved = std::move(saveItems_);
        Items()->Assign(saved.get());
        SetTopIndex(saveTopIndex_);
        SetItemIndex(saveItemIndex_);
    }
}

void TCustomListBox::DestroyWnd() {
    if (HandleAllocated() && !HasState(csDestroying) && !IsVirtual()) {
        int count = Items()->Count();
        if (count > 0) {
            saveItems_ = std::make_unique<TStringList>();
            saveItems_->Assign(Items());
            saveTopIndex_ = TopIndex();
            saveItemIndex_ = ItemIndex();
        }
    }
    TWinControl::DestroyWnd();
}

std::string TCustomListBox::DoGetData(int Index) {
    std::string data;
    if (OnData) OnData(this, Index, data);
    return data;
}

TObject* TCustomListBox::DoGetDataObject(int Index) {
    TObject* object = nullptr;
    if (OnDataObject) OnDataObject(this, Index, object);
    return object;
}

int TCustomListBox::DoFindData(const std::string& Data) {
    return OnDataFind ? OnDataFind(this, Data) : -1;
}

void TCustomListBox::MeasureItem(int Index, int& Height) {
    if (OnMeasureItem) OnMeasureItem(this, Index, Height);
}

void TCustomListBox::DrawItem(int Index, RECT Rect, UINT State) {
    if (OnDrawItem) {
        OnDrawItem(this, Index, Rect, State);
        return;
    }
    HDC dc = canvas_->Handle();
    bool selected = (State & ODS_SELECTED) != 0;
    FillRect(dc, &Rect, selected ? GetSysColorBrush(COLOR_HIGHLIGHT) : Brush()->Handle());
    if (Index < 0 || Index >= Count()) return;
    std::string text = IsVirtual() ? DoGetData(Index) : Items()->Get(Index);
    TSavedDC saved(dc);
    SelectObject(dc, Font()->Handle());
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, ColorToRGB(selected ? clHighlightText : Font()->Color()));
    RECT r = Rect;
    r.left += 2;
    DrawTextAnsi(dc, text, r, DrawTextBiDiModeFlags(DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX));
}

void TCustomListBox::Dispatch(TMessage& Message) {
    switch (Message.Msg) {
        case CN_COMMAND:
            switch (NotifyCode(Message)) {
                case LBN_SELCHANGE:
                    Click();
                    return;
                case LBN_DBLCLK:
                    DblClick();
                    return;
                default:
                    break;
            }
            break;
        case CN_DRAWITEM: {
            auto* dis = reinterpret_cast<DRAWITEMSTRUCT*>(Message.LParam);
            canvas_->SetHandle(dis->hDC);
            try {
                if ((dis->itemAction & (ODA_DRAWENTIRE | ODA_SELECT)) != 0)
                    DrawItem(static_cast<int>(dis->itemID), dis->rcItem, dis->itemState);
                if ((dis->itemState & ODS_FOCUS) != 0 || (dis->itemAction & ODA_FOCUS) != 0)
                    if ((dis->itemState & ODS_FOCUS) != 0) DrawFocusRect(dis->hDC, &dis->rcItem);
            } catch (...) {
                canvas_->SetHandle(nullptr);
                throw;
            }
            canvas_->SetHandle(nullptr);
            Message.Result = TRUE;
            return;
        }
        case CN_MEASUREITEM: {
            auto* mis = reinterpret_cast<MEASUREITEMSTRUCT*>(Message.LParam);
            int height = itemHeight_;
            if (style_ == TListBoxStyle::lbOwnerDrawVariable) MeasureItem(static_cast<int>(mis->itemID), height);
            mis->itemHeight = static_cast<UINT>(std::max(height, 1));
            Message.Result = TRUE;
            return;
        }
        case LB_GETTEXT:
        case LB_GETTEXTLEN:
            // A virtual list box answers its texts from OnData.
            if (IsVirtual()) {
                auto index = static_cast<int>(Message.WParam);
                if (index < 0 || index >= count_ || !OnData) {
                    Message.Result = LB_ERR;
                    return;
                }
                std::string data = DoGetData(index);
                if (Message.Msg == LB_GETTEXT && Message.LParam != 0)
                    std::copy(data.c_str(), data.c_str() + data.size() + 1, reinterpret_cast<char*>(Message.LParam));
                Message.Result = static_cast<LRESULT>(data.size());
                return;
            }
            break;
        default:
            break;
    }
    TWinControl::Dispatch(Message);
}

}  // namespace classlib
