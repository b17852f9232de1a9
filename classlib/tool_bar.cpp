// The tool bar and its buttons.
#include "classlib/tool_bar.h"

#include <algorithm>

#include "classlib/conversions.h"

namespace classlib {

// ---- TToolButtonActionLink -------------------------------------------------------------------
const TControlActionLinkClassRef& TToolButtonActionLink::ClassRef() {
    static const TControlActionLinkClassRef ref(
        L"TToolButtonActionLink", &TControlActionLink::ClassRef(),
        [](TControl* client) -> TControlActionLink* { return new TToolButtonActionLink(client); });
    return ref;
}

TToolButton* TToolButtonActionLink::Button() const { return dynamic_cast<TToolButton*>(Client()); }

bool TToolButtonActionLink::IsCheckedLinked() {
    return TControlActionLink::IsCheckedLinked() && Button() != nullptr && Button()->Down() == CustomAction()->Checked();
}

bool TToolButtonActionLink::IsImageIndexLinked() {
    return TControlActionLink::IsImageIndexLinked() && Button() != nullptr &&
           Button()->ImageIndex() == CustomAction()->ImageIndex();
}

void TToolButtonActionLink::SetChecked(bool Value) {
    if (IsCheckedLinked()) Button()->SetDown(Value);
}

void TToolButtonActionLink::SetImageIndex(int Value) {
    if (IsImageIndexLinked()) Button()->SetImageIndex(Value);
}

// ---- TToolButton -----------------------------------------------------------------------------

TToolButton::TToolButton(TComponent* AOwner) : TGraphicControl(AOwner) {
    SetControlStyle(csCaptureMouse | csSetCaption | csClickEvents);
    SetBounds(0, 0, 23, 22);
}

TToolButton::~TToolButton() {
    if (toolBar_ != nullptr) toolBar_->RemoveButton(this);
}

void TToolButton::SetParent(TWinControl* AParent) {
    if (toolBar_ != nullptr && toolBar_ != AParent) toolBar_->RemoveButton(this);
    TGraphicControl::SetParent(AParent);
    auto* bar = dynamic_cast<TToolBar*>(AParent);
    if (bar != nullptr && bar != toolBar_) bar->InsertButton(this);
}

int TToolButton::Index() const {
    if (toolBar_ == nullptr) return -1;
    auto it = std::find(toolBar_->buttons_.begin(), toolBar_->buttons_.end(), this);
    return it == toolBar_->buttons_.end() ? -1 : static_cast<int>(it - toolBar_->buttons_.begin());
}

void TToolButton::SetStyle(TToolButtonStyle Value) {
    style_ = Value;
    if (toolBar_ != nullptr) toolBar_->RecreateButtons();
}

void TToolButton::SetImageIndex(int Value) {
    imageIndex_ = Value;
    if (toolBar_ != nullptr && toolBar_->HandleAllocated())
        SendMessageA(toolBar_->WindowHandle(), TB_CHANGEBITMAP, static_cast<WPARAM>(command_), Value);
}

void TToolButton::SetDown(bool Value) {
    down_ = Value;
    if (toolBar_ != nullptr && toolBar_->HandleAllocated())
        SendMessageA(toolBar_->WindowHandle(), TB_CHECKBUTTON, static_cast<WPARAM>(command_), Value ? TRUE : FALSE);
}

void TToolButton::SetGrouped(bool Value) {
    grouped_ = Value;
    if (toolBar_ != nullptr) toolBar_->RecreateButtons();
}

void TToolButton::SetAutoSize(bool Value) {
    autoSize_ = Value;
    if (toolBar_ != nullptr) toolBar_->RecreateButtons();
}

void TToolButton::SetMenuItem(TMenuItem* Value) {
    if (menuItem_ == Value) return;
    if (menuItem_ != nullptr) menuItem_->RemoveFreeNotification(this);
    menuItem_ = Value;
    if (Value == nullptr) return;
    Value->FreeNotification(this);
    SetCaption(Value->Caption());
    SetHint(Value->Hint());
    SetImageIndex(Value->ImageIndex());
    SetEnabled(Value->Enabled());
}

void TToolButton::Click() {
    if (menuItem_ != nullptr) {
        if (menuItem_->Count() > 0 && toolBar_ != nullptr)
            toolBar_->TrackMenu(this);
        else
            menuItem_->Click();
        return;
    }
    TGraphicControl::Click();
}

TControlActionLinkClass TToolButton::GetActionLinkClass() const { return &TToolButtonActionLink::ClassRef(); }

void TToolButton::ActionChange(TObject* Sender, bool CheckDefaults) {
    TGraphicControl::ActionChange(Sender, CheckDefaults);
    auto* action = dynamic_cast<TCustomAction*>(Sender);
    if (action == nullptr) return;
    if (!CheckDefaults || !Down()) SetDown(action->Checked());
    if (!CheckDefaults || ImageIndex() == -1) SetImageIndex(action->ImageIndex());
}

void TToolButton::Notification(TComponent* AComponent, TOperation Operation) {
    TGraphicControl::Notification(AComponent, Operation);
    if (Operation == TOperation::opRemove && AComponent == menuItem_) menuItem_ = nullptr;
}

void TToolButton::Dispatch(TMessage& Message) {
    TGraphicControl::Dispatch(Message);
    if ((Message.Msg == CM_TEXTCHANGED || Message.Msg == CM_ENABLEDCHANGED || Message.Msg == CM_VISIBLECHANGED) &&
        toolBar_ != nullptr)
        toolBar_->RecreateButtons();
}

// ---- TToolBar --------------------------------------------------------------------------------

TToolBar::TToolBar(TComponent* AOwner) : TWinControl(AOwner) {
    SetControlStyle(csAcceptsControls | csCaptureMouse | csClickEvents | csDoubleClicks | csSetCaption);
    SetBounds(0, 0, 150, 29);
    SetAlign(TAlign::alTop);
}

TToolBar::~TToolBar() {
    for (TToolButton* b : buttons_) b->toolBar_ = nullptr;
    buttons_.clear();
}

void TToolBar::InsertButton(TToolButton* Button) {
    Button->toolBar_ = this;
    Button->command_ = nextCommand_++;
    buttons_.push_back(Button);
    RecreateButtons();
}

void TToolBar::RemoveButton(TToolButton* Button) {
    buttons_.erase(std::remove(buttons_.begin(), buttons_.end(), Button), buttons_.end());
    Button->toolBar_ = nullptr;
    if (!HasState(csDestroying)) RecreateButtons();
}

TToolButton* TToolBar::FindButton(int Command) const {
    for (TToolButton* b : buttons_)
        if (b->command_ == Command) return b;
    return nullptr;
}

void TToolBar::SetMenu(TMenu* Value) {
    if (menu_ == Value) return;
    if (menu_ != nullptr) menu_->RemoveFreeNotification(this);
    menu_ = Value;
    if (Value == nullptr) return;
    Value->FreeNotification(this);
    while (!buttons_.empty()) delete buttons_.back();
    showCaptions_ = true;
    TMenuItem* items = Value->Items();
    // Made from the last item to the first, each one in front of the others: menu order.
    for (int i = items->Count() - 1; i >= 0; --i) {
        TToolButton* button = NewMenuButton();
        button->autoSize_ = true;
        button->grouped_ = true;
        button->SetParent(this);
        buttons_.pop_back();
        buttons_.insert(buttons_.begin(), button);
        button->SetMenuItem(items->Items(i));
    }
    RecreateButtons();
}

void TToolBar::TrackMenu(TToolButton* Button) {
    TMenuItem* item = Button->MenuItem();
    if (item == nullptr || !HandleAllocated()) return;
    LRESULT index = SendMessageA(WindowHandle(), TB_COMMANDTOINDEX, static_cast<WPARAM>(Button->command_), 0);
    RECT r{};
    SendMessageA(WindowHandle(), TB_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&r));
    POINT below{r.left, r.bottom};
    ::ClientToScreen(WindowHandle(), &below);
    SendMessageA(WindowHandle(), TB_PRESSBUTTON, static_cast<WPARAM>(Button->command_), TRUE);
    UINT command = static_cast<UINT>(TrackPopupMenu(item->Handle(), TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RETURNCMD,
                                                    below.x, below.y, 0, WindowHandle(), nullptr));
    SendMessageA(WindowHandle(), TB_PRESSBUTTON, static_cast<WPARAM>(Button->command_), FALSE);
    if (command != 0 && menu_ != nullptr) menu_->DispatchCommand(command);
}

