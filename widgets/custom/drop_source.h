// Dragging files out of the program: a component that starts an OLE drag and serves as both the
// drop source and the data object, and copies or cuts the same files to the clipboard. The file
// source offers its files in the shell's formats (file drop, ID-list array, preferred effect and
// the name maps).
#pragma once

#include <windows.h>
#include <ole2.h>

#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <vector>

#include "classlib/objects.h"
#include "unicode/wide_strings.h"

namespace classlib {
class TCustomImageList;
}

namespace widgets::custom {

// A component that is also a COM object: its references are counted with interlocked steps, and
// the release that brings the count to 0 frees it. It holds one reference to itself from its
// creation, so its owner (or creator) frees it as any component.
class TInterfacedComponent : public classlib::TComponent {
public:
    CLASSLIB_CLASS_NAME(TInterfacedComponent)
    explicit TInterfacedComponent(classlib::TComponent* AOwner) : classlib::TComponent(AOwner) {}
    ULONG AddReference() { return static_cast<ULONG>(++refCount_); }
    ULONG ReleaseReference();
    LONG RefCount() const { return refCount_; }

protected:
    // The interfaces the class answers; E_NOINTERFACE for others.
    virtual HRESULT QueryInterfaceFor(REFIID Iid, void** Object);

private:
    std::atomic<LONG> refCount_{1};
};

enum class TDragType : std::uint8_t { dtCopy, dtMove, dtLink };
using TDragTypes = std::uint8_t;  // a set of TDragType bits
constexpr TDragTypes DragTypeBit(TDragType T) { return static_cast<TDragTypes>(1u << static_cast<unsigned>(T)); }

using TDropEvent = std::function<void(classlib::TObject* Sender, TDragType DragType, bool& ContinueDrop)>;
using TFeedbackEvent = std::function<void(classlib::TObject* Sender, int Effect, bool& UseDefaultCursors)>;

// The results of Execute.
enum TDragResult : int { drCopy = 0, drMove = 1, drLink = 2, drCancel = 3, drOutOfMemory = 4, drError = 5 };

// The clipboard formats of the shell that the file source uses (registered at first use).
struct TShellClipboardFormats {
    UINT FileContents, FileGroupDescriptor, ShellIDListArray, PreferredDropEffect, UniformResourceLocator,
        FileNameMap, FileNameMapW;
};
const TShellClipboardFormats& ShellClipboardFormats();

// Carries the drag machinery and the format list (at most MaxFormats entries). Main thread only
// (the thread that initialised OLE). Exceptions of the events never cross the COM calls: the drag
// is cancelled and Execute raises them again.
class TDropSource : public TInterfacedComponent, public IDropSource, public IDataObject {
public:
    CLASSLIB_CLASS_NAME(TDropSource)
    static constexpr int MaxFormats = 20;
    explicit TDropSource(classlib::TComponent* AOwner);
    ~TDropSource() override;

    TDragTypes Dragtypes() const { return dragTypes_; }
    void SetDragtypes(TDragTypes Value) { dragTypes_ = Value; }
    // The drag image: image ImageIndex of Images, shown while ShowImage is on. Setting Images
    // resets ImageIndex to 0 and shows the image when there is a list; an index below 0, or any
    // index without a list, gives 0 and no image; an index past the list's end is ignored. The
    // three are simply stored while the component is being loaded.
    classlib::TCustomImageList* Images() const { return images_; }
    void SetImages(classlib::TCustomImageList* Value);
    bool ShowImage() const { return showImage_; }
    void SetShowImage(bool Value);
    int ImageIndex() const { return imageIndex_; }
    void SetImageIndex(int Value);
    int ImageHotSpotX() const { return hotSpotX_; }
    void SetImageHotSpotX(int Value) { hotSpotX_ = Value; }
    int ImageHotSpotY() const { return hotSpotY_; }
    void SetImageHotSpotY(int Value) { hotSpotY_ = Value; }
    DWORD CurrentEffect() const { return currentEffect_; }
    int FormatCount() const { return static_cast<int>(formats_.size()); }
    const FORMATETC& Formats(int Index) const { return formats_.at(static_cast<size_t>(Index)); }

    // Runs the system's drag loop with this component as data object and drop source; answers a
    // TDragResult.
    int Execute();

