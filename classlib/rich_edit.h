// The class library's rich edit: a memo over the system's rich edit window (RICHED20.DLL), whose
// lines load and save rich text, with selection-change events.
#pragma once

#include <windows.h>
#include <richedit.h>

#include <memory>
#include <string>

#include "classlib/std_memo.h"
#include "classlib/streams.h"

namespace classlib {

class TCustomRichEdit;

// Loads "RICHED20.DLL" once for the process (freed at exit); answers whether it is loaded.
bool RichEditLibraryLoaded();

// The lines of a rich edit: the memo's lines, and rich text (plain text with PlainText) in and
// out of streams and files.
class TRichEditStrings : public TMemoStrings {
public:
    CLASSLIB_CLASS_NAME(TRichEditStrings)
    explicit TRichEditStrings(TCustomRichEdit* RichEdit);
    // Replaces the whole text with the stream's content from its position to its end.
    virtual void LoadFromStream(TStream* Stream);
    virtual void SaveToStream(TStream* Stream);
    // ANSI file names; a file that cannot be opened raises EFOpenError / EFCreateError.
    void LoadFromFile(const std::string& FileName);
    void SaveToFile(const std::string& FileName);

private:
    TCustomRichEdit* richEdit_;
};

// A rich edit ("RichEdit20A"; a plain memo window when the library is missing). OnChange runs
// for every change of the text, OnSelectionChange for every move of the selection.
class TCustomRichEdit : public TCustomMemo {
public:
    CLASSLIB_CLASS_NAME(TCustomRichEdit)
    explicit TCustomRichEdit(TComponent* AOwner);
    ~TCustomRichEdit() override;

    // Lines load and save plain text instead of rich text.
    bool PlainText() const { return plainText_; }
    void SetPlainText(bool Value) { plainText_ = Value; }
    TRichEditStrings* RichLines() { return static_cast<TRichEditStrings*>(Lines()); }

    int GetSelStart() override;
    void SetSelStart(int Value) override;
    int GetSelLength() override;
    void SetSelLength(int Value) override;
    std::string GetSelText() override;

    // Prints the whole text on Printer() as a document titled Caption, page by page over each
    // page's printable area. A page that lays out nothing before the text's end abandons the
    // document and raises EPrinter; so does a missing printer.
    virtual void Print(const std::string& Caption);

    TNotifyEvent OnSelectionChange;

    void CreateParams(TCreateParams& Params) override;
    void CreateWnd() override;
    void Dispatch(TMessage& Message) override;

protected:
    std::unique_ptr<TStrings> CreateLines() override;
    virtual void SelectionChange();

private:
    bool plainText_ = false;
};

class TRichEdit : public TCustomRichEdit {
public:
    CLASSLIB_CLASS_NAME(TRichEdit)
    explicit TRichEdit(TComponent* AOwner) : TCustomRichEdit(AOwner) {}
};

}  // namespace classlib
