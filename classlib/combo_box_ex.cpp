// The extended combo box of the class library.
#include "classlib/combo_box_ex.h"

#include <commctrl.h>

#include <algorithm>

namespace classlib {

// ---- TComboExItem ---------------------------------------------------------------------------

int TComboExItem::Index() const { return owner_->IndexOf(this); }

void TComboExItem::SetCaption(const std::string& Value) {
    if (caption_ == Value) return;
    caption_ = Value;
    Changed();
}

void TComboExItem::SetImageIndex(int Value) {
    if (imageIndex_ == Value) return;
    imageIndex_ = Value;
    Changed();
}

void TComboExItem::SetSelectedImageIndex(int Value) {
    if (selectedImageIndex_ == Value) return;
    selectedImageIndex_ = Value;
    Changed();
}

void TComboExItem::SetIndent(int Value) {
    if (indent_ == Value) return;
    indent_ = Value;
    Changed();
}

void TComboExItem::Changed() { owner_->ItemChanged(this); }

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
    : TCustomListControl(AOwner), items_(std::make_unique<TComboExItems>(this)) {
    SetBounds(0, 0, 145, 24);
    SetTabStop(true);
}

TCustomComboBoxEx::~TCustomComboBoxEx() = default;

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
    if (!HandleAllocated()) return savedItemIndex_;
    LRESULT r = SendMessageA(WindowHandle(), CB_GETCURSEL, 0, 0);
    return r < 0 ? -1 : static_cast<int>(r);
}

void TCustomComboBoxEx::SetItemIndex(int Value) {
    if (Value < 0 || Value >= items_->Count()) Value = -1;
    if (!HandleAllocated()) {
        savedItemIndex_ = Value;
        return;
    }
    // A selection by code sends no CBN_SELCHANGE: no event.
    SendMessageA(WindowHandle(), CB_SETCURSEL, static_cast<WPARAM>(Value), 0);
}

void TCustomComboBoxEx::AddItem(const std::string& Item, TObject* AObject) {
    items_->AddItem(Item, -1, -1, 0, AObject);
}

void TCustomComboBoxEx::CopySelection(TCustomListControl* Destination) {
    int index = ItemIndex();
    if (Destination == nullptr || index < 0) return;
    TComboExItem* item = items_->Item(index);
    Destination->AddItem(item->Caption(), static_cast<TObject*>(item->Data()));
}

void TCustomComboBoxEx::WriteItem(int Index, bool Insert) {
    TComboExItem* source = items_->Item(Index);
    std::string caption = source->Caption();
    COMBOBOXEXITEMA item = ComboExItemRecord<COMBOBOXEXITEMA>(*source, Index, caption.data());
    SendMessageA(WindowHandle(), Insert ? CBEM_INSERTITEMA : CBEM_SETITEMA, 0, reinterpret_cast<LPARAM>(&item));
}

void TCustomComboBoxEx::ItemDeleted(int Index) {
    if (HandleAllocated()) SendMessageA(WindowHandle(), CBEM_DELETEITEM, static_cast<WPARAM>(Index), 0);
}

void TCustomComboBoxEx::ItemsCleared() {
    if (HandleAllocated())
        SendMessageA(WindowHandle(), CB_RESETCONTENT, 0, 0);
    else
        savedItemIndex_ = -1;
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
    for (int i = 0; i < items_->Count(); ++i) WriteItem(i, true);
    int index = savedItemIndex_;
    savedItemIndex_ = -1;
    SetItemIndex(index);
}

void TCustomComboBoxEx::DestroyWnd() {
    savedItemIndex_ = ItemIndex();
    TCustomListControl::DestroyWnd();
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
