// The class library's edit: a single-line EDIT window with its change events.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "classlib/controls.h"
#include "classlib/std_text.h"

namespace classlib {

// ---- Edit ------------------------------------------------------------------------------------
// A single-line EDIT window. OnChange fires for every change of the text: typed (EN_CHANGE),
// set from code with a window (the system's EN_CHANGE for WM_SETTEXT) or without one
// (CM_TEXTCHANGED). Nothing fires while the window is being created.
class TCustomEdit : public TWinControl {
public:
    CLASSLIB_CLASS_NAME(TCustomEdit)
    explicit TCustomEdit(TComponent* AOwner);

    int MaxLength() const { return maxLength_; }
    // 0: the system's limit.
    void SetMaxLength(int Value);
    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool Value);
    char PasswordChar() const { return passwordChar_; }
    // Sent to an existing window (EM_SETPASSWORDCHAR) and repainted; 0 shows the text.
    void SetPasswordChar(char Value);
    // Selection in characters of the ANSI text (the window is made when needed).
    virtual int GetSelStart();
    virtual void SetSelStart(int Value);
    virtual int GetSelLength();
    virtual void SetSelLength(int Value);
    virtual std::string GetSelText();
    // Replaces the selection (EM_REPLACESEL).
    void SetSelText(const std::string& Value);
    int SelStart() { return GetSelStart(); }
    int SelLength() { return GetSelLength(); }
    std::string SelText() { return GetSelText(); }
    void SelectAll();
    void Clear() { SetText(std::string()); }

    TNotifyEvent OnChange;

    void CreateParams(TCreateParams& Params) override;
    void CreateWnd() override;
    void Dispatch(TMessage& Message) override;

protected:
    virtual void Change();
    bool Creating() const { return creating_; }

private:
    int maxLength_ = 0;
    bool readOnly_ = false;
    char passwordChar_ = 0;
    bool creating_ = false;
};

class TEdit : public TCustomEdit {
public:
    CLASSLIB_CLASS_NAME(TEdit)
    explicit TEdit(TComponent* AOwner) : TCustomEdit(AOwner) {}
};

}  // namespace classlib
