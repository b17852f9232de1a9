// The clip list box and its background loader.
#include "widgets/custom/clip_list_box.h"

#include <shellapi.h>

#include <algorithm>
#include <cstdlib>

#include "classlib/conversions.h"
#include "unicode/wide_files.h"

namespace widgets::custom {

namespace {

// The names a file drop carries, without those of MaxNameLength characters or more.
std::vector<std::wstring> FilesOfDrop(HDROP Drop) {
    std::vector<std::wstring> names;
    const UINT n = DragQueryFileW(Drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < n; ++i) {
        const UINT length = DragQueryFileW(Drop, i, nullptr, 0);
        if (length >= TThreadOpen::MaxNameLength) continue;
        std::wstring name(length + 1, L'\0');
        DragQueryFileW(Drop, i, name.data(), length + 1);
        name.resize(length);
        names.push_back(name);
    }
    return names;
}

}  // namespace

TFichierListBox::TFichierListBox(classlib::TComponent* AOwner) : widgets::TUcListBox(AOwner), sortIndex_(SortAlpha()) {
    SetMultiSelect(true);
    SetExtendedSelect(true);
    SetIntegralHeight(true);
    keys_.SetSorted(true);
    // Equal keys (a sort key some entries have no text for) are kept side by side; AddFichier
    // itself tells the same file apart.
    keys_.SetDuplicates(unicode::dupAccept);
    dropSource_ = new TDropFileSourceW(this);
    dropSource_->OnDrop = [this](classlib::TObject*, TDragType, bool&) { FillDropSource(); };
}

TFichierListBox::~TFichierListBox() {
    StopLoading();
    // The items' objects go before the entries they point at.
    if (HandleAllocated()) Items()->Clear();
    lastFocused_ = nullptr;
}

TAbstractListFichier* TFichierListBox::Fichier(int Index) {
    if (Index < 0 || Index >= FichierCount()) return nullptr;
    return entries_[static_cast<size_t>(Index)].get();
}

int TFichierListBox::Caret() {
    const int count = Count();
    const int caret = ItemIndex();
    return caret >= 0 && caret < count ? caret : -1;
}

void TFichierListBox::SetCaret(int Index) { SendMessageW(Handle(), LB_SETCARETINDEX, static_cast<WPARAM>(Index), FALSE); }

TAbstractListFichier* TFichierListBox::FocusedFichier() { return Fichier(Caret()); }

void TFichierListBox::Forget(TAbstractListFichier* Entry) {
    if (lastFocused_ == Entry) lastFocused_ = nullptr;
}

int TFichierListBox::InsertSorted(std::unique_ptr<TAbstractListFichier> Entry) {
    const int pos = keys_.Add(Entry->GetKey(sortIndex_));
    Items()->InsertObject(pos, Entry->Name(), Entry.get());
    entries_.insert(entries_.begin() + pos, std::move(Entry));
    return pos;
}

int TFichierListBox::AddFichier(std::unique_ptr<TAbstractListFichier> Entry, bool Select) {
    if (!Entry) return -1;
    // A refused entry is freed here, never left to leak.
    if (BeforeLister && !BeforeLister(Entry.get())) return -1;
    int pos = 0;
    if (keys_.Find(Entry->GetKey(sortIndex_), pos)) {
        // The same file again: the new entry takes the old one's place, the text stays.
        Forget(entries_[static_cast<size_t>(pos)].get());
        Items()->SetObjects(pos, Entry.get());
        entries_[static_cast<size_t>(pos)] = std::move(Entry);
    } else {
        int focused = Caret();
        pos = InsertSorted(std::move(Entry));
        if (focused >= pos && focused >= 0 && focused < Count() - 1) ++focused;
        if (Select || pos == focused) SetSelected(pos, true);
        if (focused >= 0) SetCaret(focused);
    }
    if (Count() == 1) SelectItem(0);
    ReportCounts();
    return pos;
}

void TFichierListBox::SelectItem(int Index) {
    if (Index < -1 || Index >= Count()) return;
    SetCaret(Index);
    if (Index != -1) SetSelected(Index, true);
    ReportFocus();
    ReportCounts();
}

void TFichierListBox::ReportCounts() {
    const int count = Count();
    const int selected = SelCount();
    if (count != lastCount_ || selected != lastSelCount_) {
        lastCount_ = count;
        lastSelCount_ = selected;
        const std::wstring s = selected >= 2 ? L"s" : L"";
        SetHint(std::to_wstring(selected) + L" fichier" + s + L" s\x00E9lectionn\x00E9" + s + L" sur " +
                std::to_wstring(count) + L"\r\n");
    }
    if (OnCountsChange) OnCountsChange(selected, count);
}

void TFichierListBox::ReportFocus() {
    const int focused = Caret();
    if (focused >= 0) {
        TAbstractListFichier* entry = Fichier(focused);
        if (entry != lastFocused_ && OnActiveChange) {
            lastFocused_ = entry;
            OnActiveChange(entry);
        }
        SetSelected(focused, true);
    } else if (lastFocused_ != nullptr) {
        lastFocused_ = nullptr;
        if (OnActiveChange) OnActiveChange(nullptr);
    }
}

void TFichierListBox::Resort() {
    if (entries_.empty()) return;
    TAbstractListFichier* focused = FocusedFichier();
    std::vector<std::unique_ptr<TAbstractListFichier>> old = std::move(entries_);
    entries_.clear();
    Items()->BeginUpdate();
    try {
        Items()->Clear();
        keys_.Clear();
        for (auto& entry : old) InsertSorted(std::move(entry));
    } catch (...) {
        Items()->EndUpdate();
        throw;
    }
    Items()->EndUpdate();
    for (int i = 0; i < FichierCount(); ++i)
        if (Fichier(i) == focused) SelectItem(i);
}

void TFichierListBox::SetSortIndex(const TSortIndex& Value) {
    sortIndex_ = Value;
    if (entries_.empty()) return;
    std::vector<TAbstractListFichier*> selected;
    for (int i = 0; i < Count(); ++i)
        if (Selected(i)) selected.push_back(Fichier(i));
    TAbstractListFichier* focused = FocusedFichier();
    Resort();
    for (int i = 0; i < FichierCount(); ++i)
        if (Fichier(i) == focused) SelectItem(i);
    for (int i = 0; i < FichierCount(); ++i)
        if (std::find(selected.begin(), selected.end(), Fichier(i)) != selected.end()) SetSelected(i, true);
    Invalidate();
    if (OnCountsChange) OnCountsChange(SelCount(), Count());
}

void TFichierListBox::DeleteSelected() {
    int lowest = -1;
    for (int i = Count() - 1; i >= 0; --i) {
        if (!Selected(i)) continue;
        Forget(Fichier(i));
        Items()->Delete(i);
        keys_.Delete(i);
        entries_.erase(entries_.begin() + i);
        lowest = i;
    }
    SelectItem(lowest <= 0 ? 0 : lowest - 1);
}

void TFichierListBox::RemoveFichier(int Index) {
    if (Index < 0 || Index >= FichierCount()) return;
    int focused = Caret();
    Forget(Fichier(Index));
    Items()->Delete(Index);
    keys_.Delete(Index);
    entries_.erase(entries_.begin() + Index);
    if (focused > Index || focused >= Count()) --focused;
    if (focused >= 0) SetCaret(focused);
    ReportCounts();
}

void TFichierListBox::SetAcceptFiles(bool Value) {
    acceptFiles_ = Value;
    if (HandleAllocated()) DragAcceptFiles(Handle(), Value);
}

void TFichierListBox::CreateWnd() {
    widgets::TUcListBox::CreateWnd();
    if (acceptFiles_) DragAcceptFiles(Handle(), TRUE);
}

void TFichierListBox::SetFocus() {
    if (CanFocus() && Visible()) widgets::TUcListBox::SetFocus();
}

void TFichierListBox::FillDropSource() {
    dropSource_->Files()->Clear();
    for (int i = 0; i < Count(); ++i)
        if (Selected(i)) dropSource_->Files()->Add(Fichier(i)->Path());
}

void TFichierListBox::MouseDown(classlib::TMouseButton Button, classlib::TShiftState Shift, int X, int Y) {
    widgets::TUcListBox::MouseDown(Button, Shift, X, Y);
    pressPoint_ = POINT{X, Y};
    dragging_ = false;
}

void TFichierListBox::MouseMove(classlib::TShiftState Shift, int X, int Y) {
    widgets::TUcListBox::MouseMove(Shift, X, Y);
    if ((Shift & (classlib::ssLeft | classlib::ssRight)) == 0 || dragging_) return;
    if (std::abs(X - pressPoint_.x) < 10 && std::abs(Y - pressPoint_.y) < 10) return;
    dragging_ = true;
    // The files go into the data object now: drop targets read them as soon as the drag enters.
    FillDropSource();
    if (dropSource_->Files()->Count() > 0) dropSource_->Execute();
}

void TFichierListBox::MouseUp(classlib::TMouseButton Button, classlib::TShiftState Shift, int X, int Y) {
    widgets::TUcListBox::MouseUp(Button, Shift, X, Y);
    ReportCounts();
    ReportFocus();
}

void TFichierListBox::KeyUp(WORD& Key, classlib::TShiftState Shift) {
    widgets::TUcListBox::KeyUp(Key, Shift);
    if (Shift & (classlib::ssCtrl | classlib::ssAlt)) return;
    switch (Key) {
        case VK_DELETE:
            if (!(Shift & classlib::ssShift) && keyDelete_) DeleteSelected();
            break;
        case VK_PRIOR: case VK_NEXT: case VK_END: case VK_HOME: case VK_UP: case VK_DOWN: break;
        default: return;
    }
    ReportCounts();
    ReportFocus();
}

void TFichierListBox::Dispatch(classlib::TMessage& Message) {
    if (Message.Msg == WM_DROPFILES) {
        auto drop = reinterpret_cast<HDROP>(Message.WParam);
        if (!acceptFiles_ || !StartLoader(5, {}, drop)) DragFinish(drop);
        Message.Result = 0;
        return;
    }
    widgets::TUcListBox::Dispatch(Message);
}

bool TFichierListBox::StartLoading(int Mode, const std::vector<std::wstring>& Paths) {
    return Mode >= 0 && Mode <= 4 && StartLoader(Mode, Paths, nullptr);
}

bool TFichierListBox::StartLoader(int Mode, const std::vector<std::wstring>& Paths, HDROP Drop) {
    if (busy_ || loading_) return false;
    loader_.reset();  // a finished one
    // Raised here, not by the thread: a second start right after this one is refused.
    loading_ = true;
    loader_ = std::make_unique<TThreadOpen>(Mode, this, Paths, Drop);
    loader_->Resume();
    return true;
}

void TFichierListBox::StopLoading() {
    if (loader_) loader_->TerminateAndWait();
    loader_.reset();
    busy_ = false;
    loading_ = false;
}

// ---- TThreadOpen -------------------------------------------------------------------------------

TThreadOpen::TThreadOpen(int Mode, TFichierListBox* ListBox, const std::vector<std::wstring>& Paths, HDROP Drop)
    : classlib::TThread(true), mode_(Mode), listBox_(ListBox), paths_(Paths), drop_(Drop) {}

TThreadOpen::~TThreadOpen() {
    TerminateAndWait();
    if (drop_ != nullptr) DragFinish(drop_);
}

void TThreadOpen::Execute() {
    found_ = 0;
    TFichierListBox* box = listBox_;
    int found = 0;
    std::exception_ptr failure;
    try {
        Synchronize([box] {
            box->busy_ = true;
            if (box->OnOpenStart) box->OnOpenStart();
        });
        found = Load();
    } catch (...) {
        failure = std::current_exception();
    }
    // The end is told whatever happened, so that the list box can load again.
    paths_.clear();
    found_ = found;
    listBox_->loading_ = false;
    Synchronize([box, found] {
        box->busy_ = false;
        if (box->OnOpenEnd) box->OnOpenEnd(found);
    });
    if (failure) std::rethrow_exception(failure);
}

int TThreadOpen::Load() {
    int found = 0;
    switch (mode_) {
        case 0:
            for (const std::wstring& path : paths_) {
                if (Terminated()) break;
                found += ScanPath(path, false);
            }
            break;
        case 1:
            if (!paths_.empty()) found += Scan(unicode::WideIncludeTrailingBackslash(paths_[0]), L"*.*", true);
            break;
        case 2:
            if (!paths_.empty()) found += ReadPlayList(paths_[0]);
            break;
        case 3:
            for (wchar_t drive = L'A'; drive <= L'Z' && !Terminated(); ++drive) {
                const std::wstring root = std::wstring(1, drive) + L":\\";
                if (GetDriveTypeW(root.c_str()) == DRIVE_FIXED) found += Scan(root, L"*.*", true);
            }
            break;
        case 4:
            for (const std::wstring& name : ClipboardFiles()) {
                if (Terminated()) break;
                found += ScanPath(name, true);
            }
            break;
        case 5:
            for (const std::wstring& name : DroppedFiles()) {
                if (Terminated()) break;
                found += classlib::AnsiLowerCase(unicode::WideExtractFileExt(name)) == L".txt" ? ReadPlayList(name)
                                                                                             : ScanPath(name, true);
            }
            DragFinish(drop_);
            drop_ = nullptr;
            break;
        default: break;
    }
    return found;
}

int TThreadOpen::ScanPath(const std::wstring& Path, bool Recursive) {
    if (Path.size() >= MaxNameLength) return 0;
    // A folder is scanned for everything it holds, a file (or a pattern) in its folder.
    if (Recursive && unicode::WideDirectoryExists(Path))
        return Scan(unicode::WideIncludeTrailingBackslash(Path), L"*.*", true);
    return Scan(unicode::WideExtractFilePath(Path), unicode::WideExtractFileName(Path), Recursive);
}

int TThreadOpen::Scan(const std::wstring& Folder, const std::wstring& Pattern, bool Recursive) {
    if (Terminated()) return 0;
    TFichierListBox* box = listBox_;
    if (Recursive)
        Synchronize([box, &Folder] {
            if (box->OnOpenFolderFound) box->OnOpenFolderFound(Folder);
        });
    WIN32_FIND_DATAW found{};
    HANDLE find = FindFirstFileW((Folder + Pattern).c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return 0;
    int count = 0;
    do {
        if (Terminated()) break;
        const std::wstring name = found.cFileName;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (Recursive && name != L"." && name != L"..")
                count += Scan(Folder + name + L"\\", Pattern, true);
            continue;
        }
        // The list box's events run on the main thread, as everything that touches it.
        bool added = false;
        Synchronize([box, &Folder, &found, &name, &added] {
            if (box->OnOpenTestExtension && !box->OnOpenTestExtension(name)) return;
            TlfCLass make = box->OnCreateFichier ? box->OnCreateFichier(unicode::WideExtractFileExt(name)) : nullptr;
            std::unique_ptr<TSRFichier> entry = make ? make(Folder, found) : TSRFichier::CreateFromFind(Folder, found);
            if (!entry) return;
            TSRFichier* raw = entry.get();
            added = box->AddFichier(std::move(entry), box->SelectionnerOuverts()) >= 0;
            if (added && box->OnOpenFileFound) box->OnOpenFileFound(Folder, raw);
        });
        if (added) ++count;
    } while (FindNextFileW(find, &found));
    FindClose(find);
    return count;
}

int TThreadOpen::ReadPlayList(const std::wstring& FileName) {
    unicode::TUcStringList lines;
    try {
        lines.LoadFromFile(FileName);
    } catch (const classlib::Exception&) {
        return 0;  // an unreadable play list adds nothing
    }
    const std::wstring folder = unicode::WideExtractFilePath(FileName);
    int count = 0;
    for (int i = 0; i < lines.Count() && !Terminated(); ++i) {
        std::wstring line = classlib::Trim(lines.Strings(i));
        if (line.empty() || line[0] == L'#') continue;
        // A relative line names a file beside the play list.
        const bool absolute = line.size() >= 2 && (line[1] == L':' || (line[0] == L'\\' && line[1] == L'\\'));
        if (!absolute) line = folder + line;
        count += ScanPath(line, false);
    }
    return count;
}

std::vector<std::wstring> TThreadOpen::ClipboardFiles() {
    std::vector<std::wstring> names;
    if (!OpenClipboard(nullptr)) return names;
    if (HANDLE data = GetClipboardData(CF_HDROP)) names = FilesOfDrop(static_cast<HDROP>(data));
    CloseClipboard();
    return names;
}

std::vector<std::wstring> TThreadOpen::DroppedFiles() { return drop_ != nullptr ? FilesOfDrop(drop_) : std::vector<std::wstring>{}; }

}  // namespace widgets::custom
