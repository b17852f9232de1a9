#include "platform/standins/asf_writer.h"

#include <dshow.h>
#include <shlwapi.h>
#include <uuids.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/mathematics.h>
}

#include "filters/base_filter.h"
#include "filters/base_io_pins.h"
#include "platform/standins/asf_conversion.h"
#include "platform/standins/av_file.h"
#include "platform/standins/dv_picture.h"
#include "platform/standins/standins_dll.h"
#include "platform/standins/xvid_compressor.h"

using Microsoft::WRL::ComPtr;
using filters::ComGuard;  // the delegating IUnknown stubs call it unqualified

namespace standins {

namespace {

constexpr DWORD kWmv1 = MAKEFOURCC('W', 'M', 'V', '1');
constexpr DWORD kWmv2 = MAKEFOURCC('W', 'M', 'V', '2');
constexpr DWORD kMp43 = MAKEFOURCC('M', 'P', '4', '3');
constexpr REFERENCE_TIME kDefaultFrameTime = 400000;
constexpr int kKeyInterval = 250;
// libavcodec's WMA coder codes nothing below this rate.
constexpr long kLeastSoundBitRate = 24000;

// What the writer codes one stream as: read from the profile, or the writer's own default. A size,
// frame time, rate or channel count of 0 is the input's own.
struct TCoding {
    bool Video = true;
    DWORD FourCC = kWmv2;
    long BitRate = 0;
    int Width = 0, Height = 0;
    REFERENCE_TIME FrameTime = 0;
    int Rate = 0, Channels = 0;
};

const WAVEFORMATEX* PcmInput(const AM_MEDIA_TYPE& mt)
{
    if (mt.majortype != MEDIATYPE_Audio || mt.subtype != MEDIASUBTYPE_PCM || mt.formattype != FORMAT_WaveFormatEx ||
        mt.pbFormat == nullptr || mt.cbFormat < sizeof(PCMWAVEFORMAT))
        return nullptr;
    const auto* wfx = reinterpret_cast<const WAVEFORMATEX*>(mt.pbFormat);
    const bool fits = wfx->wFormatTag == WAVE_FORMAT_PCM && wfx->wBitsPerSample == 16 && (wfx->nChannels == 1 || wfx->nChannels == 2) &&
                      wfx->nSamplesPerSec >= 8000 && wfx->nSamplesPerSec <= 48000;
    return fits ? wfx : nullptr;
}

// The picture's size and frame time of a profile's video format; what it does not say stays 0.
void ReadPictureFormat(const WM_MEDIA_TYPE& mt, TCoding& coding)
{
    if (mt.formattype != FORMAT_VideoInfo || mt.pbFormat == nullptr || mt.cbFormat < sizeof(VIDEOINFOHEADER)) return;
    const auto* vih = reinterpret_cast<const VIDEOINFOHEADER*>(mt.pbFormat);
    const LONG width = vih->bmiHeader.biWidth, height = std::abs(vih->bmiHeader.biHeight);
    // 4:2:0 pictures come in pairs of rows and columns; a size beyond any camera's is not taken.
    if (width >= 2 && width <= 4096 && height >= 2 && height <= 4096) {
        coding.Width = static_cast<int>(width & ~1L);
        coding.Height = static_cast<int>(height & ~1L);
    }
    // From 1000 pictures a second to one every ten seconds.
    if (vih->AvgTimePerFrame >= 10000 && vih->AvgTimePerFrame <= 100000000) coding.FrameTime = vih->AvgTimePerFrame;
}

// The rate and channels of a profile's sound format; what it does not say stays 0.
void ReadSoundFormat(const WM_MEDIA_TYPE& mt, TCoding& coding)
{
    if (mt.formattype != FORMAT_WaveFormatEx || mt.pbFormat == nullptr || mt.cbFormat < sizeof(PCMWAVEFORMAT)) return;
    const auto* wfx = reinterpret_cast<const WAVEFORMATEX*>(mt.pbFormat);
    // The rates and channels libavcodec's WMA coder codes.
    if (wfx->nSamplesPerSec >= 8000 && wfx->nSamplesPerSec <= 48000) coding.Rate = static_cast<int>(wfx->nSamplesPerSec);
    if (wfx->nChannels == 1 || wfx->nChannels == 2) coding.Channels = wfx->nChannels;
}

// The coding of one profile stream; false for a stream this writer cannot code.
bool ReadCoding(IWMStreamConfig* stream, TCoding& coding)
{
    GUID type = GUID_NULL;
    DWORD bitRate = 0;
    if (stream == nullptr || FAILED(stream->GetStreamType(&type)) || FAILED(stream->GetBitrate(&bitRate))) return false;
    coding.BitRate = static_cast<long>(std::min<DWORD>(bitRate, 20000000));
    if (type != WMMEDIATYPE_Audio && type != WMMEDIATYPE_Video) return false;
    coding.Video = type == WMMEDIATYPE_Video;
    coding.FourCC = kWmv2;
    ComPtr<IWMMediaProps> props;
    DWORD size = 0;
    if (SUCCEEDED(stream->QueryInterface(__uuidof(IWMMediaProps), reinterpret_cast<void**>(props.GetAddressOf()))) &&
        SUCCEEDED(props->GetMediaType(nullptr, &size)) && size >= sizeof(WM_MEDIA_TYPE) && size < 0x10000) {
        std::vector<BYTE> block(size);
        auto* mt = reinterpret_cast<WM_MEDIA_TYPE*>(block.data());
        if (SUCCEEDED(props->GetMediaType(mt, &size))) {
            // The format block must lie inside what was copied out.
            const BYTE* begin = block.data();
            const BYTE* end = begin + block.size();
            const BYTE* format = mt->pbFormat;
            if (format != nullptr && (format < begin || format > end || mt->cbFormat > static_cast<std::size_t>(end - format)))
                mt->pbFormat = nullptr;
            if (!coding.Video) {
                ReadSoundFormat(*mt, coding);
                return true;
            }
            const DWORD fourcc = mt->subtype.Data1;
            if (fourcc == kWmv1 || fourcc == kWmv2 || fourcc == kMp43) coding.FourCC = fourcc;
            else return false;
            ReadPictureFormat(*mt, coding);
        }
    }
    return true;
}

// The objects of an ASF file's header that say how long the file is.
const GUID kAsfHeaderObject = {0x75b22630, 0x668e, 0x11cf, {0xa6, 0xd9, 0x00, 0xaa, 0x00, 0x62, 0xce, 0x6c}};
const GUID kAsfFileProperties = {0x8cabdca1, 0xa947, 0x11cf, {0x8e, 0xe4, 0x00, 0xc0, 0x0c, 0x20, 0x53, 0x65}};
const GUID kAsfDataObject = {0x75b22636, 0x668e, 0x11cf, {0xa6, 0xd9, 0x00, 0xaa, 0x00, 0x62, 0xce, 0x6c}};
constexpr std::uint64_t kAsfObjectHeader = 24;   // identifier and size
constexpr std::uint64_t kAsfDataHeader = 50;     // the data object up to its first packet
constexpr std::uint64_t kFilePropertiesBytes = 104;

std::uint64_t LittleEndian(const std::vector<std::uint8_t>& b, std::uint64_t at, int bytes)
{
    std::uint64_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | b[static_cast<std::size_t>(at) + static_cast<std::size_t>(i)];
    return v;
}

void PutLittleEndian(std::vector<std::uint8_t>& b, std::size_t at, std::uint64_t v)
{
    for (int i = 0; i < 8; ++i) b[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
}

// Where the file properties and the data object lie in the header a file began with.
struct TAsfLayout {
    std::uint64_t FileProperties = 0;
    std::uint64_t Data = 0;
    std::uint64_t PacketSize = 0;
    std::uint64_t PrerollMs = 0;
};

bool FindAsfLayout(const std::vector<std::uint8_t>& head, TAsfLayout& layout)
{
    const auto guidAt = [&](std::uint64_t at, const GUID& g) {
        return at + sizeof(GUID) <= head.size() && std::memcmp(head.data() + at, &g, sizeof(GUID)) == 0;
    };
    if (head.size() < 30 || !guidAt(0, kAsfHeaderObject)) return false;
    const std::uint64_t headerSize = LittleEndian(head, 16, 8);
    for (std::uint64_t at = 30; at + kAsfObjectHeader <= std::min<std::uint64_t>(headerSize, head.size());) {
        const std::uint64_t size = LittleEndian(head, at + 16, 8);
        if (size < kAsfObjectHeader) return false;
        if (guidAt(at, kAsfFileProperties) && at + kFilePropertiesBytes <= head.size()) {
            layout.FileProperties = at;
            layout.PrerollMs = LittleEndian(head, at + 80, 8);
            layout.PacketSize = LittleEndian(head, at + 92, 4);
        }
        at += size;
    }
    layout.Data = headerSize;
    return layout.FileProperties != 0 && layout.PacketSize != 0 && guidAt(headerSize, kAsfDataObject) &&
           headerSize + kAsfDataHeader <= head.size();
}

// The end of what a data packet holds, in milliseconds of the file's time: its send time plus its
// duration, read from its payload parsing information (after the error correction data when the
// packet has it); false for bytes that do not hold one.
bool AsfPacketEnd(const std::vector<std::uint8_t>& packet, std::uint64_t& endMs)
{
    std::size_t at = 0;
    if (packet.empty()) return false;
    if ((packet[0] & 0x80) != 0) at = 1 + (packet[0] & 0x0f);
    if (at + 2 > packet.size()) return false;
    const std::uint8_t lengths = packet[at];
    at += 2;  // the length type flags and the property flags
    // The packet length, sequence and padding length, each of 0, 1, 2 or 4 bytes as the flags say.
    static const std::size_t kFieldBytes[4] = {0, 1, 2, 4};
    at += kFieldBytes[(lengths >> 5) & 3] + kFieldBytes[(lengths >> 1) & 3] + kFieldBytes[(lengths >> 3) & 3];
    if (at + 6 > packet.size()) return false;
    endMs = LittleEndian(packet, at, 4) + LittleEndian(packet, at + 4, 2);
    return true;
}

class TAsfWriter;

// One input: its own coder, opened while stopped and used on its streaming thread. The graph stops the
// writer before the filters upstream, so a picture can still be in coding when the stop drains and
// closes the coder: the coder's lock makes the stop wait for it.
class TAsfInput : public filters::TBCBaseInputPin {
public:
    TAsfInput(TAsfWriter* writer, HRESULT& hr, bool video);
    ~TAsfInput() override { Close(); }
    HRESULT CheckMediaType(const AM_MEDIA_TYPE* mt) override;
    HRESULT Receive(IMediaSample* sample) override;
    HRESULT EndOfStream() override;
    HRESULT Inactive() override { return Allocator() != nullptr ? TBCBaseInputPin::Inactive() : TBCBasePin::Inactive(); }

    // Opens the coder for the connected type; fills the file's stream description.
    HRESULT Open(const TCoding& coding, AVCodecParameters& parameters);
    // Codes what is held back (sound short of a frame) and closes the coder.
    HRESULT Drain();
    void Close();

    const bool Video;
    std::atomic<int> Stream{-1};

private:
    void CloseCoder();
    HRESULT SendFrame(AVFrame* frame);
    HRESULT CodeSound(const BYTE* data, long length, REFERENCE_TIME start, bool timed);
    HRESULT CodePicture(const BYTE* data, REFERENCE_TIME start, bool timed, bool key);
    // Codes the resampled sound that Resampler holds, count samples per channel.
    HRESULT CodeResampled(int count);

    TAsfWriter* writer_;
    std::mutex coderLock_;  // the coder and its counts below
    AVCodecContext* context_ = nullptr;
    AVFrame* frame_ = nullptr;
    AVPacket* packet_ = nullptr;
    TPictureScaler scaler_;
    TFramePacer pacer_;
    TSoundResampler resampler_;
    std::int64_t count_ = 0;  // sound samples per channel coded
    int filled_ = 0;          // sound samples in frame_
    bool haveStart_ = false;
    REFERENCE_TIME start_ = 0;
};

class TAsfWriter : public TAvFileFilter {
public:
    TAsfWriter(const filters::TBCFilterTemplateEntry& entry, IUnknown* controller) : TAvFileFilter(entry, controller)
    {
        HRESULT hr = S_OK;
        audio_ = std::make_unique<TAsfInput>(this, hr, false);
        video_ = std::make_unique<TAsfInput>(this, hr, true);
        // Before a profile is given: a sound and a video stream, as the stock writer's default.
        pins_ = {{audio_.get(), TCoding{false, 0, 64000}}, {video_.get(), TCoding{true, kWmv2, 320000}}};
        OwnsItsFile = true;
    }
    ~TAsfWriter() override { FinishFile(); }

    HRESULT NonDelegatingQueryInterface(REFIID iid, void** obj) override
    {
        if (iid == IID_IFileSinkFilter) return GetInterface(&sinkItf_, obj);
        if (iid == dshow::IID_IConfigAsfWriter) return GetInterface(&configItf_, obj);
        if (iid == IID_IAMFilterMiscFlags) return GetInterface(&flagsItf_, obj);
        return TBCBaseFilter::NonDelegatingQueryInterface(iid, obj);
    }
    int GetPinCount() override { return static_cast<int>(pins_.size()); }
    filters::TBCBasePin* GetPin(int n) override
    {
        return n >= 0 && n < static_cast<int>(pins_.size()) ? pins_[static_cast<std::size_t>(n)].Pin : nullptr;
    }
private:
    // Every stream has ended: the graph hears of it from this renderer.
    void AllStreamsEnded() override { NotifyEvent(EC_COMPLETE, S_OK, 0); }
    // Coders a failed start opened are closed.
    void StartFailed() override { FinishFile(); }

    struct TSlot {
        TAsfInput* Pin;
        TCoding Coding;
    };

    HRESULT Configure(IWMProfile* profile)
    {
        if (profile == nullptr) return E_POINTER;
        filters::TBCAutoLock lock(*Lock());
        if (!IsStopped()) return VFW_E_NOT_STOPPED;
        DWORD count = 0;
        if (FAILED(profile->GetStreamCount(&count))) return E_INVALIDARG;
        std::vector<TSlot> slots;
        for (DWORD i = 0; i < count; ++i) {
            ComPtr<IWMStreamConfig> stream;
            TCoding coding;
            if (FAILED(profile->GetStream(i, stream.GetAddressOf())) || !ReadCoding(stream.Get(), coding)) return E_INVALIDARG;
            TAsfInput* pin = coding.Video ? video_.get() : audio_.get();
            // One stream of each kind: the writer has one coder of each.
            for (const TSlot& s : slots)
                if (s.Pin == pin) return E_INVALIDARG;
            slots.push_back({pin, coding});
        }
        if (slots.empty()) return E_INVALIDARG;
        // A pin the new profile has no stream for leaves its connection.
        for (TAsfInput* pin : {audio_.get(), video_.get()}) {
            const bool kept = std::any_of(slots.begin(), slots.end(), [pin](const TSlot& s) { return s.Pin == pin; });
            if (kept || !pin->IsConnected()) continue;
            if (IPin* peer = pin->GetConnected()) peer->Disconnect();
            pin->Disconnect();
        }
        pins_ = std::move(slots);
        profile_ = profile;
        return S_OK;
    }

    HRESULT StartFile() override
    {
        if (name_.empty()) return E_FAIL;  // no file name was given
        std::vector<std::function<void(AVCodecParameters&)>> describe;
        std::vector<TAsfInput*> connected;
        std::vector<std::shared_ptr<AVCodecParameters>> params;
        for (const TSlot& slot : pins_) {
            slot.Pin->Stream = -1;
            if (!slot.Pin->IsConnected()) continue;
            std::shared_ptr<AVCodecParameters> p(avcodec_parameters_alloc(), [](AVCodecParameters* q) { avcodec_parameters_free(&q); });
            if (!p) return E_OUTOFMEMORY;
            const HRESULT hr = slot.Pin->Open(slot.Coding, *p);
            if (FAILED(hr)) return hr;
            describe.push_back([p](AVCodecParameters& to) { avcodec_parameters_copy(&to, p.get()); });
            connected.push_back(slot.Pin);
        }
        if (connected.empty()) return VFW_E_NOT_CONNECTED;
        ComPtr<IStream> stream;
        HRESULT hr = SHCreateStreamOnFileEx(name_.c_str(), STGM_CREATE | STGM_WRITE | STGM_SHARE_DENY_WRITE,
                                            FILE_ATTRIBUTE_NORMAL, TRUE, nullptr, stream.GetAddressOf());
        if (FAILED(hr)) return hr;
        hr = BeginFile("asf", stream.Get(), describe);
        if (FAILED(hr)) return hr;
        for (std::size_t i = 0; i < connected.size(); ++i) connected[i]->Stream = static_cast<int>(i);
        return S_OK;
    }
    // The header's file size, packet counts and lengths, as the finished file will have them, for
    // the whole packets that reached the file (the writer codes and writes fixed-size packets): the
    // length is where the last of them ends, not where the packets handed over but still held do.
    HRESULT Checkpoint(TAvFile& file) override
    {
        HRESULT hr = file.FlushOut();
        TAsfLayout layout;
        if (FAILED(hr) || !FindAsfLayout(file.Head(), layout)) return hr;
        const std::uint64_t end = file.Position();
        if (end < layout.Data + kAsfDataHeader + layout.PacketSize) return S_OK;
        const std::uint64_t packets = (end - layout.Data - kAsfDataHeader) / layout.PacketSize;
        std::vector<std::uint8_t> last;
        std::uint64_t endMs = 0;
        if (!file.WrittenBytes(layout.Data + kAsfDataHeader + (packets - 1) * layout.PacketSize,
                               static_cast<std::size_t>(layout.PacketSize), last) ||
            !AsfPacketEnd(last, endMs))
            return S_OK;  // the header keeps what it said
        const std::uint64_t length = endMs * 10000;
        // File size, creation date (as written), packets, play duration (with the preroll), send duration.
        std::vector<std::uint8_t> properties(file.Head().begin() + static_cast<std::ptrdiff_t>(layout.FileProperties + 40),
                                             file.Head().begin() + static_cast<std::ptrdiff_t>(layout.FileProperties + 80));
        PutLittleEndian(properties, 0, end);
        PutLittleEndian(properties, 16, packets);
        PutLittleEndian(properties, 24, length + layout.PrerollMs * 10000);
        PutLittleEndian(properties, 32, length);
        hr = file.PatchAt(layout.FileProperties + 40, properties);
        // The data object's size, its file id (as written) and its packets.
        std::vector<std::uint8_t> data(file.Head().begin() + static_cast<std::ptrdiff_t>(layout.Data + 16),
                                       file.Head().begin() + static_cast<std::ptrdiff_t>(layout.Data + 48));
        PutLittleEndian(data, 0, end - layout.Data);
        PutLittleEndian(data, 24, packets);
        if (SUCCEEDED(hr)) hr = file.PatchAt(layout.Data + 16, data);
        return hr;
    }
    void FinishFile() override
    {
        for (TAsfInput* pin : {audio_.get(), video_.get()}) {
            if (pin->Stream.load() >= 0) Written(pin->Drain());
            pin->Close();
            pin->Stream = -1;
        }
        TAvFileFilter::FinishFile();
    }

    struct SinkItf : IFileSinkFilter {
        explicit SinkItf(TAsfWriter& w) : o(w) {}
        QUILL_DELEGATING_UNKNOWN(o)
        HRESULT STDMETHODCALLTYPE SetFileName(LPCOLESTR name, const AM_MEDIA_TYPE*) override
        {
            if (name == nullptr) return E_POINTER;
            if (name[0] == L'\0') return E_INVALIDARG;
            filters::TBCAutoLock lock(*o.Lock());
            if (!o.IsStopped()) return VFW_E_NOT_STOPPED;
            o.name_ = name;
            return S_OK;
        }
        HRESULT STDMETHODCALLTYPE GetCurFile(LPOLESTR* name, AM_MEDIA_TYPE* mt) override
        {
            if (name == nullptr) return E_POINTER;
            *name = nullptr;
            filters::TBCAutoLock lock(*o.Lock());
            if (mt != nullptr) {
                filters::InitMediaType(*mt);
                mt->majortype = MEDIATYPE_Stream;
                mt->subtype = MEDIASUBTYPE_Asf;
            }
            if (o.name_.empty()) return E_FAIL;
            return filters::AMGetWideString(o.name_, name);
        }
        TAsfWriter& o;
    };
    struct ConfigItf : dshow::IConfigAsfWriter {
        explicit ConfigItf(TAsfWriter& w) : o(w) {}
        QUILL_DELEGATING_UNKNOWN(o)
        // Profiles by number or id are the profile manager's; the program hands the writer a profile.
        HRESULT STDMETHODCALLTYPE ConfigureFilterUsingProfileId(DWORD) override { return E_NOTIMPL; }
        HRESULT STDMETHODCALLTYPE GetCurrentProfileId(DWORD*) override { return E_NOTIMPL; }
        HRESULT STDMETHODCALLTYPE ConfigureFilterUsingProfileGuid(REFGUID) override { return E_NOTIMPL; }
        HRESULT STDMETHODCALLTYPE GetCurrentProfileGuid(GUID*) override { return E_NOTIMPL; }
        HRESULT STDMETHODCALLTYPE ConfigureFilterUsingProfile(IWMProfile* profile) override
        {
            return ComGuard([&] { return o.Configure(profile); });
        }
        HRESULT STDMETHODCALLTYPE GetCurrentProfile(IWMProfile** profile) override
        {
            if (profile == nullptr) return E_POINTER;
            filters::TBCAutoLock lock(*o.Lock());
            *profile = o.profile_.Get();
            if (*profile == nullptr) return E_FAIL;  // none given yet
            (*profile)->AddRef();
            return S_OK;
        }
        HRESULT STDMETHODCALLTYPE SetIndexMode(BOOL index) override
        {
            o.index_ = index != FALSE;
            return S_OK;
        }
        HRESULT STDMETHODCALLTYPE GetIndexMode(BOOL* index) override
        {
            if (index == nullptr) return E_POINTER;
            *index = o.index_ ? TRUE : FALSE;
            return S_OK;
        }
        TAsfWriter& o;
    };
    struct FlagsItf : IAMFilterMiscFlags {
        explicit FlagsItf(TAsfWriter& w) : o(w) {}
        QUILL_DELEGATING_UNKNOWN(o)
        // A renderer: the graph waits for its end of stream before it reports completion.
        ULONG STDMETHODCALLTYPE GetMiscFlags() override { return AM_FILTER_MISC_FLAGS_IS_RENDERER; }
        TAsfWriter& o;
    };

    SinkItf sinkItf_{*this};
    ConfigItf configItf_{*this};
    FlagsItf flagsItf_{*this};
    std::unique_ptr<TAsfInput> audio_, video_;
    std::vector<TSlot> pins_;
    ComPtr<IWMProfile> profile_;
    std::wstring name_;
    bool index_ = true;
};

TAsfInput::TAsfInput(TAsfWriter* writer, HRESULT& hr, bool video)
    : TBCBaseInputPin("ASF writer input", writer, writer->Lock(), hr, video ? kAsfVideoPin : kAsfAudioPin), Video(video), writer_(writer)
{
}

HRESULT TAsfInput::CheckMediaType(const AM_MEDIA_TYPE* mt)
{
    if (mt == nullptr) return E_POINTER;
    return (Video ? IsPictureInput(*mt) : PcmInput(*mt) != nullptr) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

void TAsfInput::Close()
{
    std::lock_guard<std::mutex> lock(coderLock_);
    CloseCoder();
}

void TAsfInput::CloseCoder()
{
    avcodec_free_context(&context_);
    av_frame_free(&frame_);
    av_packet_free(&packet_);
    scaler_.Close();
    resampler_.Close();
}

HRESULT TAsfInput::Open(const TCoding& coding, AVCodecParameters& parameters)
{
    std::lock_guard<std::mutex> lock(coderLock_);
    CloseCoder();
    const AM_MEDIA_TYPE& mt = CurrentMediaType();
    AVCodecID id = AV_CODEC_ID_WMAV2;
    if (Video) id = coding.FourCC == kWmv1 ? AV_CODEC_ID_WMV1 : coding.FourCC == kMp43 ? AV_CODEC_ID_MSMPEG4V3 : AV_CODEC_ID_WMV2;
    const AVCodec* codec = avcodec_find_encoder(id);
    if (codec == nullptr) return E_UNEXPECTED;
    QuietCoderLog();
    context_ = avcodec_alloc_context3(codec);
    frame_ = av_frame_alloc();
    packet_ = av_packet_alloc();
    if (context_ == nullptr || frame_ == nullptr || packet_ == nullptr) {
        CloseCoder();
        return E_OUTOFMEMORY;
    }
    if (Video) {
        const VIDEOINFOHEADER* vih = VideoHeader(mt);
        if (vih == nullptr) return VFW_E_TYPE_NOT_ACCEPTED;
        // The profile's size and frame rate, as the stock writer codes them; the input's where it says none.
        const int width = static_cast<int>(vih->bmiHeader.biWidth);
        const int height = static_cast<int>(std::abs(vih->bmiHeader.biHeight));
        context_->width = coding.Width > 0 ? coding.Width : width;
        context_->height = coding.Height > 0 ? coding.Height : height;
        context_->pix_fmt = AV_PIX_FMT_YUV420P;
        const REFERENCE_TIME frameTime = coding.FrameTime > 0      ? coding.FrameTime
                                         : vih->AvgTimePerFrame > 0 ? vih->AvgTimePerFrame
                                                                    : kDefaultFrameTime;
        if (!scaler_.Open(width, height, context_->width, context_->height)) {
            CloseCoder();
            return E_OUTOFMEMORY;
        }
        pacer_.Reset(frameTime);
        int num = 1, den = 25;
        av_reduce(&num, &den, frameTime, 10000000, 65535);
        context_->time_base = AVRational{num, den};
        context_->framerate = AVRational{den, num};
        context_->gop_size = kKeyInterval;
        context_->max_b_frames = 0;
        context_->bit_rate = std::max<long>(coding.BitRate, 16000);
        frame_->format = AV_PIX_FMT_YUV420P;
        frame_->width = context_->width;
        frame_->height = context_->height;
    } else {
        const WAVEFORMATEX* wfx = PcmInput(mt);
        if (wfx == nullptr) return VFW_E_TYPE_NOT_ACCEPTED;
        // The profile's rate and channels; the input's where it says none.
        const int rate = static_cast<int>(wfx->nSamplesPerSec), channels = wfx->nChannels;
        context_->sample_fmt = AV_SAMPLE_FMT_FLTP;
        context_->sample_rate = coding.Rate > 0 ? coding.Rate : rate;
        av_channel_layout_default(&context_->ch_layout, coding.Channels > 0 ? coding.Channels : channels);
        if (!resampler_.Open(rate, channels, context_->sample_rate, context_->ch_layout.nb_channels)) {
            CloseCoder();
            return E_OUTOFMEMORY;
        }
        context_->bit_rate = std::max(coding.BitRate, kLeastSoundBitRate);
        context_->time_base = AVRational{1, context_->sample_rate};
    }
    context_->thread_count = 1;
    if (avcodec_open2(context_, codec, nullptr) < 0) {
        CloseCoder();
        return E_FAIL;
    }
    if (!Video) {
        frame_->format = AV_SAMPLE_FMT_FLTP;
        frame_->nb_samples = context_->frame_size;
        frame_->sample_rate = context_->sample_rate;
        if (av_channel_layout_copy(&frame_->ch_layout, &context_->ch_layout) < 0) {
            CloseCoder();
            return E_OUTOFMEMORY;
        }
    }
    if (av_frame_get_buffer(frame_, 0) < 0 || avcodec_parameters_from_context(&parameters, context_) < 0) {
        CloseCoder();
        return E_OUTOFMEMORY;
    }
    count_ = 0;
    filled_ = 0;
    haveStart_ = false;
    start_ = 0;
    return S_OK;
}

HRESULT TAsfInput::SendFrame(AVFrame* frame)
{
    if (avcodec_send_frame(context_, frame) < 0) return E_FAIL;
    for (;;) {
        const int got = avcodec_receive_packet(context_, packet_);
        if (got == AVERROR(EAGAIN) || got == AVERROR_EOF) return S_OK;
        if (got < 0) return E_FAIL;
        // Sound packets are stamped from the samples counted, pictures from their slot.
        const REFERENCE_TIME start = Video ? pacer_.SlotStart(packet_->pts)
                                           : start_ + av_rescale(packet_->pts, 10000000, context_->sample_rate);
        const HRESULT hr = writer_->Write(Stream.load(), packet_->data, packet_->size, start, true,
                                          (packet_->flags & AV_PKT_FLAG_KEY) != 0);
        av_packet_unref(packet_);
        if (FAILED(hr)) return hr;
    }
}

HRESULT TAsfInput::CodeSound(const BYTE* data, long length, REFERENCE_TIME start, bool timed)
{
    if (!haveStart_) {
        start_ = timed ? start : 0;
        haveStart_ = true;
    }
    const WAVEFORMATEX* wfx = PcmInput(CurrentMediaType());
    if (wfx == nullptr) return VFW_E_TYPE_NOT_ACCEPTED;
    // A part sample is dropped; a long buffer goes through the resampler a second at a time.
    const long samples = length / wfx->nBlockAlign;
    const long step = static_cast<long>(wfx->nSamplesPerSec);
    const auto* pcm = reinterpret_cast<const std::int16_t*>(data);
    for (long done = 0; done < samples;) {
        const long take = std::min(samples - done, step);
        const HRESULT hr = CodeResampled(resampler_.Convert(pcm + done * wfx->nChannels, static_cast<int>(take)));
        if (FAILED(hr)) return hr;
        done += take;
    }
    return S_OK;
}

HRESULT TAsfInput::CodeResampled(int count)
{
    if (count < 0) return E_FAIL;
    const int channels = context_->ch_layout.nb_channels;
    for (int done = 0; done < count;) {
        if (av_frame_make_writable(frame_) < 0) return E_OUTOFMEMORY;
        const int take = std::min(count - done, frame_->nb_samples - filled_);
        for (int c = 0; c < channels; ++c)
            std::copy_n(resampler_.Plane(c) + done, take, reinterpret_cast<float*>(frame_->data[c]) + filled_);
        filled_ += take;
        done += take;
        if (filled_ == frame_->nb_samples) {
            frame_->pts = count_;
            count_ += filled_;
            filled_ = 0;
            const HRESULT hr = SendFrame(frame_);
            if (FAILED(hr)) return hr;
        }
    }
    return S_OK;
}

HRESULT TAsfInput::CodePicture(const BYTE* data, REFERENCE_TIME start, bool timed, bool key)
{
    const TFramePacer::TPlace place = pacer_.Place(start, timed);
    // A picture early for its slot is dropped, as the stock writer keeps to the profile's frame rate.
    if (!place.Take) return S_OK;
    // Slots the input skipped show the picture before again (frame_ still holds it).
    for (std::int64_t n = place.Slot - place.Repeats; n < place.Slot; ++n) {
        frame_->pts = n;
        frame_->pict_type = AV_PICTURE_TYPE_NONE;
        const HRESULT hr = SendFrame(frame_);
        if (FAILED(hr)) return hr;
    }
    if (av_frame_make_writable(frame_) < 0) return E_OUTOFMEMORY;
    if (!scaler_.Convert(data, CurrentMediaType(), frame_)) return E_FAIL;
    frame_->pts = place.Slot;
    frame_->pict_type = key ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;
    return SendFrame(frame_);
}

HRESULT TAsfInput::Receive(IMediaSample* sample)
{
    HRESULT hr = TBCBaseInputPin::Receive(sample);
    if (hr != S_OK) return hr;
    std::lock_guard<std::mutex> lock(coderLock_);
    if (Stream.load() < 0 || context_ == nullptr) return VFW_E_WRONG_STATE;
    BYTE* data = nullptr;
    if (FAILED(sample->GetPointer(&data)) || data == nullptr) return E_POINTER;
    REFERENCE_TIME start = 0, stop = 0;
    const bool timed = SUCCEEDED(sample->GetTime(&start, &stop));
    const long length = sample->GetActualDataLength();
    if (!Video) return CodeSound(data, length, start, timed);
    const AM_MEDIA_TYPE& mt = CurrentMediaType();
    const VIDEOINFOHEADER* vih = VideoHeader(mt);
    if (vih == nullptr) return VFW_E_TYPE_NOT_ACCEPTED;
    const std::size_t width = static_cast<std::size_t>(vih->bmiHeader.biWidth);
    const std::size_t height = static_cast<std::size_t>(std::abs(vih->bmiHeader.biHeight));
    const bool yuy2 = mt.subtype == MEDIASUBTYPE_YUY2;
    const std::size_t need = yuy2 ? width * 2 * height : ((width * 3 + 3) & ~std::size_t{3}) * height;
    // A picture shorter than its type says is not coded: there is nothing to read it from.
    if (length < static_cast<long>(need)) return S_OK;
    return CodePicture(data, start, timed, sample->IsDiscontinuity() == S_OK);
}

HRESULT TAsfInput::Drain()
{
    std::lock_guard<std::mutex> lock(coderLock_);
    if (context_ == nullptr) return S_OK;
    HRESULT hr = S_OK;
    // What the resampler holds back for its filter comes out at the end.
    if (!Video && haveStart_) hr = CodeResampled(resampler_.Convert(nullptr, 0));
    if (SUCCEEDED(hr) && !Video && filled_ > 0) {
        // The last part frame is coded padded with silence.
        if (av_frame_make_writable(frame_) < 0) hr = E_OUTOFMEMORY;
        for (int c = 0; SUCCEEDED(hr) && c < context_->ch_layout.nb_channels; ++c)
            std::fill_n(reinterpret_cast<float*>(frame_->data[c]) + filled_, frame_->nb_samples - filled_, 0.0f);
        frame_->pts = count_;
        count_ += filled_;
        filled_ = 0;
        if (SUCCEEDED(hr)) hr = SendFrame(frame_);
    }
    if (SUCCEEDED(hr)) hr = SendFrame(nullptr);
    CloseCoder();
    return hr;
}

HRESULT TAsfInput::EndOfStream()
{
    const HRESULT hr = CheckStreaming();
    if (hr != S_OK) return hr;
    writer_->StreamEnded(Stream.load());
    return S_OK;
}

const REGPINTYPES kVideoTypes[] = {{&MEDIATYPE_Video, &MEDIASUBTYPE_RGB24}, {&MEDIATYPE_Video, &MEDIASUBTYPE_YUY2}};
const REGPINTYPES kAudioTypes[] = {{&MEDIATYPE_Audio, &MEDIASUBTYPE_PCM}};
const REGFILTERPINS kPins[] = {
    {const_cast<LPWSTR>(kAsfAudioPin), FALSE, FALSE, FALSE, FALSE, &CLSID_NULL, nullptr, 1, kAudioTypes},
    {const_cast<LPWSTR>(kAsfVideoPin), FALSE, FALSE, FALSE, FALSE, &CLSID_NULL, nullptr, 2, kVideoTypes}};

const TStandinRegistrar kRegistrar([](filters::TBCFilterTemplate& templates) {
    filters::TBCFilterTemplateEntry entry;
    entry.Name = kAsfWriterName;
    entry.FilterClsid = CLSID_WMAsfWriter;
    entry.Category = CLSID_LegacyAmFilterCategory;
    entry.Merit = MERIT_DO_NOT_USE;
    entry.PinCount = 2;
    entry.Pins = kPins;
    entry.Create = [](IUnknown* controller, HRESULT&) -> filters::TBCUnknown* {
        return new TAsfWriter(*filters::Templates().GetFactoryFromClassID(CLSID_WMAsfWriter), controller);
    };
    templates.Add(std::move(entry));
});

}  // namespace
}  // namespace standins