    // Renders one format (the base renders none).
    virtual HRESULT GetDataFor(const FORMATETC& Format, STGMEDIUM& Medium);
    // Adds an entry to the format list; entries past MaxFormats are ignored.
    virtual void AddFormatEtc(CLIPFORMAT Format, DVTARGETDEVICE* Device, DWORD Aspect, LONG Index, DWORD Media);
    // Puts the files on the (open) clipboard; answers whether something was put there.
    virtual bool CopyFilesToClipboard() { return false; }
    virtual bool CutToClipboard();
    virtual bool CopyToClipboard();

    TDropEvent OnDrop;
    TFeedbackEvent OnFeedback;

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID Iid, void** Object) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return AddReference(); }
    ULONG STDMETHODCALLTYPE Release() override { return ReleaseReference(); }
    // IDropSource
    HRESULT STDMETHODCALLTYPE QueryContinueDrag(BOOL EscapePressed, DWORD KeyState) override;
    HRESULT STDMETHODCALLTYPE GiveFeedback(DWORD Effect) override;
    // IDataObject
    HRESULT STDMETHODCALLTYPE GetData(FORMATETC* Format, STGMEDIUM* Medium) override;
    HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC* Format, STGMEDIUM* Medium) override;
    HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC* Format) override;
    HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC* In, FORMATETC* Out) override;
    HRESULT STDMETHODCALLTYPE SetData(FORMATETC* Format, STGMEDIUM* Medium, BOOL Release) override;
    HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD Direction, IEnumFORMATETC** Enum) override;
    HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC* Format, DWORD Flags, IAdviseSink* Sink, DWORD* Connection) override;
    HRESULT STDMETHODCALLTYPE DUnadvise(DWORD Connection) override;
    HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA** Enum) override;

    void Notification(classlib::TComponent* AComponent, classlib::TOperation Operation) override;

protected:
    HRESULT QueryInterfaceFor(REFIID Iid, void** Object) override;
    // Keeps an event's exception for Execute and answers the cancel.
    HRESULT Failed(HRESULT Answer);
    bool PutOnClipboard(DWORD Effect);
    DWORD currentEffect_ = 0;

private:
    TDragTypes dragTypes_ = DragTypeBit(TDragType::dtCopy);
    int hotSpotX_ = 16, hotSpotY_ = 16;
    classlib::TCustomImageList* images_ = nullptr;
    bool showImage_ = false;
    int imageIndex_ = 0;
    bool dragImage_ = false;
    std::vector<FORMATETC> formats_;
    std::exception_ptr pendingError_;
};

// Offers Files (full wide paths) to drop targets and the clipboard. MappedNames, when it holds as
// many names as Files, gives the names the files take at their destination.
class TDropFileSourceW : public TDropSource {
public:
    CLASSLIB_CLASS_NAME(TDropFileSourceW)
    explicit TDropFileSourceW(classlib::TComponent* AOwner);
    ~TDropFileSourceW() override;

    unicode::TUcStringList* Files() const { return files_.get(); }
    void SetFiles(unicode::TWideStrings* Value) { files_->Assign(Value); }
    unicode::TUcStringList* MappedNames() const { return mappedNames_.get(); }
    void SetMappedNames(unicode::TWideStrings* Value) { mappedNames_->Assign(Value); }

    // E_UNEXPECTED without files; each shell format only for the content aspect in global memory.
    HRESULT GetDataFor(const FORMATETC& Format, STGMEDIUM& Medium) override;
    bool CopyFilesToClipboard() override;

    // The file-drop block (DROPFILES and the wide names), or nullptr when it cannot be made.
    HGLOBAL RenderFileDrop() const;

private:
    HRESULT RenderIdListArray(HGLOBAL& Block) const;
    std::unique_ptr<unicode::TUcStringList> files_, mappedNames_;
};

// Enumerates a copy of a format list.
class TEnumFormatEtc : public IEnumFORMATETC {
public:
    TEnumFormatEtc(std::vector<FORMATETC> Formats, ULONG Index = 0) : formats_(std::move(Formats)), index_(Index) {}
    virtual ~TEnumFormatEtc() = default;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID Iid, void** Object) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++refCount_); }
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE Next(ULONG Count, FORMATETC* Formats, ULONG* Fetched) override;
    HRESULT STDMETHODCALLTYPE Skip(ULONG Count) override;
    HRESULT STDMETHODCALLTYPE Reset() override;
    HRESULT STDMETHODCALLTYPE Clone(IEnumFORMATETC** Enum) override;

private:
    std::atomic<LONG> refCount_{1};
    std::vector<FORMATETC> formats_;
    ULONG index_;
};

}  // namespace widgets::custom
