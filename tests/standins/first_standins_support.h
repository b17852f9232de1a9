// Helpers of the tee, colour converter, event poster and crossbar stand-in tests: COM for one test,
// video media types, a picture source and a recording sink written on the filter base classes,
// pins by index, and a message pump.
#pragma once

#include <windows.h>
#include <dshow.h>
#include <qedit.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "dshow/ds_helpers.h"
#include "filters/base_io_pins.h"

namespace first_standins {

using Microsoft::WRL::ComPtr;

// {C1F400A4-3F08-11D3-9F0B-006008039E37}
inline const CLSID kNullRenderer = {0xC1F400A4, 0x3F08, 0x11D3, {0x9F, 0x0B, 0x00, 0x60, 0x08, 0x03, 0x9E, 0x37}};
// {C1F400A0-3F08-11D3-9F0B-006008039E37}
inline const CLSID kSampleGrabber = {0xC1F400A0, 0x3F08, 0x11D3, {0x9F, 0x0B, 0x00, 0x60, 0x08, 0x03, 0x9E, 0x37}};

// COM for the span of one test (the apartment another test file chose is kept).
class ComScope {
public:
    ComScope() : hr_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~ComScope() {
        if (SUCCEEDED(hr_)) CoUninitialize();
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;

private:
    HRESULT hr_;
};

inline bool PumpUntil(const std::function<bool()>& Done, DWORD TimeoutMs = 10000) {
    DWORD start = GetTickCount();
    while (!Done()) {
        if (GetTickCount() - start > TimeoutMs) return false;
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
    return true;
}

// AM_MEDIA_TYPE that frees its format block.
struct MediaType : AM_MEDIA_TYPE {
    MediaType() : AM_MEDIA_TYPE{} {}
    ~MediaType() { dshow::FreeMediaType(*this); }
    MediaType(const MediaType&) = delete;
    MediaType& operator=(const MediaType&) = delete;
};

// An uncompressed video type: RGB24, RGB32 or YUY2 in a VIDEOINFOHEADER; Height < 0 is top-down.
inline void MakeVideoType(AM_MEDIA_TYPE& Mt, const GUID& Subtype, int Width, int Height) {
    dshow::FreeMediaType(Mt);
    Mt = AM_MEDIA_TYPE{};
    const int bits = Subtype == MEDIASUBTYPE_RGB32 ? 32 : (Subtype == MEDIASUBTYPE_RGB24 ? 24 : 16);
    const int stride = Subtype == MEDIASUBTYPE_YUY2 ? Width * 2 : ((Width * bits + 31) / 32) * 4;
    const int rows = Height < 0 ? -Height : Height;
    Mt.majortype = MEDIATYPE_Video;
    Mt.subtype = Subtype;
    Mt.formattype = FORMAT_VideoInfo;
    Mt.bFixedSizeSamples = TRUE;
    Mt.lSampleSize = static_cast<ULONG>(stride * rows);
    auto* vih = static_cast<VIDEOINFOHEADER*>(CoTaskMemAlloc(sizeof(VIDEOINFOHEADER)));
    std::memset(vih, 0, sizeof(*vih));
    vih->AvgTimePerFrame = 400000;
    vih->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    vih->bmiHeader.biWidth = Width;
    vih->bmiHeader.biHeight = Height;
    vih->bmiHeader.biPlanes = 1;
    vih->bmiHeader.biBitCount = static_cast<WORD>(bits);
    vih->bmiHeader.biCompression = Subtype == MEDIASUBTYPE_YUY2 ? MAKEFOURCC('Y', 'U', 'Y', '2') : BI_RGB;
    vih->bmiHeader.biSizeImage = Mt.lSampleSize;
    Mt.pbFormat = reinterpret_cast<BYTE*>(vih);
    Mt.cbFormat = sizeof(VIDEOINFOHEADER);
}

inline const VIDEOINFOHEADER* VideoInfoOf(const AM_MEDIA_TYPE& Mt) {
    return Mt.formattype == FORMAT_VideoInfo && Mt.cbFormat >= sizeof(VIDEOINFOHEADER)
               ? reinterpret_cast<const VIDEOINFOHEADER*>(Mt.pbFormat)
               : nullptr;
}

// The n-th pin of a filter in enumeration order, or nullptr.
inline ComPtr<IPin> PinAt(IBaseFilter* Filter, int Index) {
    ComPtr<IEnumPins> pins;
    if (Filter == nullptr || FAILED(Filter->EnumPins(&pins))) return nullptr;
    ComPtr<IPin> pin;
    for (int i = 0; pins->Next(1, pin.ReleaseAndGetAddressOf(), nullptr) == S_OK; ++i)
        if (i == Index) return pin;
    return nullptr;
}

inline int PinCount(IBaseFilter* Filter) {
    ComPtr<IEnumPins> pins;
    if (Filter == nullptr || FAILED(Filter->EnumPins(&pins))) return -1;
    ComPtr<IPin> pin;
    int n = 0;
    while (pins->Next(1, pin.ReleaseAndGetAddressOf(), nullptr) == S_OK) ++n;
    return n;
}

inline std::wstring PinName(IPin* Pin) {
    PIN_INFO info{};
    if (Pin == nullptr || FAILED(Pin->QueryPinInfo(&info))) return L"";
    if (info.pFilter != nullptr) info.pFilter->Release();
    return info.achName;
}

inline bool IsConnected(IPin* Pin) {
    ComPtr<IPin> peer;
    return Pin != nullptr && Pin->ConnectedTo(&peer) == S_OK;
}

inline GUID ClassOf(IBaseFilter* Filter) {
    GUID id = GUID_NULL;
    if (Filter != nullptr) Filter->GetClassID(&id);
    return id;
}

template <typename T>
ComPtr<T> Create(REFCLSID Clsid, REFIID Iid) {
    ComPtr<T> object;
    CoCreateInstance(Clsid, nullptr, CLSCTX_INPROC_SERVER, Iid, reinterpret_cast<void**>(object.GetAddressOf()));
    return object;
}

// Fills one picture for frame Frame of a source whose type is Mt.
using PictureFill = std::function<void(std::uint8_t* Data, const AM_MEDIA_TYPE& Mt, int Frame)>;

// A source of one output pin "Out" offering exactly one type; a thread delivers FrameLimit
// pictures made by Fill (every byte = frame number when Fill is empty), then end of stream.
class PictureSource : public filters::TBCBaseFilter {
public:
    PictureSource(const GUID& Subtype, int Width, int Height);
    ~PictureSource() override;
    int GetPinCount() override { return 1; }
    filters::TBCBasePin* GetPin(int n) override;
    IBaseFilter* Filter() { return BaseFilterInterface(); }

    std::atomic<int> FrameLimit{5};
    std::atomic<int> Delivered{0};
    std::atomic<long> ShortBy{0};  // each sample's data length is this much below the picture size
    std::atomic<HRESULT> LastResult{S_OK};  // what the last delivery returned
    std::atomic<DWORD> StreamThread{0};      // the thread that delivers
    PictureFill Fill;
    MediaType Type;
    std::mutex BuffersLock;
    std::vector<const BYTE*> Buffers;  // the buffers it filled

    class Pin : public filters::TBCBaseOutputPin {
    public:
        Pin(PictureSource* Owner, HRESULT& hr)
            : filters::TBCBaseOutputPin("Picture source pin", Owner, Owner->Lock(), hr, L"Out"), owner_(Owner) {}
        ~Pin() override { StopThread(); }
        HRESULT CheckMediaType(const AM_MEDIA_TYPE* Mt) override {
            return Mt != nullptr && filters::TypesEqual(*Mt, owner_->Type) ? S_OK : S_FALSE;
        }
        HRESULT GetMediaType(int Position, AM_MEDIA_TYPE* Mt) override {
            if (Position != 0) return VFW_S_NO_MORE_ITEMS;
            dshow::FreeMediaType(*Mt);
            dshow::CopyMediaType(Mt, &owner_->Type);
            return S_OK;
        }
        HRESULT DecideBufferSize(IMemAllocator* Alloc, ALLOCATOR_PROPERTIES* Props) override {
            Props->cBuffers = 3;
            Props->cbBuffer = static_cast<long>(owner_->Type.lSampleSize);
            if (Props->cbAlign == 0) Props->cbAlign = 1;
            ALLOCATOR_PROPERTIES actual{};
            HRESULT hr = Alloc->SetProperties(Props, &actual);
            if (FAILED(hr)) return hr;
            return actual.cbBuffer < Props->cbBuffer ? E_FAIL : S_OK;
        }
        HRESULT Active() override {
            HRESULT hr = filters::TBCBaseOutputPin::Active();
            if (FAILED(hr)) return hr;
            stop_ = false;
            thread_ = std::thread([this] { Stream(); });
            return S_OK;
        }
        HRESULT Inactive() override {
            stop_ = true;
            HRESULT hr = filters::TBCBaseOutputPin::Inactive();  // frees a thread waiting for a buffer
            StopThread();
            return hr;
        }

    private:
        void StopThread() {
            stop_ = true;
            if (thread_.joinable()) thread_.join();
        }
        void Stream() {
            CoInitializeEx(nullptr, COINIT_MULTITHREADED);
            owner_->StreamThread = GetCurrentThreadId();
            const int limit = owner_->FrameLimit.load();
            const long size = static_cast<long>(owner_->Type.lSampleSize);
            for (int frame = 0; !stop_ && frame < limit; ++frame) {
                ComPtr<IMediaSample> sample;
                if (FAILED(GetDeliveryBuffer(sample.GetAddressOf(), nullptr, nullptr, 0))) break;
                BYTE* data = nullptr;
                sample->GetPointer(&data);
                {
                    std::lock_guard<std::mutex> lock(owner_->BuffersLock);
                    owner_->Buffers.push_back(data);
                }
                if (owner_->Fill)
                    owner_->Fill(data, owner_->Type, frame);
                else
                    std::memset(data, frame & 0xFF, static_cast<size_t>(size));
                sample->SetActualDataLength(size - owner_->ShortBy.load());
                REFERENCE_TIME start = frame * 400000LL, stop = start + 400000LL;
                sample->SetTime(&start, &stop);
                sample->SetSyncPoint(TRUE);
                HRESULT hr = Deliver(sample.Get());
                owner_->LastResult = hr;
                if (hr == S_OK) ++owner_->Delivered;
                else if (FAILED(hr)) break;
            }
            if (!stop_) DeliverEndOfStream();
            CoUninitialize();
        }
        PictureSource* owner_;
        std::thread thread_;
        std::atomic<bool> stop_{false};
    };

private:
    std::unique_ptr<Pin> pin_;
};

inline const CLSID kPictureSourceClass = {0x6a1e1101, 0x5c2b, 0x4f6a, {0x9d, 0x47, 0x7e, 0x4a, 0x1b, 0x2c, 0x3d, 0x19}};
inline const CLSID kRecordingSinkClass = {0x6a1e1102, 0x5c2b, 0x4f6a, {0x9d, 0x47, 0x7e, 0x4a, 0x1b, 0x2c, 0x3d, 0x19}};

inline PictureSource::PictureSource(const GUID& Subtype, int Width, int Height)
    : filters::TBCBaseFilter("Picture source", nullptr, std::make_unique<filters::TBCCritSec>(), kPictureSourceClass) {
    MakeVideoType(Type, Subtype, Width, Height);
    HRESULT hr = S_OK;
    pin_ = std::make_unique<Pin>(this, hr);
}
inline PictureSource::~PictureSource() = default;
inline filters::TBCBasePin* PictureSource::GetPin(int n) { return n == 0 ? pin_.get() : nullptr; }

// A sink of one input pin "In": accepts video of Subtype (any when GUID_NULL) and, when Exact is
// set, only a type equal to it; records frames, the last frame's bytes, end of stream, flushes and
// segments. RefuseSharedAllocator makes it insist on its own allocator.
class RecordingSink : public filters::TBCBaseFilter {
public:
    explicit RecordingSink(const GUID& Subtype = GUID_NULL)
        : filters::TBCBaseFilter("Recording sink", nullptr, std::make_unique<filters::TBCCritSec>(), kRecordingSinkClass),
          subtype_(Subtype) {
        HRESULT hr = S_OK;
        pin_ = std::make_unique<Pin>(this, hr);
    }
    int GetPinCount() override { return 1; }
    filters::TBCBasePin* GetPin(int n) override { return n == 0 ? pin_.get() : nullptr; }
    IBaseFilter* Filter() { return BaseFilterInterface(); }
    // A renderer to the graph, so that its end of stream counts towards EC_COMPLETE.
    HRESULT NonDelegatingQueryInterface(REFIID Iid, void** Object) override {
        if (Iid == IID_IAMFilterMiscFlags) return GetInterface(&flags_, Object);
        return filters::TBCBaseFilter::NonDelegatingQueryInterface(Iid, Object);
    }
    const AM_MEDIA_TYPE& Connected() const { return pin_->CurrentMediaType(); }

    std::unique_ptr<MediaType> Exact;
    bool RefuseSharedAllocator = false;
    std::atomic<int> Frames{0};
    std::atomic<int> BadFrames{0};  // not all bytes equal while CheckUniform is set
    bool CheckUniform = false;
    std::atomic<int> Eos{0};
    std::atomic<int> BeginFlushes{0};
    std::atomic<int> EndFlushes{0};
    std::atomic<int> Segments{0};
    std::atomic<int> ReadOnlyNotified{-1};
    std::mutex Mutex;
    std::vector<std::uint8_t> Last;
    std::vector<int> FirstBytes;
    std::vector<const BYTE*> Buffers;  // the buffers the frames came in
    std::vector<DWORD> Threads;        // the thread each frame came on
    std::atomic<int> FramesAtEos{-1};  // frames received when the end of stream came
    bool NeverWaits = false;           // answers that its Receive never waits
    int FailFrom = -1;                 // from this frame on, Receive fails (E_FAIL)
    // Receive waits, as a paused renderer does, until a flush or the stop lets it go.
    bool WaitInReceive = false;
    std::atomic<int> Waiting{0};
    std::atomic<int> Calls{0};  // Receive calls that passed the base checks

    class Pin : public filters::TBCBaseInputPin {
    public:
        Pin(RecordingSink* Owner, HRESULT& hr)
            : filters::TBCBaseInputPin("Recording sink pin", Owner, Owner->Lock(), hr, L"In"), owner_(Owner) {}
        HRESULT CheckMediaType(const AM_MEDIA_TYPE* Mt) override {
            if (Mt == nullptr || Mt->majortype != MEDIATYPE_Video) return S_FALSE;
            if (owner_->subtype_ != GUID_NULL && Mt->subtype != owner_->subtype_) return S_FALSE;
            if (owner_->Exact && !filters::TypesEqual(*Mt, *owner_->Exact)) return S_FALSE;
            return S_OK;
        }
        HRESULT GetMediaType(int Position, AM_MEDIA_TYPE* Mt) override {
            if (Position != 0 || !owner_->Exact) return VFW_S_NO_MORE_ITEMS;
            dshow::FreeMediaType(*Mt);
            dshow::CopyMediaType(Mt, owner_->Exact.get());
            return S_OK;
        }
        HRESULT NotifyAllocator(IMemAllocator* Alloc, BOOL ReadOnly) override {
            if (owner_->RefuseSharedAllocator) {
                ComPtr<IMemAllocator> own;
                GetAllocator(&own);
                if (own.Get() != Alloc) return E_FAIL;
            }
            owner_->ReadOnlyNotified = ReadOnly ? 1 : 0;
            return filters::TBCBaseInputPin::NotifyAllocator(Alloc, ReadOnly);
        }
        HRESULT ReceiveCanBlock() override {
            return owner_->NeverWaits ? S_FALSE : filters::TBCBaseInputPin::ReceiveCanBlock();
        }
        HRESULT Active() override {
            std::lock_guard<std::mutex> lock(waitLock_);
            let_ = false;
            return filters::TBCBaseInputPin::Active();
        }
        HRESULT Inactive() override {
            LetGo();
            return filters::TBCBaseInputPin::Inactive();
        }
        HRESULT Receive(IMediaSample* Sample) override {
            HRESULT hr = filters::TBCBaseInputPin::Receive(Sample);
            if (hr != S_OK) return hr;
            ++owner_->Calls;
            if (owner_->FailFrom >= 0 && owner_->Frames.load() >= owner_->FailFrom) return E_FAIL;
            if (owner_->WaitInReceive) {
                std::unique_lock<std::mutex> lock(waitLock_);
                ++owner_->Waiting;
                released_.wait(lock, [this] { return let_; });
                --owner_->Waiting;
                return S_FALSE;
            }
            BYTE* data = nullptr;
            Sample->GetPointer(&data);
            const long n = Sample->GetActualDataLength();
            std::lock_guard<std::mutex> lock(owner_->Mutex);
            owner_->Last.assign(data, data + (n > 0 ? n : 0));
            owner_->FirstBytes.push_back(n > 0 ? data[0] : -1);
            owner_->Buffers.push_back(data);
            owner_->Threads.push_back(GetCurrentThreadId());
            if (owner_->CheckUniform) {
                for (long i = 1; i < n; ++i) {
                    if (data[i] != data[0]) {
                        ++owner_->BadFrames;
                        break;
                    }
                }
            }
            ++owner_->Frames;
            return S_OK;
        }
        HRESULT EndOfStream() override {
            owner_->FramesAtEos = owner_->Frames.load();
            ++owner_->Eos;
            filters::TBCBaseFilter* f = Filter();
            f->NotifyEvent(EC_COMPLETE, S_OK, 0);
            return S_OK;
        }
        HRESULT BeginFlush() override {
            ++owner_->BeginFlushes;
            LetGo();
            return filters::TBCBaseInputPin::BeginFlush();
        }
        HRESULT EndFlush() override {
            ++owner_->EndFlushes;
            {
                std::lock_guard<std::mutex> lock(waitLock_);
                let_ = false;
            }
            return filters::TBCBaseInputPin::EndFlush();
        }
        HRESULT NewSegment(REFERENCE_TIME Start, REFERENCE_TIME Stop, double Rate) override {
            ++owner_->Segments;
            return filters::TBCBaseInputPin::NewSegment(Start, Stop, Rate);
        }

    private:
        void LetGo() {
            {
                std::lock_guard<std::mutex> lock(waitLock_);
                let_ = true;
            }
            released_.notify_all();
        }
        RecordingSink* owner_;
        std::mutex waitLock_;
        std::condition_variable released_;
        bool let_ = false;
    };

private:
    struct Flags : IAMFilterMiscFlags {
        explicit Flags(RecordingSink& S) : o(S) {}
        HRESULT STDMETHODCALLTYPE QueryInterface(REFIID Iid, void** Object) override { return o.QueryInterface(Iid, Object); }
        ULONG STDMETHODCALLTYPE AddRef() override { return o.AddRef(); }
        ULONG STDMETHODCALLTYPE Release() override { return o.Release(); }
        ULONG STDMETHODCALLTYPE GetMiscFlags() override { return AM_FILTER_MISC_FLAGS_IS_RENDERER; }
        RecordingSink& o;
    };
    Flags flags_{*this};
    GUID subtype_;
    std::unique_ptr<Pin> pin_;
};

// A sample grabber callback that counts buffers and keeps the last one.
class GrabberCounter : public ISampleGrabberCB {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID Iid, void** Object) override {
        if (Iid == IID_IUnknown || Iid == IID_ISampleGrabberCB) {
            *Object = static_cast<ISampleGrabberCB*>(this);
            AddRef();
            return S_OK;
        }
        *Object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        ULONG n = --refs_;
        if (n == 0) delete this;
        return n;
    }
    virtual ~GrabberCounter() = default;
    HRESULT STDMETHODCALLTYPE SampleCB(double, IMediaSample*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE BufferCB(double, BYTE* Buffer, long Length) override {
        std::lock_guard<std::mutex> lock(Mutex);
        Last.assign(Buffer, Buffer + (Length > 0 ? Length : 0));
        ++Buffers;
        return S_OK;
    }
    std::atomic<int> Buffers{0};
    std::mutex Mutex;
    std::vector<std::uint8_t> Last;

private:
    std::atomic<ULONG> refs_{1};
};

// Runs the graph until every renderer reported the end of the stream; false on a timeout. Events
// of an earlier run are drained first (Wine's completion wait would see the last run's end).
// Runs the graph until it reports EC_COMPLETE, or until `Ended` (the test's own sinks got their end of
// stream) says so: under load Wine's graph can miss a completion that its renderers did signal.
inline bool RunToCompletion(IGraphBuilder* Graph, const std::function<bool()>& Ended = nullptr,
                            DWORD TimeoutMs = 10000) {
    ComPtr<IMediaControl> control;
    ComPtr<IMediaEvent> events;
    Graph->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(control.GetAddressOf()));
    Graph->QueryInterface(IID_IMediaEvent, reinterpret_cast<void**>(events.GetAddressOf()));
    if (!control || !events) return false;
    long code = 0;
    LONG_PTR p1 = 0, p2 = 0;
    while (events->GetEvent(&code, &p1, &p2, 0) == S_OK) events->FreeEventParams(code, p1, p2);
    if (FAILED(control->Run())) return false;
    bool complete = false;
    const DWORD start = GetTickCount();
    while (!complete && GetTickCount() - start < TimeoutMs) {
        if (events->GetEvent(&code, &p1, &p2, 50) == S_OK) {
            complete = code == EC_COMPLETE;
            events->FreeEventParams(code, p1, p2);
        } else if (Ended && Ended()) {
            complete = true;
        }
    }
    control->Stop();
    return complete;
}

}  // namespace first_standins
