// The page control and its tab sheets.
#include "classlib/page_control.h"

#include <algorithm>
#include <utility>
#include <commctrl.h>

#include "classlib/conversions.h"
#include "classlib/custom_form.h"
#include "classlib/docking.h"
#include "classlib/std_text.h"

namespace classlib {

// ---- TTabSheet -------------------------------------------------------------------------------

TTabSheet::TTabSheet(TComponent* AOwner) : TWinControl(AOwner) {
    SetControlStyle(csAcceptsControls | csClickEvents | csSetCaption | csDoubleClicks | csParentBackground);
    InitVisible(false);
}

TTabSheet::~TTabSheet() {
    if (pageControl_ != nullptr) pageControl_->RemovePage(this);
}

void TTabSheet::SetPageControl(TPageControl* Value) {
    if (pageControl_ == Value) return;
    if (pageControl_ != nullptr) pageControl_->RemovePage(this);
    SetParent(Value);
    if (Value != nullptr) Value->InsertPage(this);
}

int TTabSheet::PageIndex() const {
    if (pageControl_ == nullptr) return -1;
    auto& pages = pageControl_->pages_;
    auto it = std::find(pages.begin(), pages.end(), this);
    return it == pages.end() ? -1 : static_cast<int>(it - pages.begin());
}

int TTabSheet::TabIndex() const {
    if (pageControl_ == nullptr || !tabVisible_) return -1;
    int tab = 0;
    for (TTabSheet* p : pageControl_->pages_) {
        if (p == this) return tab;
        if (p->tabVisible_) ++tab;
    }
    return -1;
}

void TTabSheet::SetTabVisible(bool Value) {
    if (tabVisible_ == Value) return;
    tabVisible_ = Value;
    if (pageControl_ != nullptr) pageControl_->UpdateTabs();
}

void TTabSheet::SetImageIndex(int Value) {
    imageIndex_ = Value;
    if (pageControl_ != nullptr) pageControl_->UpdateTab(this);
}

void TTabSheet::Dispatch(TMessage& Message) {
    TWinControl::Dispatch(Message);
    if (Message.Msg == CM_TEXTCHANGED && pageControl_ != nullptr) pageControl_->UpdateTab(this);
}

// ---- TPageControl ----------------------------------------------------------------------------

TPageControl::TPageControl(TComponent* AOwner) : TWinControl(AOwner) {
    SetControlStyle(csAcceptsControls | csDoubleClicks | csClickEvents);
    SetBounds(0, 0, 289, 193);
    SetTabStop(true);
}

TPageControl::~TPageControl() {
    for (TTabSheet* p : pages_) p->pageControl_ = nullptr;
    pages_.clear();
    activePage_ = nullptr;
}

void TPageControl::InsertPage(TTabSheet* Page) {
    pages_.push_back(Page);
    Page->pageControl_ = this;
    UpdateTabs();
    if (activePage_ == nullptr) SetActivePage(Page);
    LayoutSheets();
}

void TPageControl::RemovePage(TTabSheet* Page) {
    auto it = std::find(pages_.begin(), pages_.end(), Page);
    if (it == pages_.end()) return;
    bool wasActive = Page == activePage_;
    size_t index = static_cast<size_t>(it - pages_.begin());
    pages_.erase(it);
    Page->pageControl_ = nullptr;
    if (wasActive) {
        activePage_ = nullptr;
        if (!pages_.empty() && !HasState(csDestroying)) SetActivePage(pages_[std::min(index, pages_.size() - 1)]);
    }
    if (!HasState(csDestroying)) UpdateTabs();
}

void TPageControl::SetActivePage(TTabSheet* Page) {
    if (Page != nullptr && Page->pageControl_ != this) return;
    activePage_ = Page;
    ShowActive();
    if (HandleAllocated()) SendMessageA(WindowHandle(), TCM_SETCURSEL, static_cast<WPARAM>(Page ? Page->TabIndex() : -1), 0);
}

void TPageControl::SetActivePageIndex(int Index) {
    SetActivePage(Index >= 0 && Index < PageCount() ? Pages(Index) : nullptr);
}

int TPageControl::TabIndex() { return activePage_ ? activePage_->TabIndex() : -1; }

void TPageControl::SetTabIndex(int Index) { SetActivePage(PageOfTab(Index)); }

TTabSheet* TPageControl::PageOfTab(int Index) const {
    int tab = 0;
    for (TTabSheet* p : pages_) {
        if (!p->TabVisible()) continue;
        if (tab == Index) return p;
        ++tab;
    }
    return nullptr;
}

void TPageControl::ShowActive() {
    for (TTabSheet* p : pages_) p->SetVisible(p == activePage_);
    LayoutSheets();
}

void TPageControl::SetStyle(TTabStyle Value) {
    if (style_ == Value) return;
    style_ = Value;
    if (HandleAllocated()) RecreateWnd();
}

void TPageControl::SetRaggedRight(bool Value) {
    if (raggedRight_ == Value) return;
    raggedRight_ = Value;
    if (HandleAllocated()) RecreateWnd();
}

void TPageControl::SetImages(TCustomImageList* Value) {
    if (images_ != nullptr) images_->RemoveFreeNotification(this);
    images_ = Value;
    if (images_ != nullptr) images_->FreeNotification(this);
    if (HandleAllocated())
        SendMessageA(WindowHandle(), TCM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(images_ ? images_->Handle() : nullptr));
}

void TPageControl::Notification(TComponent* AComponent, TOperation Operation) {
    TWinControl::Notification(AComponent, Operation);
    if (Operation == TOperation::opRemove && AComponent == images_) SetImages(nullptr);
}

RECT TPageControl::DisplayRect() {
    RECT r = ClientRect();
    if (HandleAllocated()) SendMessageA(WindowHandle(), TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&r));
    return r;
}

