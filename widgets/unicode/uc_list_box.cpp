// The wide list box and its wide items.
#include "widgets/unicode/uc_list_box.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "classlib/conversions.h"
#include "classlib/filer.h"
#include "classlib/gdi_handles.h"
#include "unicode/wide_platform.h"
#include "unicode/wide_properties.h"
#include "widgets/unicode/uc_actions.h"

namespace widgets {

using classlib::AnsiToWide;
using classlib::TMessage;
using classlib::WideToAnsi;

namespace {

bool IsUnicodePlatform() { return unicode::Win32PlatformIsUnicode(); }

}  // namespace

// ---- TUcListBoxStrings -----------------------------------------------------------------------

bool TUcListBoxStrings::WideWindow() const {
    HWND h = listBox_->Handle();
    return IsUnicodePlatform() && IsWindowUnicode(h);
}

int TUcListBoxStrings::GetCount() const { return Ansi()->Count(); }
classlib::TObject* TUcListBoxStrings::GetObject(int Index) const { return Ansi()->Objects(Index); }
void TUcListBoxStrings::PutObject(int Index, classlib::TObject* AObject) { Ansi()->SetObjects(Index, AObject); }
void TUcListBoxStrings::Clear() { Ansi()->Clear(); }
void TUcListBoxStrings::Delete(int Index) { Ansi()->Delete(Index); }

std::wstring TUcListBoxStrings::Get(int Index) const {
    if (listBox_->IsVirtual()) {
        if (Index < 0 || Index >= listBox_->Count()) Error(unicode::SListIndexError, Index);
        if (auto* wide = dynamic_cast<TUcCustomListBox*>(listBox_)) return wide->DoGetWideData(Index);
        return AnsiToWide(listBox_->DoGetData(Index));
    }
    if (!WideWindow()) return AnsiToWide(Ansi()->Get(Index));
    HWND h = listBox_->WindowHandle();
    LRESULT len = SendMessageW(h, LB_GETTEXTLEN, static_cast<WPARAM>(Index), 0);
    if (len == LB_ERR) Error(unicode::SListIndexError, Index);
    std::vector<wchar_t> buffer(static_cast<size_t>(len) + 1, L'\0');
    if (SendMessageW(h, LB_GETTEXT, static_cast<WPARAM>(Index), reinterpret_cast<LPARAM>(buffer.data())) == LB_ERR)
        return std::wstring();
    return std::wstring(buffer.data());
}

void TUcListBoxStrings::Insert(int Index, const std::wstring& S) {
    if (listBox_->IsVirtual() || !WideWindow()) {
        Ansi()->Insert(Index, WideToAnsi(S));
        return;
    }
    if (SendMessageW(listBox_->WindowHandle(), LB_INSERTSTRING, static_cast<WPARAM>(Index),
                     reinterpret_cast<LPARAM>(S.c_str())) < 0)
        throw classlib::EOutOfResources(L"Unable to insert a line");
}

int TUcListBoxStrings::Add(const std::wstring& S) {
    if (listBox_->IsVirtual() || !WideWindow()) return Ansi()->Add(WideToAnsi(S));
    LRESULT r = SendMessageW(listBox_->WindowHandle(), LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(S.c_str()));
    if (r < 0) throw classlib::EOutOfResources(L"Unable to insert a line");
    return static_cast<int>(r);
}

int TUcListBoxStrings::IndexOf(const std::wstring& S) const {
    if (listBox_->IsVirtual() || !WideWindow()) return Ansi()->IndexOf(WideToAnsi(S));
    LRESULT r = SendMessageW(listBox_->WindowHandle(), LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                             reinterpret_cast<LPARAM>(S.c_str()));
    return r < 0 ? -1 : static_cast<int>(r);
}

void TUcListBoxStrings::Put(int Index, const std::wstring& S) {
    int selected = listBox_->ItemIndex();
    classlib::TObject* data = GetObject(Index);
    PutObject(Index, nullptr);
    Delete(Index);
    InsertObject(Index, S, data);
    listBox_->SetItemIndex(selected);
}

void TUcListBoxStrings::Exchange(int Index1, int Index2) { classlib::ListBoxExchangeItems(*this, listBox_, Index1, Index2); }

void TUcListBoxStrings::Move(int CurIndex, int NewIndex) { classlib::ListBoxMoveItem(*this, listBox_, CurIndex, NewIndex); }

void TUcListBoxStrings::SetUpdateState(bool Updating) {
    if (Updating)
        Ansi()->BeginUpdate();
    else
        Ansi()->EndUpdate();
}

// ---- Shared list box steps -------------------------------------------------------------------

void TUcListBoxKeeper::Save(classlib::TCustomListBox* ListBox, unicode::TWideStrings* Items) {
    if (!ListBox->HandleAllocated() || ListBox->HasState(classlib::csDestroying) || ListBox->IsVirtual()) return;
    if (Items->Count() == 0) return;
    items_ = std::make_unique<unicode::TUcStringList>();
    items_->Assign(Items);
    topIndex_ = ListBox->TopIndex();
    itemIndex_ = ListBox->ItemIndex();
    // The class library finds nothing left to keep in ANSI.
    SendMessageW(ListBox->WindowHandle(), LB_RESETCONTENT, 0, 0);
}

void TUcListBoxKeeper::Restore(classlib::TCustomListBox* ListBox, unicode::TWideStrings* Items) {
    if (!items_) return;
    std::unique_ptr<unicode::TUcStringList> saved = std::move(items_);
    Items->Assign(saved.get());
    ListBox->SetTopIndex(topIndex_);
    ListBox->SetItemIndex(std::min(itemIndex_, Items->Count() - 1));
}

bool UcListBox_AnswerVirtualText(classlib::TCustomListBox* ListBox, const TLBGetWideDataEvent& OnData,
                                 TMessage& Message) {
    if ((Message.Msg != LB_GETTEXT && Message.Msg != LB_GETTEXTLEN) || !ListBox->IsVirtual()) return false;
    auto index = static_cast<int>(Message.WParam);
    if (index < 0 || index >= ListBox->Count() || (!OnData && !ListBox->OnData)) {
        Message.Result = LB_ERR;
        return true;
    }
    if (OnData && IsUnicodePlatform()) {
        std::wstring data;
        OnData(ListBox, index, data);
        if (Message.Msg == LB_GETTEXT && Message.LParam != 0)
            std::memcpy(reinterpret_cast<wchar_t*>(Message.LParam), data.c_str(), (data.size() + 1) * sizeof(wchar_t));
        Message.Result = static_cast<LRESULT>(data.size());
        return true;
    }
    std::string data;
    if (OnData) {
        std::wstring wide;
        OnData(ListBox, index, wide);
        data = WideToAnsi(wide);
    } else {
        ListBox->OnData(ListBox, index, data);
    }
    if (Message.Msg == LB_GETTEXT && Message.LParam != 0)
        std::memcpy(reinterpret_cast<char*>(Message.LParam), data.c_str(), data.size() + 1);
    Message.Result = static_cast<LRESULT>(data.size());
    return true;
}

void UcListBox_CopySelection(classlib::TCustomListBox* ListBox, unicode::TWideStrings* Items,
                             classlib::TCustomListControl* Destination) {
    if (Destination == nullptr) return;
    auto add = [&](int i) { WideListControl_AddItem(Destination, Items->Get(i), Items->Objects(i)); };
    if (ListBox->MultiSelect()) {
        for (int i = 0; i < Items->Count(); ++i)
            if (ListBox->Selected(i)) add(i);
    } else if (ListBox->ItemIndex() >= 0) {
        add(ListBox->ItemIndex());
    }
}

std::wstring UcListBox_GetWideData(classlib::TCustomListBox* ListBox, const TLBGetWideDataEvent& OnData, int Index) {
    if (OnData) {
        std::wstring data;
        OnData(ListBox, Index, data);
        return data;
    }
    return AnsiToWide(ListBox->classlib::TCustomListBox::DoGetData(Index));
}

void UcListBox_DrawItemText(classlib::TCustomListBox* ListBox, const std::wstring& Text, RECT Rect, UINT State) {
    HDC dc = ListBox->Canvas()->Handle();
    bool selected = (State & ODS_SELECTED) != 0;
    FillRect(dc, &Rect, selected ? GetSysColorBrush(COLOR_HIGHLIGHT) : ListBox->Brush()->Handle());
    classlib::TSavedDC saved(dc);
    SelectObject(dc, ListBox->Font()->Handle());
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, classlib::ColorToRGB(selected ? classlib::clHighlightText : ListBox->Font()->Color()));
    RECT r = Rect;
    if (ListBox->UseRightToLeftAlignment())
        r.right -= 2;
    else
        r.left += 2;
    UINT flags = ListBox->DrawTextBiDiModeFlags(DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
    DrawTextW(dc, Text.c_str(), static_cast<int>(Text.size()), &r, flags);
}

// ---- TUcCustomListBox ------------------------------------------------------------------------

TUcCustomListBox::TUcCustomListBox(classlib::TComponent* AOwner)
    : classlib::TCustomListBox(AOwner), wideItems_(std::make_unique<TUcListBoxStrings>(this)) {}

TUcCustomListBox::~TUcCustomListBox() {
    Destroying();
    if (HandleAllocated()) DestroyHandle();
}

void TUcCustomListBox::AddItem(const std::wstring& Item, classlib::TObject* AObject) {
    wideItems_->AddObject(Item, AObject);
}

void TUcCustomListBox::AddItem(const std::string& Item, classlib::TObject* AObject) {
    wideItems_->AddObject(AnsiToWide(Item), AObject);
}

void TUcCustomListBox::CopySelection(classlib::TCustomListControl* Destination) {
    UcListBox_CopySelection(this, wideItems_.get(), Destination);
}

std::wstring TUcCustomListBox::DoGetWideData(int Index) { return UcListBox_GetWideData(this, OnData, Index); }

std::string TUcCustomListBox::DoGetData(int Index) { return WideToAnsi(DoGetWideData(Index)); }

void TUcCustomListBox::CreateWindowHandle(const classlib::TCreateParams& Params) {
    CreateUnicodeHandle(this, Params, L"LISTBOX");
}

void TUcCustomListBox::CreateWnd() {
    classlib::TCustomListBox::CreateWnd();
    keeper_.Restore(this, wideItems_.get());
}

void TUcCustomListBox::DestroyWnd() {
    keeper_.Save(this, wideItems_.get());
    classlib::TCustomListBox::DestroyWnd();
}

void TUcCustomListBox::DrawItem(int Index, RECT Rect, UINT State) {
    if (OnDrawItem || !IsUnicodePlatform()) {
        classlib::TCustomListBox::DrawItem(Index, Rect, State);
        return;
    }
    std::wstring text = Index >= 0 && Index < Count() ? wideItems_->Get(Index) : std::wstring();
    UcListBox_DrawItemText(this, text, Rect, State);
}

void TUcCustomListBox::Dispatch(TMessage& Message) {
    if (UcListBox_AnswerVirtualText(this, OnData, Message)) return;
    classlib::TCustomListBox::Dispatch(Message);
}

}  // namespace widgets