void TToolBar::SetImages(TCustomImageList* Value) {
    if (images_ != nullptr) images_->RemoveFreeNotification(this);
    images_ = Value;
    if (images_ != nullptr) images_->FreeNotification(this);
    if (HandleAllocated()) RecreateWnd();
}

void TToolBar::Notification(TComponent* AComponent, TOperation Operation) {
    if (Operation == TOperation::opRemove && AComponent == menu_) menu_ = nullptr;
    TWinControl::Notification(AComponent, Operation);
    if (Operation == TOperation::opRemove && AComponent == images_) {
        images_ = nullptr;
        if (HandleAllocated() && !HasState(csDestroying)) RecreateWnd();
    }
}

void TToolBar::SetButtonWidth(int Value) {
    buttonWidth_ = Value;
    RecreateButtons();
}

void TToolBar::SetButtonHeight(int Value) {
    buttonHeight_ = Value;
    RecreateButtons();
}

void TToolBar::SetEdgeBorders(unsigned Value) {
    edgeBorders_ = Value;
    if (HandleAllocated()) RecreateWnd();
}

void TToolBar::SetFlat(bool Value) {
    flat_ = Value;
    if (HandleAllocated()) RecreateWnd();
}

void TToolBar::SetShowCaptions(bool Value) {
    showCaptions_ = Value;
    if (HandleAllocated()) RecreateWnd();
}

