// The drag source, the file source and the format enumerator.
#include "widgets/custom/drop_source.h"

#include <commctrl.h>
#include <shlobj.h>
#include <wrl/client.h>

#include <cstring>
#include <string>
#include <utility>

#include "classlib/conversions.h"
#include "classlib/image_list.h"

namespace widgets::custom {

using Microsoft::WRL::ComPtr;

namespace {

// OLE for the thread that loads the program, from the program's start to its end.
struct TOleForThisThread {
    TOleForThisThread() : result(OleInitialize(nullptr)) {}
    ~TOleForThisThread() {
        if (SUCCEEDED(result)) OleUninitialize();
    }
    HRESULT result;
} gOle;

// A movable, zero-filled block of Size bytes, or nullptr.
HGLOBAL NewBlock(size_t Size) { return GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, Size); }

// A block holding the names one after the other, each with its terminating zero, and one more
// zero after the last; Prefix bytes are left free before the first name.
template <typename Char>
HGLOBAL NameBlock(const std::vector<std::basic_string<Char>>& Names, size_t Prefix) {
    size_t size = Prefix + sizeof(Char);
    for (const auto& n : Names) size += (n.size() + 1) * sizeof(Char);
    HGLOBAL block = NewBlock(size);
    if (block == nullptr) return nullptr;
    auto* base = static_cast<std::uint8_t*>(GlobalLock(block));
    auto* p = reinterpret_cast<Char*>(base + Prefix);
    for (const auto& n : Names) {
        std::memcpy(p, n.data(), n.size() * sizeof(Char));
        p += n.size() + 1;
    }
    GlobalUnlock(block);
    return block;
}

std::vector<std::wstring> Lines(const unicode::TWideStrings& List) {
    std::vector<std::wstring> lines;
    for (int i = 0; i < List.Count(); ++i) lines.push_back(List.Strings(i));
    return lines;
}

HGLOBAL ValueBlock(DWORD Value) {
    HGLOBAL block = NewBlock(sizeof Value);
    if (block == nullptr) return nullptr;
    std::memcpy(GlobalLock(block), &Value, sizeof Value);
    GlobalUnlock(block);
    return block;
}

}  // namespace

const TShellClipboardFormats& ShellClipboardFormats() {
    static const TShellClipboardFormats formats{
        RegisterClipboardFormatW(L"FileContents"),  RegisterClipboardFormatW(L"FileGroupDescriptor"),
        RegisterClipboardFormatW(L"Shell IDList Array"),  RegisterClipboardFormatW(L"Preferred DropEffect"),
        RegisterClipboardFormatW(L"UniformResourceLocator"), RegisterClipboardFormatW(L"FileNameMap"),
        RegisterClipboardFormatW(L"FileNameMapW")};
    return formats;
}

// ---- TInterfacedComponent ----------------------------------------------------------------------

ULONG TInterfacedComponent::ReleaseReference() {
    const LONG count = --refCount_;
    if (count == 0) delete this;
    return static_cast<ULONG>(count);
}

HRESULT TInterfacedComponent::QueryInterfaceFor(REFIID Iid, void** Object) {
    (void)Iid;
    *Object = nullptr;
    return E_NOINTERFACE;
}

// ---- TDropSource -------------------------------------------------------------------------------

TDropSource::TDropSource(classlib::TComponent* AOwner) : TInterfacedComponent(AOwner) {}
TDropSource::~TDropSource() = default;

HRESULT TDropSource::QueryInterfaceFor(REFIID Iid, void** Object) {
    if (IsEqualIID(Iid, IID_IUnknown) || IsEqualIID(Iid, IID_IDropSource)) {
        *Object = static_cast<IDropSource*>(this);
    } else if (IsEqualIID(Iid, IID_IDataObject)) {
        *Object = static_cast<IDataObject*>(this);
    } else {
        return TInterfacedComponent::QueryInterfaceFor(Iid, Object);
    }
    AddReference();
    return S_OK;
}

