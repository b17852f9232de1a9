// The class library's common dialogs: the open and save dialogs over the system's file dialogs
// (ANSI, with a dialog procedure that brings the dialog's notifications to the component) and the
// picture preview a file dialog can carry, and the font and colour dialogs.
#pragma once

#include <windows.h>
#include <commdlg.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "classlib/ansi_strings.h"
#include "classlib/controls.h"
#include "classlib/graphics.h"
#include "classlib/images.h"

namespace classlib {

// Whether the system has the new-style (explorer) dialogs; true on every system we run on.
extern bool NewStyleControls;
// Whether a dialog with an empty initial folder opens in the current folder ("." is passed).
extern bool ForceCurrentDirectory;

// ---- Common dialog ---------------------------------------------------------------------------
// A dialog component: Execute shows the system's dialog task-modally (the other windows of the
// thread disabled) and answers whether the user confirmed. While it runs, Handle() is the
// window of the dialog procedure (for a file dialog in the explorer style: a child of the
// system's dialog window).
class TCommonDialog : public TComponent {
public:
    CLASSLIB_CLASS_NAME(TCommonDialog)
    explicit TCommonDialog(TComponent* AOwner) : TComponent(AOwner) {}
    HWND Handle() const { return handle_; }
    int HelpContext() const { return helpContext_; }
    void SetHelpContext(int Value) { helpContext_ = Value; }
    virtual bool Execute() = 0;

    // Runs when the dialog window appears / goes away.
    TNotifyEvent OnShow;
    TNotifyEvent OnClose;

    // The dialog procedure's messages (exceptions are caught around it and handed to the
    // application). WM_INITDIALOG runs OnShow, WM_DESTROY OnClose.
    virtual void WndProc(TMessage& Message);

    // The dialog procedure every dialog of the library runs with: at WM_INITDIALOG binds the
    // window to the dialog being executed (CurrentDialog), then calls its WndProc.
    static UINT_PTR CALLBACK DialogHook(HWND Window, UINT Msg, WPARAM WParam, LPARAM LParam);

    // The dialog whose Execute is running now (nullptr outside); a nested Execute keeps the
    // outer one and puts it back.
    static TCommonDialog* CurrentDialog();

protected:
    // Makes this the current dialog and calls the system's dialog function with the other windows of the thread disabled, and
    // the previous active window back afterwards.
    bool TaskModalDialog(const std::function<BOOL()>& DialogFunc);
    virtual void DoShow();
    virtual void DoClose();
    void SetHandle(HWND Value) { handle_ = Value; }

private:
    HWND handle_ = nullptr;
    int helpContext_ = 0;
};

// ---- Open and save dialogs -------------------------------------------------------------------
enum TOpenOption : std::uint32_t {
    ofReadOnly = 1u << 0,
    ofOverwritePrompt = 1u << 1,
    ofHideReadOnly = 1u << 2,
    ofNoChangeDir = 1u << 3,
    ofShowHelp = 1u << 4,
    ofNoValidate = 1u << 5,
    ofAllowMultiSelect = 1u << 6,
    ofExtensionDifferent = 1u << 7,
    ofPathMustExist = 1u << 8,
    ofFileMustExist = 1u << 9,
    ofCreatePrompt = 1u << 10,
    ofShareAware = 1u << 11,
    ofNoReadOnlyReturn = 1u << 12,
    ofNoTestFileCreate = 1u << 13,
    ofNoNetworkButton = 1u << 14,
    ofNoLongNames = 1u << 15,
    ofOldStyleDialog = 1u << 16,
    ofNoDereferenceLinks = 1u << 17,
    ofEnableIncludeNotify = 1u << 18,
    ofEnableSizing = 1u << 19,
    ofDontAddToRecent = 1u << 20,
    ofForceShowHidden = 1u << 21,
};
using TOpenOptions = std::uint32_t;

// The system's flags (OFN_*) of a set of options, and the options of a set of flags.
DWORD OpenOptionsToFlags(TOpenOptions Options);

using TCanCloseEvent = std::function<void(TObject* Sender, bool& CanClose)>;
using TIncludeItemEvent = std::function<void(const OFNOTIFYEXA& OFN, bool& Include)>;

// Splits the file buffer of a file dialog into full file names. Without multi-select the
// buffer (up to its first terminator) is the one file. With it the parts are separated by
// Separator (a blank for the old style, else a terminator) and end at an empty part: one part is
// the file; several are the folder and the files in it (a part that starts with "\" or has ":\"
// in its second and third places is a full path already).
template <typename CharT>
std::vector<std::basic_string<CharT>> SplitDialogFileNames(const CharT* Buffer, size_t Size, bool MultiSelect,
                                                           CharT Separator) {
    using Str = std::basic_string<CharT>;
    std::vector<Str> files;
    if (!MultiSelect) {
        size_t n = 0;
        while (n < Size && Buffer[n] != 0) ++n;
        files.emplace_back(Buffer, n);
        return files;
    }
    std::vector<Str> parts;
    size_t i = 0;
    while (i < Size && Buffer[i] != 0) {
        size_t start = i;
        while (i < Size && Buffer[i] != 0 && Buffer[i] != Separator) ++i;
        parts.emplace_back(Buffer + start, i - start);
        if (i < Size && Buffer[i] == Separator) ++i;
        // In the blank-separated form a terminator ends the list; in the other two in a row.
        if (Separator != 0 && i < Size && Buffer[i] == 0) break;
    }
    if (parts.size() == 1) return parts;
    if (parts.empty()) return files;
    Str folder = parts[0];
    if (folder.empty() || folder.back() != CharT('\\')) folder.push_back(CharT('\\'));
    for (size_t k = 1; k < parts.size(); ++k) {
        const Str& p = parts[k];
        bool full = (!p.empty() && p[0] == CharT('\\')) ||
                    (p.size() > 3 && p[1] == CharT(':') && p[2] == CharT('\\'));
        Str name = full ? Str() : folder;
        name.append(p);
        files.push_back(std::move(name));
    }
    return files;
}

// ---- Picture preview -------------------------------------------------------------------------
// The pane a picture dialog adds beside the explorer-style file dialog's own controls, through a
// dialog template of its own: the selected file's picture fitted into a box (never enlarged) and
// its size in pixels above it ("640 x 480"), or "(None)" when the selection is no picture it can
// read (.bmp, .ico, .jpg, .jpeg).
class TPicturePreview {
public:
    static constexpr int kSizeLabelId = 1200;
    static constexpr int kPictureBoxId = 1201;

