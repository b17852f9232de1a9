// The kit's own folder dialog, made of ordinary controls: a typed folder name, the folders on the
// way to the current one and in it, its files (for sight only) and the drives. It serves where the
// system's folder browser is not asked for or not there (shells older than the new style).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "widgets/unicode/uc_forms.h"
#include "widgets/unicode/uc_list_box.h"
#include "widgets/unicode/uc_std_buttons.h"
#include "widgets/unicode/uc_std_controls.h"
#include "widgets/unicode/uc_edits.h"

namespace widgets::kit {

// What the dialog does with a typed folder that does not exist: without sdAllowCreate it refuses
// it; with it, sdPrompt asks first whether to create it, and sdPerformCreate creates it (else the
// name is handed back for the caller to create).
enum TSelectDirOpt : std::uint32_t {
    sdAllowCreate = 1u << 0,
    sdPerformCreate = 1u << 1,
    sdPrompt = 1u << 2,
};
using TSelectDirOpts = std::uint32_t;

class TSelectDirDlg : public widgets::TUcForm {
public:
    CLASSLIB_CLASS_NAME(TSelectDirDlg)
    explicit TSelectDirDlg(classlib::TComponent* AOwner);

    // The folder the lists show (a drive root keeps its backslash). Setting a folder that does not
    // exist shows its nearest existing parent (or the current folder) and keeps the name typed.
    const std::wstring& Directory() const { return directory_; }
    void SetDirectory(const std::wstring& Value);
    TSelectDirOpts Options() const { return options_; }
    void SetOptions(TSelectDirOpts Value) { options_ = Value; }
    // The chosen folder once OK closed the dialog.
    const std::wstring& Chosen() const { return chosen_; }
    // The folder of each line of DirList.
    const std::vector<std::wstring>& DirPaths() const { return dirPaths_; }

    widgets::TUcLabel* NameLabel = nullptr;
    widgets::TUcEdit* DirEdit = nullptr;
    widgets::TUcLabel* DirLabel = nullptr;
    widgets::TUcListBox* DirList = nullptr;
    widgets::TUcLabel* FileLabel = nullptr;
    widgets::TUcListBox* FileList = nullptr;
    widgets::TUcLabel* DriveLabel = nullptr;
    widgets::TUcComboBox* DriveCombo = nullptr;
    widgets::TUcButton* OKButton = nullptr;
    widgets::TUcButton* CancelButton = nullptr;
    widgets::TUcButton* HelpButton = nullptr;

    // OK: takes the typed folder (relative to the shown one) when it exists, or creates or hands
    // back a new one as the options say; a refused name keeps the dialog open with its reason.
    void OKButtonClick(classlib::TObject* Sender);
    // A line of the folder list: shown in the name box; a double-click opens it.
    void DirListClick(classlib::TObject* Sender);
    void DirListDblClick(classlib::TObject* Sender);
    void DriveComboChange(classlib::TObject* Sender);
    void HelpButtonClick(classlib::TObject* Sender);

private:
    void Fill(const std::wstring& Folder);
    // The typed name as a full path (relative to the shown folder), empty when it is not one.
    std::wstring TypedFolder();
    bool AcceptNew(const std::wstring& Folder);

    std::wstring directory_;
    std::wstring chosen_;
    std::vector<std::wstring> dirPaths_;
    std::vector<std::wstring> drives_;
    TSelectDirOpts options_ = 0;
};

// Asks for a folder in the kit's folder dialog, owned by the application; on OK writes the chosen
// folder into Directory and answers true.
bool SelectDirectory(std::wstring& Directory, TSelectDirOpts Options, int HelpContext);

}  // namespace widgets::kit
