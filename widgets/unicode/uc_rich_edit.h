// The wide rich edit: a Unicode "RichEdit20W" window whose wide lines follow the window's own
// line breaks (CR alone), with selection positions counted as the rest of the program counts them
// (every line break two characters).
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "classlib/rich_edit.h"
#include "widgets/unicode/uc_edits.h"
#include "widgets/unicode/uc_members.h"

namespace widgets {

class TUcCustomRichEdit;

// The line breaks of the wide rich edit's window: CR alone on the NT platform with the rich-edit
// library, else CR LF.
unicode::TTextLineBreakStyle RichEditLineBreakStyle();
// Releases the input-method manager the rich edits activated (at the program's end).
void FinalizeWideRichEdit();

// The wide lines of a rich edit: the memo's wide lines in rich-edit mode. Setting the text sends
// no change notification; streams and files are the wide list's in plain-text mode, rich text
// (the class library's) otherwise; adding lists runs no selection-change event.
class TUcRichEditStrings : public TUcMemoStrings {
public:
    CLASSLIB_CLASS_NAME(TUcRichEditStrings)
    explicit TUcRichEditStrings(TUcCustomRichEdit* RichEdit);
    void SetTextStr(const std::wstring& Value) override;
    void AddStrings(unicode::TWideStrings* Strings) override;
    void AddStrings(classlib::TStrings* Strings) override;
    void LoadFromFile(const std::wstring& FileName) override;
    void LoadFromStream(classlib::TStream* Stream) override;
    void SaveToFile(const std::wstring& FileName) override;
    void SaveToStream(classlib::TStream* Stream) override;
    void LoadFromStreamEx(classlib::TStream* Stream, bool DetectCharSet) override;
    void SaveToStreamEx(classlib::TStream* Stream, bool WithBOM) override;

private:
    TUcCustomRichEdit* richEdit_;
};

class TUcCustomRichEdit : public classlib::TCustomRichEdit {
public:
    CLASSLIB_CLASS_NAME(TUcCustomRichEdit)
    explicit TUcCustomRichEdit(classlib::TComponent* AOwner);
    ~TUcCustomRichEdit() override;
    WIDGETS_UC_TEXT_MEMBERS(classlib::TCustomRichEdit, Text)
public:
    TUcRichEditStrings* Lines() { return wideLines_.get(); }
    void SetLines(unicode::TWideStrings* Value) { wideLines_->Assign(Value); }
    classlib::TStrings* AnsiLines() { return classlib::TCustomRichEdit::Lines(); }
    // The selected text with CR LF line breaks.
    std::wstring SelText();

    // Positions outside the window count each line break as two characters.
    int GetSelStart() override;
    void SetSelStart(int Value) override;
    int GetSelLength() override;
    void SetSelLength(int Value) override;
    std::string GetSelText() override { return classlib::WideToAnsi(SelText()); }

    void CreateWindowHandle(const classlib::TCreateParams& Params) override;
    void CreateWnd() override;

    // Prints the wide text with CR LF line breaks: while printing, WM_GETTEXTLENGTH answers that
    // text's length.
    void Print(const std::string& Caption) override;
    void Dispatch(classlib::TMessage& Message) override;

private:
    // Whether the window counts a line break as one character (CR alone) and positions are mapped.
    bool MapsPositions();
    // The wide text with CR LF line breaks, as printed.
    std::wstring CrLfText();
    int InsideToOutside(int Pos);
    int OutsideToInside(int Pos);
    std::unique_ptr<TUcRichEditStrings> wideLines_;
    // The length WM_GETTEXTLENGTH answers while printing (-1: not printing).
    LRESULT printLength_ = -1;
};

class TUcRichEdit : public TUcCustomRichEdit {
public:
    CLASSLIB_CLASS_NAME(TUcRichEdit)
    explicit TUcRichEdit(classlib::TComponent* AOwner) : TUcCustomRichEdit(AOwner) {}
};

}  // namespace widgets
