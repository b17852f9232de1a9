// The FlatBar controls' shared thread hooks and print support.
#include "widgets/hover/fb_common.h"

#include <algorithm>
#include <array>
#include <iterator>
#include <memory>
#include <vector>

#include "classlib/gdi_handles.h"

namespace hover {

using namespace classlib;

namespace {

struct TSubscriber {
    THookCallback callback;
    int refCount;
    THookKinds kinds;
    int installs;  // subscriptions that counted the hook slots
};

struct TSlot {
    HHOOK handle = nullptr;
    int refCount = 0;
};

// Everything of one thread: its hooks run on it and see only its windows.
struct THookState {
    std::array<TSlot, 3> slots;
    std::vector<TSubscriber> subscribers;
    ~THookState() {
        for (TSlot& s : slots)
            if (s.handle != nullptr) UnhookWindowsHookEx(s.handle);
    }
};

thread_local THookState gHooks;

constexpr int SlotIndex(THookSlot s) { return static_cast<int>(s); }

// The slots a set of kinds needs: kinds 0 and 1 the call-window-procedure hook, 2 the CBT hook,
// 3 the get-message hook (a bit per slot).
unsigned SlotsOf(THookKinds Kinds) {
    unsigned slots = 0;
    if (Kinds & (HookKindBit(THookKind::hkActivateApp) | HookKindBit(THookKind::hkWindowPosChanged))) slots |= 1u;
    if (Kinds & HookKindBit(THookKind::hkDestroyWindow)) slots |= 2u;
    if (Kinds & HookKindBit(THookKind::hkMouseMove)) slots |= 4u;
    return slots;
}

// Calls every subscriber of Kind. A subscriber may subscribe or unsubscribe anything from its
// callback: the walk goes over a copy and skips those no longer listed.
void Notify(THookKind Kind, HWND Window, WPARAM WParam, LPARAM LParam) {
    std::vector<THookCallback> targets;
    for (const TSubscriber& s : gHooks.subscribers)
        if (s.kinds & HookKindBit(Kind)) targets.push_back(s.callback);
    for (THookCallback cb : targets) {
        bool listed = std::any_of(gHooks.subscribers.begin(), gHooks.subscribers.end(),
                                  [&](const TSubscriber& s) { return s.callback == cb; });
        if (!listed) continue;
        // Nothing may unwind through the system's hook chain.
        try {
            cb(Kind, Window, WParam, LParam);
        } catch (...) {
        }
    }
}

LRESULT CALLBACK CallWndProcHook(int Code, WPARAM WParam, LPARAM LParam) {
    HHOOK self = gHooks.slots[0].handle;
    if (Code == HC_ACTION && !gHooks.subscribers.empty()) {
        const auto* cwp = reinterpret_cast<const CWPSTRUCT*>(LParam);
        if (cwp->message == WM_ACTIVATEAPP)
            Notify(THookKind::hkActivateApp, cwp->hwnd, cwp->wParam, cwp->lParam);
        else if (cwp->message == WM_WINDOWPOSCHANGED)
            Notify(THookKind::hkWindowPosChanged, cwp->hwnd, cwp->wParam, cwp->lParam);
    }
    return CallNextHookEx(self, Code, WParam, LParam);
}

LRESULT CALLBACK CbtHook(int Code, WPARAM WParam, LPARAM LParam) {
    HHOOK self = gHooks.slots[1].handle;
    if (Code == HCBT_DESTROYWND && !gHooks.subscribers.empty())
        Notify(THookKind::hkDestroyWindow, reinterpret_cast<HWND>(WParam), 0, 0);
    return CallNextHookEx(self, Code, WParam, LParam);
}

LRESULT CALLBACK GetMessageHook(int Code, WPARAM WParam, LPARAM LParam) {
    HHOOK self = gHooks.slots[2].handle;
    if (Code == HC_ACTION && !gHooks.subscribers.empty()) {
        const auto* msg = reinterpret_cast<const MSG*>(LParam);
        if (msg->message == WM_MOUSEMOVE) Notify(THookKind::hkMouseMove, msg->hwnd, msg->wParam, msg->lParam);
    }
    return CallNextHookEx(self, Code, WParam, LParam);
}

void InstallHooks(unsigned Slots) {
    static constexpr int ids[3] = {WH_CALLWNDPROC, WH_CBT, WH_GETMESSAGE};
    static constexpr HOOKPROC procs[3] = {&CallWndProcHook, &CbtHook, &GetMessageHook};
    for (int i = 0; i < 3; ++i) {
        if ((Slots & (1u << i)) == 0) continue;
        TSlot& s = gHooks.slots[static_cast<size_t>(i)];
        ++s.refCount;
        if (s.handle == nullptr) s.handle = SetWindowsHookExA(ids[i], procs[i], nullptr, GetCurrentThreadId());
    }
}

void ReleaseHooks(unsigned Slots, bool Force) {
    for (int i = 0; i < 3; ++i) {
        if ((Slots & (1u << i)) == 0) continue;
        TSlot& s = gHooks.slots[static_cast<size_t>(i)];
        if (s.refCount > 0) --s.refCount;
        if ((Force || s.refCount == 0) && s.handle != nullptr) {
            UnhookWindowsHookEx(s.handle);
            s.handle = nullptr;
        }
    }
}

}  // namespace

void SubscribeThreadHooks(THookCallback Callback, THookKinds Kinds, bool DoNotInstall) {
    auto it = std::find_if(gHooks.subscribers.begin(), gHooks.subscribers.end(),
                           [&](const TSubscriber& s) { return s.callback == Callback; });
    if (it == gHooks.subscribers.end()) {
        gHooks.subscribers.push_back(TSubscriber{Callback, 0, Kinds, 0});
        it = std::prev(gHooks.subscribers.end());
    }
    ++it->refCount;
    if (!DoNotInstall) {
        ++it->installs;
        InstallHooks(SlotsOf(Kinds));
    }
}

void UnsubscribeThreadHooks(THookCallback Callback) {
    auto it = std::find_if(gHooks.subscribers.begin(), gHooks.subscribers.end(),
                           [&](const TSubscriber& s) { return s.callback == Callback; });
    if (it == gHooks.subscribers.end()) return;
    // Only a subscription that counted the slots gives them back: a design-time one must not
    // take another subscriber's hooks away.
    unsigned slots = it->installs > 0 ? SlotsOf(it->kinds) : 0u;
    if (it->installs > 0) --it->installs;
    if (--it->refCount <= 0) gHooks.subscribers.erase(it);
    if (slots != 0) ReleaseHooks(slots, false);
    if (gHooks.subscribers.empty()) gHooks.subscribers.shrink_to_fit();
}

void FinalizeThreadHooks() {
    ReleaseHooks(7u, true);
    for (TSlot& s : gHooks.slots) s.refCount = 0;
    gHooks.subscribers.clear();
}

HHOOK ThreadHookHandle(THookSlot Slot) { return gHooks.slots[static_cast<size_t>(SlotIndex(Slot))].handle; }
int ThreadHookRefCount(THookSlot Slot) { return gHooks.slots[static_cast<size_t>(SlotIndex(Slot))].refCount; }
int ThreadHookSubscriberCount() { return static_cast<int>(gHooks.subscribers.size()); }

int ThreadHookSubscriberRefCount(THookCallback Callback) {
    for (const TSubscriber& s : gHooks.subscribers)
        if (s.callback == Callback) return s.refCount;
    return 0;
}

bool ApplicationHasActiveWindow() { return GetActiveWindow() != nullptr; }

void ClipToUpdateRegion(HWND Window, HDC DC, HRGN Region) {
    if (reinterpret_cast<UINT_PTR>(Region) <= 1) return;
    RECT r;
    GetWindowRect(Window, &r);
    if (SelectClipRgn(DC, Region) == ERROR) {
        TOwnedRegion whole(CreateRectRgnIndirect(&r));
        SelectClipRgn(DC, whole.Get());
    }
    // The update region is in screen coordinates; the window DC starts at the window's corner.
    OffsetClipRgn(DC, -r.left, -r.top);
}

namespace {

struct TPrintChildren {
    HWND parent;
    HDC dc;
    LPARAM flags;
    bool owned;   // owned top-level windows instead of children
    POINT base;   // where the parent's client origin is in the DC's current coordinates
};

BOOL CALLBACK PrintOne(HWND Window, LPARAM Data) {
    auto* p = reinterpret_cast<TPrintChildren*>(Data);
    if (!IsWindowVisible(Window)) return TRUE;
    if (p->owned ? GetWindow(Window, GW_OWNER) != p->parent : GetParent(Window) != p->parent) return TRUE;
    RECT r;
    GetWindowRect(Window, &r);
    MapWindowPoints(nullptr, p->parent, reinterpret_cast<POINT*>(&r), 2);
    OffsetRect(&r, p->base.x, p->base.y);
    TSavedDC saved(p->dc);
    POINT org;
    GetWindowOrgEx(p->dc, &org);
    SetWindowOrgEx(p->dc, org.x - r.left, org.y - r.top, nullptr);
    IntersectClipRect(p->dc, 0, 0, r.right - r.left, r.bottom - r.top);
    SendMessageA(Window, WM_PRINT, reinterpret_cast<WPARAM>(p->dc), p->flags);
    return TRUE;
}

}  // namespace

LRESULT PrintWindow(HWND Window, WPARAM WParam, LPARAM LParam, const TNonClientPainter& Painter, TWinControl* Control) {
    HDC dc = reinterpret_cast<HDC>(WParam);
    if ((LParam & PRF_CHECKVISIBLE) != 0 && !IsWindowVisible(Window)) return 1;
    TSavedDC outer(dc);
    if ((LParam & PRF_NONCLIENT) != 0 && Painter) {
        TSavedDC saved(dc);
        Painter(Window, dc, Control);
    }
    RECT windowRect;
    GetWindowRect(Window, &windowRect);
    POINT clientOrigin{0, 0};
    ClientToScreen(Window, &clientOrigin);
    clientOrigin.x -= windowRect.left;
    clientOrigin.y -= windowRect.top;
    auto moveToClient = [&](HDC d) {
        POINT org;
        GetWindowOrgEx(d, &org);
        SetWindowOrgEx(d, org.x - clientOrigin.x, org.y - clientOrigin.y, nullptr);
    };
    if ((LParam & PRF_CLIENT) != 0) {
        if ((LParam & PRF_ERASEBKGND) != 0) {
            TSavedDC saved(dc);
            if ((LParam & PRF_NONCLIENT) != 0) moveToClient(dc);
            SendMessageA(Window, WM_ERASEBKGND, WParam, 0);
        }
        {
            TSavedDC saved(dc);
            if ((LParam & PRF_NONCLIENT) != 0) moveToClient(dc);
            SendMessageA(Window, WM_PRINTCLIENT, WParam, 0);
        }
        moveToClient(dc);
    }
    const POINT base = (LParam & PRF_CLIENT) != 0 ? POINT{0, 0} : clientOrigin;
    // Children are printed whole: non-client, client, background and their own children.
    constexpr LPARAM childFlags = PRF_NONCLIENT | PRF_CLIENT | PRF_ERASEBKGND | PRF_CHILDREN;
    if ((LParam & PRF_CHILDREN) != 0) {
        TPrintChildren p{Window, dc, childFlags, false, base};
        EnumChildWindows(Window, &PrintOne, reinterpret_cast<LPARAM>(&p));
    }
    if ((LParam & PRF_OWNED) != 0) {
        TPrintChildren p{Window, dc, LParam, true, base};
        EnumWindows(&PrintOne, reinterpret_cast<LPARAM>(&p));
    }
    return 1;
}

void PrintClient(TWinControl* Control, TMessage& Message) {
    HDC dc = reinterpret_cast<HDC>(Message.WParam);
    if (dc == nullptr) return;
    TSavedDC saved(dc);
    Message.Result = Control->Perform(WM_PAINT, Message.WParam, 0);
}

}  // namespace hover