HRESULT TDropSource::QueryInterface(REFIID Iid, void** Object) {
    if (Object == nullptr) return E_POINTER;
    return QueryInterfaceFor(Iid, Object);
}

HRESULT TDropSource::Failed(HRESULT Answer) {
    if (!pendingError_) pendingError_ = std::current_exception();
    return Answer;
}

void TDropSource::AddFormatEtc(CLIPFORMAT Format, DVTARGETDEVICE* Device, DWORD Aspect, LONG Index, DWORD Media) {
    if (FormatCount() >= MaxFormats) return;
    formats_.push_back(FORMATETC{Format, Device, Aspect, Index, Media});
}

int TDropSource::Execute() {
    DWORD allowed = 0;
    if (dragTypes_ & DragTypeBit(TDragType::dtCopy)) allowed |= DROPEFFECT_COPY;
    if (dragTypes_ & DragTypeBit(TDragType::dtMove)) allowed |= DROPEFFECT_MOVE;
    if (dragTypes_ & DragTypeBit(TDragType::dtLink)) allowed |= DROPEFFECT_LINK;
    DWORD effect = DROPEFFECT_NONE;
    pendingError_ = nullptr;
    dragImage_ = showImage_ && images_ != nullptr && ImageList_BeginDrag(images_->Handle(), imageIndex_, hotSpotX_, hotSpotY_);
    if (dragImage_) {
        POINT p{};
        GetCursorPos(&p);
        ImageList_DragEnter(nullptr, p.x, p.y);
    }
    const HRESULT result = DoDragDrop(static_cast<IDataObject*>(this), static_cast<IDropSource*>(this), allowed, &effect);
    if (dragImage_) {
        ImageList_DragLeave(nullptr);
        ImageList_EndDrag();
        dragImage_ = false;
    }
    if (pendingError_) std::rethrow_exception(std::exchange(pendingError_, nullptr));
    if (result == E_OUTOFMEMORY) return drOutOfMemory;
    if (result == DRAGDROP_S_CANCEL) return drCancel;
    if (result != DRAGDROP_S_DROP) return drError;
    effect &= allowed;
    if (effect & DROPEFFECT_COPY) return drCopy;
    if (effect & DROPEFFECT_MOVE) return drMove;
    if (effect & DROPEFFECT_LINK) return drLink;
    return drCancel;
}

HRESULT TDropSource::QueryContinueDrag(BOOL EscapePressed, DWORD KeyState) {
    if (EscapePressed) return DRAGDROP_S_CANCEL;
    if (KeyState & (MK_LBUTTON | MK_RBUTTON)) return S_OK;
    TDragType type;
    if (currentEffect_ & DROPEFFECT_COPY)
        type = TDragType::dtCopy;
    else if (currentEffect_ & DROPEFFECT_MOVE)
        type = TDragType::dtMove;
    else if (currentEffect_ & DROPEFFECT_LINK)
        type = TDragType::dtLink;
    else
        return DRAGDROP_S_CANCEL;
    if ((dragTypes_ & DragTypeBit(type)) == 0) return DRAGDROP_S_CANCEL;
    bool continueDrop = true;
    try {
        if (OnDrop) OnDrop(this, type, continueDrop);
    } catch (...) {
        return Failed(DRAGDROP_S_CANCEL);
    }
    return continueDrop ? DRAGDROP_S_DROP : DRAGDROP_S_CANCEL;
}

HRESULT TDropSource::GiveFeedback(DWORD Effect) {
    currentEffect_ = Effect;
    if (dragImage_) {
        POINT p{};
        GetCursorPos(&p);
        ImageList_DragMove(p.x, p.y);
    }
    bool useDefault = true;
    try {
        if (OnFeedback) OnFeedback(this, static_cast<int>(Effect), useDefault);
    } catch (...) {
        return Failed(DRAGDROP_S_USEDEFAULTCURSORS);
    }
    return useDefault ? DRAGDROP_S_USEDEFAULTCURSORS : S_OK;
}

