// The native MPEG recording's test doubles.
#include "mpeg_doubles.h"

#include <dvdmedia.h>
#include <mmreg.h>
#include <uuids.h>

#include <fstream>
#include <iterator>

#include "dshow/ds_helpers.h"
#include "filters/base_io_pins.h"
#include "filters/transform_filter.h"

namespace recording_b {

using Microsoft::WRL::ComPtr;

void DoubleLog::Add(const std::wstring& Line) {
    std::lock_guard<std::mutex> lock(mutex_);
    lines_.push_back(Line);
}

std::vector<std::wstring> DoubleLog::Lines() {
    std::lock_guard<std::mutex> lock(mutex_);
    return lines_;
}

void DoubleLog::Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    lines_.clear();
}

DoubleLog& Log() {
    static DoubleLog log;
    return log;
}

std::vector<MuxRecord> ReadMuxFile(const std::wstring& Path, bool* Whole) {
    std::ifstream in(Path.c_str(), std::ios::binary);
    const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::vector<MuxRecord> records;
    size_t at = 0;
    while (at + 5 <= bytes.size()) {
        const std::uint32_t length = bytes[at + 1] | bytes[at + 2] << 8 | bytes[at + 3] << 16 |
                                     static_cast<std::uint32_t>(bytes[at + 4]) << 24;
        if (at + 5 + length > bytes.size()) break;
        records.push_back({static_cast<char>(bytes[at]), {bytes.begin() + at + 5, bytes.begin() + at + 5 + length}});
        at += 5 + length;
    }
    if (Whole != nullptr) *Whole = at == bytes.size();
    return records;
}

std::wstring DoubleName(DoubleKind Kind) {
    switch (Kind) {
    case DoubleKind::Decoder: return L"Quill Test MPEG Decoder";
    case DoubleKind::MuxNoOutput: return L"Quill Test Mux Without Output";
    case DoubleKind::MuxOneInput: return L"Quill Test Mux One Input";
    case DoubleKind::MuxWriting: return L"Quill Test Mux";
    case DoubleKind::EncoderRefusing: return L"Quill Test Encoder Refusing";
    case DoubleKind::EncoderWorking: return L"Quill Test Encoder";
    case DoubleKind::WrapperFixed: return L"Quill Test Fixed Sound Wrapper";
    }
    return {};
}

