#include "widgets/unicode/uc_check_list_box.h"

#include "classlib/conversions.h"
#include "classlib/gdi_handles.h"
#include "unicode/wide_platform.h"

namespace widgets {

TUcCheckListBox::TUcCheckListBox(classlib::TComponent* AOwner)
    : classlib::TCheckListBox(AOwner), wideItems_(std::make_unique<TUcListBoxStrings>(this)) {}

TUcCheckListBox::~TUcCheckListBox() {
    Destroying();
    if (HandleAllocated()) DestroyHandle();
}

void TUcCheckListBox::AddItem(const std::wstring& Item, classlib::TObject* AObject) { wideItems_->AddObject(Item, AObject); }

void TUcCheckListBox::AddItem(const std::string& Item, classlib::TObject* AObject) {
    wideItems_->AddObject(classlib::AnsiToWide(Item), AObject);
}

void TUcCheckListBox::CopySelection(classlib::TCustomListControl* Destination) {
    UcListBox_CopySelection(this, wideItems_.get(), Destination);
}

std::string TUcCheckListBox::DoGetData(int Index) { return classlib::WideToAnsi(UcListBox_GetWideData(this, OnData, Index)); }

void TUcCheckListBox::CreateWindowHandle(const classlib::TCreateParams& Params) {
    CreateUnicodeHandle(this, Params, L"LISTBOX");
}

void TUcCheckListBox::CreateWnd() {
    classlib::TCheckListBox::CreateWnd();
    keeper_.Restore(this, wideItems_.get());
    // The wide items were put back anew: their states follow.
    RestoreItemStates(savedStates_);
    savedStates_.clear();
}

void TUcCheckListBox::DestroyWnd() {
    if (HandleAllocated() && !HasState(classlib::csDestroying)) savedStates_ = ItemStates();
    keeper_.Save(this, wideItems_.get());
    classlib::TCheckListBox::DestroyWnd();
}

void TUcCheckListBox::DrawItem(int Index, RECT Rect, UINT State) {
    classlib::TCheckListBox::DrawItem(Index, Rect, State);
    if (OnDrawItem || !unicode::Win32PlatformIsUnicode() || Index < 0 || Index >= Count() || Header(Index)) return;
    RECT rest = Rect;
    rest.left += CheckWidth();
    if (!ItemEnabled(Index)) State &= ~static_cast<UINT>(ODS_SELECTED);
    UcListBox_DrawItemText(this, wideItems_->Get(Index), rest, State);
}

void TUcCheckListBox::DrawHeaderText(HDC DC, int Index, RECT Rect) {
    if (!unicode::Win32PlatformIsUnicode()) {
        classlib::TCheckListBox::DrawHeaderText(DC, Index, Rect);
        return;
    }
    classlib::TSavedDC saved(DC);
    SelectObject(DC, Font()->Handle());
    SetBkMode(DC, TRANSPARENT);
    SetTextColor(DC, classlib::ColorToRGB(HeaderColor()));
    std::wstring text = wideItems_->Get(Index);
    Rect.left += 2;
    DrawTextW(DC, text.c_str(), static_cast<int>(text.size()), &Rect,
              DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DrawTextBiDiModeFlagsReadingOnly());
}

void TUcCheckListBox::Dispatch(classlib::TMessage& Message) {
    if (UcListBox_AnswerVirtualText(this, OnData, Message)) return;
    classlib::TCheckListBox::Dispatch(Message);
}

}  // namespace widgets
