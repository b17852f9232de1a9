// The message-box seam.
#include "classlib/message_box.h"

#include <mutex>

namespace classlib {
namespace {

std::mutex& SeamLock() {
    static std::mutex lock;
    return lock;
}

TMessageBoxFunction& Installed() {
    static TMessageBoxFunction function;
    return function;
}

}  // namespace

int ShowMessageBox(HWND Owner, const std::wstring& Text, const std::wstring& Caption, UINT Flags) {
    TMessageBoxFunction function;
    {
        std::lock_guard<std::mutex> guard(SeamLock());
        function = Installed();
    }
    if (function) return function(Owner, Text, Caption, Flags);
    return MessageBoxW(Owner, Text.c_str(), Caption.c_str(), Flags);
}

TMessageBoxFunction SetMessageBoxFunction(TMessageBoxFunction Function) {
    std::lock_guard<std::mutex> guard(SeamLock());
    TMessageBoxFunction previous = std::move(Installed());
    Installed() = std::move(Function);
    return previous;
}

}  // namespace classlib
