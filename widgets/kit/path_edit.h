// The kit's file-name and folder edits: combo edits whose button opens a file dialog or the folder
// browser and writes the choice into the text, and which can take dropped files.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "classlib/dialogs.h"
#include "classlib/exceptions.h"
#include "widgets/unicode/uc_dialogs.h"
#include "widgets/kit/combo_edit.h"
#include "widgets/kit/select_dir_dialog.h"

namespace widgets::kit {

// The combo edits' error (an invalid file name).
class EComboEditError : public classlib::Exception {
public:
    using Exception::Exception;
};

// The name travels wide, so that a name outside the code page reaches the handler whole.
using TExecOpenDialogEvent = std::function<void(classlib::TObject* Sender, std::wstring& Name, bool& Action)>;

// The file name a text stands for: the text itself when such a file exists, the first item of a
// text that starts with a double quote, else the whole text (a new path with blanks stays whole).
std::wstring FileNameOfText(const std::wstring& Text);
std::string FileNameOfText(const std::string& Text);
// A name as text: in double quotes when it holds a blank and is not quoted already.
std::wstring TextOfFileName(const std::wstring& Name);
std::string TextOfFileName(const std::string& Name);

class TFileDirEdit : public TCustomComboEdit {
public:
    CLASSLIB_CLASS_NAME(TFileDirEdit)
    explicit TFileDirEdit(classlib::TComponent* AOwner);

    bool AcceptFiles() const { return acceptFiles_; }
    void SetAcceptFiles(bool Value);
    // No OEM conversion: a typed name goes through the OEM code page and back unchanged only where
    // that page has every character of it, and would otherwise name another file.
    // The text as a wide path. The edit keeps the system code page, which cannot hold every name:
    // the wide path last given (or chosen in the folder browser) stands for the text as long as the
    // text is still that path in the code page; any other text is widened as it is.
    std::wstring WideText();
    void SetWideText(const std::wstring& Value);
    // The wide name a code-page name of this edit stands for (see WideText).
    std::wstring WideOf(const std::string& Name) const;
    // The text with each path in its long or its 8.3 form.
    virtual std::string GetLongName() = 0;
    virtual std::string GetShortName() = 0;

    TExecOpenDialogEvent OnBeforeDialog;
    TExecOpenDialogEvent OnAfterDialog;
    classlib::TNotifyEvent OnDropFiles;

    void CreateWnd() override;
    void Dispatch(classlib::TMessage& Message) override;

protected:
    HBITMAP GetDefaultBitmap(bool& FreeIt) override;
    // Takes one dropped name.
    virtual void ReceptFileDir(const std::wstring& Name) = 0;
    virtual void ClearFileList() {}
    virtual bool Multiple() const = 0;
    // Runs a dialog with the system's error boxes for empty drives kept away.
    static bool QuietDialog(const std::function<bool()>& Dialog);

    std::wstring wideText_;

private:
    void DropFiles(HDROP Drop);
    bool acceptFiles_ = false;
};

enum class TFileDialogKind { dkOpen, dkSave, dkOpenPicture, dkSavePicture };

class TFilenameEdit : public TFileDirEdit {
public:
    CLASSLIB_CLASS_NAME(TFilenameEdit)
    explicit TFilenameEdit(classlib::TComponent* AOwner);

