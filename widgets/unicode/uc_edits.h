// Wide edits: the edit with its wide text, wide password character and selection counted in
// characters, and the memo whose wide lines talk to the window in UTF-16 (also the lines of the
// rich edit, in rich-edit mode).
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "classlib/conversions.h"
#include "classlib/mask_edit.h"
#include "classlib/std_controls.h"
#include "unicode/wide_codecs.h"
#include "unicode/wide_strings.h"
#include "widgets/unicode/uc_controls.h"
#include "widgets/unicode/uc_members.h"

namespace widgets {

// ---- Edit ------------------------------------------------------------------------------------
// The wide steps every wide edit (edit, memo) shares; Edit is the control.
//   Selection: on the NT platform the class library's counts are characters already; off it they
//   count ANSI bytes and are converted to and from characters of the wide text.
int UcEdit_GetSelStart(classlib::TCustomEdit* Edit, int AnsiSelStart);
int UcEdit_GetSelLength(classlib::TCustomEdit* Edit);
int UcEdit_AnsiSelStart(classlib::TCustomEdit* Edit, int Value);
int UcEdit_AnsiSelLength(classlib::TCustomEdit* Edit, int SelStart, int Value);
std::wstring UcEdit_GetSelText(classlib::TCustomEdit* Edit);
// The ANSI-safe form of a wide password character: itself below 256, else "*".
char UcEdit_AnsiPasswordChar(wchar_t Ch);

// The selection of a wide edit over Base, counted in characters (the UcEdit_ steps above).
#define WIDGETS_UC_EDIT_SELECTION_MEMBERS(Base)                                                              \
public:                                                                                                     \
    std::wstring SelText() { return ::widgets::UcEdit_GetSelText(this); }                                   \
    int GetSelStart() override { return ::widgets::UcEdit_GetSelStart(this, Base::GetSelStart()); }         \
    void SetSelStart(int Value) override { Base::SetSelStart(::widgets::UcEdit_AnsiSelStart(this, Value)); } \
    int GetSelLength() override { return ::widgets::UcEdit_GetSelLength(this); }                            \
    void SetSelLength(int Value) override {                                                                 \
        Base::SetSelLength(::widgets::UcEdit_AnsiSelLength(this, GetSelStart(), Value));                    \
    }                                                                                                       \
    std::string GetSelText() override { return classlib::WideToAnsi(::widgets::UcEdit_GetSelText(this)); }

class TUcCustomEdit : public classlib::TCustomEdit {
public:
    CLASSLIB_CLASS_NAME(TUcCustomEdit)
    explicit TUcCustomEdit(classlib::TComponent* AOwner) : classlib::TCustomEdit(AOwner) {}

    WIDGETS_UC_TEXT_MEMBERS(classlib::TCustomEdit, Text)
    WIDGETS_UC_EDIT_SELECTION_MEMBERS(classlib::TCustomEdit)
public:
    // The character shown for each typed one; 0 shows the text. The class library keeps its
    // ANSI-safe form; a character above 255 shows on the NT platform only ("*" off it).
    wchar_t PasswordChar();
    void SetPasswordChar(wchar_t Value);


    void CreateWindowHandle(const classlib::TCreateParams& Params) override;
    void CreateWnd() override;

private:
    wchar_t passwordChar_ = 0;
};

class TUcEdit : public TUcCustomEdit {
public:
    CLASSLIB_CLASS_NAME(TUcEdit)
    explicit TUcEdit(classlib::TComponent* AOwner) : TUcCustomEdit(AOwner) {}
};

// ---- Memo ------------------------------------------------------------------------------------
// The wide lines of a memo: no storage of their own. Count, objects, deleting, clearing and the
// update state go through the class library's ANSI lines of the same control; line texts are
// read and written through the window with the Unicode messages. Without a Unicode window every
// operation goes through the ANSI lines.
//   An empty line reads "" (its buffer has no room for the length word the window expects); a
//   line longer than 65535 characters raises EOutOfResources "Line too long".
//   In rich-edit mode the line breaks of inserted and set texts follow LineBreakStyle, and an
//   insertion the window did not take whole raises EOutOfResources "RichEdit line insertion
//   error".
class TUcMemoStrings : public unicode::TUcStrings {
public:
    CLASSLIB_CLASS_NAME(TUcMemoStrings)
    explicit TUcMemoStrings(classlib::TCustomMemo* Memo) : memo_(Memo) {}
    classlib::TCustomMemo* Memo() const { return memo_; }
    bool RichEditMode() const { return richEditMode_; }
    void SetRichEditMode(bool Value) { richEditMode_ = Value; }
    unicode::TTextLineBreakStyle LineBreakStyle() const { return lineBreakStyle_; }
    void SetLineBreakStyle(unicode::TTextLineBreakStyle Value) { lineBreakStyle_ = Value; }

    std::wstring Get(int Index) const override;
    int GetCount() const override;
    classlib::TObject* GetObject(int Index) const override;
    void PutObject(int Index, classlib::TObject* AObject) override;
    void Put(int Index, const std::wstring& S) override;
    void Clear() override;
    void Delete(int Index) override;
    void Insert(int Index, const std::wstring& S) override;
    std::wstring GetTextStr() const override;
    void SetTextStr(const std::wstring& Value) override;

protected:
    void SetUpdateState(bool Updating) override;

private:
    bool WideWindow() const;
    classlib::TStrings* Ansi() const { return memo_->Lines(); }
    classlib::TCustomMemo* memo_;
    bool richEditMode_ = false;
    unicode::TTextLineBreakStyle lineBreakStyle_ = unicode::tlbsCRLF;
};

class TUcCustomMemo : public classlib::TCustomMemo {
public:
    CLASSLIB_CLASS_NAME(TUcCustomMemo)
    explicit TUcCustomMemo(classlib::TComponent* AOwner);
    ~TUcCustomMemo() override;

    WIDGETS_UC_TEXT_MEMBERS(classlib::TCustomMemo, Text)
    WIDGETS_UC_EDIT_SELECTION_MEMBERS(classlib::TCustomMemo)
public:
    // The wide lines (the class library's ANSI lines stay reachable as AnsiLines()).
    TUcMemoStrings* Lines() { return wideLines_.get(); }
    void SetLines(unicode::TWideStrings* Value) { wideLines_->Assign(Value); }
    classlib::TStrings* AnsiLines() { return classlib::TCustomMemo::Lines(); }


    void CreateWindowHandle(const classlib::TCreateParams& Params) override;

protected:
    // The wide lines (the rich edit makes its own in rich-edit mode).
    void SetWideLines(std::unique_ptr<TUcMemoStrings> Lines) { wideLines_ = std::move(Lines); }

private:
    std::unique_ptr<TUcMemoStrings> wideLines_;
};

class TUcMemo : public TUcCustomMemo {
public:
    CLASSLIB_CLASS_NAME(TUcMemo)
    explicit TUcMemo(classlib::TComponent* AOwner) : TUcCustomMemo(AOwner) {}
};

// Creates an edit or memo window as the wide edits do: Unicode "EDIT" window; on a Far-East
// locale off the NT platform a read-only edit is made writable and then set read-only.
void UcEdit_CreateWindowHandle(classlib::TCustomEdit* Edit, const classlib::TCreateParams& Params);

}  // namespace widgets
