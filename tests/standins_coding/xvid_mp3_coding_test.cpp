// MPEG-4 and MP3 from the stand-ins: the Xvid compressor is listed by a name with "Xvid" in it and its
// AVI (written by the AVI multiplexer stand-in into a test sink) plays in ffmpeg; the MP3 encoder's stream has
// the duration of the sound that went in and the bit rate of its registry value, odd values give 128,
// and registering the stand-ins writes 128 only where there is no value.
#include <gtest/gtest.h>

#include "coding_support.h"
#include "media_sources.h"

#include "dshow/ds_helpers.h"
#include "platform/standins/mp3_encoder.h"
#include "platform/standins/xvid_compressor.h"
#include "tests/dv/avi_stream_sink.h"

#include <mmreg.h>

#include <cmath>
#include <cstring>
#include <optional>

namespace coding_test {
namespace {

using ftest::MediaSource;
using Microsoft::WRL::ComPtr;

TEST(XvidCompressor, ListedAmongTheVideoCompressorsUnderANameWithXvid)
{
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    {
        ComPtr<ICreateDevEnum> devices;
        ASSERT_EQ(S_OK, CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_ICreateDevEnum,
                                         reinterpret_cast<void**>(devices.GetAddressOf())));
        ComPtr<IEnumMoniker> monikers;
        ASSERT_EQ(S_OK, devices->CreateClassEnumerator(CLSID_VideoCompressorCategory, monikers.GetAddressOf(), 0));
        bool found = false;
        ComPtr<IMoniker> moniker;
        while (!found && monikers->Next(1, moniker.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
            ComPtr<IPropertyBag> bag;
            moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, reinterpret_cast<void**>(bag.GetAddressOf()));
            VARIANT name;
            VariantInit(&name);
            if (bag && SUCCEEDED(bag->Read(L"FriendlyName", &name, nullptr)) && name.vt == VT_BSTR) {
                std::wstring lower(name.bstrVal);
                for (auto& c : lower) c = static_cast<wchar_t>(towlower(c));
                if (lower.find(L"xvid") != std::wstring::npos) {
                    ComPtr<IBaseFilter> filter;
                    EXPECT_EQ(S_OK, moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter,
                                                          reinterpret_cast<void**>(filter.GetAddressOf())));
                    ComPtr<IAMVfwCompressDialogs> dialogs;
                    EXPECT_EQ(S_OK, filter->QueryInterface(IID_IAMVfwCompressDialogs, reinterpret_cast<void**>(dialogs.GetAddressOf())));
                    found = true;
                }
            }
            VariantClear(&name);
        }
        EXPECT_TRUE(found) << "no video compressor with Xvid in its name";
    }
    CoUninitialize();
}

class XvidAvi : public ftest::FilterGraphTest {};

TEST_F(XvidAvi, AviFromTheCompressorPlaysInFfmpeg)
{
    const auto dir = FreshFolder(L"xvid");
    constexpr int w = 320, h = 240, count = 30;
    AM_MEDIA_TYPE mt{};
    ftest::MakeVideoType(mt, w, h);
    auto* source = Add(new MediaSource(mt, ftest::VideoBytes(w, h)), L"Source");
    dshow::FreeMediaType(mt);
    source->Count = count;
    source->Fill = [](int i, BYTE* data, long) { ToBottomUpBgr(TestPicture(w, h, i), w, h, data); };
    auto compressor = AddStock(standins::CLSID_XvidCompressorStandin, L"Xvid");
    auto mux = AddStock(CLSID_AviDest, L"AVI Mux");
    ASSERT_TRUE(compressor && mux);
    ASSERT_EQ(S_OK, avisink::PrepareMux(mux.Get()));
    auto* sink = Add(new avisink::StreamSink, L"AVI sink");
    ASSERT_EQ(S_OK, Link(mux.Get(), sink->BaseFilterInterface()));
    ASSERT_EQ(S_OK, Link(source->BaseFilterInterface(), compressor.Get()));
    ASSERT_EQ(S_OK, Link(compressor.Get(), mux.Get()));
    ASSERT_TRUE(SUCCEEDED(control->Run()));
    ASSERT_TRUE(ftest::WaitUntil([&] { return source->EosSent.load(); }, 30000));
    control->Stop();
    const auto avi = dir / L"xvid.avi";
    ASSERT_TRUE(sink->Save(avi));

    EXPECT_EQ("mpeg4", Probe(avi, "stream=codec_name"));
    EXPECT_EQ("XVID", Probe(avi, "stream=codec_tag_string"));
    EXPECT_EQ(std::to_string(count), Probe(avi, "stream=nb_read_frames", "-count_frames -select_streams v:0"));
    // A picture well into the run, as ffmpeg decodes it, is the one that went in.
    ASSERT_EQ(0, RunShell("ffmpeg -v error -y -i '" + UnixPath(avi) + "' -vf trim=start_frame=20 -frames:v 1 -f rawvideo -pix_fmt rgb24 '" +
                          UnixPath(dir / L"frame20.rgb") + "'"));
    const auto decoded = ReadFile(dir / L"frame20.rgb");
    ASSERT_EQ(static_cast<std::size_t>(w) * h * 3, decoded.size());
    EXPECT_GE(Psnr(TestPicture(w, h, 20), decoded), 30.0);
}

