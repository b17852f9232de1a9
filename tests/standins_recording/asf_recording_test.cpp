// The Windows Media stand-ins in Wine graphs: the profile manager of the prefix's wmvcore.dll (the
// default profiles by id, the system profiles by version, the rest of Wine's wmvcore still there),
// and the ASF writer the capture graph builder makes for ASF output: its pins rebuilt from the
// profile, the types it refuses, the camera and the microphone coded into ASF files ffprobe and
// ffmpeg read whole, a second run into a new name writing a second whole file, a stop that comes
// while a picture is being coded.
#include "recording_support.h"

#include <wmsdkidl.h>

#include <fstream>
#include <sstream>
#include <thread>

#include "older_file.h"
#include "recording_headers.h"
#include "platform/standins/asf_writer.h"
#include "tests/filters/test_filters.h"

namespace recording_test {
namespace {

const GUID kDefaultProfiles[] = {
    {0x0b89164a, 0x5490, 0x4686, {0x9e, 0x37, 0x5a, 0x80, 0x88, 0x4e, 0x51, 0x46}},
    {0xec298949, 0x639b, 0x45e2, {0x96, 0xfd, 0x4a, 0xb3, 0x2d, 0x59, 0x19, 0xc2}},
    {0x29b00c2b, 0x09a9, 0x48bd, {0xad, 0x09, 0xcd, 0xae, 0x11, 0x7d, 0x1d, 0xa7}},
    {0xa2e300b4, 0xc2d4, 0x4fc0, {0xb5, 0xdd, 0xec, 0xbd, 0x94, 0x8d, 0xc0, 0xdf}},
};

// The prefix's profile manager, made as the program makes it.
class ProfileManager {
public:
    ProfileManager()
    {
        library_ = LoadLibraryW(L"wmvcore.dll");
        using CreateFn = HRESULT(WINAPI*)(IWMProfileManager**);
        auto create = library_ != nullptr ? reinterpret_cast<CreateFn>(reinterpret_cast<void*>(GetProcAddress(library_, "WMCreateProfileManager")))
                                          : nullptr;
        if (create != nullptr && SUCCEEDED(create(manager_.GetAddressOf()))) manager_.As(&manager2_);
    }
    ~ProfileManager()
    {
        manager2_.Reset();
        manager_.Reset();
        if (library_ != nullptr) FreeLibrary(library_);
    }
    HMODULE Library() const { return library_; }
    IWMProfileManager* Get() const { return manager_.Get(); }
    IWMProfileManager2* Versions() const { return manager2_.Get(); }

private:
    HMODULE library_ = nullptr;
    ComPtr<IWMProfileManager> manager_;
    ComPtr<IWMProfileManager2> manager2_;
};

std::wstring NameOf(IWMProfile* profile)
{
    DWORD length = 0;
    if (FAILED(profile->GetName(nullptr, &length)) || length == 0) return L"<none>";
    std::wstring name(length, L'\0');
    if (FAILED(profile->GetName(name.data(), &length))) return L"<failed>";
    name.resize(length - 1);
    return name;
}

// The profile's stream types in order ("a" sound, "v" video) and the video's four-character code.
std::string Kinds(IWMProfile* profile, DWORD* fourcc = nullptr)
{
    DWORD count = 0;
    std::string kinds;
    if (FAILED(profile->GetStreamCount(&count))) return "<failed>";
    for (DWORD i = 0; i < count; ++i) {
        ComPtr<IWMStreamConfig> stream;
        GUID type = GUID_NULL;
        if (FAILED(profile->GetStream(i, stream.GetAddressOf())) || FAILED(stream->GetStreamType(&type))) return "<failed>";
        kinds += type == WMMEDIATYPE_Video ? "v" : type == WMMEDIATYPE_Audio ? "a" : "?";
        ComPtr<IWMMediaProps> props;
        DWORD size = 0;
        if (type == WMMEDIATYPE_Video && fourcc != nullptr && SUCCEEDED(stream.As(&props)) &&
            SUCCEEDED(props->GetMediaType(nullptr, &size))) {
            std::vector<BYTE> block(size);
            auto* mt = reinterpret_cast<WM_MEDIA_TYPE*>(block.data());
            if (SUCCEEDED(props->GetMediaType(mt, &size)) && mt->formattype == FORMAT_VideoInfo)
                *fourcc = reinterpret_cast<const VIDEOINFOHEADER*>(mt->pbFormat)->bmiHeader.biCompression;
        }
    }
    return kinds;
}

void RemoveSound(IWMProfile* profile)
{
    DWORD count = 0;
    ASSERT_EQ(S_OK, profile->GetStreamCount(&count));
    for (DWORD i = count; i-- > 0;) {
        ComPtr<IWMStreamConfig> stream;
        GUID type = GUID_NULL;
        ASSERT_EQ(S_OK, profile->GetStream(i, stream.GetAddressOf()));
        ASSERT_EQ(S_OK, stream->GetStreamType(&type));
        if (type == WMMEDIATYPE_Audio) {
            ASSERT_EQ(S_OK, profile->RemoveStream(stream.Get()));
        }
    }
}

TEST(WindowsMediaProfiles, TheDefaultProfilesLoadByIdAndTheSystemProfilesByVersion)
{
    ProfileManager manager;
    ASSERT_TRUE(manager.Get() && manager.Versions()) << "the prefix's wmvcore makes no profile manager";
    for (const GUID& id : kDefaultProfiles) {
        ComPtr<IWMProfile> profile;
        ASSERT_EQ(S_OK, manager.Get()->LoadProfileByID(id, profile.GetAddressOf()));
        DWORD fourcc = 0;
        EXPECT_EQ("av", Kinds(profile.Get(), &fourcc)) << "sound first, as Windows Media profiles have it";
        EXPECT_EQ(MAKEFOURCC('W', 'M', 'V', '2'), fourcc);
        EXPECT_NE(L"<none>", NameOf(profile.Get()));
    }
    ComPtr<IWMProfile> none;
    EXPECT_TRUE(FAILED(manager.Get()->LoadProfileByID(GUID_NULL, none.GetAddressOf())));
    EXPECT_FALSE(none);

    // Each version its own list, one sound-only profile among them; the version is kept.
    const std::pair<WMT_VERSION, DWORD> versions[] = {{WMT_VER_4_0, MAKEFOURCC('M', 'P', '4', '3')},
                                                      {WMT_VER_7_0, MAKEFOURCC('W', 'M', 'V', '1')},
                                                      {WMT_VER_8_0, MAKEFOURCC('W', 'M', 'V', '2')}};
    for (const auto& [version, coding] : versions) {
        ASSERT_EQ(S_OK, manager.Versions()->SetSystemProfileVersion(version));
        WMT_VERSION now = WMT_VER_9_0;
        EXPECT_EQ(S_OK, manager.Versions()->GetSystemProfileVersion(&now));
        EXPECT_EQ(version, now);
        DWORD count = 0;
        ASSERT_EQ(S_OK, manager.Get()->GetSystemProfileCount(&count));
        ASSERT_GE(count, 3u);
        int soundOnly = 0;
        for (DWORD i = 0; i < count; ++i) {
            ComPtr<IWMProfile> profile;
            ASSERT_EQ(S_OK, manager.Get()->LoadSystemProfile(i, profile.GetAddressOf()));
            DWORD fourcc = 0;
            const std::string kinds = Kinds(profile.Get(), &fourcc);
            if (kinds == "a") ++soundOnly;
            else EXPECT_EQ(coding, fourcc) << kinds;
        }
        EXPECT_EQ(1, soundOnly);
        ComPtr<IWMProfile> beyond;
        EXPECT_TRUE(FAILED(manager.Get()->LoadSystemProfile(count, beyond.GetAddressOf())));
    }
    EXPECT_TRUE(FAILED(manager.Versions()->SetSystemProfileVersion(WMT_VER_9_0)));
    EXPECT_TRUE(FAILED(manager.Versions()->SetSystemProfileVersion(static_cast<WMT_VERSION>(0x12345))));

    // A name asked into too short a buffer gives the length needed; the sound stream comes out.
    ComPtr<IWMProfile> profile;
    ASSERT_EQ(S_OK, manager.Get()->LoadProfileByID(kDefaultProfiles[1], profile.GetAddressOf()));
    WCHAR shortName[4] = {};
    DWORD length = 4;
    EXPECT_TRUE(FAILED(profile->GetName(shortName, &length)));
    EXPECT_GT(length, 4u);
    ASSERT_NO_FATAL_FAILURE(RemoveSound(profile.Get()));
    EXPECT_EQ("v", Kinds(profile.Get()));
    ComPtr<IWMProfile> fresh;
    ASSERT_EQ(S_OK, manager.Get()->LoadProfileByID(kDefaultProfiles[1], fresh.GetAddressOf()));
    EXPECT_EQ("av", Kinds(fresh.Get())) << "each load a profile of its own";
}

TEST(WindowsMediaProfiles, WinesOtherWindowsMediaExportsStillAnswer)
{
    ProfileManager manager;
    ASSERT_NE(nullptr, manager.Library());
    using ReaderFn = HRESULT(WINAPI*)(IUnknown*, DWORD, IUnknown**);
    using WriterFn = HRESULT(WINAPI*)(IUnknown*, IUnknown**);
    auto reader = reinterpret_cast<ReaderFn>(reinterpret_cast<void*>(GetProcAddress(manager.Library(), "WMCreateSyncReader")));
    auto writer = reinterpret_cast<WriterFn>(reinterpret_cast<void*>(GetProcAddress(manager.Library(), "WMCreateWriter")));
    ASSERT_TRUE(reader != nullptr && writer != nullptr);
    ComPtr<IUnknown> made;
    EXPECT_EQ(S_OK, reader(nullptr, 0, made.GetAddressOf())) << "Wine's synchronous reader";
    EXPECT_TRUE(made);
    made.Reset();
    EXPECT_EQ(S_OK, writer(nullptr, made.GetAddressOf())) << "Wine's writer";
    EXPECT_TRUE(made);
}

class AsfRecording : public Recording {
protected:
    // The builder's ASF output into dir / name: the stock writer's class id.
    void AsfOutput(const std::wstring& name)
    {
        path = dir / name;
        ASSERT_EQ(S_OK, builder->SetOutputFileName(&MEDIASUBTYPE_Asf, path.c_str(), mux.GetAddressOf(), sink.GetAddressOf()));
        ASSERT_TRUE(mux && sink);
        ASSERT_EQ(S_OK, mux.As(&config));
    }
    std::vector<std::wstring> PinNames()
    {
        std::vector<std::wstring> names;
        ComPtr<IEnumPins> e;
        mux->EnumPins(e.GetAddressOf());
        ComPtr<IPin> pin;
        while (e->Next(1, pin.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
            PIN_INFO info{};
            pin->QueryPinInfo(&info);
            if (info.pFilter != nullptr) info.pFilter->Release();
            names.push_back(info.achName);
        }
        return names;
    }
    ComPtr<IWMProfile> SystemProfile(WMT_VERSION version, DWORD index)
    {
        ComPtr<IWMProfile> profile;
        EXPECT_EQ(S_OK, manager.Versions()->SetSystemProfileVersion(version));
        EXPECT_EQ(S_OK, manager.Get()->LoadSystemProfile(index, profile.GetAddressOf()));
        return profile;
    }
    void ExpectWholeAsf(const char* videoCodec, bool withSound)
    {
        SCOPED_TRACE(path.string());
        const TMediaProbe p = Probe(path);
        ASSERT_TRUE(p.Ok()) << p.Run.Failure << p.Run.Err;
        EXPECT_EQ("asf", p.Get("format.format_name"));
        const int v = p.StreamOfType("video"), a = p.StreamOfType("audio");
        ASSERT_GE(v, 0);
        EXPECT_EQ(videoCodec, p.Stream(v, "codec_name"));
        EXPECT_EQ("320", p.Stream(v, "width")) << "the camera's size";
        EXPECT_GE(std::atoi(p.Stream(v, "nb_read_packets").c_str()), 10);
        if (withSound) {
            ASSERT_GE(a, 0);
            EXPECT_EQ("wmav2", p.Stream(a, "codec_name"));
            EXPECT_GE(std::atoi(p.Stream(a, "nb_read_packets").c_str()), 5);
        } else {
            EXPECT_LT(a, 0);
        }
        const auto whole = quill_test::DecodeWhole(path);
        EXPECT_TRUE(whole.Ran && whole.ExitCode == 0 && whole.Err.empty()) << whole.Err;
    }
    void Record(std::uintmax_t bytes)
    {
        RunUntil([&] {
            std::error_code ec;
            return std::filesystem::file_size(path, ec) >= bytes && !ec;
        });
    }
    void TearDown() override
    {
        config.Reset();
        Recording::TearDown();
    }

    ProfileManager manager;
    ComPtr<dshow::IConfigAsfWriter> config;
};

TEST_F(AsfRecording, TheWritersPinsFollowItsProfileAndRefuseWhatItCannotCode)
{
    ASSERT_NO_FATAL_FAILURE(AsfOutput(L"pins.wmv"));
    EXPECT_EQ((std::vector<std::wstring>{standins::kAsfAudioPin, standins::kAsfVideoPin}), PinNames())
        << "sound and video before any profile";
    ComPtr<IWMProfile> current;
    EXPECT_TRUE(FAILED(config->GetCurrentProfile(current.GetAddressOf())));
    EXPECT_EQ(E_POINTER, config->ConfigureFilterUsingProfile(nullptr));

    // Types: 16-bit PCM sound; RGB24 or YUY2 pictures of an even size.
    AM_MEDIA_TYPE mt{};
    WAVEFORMATEX wfx{WAVE_FORMAT_PCM, 2, 44100, 44100 * 4, 4, 16, 0};
    mt.majortype = MEDIATYPE_Audio;
    mt.subtype = MEDIASUBTYPE_PCM;
    mt.formattype = FORMAT_WaveFormatEx;
    mt.cbFormat = sizeof(wfx);
    mt.pbFormat = reinterpret_cast<BYTE*>(&wfx);
    ComPtr<IPin> audio = PinIndex(mux.Get(), 0), video = PinIndex(mux.Get(), 1);
    EXPECT_EQ(S_OK, audio->QueryAccept(&mt));
    EXPECT_NE(S_OK, video->QueryAccept(&mt));
    wfx.wBitsPerSample = 8;
    EXPECT_NE(S_OK, audio->QueryAccept(&mt)) << "8-bit sound";
    VIDEOINFOHEADER vih{};
    vih.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    vih.bmiHeader.biWidth = 320;
    vih.bmiHeader.biHeight = 240;
    vih.bmiHeader.biBitCount = 24;
    mt.majortype = MEDIATYPE_Video;
    mt.subtype = MEDIASUBTYPE_RGB24;
    mt.formattype = FORMAT_VideoInfo;
    mt.cbFormat = sizeof(vih);
    mt.pbFormat = reinterpret_cast<BYTE*>(&vih);
    EXPECT_EQ(S_OK, video->QueryAccept(&mt));
    vih.bmiHeader.biWidth = 321;
    EXPECT_NE(S_OK, video->QueryAccept(&mt)) << "an odd width";
    vih.bmiHeader.biWidth = 320;
    mt.subtype = MEDIASUBTYPE_RGB32;
    EXPECT_NE(S_OK, video->QueryAccept(&mt)) << "RGB32";

    // The camera on the video pin, the microphone on the sound pin; a video-only profile lets the
    // sound pin go with its connection, and keeps the video's.
    auto camera = Camera();
    auto microphone = Microphone();
    ASSERT_EQ(S_OK, graph->ConnectDirect(PinAt(camera.Get(), PINDIR_OUTPUT).Get(), video.Get(), nullptr));
    ASSERT_EQ(S_OK, graph->ConnectDirect(PinAt(microphone.Get(), PINDIR_OUTPUT).Get(), audio.Get(), nullptr));
    ASSERT_TRUE(manager.Get());
    ComPtr<IWMProfile> profile;
    ASSERT_EQ(S_OK, manager.Get()->LoadProfileByID(kDefaultProfiles[0], profile.GetAddressOf()));
    ASSERT_NO_FATAL_FAILURE(RemoveSound(profile.Get()));
    ASSERT_EQ(S_OK, config->ConfigureFilterUsingProfile(profile.Get()));
    EXPECT_EQ((std::vector<std::wstring>{standins::kAsfVideoPin}), PinNames());
    ComPtr<IPin> peer;
    EXPECT_EQ(S_OK, video->ConnectedTo(peer.GetAddressOf())) << "the video keeps its connection";
    peer.Reset();
    EXPECT_EQ(VFW_E_NOT_CONNECTED, audio->ConnectedTo(peer.GetAddressOf()));
    EXPECT_EQ(VFW_E_NOT_CONNECTED, PinAt(microphone.Get(), PINDIR_OUTPUT)->ConnectedTo(peer.GetAddressOf()))
        << "nor does the microphone stay connected to a pin that is gone";
    ASSERT_EQ(S_OK, config->GetCurrentProfile(current.GetAddressOf()));
    EXPECT_EQ(profile.Get(), current.Get());

    // A sound-only profile of version 8.0 (the fourth) takes the sound pin back alone.
    ComPtr<IWMProfile> sound = SystemProfile(WMT_VER_8_0, 3);
    ASSERT_TRUE(sound);
    EXPECT_EQ("a", Kinds(sound.Get()));
    ASSERT_EQ(S_OK, config->ConfigureFilterUsingProfile(sound.Get()));
    EXPECT_EQ((std::vector<std::wstring>{standins::kAsfAudioPin}), PinNames());
    EXPECT_EQ(VFW_E_NOT_CONNECTED, PinAt(camera.Get(), PINDIR_OUTPUT)->ConnectedTo(peer.GetAddressOf()));

    // No profile changes while the graph runs.
    ASSERT_EQ(S_OK, graph->ConnectDirect(PinAt(microphone.Get(), PINDIR_OUTPUT).Get(), PinIndex(mux.Get(), 0).Get(), nullptr));
    ASSERT_TRUE(SUCCEEDED(control->Run()));
    EXPECT_EQ(VFW_E_NOT_STOPPED, config->ConfigureFilterUsingProfile(profile.Get()));
    EXPECT_EQ(VFW_E_NOT_STOPPED, sink->SetFileName((dir / L"other.wmv").c_str(), nullptr));
    ASSERT_EQ(S_OK, control->Stop());
}

TEST_F(AsfRecording, CameraAndMicrophoneMakeAsfFilesFfmpegReadsWholeOneFilePerRun)
{
    ASSERT_NO_FATAL_FAILURE(AsfOutput(L"first part.wmv"));
    ASSERT_EQ(S_OK, graph->ConnectDirect(PinAt(Microphone().Get(), PINDIR_OUTPUT).Get(), PinIndex(mux.Get(), 0).Get(), nullptr));
    ASSERT_EQ(S_OK, graph->ConnectDirect(PinAt(Camera().Get(), PINDIR_OUTPUT).Get(), PinIndex(mux.Get(), 1).Get(), nullptr));
    ASSERT_TRUE(manager.Get());
    // Version 7.0's LAN profile: WMV1 video.
    ComPtr<IWMProfile> profile = SystemProfile(WMT_VER_7_0, 1);
    ASSERT_TRUE(profile);
    ASSERT_EQ(S_OK, config->ConfigureFilterUsingProfile(profile.Get()));
    ASSERT_NO_FATAL_FAILURE(Record(60000));
    EXPECT_EQ(0, ErrorEvents());
    ASSERT_NO_FATAL_FAILURE(ExpectWholeAsf("wmv1", true));
    const std::filesystem::path first = path;
    const auto firstSize = std::filesystem::file_size(first);

    // A cut: the writer takes a new name between runs and writes a second whole file.
    path = dir / L"second part.wmv";
    ASSERT_EQ(S_OK, sink->SetFileName(path.c_str(), nullptr));
    LPOLESTR name = nullptr;
    ASSERT_EQ(S_OK, sink->GetCurFile(&name, nullptr));
    EXPECT_EQ(path.wstring(), name);
    CoTaskMemFree(name);
    ASSERT_NO_FATAL_FAILURE(Record(60000));
    EXPECT_EQ(0, ErrorEvents());
    ASSERT_NO_FATAL_FAILURE(ExpectWholeAsf("wmv1", true));
    EXPECT_EQ(firstSize, std::filesystem::file_size(first)) << "the first part is left as it was";
}

// A recording over an older, longer file of the same name (the user answered Yes to "exists
// already") is the new file alone.
TEST_F(AsfRecording, ARecordingOverALongerFileIsExactlyTheNewOne)
{
    ASSERT_NO_FATAL_FAILURE(AsfOutput(L"older.wmv"));
    ASSERT_TRUE(quill_test::WriteOlderFile(path, 16u << 20));
    ASSERT_EQ(S_OK, graph->ConnectDirect(PinAt(Microphone().Get(), PINDIR_OUTPUT).Get(), PinIndex(mux.Get(), 0).Get(), nullptr));
    ASSERT_EQ(S_OK, graph->ConnectDirect(PinAt(Camera().Get(), PINDIR_OUTPUT).Get(), PinIndex(mux.Get(), 1).Get(), nullptr));
    ASSERT_TRUE(manager.Get());
    ComPtr<IWMProfile> profile;  // the camera's size, 30 pictures a second
    ASSERT_EQ(S_OK, manager.Get()->LoadProfileByID(kDefaultProfiles[1], profile.GetAddressOf()));
    ASSERT_EQ(S_OK, config->ConfigureFilterUsingProfile(profile.Get()));
    ASSERT_NO_FATAL_FAILURE(Record(60000));
    const std::string bytes = FileBytes();
    EXPECT_LT(bytes.size(), 16u << 20);
    EXPECT_FALSE(quill_test::HoldsOlderFile(bytes)) << "the older file's tail is still there";
    ASSERT_NO_FATAL_FAILURE(ExpectWholeAsf("wmv2", true));
}

// A program killed while it records leaves the file as it is on the disk: its header tells the
// length of what the file holds, not the nothing it said at the start.
TEST_F(AsfRecording, AFileCutOffBeforeItsStopTellsTheLengthItHolds)
{
    ASSERT_NO_FATAL_FAILURE(AsfOutput(L"killed.wmv"));
    ASSERT_EQ(S_OK, graph->ConnectDirect(PinAt(Microphone().Get(), PINDIR_OUTPUT).Get(), PinIndex(mux.Get(), 0).Get(), nullptr));
    ASSERT_EQ(S_OK, graph->ConnectDirect(PinAt(Camera().Get(), PINDIR_OUTPUT).Get(), PinIndex(mux.Get(), 1).Get(), nullptr));
    ASSERT_TRUE(manager.Get());
    ComPtr<IWMProfile> profile;  // the camera's size, 30 pictures a second
    ASSERT_EQ(S_OK, manager.Get()->LoadProfileByID(kDefaultProfiles[1], profile.GetAddressOf()));
    ASSERT_EQ(S_OK, config->ConfigureFilterUsingProfile(profile.Get()));
    ASSERT_TRUE(SUCCEEDED(control->Run()));
    const std::filesystem::path killed = dir / L"as killed.wmv";
    // The file as it is on the disk, once its header tells two seconds, kept under another name.
    std::string bytes;
    bool told = false;
    for (const ULONGLONG deadline = GetTickCount64() + 30000; !told && GetTickCount64() < deadline; Sleep(50)) {
        told = quill_test::AsfHeaderSeconds(bytes = FileBytes()) >= 2.0;
    }
    ASSERT_EQ(S_OK, control->Stop());
    ASSERT_TRUE(told) << "the header says " << quill_test::AsfHeaderSeconds(bytes) << " s";
    std::ofstream(killed, std::ios::binary | std::ios::trunc).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    const TMediaProbe p = Probe(killed);
    ASSERT_TRUE(p.Ok()) << p.Run.Failure << p.Run.Err;
    EXPECT_NEAR(quill_test::AsfHeaderSeconds(bytes), std::atof(p.Get("format.duration").c_str()), 0.1)
        << "the length ffprobe reads";
    const int v = p.StreamOfType("video");
    ASSERT_GE(v, 0);
    const double held = std::atoi(p.Stream(v, "nb_read_packets").c_str()) / 30.0;  // the profile's rate
    const double said = std::atof(p.Get("format.duration").c_str());
    EXPECT_LE(said, held + 0.5) << "no longer than the pictures it holds";
    EXPECT_GE(said, held - 1.5) << "nor much shorter";
    ASSERT_NO_FATAL_FAILURE(ExpectWholeAsf("wmv2", true));
}

// Killed a few seconds in (the camera held after three seconds of pictures), the file's header tells
// the length of what reached the disk: not of what the writer still held, nor a second less.
TEST_F(AsfRecording, KilledAFewSecondsInItsHeaderTellsTheLengthOfWhatTheFileHolds)
{
    ASSERT_NO_FATAL_FAILURE(AsfOutput(L"killed at three.wmv"));
    Gate* gate = nullptr;
    auto grabber = Gated(Camera().Get(), MEDIATYPE_Video, 75, gate);
    ASSERT_EQ(S_OK, graph->ConnectDirect(PinAt(grabber.Get(), PINDIR_OUTPUT).Get(), PinIndex(mux.Get(), 1).Get(), nullptr));
    ASSERT_TRUE(manager.Get());
    ComPtr<IWMProfile> profile;  // the camera's size, 30 pictures a second
    ASSERT_EQ(S_OK, manager.Get()->LoadProfileByID(kDefaultProfiles[1], profile.GetAddressOf()));
    ASSERT_NO_FATAL_FAILURE(RemoveSound(profile.Get()));
    ASSERT_EQ(S_OK, config->ConfigureFilterUsingProfile(profile.Get()));
    ASSERT_TRUE(SUCCEEDED(control->Run()));
    ASSERT_TRUE(WaitFor([&] { return gate->Held(); }, 30000));
    std::string bytes;
    const std::filesystem::path killed = Snapshot(bytes, L"as killed.wmv");
    const TMediaProbe p = Probe(killed);
    ASSERT_TRUE(p.Ok()) << p.Run.Failure << p.Run.Err;
    const int v = p.StreamOfType("video");
    ASSERT_GE(v, 0);
    const double held = std::atoi(p.Stream(v, "nb_read_packets").c_str()) / 30.0;
    const double said = std::atof(p.Get("format.duration").c_str());
    EXPECT_NEAR(quill_test::AsfHeaderSeconds(bytes), said, 0.1) << "the length ffprobe reads is the header's";
    EXPECT_GE(held, 2.0) << "what the camera gave reached the disk";
    EXPECT_LE(said, held + 0.1) << "no longer than the pictures it holds";
    EXPECT_GE(said, held - 0.4) << "nor much shorter";
}

// The writer's own start is asked (the graph's run would leave the camera it had started running).
TEST_F(AsfRecording, AWriterWithoutAFileNameOrWithOneItCannotMakeRefusesToStart)
{
    ComPtr<IBaseFilter> writer = AddStock(CLSID_WMAsfWriter, L"ASF writer");
    ASSERT_TRUE(writer);
    ASSERT_EQ(S_OK, graph->ConnectDirect(PinAt(Camera().Get(), PINDIR_OUTPUT).Get(), PinIndex(writer.Get(), 1).Get(), nullptr));
    EXPECT_TRUE(FAILED(writer->Pause())) << "no file name was given";
    EXPECT_EQ(S_OK, writer->Stop());
    ComPtr<IFileSinkFilter> fileSink;
    ASSERT_EQ(S_OK, writer.As(&fileSink));
    EXPECT_EQ(E_INVALIDARG, fileSink->SetFileName(L"", nullptr));
    path = dir / L"missing folder" / L"clip.wmv";
    ASSERT_EQ(S_OK, fileSink->SetFileName(path.c_str(), nullptr));
    EXPECT_TRUE(FAILED(writer->Pause())) << "a file that cannot be made";
    EXPECT_EQ(S_OK, writer->Stop());
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_GE(ErrorEvents(), 1) << "the failure is told to the graph";
    // Disconnected, there is nothing to record.
    path = dir / L"clip.wmv";
    ASSERT_EQ(S_OK, fileSink->SetFileName(path.c_str(), nullptr));
    ASSERT_EQ(S_OK, graph->Disconnect(PinIndex(writer.Get(), 1).Get()));
    EXPECT_EQ(VFW_E_NOT_CONNECTED, writer->Pause());
    EXPECT_EQ(S_OK, writer->Stop());
}

// A picture that the test holds inside the writer's Receive until it is let go.
class HeldPicture : public ftest::TestSample {
public:
    // With IMediaSample2 the base pin reads the properties in one call: the first GetPointer is the coding's.
    explicit HeldPicture(long size) : TestSample(true, size) { Actual = size; }
    ~HeldPicture() override
    {
        CloseHandle(Entered);
        CloseHandle(Go);
    }
    HRESULT STDMETHODCALLTYPE GetPointer(BYTE** buffer) override
    {
        SetEvent(Entered);
        WaitForSingleObject(Go, INFINITE);
        return TestSample::GetPointer(buffer);
    }
    HANDLE Entered = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE Go = CreateEventW(nullptr, TRUE, FALSE, nullptr);
};

// The graph stops the writer before the camera: a picture can still be in coding when the stop drains
// and closes the coder. The stop waits for it, and the file ends whole with the picture in it.
TEST_F(AsfRecording, AStopThatComesWhileAPictureIsCodedWaitsForItAndTheFileKeepsIt)
{
    ASSERT_NO_FATAL_FAILURE(AsfOutput(L"held.wmv"));
    ASSERT_EQ(S_OK, graph->ConnectDirect(PinAt(Camera().Get(), PINDIR_OUTPUT).Get(), PinIndex(mux.Get(), 1).Get(), nullptr));
    ASSERT_TRUE(manager.Get());
    ComPtr<IWMProfile> profile = SystemProfile(WMT_VER_7_0, 1);
    ASSERT_TRUE(profile);
    ASSERT_NO_FATAL_FAILURE(RemoveSound(profile.Get()));
    ASSERT_EQ(S_OK, config->ConfigureFilterUsingProfile(profile.Get()));
    ComPtr<IMemInputPin> input;
    ASSERT_EQ(S_OK, PinIndex(mux.Get(), 0).As(&input));
    // The writer alone is paused: its file begins and the test delivers in the camera's place.
    ASSERT_EQ(S_OK, mux->Pause());
    auto* picture = new HeldPicture(320 * 3 * 240);
    REFERENCE_TIME start = 0, stop = 400000;
    picture->SetTime(&start, &stop);
    ComPtr<IMediaSample> held;
    held.Attach(picture);
    HRESULT coded = E_UNEXPECTED;
    std::thread coding([&] { coded = input->Receive(held.Get()); });
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(picture->Entered, 30000));
    std::atomic<bool> stopped{false};
    HRESULT stopResult = E_UNEXPECTED;
    std::thread stopping([&] {
        stopResult = mux->Stop();
        stopped = true;
    });
    // Time for the stop to reach the coder (a slow machine only makes the check weaker, never wrong).
    for (int i = 0; i < 100 && !stopped; ++i) Sleep(20);
    const bool stoppedUnderThePicture = stopped;
    SetEvent(picture->Go);
    coding.join();
    stopping.join();
    EXPECT_FALSE(stoppedUnderThePicture) << "the stop closed the coder while a picture was being coded";
    EXPECT_EQ(S_OK, coded);
    EXPECT_EQ(S_OK, stopResult);
    EXPECT_EQ(0, ErrorEvents());
    const TMediaProbe p = Probe(path);
    ASSERT_TRUE(p.Ok()) << p.Run.Failure << p.Run.Err;
    const int v = p.StreamOfType("video");
    ASSERT_GE(v, 0);
    EXPECT_EQ("wmv1", p.Stream(v, "codec_name"));
    EXPECT_EQ("1", p.Stream(v, "nb_read_packets")) << "the held picture";
    const auto whole = quill_test::DecodeWhole(path);
    EXPECT_TRUE(whole.Ran && whole.ExitCode == 0 && whole.Err.empty()) << whole.Err;
}

// The times of the video packets in seconds, in file order (empty when ffprobe fails).
std::vector<double> VideoPacketTimes(const std::filesystem::path& file)
{
    const auto run = quill_test::RunUnix({"ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries",
                                          "packet=pts_time", "-of", "csv=p=0", quill_test::UnixPath(file)});
    std::vector<double> times;
    if (!run.Ran || run.ExitCode != 0) return times;
    std::istringstream lines(run.Out);
    for (std::string line; std::getline(lines, line);)
        if (!line.empty()) times.push_back(std::atof(line.c_str()));
    return times;
}

// The profile's picture size and frame rate and its sound's rate and channels are the file's,
// whatever the camera (320 x 240, 25 pictures a second) and the microphone (44.1 kHz stereo) give:
// the "Low" default profile scales down to 176 x 144, drops pictures to 15 a second and resamples
// to 22.05 kHz mono; version 8.0's 768 Kbps profile scales up to 640 x 480 and repeats pictures to
// 30 a second. The pictures' times lie on the profile's frame time from the first, one picture in
// every slot, however the camera's pictures came.
TEST_F(AsfRecording, TheFileHasTheProfilesPictureSizeFrameRateSoundRateAndChannels)
{
    struct Case {
        const wchar_t* File;
        bool System;  // version 8.0's third system profile, else the "Low" default profile
        std::uintmax_t Bytes;
        const char *Width, *Height;
        double Fps;
        const char *Rate, *Channels;
    };
    const Case cases[] = {{L"low.wmv", false, 24000, "176", "144", 15, "22050", "1"},
                          {L"lan.wmv", true, 150000, "640", "480", 30, "44100", "2"}};
    ASSERT_NO_FATAL_FAILURE(AsfOutput(cases[0].File));
    ASSERT_EQ(S_OK, graph->ConnectDirect(PinAt(Microphone().Get(), PINDIR_OUTPUT).Get(), PinIndex(mux.Get(), 0).Get(), nullptr));
    ASSERT_EQ(S_OK, graph->ConnectDirect(PinAt(Camera().Get(), PINDIR_OUTPUT).Get(), PinIndex(mux.Get(), 1).Get(), nullptr));
    ASSERT_TRUE(manager.Get());
    for (const Case& c : cases) {
        SCOPED_TRACE(std::filesystem::path(c.File).string());
        path = dir / c.File;
        ASSERT_EQ(S_OK, sink->SetFileName(path.c_str(), nullptr));
        ComPtr<IWMProfile> profile;
        if (c.System) profile = SystemProfile(WMT_VER_8_0, 2);
        else ASSERT_EQ(S_OK, manager.Get()->LoadProfileByID(kDefaultProfiles[2], profile.GetAddressOf()));
        ASSERT_TRUE(profile);
        ASSERT_EQ(S_OK, config->ConfigureFilterUsingProfile(profile.Get()));
        ASSERT_NO_FATAL_FAILURE(Record(c.Bytes));
        EXPECT_EQ(0, ErrorEvents());

        const TMediaProbe p = Probe(path);
        ASSERT_TRUE(p.Ok()) << p.Run.Failure << p.Run.Err;
        const int v = p.StreamOfType("video"), a = p.StreamOfType("audio");
        ASSERT_TRUE(v >= 0 && a >= 0);
        EXPECT_EQ("wmv2", p.Stream(v, "codec_name"));
        EXPECT_EQ(c.Width, p.Stream(v, "width"));
        EXPECT_EQ(c.Height, p.Stream(v, "height"));
        EXPECT_EQ("wmav2", p.Stream(a, "codec_name"));
        EXPECT_EQ(c.Rate, p.Stream(a, "sample_rate"));
        EXPECT_EQ(c.Channels, p.Stream(a, "channels"));
        const auto whole = quill_test::DecodeWhole(path);
        EXPECT_TRUE(whole.Ran && whole.ExitCode == 0 && whole.Err.empty()) << whole.Err;

        const std::vector<double> times = VideoPacketTimes(path);
        ASSERT_GE(times.size(), 10u);
        for (std::size_t i = 1; i < times.size(); ++i) {
            // ASF keeps milliseconds.
            ASSERT_NEAR(times[0] + static_cast<double>(i) / c.Fps, times[i], 0.0015) << "picture " << i;
        }
    }
}

}  // namespace
}  // namespace recording_test
