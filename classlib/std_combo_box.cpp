// The combo box of the class library.
#include "classlib/std_combo_box.h"

#include <algorithm>
#include <exception>
#include <vector>

#include "classlib/forms.h"
#include "classlib/gdi_handles.h"
#include "classlib/hidden_window.h"

namespace classlib {

namespace {

// The property under which a combo box's hooked child window finds its control.
constexpr const char* kComboChildProp = "ClasslibComboChild";

}  // namespace

// ---- TComboBoxStrings ------------------------------------------------------------------------

HWND TComboBoxStrings::Wnd() const { return comboBox_->Handle(); }

std::string TComboBoxStrings::Get(int Index) const {
    if (TStringList* kept = comboBox_->KeptItems())
        return Index >= 0 && Index < kept->Count() ? kept->Get(Index) : std::string();
    HWND h = Wnd();
    LRESULT len = SendMessageA(h, CB_GETLBTEXTLEN, static_cast<WPARAM>(Index), 0);
    if (len == CB_ERR || len < 0) return std::string();
    std::vector<char> buffer(static_cast<size_t>(len) + 1, '\0');
    LRESULT got = SendMessageA(h, CB_GETLBTEXT, static_cast<WPARAM>(Index), reinterpret_cast<LPARAM>(buffer.data()));
    if (got == CB_ERR || got < 0) return std::string();
    return std::string(buffer.data(), static_cast<size_t>(std::min(got, len)));
}

int TComboBoxStrings::GetCount() const {
    if (TStringList* kept = comboBox_->KeptItems()) return kept->Count();
    LRESULT n = SendMessageA(Wnd(), CB_GETCOUNT, 0, 0);
    return n < 0 ? 0 : static_cast<int>(n);
}

TObject* TComboBoxStrings::GetObject(int Index) const {
    if (TStringList* kept = comboBox_->KeptItems()) {
        if (Index < 0 || Index >= kept->Count()) Error(L"List index out of bounds (%d)", Index);
        return kept->Objects(Index);
    }
    LRESULT data = SendMessageA(Wnd(), CB_GETITEMDATA, static_cast<WPARAM>(Index), 0);
    if (data == CB_ERR) Error(L"List index out of bounds (%d)", Index);
    return reinterpret_cast<TObject*>(data);
}

void TComboBoxStrings::PutObject(int Index, TObject* AObject) {
    if (TStringList* kept = comboBox_->KeptItems()) {
        if (Index >= 0 && Index < kept->Count()) kept->SetObjects(Index, AObject);
        return;
    }
    SendMessageA(Wnd(), CB_SETITEMDATA, static_cast<WPARAM>(Index), reinterpret_cast<LPARAM>(AObject));
}

void TComboBoxStrings::Clear() {
    if (TStringList* kept = comboBox_->KeptItems()) {
        kept->Clear();
        comboBox_->KeptItemsChanged(-1, 0);
        return;
    }
    std::string text = comboBox_->Text();
    SendMessageA(Wnd(), CB_RESETCONTENT, 0, 0);
    comboBox_->SetText(text);
    comboBox_->Update();
}

void TComboBoxStrings::Delete(int Index) {
    if (TStringList* kept = comboBox_->KeptItems()) {
        if (Index < 0 || Index >= kept->Count()) return;
        kept->Delete(Index);
        comboBox_->KeptItemsChanged(Index, -1);
        return;
    }
    SendMessageA(Wnd(), CB_DELETESTRING, static_cast<WPARAM>(Index), 0);
}

void TComboBoxStrings::Insert(int Index, const std::string& S) {
    if (TStringList* kept = comboBox_->KeptItems()) {
        // As the window: -1 appends, a place past the end is refused.
        if (Index == -1) Index = kept->Count();
        if (Index < 0 || Index > kept->Count()) throw EOutOfResources(L"Unable to insert a line");
        kept->Insert(Index, S);
        comboBox_->KeptItemsChanged(Index, 1);
        return;
    }
    LRESULT r = SendMessageA(Wnd(), CB_INSERTSTRING, static_cast<WPARAM>(Index), reinterpret_cast<LPARAM>(S.c_str()));
    if (r < 0) throw EOutOfResources(L"Unable to insert a line");
}

int TComboBoxStrings::Add(const std::string& S) {
    if (TStringList* kept = comboBox_->KeptItems()) return kept->Add(S);
    LRESULT r = SendMessageA(Wnd(), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(S.c_str()));
    if (r < 0) throw EOutOfResources(L"Unable to insert a line");
    return static_cast<int>(r);
}

int TComboBoxStrings::IndexOf(const std::string& S) const {
    // The kept list compares without case, as the window's exact search does.
    if (TStringList* kept = comboBox_->KeptItems()) return kept->IndexOf(S);
    LRESULT r = SendMessageA(Wnd(), CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(S.c_str()));
    return r < 0 ? -1 : static_cast<int>(r);
}

void TComboBoxStrings::SetUpdateState(bool Updating) {
    // Without a window there is nothing to repaint.
    if (!comboBox_->HandleAllocated()) return;
    SendMessageA(Wnd(), WM_SETREDRAW, Updating ? FALSE : TRUE, 0);
    if (!Updating) comboBox_->Refresh();
}

// ---- TCustomComboBox -------------------------------------------------------------------------

TCustomComboBox::TCustomComboBox(TComponent* AOwner)
    : TCustomListControl(AOwner), canvas_(std::make_unique<TControlCanvas>()) {
    canvas_->SetControl(this);
    SetControlStyle(csCaptureMouse | csSetCaption | csDoubleClicks | csFixedHeight | csReflector);
    SetBounds(0, 0, 145, 21);
    SetTabStop(true);
    SetParentColor(false);
    SetColor(clWindow);
}

TCustomComboBox::~TCustomComboBox() {
    // The window goes first so that no message reaches the items list while it is freed; its
    // items are not kept for a window that will not come back.
    Destroying();
    if (HandleAllocated()) DestroyHandle();
}

std::unique_ptr<TStrings> TCustomComboBox::CreateItems() { return std::make_unique<TComboBoxStrings>(this); }

TStrings* TCustomComboBox::Items() {
    if (!items_) items_ = CreateItems();
    return items_.get();
}

void TCustomComboBox::CopySelection(TCustomListControl* Destination) {
    int index = ItemIndex();
    if (Destination != nullptr && index >= 0) Destination->AddItem(Items()->Get(index), Items()->Objects(index));
}

TStringList* TCustomComboBox::KeptItems() {
    if (HandleAllocated() || sorted_) return nullptr;
    if (!saveItems_) saveItems_ = std::make_unique<TStringList>();
    return saveItems_.get();
}

void TCustomComboBox::KeptItemsChanged(int Index, int Delta) {
    // Clear (no place): no item is selected any more.
    if (Index < 0) {
        SelectKept(-1);
        return;
    }
    if (saveIndex_ < Index) return;
    if (Delta > 0)
        ++saveIndex_;
    else if (saveIndex_ == Index)
        SelectKept(-1);
    else
        --saveIndex_;
}

void TCustomComboBox::SelectKept(int Index) {
    TStringList* kept = KeptItems();
    if (kept == nullptr) return;
    if (Index < -1 || Index >= kept->Count()) Index = -1;
    saveIndex_ = Index;
    // The window shows the selected item (nothing for none).
    if (Index >= 0)
        SetTextField(kept->Get(Index));
    else if (!HasEditPart())
        SetTextField(std::string());
}

std::unique_ptr<TStringList> TCustomComboBox::TakeKeptItems(int& Index) {
    Index = -1;
    if (HandleAllocated() || !saveItems_ || saveItems_->Count() == 0) return nullptr;
    Index = saveIndex_ < saveItems_->Count() ? saveIndex_ : -1;
    saveIndex_ = -1;
    return std::move(saveItems_);
}

void TCustomComboBox::KeepItems(std::unique_ptr<TStringList> Items, int Index) {
    saveItems_ = std::move(Items);
    saveIndex_ = saveItems_ && Index < saveItems_->Count() ? Index : -1;
}

int TCustomComboBox::ItemIndex() {
    if (TStringList* kept = KeptItems()) return saveIndex_ < kept->Count() ? saveIndex_ : -1;
    LRESULT r = SendMessageA(Handle(), CB_GETCURSEL, 0, 0);
    return r < 0 ? -1 : static_cast<int>(r);
}

void TCustomComboBox::SetItemIndex(int Value) {
    if (KeptItems() != nullptr) {
        // Selecting no item clears the edit part too, as the window does.
        if (ItemIndex() != Value) {
            SelectKept(Value);
            if (saveIndex_ < 0) SetTextField(std::string());
        }
        return;
    }
    if (ItemIndex() != Value) SendMessageA(Handle(), CB_SETCURSEL, static_cast<WPARAM>(Value), 0);
}

void TCustomComboBox::SetStyle(TComboBoxStyle Value) {
    if (style_ == Value) return;
    style_ = Value;
    if (HandleAllocated()) RecreateWnd();
}

void TCustomComboBox::SetItemHeight(int Value) {
    if (Value < 1 || itemHeight_ == Value) return;
    itemHeight_ = Value;
    // The window measures its items only when they are added: a new one measures them again.
    if (HandleAllocated() && IsOwnerDraw()) RecreateWnd();
}

void TCustomComboBox::SetSorted(bool Value) {
    if (sorted_ == Value) return;
    sorted_ = Value;
    if (HandleAllocated()) RecreateWnd();
}

bool TCustomComboBox::DroppedDown() {
    return HandleAllocated() && SendMessageA(WindowHandle(), CB_GETDROPPEDSTATE, 0, 0) != 0;
}

void TCustomComboBox::SetDroppedDown(bool Value) {
    SendMessageA(Handle(), CB_SHOWDROPDOWN, Value ? TRUE : FALSE, 0);
}

void TCustomComboBox::SetMaxLength(int Value) {
    if (Value < 0) Value = 0;
    maxLength_ = Value;
    if (HandleAllocated()) SendMessageA(WindowHandle(), CB_LIMITTEXT, static_cast<WPARAM>(Value), 0);
}

int TCustomComboBox::SelStart() {
    DWORD start = 0, end = 0;
    SendMessageA(Handle(), CB_GETEDITSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    return static_cast<int>(start);
}

void TCustomComboBox::SetSelStart(int Value) {
    SendMessageA(Handle(), CB_SETEDITSEL, 0, MAKELPARAM(Value, Value));
}

int TCustomComboBox::SelLength() {
    DWORD start = 0, end = 0;
    SendMessageA(Handle(), CB_GETEDITSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    return static_cast<int>(end) - static_cast<int>(start);
}

void TCustomComboBox::SetSelLength(int Value) {
    int start = SelStart();
    SendMessageA(Handle(), CB_SETEDITSEL, 0, MAKELPARAM(start, start + Value));
}

void TCustomComboBox::CreateParams(TCreateParams& Params) {
    static const DWORD styles[] = {CBS_DROPDOWN, CBS_SIMPLE, CBS_DROPDOWNLIST, CBS_DROPDOWNLIST | CBS_OWNERDRAWFIXED,
                                   CBS_DROPDOWNLIST | CBS_OWNERDRAWVARIABLE};
    TWinControl::CreateParams(Params);
    CreateSubClass(Params, "COMBOBOX");
    Params.Style |= WS_VSCROLL | CBS_HASSTRINGS | CBS_AUTOHSCROLL | styles[static_cast<int>(style_)];
    if (sorted_) Params.Style |= CBS_SORT;
}

void TCustomComboBox::CreateWnd() {
    // Without a window the text is the one kept by the control (typed text survives re-creation).
    std::string text = GetText();
    TWinControl::CreateWnd();
    SendMessageA(WindowHandle(), CB_LIMITTEXT, static_cast<WPARAM>(maxLength_), 0);
    HookChildren();
    if (saveItems_ && saveItems_->Count() == 0) saveItems_.reset();
    if (saveItems_) {
        std::unique_ptr<TStringList> saved = std::move(saveItems_);
        Items()->Assign(saved.get());
        if (saveIndex_ >= 0) {
            int count = Items()->Count();
            int index = std::min(saveIndex_, count - 1);
            if (index >= 0) SendMessageA(WindowHandle(), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
        }
        saveIndex_ = -1;
    }
    if (!text.empty() && GetText() != text) {
        TMessage m{WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), 0};
        SetTextSelecting(m);
    }
}

void TCustomComboBox::DestroyWnd() {
    if (HandleAllocated() && !HasState(csDestroying)) {
        int count = Items()->Count();
        if (count > 0) {
            saveIndex_ = ItemIndex();
            saveItems_ = std::make_unique<TStringList>();
            saveItems_->Assign(Items());
        }
    }
    if (HandleAllocated()) UnhookChildren();
    TWinControl::DestroyWnd();
}

void TCustomComboBox::HookChildren() {
    editHandle_ = nullptr;
    listHandle_ = nullptr;
    COMBOBOXINFO info{};
    info.cbSize = sizeof(info);
    if (!GetComboBoxInfo(WindowHandle(), &info)) return;
    listHandle_ = info.hwndList;
    if (HasEditPart() && info.hwndItem && info.hwndItem != WindowHandle()) {
        editHandle_ = info.hwndItem;
        SetPropA(editHandle_, kComboChildProp, this);
        defEditProc_ = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrA(editHandle_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(EditInstance())));
    }
    // The list of a simple combo box is a child of it; the drop-down lists are pop-ups.
    if (style_ == TComboBoxStyle::csSimple && listHandle_) {
        SetPropA(listHandle_, kComboChildProp, this);
        defListProc_ = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrA(listHandle_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ListInstance())));
    }
}