namespace {

constexpr int kPictureWidth = 320;
constexpr int kPictureHeight = 240;
constexpr long kPictureBytes = kPictureWidth * kPictureHeight * 3;

CLSID ClassOf(DoubleKind Kind) {
    CLSID id = {0x6a1e2200, 0x5c2b, 0x4f6a, {0x9d, 0x47, 0x7e, 0x4a, 0x1b, 0x2c, 0x3d, 0x30}};
    id.Data1 += static_cast<unsigned long>(Kind);
    return id;
}

bool IsMpegVideo(const AM_MEDIA_TYPE& Mt) {
    return Mt.majortype == MEDIATYPE_Video && Mt.subtype == MEDIASUBTYPE_MPEG2_VIDEO;
}

bool IsMpegAudio(const AM_MEDIA_TYPE& Mt) {
    return Mt.majortype == MEDIATYPE_Audio && Mt.subtype == MEDIASUBTYPE_MPEG1Audio;
}

HRESULT SetBuffers(IMemAllocator* Alloc, ALLOCATOR_PROPERTIES* Props, long Count, long Bytes) {
    Props->cBuffers = Count;
    Props->cbBuffer = Bytes;
    if (Props->cbAlign == 0) Props->cbAlign = 1;
    ALLOCATOR_PROPERTIES actual{};
    const HRESULT hr = Alloc->SetProperties(Props, &actual);
    return FAILED(hr) ? hr : actual.cbBuffer < Bytes ? E_FAIL : S_OK;
}

// The test source's MPEG-2 video into RGB24 pictures of one grey.
class TestDecoder : public filters::TBCTransformFilter {
public:
    TestDecoder() : TBCTransformFilter("Test MPEG decoder", nullptr, ClassOf(DoubleKind::Decoder)) {}
    HRESULT CheckInputType(const AM_MEDIA_TYPE* Mt) override { return IsMpegVideo(*Mt) ? S_OK : S_FALSE; }
    HRESULT CheckTransform(const AM_MEDIA_TYPE* In, const AM_MEDIA_TYPE* Out) override {
        if (!IsMpegVideo(*In) || Out->subtype != MEDIASUBTYPE_RGB24 || Out->formattype != FORMAT_VideoInfo ||
            Out->cbFormat < sizeof(VIDEOINFOHEADER))
            return S_FALSE;
        const auto* info = reinterpret_cast<const VIDEOINFOHEADER*>(Out->pbFormat);
        return info->bmiHeader.biWidth == kPictureWidth && std::abs(info->bmiHeader.biHeight) == kPictureHeight ? S_OK
                                                                                                              : S_FALSE;
    }
    HRESULT GetMediaType(int Position, AM_MEDIA_TYPE* Mt) override {
        if (Position < 0) return E_INVALIDARG;
        if (Position > 0) return VFW_S_NO_MORE_ITEMS;
        auto* info = static_cast<VIDEOINFOHEADER*>(CoTaskMemAlloc(sizeof(VIDEOINFOHEADER)));
        if (info == nullptr) return E_OUTOFMEMORY;
        *info = VIDEOINFOHEADER{};
        info->AvgTimePerFrame = 400000;
        info->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        info->bmiHeader.biWidth = kPictureWidth;
        info->bmiHeader.biHeight = kPictureHeight;
        info->bmiHeader.biPlanes = 1;
        info->bmiHeader.biBitCount = 24;
        info->bmiHeader.biSizeImage = kPictureBytes;
        dshow::FreeMediaType(*Mt);
        Mt->majortype = MEDIATYPE_Video;
        Mt->subtype = MEDIASUBTYPE_RGB24;
        Mt->bFixedSizeSamples = TRUE;
        Mt->lSampleSize = kPictureBytes;
        Mt->formattype = FORMAT_VideoInfo;
        Mt->cbFormat = sizeof(VIDEOINFOHEADER);
        Mt->pbFormat = reinterpret_cast<BYTE*>(info);
        return S_OK;
    }
    HRESULT DecideBufferSize(IMemAllocator* Alloc, ALLOCATOR_PROPERTIES* Props) override {
        return SetBuffers(Alloc, Props, 2, kPictureBytes);
    }
    HRESULT Transform(IMediaSample*, IMediaSample* Out) override {
        BYTE* data = nullptr;
        Out->GetPointer(&data);
        std::memset(data, 0x80, kPictureBytes);
        return Out->SetActualDataLength(kPictureBytes);
    }
};

// A sound double that passes its input's bytes on as they come, in buffers of the input's size.
class PassingOn : public filters::TBCTransformFilter {
public:
    PassingOn(const char* Name, DoubleKind Kind) : TBCTransformFilter(Name, nullptr, ClassOf(Kind)) {
        Log().Add(L"made " + DoubleName(Kind));
    }
    HRESULT DecideBufferSize(IMemAllocator* Alloc, ALLOCATOR_PROPERTIES* Props) override {
        ALLOCATOR_PROPERTIES in{};
        if (input_->Allocator() == nullptr || FAILED(input_->Allocator()->GetProperties(&in))) return E_UNEXPECTED;
        return SetBuffers(Alloc, Props, 4, in.cbBuffer);
    }
    HRESULT Transform(IMediaSample* In, IMediaSample* Out) override {
        BYTE* from = nullptr;
        BYTE* to = nullptr;
        In->GetPointer(&from);
        Out->GetPointer(&to);
        const long n = std::min(In->GetActualDataLength(), Out->GetSize());
        std::memcpy(to, from, static_cast<size_t>(n));
        return Out->SetActualDataLength(n);
    }
};

// PCM in, "MPEG-1 audio" out: the same bytes under the other type; or, refusing, no sound at all.
class TestEncoder : public PassingOn {
public:
    explicit TestEncoder(DoubleKind Kind) : PassingOn("Test encoder", Kind), kind_(Kind) {}
    HRESULT CheckInputType(const AM_MEDIA_TYPE* Mt) override {
        if (kind_ == DoubleKind::EncoderRefusing) return S_FALSE;
        return Mt->majortype == MEDIATYPE_Audio && Mt->subtype == MEDIASUBTYPE_PCM && Mt->pbFormat != nullptr ? S_OK
                                                                                                               : S_FALSE;
    }
    HRESULT CheckTransform(const AM_MEDIA_TYPE* In, const AM_MEDIA_TYPE* Out) override {
        return CheckInputType(In) == S_OK && IsMpegAudio(*Out) ? S_OK : S_FALSE;
    }
    HRESULT GetMediaType(int Position, AM_MEDIA_TYPE* Mt) override {
        if (Position < 0) return E_INVALIDARG;
        if (Position > 0 || !input_->IsConnected()) return VFW_S_NO_MORE_ITEMS;
        dshow::FreeMediaType(*Mt);
        dshow::CopyMediaType(Mt, &input_->CurrentMediaType());
        Mt->subtype = MEDIASUBTYPE_MPEG1Audio;
        reinterpret_cast<WAVEFORMATEX*>(Mt->pbFormat)->wFormatTag = WAVE_FORMAT_MPEG;
        return S_OK;
    }

private:
    DoubleKind kind_;
};

// The ACM wrapper's place without its conversion (and without a stream configuration): PCM passes
// as it comes.
class FixedWrapper : public PassingOn {
public:
    FixedWrapper() : PassingOn("Fixed sound wrapper", DoubleKind::WrapperFixed) {}
    HRESULT CheckInputType(const AM_MEDIA_TYPE* Mt) override {
        return Mt->majortype == MEDIATYPE_Audio && Mt->subtype == MEDIASUBTYPE_PCM ? S_OK : S_FALSE;
    }
    HRESULT CheckTransform(const AM_MEDIA_TYPE* In, const AM_MEDIA_TYPE* Out) override {
        return CheckInputType(In) == S_OK && Out->majortype == In->majortype && Out->subtype == In->subtype &&
                       Out->cbFormat == In->cbFormat &&
                       (In->cbFormat == 0 || std::memcmp(Out->pbFormat, In->pbFormat, In->cbFormat) == 0)
                   ? S_OK
                   : S_FALSE;
    }
    HRESULT GetMediaType(int Position, AM_MEDIA_TYPE* Mt) override {
        if (Position < 0) return E_INVALIDARG;
        if (Position > 0 || !input_->IsConnected()) return VFW_S_NO_MORE_ITEMS;
        dshow::FreeMediaType(*Mt);
        dshow::CopyMediaType(Mt, &input_->CurrentMediaType());
        return S_OK;
    }
};

class TestMux : public filters::TBCBaseFilter {
public:
    explicit TestMux(DoubleKind Kind)
        : TBCBaseFilter("Test mux", nullptr, std::make_unique<filters::TBCCritSec>(), ClassOf(Kind)), kind_(Kind) {
        HRESULT hr = S_OK;
        video_ = std::make_unique<InPin>(this, hr, L"Video", 'V');
        if (Kind == DoubleKind::MuxWriting) audio_ = std::make_unique<InPin>(this, hr, L"Audio", 'A');
        out_ = std::make_unique<OutPin>(this, hr);
        Log().Add(L"made " + DoubleName(Kind));
    }
    int GetPinCount() override { return audio_ ? 3 : 2; }
    filters::TBCBasePin* GetPin(int n) override {
        if (n == 0) return video_.get();
        if (n == 1) return audio_ ? static_cast<filters::TBCBasePin*>(audio_.get()) : out_.get();
        if (n == 2 && audio_) return out_.get();
        return nullptr;
    }

private:
    class InPin : public filters::TBCBaseInputPin {
    public:
        InPin(TestMux* Owner, HRESULT& hr, const wchar_t* Name, char Tag)
            : TBCBaseInputPin("Test mux input", Owner, Owner->Lock(), hr, Name), owner_(Owner), tag_(Tag) {}
        HRESULT CheckMediaType(const AM_MEDIA_TYPE* Mt) override {
            return (tag_ == 'V' ? IsMpegVideo(*Mt) : IsMpegAudio(*Mt)) ? S_OK : S_FALSE;
        }
        HRESULT Receive(IMediaSample* Sample) override {
            HRESULT hr = TBCBaseInputPin::Receive(Sample);
            if (hr != S_OK) return hr;
            return owner_->Write(tag_, Sample);
        }

