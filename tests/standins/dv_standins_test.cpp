// The DV stand-ins: listed in their categories under their names and bound by moniker and by display
// name; the camcorder → splitter → decoder chain with the sound branch running; the decoder → encoder →
// muxer round trip keeping the DIF framing and carrying the sound; the codec interfaces' answers.
#include "dv_test_support.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "filters/dv_codes.h"
#include "platform/standins/dv_camcorder.h"

using namespace dvtest;

namespace {

struct Listed {
    const GUID* Category;
    const wchar_t* Name;
    const CLSID* Clsid;
};

// Finds Name in Category: binds it by its moniker and again from its display name.
void CheckListed(const Listed& l)
{
    SCOPED_TRACE(testing::Message() << std::string(l.Name, l.Name + wcslen(l.Name)));
    auto devEnum = Create<ICreateDevEnum>(CLSID_SystemDeviceEnum, IID_ICreateDevEnum);
    ASSERT_TRUE(devEnum);
    ComPtr<IEnumMoniker> monikers;
    ASSERT_EQ(devEnum->CreateClassEnumerator(*l.Category, monikers.GetAddressOf(), 0), S_OK);
    ComPtr<IMoniker> moniker;
    bool found = false;
    while (!found && monikers->Next(1, moniker.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
        ComPtr<IPropertyBag> bag;
        if (FAILED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, reinterpret_cast<void**>(bag.GetAddressOf())))) {
            continue;
        }
        VARIANT v;
        VariantInit(&v);
        if (SUCCEEDED(bag->Read(L"FriendlyName", &v, nullptr)) && v.vt == VT_BSTR && std::wstring(v.bstrVal) == l.Name) {
            found = true;
        }
        VariantClear(&v);
    }
    ASSERT_TRUE(found);
    ComPtr<IBaseFilter> filter;
    ASSERT_EQ(moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, reinterpret_cast<void**>(filter.GetAddressOf())), S_OK);
    CLSID clsid{};
    filter->GetClassID(&clsid);
    EXPECT_EQ(clsid, *l.Clsid);

    ComPtr<IBindCtx> ctx;
    CreateBindCtx(0, ctx.GetAddressOf());
    LPOLESTR display = nullptr;
    ASSERT_EQ(moniker->GetDisplayName(ctx.Get(), nullptr, &display), S_OK);
    std::wstring displayName = display;
    CoTaskMemFree(display);
    ULONG eaten = 0;
    ComPtr<IMoniker> parsed;
    ASSERT_EQ(MkParseDisplayName(ctx.Get(), displayName.c_str(), &eaten, parsed.GetAddressOf()), S_OK);
    ComPtr<IBaseFilter> again;
    ASSERT_EQ(parsed->BindToObject(nullptr, nullptr, IID_IBaseFilter, reinterpret_cast<void**>(again.GetAddressOf())), S_OK);
    again->GetClassID(&clsid);
    EXPECT_EQ(clsid, *l.Clsid);
}

// True when most of the buffer's 16-bit samples are not zero.
bool Sounds(const std::vector<std::uint8_t>& pcm)
{
    size_t loud = 0;
    for (size_t i = 0; i + 1 < pcm.size(); i += 2) {
        if (static_cast<std::int16_t>(pcm[i] | (pcm[i + 1] << 8)) != 0) ++loud;
    }
    return loud > pcm.size() / 4;
}

}  // namespace

TEST(DVStandins, ListedInTheirCategoriesAndBound)
{
    ComScope com;
    const Listed listed[] = {
        {&CLSID_LegacyAmFilterCategory, L"DV Splitter", &CLSID_DVSplitter},
        {&CLSID_LegacyAmFilterCategory, L"DV Muxer", &CLSID_DVMux},
        {&CLSID_LegacyAmFilterCategory, L"DV Video Decoder", &CLSID_DVVideoCodec},
        {&CLSID_LegacyAmFilterCategory, L"DV Video Encoder", &CLSID_DVVideoEnc},
        {&CLSID_VideoCompressorCategory, L"DV Video Encoder", &CLSID_DVVideoEnc},
        {&CLSID_VideoInputDeviceCategory, standins::kDVCamcorderName, &standins::CLSID_QuillDVCamcorder},
    };
    for (const auto& l : listed) CheckListed(l);
}

