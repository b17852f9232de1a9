// Wide edit and wide memo with its wide lines.
#include "widgets/unicode/uc_edits.h"

#include <richedit.h>

#include <algorithm>
#include <vector>

#include "classlib/conversions.h"
#include "classlib/filer.h"
#include "classlib/timer.h"
#include "unicode/wide_platform.h"
#include "unicode/wide_properties.h"
#include "widgets/unicode/uc_actions.h"
#include "widgets/unicode/uc_menus.h"

namespace widgets {

using classlib::AnsiToWide;
using classlib::WideToAnsi;

namespace {

bool IsUnicodePlatform() { return unicode::Win32PlatformIsUnicode(); }

bool HasWideWindow(classlib::TWinControl* Control) {
    return IsUnicodePlatform() && Control->HandleAllocated() && IsWindowUnicode(Control->WindowHandle());
}

}  // namespace

// ---- Shared edit steps -----------------------------------------------------------------------

int UcEdit_GetSelStart(classlib::TCustomEdit* Edit, int AnsiSelStart) {
    if (IsUnicodePlatform()) return AnsiSelStart;
    std::string text = Edit->classlib::TControl::Text();
    return static_cast<int>(AnsiToWide(text.substr(0, static_cast<size_t>(std::max(AnsiSelStart, 0)))).size());
}

std::wstring UcEdit_GetSelText(classlib::TCustomEdit* Edit) {
    // The library's own counts (not the wide overrides, which are built on this).
    int start = Edit->classlib::TCustomEdit::GetSelStart();
    int length = Edit->classlib::TCustomEdit::GetSelLength();
    if (!IsUnicodePlatform()) {
        std::string ansi = Edit->classlib::TControl::Text();
        if (start < 0 || length <= 0 || static_cast<size_t>(start) >= ansi.size()) return std::wstring();
        return AnsiToWide(ansi.substr(static_cast<size_t>(start), static_cast<size_t>(length)));
    }
    std::wstring text = UcControl_GetText(Edit);
    if (start < 0 || length <= 0 || static_cast<size_t>(start) >= text.size()) return std::wstring();
    return text.substr(static_cast<size_t>(start), static_cast<size_t>(length));
}

int UcEdit_GetSelLength(classlib::TCustomEdit* Edit) {
    if (IsUnicodePlatform()) return Edit->classlib::TCustomEdit::GetSelLength();
    return static_cast<int>(UcEdit_GetSelText(Edit).size());
}

int UcEdit_AnsiSelStart(classlib::TCustomEdit* Edit, int Value) {
    if (IsUnicodePlatform()) return Value;
    std::wstring text = UcControl_GetText(Edit);
    return static_cast<int>(WideToAnsi(text.substr(0, static_cast<size_t>(std::clamp<int>(Value, 0, static_cast<int>(text.size()))))).size());
}

int UcEdit_AnsiSelLength(classlib::TCustomEdit* Edit, int SelStart, int Value) {
    if (IsUnicodePlatform()) return Value;
    std::wstring text = UcControl_GetText(Edit);
    auto start = static_cast<size_t>(std::clamp<int>(SelStart, 0, static_cast<int>(text.size())));
    return static_cast<int>(WideToAnsi(text.substr(start, static_cast<size_t>(std::max(Value, 0)))).size());
}

char UcEdit_AnsiPasswordChar(wchar_t Ch) { return Ch < 256 ? static_cast<char>(Ch) : '*'; }

void UcEdit_CreateWindowHandle(classlib::TCustomEdit* Edit, const classlib::TCreateParams& Params) {
    if (!IsUnicodePlatform() && IsFarEastLocale() && (Params.Style & ES_READONLY) != 0) {
        // Far-East systems of the ANSI platform mishandle the style at creation.
        classlib::TCreateParams writable = Params;
        writable.Style &= ~static_cast<DWORD>(ES_READONLY);
        CreateUnicodeHandle(Edit, writable, L"EDIT");
        SendMessageA(Edit->WindowHandle(), EM_SETREADONLY, TRUE, 0);
        return;
    }
    CreateUnicodeHandle(Edit, Params, L"EDIT");
}

// ---- TUcCustomEdit ---------------------------------------------------------------------------


wchar_t TUcCustomEdit::PasswordChar() {
    char ansi = classlib::TCustomEdit::PasswordChar();
    if (ansi != UcEdit_AnsiPasswordChar(passwordChar_)) {
        std::wstring wide = AnsiToWide(std::string(1, ansi));
        passwordChar_ = ansi == 0 || wide.empty() ? 0 : wide[0];
    }
    return passwordChar_;
}

void TUcCustomEdit::SetPasswordChar(wchar_t Value) {
    if (Value == PasswordChar()) return;
    passwordChar_ = Value;
    // The class library keeps the ANSI-safe form without telling the window (hidden from it).
    HWND window = WindowHandle();
    SetWindowHandle(nullptr);
    try {
        classlib::TCustomEdit::SetPasswordChar(UcEdit_AnsiPasswordChar(Value));
    } catch (...) {
        SetWindowHandle(window);
        throw;
    }
    SetWindowHandle(window);
    if (window == nullptr) return;
    if (IsUnicodePlatform())
        SendMessageW(window, EM_SETPASSWORDCHAR, static_cast<WPARAM>(Value), 0);
    else
        SendMessageA(window, EM_SETPASSWORDCHAR, static_cast<unsigned char>(UcEdit_AnsiPasswordChar(Value)), 0);
    Invalidate();
}

void TUcCustomEdit::CreateWindowHandle(const classlib::TCreateParams& Params) { UcEdit_CreateWindowHandle(this, Params); }

void TUcCustomEdit::CreateWnd() {
    classlib::TCustomEdit::CreateWnd();
    if (IsUnicodePlatform() && passwordChar_ != 0)
        SendMessageW(WindowHandle(), EM_SETPASSWORDCHAR, static_cast<WPARAM>(passwordChar_), 0);
}

// ---- TUcMemoStrings --------------------------------------------------------------------------

bool TUcMemoStrings::WideWindow() const {
    memo_->HandleNeeded();
    return HasWideWindow(memo_);
}

int TUcMemoStrings::GetCount() const { return Ansi()->Count(); }
classlib::TObject* TUcMemoStrings::GetObject(int Index) const { return Ansi()->Objects(Index); }
void TUcMemoStrings::PutObject(int Index, classlib::TObject* AObject) { Ansi()->SetObjects(Index, AObject); }
void TUcMemoStrings::Clear() { Ansi()->Clear(); }
void TUcMemoStrings::Delete(int Index) { Ansi()->Delete(Index); }

std::wstring TUcMemoStrings::Get(int Index) const {
    if (!WideWindow()) return AnsiToWide(Ansi()->Get(Index));
    HWND h = memo_->WindowHandle();
    LRESULT start = Index < 0 ? -1 : SendMessageW(h, EM_LINEINDEX, static_cast<WPARAM>(Index), 0);
    auto length = static_cast<size_t>(start < 0 ? 0 : SendMessageW(h, EM_LINELENGTH, static_cast<WPARAM>(start), 0));
    if (length > 0xFFFF) throw classlib::EOutOfResources(L"Line too long");
    // The first character of the buffer carries its size: an empty line has no room for it.
    if (length == 0) return std::wstring();
    std::vector<wchar_t> buffer(length + 1, L'\0');
    buffer[0] = static_cast<wchar_t>(length);
    auto got = static_cast<size_t>(
        SendMessageW(h, EM_GETLINE, static_cast<WPARAM>(Index), reinterpret_cast<LPARAM>(buffer.data())));
    return std::wstring(buffer.data(), std::min(got, length));
}

void TUcMemoStrings::Put(int Index, const std::wstring& S) {
    if (!WideWindow()) {
        Ansi()->Put(Index, WideToAnsi(S));
        return;
    }
    HWND h = memo_->WindowHandle();
    LRESULT start = Index < 0 ? -1 : SendMessageW(h, EM_LINEINDEX, static_cast<WPARAM>(Index), 0);
    if (start < 0) return;
    LRESULT length = SendMessageW(h, EM_LINELENGTH, static_cast<WPARAM>(start), 0);
    SendMessageW(h, EM_SETSEL, static_cast<WPARAM>(start), start + length);
    SendMessageW(h, EM_REPLACESEL, 0, reinterpret_cast<LPARAM>(S.c_str()));
}

void TUcMemoStrings::Insert(int Index, const std::wstring& S) {
    if (Index < 0) return;
    if (!WideWindow()) {
        Ansi()->Insert(Index, WideToAnsi(S));
        return;
    }
    HWND h = memo_->WindowHandle();
    LRESULT at = SendMessageW(h, EM_LINEINDEX, static_cast<WPARAM>(Index), 0);
    std::wstring text;
    if (at >= 0) {
        text = S + L"\r\n";
    } else {
        // One past the last line: after the end of the line before, unless that one is empty.
        at = SendMessageW(h, EM_LINEINDEX, static_cast<WPARAM>(Index - 1), 0);
        if (at < 0) return;
        LRESULT length = SendMessageW(h, EM_LINELENGTH, static_cast<WPARAM>(at), 0);
        if (length == 0) return;
        at += length;
        text = L"\r\n" + S;
    }
    bool checked = richEditMode_ && lineBreakStyle_ != unicode::tlbsCRLF;
    std::wstring sent = text;
    if (checked) {
        text = unicode::WideAdjustLineBreaks(text, lineBreakStyle_);
        // The window takes its own break as CR LF and counts it as one character.
        sent = lineBreakStyle_ == unicode::tlbsCR ? unicode::WideAdjustLineBreaks(text, unicode::tlbsCRLF) : text;
    }
    SendMessageW(h, EM_SETSEL, static_cast<WPARAM>(at), at);
    SendMessageW(h, EM_REPLACESEL, 0, reinterpret_cast<LPARAM>(sent.c_str()));
    if (checked) {
        CHARRANGE range{};
        SendMessageW(h, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&range));
        if (range.cpMax != static_cast<LONG>(at + static_cast<LRESULT>(text.size())))
            throw classlib::EOutOfResources(L"RichEdit line insertion error");
    }
}

