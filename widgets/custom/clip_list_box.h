// The clip list: a multi-select wide list box of file entries kept in the order of a sort key,
// with a hint telling the selection counts, deletion by the Delete key, files dragged out to the
// shell, and a background loader that fills it from dropped files, folders, play lists, the
// clipboard or the fixed drives.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

#include "classlib/threads.h"
#include "unicode/wide_strings.h"
#include "widgets/custom/clip_entries.h"
#include "widgets/custom/drop_source.h"
#include "widgets/unicode/uc_list_box.h"

namespace widgets::custom {

using TonCountsChangeEvent = std::function<void(int iselcount, int icount)>;
using TonActiveChangeEvent = std::function<void(TAbstractListFichier* actif)>;
using TBeforeListerEvent = std::function<bool(TAbstractListFichier* bf)>;
using TfileFoundEvent = std::function<void(const std::wstring& wfolder, TSRFichier* sf)>;
using TFolderFoundEvent = std::function<void(const std::wstring& wfolder)>;
using TTestExtensionEvent = std::function<bool(const std::wstring& wfilename)>;
using TOpenStartEvent = std::function<void()>;
using TOpenEndEvent = std::function<void(int nb)>;
using TCreateFichierEvent = std::function<TlfCLass(const std::wstring& ext)>;

class TThreadOpen;

// The list box owns its entries: an entry it refuses, replaces or deletes is freed at once. Items
// show each entry's name; the sort key list runs parallel to them. Main thread only, except the
// loader, which reaches the list box through synchronised calls.
class TFichierListBox : public widgets::TUcListBox {
public:
    CLASSLIB_CLASS_NAME(TFichierListBox)
    explicit TFichierListBox(classlib::TComponent* AOwner);
    ~TFichierListBox() override;

    // Adds an entry at the place of its key; an entry whose key is there already replaces the
    // one with that key (the same file). Answers its index, or -1 when BeforeLister refused it.
    int AddFichier(std::unique_ptr<TAbstractListFichier> Entry, bool Select);
    TAbstractListFichier* Fichier(int Index);
    int FichierCount() const { return static_cast<int>(entries_.size()); }
    // The entry of the focused item, or nullptr.
    TAbstractListFichier* FocusedFichier();

    const TSortIndex& SortIndex() const { return sortIndex_; }
    // Re-sorts, keeping the focused and the selected entries.
    void SetSortIndex(const TSortIndex& Value);
    bool AcceptFiles() const { return acceptFiles_; }
    void SetAcceptFiles(bool Value);
    bool KeyDelete() const { return keyDelete_; }
    void SetKeyDelete(bool Value) { keyDelete_ = Value; }
    bool SelectionnerOuverts() const { return selectionnerOuverts_; }
    void SetSelectionnerOuverts(bool Value) { selectionnerOuverts_ = Value; }
    std::wstring PreferredFolder, PreferredPlayList;

    // Focuses (and, unless -1, selects) item Index, then reports focus and counts.
    void SelectItem(int Index);
    // Removes the selected items; then the item above the lowest removed one is selected.
    void DeleteSelected();
    // Removes the item Index alone; the focus stays on the entry it was on (on the one before it
    // when that was the removed one), and no selection changes.
    void RemoveFichier(int Index);
    TDropFileSourceW* DropSource() const { return dropSource_; }

    // The loader: mode 0 scans Paths, 1 the first path's folder tree, 2 reads the first path as a
    // play list, 3 scans every fixed drive, 4 the shell files on the clipboard, 5 the files
    // dropped on the list box. Refused (false) while a load runs.
    bool StartLoading(int Mode, const std::vector<std::wstring>& Paths = {});
    // Asks a running load to end and waits for it.
    void StopLoading();
    bool Loading() const { return loading_; }
    bool Busy() const { return busy_; }

    TBeforeListerEvent BeforeLister;
    TOpenStartEvent OnOpenStart;
    TOpenEndEvent OnOpenEnd;
    TfileFoundEvent OnOpenFileFound;
    TFolderFoundEvent OnOpenFolderFound;
    TTestExtensionEvent OnOpenTestExtension;
    TCreateFichierEvent OnCreateFichier;
    TonCountsChangeEvent OnCountsChange;
    TonActiveChangeEvent OnActiveChange;

    void Dispatch(classlib::TMessage& Message) override;
    void SetFocus() override;

protected:
    void CreateWnd() override;
    void MouseDown(classlib::TMouseButton Button, classlib::TShiftState Shift, int X, int Y) override;
    void MouseMove(classlib::TShiftState Shift, int X, int Y) override;
    void MouseUp(classlib::TMouseButton Button, classlib::TShiftState Shift, int X, int Y) override;
    void KeyUp(WORD& Key, classlib::TShiftState Shift) override;

private:
    friend class TThreadOpen;
    void ReportCounts();
    void ReportFocus();
    void Resort();
    int InsertSorted(std::unique_ptr<TAbstractListFichier> Entry);
    void FillDropSource();
    int Caret();
    void SetCaret(int Index);
    void Forget(TAbstractListFichier* Entry);
    bool StartLoader(int Mode, const std::vector<std::wstring>& Paths, HDROP Drop);

    TSortIndex sortIndex_;
    unicode::TUcStringList keys_;
    std::vector<std::unique_ptr<TAbstractListFichier>> entries_;
    TDropFileSourceW* dropSource_ = nullptr;
    int lastCount_ = 0, lastSelCount_ = 0;
    TAbstractListFichier* lastFocused_ = nullptr;
    POINT pressPoint_{};
    bool dragging_ = false;
    bool acceptFiles_ = false, keyDelete_ = false, selectionnerOuverts_ = false;
    std::unique_ptr<TThreadOpen> loader_;
    std::atomic<bool> loading_{false};
    bool busy_ = false;
};

// The background loader. It never changes the process's current folder: every path it scans
// is a full one.
class TThreadOpen : public classlib::TThread {
public:
    CLASSLIB_CLASS_NAME(TThreadOpen)
    TThreadOpen(int Mode, TFichierListBox* ListBox, const std::vector<std::wstring>& Paths, HDROP Drop);
    ~TThreadOpen() override;
    int Found() const { return found_; }

    // Names of 65531 characters or more are skipped.
    static constexpr size_t MaxNameLength = 65531;

protected:
    void Execute() override;

private:
    // The work of the mode; answers the count of entries added.
    int Load();
    int Scan(const std::wstring& Folder, const std::wstring& Pattern, bool Recursive);
    int ScanPath(const std::wstring& Path, bool Recursive);
    int ReadPlayList(const std::wstring& FileName);
    std::vector<std::wstring> ClipboardFiles();
    std::vector<std::wstring> DroppedFiles();

    int mode_;
    TFichierListBox* listBox_;
    std::vector<std::wstring> paths_;
    HDROP drop_;
    std::atomic<int> found_{0};
};

}  // namespace widgets::custom
