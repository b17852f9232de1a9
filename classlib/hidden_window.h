// Hidden top-level windows bound to a callback (the library's AllocateHWnd), for components
// that need a window handle of their own to receive timer ticks and posted messages.
#pragma once

#include <windows.h>

#include <exception>
#include <functional>

namespace classlib {

// A message as the library's window procedures see it. Result is what the window answers.
struct TMessage {
    UINT Msg = 0;
    WPARAM WParam = 0;
    LPARAM LParam = 0;
    LRESULT Result = 0;
};

using TWndMethod = std::function<void(TMessage& Message)>;

// Creates a hidden top-level window (a window of the library's own ANSI class "TPUtilWindow",
// never shown) whose messages go to Method; Method answers through Message.Result and passes
// what it does not handle to DefWindowProc itself (or leaves Result 0). Exceptions escaping
// Method are caught at the window procedure and handed to the application's exception handler
// (see SetWindowProcExceptionHandler). Raises EOSError when the window cannot be made.
HWND AllocateHWnd(TWndMethod Method);
// Destroys the window and forgets its method. Safe with nullptr.
void DeallocateHWnd(HWND Wnd);

// Where exceptions caught at a window procedure of the library go; by default they are
// swallowed after OutputDebugString. The application object installs its handler at start.
using TExceptionHandler = std::function<void(const std::exception_ptr&)>;
void SetWindowProcExceptionHandler(TExceptionHandler Handler);
void HandleWindowProcException(const std::exception_ptr& E);

}  // namespace classlib
