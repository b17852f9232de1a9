// The memo of the class library and its lines.
#include "classlib/std_memo.h"

#include <vector>

#include "classlib/forms.h"
#include "classlib/timer.h"

namespace classlib {

// ---- TMemoStrings ----------------------------------------------------------------------------

HWND TMemoStrings::Wnd() const { return memo_->Handle(); }

int TMemoStrings::GetCount() const {
    HWND h = Wnd();
    auto count = static_cast<int>(SendMessageA(h, EM_GETLINECOUNT, 0, 0));
    // The line after a final line break is not a line of the list.
    if (count > 0 && SendMessageA(h, EM_LINELENGTH, SendMessageA(h, EM_LINEINDEX, count - 1, 0), 0) == 0) --count;
    return count;
}

std::string TMemoStrings::Get(int Index) const {
    HWND h = Wnd();
    LRESULT start = SendMessageA(h, EM_LINEINDEX, static_cast<WPARAM>(Index), 0);
    if (Index < 0 || start < 0) return std::string();
    auto length = static_cast<size_t>(SendMessageA(h, EM_LINELENGTH, static_cast<WPARAM>(start), 0));
    if (length > 0xFFFF) throw EOutOfResources(L"Line too long");
    // The first word of the buffer holds its size: an empty line has no room for it.
    if (length == 0) return std::string();
    std::vector<char> buffer(std::max<size_t>(length, sizeof(WORD)) + 1, '\0');
    *reinterpret_cast<WORD*>(buffer.data()) = static_cast<WORD>(length);
    auto got = static_cast<size_t>(SendMessageA(h, EM_GETLINE, static_cast<WPARAM>(Index),
                                                reinterpret_cast<LPARAM>(buffer.data())));
    return std::string(buffer.data(), std::min(got, length));
}

void TMemoStrings::Put(int Index, const std::string& S) {
    HWND h = Wnd();
    LRESULT start = SendMessageA(h, EM_LINEINDEX, static_cast<WPARAM>(Index), 0);
    if (Index < 0 || start < 0) return;
    LRESULT length = SendMessageA(h, EM_LINELENGTH, static_cast<WPARAM>(start), 0);
    SendMessageA(h, EM_SETSEL, static_cast<WPARAM>(start), start + length);
    SendMessageA(h, EM_REPLACESEL, 0, reinterpret_cast<LPARAM>(S.c_str()));
}

void TMemoStrings::Insert(int Index, const std::string& S) {
    if (Index < 0) return;
    HWND h = Wnd();
    LRESULT at = SendMessageA(h, EM_LINEINDEX, static_cast<WPARAM>(Index), 0);
    std::string text;
    if (at >= 0) {
        text = S + "\r\n";
    } else {
        // One past the last line: after the end of the line before, unless that one is empty.
        at = SendMessageA(h, EM_LINEINDEX, static_cast<WPARAM>(Index - 1), 0);
        if (at < 0) return;
        LRESULT length = SendMessageA(h, EM_LINELENGTH, static_cast<WPARAM>(at), 0);
        if (length == 0) return;
        at += length;
        text = "\r\n" + S;
    }
    SendMessageA(h, EM_SETSEL, static_cast<WPARAM>(at), at);
    SendMessageA(h, EM_REPLACESEL, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void TMemoStrings::Delete(int Index) {
    HWND h = Wnd();
    LRESULT start = SendMessageA(h, EM_LINEINDEX, static_cast<WPARAM>(Index), 0);
    if (Index < 0 || start < 0) return;
    LRESULT end = SendMessageA(h, EM_LINEINDEX, static_cast<WPARAM>(Index + 1), 0);
    if (end < 0) end = start + SendMessageA(h, EM_LINELENGTH, static_cast<WPARAM>(start), 0);
    SendMessageA(h, EM_SETSEL, static_cast<WPARAM>(start), end);
    SendMessageA(h, EM_REPLACESEL, 0, reinterpret_cast<LPARAM>(""));
}

void TMemoStrings::Clear() { memo_->SetText(std::string()); }

std::string TMemoStrings::GetTextStr() const { return memo_->Text(); }

void TMemoStrings::SetTextStr(const std::string& Value) {
    // Every line break becomes CR LF, the memo's own.
    std::string text;
    text.reserve(Value.size());
    for (size_t i = 0; i < Value.size(); ++i) {
        char c = Value[i];
        if (c == '\0') break;
        if (c == '\r' || c == '\n') {
            text += "\r\n";
            if (c == '\r' && i + 1 < Value.size() && Value[i + 1] == '\n') ++i;
        } else {
            text += c;
        }
    }
    if (text != memo_->Text()) {
        memo_->HandleNeeded();
        memo_->SetText(text);
    }
}

void TMemoStrings::SetUpdateState(bool Updating) {
    if (!memo_->HandleAllocated()) return;
    SendMessageA(memo_->WindowHandle(), WM_SETREDRAW, Updating ? FALSE : TRUE, 0);
    if (!Updating) memo_->Invalidate();
}

// ---- TCustomMemo -----------------------------------------------------------------------------

TCustomMemo::TCustomMemo(TComponent* AOwner) : TCustomEdit(AOwner) {
    SetControlStyle(csClickEvents | csSetCaption | csDoubleClicks);
    SetBounds(0, 0, 185, 89);
}

TCustomMemo::~TCustomMemo() {
    Destroying();
    if (HandleAllocated()) DestroyHandle();
}

std::unique_ptr<TStrings> TCustomMemo::CreateLines() { return std::make_unique<TMemoStrings>(this); }

TStrings* TCustomMemo::Lines() {
    if (!lines_) lines_ = CreateLines();
    return lines_.get();
}

void TCustomMemo::SetAlignment(TAlignment Value) {
    if (alignment_ == Value) return;
    alignment_ = Value;
    if (HandleAllocated()) RecreateWnd();
}

void TCustomMemo::SetWordWrap(bool Value) {
    if (wordWrap_ == Value) return;
    wordWrap_ = Value;
    if (HandleAllocated()) RecreateWnd();
}

void TCustomMemo::SetScrollBars(TScrollStyle Value) {
    if (scrollBars_ == Value) return;
    scrollBars_ = Value;
    if (HandleAllocated()) RecreateWnd();
}

POINT TCustomMemo::CaretPos() {
    DWORD start = 0, end = 0;
    SendMessageA(Handle(), EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    auto line = static_cast<LONG>(SendMessageA(Handle(), EM_LINEFROMCHAR, end, 0));
    auto lineStart = static_cast<LONG>(SendMessageA(Handle(), EM_LINEINDEX, static_cast<WPARAM>(line), 0));
    return POINT{static_cast<LONG>(end) - lineStart, line};
}

void TCustomMemo::CreateParams(TCreateParams& Params) {
    TCustomEdit::CreateParams(Params);
    static constexpr DWORD kAlign[] = {ES_LEFT, ES_RIGHT, ES_CENTER};
    Params.Style &= ~static_cast<DWORD>(ES_AUTOHSCROLL);
    Params.Style |= ES_MULTILINE | ES_AUTOVSCROLL | kAlign[static_cast<int>(alignment_)];
    if (wantReturns_) Params.Style |= ES_WANTRETURN;
    if (!wordWrap_ && alignment_ == TAlignment::taLeftJustify) Params.Style |= ES_AUTOHSCROLL;
    if (scrollBars_ == TScrollStyle::ssVertical || scrollBars_ == TScrollStyle::ssBoth) Params.Style |= WS_VSCROLL;
    if ((scrollBars_ == TScrollStyle::ssHorizontal || scrollBars_ == TScrollStyle::ssBoth) && !wordWrap_)
        Params.Style |= WS_HSCROLL;
}

void TCustomMemo::Dispatch(TMessage& Message) {
    if (Message.Msg == WM_GETDLGCODE) {
        TCustomEdit::Dispatch(Message);
        // The system's multi-line edit asks for every key but not by name for tabs: a memo
        // that keeps tabs says so, or Tab would move the focus on.
        if (wantTabs_)
            Message.Result |= DLGC_WANTTAB;
        else
            Message.Result &= ~static_cast<LRESULT>(DLGC_WANTTAB);
        if (!wantReturns_) Message.Result &= ~static_cast<LRESULT>(DLGC_WANTALLKEYS);
        return;
    }
    TCustomEdit::Dispatch(Message);
}

}  // namespace classlib
