#include "classlib/printers.h"

#include <winspool.h>

#include <memory>
#include <vector>

#include "classlib/conversions.h"
#include "classlib/threads.h"

namespace classlib {

namespace {

// The system's default printer ("" when none is set up). Asked of the spooler, never through the
// common dialogs: their default query shows a message box when there is no printer.
std::wstring DefaultPrinterName() {
    DWORD size = 0;
    GetDefaultPrinterW(nullptr, &size);
    if (size == 0) return std::wstring();
    std::vector<wchar_t> name(size + 1, L'\0');
    if (!GetDefaultPrinterW(name.data(), &size)) return std::wstring();
    return std::wstring(name.data());
}

}  // namespace

TPrinter::~TPrinter() {
    if (dc_ != nullptr) {
        AbortDoc(dc_);
        DeleteDC(dc_);
    }
}

void TPrinter::SetPrinterName(const std::wstring& Value) {
    if (Printing()) throw EPrinter(L"Printing in progress");
    printerName_ = Value;
}

void TPrinter::BeginDoc() {
    CheckMainThread("TPrinter.BeginDoc");
    if (Printing()) throw EPrinter(L"Printing in progress");
    std::wstring name = printerName_.empty() ? DefaultPrinterName() : printerName_;
    if (name.empty()) throw EPrinter(L"No printer is set up: there is no default printer");
    HDC dc = CreateDCW(L"WINSPOOL", name.c_str(), nullptr, nullptr);
    if (dc == nullptr) throw EPrinter(L"The printer \"" + name + L"\" cannot be opened");
    std::wstring title = AnsiToWide(title_);
    DOCINFOW info{};
    info.cbSize = sizeof(info);
    info.lpszDocName = title.c_str();
    if (StartDocW(dc, &info) <= 0) {
        DeleteDC(dc);
        throw EPrinter(L"The printer \"" + name + L"\" refused the document");
    }
    if (StartPage(dc) <= 0) {
        AbortDoc(dc);
        DeleteDC(dc);
        throw EPrinter(L"The printer \"" + name + L"\" refused the document");
    }
    dc_ = dc;
    aborted_ = false;
    pageNumber_ = 1;
}

void TPrinter::CheckPrinting(const char* Operation) const {
    if (!Printing()) throw EPrinter(L"The printer is not printing (" + AnsiToWide(Operation) + L")");
}

void TPrinter::NewPage() {
    CheckPrinting("NewPage");
    if (EndPage(dc_) <= 0 || StartPage(dc_) <= 0) {
        Abort();
        throw EPrinter(L"The printer failed to start page " + std::to_wstring(pageNumber_ + 1));
    }
    ++pageNumber_;
}

void TPrinter::EndDoc() {
    CheckPrinting("EndDoc");
    bool ended = EndPage(dc_) > 0;
    ended = ::EndDoc(dc_) > 0 && ended;
    Close();
    if (!ended) throw EPrinter(L"The printer failed to finish the document");
}

void TPrinter::Abort() {
    CheckPrinting("Abort");
    AbortDoc(dc_);
    Close();
    aborted_ = true;
}

void TPrinter::Close() {
    DeleteDC(dc_);
    dc_ = nullptr;
}

HDC TPrinter::Handle() const {
    CheckPrinting("Handle");
    return dc_;
}

int TPrinter::PageWidth() const { return GetDeviceCaps(Handle(), HORZRES); }
int TPrinter::PageHeight() const { return GetDeviceCaps(Handle(), VERTRES); }
int TPrinter::PixelsPerInchX() const { return GetDeviceCaps(Handle(), LOGPIXELSX); }
int TPrinter::PixelsPerInchY() const { return GetDeviceCaps(Handle(), LOGPIXELSY); }

TPrinter* Printer() {
    static TPrinter printer;
    return &printer;
}

}  // namespace classlib