    TPicturePreview();
    // The template the dialog runs with (OFN_ENABLETEMPLATEHANDLE); valid while this lives.
    const void* Template() const { return template_.data(); }
    // Binds to the window made from the template (the dialog's hook window) / lets it go.
    void Attach(HWND HookDialog);
    void Detach();
    // Shows the picture of a file; an empty name, a folder or a file that is no readable picture
    // shows none.
    void Select(const std::wstring& FileName);
    // Paints the picture box (WM_DRAWITEM of the hook window); answers whether it was the box.
    bool DrawItem(const DRAWITEMSTRUCT& Item) const;
    const TPicture& Picture() const { return picture_; }
    const std::wstring& SizeText() const { return sizeText_; }

private:
    std::vector<WORD> template_;
    HWND dialog_ = nullptr;
    TPicture picture_;
    std::wstring sizeText_;
};

// How an old-style file dialog shows its file-name box: a plain edit, or a combo box listing
// HistoryList.
enum class TFileEditStyle { fsEdit, fsComboBox };

// The open dialog. Options default to ofHideReadOnly and ofEnableSizing; FilterIndex to 1. The
// filter is "Name|Pattern|Name|Pattern...". After a confirmed Execute, FileName is the (first)
// chosen file and Files every chosen file; FilterIndex the chosen filter.
class TOpenDialog : public TCommonDialog {
public:
    CLASSLIB_CLASS_NAME(TOpenDialog)
    explicit TOpenDialog(TComponent* AOwner);

    const std::string& DefaultExt() const { return defaultExt_; }
    void SetDefaultExt(const std::string& Value) { defaultExt_ = Value; }
    // While the dialog is open in the explorer style: the path the dialog holds now.
    std::string FileName();
    void SetFileName(const std::string& Value) { fileName_ = Value; }
    const std::string& Filter() const { return filter_; }
    void SetFilter(const std::string& Value) { filter_ = Value; }
    int FilterIndex() const { return filterIndex_; }
    void SetFilterIndex(int Value) { filterIndex_ = Value; }
    const std::string& InitialDir() const { return initialDir_; }
    void SetInitialDir(const std::string& Value) { initialDir_ = Value; }
    const std::string& Title() const { return title_; }
    void SetTitle(const std::string& Value) { title_ = Value; }
    TOpenOptions Options() const { return options_; }
    void SetOptions(TOpenOptions Value) { options_ = Value; }
    TStrings* Files() { return &files_; }
    // Kept for the old-style dialog's file-name box; the explorer-style dialog the class library
    // shows keeps its own history, so neither changes what Execute shows.
    TFileEditStyle FileEditStyle() const { return fileEditStyle_; }
    void SetFileEditStyle(TFileEditStyle Value) { fileEditStyle_ = Value; }
    TStrings* HistoryList() { return &historyList_; }

    // Shows the system's open dialog (GetOpenFileNameA).
    bool Execute() override;

    // Asked when the user confirms (false keeps the dialog open).
    TCanCloseEvent OnCanClose;
    TNotifyEvent OnFolderChange;
    TNotifyEvent OnSelectionChange;
    TNotifyEvent OnTypeChange;
    // Asked per item with ofEnableIncludeNotify.
    TIncludeItemEvent OnIncludeItem;