void TCustomComboBox::UnhookChildren() {
    auto unhook = [](HWND child, WNDPROC& previous) {
        if (!child || !IsWindow(child)) return;
        if (previous && GetWindowLongPtrA(child, GWLP_WNDPROC) == reinterpret_cast<LONG_PTR>(&ChildWndProc))
            SetWindowLongPtrA(child, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
        RemovePropA(child, kComboChildProp);
    };
    unhook(editHandle_, defEditProc_);
    if (style_ == TComboBoxStyle::csSimple) unhook(listHandle_, defListProc_);
    editHandle_ = nullptr;
    listHandle_ = nullptr;
    defEditProc_ = nullptr;
    defListProc_ = nullptr;
}

LRESULT CALLBACK TCustomComboBox::ChildWndProc(HWND Window, UINT Msg, WPARAM WParam, LPARAM LParam) {
    auto* combo = static_cast<TCustomComboBox*>(GetPropA(Window, kComboChildProp));
    if (!combo) return DefWindowProcA(Window, Msg, WParam, LParam);
    WNDPROC previous = Window == combo->editHandle_ ? combo->defEditProc_ : combo->defListProc_;
    if (!previous) return DefWindowProcA(Window, Msg, WParam, LParam);
    if (Msg == WM_NCDESTROY) {
        // The child goes before the combo box: hand it back its own procedure.
        SetWindowLongPtrA(Window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
        RemovePropA(Window, kComboChildProp);
        return CallWindowProcA(previous, Window, Msg, WParam, LParam);
    }
    TMessage m{Msg, WParam, LParam, 0};
    try {
        combo->ComboWndProc(m, Window, previous);
    } catch (...) {
        HandleWindowProcException(std::current_exception());
    }
    return m.Result;
}

void TCustomComboBox::ComboWndProc(TMessage& Message, HWND ComboWnd, WNDPROC ComboProc) {
    switch (Message.Msg) {
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
        // Focus moving between the box and its parts is no entry or exit of the control.
        Message.Result = CallWindowProcA(ComboProc, ComboWnd, Message.Msg, Message.WParam, Message.LParam);
        if (!OwnsWindow(reinterpret_cast<HWND>(Message.WParam))) {
            if (Message.Msg == WM_KILLFOCUS) {
                DoExit();
            } else {
                if (TCustomForm* form = GetParentForm(this)) form->SetActiveControl(this);
                DoEnter();
            }
        }
        return;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
        if (ComboWnd != listHandle_ && DoKeyDown(Message)) return;
        break;
    case WM_CHAR:
        if (DoKeyPress(Message)) return;
        if ((Message.WParam == VK_RETURN || Message.WParam == VK_ESCAPE) && DroppedDown()) {
            SetDroppedDown(false);
            return;
        }
        break;
    default:
        break;
    }
    Message.Result = CallWindowProcA(ComboProc, ComboWnd, Message.Msg, Message.WParam, Message.LParam);
    if (Message.Msg == WM_LBUTTONDBLCLK && (ControlStyle() & csDoubleClicks) != 0) DblClick();
}

bool TCustomComboBox::OwnsWindow(HWND Window) const {
    return Window != nullptr && WindowHandle() != nullptr &&
           (Window == WindowHandle() || Window == editHandle_ || Window == listHandle_ || IsChild(WindowHandle(), Window));
}

int TCustomComboBox::ExactItem(const std::string& Text) {
    int count = Items()->Count();
    for (int i = 0; i < count; ++i)
        if (Items()->Get(i) == Text) return i;
    return -1;
}

void TCustomComboBox::SetTextSelecting(TMessage& Message) {
    std::string text = Message.LParam ? reinterpret_cast<const char*>(Message.LParam) : "";
    HWND h = WindowHandle();
    int index = ExactItem(text);
    if (!HasEditPart()) {
        SendMessageA(h, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
        Message.Result = TRUE;
        return;
    }
    TWinControl::Dispatch(Message);
    LRESULT current = SendMessageA(h, CB_GETCURSEL, 0, 0);
    if (index >= 0) {
        // The system may have dropped the selection while the edit text changed.
        if (current != index) SendMessageA(h, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    } else if (current >= 0) {
        // Unselecting clears the edit part: the text goes in again.
        SendMessageA(h, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
        TWinControl::Dispatch(Message);
    }
}

void TCustomComboBox::AdjustDropDown() {
    int count = std::clamp(Items()->Count(), 1, std::max(dropDownCount_, 1));
    LRESULT itemHeight = SendMessageA(WindowHandle(), CB_GETITEMHEIGHT, 0, 0);
    if (itemHeight <= 0) return;
    // The system takes the height of the open list from the window's height.
    droppingDown_ = true;
    SetWindowPos(WindowHandle(), nullptr, 0, 0, Width(), static_cast<int>(itemHeight) * count + Height() + 2,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOREDRAW);
    droppingDown_ = false;
}

void TCustomComboBox::Change() {
    if (OnChange) OnChange(this);
}

void TCustomComboBox::Select() {
    if (OnSelect)
        OnSelect(this);
    else
        Change();
}

void TCustomComboBox::DropDown() {
    if (OnDropDown) OnDropDown(this);
}

void TCustomComboBox::MeasureItem(int Index, int& Height) {
    if (OnMeasureItem) OnMeasureItem(this, Index, Height);
}

void TCustomComboBox::DrawItem(int Index, RECT Rect, UINT State) {
    if (OnDrawItem) {
        OnDrawItem(this, Index, Rect, State);
        return;
    }
    canvas_->FillRect(Rect);
    if (Index >= 0 && Index < Items()->Count()) canvas_->TextOut(Rect.left + 2, Rect.top, Items()->Get(Index));
}

void TCustomComboBox::DrawItemMessage(const DRAWITEMSTRUCT& Item) {
    canvas_->SetHandle(Item.hDC);
    try {
        canvas_->SetFont(Font());
        canvas_->SetBrush(Brush());
        auto index = static_cast<int>(Item.itemID);
        if (index >= 0 && (Item.itemState & ODS_SELECTED) != 0) {
            canvas_->Brush()->SetColor(clHighlight);
            canvas_->Font()->SetColor(clHighlightText);
        }
        // No item (-1): the field of an empty selection is only filled.
        if (index >= 0)
            DrawItem(index, Item.rcItem, Item.itemState);
        else
            canvas_->FillRect(Item.rcItem);
        if ((Item.itemState & ODS_FOCUS) != 0) canvas_->DrawFocusRect(Item.rcItem);
    } catch (...) {
        canvas_->SetHandle(nullptr);
        throw;
    }
    canvas_->SetHandle(nullptr);
}

void TCustomComboBox::MeasureItemMessage(MEASUREITEMSTRUCT& Item) {
    int height = itemHeight_;
    auto index = static_cast<int>(Item.itemID);
    if (style_ == TComboBoxStyle::csOwnerDrawVariable && index >= 0) MeasureItem(index, height);
    Item.itemHeight = static_cast<UINT>(std::max(height, 1));
}

void TCustomComboBox::Dispatch(TMessage& Message) {
    switch (Message.Msg) {
    case CN_DRAWITEM:
        if (IsOwnerDraw()) {
            DrawItemMessage(*reinterpret_cast<DRAWITEMSTRUCT*>(Message.LParam));
            Message.Result = TRUE;
            return;
        }
        break;
    case CN_MEASUREITEM:
        if (IsOwnerDraw()) {
            MeasureItemMessage(*reinterpret_cast<MEASUREITEMSTRUCT*>(Message.LParam));
            Message.Result = TRUE;
            return;
        }
        break;
    case WM_SETTEXT:
        if (HandleAllocated()) {
            SetTextSelecting(Message);
            return;
        }
        if (KeptItems() != nullptr) {
            // The rule of the window: the item of exactly this text is selected, or none.
            TWinControl::Dispatch(Message);
            SelectKept(ExactItem(Message.LParam ? reinterpret_cast<const char*>(Message.LParam) : ""));
            return;
        }
        break;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
        if (OwnsWindow(reinterpret_cast<HWND>(Message.WParam))) {
            DefaultHandler(Message);
            return;
        }
        break;
    case WM_WINDOWPOSCHANGING:
    case WM_WINDOWPOSCHANGED:
    case WM_SIZE:
        // Sizing the window for the open list is not a change of the control's bounds.
        if (droppingDown_) {
            DefaultHandler(Message);
            return;
        }
        break;
    case CN_COMMAND:
        switch (NotifyCode(Message)) {
        case CBN_DBLCLK:
            DblClick();
            return;
        case CBN_EDITCHANGE:
            Change();
            return;
        case CBN_DROPDOWN:
            DropDown();
            AdjustDropDown();
            return;
        case CBN_SELCHANGE: {
            int index = ItemIndex();
            if (index >= 0) SetText(Items()->Get(index));
            Click();
            Select();
            return;
        }
        default:
            break;
        }
        break;
    default:
        break;
    }
    TWinControl::Dispatch(Message);
}

}  // namespace classlib