void TDropSource::SetImages(classlib::TCustomImageList* Value) {
    if (Value == images_) return;
    images_ = Value;
    if (Value != nullptr) Value->FreeNotification(this);
    if (HasState(classlib::csLoading)) return;
    imageIndex_ = 0;
    showImage_ = Value != nullptr;
}

void TDropSource::SetShowImage(bool Value) { showImage_ = Value && (images_ != nullptr || HasState(classlib::csLoading)); }

void TDropSource::SetImageIndex(int Value) {
    if (HasState(classlib::csLoading)) {
        imageIndex_ = Value;
        return;
    }
    if (images_ == nullptr || Value < 0) {
        imageIndex_ = 0;
        showImage_ = false;
        return;
    }
    if (Value >= images_->Count()) return;
    imageIndex_ = Value;
}

void TDropSource::Notification(classlib::TComponent* AComponent, classlib::TOperation Operation) {
    TInterfacedComponent::Notification(AComponent, Operation);
    if (Operation == classlib::TOperation::opRemove && AComponent == images_) {
        images_ = nullptr;
        imageIndex_ = 0;
        showImage_ = false;
    }
}

HRESULT TDropSource::GetDataFor(const FORMATETC& Format, STGMEDIUM& Medium) {
    (void)Format;
    (void)Medium;
    return DV_E_FORMATETC;
}

HRESULT TDropSource::GetData(FORMATETC* Format, STGMEDIUM* Medium) {
    if (Format == nullptr || Medium == nullptr) return E_INVALIDARG;
    std::memset(Medium, 0, sizeof *Medium);
    try {
        return GetDataFor(*Format, *Medium);
    } catch (...) {
        return Failed(E_UNEXPECTED);
    }
}

HRESULT TDropSource::GetDataHere(FORMATETC*, STGMEDIUM*) { return E_NOTIMPL; }

HRESULT TDropSource::QueryGetData(FORMATETC* Format) {
    if (Format == nullptr) return E_INVALIDARG;
    for (const FORMATETC& f : formats_)
        if (f.cfFormat == Format->cfFormat && f.dwAspect == Format->dwAspect && (f.tymed & Format->tymed) != 0)
            return S_OK;
    return E_FAIL;
}

HRESULT TDropSource::GetCanonicalFormatEtc(FORMATETC* In, FORMATETC* Out) {
    if (Out == nullptr) return E_INVALIDARG;
    if (In != nullptr) *Out = *In;
    Out->ptd = nullptr;
    return DATA_S_SAMEFORMATETC;
}

HRESULT TDropSource::SetData(FORMATETC*, STGMEDIUM*, BOOL) { return E_NOTIMPL; }

HRESULT TDropSource::EnumFormatEtc(DWORD Direction, IEnumFORMATETC** Enum) {
    if (Enum == nullptr) return E_INVALIDARG;
    *Enum = nullptr;
    if (Direction == DATADIR_SET) return E_NOTIMPL;
    if (Direction != DATADIR_GET) return E_INVALIDARG;
    *Enum = new (std::nothrow) TEnumFormatEtc(formats_);
    return *Enum != nullptr ? S_OK : E_OUTOFMEMORY;
}

HRESULT TDropSource::DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) { return OLE_E_ADVISENOTSUPPORTED; }
HRESULT TDropSource::DUnadvise(DWORD) { return OLE_E_ADVISENOTSUPPORTED; }
HRESULT TDropSource::EnumDAdvise(IEnumSTATDATA**) { return OLE_E_ADVISENOTSUPPORTED; }

