// The FlatBar controls' shared thread hooks (application activation, window moves, window
// destruction and mouse moves anywhere in the GUI thread, dispatched to subscribers) and the
// routines with which a control paints its own border and answers print requests.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>

#include "classlib/controls.h"

namespace hover {

enum class THookKind { hkActivateApp = 0, hkWindowPosChanged = 1, hkDestroyWindow = 2, hkMouseMove = 3 };
using THookKinds = std::uint32_t;
constexpr THookKinds HookKindBit(THookKind Kind) { return 1u << static_cast<unsigned>(Kind); }

// A subscriber: called with the kind, the window concerned and the message's parameters. Its
// identity is the procedure itself.
using THookCallback = void (*)(THookKind Kind, HWND Window, WPARAM WParam, LPARAM LParam);

// Adds the callback (or one more reference to it) and, unless DoNotInstall, installs the hooks
// its kinds need. Hooks and subscribers belong to the calling thread.
void SubscribeThreadHooks(THookCallback Callback, THookKinds Kinds, bool DoNotInstall);
// Takes one reference of the callback away; a hook goes when its last user goes.
void UnsubscribeThreadHooks(THookCallback Callback);
// Removes every hook of the calling thread and forgets its subscribers (the end of the program).
void FinalizeThreadHooks();

// The three hooks, in slot order: call-window-procedure, computer-based-training, get-message.
enum class THookSlot { hsCallWndProc = 0, hsCbt = 1, hsGetMessage = 2 };
// For tests and diagnostics: the slot's handle (nullptr when not installed) and count, and the
// number of subscribers and the count of one.
HHOOK ThreadHookHandle(THookSlot Slot);
int ThreadHookRefCount(THookSlot Slot);
int ThreadHookSubscriberCount();
int ThreadHookSubscriberRefCount(THookCallback Callback);

// True when the thread has an active window.
bool ApplicationHasActiveWindow();

// Clips DC (a window DC) to the update region of WM_NCPAINT (0 or 1: the whole window).
void ClipToUpdateRegion(HWND Window, HDC DC, HRGN Region);

// Paints a window's non-client part into DC.
using TNonClientPainter = std::function<void(HWND Window, HDC DC, classlib::TWinControl* Control)>;
// Answers WM_PRINT (WParam DC, LParam flags) for Window: non-client through Painter, then the
// background, the client, the children and the owned windows as the flags ask. Answers 1.
LRESULT PrintWindow(HWND Window, WPARAM WParam, LPARAM LParam, const TNonClientPainter& Painter,
                    classlib::TWinControl* Control);
// Answers WM_PRINTCLIENT: paints the client area into the DC through the control's own paint
// handler, leaving the DC's state as it was.
void PrintClient(classlib::TWinControl* Control, classlib::TMessage& Message);

}  // namespace hover
