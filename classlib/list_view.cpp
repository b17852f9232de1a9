// The list view of the class library.
#include "classlib/list_view.h"

#include <commctrl.h>

#include <algorithm>

#include "classlib/exceptions.h"
#include "classlib/format.h"

namespace classlib {

// ---- TListViewActionLink --------------------------------------------------------------------

const TControlActionLinkClassRef& TListViewActionLink::ClassRef() {
    static const TControlActionLinkClassRef ref(L"TListViewActionLink", &TListActionLink::ClassRef(),
                                                [](TControl* c) -> TControlActionLink* { return new TListViewActionLink(c); });
    return ref;
}

void TListViewActionLink::AddItem(const std::string& Caption, int ImageIndex, void* Data) {
    auto* view = dynamic_cast<TCustomListView*>(Client());
    if (view == nullptr) return;
    TListItem* item = view->Items()->Add();
    item->SetCaption(Caption);
    item->SetImageIndex(ImageIndex);
    item->SetData(Data);
}

void TListViewActionLink::SetImages(TCustomImageList* Value) {
    if (auto* view = dynamic_cast<TCustomListView*>(Client())) view->SetSmallImages(Value);
}

// ---- TCustomListView ------------------------------------------------------------------------

TCustomListView::TCustomListView(TComponent* AOwner)
    : TOwnedItemsControl(AOwner, LVM_DELETEITEM, LVM_DELETEALLITEMS) {
    SetBounds(0, 0, 250, 150);
    SetTabStop(true);
}

void TCustomListView::SetViewStyle(TViewStyle Value) {
    if (viewStyle_ == Value) return;
    viewStyle_ = Value;
    RecreateWnd();
}

void TCustomListView::SetImageList(TCustomImageList*& Field, TCustomImageList* Value, int Which) {
    if (Field == Value) return;
    if (Field != nullptr) Field->RemoveFreeNotification(this);
    Field = Value;
    if (Field != nullptr) Field->FreeNotification(this);
    if (HandleAllocated())
        SendMessageA(WindowHandle(), LVM_SETIMAGELIST, static_cast<WPARAM>(Which),
                     reinterpret_cast<LPARAM>(Value != nullptr ? Value->Handle() : nullptr));
}

void TCustomListView::SetSmallImages(TCustomImageList* Value) { SetImageList(smallImages_, Value, LVSIL_SMALL); }
void TCustomListView::SetLargeImages(TCustomImageList* Value) { SetImageList(largeImages_, Value, LVSIL_NORMAL); }

void TCustomListView::Notification(TComponent* AComponent, TOperation Operation) {
    TCustomListControl::Notification(AComponent, Operation);
    if (Operation != TOperation::opRemove || AComponent == nullptr) return;
    if (AComponent == smallImages_) SetSmallImages(nullptr);
    if (AComponent == largeImages_) SetLargeImages(nullptr);
}

std::string TCustomListView::ItemWindowText(int Index) {
    char buffer[1024] = {};
    LVITEMA item{};
    item.iSubItem = 0;
    item.pszText = buffer;
    item.cchTextMax = sizeof buffer;
    LRESULT n = SendMessageA(Handle(), LVM_GETITEMTEXTA, static_cast<WPARAM>(Index), reinterpret_cast<LPARAM>(&item));
    return std::string(buffer, static_cast<size_t>(std::clamp<LRESULT>(n, 0, sizeof buffer - 1)));
}

int TCustomListView::ItemIndex() {
    if (!HandleAllocated()) return SavedItemIndex();
    return static_cast<int>(SendMessageA(WindowHandle(), LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

void TCustomListView::SetItemIndex(int Value) {
    if (KeepItemIndex(Value)) return;
    // From code: no event (the notifications of the change are not the user's).
    settingIndex_ = true;
    LVITEMA state{};
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageA(WindowHandle(), LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&state));
    if (Value >= 0) {
        state.state = LVIS_SELECTED | LVIS_FOCUSED;
        SendMessageA(WindowHandle(), LVM_SETITEMSTATE, static_cast<WPARAM>(Value), reinterpret_cast<LPARAM>(&state));
        SendMessageA(WindowHandle(), LVM_ENSUREVISIBLE, static_cast<WPARAM>(Value), FALSE);
    }
    settingIndex_ = false;
}

void TCustomListView::AddItem(const std::string& Item, TObject* AObject) {
    TListItem* item = Items()->Add();
    item->SetCaption(Item);
    item->SetData(AObject);
}

void TCustomListView::WriteItem(int Index, bool Insert) {
    TListItem* source = Items()->Item(Index);
    std::string caption = source->Caption();
    LVITEMA item = ListItemRecord<LVITEMA>(*source, Index, caption.data());
    SendMessageA(WindowHandle(), Insert ? LVM_INSERTITEMA : LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&item));
}

void TCustomListView::CreateParams(TCreateParams& Params) {
    InitCommonControlClasses();
    TCustomListControl::CreateParams(Params);
    CreateSubClass(Params, WC_LISTVIEWA);
    static const DWORD kViewStyles[] = {LVS_ICON, LVS_SMALLICON, LVS_LIST, LVS_REPORT | LVS_NOCOLUMNHEADER};
    Params.Style |= LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_SHAREIMAGELISTS | kViewStyles[static_cast<int>(viewStyle_)];
    Params.ExStyle |= WS_EX_CLIENTEDGE;
}

void TCustomListView::CreateWnd() {
    TCustomListControl::CreateWnd();
    HWND h = WindowHandle();
    if (smallImages_ != nullptr) SendMessageA(h, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(smallImages_->Handle()));
    if (largeImages_ != nullptr) SendMessageA(h, LVM_SETIMAGELIST, LVSIL_NORMAL, reinterpret_cast<LPARAM>(largeImages_->Handle()));
    if (viewStyle_ == TViewStyle::vsReport) {
        LVCOLUMNA column{};
        column.mask = LVCF_WIDTH;
        column.cx = ClientRect().right;
        SendMessageA(h, LVM_INSERTCOLUMNA, 0, reinterpret_cast<LPARAM>(&column));
    }
    ShowOwnedItems();
}

void TCustomListView::Dispatch(TMessage& Message) {
    if (Message.Msg == CN_NOTIFY) {
        const auto* header = reinterpret_cast<const NMHDR*>(Message.LParam);
        if (header->code == LVN_ITEMCHANGED && !settingIndex_) {
            const auto* change = reinterpret_cast<const NMLISTVIEW*>(Message.LParam);
            // The user's pick: the item that became selected.
            if ((change->uChanged & LVIF_STATE) != 0 && (change->uNewState & LVIS_SELECTED) != 0 &&
                (change->uOldState & LVIS_SELECTED) == 0) {
                if (OnChange) OnChange(this);
                TellListAction(change->iItem);
            }
        }
    }
    TCustomListControl::Dispatch(Message);
}

TControlActionLinkClass TCustomListView::GetActionLinkClass() const { return &TListViewActionLink::ClassRef(); }

}  // namespace classlib
