// Wide list view and extended combo box.
#include "widgets/unicode/uc_list_view.h"

#include <commctrl.h>

#include <algorithm>

#include "classlib/conversions.h"
#include "widgets/unicode/uc_com_controls.h"

namespace widgets {

WIDGETS_UC_LINK_BODIES(TUcListViewActionLink, classlib::TListViewActionLink)
WIDGETS_UC_LINK_BODIES(TUcComboBoxExActionLink, classlib::TComboBoxExActionLink)
// Registered with the wide links when the program holds this module's controls.
[[maybe_unused]] const bool kUcListLinksRegistered =
    (RegisterWideActionLinkClass(&TUcListViewActionLink::ClassRef()),
     RegisterWideActionLinkClass(&TUcComboBoxExActionLink::ClassRef()), true);

namespace {

// Whether the control's window takes wide items (else the class library writes ANSI ones).
bool WideWindow(classlib::TWinControl* Control) {
    return Control->HandleAllocated() && IsWindowUnicode(Control->WindowHandle());
}

}  // namespace

// ---- List view -------------------------------------------------------------------------------

void TUcListView::AddItem(const std::wstring& Item, classlib::TObject* AObject) {
    TUcListItem* item = static_cast<TUcListItem*>(Items()->Add());
    item->SetCaption(Item);
    item->SetData(AObject);
}

void TUcListView::AddItem(const std::string& Item, classlib::TObject* AObject) {
    AddItem(classlib::AnsiToWide(Item), AObject);
}

void TUcListView::CopySelection(classlib::TCustomListControl* Destination) {
    int index = ItemIndex();
    if (index >= 0) WideListControl_AddItem(Destination, Item(index)->Caption(), static_cast<classlib::TObject*>(Item(index)->Data()));
}

std::wstring TUcListView::ItemWindowTextW(int Index) {
    wchar_t buffer[1024] = {};
    LVITEMW item{};
    item.pszText = buffer;
    item.cchTextMax = static_cast<int>(std::size(buffer));
    LRESULT n = SendMessageW(Handle(), LVM_GETITEMTEXTW, static_cast<WPARAM>(Index), reinterpret_cast<LPARAM>(&item));
    return std::wstring(buffer, static_cast<size_t>(std::clamp<LRESULT>(n, 0, std::size(buffer) - 1)));
}

void TUcListView::CreateWindowHandle(const classlib::TCreateParams& Params) {
    CreateUnicodeHandle_ComCtl(this, Params, WC_LISTVIEWW);
}

std::unique_ptr<classlib::TListItem> TUcListView::NewItem() { return std::make_unique<TUcListItem>(Items()); }

void TUcListView::WriteItem(int Index, bool Insert) {
    if (!WideWindow(this)) {
        classlib::TListView::WriteItem(Index, Insert);
        return;
    }
    TUcListItem* source = Item(Index);
    std::wstring caption = source->Caption();
    LVITEMW item = classlib::ListItemRecord<LVITEMW>(*source, Index, caption.data());
    SendMessageW(WindowHandle(), Insert ? LVM_INSERTITEMW : LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item));
}

// ---- Extended combo box ----------------------------------------------------------------------

void TUcComboBoxEx::AddItem(const std::wstring& Item, classlib::TObject* AObject) {
    TUcComboExItem* item = static_cast<TUcComboExItem*>(ItemsEx()->Add());
    item->SetCaption(Item);
    item->SetData(AObject);
}

void TUcComboBoxEx::AddItem(const std::string& Item, classlib::TObject* AObject) {
    AddItem(classlib::AnsiToWide(Item), AObject);
}

void TUcComboBoxEx::CopySelection(classlib::TCustomListControl* Destination) {
    int index = ItemIndex();
    if (index >= 0) WideListControl_AddItem(Destination, Item(index)->Caption(), static_cast<classlib::TObject*>(Item(index)->Data()));
}

std::wstring TUcComboBoxEx::ItemWindowTextW(int Index) {
    wchar_t buffer[1024] = {};
    COMBOBOXEXITEMW item{};
    item.mask = CBEIF_TEXT;
    item.iItem = Index;
    item.pszText = buffer;
    item.cchTextMax = static_cast<int>(std::size(buffer));
    if (!SendMessageW(Handle(), CBEM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item))) return std::wstring();
    return std::wstring(buffer);
}

void TUcComboBoxEx::CreateWindowHandle(const classlib::TCreateParams& Params) {
    CreateUnicodeHandle_ComCtl(this, Params, WC_COMBOBOXEXW);
}

std::unique_ptr<classlib::TComboExItem> TUcComboBoxEx::NewItem() { return std::make_unique<TUcComboExItem>(ItemsEx()); }

void TUcComboBoxEx::WriteItem(int Index, bool Insert) {
    if (!WideWindow(this)) {
        classlib::TComboBoxEx::WriteItem(Index, Insert);
        return;
    }
    TUcComboExItem* source = Item(Index);
    std::wstring caption = source->Caption();
    COMBOBOXEXITEMW item = classlib::ComboExItemRecord<COMBOBOXEXITEMW>(*source, Index, caption.data());
    SendMessageW(WindowHandle(), Insert ? CBEM_INSERTITEMW : CBEM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item));
}

}  // namespace widgets
