// The extended combo box of the class library.
#include "classlib/combo_box_ex.h"

#include <commctrl.h>

#include <algorithm>

namespace classlib {

// ---- TComboExItems --------------------------------------------------------------------------

TComboExItem* TComboExItems::AddItem(const std::string& Caption, int ImageIndex, int SelectedImageIndex, int Indent,
                                     void* Data) {
    TComboExItem* item = Add();
    item->SetCaption(Caption);
    item->SetImageIndex(ImageIndex);
    item->SetSelectedImageIndex(SelectedImageIndex);
    item->SetIndent(Indent);
    item->SetData(Data);
    return item;
}

// ---- TComboBoxExActionLink ------------------------------------------------------------------

const TControlActionLinkClassRef& TComboBoxExActionLink::ClassRef() {
    static const TControlActionLinkClassRef ref(L"TComboBoxExActionLink", &TListActionLink::ClassRef(),
                                                [](TControl* c) -> TControlActionLink* { return new TComboBoxExActionLink(c); });
    return ref;
}

void TComboBoxExActionLink::AddItem(const std::string& Caption, int ImageIndex, void* Data) {
    if (auto* combo = dynamic_cast<TCustomComboBoxEx*>(Client()))
        combo->ItemsEx()->AddItem(Caption, ImageIndex, ImageIndex, 0, Data);
}

void TComboBoxExActionLink::SetImages(TCustomImageList* Value) {
    if (auto* combo = dynamic_cast<TCustomComboBoxEx*>(Client())) combo->SetImages(Value);
}

// ---- TCustomComboBoxEx ----------------------------------------------------------------------

TCustomComboBoxEx::TCustomComboBoxEx(TComponent* AOwner)
    : TOwnedItemsControl(AOwner, CBEM_DELETEITEM, CB_RESETCONTENT) {
    SetBounds(0, 0, 145, 24);
    SetTabStop(true);
}

void TCustomComboBoxEx::SetImages(TCustomImageList* Value) {
    if (images_ == Value) return;
    if (images_ != nullptr) images_->RemoveFreeNotification(this);
    images_ = Value;
    if (images_ != nullptr) images_->FreeNotification(this);
    if (HandleAllocated())
        SendMessageA(WindowHandle(), CBEM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(Value != nullptr ? Value->Handle() : nullptr));
}

void TCustomComboBoxEx::SetStyle(TComboBoxExStyle Value) {
    if (style_ == Value) return;
    style_ = Value;
    RecreateWnd();
}

void TCustomComboBoxEx::Notification(TComponent* AComponent, TOperation Operation) {
    TCustomListControl::Notification(AComponent, Operation);
    if (Operation == TOperation::opRemove && AComponent != nullptr && AComponent == images_) SetImages(nullptr);
}

std::string TCustomComboBoxEx::ItemWindowText(int Index) {
    char buffer[1024] = {};
    COMBOBOXEXITEMA item{};
    item.mask = CBEIF_TEXT;
    item.iItem = Index;
    item.pszText = buffer;
    item.cchTextMax = sizeof buffer;
    if (!SendMessageA(Handle(), CBEM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item))) return std::string();
    return std::string(buffer);
}

int TCustomComboBoxEx::ItemIndex() {
    if (!HandleAllocated()) return SavedItemIndex();
    LRESULT r = SendMessageA(WindowHandle(), CB_GETCURSEL, 0, 0);
    return r < 0 ? -1 : static_cast<int>(r);
}

void TCustomComboBoxEx::SetItemIndex(int Value) {
    if (KeepItemIndex(Value)) return;
    // A selection by code sends no CBN_SELCHANGE: no event.
    SendMessageA(WindowHandle(), CB_SETCURSEL, static_cast<WPARAM>(Value), 0);
}

void TCustomComboBoxEx::AddItem(const std::string& Item, TObject* AObject) {
    ItemsEx()->AddItem(Item, -1, -1, 0, AObject);
}

void TCustomComboBoxEx::WriteItem(int Index, bool Insert) {
    TComboExItem* source = ItemsEx()->Item(Index);
    std::string caption = source->Caption();
    COMBOBOXEXITEMA item = ComboExItemRecord<COMBOBOXEXITEMA>(*source, Index, caption.data());
    SendMessageA(WindowHandle(), Insert ? CBEM_INSERTITEMA : CBEM_SETITEMA, 0, reinterpret_cast<LPARAM>(&item));
}

void TCustomComboBoxEx::CreateParams(TCreateParams& Params) {
    InitCommonControlClasses();
    TCustomListControl::CreateParams(Params);
    CreateSubClass(Params, "ComboBoxEx32");
    static const DWORD kStyles[] = {CBS_DROPDOWN, CBS_SIMPLE, CBS_DROPDOWNLIST};
    Params.Style |= kStyles[static_cast<int>(style_)] | WS_VSCROLL;
    // The window's height includes the drop-down list.
    if (style_ != TComboBoxExStyle::csExSimple) Params.Height = std::max(Params.Height, 200);
}

void TCustomComboBoxEx::CreateWnd() {
    TCustomListControl::CreateWnd();
    if (images_ != nullptr) SendMessageA(WindowHandle(), CBEM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(images_->Handle()));
    ShowOwnedItems();
}

void TCustomComboBoxEx::Dispatch(TMessage& Message) {
    if (Message.Msg == CN_COMMAND && HIWORD(Message.WParam) == CBN_SELCHANGE) {
        if (OnChange) OnChange(this);
        TellListAction(ItemIndex());
    }
    TCustomListControl::Dispatch(Message);
}

TControlActionLinkClass TCustomComboBoxEx::GetActionLinkClass() const { return &TComboBoxExActionLink::ClassRef(); }

}  // namespace classlib