    // The file dialog's notifications: CDN_FILEOK asks DoCanClose (a refusal keeps the dialog
    // open), CDN_TYPECHANGE takes the filter index, the others run their events; a selection
    // change and WM_DRAWITEM also go to the picture preview.
    void WndProc(TMessage& Message) override;

protected:
    using TDialogFunction = std::function<BOOL(OPENFILENAMEA*)>;
    // Prepares the structure from the properties, runs Func with it task-modally and, when it
    // succeeds, takes the chosen names, the read-only and extension flags and the filter index.
    bool DoExecute(const TDialogFunction& Func);
    // OnCanClose's word (true without handler).
    virtual bool DoCanClose();
    virtual void DoIncludeItem(const OFNOTIFYEXA& OFN, bool& Include);
    // Takes the names of the structure's file buffer into Files and FileName.
    void GetFileNames(const OPENFILENAMEA& Ofn);
    // The file name kept by the component (FileName without asking the open dialog).
    const std::string& FileNameField() const { return fileName_; }
    void SetOptionFlag(TOpenOption Option, bool On) { options_ = On ? (options_ | Option) : (options_ & ~Option); }
    // The separator of a multi-selection in the dialog the flags ask for.
    static bool BlankSeparated(DWORD Flags);
    // Gives the explorer-style dialog a picture preview (not owned; nullptr: none).
    void SetPicturePreview(TPicturePreview* Value) { preview_ = Value; }
    // The selected file as the preview reads it (this dialog's FileName widened).
    virtual std::wstring PreviewFileName();
    void DoShow() override;
    void DoClose() override;

private:
    std::string defaultExt_;
    std::string fileName_;
    std::string filter_;
    int filterIndex_ = 1;
    std::string initialDir_;
    std::string title_;
    TOpenOptions options_ = ofHideReadOnly | ofEnableSizing;
    TStringList files_;
    TFileEditStyle fileEditStyle_ = TFileEditStyle::fsEdit;
    TStringList historyList_;
    TPicturePreview* preview_ = nullptr;
};

// The save dialog: the same component showing GetSaveFileNameA.
class TSaveDialog : public TOpenDialog {
public:
    CLASSLIB_CLASS_NAME(TSaveDialog)
    explicit TSaveDialog(TComponent* AOwner) : TOpenDialog(AOwner) {}
    bool Execute() override;
};

// ---- Font and colour dialogs -----------------------------------------------------------------
enum TFontDialogOption : std::uint32_t {
    fdAnsiOnly = 1u << 0,
    fdTrueTypeOnly = 1u << 1,
    fdEffects = 1u << 2,
    fdFixedPitchOnly = 1u << 3,
    fdForceFontExist = 1u << 4,
    fdNoFaceSel = 1u << 5,
    fdNoOEMFonts = 1u << 6,
    fdNoSimulations = 1u << 7,
    fdNoSizeSel = 1u << 8,
    fdNoStyleSel = 1u << 9,
    fdNoVectorFonts = 1u << 10,
    fdShowHelp = 1u << 11,
    fdWysiwyg = 1u << 12,
    fdLimitSize = 1u << 13,
    fdScalableOnly = 1u << 14,
};
using TFontDialogOptions = std::uint32_t;

// The font dialog: Font is shown and, when confirmed, takes the chosen font and colour.
class TFontDialog : public TCommonDialog {
public:
    CLASSLIB_CLASS_NAME(TFontDialog)
    explicit TFontDialog(TComponent* AOwner) : TCommonDialog(AOwner) {}
    TFont* Font() { return &font_; }
    void SetFont(TFont* Value) { font_.Assign(Value); }
    TFontDialogOptions Options() const { return options_; }
    void SetOptions(TFontDialogOptions Value) { options_ = Value; }
    int MinFontSize() const { return minFontSize_; }
    void SetMinFontSize(int Value) { minFontSize_ = Value; }
    int MaxFontSize() const { return maxFontSize_; }
    void SetMaxFontSize(int Value) { maxFontSize_ = Value; }
    bool Execute() override;

private:
    TFont font_;
    TFontDialogOptions options_ = fdEffects;
    int minFontSize_ = 0;
    int maxFontSize_ = 0;
};

enum TColorDialogOption : std::uint32_t {
    cdFullOpen = 1u << 0,
    cdPreventFullOpen = 1u << 1,
    cdShowHelp = 1u << 2,
    cdSolidColor = 1u << 3,
    cdAnyColor = 1u << 4,
};
using TColorDialogOptions = std::uint32_t;

// The colour dialog. CustomColors holds up to 16 lines "ColorA=RRGGBB" ... "ColorP=..." (hex,
// blue-green-red order as the system stores them); lines missing or unreadable are white.
class TColorDialog : public TCommonDialog {
public:
    CLASSLIB_CLASS_NAME(TColorDialog)
    explicit TColorDialog(TComponent* AOwner) : TCommonDialog(AOwner) {}
    TColor Color() const { return color_; }
    void SetColor(TColor Value) { color_ = Value; }
    TColorDialogOptions Options() const { return options_; }
    void SetOptions(TColorDialogOptions Value) { options_ = Value; }
    TStrings* CustomColors() { return &customColors_; }
    bool Execute() override;

private:
    TColor color_ = clBlack;
    TColorDialogOptions options_ = 0;
    TStringList customColors_;
};

}  // namespace classlib
