// The class library's masked edit: an edit whose text follows an edit mask (fixed literal
// characters, and places that take only digits, letters or any character), as date and time
// fields need.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "classlib/exceptions.h"
#include "classlib/std_edit.h"

namespace classlib {

// A masked edit refused its text (ValidateEdit).
class EDBEditError : public Exception {
public:
    using Exception::Exception;
};

// An edit mask: "<mask>;<keep literals>;<blank>", e.g. "!99/99/9999;1;_".
//   Mask characters: 0 digit, 9 digit or blank, # digit, sign or blank, L letter, l letter or
//   blank, A letter or digit, a letter, digit or blank, C any character, c any or blank,
//   > upper case from here, < lower case from here, <> no case change, \ the next character
//   is a literal, ! (leading) keep blanks at the left of the text. Every other character is a
//   literal shown in the text.
//   Keep literals "0" leaves the literals out of Text; the blank character (default "_") marks
//   an empty place in the edit text.
class TEditMask {
public:
    TEditMask() = default;
    explicit TEditMask(const std::string& Mask);

    bool Empty() const { return slots_.empty(); }
    bool KeepLiterals() const { return keepLiterals_; }
    char Blank() const { return blank_; }
    int Length() const { return static_cast<int>(slots_.size()); }
    bool IsLiteral(int Pos) const { return slots_.at(static_cast<size_t>(Pos)).literal; }
    // The literal of a place, or the blank character for an editable one.
    char Initial(int Pos) const;
    // The character as the place takes it (case applied), or 0 when it does not fit.
    char Accept(int Pos, char Ch) const;
    bool Required(int Pos) const { return slots_.at(static_cast<size_t>(Pos)).required; }
    // The edit text of a plain text: with kept literals place by place, otherwise the
    // characters go into the editable places in order.
    std::string Format(const std::string& Text) const;
    // The plain text of an edit text (blanks become spaces; without kept literals only the
    // editable places).
    std::string Strip(const std::string& EditText) const;
    // The first editable place at or after Pos (Length when none).
    int NextEditable(int Pos) const;
    // The last editable place before Pos (-1 when none).
    int PrevEditable(int Pos) const;

private:
    struct Slot {
        bool literal = true;
        char ch = 0;        // the literal, or the mask character of an editable place
        bool required = false;
        int caseMode = 0;   // 1 upper, -1 lower
    };
    std::vector<Slot> slots_;
    bool keepLiterals_ = true;
    char blank_ = '_';
};

// An edit with an edit mask. Without a mask it is a plain edit.
//   EditText is the window's text (literals and blank characters included); Text is the plain
//   text of the mask (TEditMask::Strip) and setting it formats it into the mask. Typed
//   characters fill the editable places from the caret on, skipping literals; a character that
//   does not fit its place is refused with a beep. Backspace, Delete, cutting and clearing blank
//   the places instead of removing them; pasting types the clipboard's text.
class TCustomMaskEdit : public TCustomEdit {
public:
    CLASSLIB_CLASS_NAME(TCustomMaskEdit)
    explicit TCustomMaskEdit(TComponent* AOwner);

    const std::string& EditMask() const { return editMask_; }
    // Keeps the plain text: it is formatted into the new mask.
    void SetEditMask(const std::string& Value);
    bool IsMasked() const { return !mask_.Empty(); }
    const TEditMask& Mask() const { return mask_; }
    std::string EditText() { return TControl::Text(); }
    void SetEditText(const std::string& Value);
    std::string Text();
    void SetText(const std::string& Value);
    bool Modified();
    void SetModified(bool Value);
    // Raises EDBEditError "Invalid input value.  Use escape key to abandon changes" and puts the
    // caret on the first required place left blank, when there is one and the text is not all
    // blank.
    virtual void ValidateEdit();

    void CreateWnd() override;
    void Dispatch(TMessage& Message) override;

protected:
    void KeyPress(char& Key) override;
    void KeyDown(WORD& Key, TShiftState Shift) override;

private:
    // Types Ch at the caret; answers whether it was taken.
    bool TypeChar(char Ch);
    void BlankRange(int Start, int End);
    void GetSel(int& Start, int& End);
    void SetCaret(int Pos);
    std::string editMask_;
    TEditMask mask_;
};

class TMaskEdit : public TCustomMaskEdit {
public:
    CLASSLIB_CLASS_NAME(TMaskEdit)
    explicit TMaskEdit(TComponent* AOwner) : TCustomMaskEdit(AOwner) {}
};

}  // namespace classlib
