#include "classlib/rich_edit.h"

#include "classlib/conversions.h"
#include "classlib/exceptions.h"

namespace classlib {

namespace {

// The library stays loaded to the end of the process: windows of its class may live that long.
HMODULE RichEditModule() {
    static HMODULE module = LoadLibraryA("RICHED20.DLL");
    return module;
}

// A stream over a file handle it owns.
class TFileHandleStream : public THandleStream {
public:
    explicit TFileHandleStream(HANDLE File) : THandleStream(File) {}
    ~TFileHandleStream() override {
        if (Opened()) CloseHandle(handle_);
    }
    bool Opened() const { return handle_ != INVALID_HANDLE_VALUE; }
};

struct TStreamCookie {
    TStream* Stream;
};

DWORD CALLBACK StreamIn(DWORD_PTR Cookie, LPBYTE Buffer, LONG Count, LONG* Done) {
    auto* cookie = reinterpret_cast<TStreamCookie*>(Cookie);
    // Nothing may cross the rich edit's call: a failing stream ends the transfer.
    try {
        *Done = cookie->Stream->Read(Buffer, Count);
        return 0;
    } catch (...) {
        *Done = 0;
        return 1;
    }
}

DWORD CALLBACK StreamOut(DWORD_PTR Cookie, LPBYTE Buffer, LONG Count, LONG* Done) {
    auto* cookie = reinterpret_cast<TStreamCookie*>(Cookie);
    try {
        *Done = cookie->Stream->Write(Buffer, Count);
        return *Done == Count ? 0 : 1;
    } catch (...) {
        *Done = 0;
        return 1;
    }
}

}  // namespace

bool RichEditLibraryLoaded() { return RichEditModule() != nullptr; }

// ---- TRichEditStrings ------------------------------------------------------------------------
TRichEditStrings::TRichEditStrings(TCustomRichEdit* RichEdit) : TMemoStrings(RichEdit), richEdit_(RichEdit) {}

void TRichEditStrings::LoadFromStream(TStream* Stream) {
    TStreamCookie cookie{Stream};
    EDITSTREAM es{reinterpret_cast<DWORD_PTR>(&cookie), 0, &StreamIn};
    WPARAM format = richEdit_->PlainText() ? SF_TEXT : SF_RTF;
    SendMessageA(richEdit_->Handle(), EM_STREAMIN, format, reinterpret_cast<LPARAM>(&es));
    if (es.dwError != 0) throw EReadError(L"Stream read error");
}

void TRichEditStrings::SaveToStream(TStream* Stream) {
    TStreamCookie cookie{Stream};
    EDITSTREAM es{reinterpret_cast<DWORD_PTR>(&cookie), 0, &StreamOut};
    // Rich text in UTF-8: in the ANSI code page Wine's writer replaces characters by look-alikes.
    WPARAM format = richEdit_->PlainText() ? SF_TEXT : (CP_UTF8 << 16) | SF_USECODEPAGE | SF_RTF;
    SendMessageA(richEdit_->Handle(), EM_STREAMOUT, format, reinterpret_cast<LPARAM>(&es));
    if (es.dwError != 0) throw EWriteError(L"Stream write error");
}

void TRichEditStrings::LoadFromFile(const std::string& FileName) {
    TFileHandleStream stream(
        CreateFileA(FileName.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!stream.Opened()) throw EFOpenError(L"Cannot open file \"" + AnsiToWide(FileName) + L"\"");
    LoadFromStream(&stream);
}

void TRichEditStrings::SaveToFile(const std::string& FileName) {
    TFileHandleStream stream(CreateFileA(FileName.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    if (!stream.Opened()) throw EFCreateError(L"Cannot create file \"" + AnsiToWide(FileName) + L"\"");
    SaveToStream(&stream);
}

// ---- TCustomRichEdit -------------------------------------------------------------------------
TCustomRichEdit::TCustomRichEdit(TComponent* AOwner) : TCustomMemo(AOwner) {}

TCustomRichEdit::~TCustomRichEdit() {
    Destroying();
    if (HandleAllocated()) DestroyHandle();
}

std::unique_ptr<TStrings> TCustomRichEdit::CreateLines() { return std::make_unique<TRichEditStrings>(this); }

void TCustomRichEdit::CreateParams(TCreateParams& Params) {
    TCustomMemo::CreateParams(Params);
    if (RichEditLibraryLoaded()) CreateSubClass(Params, "RichEdit20A");
}

void TCustomRichEdit::CreateWnd() {
    TCustomMemo::CreateWnd();
    HWND h = WindowHandle();
    SendMessageA(h, EM_SETEVENTMASK, 0, ENM_CHANGE | ENM_SELCHANGE | ENM_PROTECTED);
    // A rich edit without a background colour of its own would paint the system's.
    SendMessageA(h, EM_SETBKGNDCOLOR, 0, static_cast<LPARAM>(ColorToRGB(Color())));
}

int TCustomRichEdit::GetSelStart() {
    CHARRANGE range{};
    SendMessageA(Handle(), EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&range));
    return range.cpMin;
}

void TCustomRichEdit::SetSelStart(int Value) {
    CHARRANGE range{Value, Value};
    SendMessageA(Handle(), EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
}

int TCustomRichEdit::GetSelLength() {
    CHARRANGE range{};
    SendMessageA(Handle(), EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&range));
    return range.cpMax - range.cpMin;
}

void TCustomRichEdit::SetSelLength(int Value) {
    CHARRANGE range{};
    SendMessageA(Handle(), EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&range));
    range.cpMax = range.cpMin + Value;
    SendMessageA(Handle(), EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
}

std::string TCustomRichEdit::GetSelText() {
    CHARRANGE range{};
    SendMessageA(Handle(), EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&range));
    std::string text(static_cast<size_t>(std::max<LONG>(0, range.cpMax - range.cpMin)) * 2 + 1, '\0');
    LRESULT n = SendMessageA(Handle(), EM_GETSELTEXT, 0, reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<size_t>(std::max<LRESULT>(0, n)));
    return text;
}

void TCustomRichEdit::SelectionChange() {
    if (OnSelectionChange) OnSelectionChange(this);
}

void TCustomRichEdit::Dispatch(TMessage& Message) {
    if (Message.Msg == CN_NOTIFY && reinterpret_cast<NMHDR*>(Message.LParam)->code == EN_SELCHANGE) {
        SelectionChange();
        return;
    }
    TCustomMemo::Dispatch(Message);
}

}  // namespace classlib