TEST(DVStandins, StoredMonikersOfTheStockFiltersBind)
{
    ComScope com;
    const wchar_t* names[] = {
        L"@device:sw:{083863F1-70DE-11D0-BD40-00A0C911CE86}\\{129D7E40-C10D-11D0-AFB9-00AA00B67A42}",
        L"@device:sw:{083863F1-70DE-11D0-BD40-00A0C911CE86}\\{4EB31670-9FC6-11CF-AF6E-00AA00B67A42}",
    };
    for (const wchar_t* name : names) {
        SCOPED_TRACE(testing::Message() << std::string(name, name + wcslen(name)));
        ComPtr<IBindCtx> ctx;
        CreateBindCtx(0, ctx.GetAddressOf());
        ULONG eaten = 0;
        ComPtr<IMoniker> moniker;
        ASSERT_EQ(MkParseDisplayName(ctx.Get(), name, &eaten, moniker.GetAddressOf()), S_OK);
        ComPtr<IBaseFilter> filter;
        EXPECT_EQ(moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, reinterpret_cast<void**>(filter.GetAddressOf())), S_OK);
    }
}

// The program stores the encoder by its friendly name in the video compressor category.
TEST(DVStandins, EncoderBindsByItsStoredFriendlyNameMoniker)
{
    ComScope com;
    ComPtr<IBindCtx> ctx;
    CreateBindCtx(0, ctx.GetAddressOf());
    ULONG eaten = 0;
    ComPtr<IMoniker> moniker;
    ASSERT_EQ(MkParseDisplayName(ctx.Get(), L"@device:sw:{33D9A760-90C8-11D0-BD43-00A0C911CE86}\\DV Video Encoder", &eaten,
                                 moniker.GetAddressOf()),
              S_OK);
    ComPtr<IBaseFilter> filter;
    EXPECT_EQ(moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, reinterpret_cast<void**>(filter.GetAddressOf())), S_OK);
}

TEST(DVStandins, CaptureGraphBuilderRendersTheCapturePin)
{
    ComScope com;
    auto graph = Create<IGraphBuilder>(CLSID_FilterGraph, IID_IGraphBuilder);
    auto builder = Create<ICaptureGraphBuilder2>(CLSID_CaptureGraphBuilder2, IID_ICaptureGraphBuilder2);
    ASSERT_TRUE(graph && builder);
    ASSERT_EQ(builder->SetFiltergraph(graph.Get()), S_OK);
    auto camcorder = AddFilter(graph.Get(), standins::CLSID_QuillDVCamcorder, L"dv_source");
    auto splitter = AddFilter(graph.Get(), CLSID_DVSplitter, L"dv_splitter");
    ASSERT_EQ(builder->RenderStream(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Interleaved, camcorder.Get(), nullptr, splitter.Get()), S_OK);
    ComPtr<IPin> video, audio;
    EXPECT_EQ(builder->FindPin(splitter.Get(), PINDIR_OUTPUT, nullptr, &MEDIATYPE_Video, TRUE, 0, video.GetAddressOf()), S_OK);
    EXPECT_EQ(builder->FindPin(splitter.Get(), PINDIR_OUTPUT, nullptr, &MEDIATYPE_Audio, TRUE, 0, audio.GetAddressOf()), S_OK);
    ComPtr<IAMDroppedFrames> dropped;
    EXPECT_EQ(builder->FindInterface(nullptr, nullptr, camcorder.Get(), IID_IAMDroppedFrames,
                                     reinterpret_cast<void**>(dropped.GetAddressOf())), S_OK);
}

