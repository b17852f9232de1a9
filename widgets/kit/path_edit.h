// The kit's file-name and folder edits: combo edits whose button opens a file dialog or the folder
// browser and writes the choice into the text, and which can take dropped files.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "classlib/dialogs.h"
#include "classlib/exceptions.h"
#include "widgets/kit/combo_edit.h"

namespace widgets::kit {

// The combo edits' error (an invalid file name).
class EComboEditError : public classlib::Exception {
public:
    using Exception::Exception;
};

using TExecOpenDialogEvent = std::function<void(classlib::TObject* Sender, std::string& Name, bool& Action)>;

// The file name a text stands for: the text itself when such a file exists, the first item of a
// text that starts with a double quote, else the whole text (a new path with blanks stays whole).
std::string FileNameOfText(const std::string& Text);
// A name as text: in double quotes when it holds a blank and is not quoted already.
std::string TextOfFileName(const std::string& Name);

class TFileDirEdit : public TCustomComboEdit {
public:
    CLASSLIB_CLASS_NAME(TFileDirEdit)
    explicit TFileDirEdit(classlib::TComponent* AOwner);

    bool AcceptFiles() const { return acceptFiles_; }
    void SetAcceptFiles(bool Value);
    // The text as a wide path. The edit keeps the system code page, which cannot hold every name:
    // the wide path last given (or chosen in the folder browser) stands for the text as long as the
    // text is still that path in the code page; any other text is widened as it is.
    std::wstring WideText();
    void SetWideText(const std::wstring& Value);
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
    virtual void ReceptFileDir(const std::string& Name) = 0;
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

    // The file name of the text (see FileNameOfText).
    std::string FileName();
    // Raises EComboEditError "Invalid file name - %s" for a name that is not valid; the text
    // stays as it was.
    void SetFileName(const std::string& Value);
    TFileDialogKind DialogKind() const { return dialogKind_; }
    // A new kind makes a new dialog that takes over the old one's settings.
    void SetDialogKind(TFileDialogKind Value);
    classlib::TOpenDialog* Dialog() const { return dialog_.get(); }
    const std::string& DefaultExt() const { return dialog_->DefaultExt(); }
    // Kept without a leading dot.
    void SetDefaultExt(const std::string& Value);
    const std::string& Filter() const { return dialog_->Filter(); }
    void SetFilter(const std::string& Value) { dialog_->SetFilter(Value); }
    int FilterIndex() const { return dialog_->FilterIndex(); }
    void SetFilterIndex(int Value) { dialog_->SetFilterIndex(Value); }
    const std::string& InitialDir() const { return dialog_->InitialDir(); }
    void SetInitialDir(const std::string& Value) { dialog_->SetInitialDir(Value); }
    classlib::TOpenOptions DialogOptions() const { return dialog_->Options(); }
    // Without ofAllowMultiSelect the dialog's file list is emptied.
    void SetDialogOptions(classlib::TOpenOptions Value);
    const std::string& DialogTitle() const { return dialog_->Title(); }
    void SetDialogTitle(const std::string& Value) { dialog_->SetTitle(Value); }
    classlib::TStrings* DialogFiles() { return dialog_->Files(); }
    classlib::TFileEditStyle FileEditStyle() const { return dialog_->FileEditStyle(); }
    void SetFileEditStyle(classlib::TFileEditStyle Value) { dialog_->SetFileEditStyle(Value); }
    classlib::TStrings* HistoryList() { return dialog_->HistoryList(); }

    std::string GetLongName() override;
    std::string GetShortName() override;
    void ButtonClick() override;

protected:
    void ReceptFileDir(const std::string& Name) override;
    void ClearFileList() override;
    bool Multiple() const override;

private:
    TFileDialogKind dialogKind_ = TFileDialogKind::dkOpen;
    std::unique_ptr<classlib::TOpenDialog> dialog_;
};

enum class TDirDialogKind { dkClassLib, dkWin32 };

class TDirectoryEdit : public TFileDirEdit {
public:
    CLASSLIB_CLASS_NAME(TDirectoryEdit)
    explicit TDirectoryEdit(classlib::TComponent* AOwner);

    TDirDialogKind DialogKind() const { return dialogKind_; }
    void SetDialogKind(TDirDialogKind Value) { dialogKind_ = Value; }
    const std::string& DialogText() const { return dialogText_; }
    void SetDialogText(const std::string& Value) { dialogText_ = Value; }
    std::uint32_t DialogOptions() const { return dialogOptions_; }
    void SetDialogOptions(std::uint32_t Value) { dialogOptions_ = Value; }
    const std::string& InitialDir() const { return initialDir_; }
    void SetInitialDir(const std::string& Value) { initialDir_ = Value; }
    // Several folders, joined by ";".
    bool MultipleDirs() const { return multipleDirs_; }
    void SetMultipleDirs(bool Value) { multipleDirs_ = Value; }
    // The folder the browser shows: the text, else InitialDir, else "\" (also for a folder that
    // does not exist).
    std::string StartFolder();
    // How the browser is run (the system's folder browser by default); tests put their own.
    std::function<bool(std::string& Folder)> BrowseFolder;

    std::string GetLongName() override;
    std::string GetShortName() override;
    void ButtonClick() override;

protected:
    void ReceptFileDir(const std::string& Name) override;
    bool Multiple() const override { return multipleDirs_; }

private:
    void AddFolder(const std::string& Folder);
    TDirDialogKind dialogKind_ = TDirDialogKind::dkClassLib;
    std::string dialogText_;
    std::uint32_t dialogOptions_ = 0;
    std::string initialDir_;
    bool multipleDirs_ = false;
};

}  // namespace widgets::kit