    private:
        TestMux* owner_;
        char tag_;
    };
    class OutPin : public filters::TBCBaseOutputPin {
    public:
        OutPin(TestMux* Owner, HRESULT& hr)
            : TBCBaseOutputPin("Test mux output", Owner, Owner->Lock(), hr, L"Output"), owner_(Owner) {}
        HRESULT CheckMediaType(const AM_MEDIA_TYPE* Mt) override {
            if (owner_->kind_ == DoubleKind::MuxNoOutput || Mt->majortype != MEDIATYPE_Stream) return S_FALSE;
            return S_OK;
        }
        HRESULT GetMediaType(int Position, AM_MEDIA_TYPE* Mt) override {
            if (Position != 0) return VFW_S_NO_MORE_ITEMS;
            dshow::FreeMediaType(*Mt);
            Mt->majortype = MEDIATYPE_Stream;
            Mt->subtype = MEDIASUBTYPE_MPEG2_PROGRAM;
            return S_OK;
        }
        HRESULT CompleteConnect(IPin* Receive) override {
            Log().Add(DoubleName(owner_->kind_) + L" output connected");
            return TBCBaseOutputPin::CompleteConnect(Receive);
        }
        HRESULT DecideBufferSize(IMemAllocator* Alloc, ALLOCATOR_PROPERTIES* Props) override {
            return SetBuffers(Alloc, Props, 4, 256 * 1024);
        }
        HRESULT Active() override {
            owner_->written_ = 0;
            return TBCBaseOutputPin::Active();
        }

