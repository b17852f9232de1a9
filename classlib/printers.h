// The printer: one document at a time printed through a printer's device context, page by page.
// The printer is the system's default one or one chosen by name; it is never asked of the user.
#pragma once

#include <windows.h>

#include <string>

#include "classlib/exceptions.h"

namespace classlib {

// A printer that is missing, cannot be opened, refuses a document or is used out of order.
class EPrinter : public Exception {
public:
    using Exception::Exception;
};

// The printer of the process (Printer()). A document runs from BeginDoc to EndDoc (or Abort);
// Handle() is the printer's device context for that time. Main thread only.
class TPrinter {
public:
    TPrinter() = default;
    ~TPrinter();
    TPrinter(const TPrinter&) = delete;
    TPrinter& operator=(const TPrinter&) = delete;

    // The printer's name; empty (the default) means the system's default printer at BeginDoc.
    const std::wstring& PrinterName() const { return printerName_; }
    void SetPrinterName(const std::wstring& Value);
    // The document's title, shown in the printer's queue.
    const std::string& Title() const { return title_; }
    void SetTitle(const std::string& Value) { title_ = Value; }

    // Opens the printer and starts a document on its first page. Raises EPrinter when no printer
    // is set up, the printer cannot be opened, it refuses the document or one is printing already.
    void BeginDoc();
    // Ends the page and starts the next one.
    void NewPage();
    // Ends the last page and the document, and closes the printer.
    void EndDoc();
    // Abandons the document (nothing more reaches the printer) and closes the printer.
    void Abort();

    bool Printing() const { return dc_ != nullptr; }
    // Whether the last document was abandoned (until the next BeginDoc).
    bool Aborted() const { return aborted_; }
    int PageNumber() const { return pageNumber_; }
    // The printer's device context while printing (EPrinter otherwise).
    HDC Handle() const;
    // The printable area in device pixels, and the device's resolution (dots per inch).
    int PageWidth() const;
    int PageHeight() const;
    int PixelsPerInchX() const;
    int PixelsPerInchY() const;

private:
    void CheckPrinting(const char* Operation) const;
    void Close();
    std::wstring printerName_;
    std::string title_;
    HDC dc_ = nullptr;
    bool aborted_ = false;
    int pageNumber_ = 0;
};

// The process's printer, made on first use.
TPrinter* Printer();

}  // namespace classlib