TEST(DVStandins, CamcorderSplitterDecoderChainRuns)
{
    ComScope com;
    auto graph = Create<IGraphBuilder>(CLSID_FilterGraph, IID_IGraphBuilder);
    auto camcorder = AddFilter(graph.Get(), standins::CLSID_QuillDVCamcorder, L"dv_source");
    auto splitter = AddFilter(graph.Get(), CLSID_DVSplitter, L"dv_splitter");
    auto decoder = AddFilter(graph.Get(), CLSID_DVVideoCodec, L"dv_dec");
    ASSERT_TRUE(camcorder && splitter && decoder);
    ASSERT_EQ(PinCount(splitter.Get()), 1);
    ASSERT_EQ(graph->ConnectDirect(PinOf(camcorder.Get(), PINDIR_OUTPUT).Get(), PinOf(splitter.Get(), PINDIR_INPUT).Get(), nullptr), S_OK);
    // The outputs appear with the input connection: video first, then sound.
    ASSERT_EQ(PinCount(splitter.Get()), 3);
    AM_MEDIA_TYPE mt{};
    ComPtr<IEnumMediaTypes> types;
    ASSERT_EQ(PinOf(splitter.Get(), PINDIR_OUTPUT, 1)->EnumMediaTypes(types.GetAddressOf()), S_OK);
    AM_MEDIA_TYPE* first = nullptr;
    ASSERT_EQ(types->Next(1, &first, nullptr), S_OK);
    EXPECT_EQ(first->majortype, MEDIATYPE_Audio);
    CoTaskMemFree(first->pbFormat);
    CoTaskMemFree(first);

    auto ipdv = Query<IIPDVDec>(decoder, IID_IIPDVDec);
    ASSERT_TRUE(ipdv);
    EXPECT_EQ(ipdv->put_IPDisplay(999), E_INVALIDARG);
    ASSERT_EQ(ipdv->put_IPDisplay(DVRESOLUTION_HALF), S_OK);
    int display = 0;
    ipdv->get_IPDisplay(&display);
    EXPECT_EQ(display, DVRESOLUTION_HALF);

    Collector pictures, sound;
    auto videoGrabber = AddGrabber(graph.Get(), pictures, MEDIATYPE_Video, MEDIASUBTYPE_RGB24, L"Video grabber");
    auto audioGrabber = AddGrabber(graph.Get(), sound, MEDIATYPE_Audio, GUID_NULL, L"Audio grabber");
    auto nullVideo = AddFilter(graph.Get(), kNullRenderer, L"Null video");
    auto nullAudio = AddFilter(graph.Get(), kNullRenderer, L"Null audio");
    ASSERT_EQ(graph->ConnectDirect(PinOf(splitter.Get(), PINDIR_OUTPUT, 0).Get(), PinOf(decoder.Get(), PINDIR_INPUT).Get(), nullptr), S_OK);
    ASSERT_EQ(graph->Connect(PinOf(decoder.Get(), PINDIR_OUTPUT).Get(), PinOf(videoGrabber.Get(), PINDIR_INPUT).Get()), S_OK);
    ASSERT_EQ(graph->Connect(PinOf(videoGrabber.Get(), PINDIR_OUTPUT).Get(), PinOf(nullVideo.Get(), PINDIR_INPUT).Get()), S_OK);
    ASSERT_EQ(graph->ConnectDirect(PinOf(splitter.Get(), PINDIR_OUTPUT, 1).Get(), PinOf(audioGrabber.Get(), PINDIR_INPUT).Get(), nullptr), S_OK);
    ASSERT_EQ(graph->Connect(PinOf(audioGrabber.Get(), PINDIR_OUTPUT).Get(), PinOf(nullAudio.Get(), PINDIR_INPUT).Get()), S_OK);

    // Half size: 360 x 288 RGB24.
    ASSERT_EQ(PinOf(decoder.Get(), PINDIR_OUTPUT)->ConnectionMediaType(&mt), S_OK);
    ASSERT_EQ(mt.formattype, FORMAT_VideoInfo);
    const auto* vih = reinterpret_cast<const VIDEOINFOHEADER*>(mt.pbFormat);
    EXPECT_EQ(vih->bmiHeader.biWidth, 360);
    EXPECT_EQ(vih->bmiHeader.biHeight, 288);
    CoTaskMemFree(mt.pbFormat);
    // While running the size cannot change.
    pictures.Limit = sound.Limit = 10;
    ASSERT_TRUE(RunUntil(graph.Get(), [&] { return pictures.Taken() >= 10 && sound.Taken() >= 10; }));

    for (const auto& p : pictures.Copy()) {
        ASSERT_EQ(p.size(), 360u * 288 * 3);
        // The camcorder's colour bars, decoded: white at the top left, black at the top right (bottom-up rows).
        const std::size_t top = 287u * 360 * 3;
        EXPECT_GT(p[top], 150);
        EXPECT_GT(p[top + 2], 150);
        EXPECT_LT(p[top + 359 * 3], 40);
        EXPECT_LT(p[top + 359 * 3 + 2], 40);
    }
    // The sound of each frame the camcorder gave; where a busy machine made it lose one (no
    // picture at that time), the splitter gives silence in its place.
    const auto pictureTimes = pictures.TimesTaken();
    const auto soundTimes = sound.TimesTaken();
    const auto sounds = sound.Copy();
    int sounding = 0;
    for (std::size_t i = 0; i < sounds.size(); ++i) {
        const auto& s = sounds[i];
        EXPECT_EQ(s.size(), 1920u * 4);  // 48 kHz stereo, 16 bits, 25 frames a second
        if (Sounds(s)) {
            ++sounding;
            continue;
        }
        const bool pictured = std::any_of(pictureTimes.begin(), pictureTimes.end(),
                                          [&](double t) { return std::abs(t - soundTimes[i]) < 0.02; });
        EXPECT_FALSE(pictured) << "no sound at " << soundTimes[i] << " s, where the camcorder gave a frame";
        EXPECT_TRUE(std::all_of(s.begin(), s.end(), [](std::uint8_t b) { return b == 0; }))
            << "a lost frame's place is not silence";
    }
    EXPECT_GT(sounding, 0) << "no frame's sound came through";
    // Stopped and connected, a new size reconnects the output.
    ASSERT_EQ(ipdv->put_IPDisplay(DVRESOLUTION_FULL), S_OK);
    ASSERT_EQ(PinOf(decoder.Get(), PINDIR_OUTPUT)->ConnectionMediaType(&mt), S_OK);
    EXPECT_EQ(reinterpret_cast<const VIDEOINFOHEADER*>(mt.pbFormat)->bmiHeader.biWidth, 720);
    CoTaskMemFree(mt.pbFormat);
}