    private:
        TestMux* owner_;
    };

    HRESULT Write(char Tag, IMediaSample* Sample) {
        std::lock_guard<std::mutex> lock(writeLock_);
        BYTE* data = nullptr;
        Sample->GetPointer(&data);
        const long n = Sample->GetActualDataLength();
        ComPtr<IMediaSample> out;
        HRESULT hr = out_->GetDeliveryBuffer(out.GetAddressOf(), nullptr, nullptr, 0);
        if (FAILED(hr)) return hr;
        BYTE* to = nullptr;
        out->GetPointer(&to);
        if (n < 0 || n + 5 > out->GetSize()) return E_FAIL;
        to[0] = static_cast<BYTE>(Tag);
        for (int i = 0; i < 4; ++i) to[1 + i] = static_cast<BYTE>(static_cast<std::uint32_t>(n) >> (8 * i));
        std::memcpy(to + 5, data, static_cast<size_t>(n));
        out->SetActualDataLength(n + 5);
        REFERENCE_TIME start = written_;
        REFERENCE_TIME stop = written_ + n + 5;
        out->SetTime(&start, &stop);
        written_ = stop;
        return out_->Deliver(out.Get());
    }

    DoubleKind kind_;
    std::unique_ptr<InPin> video_;
    std::unique_ptr<InPin> audio_;
    std::unique_ptr<OutPin> out_;
    std::mutex writeLock_;
    REFERENCE_TIME written_ = 0;
};

HRESULT MakeDouble(DoubleKind Kind, REFIID Iid, void** Object) {
    ComPtr<IBaseFilter> filter;
    switch (Kind) {
    case DoubleKind::Decoder: filter = (new TestDecoder)->BaseFilterInterface(); break;
    case DoubleKind::EncoderRefusing:
    case DoubleKind::EncoderWorking: filter = (new TestEncoder(Kind))->BaseFilterInterface(); break;
    case DoubleKind::WrapperFixed: filter = (new FixedWrapper)->BaseFilterInterface(); break;
    default: filter = (new TestMux(Kind))->BaseFilterInterface(); break;
    }
    return filter->QueryInterface(Iid, Object);
}

}  // namespace

