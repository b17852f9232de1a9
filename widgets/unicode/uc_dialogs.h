// Wide dialogs: the open and save dialogs that return wide file names (the class library prepares
// the dialog, the system's wide dialog shows it), and the wide message dialog with its form.
#pragma once

#include <windows.h>
#include <commdlg.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "classlib/dialogs.h"
#include "unicode/wide_strings.h"
#include "widgets/unicode/uc_forms.h"
#include "widgets/unicode/uc_panels.h"
#include "widgets/unicode/uc_std_buttons.h"
#include "widgets/unicode/uc_std_controls.h"

namespace widgets {

// ---- Open and save dialogs -------------------------------------------------------------------
// The open dialog with wide texts. Each wide property shadows the ANSI one of the class library
// (a change made to the ANSI one behind its back wins). On an ANSI-only platform Execute is the
// class library's, and the wide properties are its ANSI ones widened.
class TUcOpenDialog : public classlib::TOpenDialog {
public:
    CLASSLIB_CLASS_NAME(TUcOpenDialog)
    explicit TUcOpenDialog(classlib::TComponent* AOwner);
    ~TUcOpenDialog() override;

    std::wstring DefaultExt();
    void SetDefaultExt(const std::wstring& Value);
    // While the dialog is open in the explorer style: the path the dialog holds now.
    std::wstring FileName();
    void SetFileName(const std::wstring& Value);
    std::wstring Filter();
    void SetFilter(const std::wstring& Value);
    std::wstring InitialDir();
    // A trailing backslash is dropped, except after a drive ("C:\").
    void SetInitialDir(const std::wstring& Value);
    std::wstring Title();
    void SetTitle(const std::wstring& Value);
    unicode::TUcStringList* Files() const { return files_.get(); }
    classlib::TStrings* AnsiFiles() { return classlib::TOpenDialog::Files(); }

    bool Execute() override;
    void WndProc(classlib::TMessage& Message) override;

protected:
    // The system's dialog of this family, ANSI and wide.
    virtual BOOL AnsiDialog(OPENFILENAMEA* Ofn) { return GetOpenFileNameA(Ofn); }
    virtual BOOL WideDialog(OPENFILENAMEW* Ofn) { return GetOpenFileNameW(Ofn); }
    // Answers the user's confirmation only while the wide check runs (true otherwise).
    bool DoCanClose() override;
    void DoIncludeItem(const OFNOTIFYEXA& OFN, bool& Include) override;

private:
    bool WideExecute();
    void GetWideFileNames(const OPENFILENAMEW& Ofn);

    std::wstring defaultExt_;
    std::wstring fileName_;
    std::wstring filter_;
    std::wstring initialDir_;
    std::wstring title_;
    std::unique_ptr<unicode::TUcStringList> files_;
    bool wideCheck_ = false;
    // The structure the class library prepared, captured instead of being shown (the whole
    // structure: its size differs between the 32- and 64-bit systems).
    OPENFILENAMEA captured_{};
    std::string capturedTemplate_;
};

// The save dialog: the same, showing the system's save dialog.
class TUcSaveDialog : public TUcOpenDialog {
public:
    CLASSLIB_CLASS_NAME(TUcSaveDialog)
    explicit TUcSaveDialog(classlib::TComponent* AOwner) : TUcOpenDialog(AOwner) {}

protected:
    BOOL AnsiDialog(OPENFILENAMEA* Ofn) override { return GetSaveFileNameA(Ofn); }
    BOOL WideDialog(OPENFILENAMEW* Ofn) override { return GetSaveFileNameW(Ofn); }
};

// ---- Message dialog --------------------------------------------------------------------------
enum class TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };
enum TMsgDlgBtn : int { mbYes, mbNo, mbOK, mbCancel, mbAbort, mbRetry, mbIgnore, mbAll, mbNoToAll, mbYesToAll, mbHelp };
// A set of buttons (bit 1 << button).
using TMsgDlgButtons = std::uint32_t;
constexpr TMsgDlgButtons MsgDlgButtons(std::initializer_list<TMsgDlgBtn> Buttons) {
    TMsgDlgButtons set = 0;
    for (TMsgDlgBtn b : Buttons) set |= 1u << b;
    return set;
}
constexpr TMsgDlgButtons mbYesNoCancel = MsgDlgButtons({mbYes, mbNo, mbCancel});
constexpr TMsgDlgButtons mbYesNo = MsgDlgButtons({mbYes, mbNo});
constexpr TMsgDlgButtons mbOKCancel = MsgDlgButtons({mbOK, mbCancel});
constexpr TMsgDlgButtons mbAbortRetryIgnore = MsgDlgButtons({mbAbort, mbRetry, mbIgnore});

// The caption of a dialog type (the wide application title for the custom type) and of a
// button; a value out of range raises EUcInternalError.
std::wstring GetMessageCaption(int DlgType);
std::wstring GetButtonCaption(int Button);

// The message dialog's form: icon, word-wrapped wide message and wide buttons laid out in the
// system's message font from its dialog units; Ctrl+C copies caption, message and buttons. The
// form fits the screen: a word wider than the text's width is broken where the width runs out,
// and a text too tall for the screen loses its middle, shown as "..." (Ctrl+C still copies all
// of it).
class TUcMessageForm : public TUcForm {
public:
    CLASSLIB_CLASS_NAME(TUcMessageForm)
    TUcMessageForm(classlib::TComponent* AOwner, const std::wstring& Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons);

    TUcLabel* Message() const { return message_; }
    TUcImage* Image() const { return image_; }
    // The button of the kind, nullptr when the dialog has none.
    TUcButton* Button(TMsgDlgBtn Kind) const;
    // The keyboard starts on Kind's button instead, which becomes the default one (Return and the
    // space bar answer it); nothing when the dialog has no such button.
    void SetFocusedButton(TMsgDlgBtn Kind);
    // What Ctrl+C puts on the clipboard.
    std::wstring ClipboardText();

protected:
    void KeyDown(WORD& Key, classlib::TShiftState Shift) override;

private:
    // The application's help for the dialog's help context (its OnHelp first, then the help file).
    void HelpButtonClick(classlib::TObject* Sender);
    TUcLabel* message_ = nullptr;
    TUcImage* image_ = nullptr;
    std::wstring text_;  // the whole message, as given
};

// Shows the message dialog centred on the screen and answers its modal result.
int WideMessageDlg(const std::wstring& Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx);
// The same placed at X, Y (centred when both are negative), with a help file.
int WideMessageDlgPosHelp(const std::wstring& Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx, int X,
                          int Y, const std::wstring& HelpFile);

// A question whose default answer would lose something (a file replaced): the keyboard starts on
// Focused, the answer that keeps it, so that a key meant for the window behind (Return, the space
// bar) loses nothing; the others are a click or their Alt+letter away.
int WideMessageDlgFocused(const std::wstring& Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons, TMsgDlgBtn Focused);

// The seam through which the program's questions are answered without a person (tests): when a
// function is installed, the dialogs above ask it instead of showing a form. Answers the
// previous function; an empty one restores the form.
using TMessageDlgFunction = std::function<int(const std::wstring& Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons)>;
TMessageDlgFunction SetMessageDlgFunction(TMessageDlgFunction Function);

}  // namespace widgets
