// The native MPEG recording through the real builder: a test MPEG device previewed through a test
// decoder, multiplexers and MPEG-1 audio encoders found by the filter mapper and tried in merit
// order, the one kept, the file it wrote read back packet by packet; and the answers when nothing
// fits.
#include "recording_b_support.h"

#include <algorithm>
#include <cstring>
#include <set>

#include <mmreg.h>

#include "classlib/message_box.h"
#include "older_file.h"
#include "engine/recording_branch.h"
#include "mpeg_doubles.h"
#include "platform/standins/mpeg_audio_encoder.h"
#include "platform/standins/mpeg_mux.h"
#include "platform/standins/mpeg_test_source.h"
#include "platform/standins/recording_settings.h"

namespace recording_b {
namespace {

const CLSID kMpegDeviceClass = {0x6a1e2201, 0x5c2b, 0x4f6a, {0x9d, 0x47, 0x7e, 0x4a, 0x1b, 0x2c, 0x3d, 0x3f}};
const wchar_t kMpegDevice[] = L"Quillotrane Test MPEG Device";

class MpegRecording : public RecordingTest {
protected:
    void SetUp() override {
        RecordingTest::SetUp();
        device = std::make_unique<engine_test::RegisteredDevice>(kMpegDeviceClass, standins::CLSID_QuillTestMpegSource,
                                                                 CLSID_VideoInputDeviceCategory, kMpegDevice);
        decoder = std::make_unique<RegisteredDouble>(DoubleKind::Decoder, MERIT_NORMAL);
        Enumerate();
        Log().Clear();
    }
    void TearDown() override {
        RecordingTest::TearDown();
        doubles.clear();
        decoder.reset();
        device.reset();
    }
    // Registers the doubles in order, each with a lower merit than the one before (tried first).
    void Register(std::initializer_list<DoubleKind> Kinds) {
        DWORD merit = 0x800010;
        for (DoubleKind kind : Kinds) doubles.push_back(std::make_unique<RegisteredDouble>(kind, merit--));
    }
    void Preview(bool WithSound) {
        engine::TVideoSource* video = Video(kMpegDevice);
        ASSERT_NE(nullptr, video);
        ASSERT_TRUE(video->BuildGraph()) << Links();
        if (WithSound) {
            ASSERT_TRUE(Audio(engine_test::kMicrophone)->BuildGraph());
        }
        module->fg->Stop();
    }
    // The class of the filter a component stands for, GUID_NULL when none.
    static CLSID ClassOf(dshow::TFilter* Component) {
        CLSID id = GUID_NULL;
        ComPtr<IBaseFilter> filter = Component->GetFilter();
        if (filter) filter->GetClassID(&id);
        return id;
    }
    std::vector<std::wstring> Made() {
        std::vector<std::wstring> made;
        for (const std::wstring& line : Log().Lines())
            if (line.rfind(L"made ", 0) == 0) made.push_back(line.substr(5));
        return made;
    }
    bool Logged(const std::wstring& Line) {
        for (const std::wstring& line : Log().Lines())
            if (line == Line) return true;
        return false;
    }