// Sets the encoder's "Bitrate" for one test and puts back what was there.
class BitrateValue {
public:
    BitrateValue()
    {
        DWORD type = 0, size = sizeof(saved_);
        if (RegGetValueW(HKEY_CURRENT_USER, standins::kMp3EncoderKey, L"Bitrate", RRF_RT_REG_DWORD, &type, &saved_, &size) ==
            ERROR_SUCCESS) {
            had_ = true;
        }
    }
    ~BitrateValue()
    {
        if (had_) {
            Set(saved_);
        } else {
            Remove();
        }
    }
    static void Set(DWORD kbps) { Write(REG_DWORD, &kbps, sizeof(kbps)); }
    static void SetText(const wchar_t* text)
    {
        Write(REG_SZ, text, static_cast<DWORD>((wcslen(text) + 1) * sizeof(wchar_t)));
    }
    static void Remove() { RegDeleteKeyValueW(HKEY_CURRENT_USER, standins::kMp3EncoderKey, L"Bitrate"); }
    static std::optional<DWORD> Get()
    {
        DWORD value = 0, size = sizeof(value);
        if (RegGetValueW(HKEY_CURRENT_USER, standins::kMp3EncoderKey, L"Bitrate", RRF_RT_REG_DWORD, nullptr, &value, &size) !=
            ERROR_SUCCESS) {
            return std::nullopt;
        }
        return value;
    }

private:
    static void Write(DWORD type, const void* data, DWORD size)
    {
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, standins::kMp3EncoderKey, 0, nullptr, 0, KEY_SET_VALUE,
                                                 nullptr, &key, nullptr));
        RegSetValueExW(key, L"Bitrate", 0, type, static_cast<const BYTE*>(data), size);
        RegCloseKey(key);
    }
    DWORD saved_ = 0;
    bool had_ = false;
};

constexpr int kRate = 44100;
constexpr int kChunk = kRate / 10;  // samples per source sample: 0.1 s
constexpr int kChunks = 30;

class Mp3Encoding : public ftest::FilterGraphTest {
protected:
    // Source of KChunks x 0.1 s of a 440 Hz stereo tone, then the MP3 encoder.
    ComPtr<IBaseFilter> SourceAndEncoder(MediaSource*& source)
    {
        AM_MEDIA_TYPE mt{};
        ftest::MakePcmType(mt, kRate, 2, 16, false);
        source = Add(new MediaSource(mt, kChunk * 4), L"Sound");
        dshow::FreeMediaType(mt);
        source->Count = kChunks;
        source->Duration = 1000000;
        source->Fill = [](int i, BYTE* data, long) {
            auto* pcm = reinterpret_cast<std::int16_t*>(data);
            for (int n = 0; n < kChunk; ++n) {
                const double t = static_cast<double>(i * kChunk + n) / kRate;
                pcm[2 * n] = pcm[2 * n + 1] = static_cast<std::int16_t>(8000 * std::sin(2 * 3.141592653589793 * 440 * t));
            }
        };
        auto encoder = AddStock(standins::CLSID_Mp3EncoderStandin, L"MP3 encoder");
        if (encoder) {
            EXPECT_EQ(S_OK, Link(source->BaseFilterInterface(), encoder.Get()));
        }
        return encoder;
    }