void TToolBar::CreateParams(TCreateParams& Params) {
    InitCommonControlClasses();
    TWinControl::CreateParams(Params);
    CreateSubClass(Params, TOOLBARCLASSNAMEA);
    Params.Style |= CCS_NOPARENTALIGN | CCS_NORESIZE | CCS_NODIVIDER | TBSTYLE_TOOLTIPS;
    if (flat_) Params.Style |= TBSTYLE_FLAT;
    if ((edgeBorders_ & (ebLeft | ebTop | ebRight | ebBottom)) != 0) Params.ExStyle |= WS_EX_STATICEDGE;
}

void TToolBar::CreateWnd() {
    TWinControl::CreateWnd();
    // A new window holds no record yet.
    sent_.clear();
    sentWidth_ = sentHeight_ = -1;
    HWND h = WindowHandle();
    SendMessageA(h, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    if (images_ != nullptr) SendMessageA(h, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(images_->Handle()));
    RecreateButtons();
}

std::wstring TToolBar::ButtonCaption(TToolButton* Button) const { return AnsiToWide(Button->Caption()); }

void TToolBar::RecreateButtons() {
    if (!HandleAllocated() || HasState(csDestroying)) return;
    HWND h = WindowHandle();
    std::vector<TSentButton> wanted;
    for (TToolButton* b : buttons_) {
        if (!b->Visible()) continue;
        TSentButton record;
        record.Button = b;
        record.Command = b->command_;
        record.Image = b->ImageIndex() >= 0 ? b->ImageIndex() : I_IMAGENONE;
        record.State = static_cast<BYTE>((b->Enabled() ? TBSTATE_ENABLED : 0) | (b->Down() ? TBSTATE_CHECKED : 0));
        BYTE style = BTNS_BUTTON;
        switch (b->Style()) {
            case TToolButtonStyle::tbsCheck: style = BTNS_CHECK; break;
            case TToolButtonStyle::tbsDropDown: style = BTNS_DROPDOWN; break;
            case TToolButtonStyle::tbsSeparator:
            case TToolButtonStyle::tbsDivider: style = BTNS_SEP; break;
            default: break;
        }
        if (b->Grouped()) style |= BTNS_GROUP;
        if (b->AutoSize()) style |= BTNS_AUTOSIZE;
        record.Style = style;
        record.HasText = showCaptions_ && b->Style() != TToolButtonStyle::tbsSeparator;
        if (record.HasText) record.Text = ButtonCaption(b);
        wanted.push_back(std::move(record));
    }
    // The window keeps the records it holds up to the first one that changed: each record sent
    // or taken out repaints the bar, and a bar built button by button would otherwise send
    // every record again at each button. Captions size the buttons: with captions shown, any
    // change but new buttons at the end sends every record again, from the bar's button size.
    size_t same = 0;
    if (sentWidth_ == buttonWidth_ && sentHeight_ == buttonHeight_) {
        while (same < wanted.size() && same < sent_.size() && wanted[same] == sent_[same]) ++same;
        if (showCaptions_ && same < sent_.size()) same = 0;
    }
    for (LRESULT n = SendMessageA(h, TB_BUTTONCOUNT, 0, 0); n > static_cast<LRESULT>(same); --n)
        SendMessageA(h, TB_DELETEBUTTON, static_cast<WPARAM>(n - 1), 0);
    if (same == 0) {
        SendMessageA(h, TB_SETBUTTONSIZE, 0, MAKELPARAM(buttonWidth_, buttonHeight_));
        sentWidth_ = buttonWidth_;
        sentHeight_ = buttonHeight_;
    }
    for (size_t i = same; i < wanted.size(); ++i) {
        const TSentButton& sent = wanted[i];
        TBBUTTON record{};
        record.iBitmap = sent.Image;
        record.idCommand = sent.Command;
        record.fsState = sent.State;
        record.fsStyle = sent.Style;
        record.dwData = reinterpret_cast<DWORD_PTR>(sent.Button);
        record.iString = -1;
        if (sent.HasText) {
            std::string text = sent.Button->Caption();
            text.push_back('\0');  // the list of strings ends with a second terminator
            record.iString = static_cast<INT_PTR>(SendMessageA(h, TB_ADDSTRINGA, 0, reinterpret_cast<LPARAM>(text.c_str())));
        }
        Perform(TB_INSERTBUTTONA, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&record));
    }
    sent_ = std::move(wanted);
    SendMessageA(h, TB_AUTOSIZE, 0, 0);
    PlaceButtons();
}