std::wstring TUcMemoStrings::GetTextStr() const {
    if (richEditMode_) return unicode::TUcStrings::GetTextStr();
    return UcControl_GetText(memo_);
}

void TUcMemoStrings::SetTextStr(const std::wstring& Value) {
    std::wstring text = unicode::WideAdjustLineBreaks(Value, lineBreakStyle_);
    if (text == UcControl_GetText(memo_)) return;
    memo_->HandleNeeded();
    UcControl_SetText(memo_, text);
}

void TUcMemoStrings::SetUpdateState(bool Updating) {
    if (Updating)
        Ansi()->BeginUpdate();
    else
        Ansi()->EndUpdate();
}

// ---- TUcCustomMemo ---------------------------------------------------------------------------

TUcCustomMemo::TUcCustomMemo(classlib::TComponent* AOwner)
    : classlib::TCustomMemo(AOwner), wideLines_(std::make_unique<TUcMemoStrings>(this)) {}

TUcCustomMemo::~TUcCustomMemo() {
    // The window goes while the wide lines still exist.
    Destroying();
    if (HandleAllocated()) DestroyHandle();
}


void TUcCustomMemo::CreateWindowHandle(const classlib::TCreateParams& Params) { UcEdit_CreateWindowHandle(this, Params); }

}  // namespace widgets