bool TDropSource::PutOnClipboard(DWORD Effect) {
    if (!OpenClipboard(nullptr)) return false;
    bool put = false;
    try {
        EmptyClipboard();
        put = CopyFilesToClipboard();
        if (put) {
            currentEffect_ = Effect;
            if (HGLOBAL block = ValueBlock(Effect)) {
                if (SetClipboardData(ShellClipboardFormats().PreferredDropEffect, block) == nullptr) GlobalFree(block);
            }
        }
    } catch (...) {
        CloseClipboard();
        throw;
    }
    CloseClipboard();
    return put;
}

bool TDropSource::CutToClipboard() { return PutOnClipboard(DROPEFFECT_MOVE); }
bool TDropSource::CopyToClipboard() { return PutOnClipboard(DROPEFFECT_COPY); }

// ---- TDropFileSourceW --------------------------------------------------------------------------

TDropFileSourceW::TDropFileSourceW(classlib::TComponent* AOwner)
    : TDropSource(AOwner),
      files_(std::make_unique<unicode::TUcStringList>()),
      mappedNames_(std::make_unique<unicode::TUcStringList>()) {
    const TShellClipboardFormats& cf = ShellClipboardFormats();
    for (UINT format : {static_cast<UINT>(CF_HDROP), cf.ShellIDListArray, cf.PreferredDropEffect, cf.FileNameMap, cf.FileNameMapW})
        AddFormatEtc(static_cast<CLIPFORMAT>(format), nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL);
}

TDropFileSourceW::~TDropFileSourceW() = default;

HGLOBAL TDropFileSourceW::RenderFileDrop() const {
    HGLOBAL block = NameBlock(Lines(*files_), sizeof(DROPFILES));
    if (block == nullptr) return nullptr;
    auto* drop = static_cast<DROPFILES*>(GlobalLock(block));
    drop->pFiles = sizeof(DROPFILES);
    drop->fWide = static_cast<BOOL>(0xFFFFFFFF);
    GlobalUnlock(block);
    return block;
}

HRESULT TDropFileSourceW::RenderIdListArray(HGLOBAL& Block) const {
    ComPtr<IShellFolder> desktop;
    if (FAILED(SHGetDesktopFolder(desktop.GetAddressOf())) || !desktop) return E_OUTOFMEMORY;
    // Each file's ID list as the desktop's parser gives it, freed to the shell's allocator.
    struct TIdList {
        PIDLIST_RELATIVE pidl = nullptr;
        ~TIdList() { CoTaskMemFree(pidl); }
    };
    const int count = files_->Count();
    std::vector<TIdList> lists(static_cast<size_t>(count));
    std::vector<UINT> sizes(static_cast<size_t>(count));
    const size_t header = sizeof(UINT) * (static_cast<size_t>(count) + 2);
    size_t total = header + sizeof(USHORT);  // the parent: the empty list of the desktop
    for (int i = 0; i < count; ++i) {
        std::wstring path = files_->Strings(i);
        ULONG eaten = 0;
        if (FAILED(desktop->ParseDisplayName(nullptr, nullptr, path.data(), &eaten, &lists[i].pidl, nullptr)) ||
            lists[i].pidl == nullptr)
            return E_OUTOFMEMORY;
        sizes[i] = ILGetSize(reinterpret_cast<PCUIDLIST_RELATIVE>(lists[i].pidl));
        total += sizes[i];
    }
    Block = NewBlock(total);
    if (Block == nullptr) return E_OUTOFMEMORY;
    auto* base = static_cast<std::uint8_t*>(GlobalLock(Block));
    auto* offsets = reinterpret_cast<UINT*>(base);
    offsets[0] = static_cast<UINT>(count);
    offsets[1] = static_cast<UINT>(header);  // the parent's two zero bytes
    size_t at = header + sizeof(USHORT);
    for (int i = 0; i < count; ++i) {
        offsets[i + 2] = static_cast<UINT>(at);
        std::memcpy(base + at, lists[i].pidl, sizes[i]);
        at += sizes[i];
    }
    GlobalUnlock(Block);
    return S_OK;
}

