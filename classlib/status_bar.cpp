// The status bar of the class library.
#include "classlib/status_bar.h"

#include <vector>

#include "classlib/custom_form.h"
#include "classlib/exceptions.h"
#include "classlib/format.h"
#include "classlib/image_list.h"

namespace classlib {

// ---- TStatusPanel ----------------------------------------------------------------------------

int TStatusPanel::Index() const { return panels_->IndexOf(this); }

void TStatusPanel::Changed() { panels_->PanelChanged(this); }

void TStatusPanel::SetText(const std::string& Value) {
    if (text_ == Value) return;
    text_ = Value;
    Changed();
}

void TStatusPanel::SetWidth(int Value) {
    width_ = Value;
    Changed();
}

void TStatusPanel::SetAlignment(TAlignment Value) {
    alignment_ = Value;
    Changed();
}

void TStatusPanel::SetStyle(TStatusPanelStyle Value) {
    style_ = Value;
    Changed();
}

void TStatusPanel::SetBevel(TStatusPanelBevel Value) {
    bevel_ = Value;
    Changed();
}

void TStatusPanel::Assign(TPersistent* Source) {
    auto* other = dynamic_cast<TStatusPanel*>(Source);
    if (other == nullptr) {
        TPersistent::Assign(Source);
        return;
    }
    text_ = other->text_;
    width_ = other->width_;
    alignment_ = other->alignment_;
    style_ = other->style_;
    bevel_ = other->bevel_;
    Changed();
}

// ---- TStatusPanels ---------------------------------------------------------------------------

TStatusPanels::~TStatusPanels() {
    // Panels going away update nothing.
    statusBar_ = nullptr;
    items_.clear();
}

TStatusPanel* TStatusPanels::Items(int Index) const {
    if (Index < 0 || Index >= Count()) throw EListError(Format(L"List index out of bounds (%d)", {Index}));
    return items_[static_cast<size_t>(Index)].get();
}

TStatusPanel* TStatusPanels::Add() {
    items_.push_back(NewPanel());
    PanelChanged(nullptr);
    return items_.back().get();
}

void TStatusPanels::Delete(int Index) {
    Items(Index);
    items_.erase(items_.begin() + Index);
    PanelChanged(nullptr);
}

void TStatusPanels::Clear() {
    items_.clear();
    PanelChanged(nullptr);
}

void TStatusPanels::EndUpdate() {
    if (updateCount_ > 0 && --updateCount_ == 0) PanelChanged(nullptr);
}

int TStatusPanels::IndexOf(const TStatusPanel* Panel) const {
    for (size_t i = 0; i < items_.size(); ++i)
        if (items_[i].get() == Panel) return static_cast<int>(i);
    return -1;
}

void TStatusPanels::Assign(TPersistent* Source) {
    auto* other = dynamic_cast<TStatusPanels*>(Source);
    if (other == nullptr) {
        TPersistent::Assign(Source);
        return;
    }
    BeginUpdate();
    items_.clear();
    for (int i = 0; i < other->Count(); ++i) {
        items_.push_back(NewPanel());
        items_.back()->Assign(other->Items(i));
    }
    EndUpdate();
}

void TStatusPanels::PanelChanged(TStatusPanel* Panel) {
    if (updateCount_ > 0 || statusBar_ == nullptr) return;
    if (Panel != nullptr)
        statusBar_->UpdatePanel(Panel->Index());
    else
        statusBar_->UpdatePanels();
}

// ---- TCustomStatusBar ------------------------------------------------------------------------

TCustomStatusBar::TCustomStatusBar(TComponent* AOwner) : TWinControl(AOwner) {
    SetControlStyle(csCaptureMouse | csClickEvents | csDoubleClicks | csOpaque);
    SetColor(clBtnFace);
    SetBounds(0, 0, 200, 19);
    SetAlign(TAlign::alBottom);
}

TCustomStatusBar::~TCustomStatusBar() {
    // The window goes before the panels it shows.
    Destroying();
    if (HandleAllocated()) DestroyHandle();
    panels_.reset();
}

TStatusPanels* TCustomStatusBar::Panels() {
    if (!panels_) panels_ = CreatePanels();
    return panels_.get();
}

void TCustomStatusBar::SetSimplePanel(bool Value) {
    if (simplePanel_ == Value) return;
    simplePanel_ = Value;
    UpdatePanels();
}

void TCustomStatusBar::SetSimpleText(const std::string& Value) {
    if (simpleText_ == Value) return;
    simpleText_ = Value;
    if (HandleAllocated()) Perform(SB_SETTEXTA, 255, reinterpret_cast<LPARAM>(simpleText_.c_str()));
}

void TCustomStatusBar::SetSizeGrip(bool Value) {
    if (sizeGrip_ == Value) return;
    sizeGrip_ = Value;
    if (HandleAllocated()) RecreateWnd();
}

std::string TCustomStatusBar::PanelWindowText(int Part) {
    if (!HandleAllocated()) return std::string();
    LRESULT len = SendMessageA(WindowHandle(), SB_GETTEXTLENGTHA, static_cast<WPARAM>(Part), 0);
    std::vector<char> buffer(static_cast<size_t>(LOWORD(len)) + 1, '\0');
    SendMessageA(WindowHandle(), SB_GETTEXTA, static_cast<WPARAM>(Part), reinterpret_cast<LPARAM>(buffer.data()));
    return std::string(buffer.data());
}

void TCustomStatusBar::CreateParams(TCreateParams& Params) {
    InitCommonControlClasses();
    TWinControl::CreateParams(Params);
    CreateSubClass(Params, STATUSCLASSNAMEA);
    Params.Style |= CCS_NOPARENTALIGN | CCS_NORESIZE | CCS_NODIVIDER;
    // The grip resizes the form it stands on: a form whose border cannot be dragged shows none.
    const TCustomForm* form = GetParentForm(this);
    const bool sizeable = form == nullptr || form->BorderStyle() == TFormBorderStyle::bsSizeable ||
                          form->BorderStyle() == TFormBorderStyle::bsSizeToolWin;
    if (sizeGrip_ && sizeable) Params.Style |= SBARS_SIZEGRIP;
}

void TCustomStatusBar::CreateWnd() {
    TWinControl::CreateWnd();
    UpdatePanels();
    if (simplePanel_ && !simpleText_.empty())
        Perform(SB_SETTEXTA, 255, reinterpret_cast<LPARAM>(simpleText_.c_str()));
}

void TCustomStatusBar::UpdatePanels() {
    if (!HandleAllocated()) return;
    TStatusPanels* panels = Panels();
    SendMessageA(WindowHandle(), SB_SIMPLE, simplePanel_ ? TRUE : FALSE, 0);
    if (simplePanel_) {
        Perform(SB_SETTEXTA, 255, reinterpret_cast<LPARAM>(simpleText_.c_str()));
        return;
    }
    int count = std::max(1, panels->Count());
    std::vector<int> edges(static_cast<size_t>(count), -1);
    int x = 0;
    for (int i = 0; i + 1 < panels->Count(); ++i) {
        x += panels->Items(i)->Width();
        edges[static_cast<size_t>(i)] = x;
    }
    SendMessageA(WindowHandle(), SB_SETPARTS, static_cast<WPARAM>(count), reinterpret_cast<LPARAM>(edges.data()));
    for (int i = 0; i < panels->Count(); ++i) UpdatePanel(i);
}

void TCustomStatusBar::UpdatePanel(int Index) {
    if (!HandleAllocated() || simplePanel_ || Index < 0 || Index >= Panels()->Count()) return;
    TStatusPanel* panel = Panels()->Items(Index);
    static const char* const tabs[] = {"", "\t\t", "\t"};
    std::string text = tabs[static_cast<int>(panel->Alignment())] + panel->Text();
    WPARAM flags = static_cast<WPARAM>(Index);
    if (panel->Style() == TStatusPanelStyle::psOwnerDraw) flags |= SBT_OWNERDRAW;
    if (panel->Bevel() == TStatusPanelBevel::pbNone) flags |= SBT_NOBORDERS;
    if (panel->Bevel() == TStatusPanelBevel::pbRaised) flags |= SBT_POPOUT;
    LPARAM data = panel->Style() == TStatusPanelStyle::psOwnerDraw ? reinterpret_cast<LPARAM>(panel)
                                                                    : reinterpret_cast<LPARAM>(text.c_str());
    Perform(SB_SETTEXTA, flags, data);
}

bool TCustomStatusBar::DoHint() {
    if (!OnHint) return false;
    OnHint(this);
    return true;
}

bool TCustomStatusBar::ExecuteAction(TBasicAction* Action) {
    auto* hint = dynamic_cast<THintAction*>(Action);
    if (hint != nullptr && autoHint_ && !DoHint()) {
        if (simplePanel_ || Panels()->Count() == 0)
            SetSimpleText(hint->Hint());
        else
            Panels()->Items(0)->SetText(hint->Hint());
        return true;
    }
    return TWinControl::ExecuteAction(Action);
}

void TCustomStatusBar::DrawPanel(TStatusPanel* Panel, const RECT& Rect) {
    if (OnDrawPanel) {
        OnDrawPanel(this, Panel, Rect);
    } else {
        canvas_.FillRect(Rect);
    }
}

void TCustomStatusBar::Dispatch(TMessage& Message) {
    switch (Message.Msg) {
        case CN_DRAWITEM: {
            const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(Message.LParam);
            canvas_.SetHandle(item->hDC);
            canvas_.SetFont(Font());
            canvas_.Brush()->SetColor(clBtnFace);
            try {
                int index = static_cast<int>(item->itemID);
                if (index >= 0 && index < Panels()->Count()) DrawPanel(Panels()->Items(index), item->rcItem);
            } catch (...) {
                canvas_.SetHandle(nullptr);
                throw;
            }
            canvas_.SetHandle(nullptr);
            Message.Result = 1;
            return;
        }
        default:
            break;
    }
    TWinControl::Dispatch(Message);
}

}  // namespace classlib
