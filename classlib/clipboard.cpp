// The clipboard object of the class library.
#include "classlib/clipboard.h"

#include <cstring>

#include "classlib/hidden_window.h"
#include "classlib/threads.h"

namespace classlib {

namespace {

// A moveable global block holding a copy of Size bytes; freed unless the clipboard took it.
HGLOBAL CopyToGlobal(const void* Buffer, size_t Size) {
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, Size > 0 ? Size : 1);
    if (block == nullptr) return nullptr;
    void* p = GlobalLock(block);
    if (p == nullptr) {
        GlobalFree(block);
        return nullptr;
    }
    if (Size > 0) std::memcpy(p, Buffer, Size);
    GlobalUnlock(block);
    return block;
}

}  // namespace

TClipboard::~TClipboard() {
    if (openCount_ > 0) CloseClipboard();
    DeallocateHWnd(window_);
}

HWND TClipboard::OwnerWindow() {
    // A window of our own owns what we put there: EmptyClipboard without one leaves the
    // clipboard ownerless and SetClipboardData then fails.
    if (window_ == nullptr)
        window_ = AllocateHWnd([this](TMessage& Message) {
            Message.Result = DefWindowProcA(window_, Message.Msg, Message.WParam, Message.LParam);
        });
    return window_;
}

void TClipboard::Open() {
    CheckMainThread("TClipboard.Open");
    if (openCount_ == 0) {
        HWND owner = OwnerWindow();
        // Another program may hold it for a moment: a few short tries before giving up.
        bool opened = false;
        for (int attempt = 0; attempt < 10 && !opened; ++attempt) {
            opened = OpenClipboard(owner) != FALSE;
            if (!opened) Sleep(5);
        }
        if (!opened) throw EClipboardException(L"Cannot open clipboard");
        emptied_ = false;
    }
    ++openCount_;
}

void TClipboard::Close() {
    if (openCount_ == 0) return;
    if (--openCount_ == 0) {
        CloseClipboard();
        emptied_ = false;
    }
}

void TClipboard::Adding() {
    if (openCount_ > 0 && !emptied_) {
        EmptyClipboard();
        emptied_ = true;
    }
}

void TClipboard::Clear() {
    Open();
    EmptyClipboard();
    emptied_ = true;
    Close();
}

bool TClipboard::HasFormat(UINT Format) { return IsClipboardFormatAvailable(Format) != FALSE; }

void TClipboard::SetBuffer(UINT Format, const void* Buffer, size_t Size) {
    Open();
    try {
        Adding();
        HGLOBAL block = CopyToGlobal(Buffer, Size);
        if (block == nullptr || SetClipboardData(Format, block) == nullptr) {
            DWORD error = GetLastError();
            if (block != nullptr) GlobalFree(block);
            RaiseLastOSError(error);
        }
    } catch (...) {
        Close();
        throw;
    }
    Close();
}

std::vector<std::uint8_t> TClipboard::GetBuffer(UINT Format) {
    std::vector<std::uint8_t> bytes;
    Open();
    HANDLE data = GetClipboardData(Format);
    if (data != nullptr) {
        size_t size = GlobalSize(data);
        if (const void* p = GlobalLock(data)) {
            bytes.assign(static_cast<const std::uint8_t*>(p), static_cast<const std::uint8_t*>(p) + size);
            GlobalUnlock(data);
        }
    }
    Close();
    return bytes;
}

std::string TClipboard::AsText() {
    std::vector<std::uint8_t> bytes = GetBuffer(CF_TEXT);
    // The block may be larger than the text: it ends at the first zero.
    size_t n = 0;
    while (n < bytes.size() && bytes[n] != 0) ++n;
    return std::string(reinterpret_cast<const char*>(bytes.data()), n);
}

void TClipboard::SetAsText(const std::string& Value) { SetBuffer(CF_TEXT, Value.c_str(), Value.size() + 1); }

TClipboard* Clipboard() {
    // Lives to the end of the process: its window must not be destroyed by static destruction,
    // after the window machinery it stands on may already be gone.
    static TClipboard* instance = new TClipboard();
    return instance;
}

}  // namespace classlib