void TPageControl::LayoutSheets() {
    if (!HandleAllocated()) return;
    RECT r = DisplayRect();
    for (TTabSheet* p : pages_) p->SetBounds(r.left, r.top, r.right - r.left, r.bottom - r.top);
}

void TPageControl::CreateParams(TCreateParams& Params) {
    InitCommonControlClasses();
    TWinControl::CreateParams(Params);
    CreateSubClass(Params, WC_TABCONTROLA);
    Params.Style |= WS_CLIPCHILDREN;
    if (style_ != TTabStyle::tsTabs) Params.Style |= TCS_BUTTONS;
    if (style_ == TTabStyle::tsFlatButtons) Params.Style |= TCS_FLATBUTTONS;
    if (raggedRight_) Params.Style |= TCS_RAGGEDRIGHT;
}

void TPageControl::CreateWnd() {
    TWinControl::CreateWnd();
    if (images_ != nullptr) SendMessageA(WindowHandle(), TCM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(images_->Handle()));
    UpdateTabs();
    LayoutSheets();
}

bool TPageControl::CanShowTab(int PageIndex) { return Pages(PageIndex)->TabVisible(); }

void TPageControl::UpdateTabs() {
    if (!HandleAllocated()) return;
    SendMessageA(WindowHandle(), TCM_DELETEALLITEMS, 0, 0);
    int tab = 0;
    for (int i = 0; i < PageCount(); ++i) {
        if (!CanShowTab(i)) continue;
        TTabSheet* page = Pages(i);
        std::string text = page->Caption();
        TCITEMA item{};
        item.mask = TCIF_TEXT | TCIF_PARAM | TCIF_IMAGE;
        item.pszText = text.data();
        item.iImage = page->ImageIndex();
        item.lParam = reinterpret_cast<LPARAM>(page);
        Perform(TCM_INSERTITEMA, static_cast<WPARAM>(tab), reinterpret_cast<LPARAM>(&item));
        // The text follows with the item's update (the wide control sets its own there).
        Perform(TCM_SETITEMA, static_cast<WPARAM>(tab), reinterpret_cast<LPARAM>(&item));
        ++tab;
    }
    SendMessageA(WindowHandle(), TCM_SETCURSEL, static_cast<WPARAM>(TabIndex()), 0);
    LayoutSheets();
}

void TPageControl::UpdateTab(TTabSheet* Page) {
    if (!HandleAllocated() || Page == nullptr || Page->TabIndex() < 0) return;
    std::string text = Page->Caption();
    TCITEMA item{};
    item.mask = TCIF_TEXT | TCIF_PARAM | TCIF_IMAGE;
    item.pszText = text.data();
    item.iImage = Page->ImageIndex();
    item.lParam = reinterpret_cast<LPARAM>(Page);
    Perform(TCM_SETITEMA, static_cast<WPARAM>(Page->TabIndex()), reinterpret_cast<LPARAM>(&item));
}

bool TPageControl::CanChange() {
    bool allow = true;
    if (OnChanging) OnChanging(this, allow);
    return allow;
}

void TPageControl::Change() {
    if (OnChange) OnChange(this);
}

// ---- Docking ---------------------------------------------------------------------------------

TTabSheet* TPageControl::PageOfDockClient(TControl* Client) const {
    if (Client == nullptr || Client->HostDockSite() != this) return nullptr;
    for (TTabSheet* p : pages_)
        if (Client->Parent() == p) return p;
    return nullptr;
}

TTabSheet* TPageControl::NewDockSheet(TControl* Client) {
    auto* sheet = new TTabSheet(this);
    if (dynamic_cast<TCustomForm*>(Client) != nullptr) sheet->SetCaption(Client->Caption());
    return sheet;
}

