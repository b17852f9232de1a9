// Hidden utility windows and the window-procedure exception route.
#include "classlib/hidden_window.h"

#include "classlib/exceptions.h"

#include <memory>
#include <mutex>
#include <string>

namespace classlib {
namespace {

const char kUtilWindowClass[] = "TPUtilWindow";

std::mutex& HandlerLock() {
    static std::mutex lock;
    return lock;
}

TExceptionHandler& InstalledHandler() {
    static TExceptionHandler handler;
    return handler;
}

// The window's method lives in a shared holder: the procedure keeps its own reference while the
// method runs, so a method that deallocates its own window (a timer freed from its tick) is not
// destroyed under its feet.
using MethodHolder = std::shared_ptr<TWndMethod>;

LRESULT CALLBACK UtilWindowProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* holder = reinterpret_cast<MethodHolder*>(GetWindowLongPtrA(wnd, GWLP_USERDATA));
    if (!holder || !*holder) return DefWindowProcA(wnd, msg, wParam, lParam);
    MethodHolder method = *holder;
    TMessage message{msg, wParam, lParam, 0};
    try {
        (*method)(message);
    } catch (...) {
        // No exception may cross the window procedure into the system's dispatcher.
        HandleWindowProcException(std::current_exception());
    }
    return message.Result;
}

void RegisterUtilClass() {
    static std::once_flag once;
    std::call_once(once, [] {
        WNDCLASSA wc{};
        wc.lpfnWndProc = UtilWindowProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = kUtilWindowClass;
        // A failure shows at CreateWindow; a class already registered by the process is ours.
        RegisterClassA(&wc);
    });
}

}  // namespace

HWND AllocateHWnd(TWndMethod Method) {
    RegisterUtilClass();
    HWND wnd = CreateWindowExA(WS_EX_TOOLWINDOW, kUtilWindowClass, "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                               GetModuleHandleA(nullptr), nullptr);
    if (!wnd) RaiseLastOSError();
    if (Method) {
        auto* holder = new MethodHolder(std::make_shared<TWndMethod>(std::move(Method)));
        SetWindowLongPtrA(wnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(holder));
    }
    return wnd;
}

void DeallocateHWnd(HWND Wnd) {
    if (!Wnd || !IsWindow(Wnd)) return;
    auto* holder = reinterpret_cast<MethodHolder*>(GetWindowLongPtrA(Wnd, GWLP_USERDATA));
    // Detach first: the messages of the destruction go to the default procedure.
    SetWindowLongPtrA(Wnd, GWLP_USERDATA, 0);
    DestroyWindow(Wnd);
    delete holder;
}

void SetWindowProcExceptionHandler(TExceptionHandler Handler) {
    std::lock_guard<std::mutex> guard(HandlerLock());
    InstalledHandler() = std::move(Handler);
}

void HandleWindowProcException(const std::exception_ptr& E) {
    if (!E) return;
    TExceptionHandler handler;
    {
        std::lock_guard<std::mutex> guard(HandlerLock());
        handler = InstalledHandler();
    }
    try {
        if (handler) {
            handler(E);
            return;
        }
        std::rethrow_exception(E);
    } catch (const std::exception& e) {
        std::string text = std::string("Unhandled exception: ") + e.what() + "\n";
        OutputDebugStringA(text.c_str());
    } catch (...) {
        // The handler itself failed with something that is not an exception: nothing to report.
        OutputDebugStringA("Unhandled exception\n");
    }
}

}  // namespace classlib