    // The file name of the text (see FileNameOfText), in the code page and wide.
    std::string FileName();
    std::wstring WideFileName();
    // Raises EComboEditError "Invalid file name - %s" for a name that is not valid; the text
    // stays as it was.
    void SetFileName(const std::string& Value);
    // The same for a wide name, which the text keeps whole (see WideText).
    void SetWideFileName(const std::wstring& Value);
    TFileDialogKind DialogKind() const { return dialogKind_; }
    // A new kind makes a new dialog that takes over the old one's settings. Every kind is a wide
    // dialog, so that a name outside the code page comes back whole; the picture kinds show a
    // preview of the selected picture.
    void SetDialogKind(TFileDialogKind Value);
    widgets::TUcOpenDialog* Dialog() const { return dialog_.get(); }
    std::wstring DefaultExt() const { return dialog_->DefaultExt(); }
    // Kept without a leading dot.
    void SetDefaultExt(const std::wstring& Value);
    std::wstring Filter() const { return dialog_->Filter(); }
    void SetFilter(const std::wstring& Value) { dialog_->SetFilter(Value); }
    int FilterIndex() const { return dialog_->FilterIndex(); }
    void SetFilterIndex(int Value) { dialog_->SetFilterIndex(Value); }
    std::wstring InitialDir() const { return dialog_->InitialDir(); }
    void SetInitialDir(const std::wstring& Value) { dialog_->SetInitialDir(Value); }
    classlib::TOpenOptions DialogOptions() const { return dialog_->Options(); }
    // Without ofAllowMultiSelect the dialog's file list is emptied.
    void SetDialogOptions(classlib::TOpenOptions Value);
    std::wstring DialogTitle() const { return dialog_->Title(); }
    void SetDialogTitle(const std::wstring& Value) { dialog_->SetTitle(Value); }
    classlib::TStrings* DialogFiles() { return dialog_->AnsiFiles(); }
    classlib::TFileEditStyle FileEditStyle() const { return dialog_->FileEditStyle(); }
    void SetFileEditStyle(classlib::TFileEditStyle Value) { dialog_->SetFileEditStyle(Value); }
    classlib::TStrings* HistoryList() { return dialog_->HistoryList(); }

    std::string GetLongName() override;
    std::string GetShortName() override;
    void ButtonClick() override;

protected:
    void ReceptFileDir(const std::wstring& Name) override;
    void ClearFileList() override;
    bool Multiple() const override;

private:
    TFileDialogKind dialogKind_ = TFileDialogKind::dkOpen;
    std::unique_ptr<widgets::TUcOpenDialog> dialog_;
};

enum class TDirDialogKind { dkClassLib, dkWin32 };

class TDirectoryEdit : public TFileDirEdit {
public:
    CLASSLIB_CLASS_NAME(TDirectoryEdit)
    explicit TDirectoryEdit(classlib::TComponent* AOwner);

    TDirDialogKind DialogKind() const { return dialogKind_; }
    void SetDialogKind(TDirDialogKind Value) { dialogKind_ = Value; }
    const std::wstring& DialogText() const { return dialogText_; }
    void SetDialogText(const std::wstring& Value) { dialogText_ = Value; }
    // The kit folder dialog's options (sdAllowCreate, ...).
    TSelectDirOpts DialogOptions() const { return dialogOptions_; }
    void SetDialogOptions(TSelectDirOpts Value) { dialogOptions_ = Value; }
    const std::wstring& InitialDir() const { return initialDir_; }
    void SetInitialDir(const std::wstring& Value) { initialDir_ = Value; }
    // Several folders, joined by ";".
    bool MultipleDirs() const { return multipleDirs_; }
    void SetMultipleDirs(bool Value) { multipleDirs_ = Value; }
    // The folder the browser shows: the text, else InitialDir, else "\" (also for a folder that
    // does not exist).
    std::wstring StartFolder();
    // How the folder is asked for: the system's folder browser for dkWin32 on a new-style shell,
    // else the kit's folder dialog with DialogOptions; tests may put their own.
    std::function<bool(std::wstring& Folder)> BrowseFolder;

    std::string GetLongName() override;
    std::string GetShortName() override;
    void ButtonClick() override;

protected:
    void ReceptFileDir(const std::wstring& Name) override;
    bool Multiple() const override { return multipleDirs_; }

private:
    void AddFolder(const std::wstring& Folder);
    TDirDialogKind dialogKind_ = TDirDialogKind::dkClassLib;
    std::wstring dialogText_;
    TSelectDirOpts dialogOptions_ = 0;
    std::wstring initialDir_;
    bool multipleDirs_ = false;
};

}  // namespace widgets::kit