HRESULT TDropFileSourceW::GetDataFor(const FORMATETC& Format, STGMEDIUM& Medium) {
    if (files_->Count() == 0) return E_UNEXPECTED;
    if (Format.dwAspect != DVASPECT_CONTENT || (Format.tymed & TYMED_HGLOBAL) == 0) return DV_E_FORMATETC;
    const TShellClipboardFormats& cf = ShellClipboardFormats();
    const UINT format = Format.cfFormat;
    const bool mapped = mappedNames_->Count() == files_->Count();
    HGLOBAL block = nullptr;
    if (format == CF_HDROP) {
        block = RenderFileDrop();
    } else if (format == cf.FileNameMap && mapped) {
        std::vector<std::string> names;
        for (const std::wstring& n : Lines(*mappedNames_)) names.push_back(classlib::WideToAnsi(n));
        block = NameBlock(names, 0);
    } else if (format == cf.FileNameMapW && mapped) {
        block = NameBlock(Lines(*mappedNames_), 0);
    } else if (format == cf.ShellIDListArray) {
        HRESULT r = RenderIdListArray(block);
        if (FAILED(r)) return r;
    } else if (format == cf.PreferredDropEffect) {
        block = ValueBlock(currentEffect_);
    } else {
        return DV_E_FORMATETC;
    }
    if (block == nullptr) return E_OUTOFMEMORY;
    Medium.tymed = TYMED_HGLOBAL;
    Medium.hGlobal = block;
    Medium.pUnkForRelease = nullptr;
    return S_OK;
}

bool TDropFileSourceW::CopyFilesToClipboard() {
    if (files_->Count() == 0) return false;
    HGLOBAL block = RenderFileDrop();
    if (block == nullptr) return false;
    if (SetClipboardData(CF_HDROP, block) == nullptr) {
        GlobalFree(block);
        return false;
    }
    return true;
}

// ---- TEnumFormatEtc ----------------------------------------------------------------------------

HRESULT TEnumFormatEtc::QueryInterface(REFIID Iid, void** Object) {
    if (Object == nullptr) return E_POINTER;
    if (IsEqualIID(Iid, IID_IUnknown) || IsEqualIID(Iid, IID_IEnumFORMATETC)) {
        *Object = static_cast<IEnumFORMATETC*>(this);
        AddRef();
        return S_OK;
    }
    *Object = nullptr;
    return E_NOINTERFACE;
}

ULONG TEnumFormatEtc::Release() {
    const LONG count = --refCount_;
    if (count == 0) delete this;
    return static_cast<ULONG>(count);
}

HRESULT TEnumFormatEtc::Next(ULONG Count, FORMATETC* Formats, ULONG* Fetched) {
    if (Formats == nullptr || (Count > 1 && Fetched == nullptr)) return E_INVALIDARG;
    ULONG copied = 0;
    while (copied < Count && index_ < formats_.size()) Formats[copied++] = formats_[index_++];
    if (Fetched != nullptr) *Fetched = copied;
    return copied == Count ? S_OK : S_FALSE;
}

HRESULT TEnumFormatEtc::Skip(ULONG Count) {
    const ULONG left = static_cast<ULONG>(formats_.size()) - index_;
    if (Count > left) {
        index_ = static_cast<ULONG>(formats_.size());
        return S_FALSE;
    }
    index_ += Count;
    return S_OK;
}

HRESULT TEnumFormatEtc::Reset() {
    index_ = 0;
    return S_OK;
}

HRESULT TEnumFormatEtc::Clone(IEnumFORMATETC** Enum) {
    if (Enum == nullptr) return E_INVALIDARG;
    *Enum = new (std::nothrow) TEnumFormatEtc(formats_, index_);
    return *Enum != nullptr ? S_OK : E_OUTOFMEMORY;
}

}  // namespace widgets::custom