TEST(DVStandins, EncoderMuxerRoundTripKeepsFramingAndSound)
{
    ComScope com;
    auto graph = Create<IGraphBuilder>(CLSID_FilterGraph, IID_IGraphBuilder);
    auto camcorder = AddFilter(graph.Get(), standins::CLSID_QuillDVCamcorder, L"dv_source");
    auto splitter = AddFilter(graph.Get(), CLSID_DVSplitter, L"dv_splitter");
    auto decoder = AddFilter(graph.Get(), CLSID_DVVideoCodec, L"dv_dec");
    auto encoder = AddFilter(graph.Get(), CLSID_DVVideoEnc, L"DVenc");
    auto muxer = AddFilter(graph.Get(), CLSID_DVMux, L"DVmux");
    ASSERT_TRUE(camcorder && splitter && decoder && encoder && muxer);

    auto dvEnc = Query<IDVEnc>(encoder, IID_IDVEnc);
    ASSERT_TRUE(dvEnc);
    EXPECT_EQ(dvEnc->put_IFormatResolution(1999, DVENCODERFORMAT_DVSD, DVENCODERRESOLUTION_720x480, FALSE, nullptr), E_INVALIDARG);
    EXPECT_EQ(dvEnc->put_IFormatResolution(DVENCODERVIDEOFORMAT_PAL, DVENCODERFORMAT_DVHD, DVENCODERRESOLUTION_720x480, FALSE, nullptr), E_INVALIDARG);
    EXPECT_EQ(dvEnc->put_IFormatResolution(DVENCODERVIDEOFORMAT_PAL, DVENCODERFORMAT_DVSD, 42, FALSE, nullptr), E_INVALIDARG);
    ASSERT_EQ(dvEnc->put_IFormatResolution(DVENCODERVIDEOFORMAT_PAL, DVENCODERFORMAT_DVSD, DVENCODERRESOLUTION_720x480, FALSE, nullptr), S_OK);
    int videoFormat = 0, dvFormat = 0, resolution = 0;
    DVINFO info{};
    ASSERT_EQ(dvEnc->get_IFormatResolution(&videoFormat, &dvFormat, &resolution, TRUE, &info), S_OK);
    EXPECT_EQ(videoFormat, DVENCODERVIDEOFORMAT_PAL);
    EXPECT_EQ(dvFormat, DVENCODERFORMAT_DVSD);
    EXPECT_EQ(resolution, DVENCODERRESOLUTION_720x480);
    EXPECT_EQ(info.dwDVVAuxSrc & 0x00200000u, 0x00200000u);  // the 50-field flag

    // Muxer pins: video input and output, then the sound input appears between them.
    ASSERT_EQ(PinCount(muxer.Get()), 2);
    ASSERT_EQ(graph->ConnectDirect(PinOf(camcorder.Get(), PINDIR_OUTPUT).Get(), PinOf(splitter.Get(), PINDIR_INPUT).Get(), nullptr), S_OK);
    ASSERT_EQ(graph->ConnectDirect(PinOf(splitter.Get(), PINDIR_OUTPUT, 0).Get(), PinOf(decoder.Get(), PINDIR_INPUT).Get(), nullptr), S_OK);
    ASSERT_EQ(graph->ConnectDirect(PinOf(decoder.Get(), PINDIR_OUTPUT).Get(), PinOf(encoder.Get(), PINDIR_INPUT).Get(), nullptr), S_OK);
    ASSERT_EQ(graph->ConnectDirect(PinOf(encoder.Get(), PINDIR_OUTPUT).Get(), PinOf(muxer.Get(), PINDIR_INPUT, 0).Get(), nullptr), S_OK);
    ASSERT_EQ(PinCount(muxer.Get()), 3);
    ASSERT_EQ(graph->ConnectDirect(PinOf(splitter.Get(), PINDIR_OUTPUT, 1).Get(), PinOf(muxer.Get(), PINDIR_INPUT, 1).Get(), nullptr), S_OK);
    // The format cannot move to 525/60 under the connection.
    EXPECT_EQ(dvEnc->put_IFormatResolution(DVENCODERVIDEOFORMAT_NTSC, DVENCODERFORMAT_DVSD, DVENCODERRESOLUTION_720x480, FALSE, nullptr),
              VFW_E_ALREADY_CONNECTED);

    Collector frames;
    auto grabber = AddGrabber(graph.Get(), frames, MEDIATYPE_Interleaved);
    auto null = AddFilter(graph.Get(), kNullRenderer, L"Null");
    ASSERT_EQ(graph->ConnectDirect(PinOf(muxer.Get(), PINDIR_OUTPUT).Get(), PinOf(grabber.Get(), PINDIR_INPUT).Get(), nullptr), S_OK);
    ASSERT_EQ(graph->Connect(PinOf(grabber.Get(), PINDIR_OUTPUT).Get(), PinOf(null.Get(), PINDIR_INPUT).Get()), S_OK);

    frames.Limit = 20;
    ASSERT_TRUE(RunUntil(graph.Get(), [&] { return frames.Taken() >= 20; }));
    const auto out = frames.Copy();
    int sounding = 0;
    for (const auto& f : out) {
        ASSERT_EQ(f.size(), filters::kDVFrameBytes625);
        for (int seq = 0; seq < filters::kDVSequences625; ++seq) {
            const size_t base = seq * filters::kDVSequenceBytes;
            // Block IDs: header, subcode, VAUX, then audio blocks every 16 blocks.
            EXPECT_EQ(f[base] >> 5, 0);
            EXPECT_EQ(f[base + 80] >> 5, 1);
            EXPECT_EQ(f[base + 240] >> 5, 2);
            EXPECT_EQ(f[base + 480] >> 5, 3);
            EXPECT_EQ(f[base + 560] >> 5, 4);
            EXPECT_EQ(f[base + 1] >> 4, seq);
        }
        filters::TDVInfoRec rec;
        filters::DVFillInfoRec(rec, f);
        EXPECT_EQ(rec.System, filters::kDVSystem625);
        EXPECT_TRUE(rec.TimecodeValid);
        EXPECT_TRUE(rec.StreamValid);
        EXPECT_EQ(rec.AudioRate, 48000);
        EXPECT_EQ(rec.AudioBits, 16);
        // The first audio block's samples: the camcorder's tone once the sound has caught up.
        int loud = 0;
        for (size_t i = 488; i < 560; i += 2) loud += (f[i] | f[i + 1]) != 0;
        if (loud > 20) ++sounding;
    }
    EXPECT_GT(sounding, 5);
}
