// Docking of controls in code.
#include "classlib/docking.h"

#include <algorithm>

#include "classlib/exceptions.h"
#include "classlib/threads.h"
#include "classlib/win_control.h"

namespace classlib {

bool TControl::ManualDock(TWinControl* NewDockSite, TControl* DropControl, TAlign ControlSide) {
    CheckMainThread("TControl.ManualDock");
    if (NewDockSite == hostDockSite_) return false;
    // Docked into itself or one of its own controls, it would be its own ancestor.
    if (auto* self = dynamic_cast<TWinControl*>(this); self != nullptr && NewDockSite != nullptr && self->ContainsControl(NewDockSite))
        throw EInvalidOperation(L"A control cannot be docked into itself or one of its controls");
    // The present site may keep it.
    if (hostDockSite_ != nullptr &&
        hostDockSite_->Perform(CM_UNDOCKCLIENT, reinterpret_cast<WPARAM>(NewDockSite), reinterpret_cast<LPARAM>(this)) != 0)
        return false;
    if (NewDockSite == nullptr) {
        Dock(nullptr, BoundsRect());
        return true;
    }
    TDockObject dock;
    dock.Control = this;
    dock.DockRect = RECT{0, 0, Width(), Height()};
    dock.DropAlign = ControlSide;
    dock.DropOnControl = DropControl;
    NewDockSite->Perform(CM_DOCKCLIENT, reinterpret_cast<WPARAM>(&dock), 0);
    return hostDockSite_ == NewDockSite;
}

void TControl::Dock(TWinControl* NewDockSite, const RECT& ARect) {
    TWinControl* previous = hostDockSite_;
    if (previous != nullptr) {
        auto& clients = previous->dockClients_;
        clients.erase(std::remove(clients.begin(), clients.end(), this), clients.end());
    }
    hostDockSite_ = NewDockSite;
    if (NewDockSite != nullptr) {
        NewDockSite->dockClients_.push_back(this);
        NewDockSite->DoAddDockClient(this, ARect);
    } else {
        SetParent(nullptr);
    }
    if (previous != nullptr) previous->DoRemoveDockClient(this);
}

void TControl::SendDockNotification(UINT Msg, WPARAM WParam, LPARAM LParam) {
    if (HasState(csLoading) || HasState(csDestroying)) return;
    TDockNotifyRec notify;
    notify.ClientMsg = Msg;
    notify.MsgWParam = WParam;
    notify.MsgLParam = LParam;
    hostDockSite_->Perform(CM_DOCKNOTIFICATION, reinterpret_cast<WPARAM>(this), reinterpret_cast<LPARAM>(&notify));
}

// ---- The dock site ------------------------------------------------------------------------------

void TWinControl::DockSiteMessage(TMessage& Message) {
    Message.Result = 0;  // CM_UNDOCKCLIENT: let it go
    if (Message.Msg != CM_DOCKCLIENT) return;
    const auto* dock = reinterpret_cast<const TDockObject*>(Message.WParam);
    if (dock != nullptr && dock->Control != nullptr) dock->Control->Dock(this, dock->DockRect);
}

void TWinControl::ReleaseDockClients() {
    for (TControl* c : dockClients_) c->hostDockSite_ = nullptr;
    dockClients_.clear();
}

void TWinControl::DoAddDockClient(TControl* Client, const RECT& ARect) {
    Client->SetParent(this);
    if (ARect.right > ARect.left && ARect.bottom > ARect.top)
        Client->SetBounds(ARect.left, ARect.top, ARect.right - ARect.left, ARect.bottom - ARect.top);
}

}  // namespace classlib
