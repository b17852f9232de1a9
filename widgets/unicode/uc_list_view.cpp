// Wide list view and extended combo box.
#include "widgets/unicode/uc_list_view.h"

#include <commctrl.h>

#include <algorithm>

#include "widgets/unicode/uc_com_controls.h"

namespace widgets {

WIDGETS_UC_LINK_BODIES(TUcListViewActionLink, classlib::TListViewActionLink)
WIDGETS_UC_LINK_BODIES(TUcComboBoxExActionLink, classlib::TComboBoxExActionLink)
// Registered with the wide links when the program holds this module's controls.
[[maybe_unused]] const bool kUcListLinksRegistered =
    (RegisterWideActionLinkClass(&TUcListViewActionLink::ClassRef()),
     RegisterWideActionLinkClass(&TUcComboBoxExActionLink::ClassRef()), true);

// ---- List view -------------------------------------------------------------------------------

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

void TUcListView::WriteItem(int Index, bool Insert) {
    if (!WideWindow()) {
        classlib::TListView::WriteItem(Index, Insert);
        return;
    }
    TUcListItem* source = Item(Index);
    std::wstring caption = source->Caption();
    LVITEMW item = classlib::ListItemRecord<LVITEMW>(*source, Index, caption.data());
    SendMessageW(WindowHandle(), Insert ? LVM_INSERTITEMW : LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item));
}

// ---- Extended combo box ----------------------------------------------------------------------

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

void TUcComboBoxEx::WriteItem(int Index, bool Insert) {
    if (!WideWindow()) {
        classlib::TComboBoxEx::WriteItem(Index, Insert);
        return;
    }
    TUcComboExItem* source = Item(Index);
    std::wstring caption = source->Caption();
    COMBOBOXEXITEMW item = classlib::ComboExItemRecord<COMBOBOXEXITEMW>(*source, Index, caption.data());
    SendMessageW(WindowHandle(), Insert ? CBEM_INSERTITEMW : CBEM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item));
}

}  // namespace widgets