    std::unique_ptr<engine_test::RegisteredDevice> device;
    std::unique_ptr<RegisteredDouble> decoder;
    std::vector<std::unique_ptr<RegisteredDouble>> doubles;
};

// While it lives, the real MPEG audio encoder and multiplexer stand-ins (registered in the test prefix
// beside the doubles) refuse everything in this process: the candidates are the doubles alone.
class DoublesAlone {
public:
    DoublesAlone() {
        const std::uint64_t started = standins::ThisProcessStarted(), refuse = 1;
        RegSetKeyValueW(HKEY_CURRENT_USER, key_.c_str(), standins::kTestStartedValue, REG_QWORD, &started, sizeof(started));
        RegSetKeyValueW(HKEY_CURRENT_USER, key_.c_str(), standins::kTestMpegRefuseValue, REG_QWORD, &refuse, sizeof(refuse));
    }
    ~DoublesAlone() { RegDeleteKeyW(HKEY_CURRENT_USER, key_.c_str()); }
    DoublesAlone(const DoublesAlone&) = delete;
    DoublesAlone& operator=(const DoublesAlone&) = delete;

private:
    const std::wstring key_ = standins::TestRecordingKeyOfThisProcess();
};

// Video packets in the file: their numbers in order, and whether each one is whole.
std::vector<std::uint32_t> VideoPackets(const std::vector<MuxRecord>& Records, int* Broken) {
    std::vector<std::uint32_t> numbers;
    *Broken = 0;
    for (const MuxRecord& record : Records) {
        if (record.Tag != 'V') continue;
        const auto& p = record.Payload;
        if (p.size() != static_cast<size_t>(standins::kMpegPacketBytes) || p[0] != 0 || p[1] != 0 || p[2] != 1 ||
            p[3] != 0xB3) {
            ++*Broken;
            continue;
        }
        std::uint32_t n = 0;
        std::memcpy(&n, p.data() + 4, 4);
        numbers.push_back(n);
        for (size_t i = 8; i < p.size(); ++i)
            if (p[i] != static_cast<std::uint8_t>(n + i)) {
                ++*Broken;
                break;
            }
    }
    return numbers;
}

TEST_F(MpegRecording, TheFirstCandidatesThatConnectAllTheWayAreKeptAndWriteTheFile) {
    Register({DoubleKind::EncoderRefusing, DoubleKind::EncoderWorking, DoubleKind::MuxNoOutput, DoubleKind::MuxOneInput,
              DoubleKind::MuxWriting});
    Preview(true);
    const auto preview = Names();
    const std::wstring file = FileName(L".mpg");
    ASSERT_TRUE(module->BuildMpegNativeGraph(file)) << Links();
    // Each candidate in merit order; the refusing encoder and the multiplexers that cannot take the
    // video to the file, or the sound, are passed over.
    const std::vector<std::wstring> made = Made();
    const std::vector<std::wstring> expected = {DoubleName(DoubleKind::EncoderRefusing), DoubleName(DoubleKind::EncoderWorking),
                                                DoubleName(DoubleKind::MuxNoOutput), DoubleName(DoubleKind::MuxOneInput),
                                                DoubleName(DoubleKind::MuxWriting)};
    EXPECT_EQ(expected, made);
    EXPECT_TRUE(Logged(DoubleName(DoubleKind::MuxOneInput) + L" output connected")) << "its video path worked";
    EXPECT_EQ(doubles[4]->Class(), ClassOf(module->muxer));
    EXPECT_EQ(doubles[1]->Class(), ClassOf(module->audioenc));
    const std::vector<std::wstring> names = FilterNames();
    EXPECT_EQ(1, std::count(names.begin(), names.end(), L"muxer")) << "the rejected ones left the graph";
    EXPECT_EQ(nullptr, module->FilterEnum.Get()) << "the candidate list is let go";

    ASSERT_TRUE(Record([&] {
        bool whole = false;
        const auto records = ReadMuxFile(file, &whole);
        int video = 0, sound = 0;
        for (const auto& record : records) (record.Tag == 'V' ? video : sound) += 1;
        return video >= 25 && sound >= 25;
    })) << Links();
    EXPECT_EQ(preview, Names()) << "the stop takes the branch out, file writer included";
    bool whole = false;
    const std::vector<MuxRecord> records = ReadMuxFile(file, &whole);
    EXPECT_TRUE(whole);
    int broken = 0;
    const std::vector<std::uint32_t> numbers = VideoPackets(records, &broken);
    EXPECT_EQ(0, broken);
    ASSERT_GE(numbers.size(), 25u);
    EXPECT_TRUE(std::is_sorted(numbers.begin(), numbers.end()));
    EXPECT_EQ(numbers.end(), std::adjacent_find(numbers.begin(), numbers.end())) << "no packet twice";
    // The sound is the microphone's tone, passed through the test encoder.
    size_t soundBytes = 0, loud = 0;
    for (const MuxRecord& record : records) {
        if (record.Tag != 'A') continue;
        for (size_t i = 0; i + 1 < record.Payload.size(); i += 2) {
            const auto v = static_cast<std::int16_t>(record.Payload[i] | record.Payload[i + 1] << 8);
            loud += v > 4000 || v < -4000;
        }
        soundBytes += record.Payload.size();
    }
    EXPECT_GT(soundBytes, 0u);
    EXPECT_GT(loud, soundBytes / 8);
}

TEST_F(MpegRecording, WithoutSoundAMultiplexerOfOneInputIsEnough) {
    Register({DoubleKind::MuxNoOutput, DoubleKind::MuxOneInput, DoubleKind::MuxWriting});
    Preview(false);
    const auto preview = Names();
    const std::wstring file = FileName(L".mpg");
    ASSERT_TRUE(module->BuildMpegNativeGraph(file)) << Links();
    EXPECT_EQ(doubles[1]->Class(), ClassOf(module->muxer));
    EXPECT_FALSE(InGraph(L"acmcap"));
    ASSERT_TRUE(Record([&] { return ReadMuxFile(file, nullptr).size() >= 10; }));
    EXPECT_EQ(preview, Names());
    int broken = 0;
    const auto records = ReadMuxFile(file, nullptr);
    EXPECT_EQ(records.size(), VideoPackets(records, &broken).size()) << "video alone";
    EXPECT_EQ(0, broken);
}

TEST_F(MpegRecording, WithoutAnEncoderThatTakesTheSoundTheRecordingGoesOnWithoutSound) {
    DoublesAlone alone;
    Register({DoubleKind::EncoderRefusing, DoubleKind::MuxOneInput, DoubleKind::MuxWriting});
    Preview(true);
    ASSERT_TRUE(module->BuildMpegNativeGraph(FileName(L".mpg"))) << Links();
    EXPECT_FALSE(InGraph(L"audioenc")) << "the encoder that refused is not kept";
    EXPECT_EQ(doubles[1]->Class(), ClassOf(module->muxer)) << "no second input is needed then";
    EXPECT_TRUE(InGraph(L"AudioCap Tamponer")) << "the sound branch ends at its stamper";
}

TEST_F(MpegRecording, ACutGivesTheFileWriterTheNewNameAndBothPartsAreWhole) {
    Register({DoubleKind::EncoderWorking, DoubleKind::MuxWriting});
    Preview(true);
    const auto preview = Names();
    std::vector<std::wstring> boxes;
    const classlib::TMessageBoxFunction previous =
        classlib::SetMessageBoxFunction([&](HWND, const std::wstring& Text, const std::wstring&, UINT) {
            boxes.push_back(Text);
            return IDOK;
        });
    struct Restore {
        classlib::TMessageBoxFunction box;
        ~Restore() { classlib::SetMessageBoxFunction(box); }
    } restore{previous};
    auto videoIn = [](const std::wstring& File) {
        int broken = 0;
        return VideoPackets(ReadMuxFile(File, nullptr), &broken).size();
    };
    const std::wstring first = FileName(L".mpg"), second = FileName(L".mpg");
    ASSERT_TRUE(module->BuildMpegNativeGraph(first)) << Links();
    ASSERT_TRUE(module->RunGraph());
    ASSERT_TRUE(engine_test::PumpUntil([&] { return videoIn(first) >= 10; }));
    // The cut: the graph stops and the running recording's writer takes the next name.
    module->fg->Stop();
    ASSERT_TRUE(module->HandNewNameToWriter(3, second));
    EXPECT_TRUE(boxes.empty()) << "the MPEG device is not asked to write a file of its own";
    const auto firstSize = std::filesystem::file_size(first);
    ASSERT_TRUE(Record([&] { return videoIn(second) >= 10; })) << Links();
    EXPECT_EQ(firstSize, std::filesystem::file_size(first)) << "the first part was closed at the cut";
    EXPECT_EQ(preview, Names());
    // The test source numbers its packets from 0 at each run: each part is checked on its own.
    std::vector<std::uint32_t> parts[2];
    int i = 0;
    for (const std::wstring& file : {first, second}) {
        bool whole = false;
        const std::vector<MuxRecord> records = ReadMuxFile(file, &whole);
        EXPECT_TRUE(whole) << i;
        int broken = 0;
        parts[i] = VideoPackets(records, &broken);
        EXPECT_EQ(0, broken) << i;
        EXPECT_TRUE(std::is_sorted(parts[i].begin(), parts[i].end())) << i;
        EXPECT_TRUE(std::any_of(records.begin(), records.end(), [](const MuxRecord& r) { return r.Tag == 'A'; }))
            << i << ": with sound";
        ++i;
    }
    EXPECT_GE(parts[0].size(), 10u);
    EXPECT_GE(parts[1].size(), 10u);
}

// A start over an older, longer file (the user answered Yes to "exists already"), and a cut into
// another one: each file is the multiplexer's stream alone, nothing of the older file after it.
TEST_F(MpegRecording, AStartAndACutOverLongerFilesLeaveNothingOfThem) {
    Register({DoubleKind::EncoderWorking, DoubleKind::MuxWriting});
    Preview(true);
    const std::wstring first = FileName(L".mpg"), second = FileName(L".mpg");
    for (const std::wstring& file : {first, second}) ASSERT_TRUE(quill_test::WriteOlderFile(file, 8u << 20));
    auto videoIn = [](const std::wstring& File) {
        int broken = 0;
        return VideoPackets(ReadMuxFile(File, nullptr), &broken).size();
    };
    ASSERT_TRUE(module->BuildMpegNativeGraph(first)) << Links();
    ASSERT_TRUE(module->RunGraph());
    ASSERT_TRUE(engine_test::PumpUntil([&] { return videoIn(first) >= 10; }));
    module->fg->Stop();
    ASSERT_TRUE(module->HandNewNameToWriter(3, second));
    ASSERT_TRUE(Record([&] { return videoIn(second) >= 10; })) << Links();
    for (const std::wstring& file : {first, second}) {
        SCOPED_TRACE(std::string(file.begin(), file.end()));
        EXPECT_FALSE(quill_test::HoldsOlderFile(quill_test::ReadWholeFile(file))) << "the older file's tail is still there";
        bool whole = false;
        ReadMuxFile(file, &whole);
        EXPECT_TRUE(whole) << "the stream runs to the file's end";
    }
}

TEST_F(MpegRecording, TheSoundGoesInInTheFormatTheWindowShowsOrTheRecordingDoesNotStart) {
    Register({DoubleKind::EncoderWorking, DoubleKind::MuxWriting});
    Preview(true);  // the microphone gives 44100 Hz; the capture format is 48000 Hz
    const engine::TSoundFormat shown = module->RecordingSoundFormat(3);
    EXPECT_EQ((engine::TSoundFormat{48000, 16, 2}), shown);
    ASSERT_TRUE(module->BuildMpegNativeGraph(FileName(L".mpg"))) << Links();
    engine::TConnectionType type;
    ASSERT_TRUE(type.Read(engine::PinAt(module->audioenc->GetFilter().Get(), 0).Get()));
    ASSERT_GE(type->cbFormat, sizeof(WAVEFORMATEX));
    const auto* wave = reinterpret_cast<const WAVEFORMATEX*>(type->pbFormat);
    EXPECT_EQ(static_cast<DWORD>(shown.Rate), wave->nSamplesPerSec) << "what the encoder, and so the file, gets";
    EXPECT_EQ(shown.Channels, wave->nChannels);
    EXPECT_EQ(shown.Bits, wave->wBitsPerSample);
    module->fg->Stop();
    ASSERT_TRUE(module->StopCaptureGraph());

    // A wrapper that cannot convert: no recording in the microphone's own format.
    RegisteredDouble wrapper(DoubleKind::WrapperFixed, MERIT_DO_NOT_USE);
    module->acmcap->BaseFilter()->SetMoniker(engine::MonikerFromDisplayName(DoubleMoniker(DoubleKind::WrapperFixed)).Get());
    const auto preview = Names();
    const std::wstring file = FileName(L".mpg");
    EXPECT_FALSE(module->BuildMpegNativeGraph(file));
    EXPECT_EQ(L"the sound format 48000 Hz 16 bits 2 channels is refused", engine::LastRecordingBuildError());
    EXPECT_EQ(preview, Names());
    EXPECT_FALSE(std::filesystem::exists(file));
}

TEST_F(MpegRecording, WhenNoMultiplexerConnectsAllTheWayTheAnswerIsFalse) {
    DoublesAlone alone;
    Preview(true);
    const auto preview = Names();
    EXPECT_FALSE(module->BuildMpegNativeGraph(FileName(L".mpg"))) << "no candidate at all";
    EXPECT_EQ(preview, Names()) << "the failed build takes its branch out";

    // The last candidate fails after its video input connected: that must not count as success.
    Register({DoubleKind::EncoderWorking, DoubleKind::MuxOneInput, DoubleKind::MuxNoOutput});
    EXPECT_FALSE(module->BuildMpegNativeGraph(FileName(L".mpg")));
    EXPECT_EQ(preview, Names()) << "writer, encoder and stampers leave with the failed build";
    EXPECT_EQ(nullptr, module->FilterEnum.Get());

    module->CurrentVideoSource->KillGraph(true);
    EXPECT_FALSE(module->BuildMpegNativeGraph(FileName(L".mpg"))) << "no video end";
}

// The real stand-ins come after the doubles (a lower merit): where every double fails, the loops go
// on to them, and they write a program stream.
TEST_F(MpegRecording, AfterTheDoublesThatFailTheRealEncoderAndMultiplexerAreKept) {
    Register({DoubleKind::EncoderRefusing, DoubleKind::MuxNoOutput, DoubleKind::MuxOneInput});
    Preview(true);
    const auto preview = Names();
    const std::wstring file = FileName(L".mpg");
    ASSERT_TRUE(module->BuildMpegNativeGraph(file)) << Links();
    const std::vector<std::wstring> expected = {DoubleName(DoubleKind::EncoderRefusing), DoubleName(DoubleKind::MuxNoOutput),
                                                DoubleName(DoubleKind::MuxOneInput)};
    EXPECT_EQ(expected, Made()) << "each double tried first";
    EXPECT_EQ(standins::CLSID_MpegAudioEncoderStandin, ClassOf(module->audioenc));
    EXPECT_EQ(standins::CLSID_MpegMuxStandin, ClassOf(module->muxer));
    ASSERT_TRUE(Record([&] {
        std::error_code ec;
        return std::filesystem::file_size(file, ec) > 100000 && !ec;
    })) << Links();
    EXPECT_EQ(preview, Names());
    const std::string bytes = quill_test::ReadWholeFile(file);
    ASSERT_GE(bytes.size(), 4u);
    EXPECT_EQ(std::string("\x00\x00\x01\xBA", 4), bytes.substr(0, 4)) << "a pack header first";
    // Whole packs of 2048 bytes to the end: the stop wrote out what the multiplexer held.
    EXPECT_EQ(0u, bytes.size() % 2048);
    EXPECT_EQ(std::string("\x00\x00\x01\xBA", 4), bytes.substr(bytes.size() / 2048 * 2048 - 2048, 4));
}

}  // namespace
}  // namespace recording_b