class RegisteredDouble::Factory : public IClassFactory {
public:
    explicit Factory(DoubleKind Kind) : kind_(Kind) {}
    virtual ~Factory() = default;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID Iid, void** Object) override {
        if (Iid != IID_IUnknown && Iid != IID_IClassFactory) return E_NOINTERFACE;
        *Object = static_cast<IClassFactory*>(this);
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* Outer, REFIID Iid, void** Object) override {
        return Outer != nullptr ? CLASS_E_NOAGGREGATION : MakeDouble(kind_, Iid, Object);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

private:
    DoubleKind kind_;
};

RegisteredDouble::RegisteredDouble(DoubleKind Kind, DWORD Merit)
    : kind_(Kind), class_(ClassOf(Kind)), factory_(std::make_unique<Factory>(Kind)) {
    CoRegisterClassObject(class_, factory_.get(), CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie_);
    const REGPINTYPES mpegVideo[] = {{&MEDIATYPE_Video, &MEDIASUBTYPE_MPEG2_VIDEO}};
    const REGPINTYPES muxInputs[] = {{&MEDIATYPE_Video, &MEDIASUBTYPE_MPEG2_VIDEO}, {&MEDIATYPE_Audio, &MEDIASUBTYPE_MPEG1Audio}};
    const REGPINTYPES rgb[] = {{&MEDIATYPE_Video, &MEDIASUBTYPE_RGB24}};
    const REGPINTYPES stream[] = {{&MEDIATYPE_Stream, &MEDIASUBTYPE_MPEG2_PROGRAM}};
    const REGPINTYPES pcm[] = {{&MEDIATYPE_Audio, &MEDIASUBTYPE_PCM}};
    const REGPINTYPES mpegAudio[] = {{&MEDIATYPE_Audio, &MEDIASUBTYPE_MPEG1Audio}};
    auto pin = [](bool Output, UINT Count, const REGPINTYPES* Types) {
        return REGFILTERPINS{const_cast<LPWSTR>(Output ? L"Output" : L"Input"), FALSE, Output ? TRUE : FALSE, FALSE, FALSE,
                             &CLSID_NULL, nullptr, Count, Types};
    };
    REGFILTERPINS pins[2];
    switch (Kind) {
    case DoubleKind::Decoder: pins[0] = pin(false, 1, mpegVideo), pins[1] = pin(true, 1, rgb); break;
    case DoubleKind::EncoderRefusing:
    case DoubleKind::EncoderWorking: pins[0] = pin(false, 1, pcm), pins[1] = pin(true, 1, mpegAudio); break;
    case DoubleKind::WrapperFixed: pins[0] = pin(false, 1, pcm), pins[1] = pin(true, 1, pcm); break;
    default: pins[0] = pin(false, 2, muxInputs), pins[1] = pin(true, 1, stream); break;
    }
    REGFILTER2 filter{};
    filter.dwVersion = 1;
    filter.dwMerit = Merit;
    filter.cPins = 2;
    filter.rgPins = pins;
    ComPtr<IFilterMapper2> mapper;
    CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterMapper2,
                     reinterpret_cast<void**>(mapper.GetAddressOf()));
    if (mapper)
        mapper->RegisterFilter(class_, DoubleName(Kind).c_str(), nullptr, &CLSID_LegacyAmFilterCategory, nullptr, &filter);
}

std::wstring DoubleMoniker(DoubleKind Kind) {
    wchar_t id[64];
    StringFromGUID2(ClassOf(Kind), id, 64);
    return L"@device:sw:{083863F1-70DE-11D0-BD40-00A0C911CE86}\\" + std::wstring(id);
}

RegisteredDouble::~RegisteredDouble() {
    ComPtr<IFilterMapper2> mapper;
    CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterMapper2,
                     reinterpret_cast<void**>(mapper.GetAddressOf()));
    if (mapper) mapper->UnregisterFilter(&CLSID_LegacyAmFilterCategory, nullptr, class_);
    if (cookie_ != 0) CoRevokeClassObject(cookie_);
}

}  // namespace recording_b
