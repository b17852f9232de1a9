// The class library's memo: a multi-line EDIT window whose lines are reached through an
// adapter over the window.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "classlib/ansi_strings.h"
#include "classlib/std_edit.h"

namespace classlib {

class TCustomMemo;

enum class TScrollStyle { ssNone, ssHorizontal, ssVertical, ssBoth };

// The lines of a memo: no storage of their own; every operation asks the window (made when it
// does not exist yet). A text that ends with a line break has no empty last line.
//   Get of a line out of range or of an empty line reads "". Insert at Count appends a line;
//   past an empty last line it does nothing. Objects are not kept.
class TMemoStrings : public TStrings {
public:
    CLASSLIB_CLASS_NAME(TMemoStrings)
    explicit TMemoStrings(TCustomMemo* Memo) : memo_(Memo) {}
    TCustomMemo* Memo() const { return memo_; }

    std::string Get(int Index) const override;
    int GetCount() const override;
    void Put(int Index, const std::string& S) override;
    void Clear() override;
    void Delete(int Index) override;
    void Insert(int Index, const std::string& S) override;
    std::string GetTextStr() const override;
    void SetTextStr(const std::string& Value) override;

protected:
    void SetUpdateState(bool Updating) override;

private:
    HWND Wnd() const;
    TCustomMemo* memo_;
};

// A multi-line edit. Alignment, WordWrap and ScrollBars re-create the window when it exists;
// its text survives that.
class TCustomMemo : public TCustomEdit {
public:
    CLASSLIB_CLASS_NAME(TCustomMemo)
    explicit TCustomMemo(TComponent* AOwner);
    ~TCustomMemo() override;

    // Made on first use, so that a descendant's CreateLines is the one called.
    TStrings* Lines();
    void SetLines(TStrings* Value) { Lines()->Assign(Value); }
    TAlignment Alignment() const { return alignment_; }
    void SetAlignment(TAlignment Value);
    bool WordWrap() const { return wordWrap_; }
    void SetWordWrap(bool Value);
    TScrollStyle ScrollBars() const { return scrollBars_; }
    void SetScrollBars(TScrollStyle Value);
    // Enter (Tab) typed into the memo stays in it instead of going to the form's default button
    // (the next control).
    bool WantReturns() const { return wantReturns_; }
    void SetWantReturns(bool Value) { wantReturns_ = Value; }
    bool WantTabs() const { return wantTabs_; }
    void SetWantTabs(bool Value) { wantTabs_ = Value; }
    // The caret's line and column (0-based).
    POINT CaretPos();

    void CreateParams(TCreateParams& Params) override;
    void Dispatch(TMessage& Message) override;

protected:
    // Makes the Lines list.
    virtual std::unique_ptr<TStrings> CreateLines();

private:
    std::unique_ptr<TStrings> lines_;
    TAlignment alignment_ = TAlignment::taLeftJustify;
    bool wordWrap_ = true;
    TScrollStyle scrollBars_ = TScrollStyle::ssNone;
    bool wantReturns_ = true;
    bool wantTabs_ = false;
};

class TMemo : public TCustomMemo {
public:
    CLASSLIB_CLASS_NAME(TMemo)
    explicit TMemo(TComponent* AOwner) : TCustomMemo(AOwner) {}
};

}  // namespace classlib