void TToolBar::PlaceButtons() {
    HWND h = WindowHandle();
    for (TToolButton* b : buttons_) {
        LRESULT index = SendMessageA(h, TB_COMMANDTOINDEX, static_cast<WPARAM>(b->command_), 0);
        RECT r{};
        if (index >= 0 && SendMessageA(h, TB_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&r)))
            b->UpdateBoundsFields(r.left, r.top, r.right - r.left, r.bottom - r.top);
    }
}

std::wstring TToolBar::ButtonWindowText(int Index) {
    if (!HandleAllocated() || Index < 0 || Index >= ButtonCount()) return std::wstring();
    HWND h = WindowHandle();
    int command = Buttons(Index)->command_;
    wchar_t buffer[512] = {};
    LRESULT n = SendMessageW(h, TB_GETBUTTONTEXTW, static_cast<WPARAM>(command), reinterpret_cast<LPARAM>(buffer));
    return n > 0 ? std::wstring(buffer, static_cast<size_t>(std::min<LRESULT>(n, 511))) : std::wstring();
}

void TToolBar::WndProc(TMessage& Message) {
    // The bar's window handles the mouse over its buttons itself (pressing, tracking): the
    // button components only stand there for hints.
    if ((Message.Msg >= WM_MOUSEFIRST && Message.Msg <= WM_MOUSELAST) ||
        Message.Msg == WM_MOUSELEAVE) {
        TControl::WndProc(Message);
        return;
    }
    TWinControl::WndProc(Message);
}

void TToolBar::Dispatch(TMessage& Message) {
    if (Message.Msg == CN_COMMAND) {
        if (TToolButton* b = FindButton(LOWORD(Message.WParam))) {
            if (b->Style() == TToolButtonStyle::tbsCheck)
                b->down_ = SendMessageA(WindowHandle(), TB_ISBUTTONCHECKED, static_cast<WPARAM>(b->command_), 0) != 0;
            b->Click();
            Message.Result = 0;
            return;
        }
    }
    if (Message.Msg == WM_SIZE) {
        TWinControl::Dispatch(Message);
        PlaceButtons();
        return;
    }
    TWinControl::Dispatch(Message);
}

}  // namespace classlib