    // The bit rate (kbit/s) of the type the encoder offers now.
    static DWORD OfferedKbps(IBaseFilter* encoder)
    {
        ComPtr<IEnumPins> pins;
        encoder->EnumPins(pins.GetAddressOf());
        ComPtr<IPin> pin;
        while (pins->Next(1, pin.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
            PIN_DIRECTION dir{};
            pin->QueryDirection(&dir);
            if (dir != PINDIR_OUTPUT) continue;
            ComPtr<IEnumMediaTypes> types;
            pin->EnumMediaTypes(types.GetAddressOf());
            AM_MEDIA_TYPE* mt = nullptr;
            if (types->Next(1, &mt, nullptr) != S_OK) return 0;
            const DWORD kbps = reinterpret_cast<const WAVEFORMATEX*>(mt->pbFormat)->nAvgBytesPerSec * 8 / 1000;
            dshow::DeleteMediaType(mt);
            return kbps;
        }
        return 0;
    }
};

TEST_F(Mp3Encoding, StreamHasTheSoundsDurationAndTheBitrateOfTheKey)
{
    BitrateValue keep;
    BitrateValue::Set(96);
    const auto dir = FreshFolder(L"mp3");
    MediaSource* source = nullptr;
    auto encoder = SourceAndEncoder(source);
    ASSERT_TRUE(encoder);
    ASSERT_EQ(S_OK, AddGrabberAfter(encoder.Get(), MEDIATYPE_Audio));
    AM_MEDIA_TYPE got{};
    ASSERT_TRUE(GrabbedType(got));
    EXPECT_EQ(standins::MEDIASUBTYPE_MPEGLayer3, got.subtype);
    ASSERT_EQ(FORMAT_WaveFormatEx, got.formattype);
    const auto* wf = reinterpret_cast<const MPEGLAYER3WAVEFORMAT*>(got.pbFormat);
    EXPECT_EQ(WAVE_FORMAT_MPEGLAYER3, wf->wfx.wFormatTag);
    EXPECT_EQ(96000u / 8, wf->wfx.nAvgBytesPerSec);
    EXPECT_EQ(static_cast<DWORD>(kRate), wf->wfx.nSamplesPerSec);
    dshow::FreeMediaType(got);

    ASSERT_TRUE(SUCCEEDED(control->Run()));
    ASSERT_TRUE(ftest::WaitUntil([&] { return source->EosSent.load(); }, 30000));
    control->Stop();
    std::vector<std::uint8_t> stream;
    for (const auto& s : recorder.Samples()) {
        // Whole frames only, so that a stream taken up again at any sample (after a freeze) decodes.
        ASSERT_GE(s.data.size(), 2u);
        EXPECT_TRUE(s.data[0] == 0xFF && (s.data[1] & 0xFE) == 0xFA) << "a sample begins with a frame's header";
        stream.insert(stream.end(), s.data.begin(), s.data.end());
    }
    const auto mp3 = dir / L"tone.mp3";
    ASSERT_TRUE(WriteFile(mp3, stream));

    EXPECT_EQ("mp3", Probe(mp3, "stream=codec_name"));
    EXPECT_EQ("96000", Probe(mp3, "stream=bit_rate"));
    EXPECT_EQ(std::to_string(kRate), Probe(mp3, "stream=sample_rate"));
    ASSERT_EQ(0, RunShell("ffmpeg -v error -y -i '" + UnixPath(mp3) + "' -f s16le -ac 2 '" + UnixPath(dir / L"tone.pcm") + "'"));
    // Every sample that went in comes out, behind the coder's delay and padding (under three frames).
    const auto samples = static_cast<long>(ReadFile(dir / L"tone.pcm").size() / 4);
    EXPECT_GE(samples, kChunk * kChunks);
    EXPECT_LE(samples, kChunk * kChunks + 3 * 1152);
}

TEST_F(Mp3Encoding, OddBitrateValuesGive128)
{
    BitrateValue keep;
    MediaSource* source = nullptr;
    auto encoder = SourceAndEncoder(source);
    ASSERT_TRUE(encoder);
    BitrateValue::Set(320);
    EXPECT_EQ(320u, OfferedKbps(encoder.Get()));
    BitrateValue::Set(100);  // not a Layer III rate
    EXPECT_EQ(128u, OfferedKbps(encoder.Get()));
    BitrateValue::Set(0);
    EXPECT_EQ(128u, OfferedKbps(encoder.Get()));
    BitrateValue::SetText(L"96");
    EXPECT_EQ(128u, OfferedKbps(encoder.Get()));
    BitrateValue::Remove();
    EXPECT_EQ(128u, OfferedKbps(encoder.Get()));
}

TEST(Mp3Registration, WritesTheDefaultBitrateOnlyWhereThereIsNone)
{
    BitrateValue keep;
    // The stand-in DLL as registered for the encoder's class.
    wchar_t dll[MAX_PATH] = {};
    DWORD size = sizeof(dll);
    ASSERT_EQ(ERROR_SUCCESS, RegGetValueW(HKEY_CLASSES_ROOT, L"CLSID\\{B8D27088-FF5F-4B7C-98DC-0E91A1696286}\\InprocServer32",
                                          nullptr, RRF_RT_REG_SZ, nullptr, dll, &size));
    HMODULE module = LoadLibraryW(dll);
    ASSERT_NE(nullptr, module);
    auto registerServer = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(
        reinterpret_cast<void*>(GetProcAddress(module, "DllRegisterServer")));
    ASSERT_NE(nullptr, registerServer);
    BitrateValue::Remove();
    EXPECT_EQ(S_OK, registerServer());
    EXPECT_EQ(std::optional<DWORD>(128), BitrateValue::Get());
    BitrateValue::Set(112);
    EXPECT_EQ(S_OK, registerServer());
    EXPECT_EQ(std::optional<DWORD>(112), BitrateValue::Get());
    FreeLibrary(module);
}

}  // namespace
}  // namespace coding_test
