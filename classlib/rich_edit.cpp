#include "classlib/rich_edit.h"

#include <algorithm>

#include "classlib/conversions.h"
#include "classlib/exceptions.h"
#include "classlib/printers.h"

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

// Keeps the text's format rectangle a pixel inside the client area's right edge and down to its
// bottom, at every size (a rectangle once set is the window's to keep up to date).
// Wine's rich edit lays its lines out as wide as the window with its border, so that the end of a
// full line falls under the border, and once a rectangle is set it follows a resize only in part; it
// also reads back a rectangle set by EM_SETRECT moved by the border, so a second setting corrects
// the first by what was read back.
void KeepFormatInClient(HWND Window) {
    RECT client{}, format{};
    GetClientRect(Window, &client);
    SendMessageA(Window, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&format));
    const RECT wanted{format.left, format.top, std::max(format.left, client.right - 1),
                      std::max(format.top, client.bottom)};
    if (EqualRect(&format, &wanted)) return;
    RECT asked = wanted;
    for (int round = 0; round < 2; ++round) {
        SendMessageA(Window, EM_SETRECT, 0, reinterpret_cast<LPARAM>(&asked));
        RECT got{};
        SendMessageA(Window, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&got));
        if (EqualRect(&got, &wanted)) return;
        asked = RECT{asked.left + wanted.left - got.left, asked.top + wanted.top - got.top,
                     asked.right + wanted.right - got.right, asked.bottom + wanted.bottom - got.bottom};
    }
}

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
    KeepFormatInClient(h);
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

void TCustomRichEdit::Print(const std::string& Caption) {
    HWND h = Handle();
    // The end of the text twice over: the text's length (WM_GETTEXTLENGTH, which a descendant may
    // answer while printing) counts a line break as CR LF, where the window's own positions, which
    // EM_FORMATRANGE answers, may count it as one character.
    const LRESULT textLength = GetTextLen();
    GETTEXTLENGTHEX count{GTL_NUMCHARS | GTL_PRECISE, 1200};
    LRESULT windowLength = SendMessageW(h, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&count), 0);
    // A memo window (no rich-edit library) does not count: only the text's length stops it.
    if (windowLength <= 0) windowLength = textLength;
    TPrinter* printer = Printer();
    printer->SetTitle(Caption);
    printer->BeginDoc();
    HDC dc = printer->Handle();
    FORMATRANGE range{};
    range.hdc = dc;
    range.hdcTarget = dc;
    // The printable area in twips, the unit of EM_FORMATRANGE's rectangles.
    const int dpiX = std::max(1, printer->PixelsPerInchX()), dpiY = std::max(1, printer->PixelsPerInchY());
    const RECT page{0, 0, MulDiv(printer->PageWidth(), 1440, dpiX), MulDiv(printer->PageHeight(), 1440, dpiY)};
    range.rcPage = page;
    const int oldMapMode = SetMapMode(dc, MM_TEXT);
    SendMessageA(h, EM_FORMATRANGE, 0, 0);
    try {
        LONG done = 0;
        for (;;) {
            range.rc = page;
            range.chrg.cpMin = done;
            range.chrg.cpMax = -1;
            LRESULT next = SendMessageA(h, EM_FORMATRANGE, 1, reinterpret_cast<LPARAM>(&range));
            if (next == -1 || next >= textLength || next >= windowLength) break;
            // A page that advances nothing would be followed by the same page for ever (a rich
            // edit that formats nothing answers the start it was given).
            if (next <= done)
                throw EPrinter(L"Printing abandoned: page " + std::to_wstring(printer->PageNumber()) +
                               L" took no text from position " + std::to_wstring(done));
            done = static_cast<LONG>(next);
            printer->NewPage();
        }
    } catch (...) {
        SendMessageA(h, EM_FORMATRANGE, 0, 0);
        if (printer->Printing()) {
            SetMapMode(dc, oldMapMode);
            printer->Abort();
        }
        throw;
    }
    // The window keeps what it laid out for the device until it is told to let go.
    SendMessageA(h, EM_FORMATRANGE, 0, 0);
    SetMapMode(dc, oldMapMode);
    printer->EndDoc();
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
    if (Message.Msg == WM_SIZE && HandleAllocated()) KeepFormatInClient(WindowHandle());
}

}  // namespace classlib