void TPageControl::DockClientTextChanged(TTabSheet* Page, TControl* Client, LPARAM Text) {
    // A client with a wide window (a wide form) is told its new text by the system in UTF-16.
    auto* window = dynamic_cast<TWinControl*>(Client);
    const bool wide = Text != 0 && window != nullptr && window->HandleAllocated() && IsWindowUnicode(window->WindowHandle());
    std::string text = Text == 0 ? std::string()
                       : wide    ? WideToAnsi(reinterpret_cast<const wchar_t*>(Text))
                                 : std::string(reinterpret_cast<const char*>(Text));
    Page->SetCaption(text.substr(0, text.find_first_of("\r\n")));
}

void TPageControl::DockClient(TMessage& Message) {
    const auto* dock = reinterpret_cast<const TDockObject*>(Message.WParam);
    Message.Result = 0;
    if (dock == nullptr || dock->Control == nullptr) return;
    TControl* client = dock->Control;
    newDockSheet_ = NewDockSheet(client);
    try {
        newDockSheet_->SetPageControl(this);
        client->Dock(this, dock->DockRect);
    } catch (...) {
        delete newDockSheet_;
        newDockSheet_ = nullptr;
        throw;
    }
    TTabSheet* sheet = newDockSheet_;
    newDockSheet_ = nullptr;
    sheet->SetTabVisible(client->Visible());
    if (client->Visible()) SetActivePage(sheet);
    client->SetAlign(TAlign::alClient);
}

void TPageControl::DoAddDockClient(TControl* Client, const RECT& ARect) {
    if (newDockSheet_ != nullptr)
        Client->SetParent(newDockSheet_);
    else
        TWinControl::DoAddDockClient(Client, ARect);
}

void TPageControl::DoRemoveDockClient(TControl* Client) {
    TWinControl::DoRemoveDockClient(Client);
    TTabSheet* page = std::exchange(undockingPage_, nullptr);
    // Only a sheet of ours that nothing docked lies on any more (a move that failed half-way
    // leaves its client where it was).
    if (page == nullptr || HasState(csDestroying) || Client->Parent() == page) return;
    if (std::find(pages_.begin(), pages_.end(), page) == pages_.end()) return;
    for (int i = 0; i < DockClientCount(); ++i)
        if (DockClients(i)->Parent() == page) return;
    delete page;
}

void TPageControl::DockNotification(TMessage& Message) {
    auto* client = reinterpret_cast<TControl*>(Message.WParam);
    const auto* notify = reinterpret_cast<const TDockNotifyRec*>(Message.LParam);
    TTabSheet* page = PageOfDockClient(client);
    if (page == nullptr || notify == nullptr) return;
    if (notify->ClientMsg == WM_SETTEXT)
        DockClientTextChanged(page, client, notify->MsgLParam);
    else if (notify->ClientMsg == CM_VISIBLECHANGED)
        page->SetTabVisible(notify->MsgWParam != 0);
}

void TPageControl::Dispatch(TMessage& Message) {
    switch (Message.Msg) {
        case CM_DOCKCLIENT:
            DockClient(Message);
            return;
        case CM_UNDOCKCLIENT: {
            Message.Result = 0;
            auto* client = reinterpret_cast<TControl*>(Message.LParam);
            if (TTabSheet* page = PageOfDockClient(client)) {
                undockingPage_ = page;
                client->SetAlign(TAlign::alNone);
            }
            return;
        }
        case CM_DOCKNOTIFICATION:
            DockNotification(Message);
            return;
        case CN_NOTIFY: {
            const auto* header = reinterpret_cast<const NMHDR*>(Message.LParam);
            if (header->code == static_cast<UINT>(TCN_SELCHANGING)) {
                Message.Result = CanChange() ? FALSE : TRUE;
                return;
            }
            if (header->code == static_cast<UINT>(TCN_SELCHANGE)) {
                int tab = static_cast<int>(SendMessageA(WindowHandle(), TCM_GETCURSEL, 0, 0));
                activePage_ = PageOfTab(tab);
                ShowActive();
                Change();
                return;
            }
            break;
        }
        case CM_DIALOGCHAR:
            for (int i = 0; i < PageCount(); ++i) {
                if (CanShowTab(i) && IsAccel(Message.WParam, Pages(i)->Caption()) && CanFocus()) {
                    Message.Result = 1;
                    if (CanChange()) {
                        SetActivePage(Pages(i));
                        Change();
                    }
                    return;
                }
            }
            break;
        case WM_SIZE:
            TWinControl::Dispatch(Message);
            LayoutSheets();
            return;
        default:
            break;
    }
    TWinControl::Dispatch(Message);
}

}  // namespace classlib
