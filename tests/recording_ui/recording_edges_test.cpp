// A recording at its edges, from the capture and cut actions: a header the writers cannot finish
// at the stop, a start the graph will not run, a stop that cannot bring the preview back, a cut
// whose new part cannot begin, a disk full before the first byte, recordings stopped before their
// first frame; and the clip list, whose entries follow each recording to its stop.
#include "recording_ui_support.h"

#include <evcode.h>

#include <algorithm>
#include <cwctype>
#include <fstream>

#include "classlib/custom_form.h"
#include "ui/liste_frame.h"
#include "ui/programmer_frame.h"
#include "ui/recording_files.h"
#include "widgets/custom/clip_entries.h"
#include "ui/sources_frame.h"
#include "tests/standins_recording/recording_support.h"

namespace recording_ui {
namespace {

using std::filesystem::exists;
using std::filesystem::path;

// A filter without pins, as a test double in the graph: when Report is set, its stop tells the
// graph that a file could not be finished, as a writer that cannot patch a header does.
class ReportingAtStop : public filters::TBCBaseFilter {
public:
    ReportingAtStop() : TBCBaseFilter("Reporting at stop", nullptr, std::make_unique<filters::TBCCritSec>(), GUID_NULL) {}
    HRESULT Stop() override {
        const bool running = !IsStopped();
        const HRESULT hr = TBCBaseFilter::Stop();
        if (running && FAILED(Report)) NotifyEvent(EC_ERRORABORT, Report, 0);
        return hr;
    }
    int GetPinCount() override { return 0; }
    filters::TBCBasePin* GetPin(int) override { return nullptr; }
    HRESULT Report = S_OK;
};

class RecordingEdges : public RecordingUiTest {
protected:
    widgets::custom::TFichierListBox* Clips() { return form->ListeFrame->fl; }
    // The clip list's entry of File, nullptr when it is not listed.
    widgets::custom::TSRFichier* Listed(const path& File) {
        for (int i = 0; i < Clips()->FichierCount(); ++i)
            if (path(Clips()->Fichier(i)->Path()) == File)
                return static_cast<widgets::custom::TSRFichier*>(Clips()->Fichier(i));
        return nullptr;
    }
    // The window is back in the preview look with nothing open.
    void ExpectPreviewLook() {
        EXPECT_EQ(1, form->CaptureState);
        EXPECT_FALSE(form->RecordingOpen());
        EXPECT_EQ(L"Capture", form->saCapturerBascule->Caption());
        EXPECT_FALSE(form->acCouper->Enabled());
        EXPECT_TRUE(form->SourcesFrame->gbVideo->Enabled()) << "the sources can be chosen again";
        EXPECT_TRUE(form->SourcesFrame->ActualiserVideoSpeedBtn->Enabled());
        EXPECT_TRUE(form->taLock->Enabled());
    }
    // The last message, and that every one before it is the scene list's lost-frames question
    // (a loaded machine loses DV frames).
    std::wstring LastTold() {
        if (asked.empty()) return std::wstring();
        for (std::size_t i = 0; i + 1 < asked.size(); ++i)
            EXPECT_NE(std::wstring::npos, asked[i].Text.find(L"frames have been lost during capture")) << asked[i].Text;
        return asked.back().Text;
    }
};

// A writer that cannot finish its file while the graph stops (another program holding it past the
// wait, a disk that fills during the patch) reports it during the stop: the user is told, and the
// file is listed with what it holds.
TEST_F(RecordingEdges, AHeaderThatCannotBeWrittenAtTheStopIsToldAndTheFileListed) {
    ASSERT_NO_FATAL_FAILURE(Preview(L"", kMicrophone, 11));
    auto* reporting = new ReportingAtStop;
    Microsoft::WRL::ComPtr<IBaseFilter> filter(reporting->BaseFilterInterface());
    ASSERT_HRESULT_SUCCEEDED(module->Graph()->AddFilter(filter.Get(), L"Reporting at stop"));
    const path file = form->NextVideoFile;
    Capture();
    ASSERT_EQ(2, form->CaptureState);
    ASSERT_TRUE(WaitRecorded(10));
    reporting->Report = HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION);
    asked.clear();
    Capture();
    reporting->Report = S_OK;
    ExpectPreviewLook();
    EXPECT_TRUE(Previewing());
    ASSERT_EQ(1u, asked.size()) << "told once";
    const std::wstring& text = asked[0].Text;
    EXPECT_EQ(0u, text.find(L"The capture into " + file.wstring() + L" has been stopped, but its file could not be finished: "))
        << text;
    std::wstring lower = text;
    for (wchar_t& ch : lower) ch = static_cast<wchar_t>(std::towlower(ch));
    EXPECT_NE(std::wstring::npos, lower.find(L"sharing violation")) << "the system's words: " << text;
    EXPECT_NE(std::wstring::npos, text.find(L"What was written is kept.")) << text;
    // Nothing told again later for the same stop.
    PumpUntil([] { return false; }, 500);
    EXPECT_EQ(1u, asked.size());
    widgets::custom::TSRFichier* entry = Listed(file);
    ASSERT_NE(nullptr, entry) << "the file is listed";
    EXPECT_EQ(std::filesystem::file_size(file), entry->Size()) << "with what it holds";
    ASSERT_HRESULT_SUCCEEDED(module->Graph()->RemoveFilter(filter.Get()));
}

// The sound output gives no clock to run a sound recording on: the graph refuses the run without
// a filter's code, and the refusal names that cause, not a success.
TEST_F(RecordingEdges, AStartTheGraphCannotRunNamesTheCause) {
    ASSERT_NO_FATAL_FAILURE(Preview(L"", kMicrophone, 11));
    const path file = form->NextVideoFile;
    Microsoft::WRL::ComPtr<IBaseFilter> renderer = module->AudioRendererFilter;
    auto* clockless = new ReportingAtStop;
    module->AudioRendererFilter = clockless->BaseFilterInterface();
    asked.clear();
    Capture();
    module->AudioRendererFilter = renderer;
    EXPECT_EQ(1, form->CaptureState);
    EXPECT_FALSE(form->RecordingOpen());
    ASSERT_EQ(1u, asked.size());
    const std::wstring& text = asked[0].Text;
    EXPECT_EQ(0u, text.find(L"The capture could not start: the recording could not run: ")) << text;
    EXPECT_EQ(std::wstring::npos, text.find(L"successfully")) << text;
    EXPECT_GT(text.size(), std::wstring(L"The capture could not start: the recording could not run: ").size() + 3) << text;
    EXPECT_FALSE(exists(file)) << "no file left behind";
    EXPECT_EQ(nullptr, Listed(file));
    ASSERT_NO_FATAL_FAILURE(Preview(L"", kMicrophone, 11));
    Capture();
    ASSERT_EQ(2, form->CaptureState) << "a sound output with a clock records again";
    ASSERT_TRUE(WaitRecorded(5));
    Capture();
    EXPECT_EQ("pcm_s16le", ProbeWhole(file).Stream(0, "codec_name"));
}

// The sound source's preview branch is gone when the recording stops (as with a device taken
// away): the stop cannot bring the preview back. The file is closed and listed, the window goes
// back to the preview look where the sources can be chosen again (the capture action waits for
// them), and the user is told; the sources chosen again record.
TEST_F(RecordingEdges, AFailedStopGoesBackToThePreviewLookAndSaysSo) {
    ASSERT_NO_FATAL_FAILURE(Preview(kCamera, kMicrophone, 5));
    const path file = form->NextVideoFile;
    Capture();
    ASSERT_EQ(2, form->CaptureState);
    ASSERT_TRUE(WaitRecorded(10));
    module->CurrentAudioSource->Active = false;
    asked.clear();
    Capture();
    module->CurrentAudioSource->Active = true;
    ExpectPreviewLook();
    EXPECT_FALSE(form->saCapturerBascule->Enabled()) << "nothing to record until the sources are chosen again";
    EXPECT_FALSE(form->ProgrammerFrame1->KitClock2->AlarmEnabled());
    EXPECT_EQ(L"The capture into " + file.wstring() +
                  L" has been stopped, but the preview could not start again: choose the sources again.",
              LastTold());
    EXPECT_GE(Packets(ProbeWhole(file), 0), 8) << "the file is closed whole";
    widgets::custom::TSRFichier* entry = Listed(file);
    ASSERT_NE(nullptr, entry);
    EXPECT_EQ(std::filesystem::file_size(file), entry->Size());

    ASSERT_NO_FATAL_FAILURE(Preview(kCamera, kMicrophone, 5));
    form->saCapturerBascule->SetEnabled(true);
    const path next = form->NextVideoFile;
    EXPECT_NE(file, next);
    Capture();
    ASSERT_EQ(2, form->CaptureState);
    ASSERT_TRUE(WaitRecorded(10));
    Capture();
    EXPECT_EQ(1, form->CaptureState);
    EXPECT_GE(Packets(ProbeWhole(next), 0), 8);
}

// A cut whose new name cannot be written (a folder has taken it): a cut asks nothing and the
// recording waits, so it goes on under the next name that can be written and the user is told
// which and why; the folder is left alone, and both parts are whole, listed files.
TEST_F(RecordingEdges, ACutWhoseNewNameCannotBeWrittenGoesOnUnderTheNextAndSaysWhich) {
    struct Case {
        const wchar_t* video;
        const wchar_t* sound;
        std::uint8_t format;
        const wchar_t* extension;
    };
    for (const Case& c : {Case{L"", kMicrophone, 11, L".wav"}, Case{kCamera, kMicrophone, 5, L".avi"}}) {
        SCOPED_TRACE(static_cast<int>(c.format));
        ASSERT_NO_FATAL_FAILURE(Preview(c.video, c.sound, c.format));
        const path first = form->NextVideoFile;
        Capture();
        ASSERT_EQ(2, form->CaptureState);
        const path taken = first.parent_path() / (L"Video_" + std::to_wstring(form->VideoFileCounter) + c.extension);
        std::filesystem::create_directories(taken);
        ASSERT_TRUE(WaitRecorded(10));
        asked.clear();
        form->acCouper->Execute();
        ASSERT_EQ(2, form->CaptureState) << "the recording goes on";
        const path next = form->NextVideoFile;
        EXPECT_NE(taken, next);
        EXPECT_EQ(L"The capture goes on into " + next.wstring() + L": a folder has the name of the file " +
                      taken.wstring() + L".",
                  LastTold());
        ASSERT_TRUE(WaitRecorded(10));
        Capture();
        EXPECT_EQ(1, form->CaptureState);
        EXPECT_TRUE(std::filesystem::is_directory(taken)) << "the folder is left alone";
        EXPECT_EQ(nullptr, Listed(taken));
        for (const path& part : {first, next}) {
            EXPECT_GE(Packets(ProbeWhole(part), 0), 8) << "a whole part";
            widgets::custom::TSRFichier* entry = Listed(part);
            ASSERT_NE(nullptr, entry);
            EXPECT_EQ(std::filesystem::file_size(part), entry->Size());
        }
        std::filesystem::remove(taken);
    }
}

// The recording's file sink as a test double: refuses every new name, hands everything else to
// the real sink (so that the branch is still found and taken out as a whole).
class RefusingSink final : public IFileSinkFilter {
public:
    explicit RefusingSink(Microsoft::WRL::ComPtr<IFileSinkFilter> Real) : real_(std::move(Real)) {}
    virtual ~RefusingSink() = default;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID Iid, void** Object) override {
        if (Object == nullptr) return E_POINTER;
        if (Iid == IID_IUnknown || Iid == IID_IFileSinkFilter) {
            *Object = static_cast<IFileSinkFilter*>(this);
            AddRef();
            return S_OK;
        }
        return real_->QueryInterface(Iid, Object);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references_;
        if (left == 0) delete this;
        return left;
    }
    HRESULT STDMETHODCALLTYPE SetFileName(LPCOLESTR, const AM_MEDIA_TYPE*) override { return E_ACCESSDENIED; }
    HRESULT STDMETHODCALLTYPE GetCurFile(LPOLESTR* Name, AM_MEDIA_TYPE* Type) override {
        return real_->GetCurFile(Name, Type);
    }

private:
    Microsoft::WRL::ComPtr<IFileSinkFilter> real_;
    ULONG references_ = 0;
};

// A cut whose new name the writer refuses: nothing of the new part is open, the first part stays
// a whole, listed file, and the capture is stopped with the preview back and the user told.
TEST_F(RecordingEdges, ACutWhoseNameTheWriterRefusesStopsTheCaptureAndSaysWhy) {
    ASSERT_NO_FATAL_FAILURE(Preview(kCamera, kMicrophone, 5));
    const path first = form->NextVideoFile;
    Capture();
    ASSERT_EQ(2, form->CaptureState);
    ASSERT_TRUE(WaitRecorded(10));
    Microsoft::WRL::ComPtr<IFileSinkFilter> refusing(new RefusingSink(module->FileSink));
    module->FileSink = refusing;
    asked.clear();
    form->acCouper->Execute();
    ExpectPreviewLook();
    EXPECT_TRUE(Previewing()) << "the preview runs again";
    EXPECT_FALSE(module->FileSink) << "the recording branch is gone";
    ASSERT_EQ(1u, asked.size());
    const path refused = form->NextVideoFile;
    EXPECT_EQ(L"The capture has been stopped: the cut could not go on, the writer refused the name " + refused.wstring() +
                  L".",
              asked[0].Text);
    EXPECT_FALSE(exists(refused));
    EXPECT_EQ(nullptr, Listed(refused));
    EXPECT_GE(Packets(ProbeWhole(first), 0), 8) << "the first part is whole";
    ASSERT_NE(nullptr, Listed(first));
    EXPECT_EQ(std::filesystem::file_size(first), Listed(first)->Size());
    // The name no writer took is the next recording's.
    Capture();
    ASSERT_EQ(2, form->CaptureState);
    ASSERT_TRUE(WaitRecorded(10));
    Capture();
    EXPECT_GE(Packets(ProbeWhole(refused), 0), 8);
}

// A disk that is full before the first byte: nothing ever recorded, so the user reads that the
// capture could not start (not that it has been stopped), and no file is left or listed.
TEST_F(RecordingEdges, ACaptureOnAFullDiskSaysItCouldNotStart) {
    UseLame();
    struct Case {
        const wchar_t* video;
        const wchar_t* sound;
        std::uint8_t format;
    };
    for (const Case& c : {Case{L"", kMicrophone, 11}, Case{L"", kMicrophone, 12}, Case{kCamera, kMicrophone, 5},
                          Case{kDVVideo, kDVSound, 2}}) {
        SCOPED_TRACE(static_cast<int>(c.format));
        ASSERT_NO_FATAL_FAILURE(Preview(c.video, c.sound, c.format));
        const path file = form->NextVideoFile;
        {
            recording_test::TestSettings disk;
            disk.Set(standins::kTestByteLimitValue, 0);
            asked.clear();
            Capture();
            // Refused at the run, or stopped at the first write.
            ASSERT_TRUE(PumpUntil([&] { return form->CaptureState == 1 && !asked.empty(); }, 20000));
        }
        EXPECT_FALSE(form->RecordingOpen());
        EXPECT_TRUE(Previewing());
        const std::wstring text = LastTold();
        EXPECT_EQ(0u, text.find(L"The capture could not start: the file " + file.wstring() + L" cannot be written: "))
            << text;
        EXPECT_EQ(std::wstring::npos, text.find(L"has been stopped")) << text;
        EXPECT_FALSE(exists(file));
        EXPECT_EQ(nullptr, Listed(file));
    }
}

// Windows Media as the program's first idle offers it: the system's profile manager.
bool UseWindowsMedia(ui::TCaptureForm& Form, engine::Tdm& Module) {
    using CreateFn = HRESULT(WINAPI*)(IWMProfileManager**);
    HMODULE library = LoadLibraryW(L"wmvcore.dll");
    auto create = library != nullptr ? reinterpret_cast<CreateFn>(reinterpret_cast<void*>(
                                           GetProcAddress(library, "WMCreateProfileManager")))
                                     : nullptr;
    Microsoft::WRL::ComPtr<IWMProfileManager> manager;
    if (create == nullptr || FAILED(create(manager.GetAddressOf())) || !manager) return false;
    Module.WMProfileManager = manager;
    Module.ProfileManagerReady = true;
    Form.WmvAvailable = true;
    return true;
}

// Recordings frozen from their start to their stop: nothing can reach them, so no file is left and
// none stays listed, and the user is told why rather than finding nothing.
TEST_F(RecordingEdges, RecordingsFrozenFromStartToStopAreToldAndLeaveNoFile) {
    UseLame();
    form->taFreezeCapture->Execute();
    for (const std::uint8_t format : {std::uint8_t{11}, std::uint8_t{12}, std::uint8_t{5}}) {
        SCOPED_TRACE(static_cast<int>(format));
        ASSERT_NO_FATAL_FAILURE(Preview(format == 5 ? kCamera : L"", kMicrophone, format));
        const path file = form->NextVideoFile;
        asked.clear();
        Capture();
        ASSERT_EQ(2, form->CaptureState);
        EXPECT_NE(nullptr, Listed(file)) << "listed while it records";
        // Frozen, nothing can reach the file however long it runs.
        PumpUntil([] { return false; }, 500);
        Capture();
        EXPECT_EQ(1, form->CaptureState);
        ASSERT_EQ(1u, asked.size());
        // The words say what happened: stopped, nothing kept, still frozen.
        EXPECT_EQ(L"Nothing was recorded into " + file.wstring() +
                      L": the capture was frozen from its start to its stop. The recording is stopped and no file is "
                      L"kept; the capture stays frozen until you resume it (space bar).",
                  asked[0].Text);
        EXPECT_FALSE(exists(file)) << "no player opens a recording without data";
        EXPECT_EQ(nullptr, Listed(file)) << "nor is it listed";
        EXPECT_TRUE(form->taFreezeCapture->Checked());
    }
    form->taFreezeCapture->Execute();
}

// Windows Media started and stopped at once, again and again (the stand-in writer then holds one
// picture at 0 seconds): a file is left only when it plays for some time, and every file listed
// is one that is there.
TEST_F(RecordingEdges, InstantWindowsMediaCyclesLeaveOnlyFilesWithData) {
    ASSERT_TRUE(UseWindowsMedia(*form, *module));
    ASSERT_NO_FATAL_FAILURE(Preview(kCamera, kMicrophone, 7));
    for (int cycle = 0; cycle < 4; ++cycle) {
        SCOPED_TRACE(cycle);
        const path file = form->NextVideoFile;
        Capture();
        ASSERT_EQ(2, form->CaptureState);
        Capture();
        ASSERT_EQ(1, form->CaptureState);
        if (!exists(file)) {
            EXPECT_EQ(nullptr, Listed(file));
            continue;
        }
        // Kept, it plays for some time: more than the one picture at its start.
        const quill_test::TMediaProbe probe = ProbeWhole(file);
        EXPECT_GE(Packets(probe, 0) + Packets(probe, 1), 2);
        ASSERT_NE(nullptr, Listed(file));
        EXPECT_EQ(std::filesystem::file_size(file), Listed(file)->Size());
    }
}

// The checks that decide whether a closed sound or Windows Media file holds anything, on files
// made byte by byte: empty ones are told apart from ones with data, and whatever they cannot be
// sure of (a header never patched, a truncated or foreign file) is kept.
TEST_F(RecordingEdges, EmptySoundAndWindowsMediaFilesAreToldFromFilesWithData) {
    auto le = [](std::string& Bytes, std::uint64_t Value, int Size) {
        for (int i = 0; i < Size; ++i) Bytes += static_cast<char>((Value >> (8 * i)) & 0xFF);
    };
    auto write = [&](const wchar_t* Name, const std::string& Bytes) {
        const path file = folder / Name;
        std::ofstream(file, std::ios::binary) << Bytes;
        return file.wstring();
    };
    auto wave = [&](std::uint32_t DataSize, std::size_t Data) {
        std::string fmt(18, '\0');
        fmt[0] = 0x55;  // MPEG layer III
        std::string bytes = "RIFF";
        le(bytes, 4 + 8 + fmt.size() + 8 + Data, 4);
        bytes += "WAVEfmt ";
        le(bytes, fmt.size(), 4);
        bytes += fmt + "data";
        le(bytes, DataSize, 4);
        return bytes + std::string(Data, 'x');
    };
    EXPECT_TRUE(ui::WaveHoldsNothing(write(L"empty.wav", wave(0, 0))));
    EXPECT_FALSE(ui::WaveHoldsNothing(write(L"sound.wav", wave(100, 100))));
    EXPECT_FALSE(ui::WaveHoldsNothing(write(L"unpatched.wav", wave(0, 100)))) << "a header never patched";
    EXPECT_FALSE(ui::WaveHoldsNothing(write(L"cut.wav", wave(0, 0).substr(0, 30))));
    EXPECT_FALSE(ui::WaveHoldsNothing(write(L"other.wav", "RIFF\x04\0\0\0AVI ")));
    EXPECT_FALSE(ui::WaveHoldsNothing((folder / L"missing.wav").wstring()));

    const std::string headerGuid("\x30\x26\xB2\x75\x8E\x66\xCF\x11\xA6\xD9\x00\xAA\x00\x62\xCE\x6C", 16);
    const std::string dataGuid("\x36\x26\xB2\x75\x8E\x66\xCF\x11\xA6\xD9\x00\xAA\x00\x62\xCE\x6C", 16);
    const std::string propertiesGuid("\xA1\xDC\xAB\x8C\x47\xA9\xCF\x11\x8E\xE4\x00\xC0\x0C\x20\x53\x65", 16);
    auto asf = [&](std::uint64_t Packets, std::uint64_t PlayMs, std::uint64_t DataSizeField) {
        std::string properties = propertiesGuid;
        le(properties, 104, 8);
        properties += std::string(16 + 8 + 8, '\0');
        le(properties, Packets, 8);
        le(properties, PlayMs * 10000, 8);  // play duration
        le(properties, 0, 8);               // send duration
        le(properties, 3100, 8);            // preroll
        le(properties, 2, 4);               // seekable
        le(properties, 100, 4);             // the packets' size, least and most
        le(properties, 100, 4);
        properties += std::string(4, '\0');
        std::string bytes = headerGuid;
        le(bytes, 30 + properties.size(), 8);
        le(bytes, 1, 4);
        bytes += std::string("\x01\x02", 2) + properties + dataGuid;
        le(bytes, DataSizeField, 8);
        bytes += std::string(16, '\0');
        le(bytes, Packets, 8);
        bytes += std::string(2, '\0') + std::string(Packets * 100, 'p');
        return bytes;
    };
    EXPECT_TRUE(ui::AsfHoldsNothing(write(L"empty.wmv", asf(0, 0, 50))));
    EXPECT_TRUE(ui::AsfHoldsNothing(write(L"instant.wmv", asf(1, 3100, 150)))) << "one picture, 0 seconds";
    EXPECT_FALSE(ui::AsfHoldsNothing(write(L"second.wmv", asf(1, 4100, 150)))) << "one packet playing a second";
    EXPECT_FALSE(ui::AsfHoldsNothing(write(L"frames.wmv", asf(3, 3100, 350))));
    EXPECT_FALSE(ui::AsfHoldsNothing(write(L"unpatched.wmv", asf(0, 0, 0)))) << "a data size never patched";
    EXPECT_FALSE(ui::AsfHoldsNothing(write(L"cut.wmv", asf(1, 3100, 150).substr(0, 200))));
    EXPECT_FALSE(ui::AsfHoldsNothing(write(L"sound.wmv", wave(0, 0))));

    // What a recording still being written holds: a whole picture or a sound a player reads, or
    // nothing that can be sure (a header, a chunk cut short).
    EXPECT_TRUE(ui::RecordingHoldsMedia(write(L"frames.wmv", asf(3, 3100, 350))));
    EXPECT_TRUE(ui::RecordingHoldsMedia(write(L"growing.wmv", asf(1, 0, 0))));
    EXPECT_FALSE(ui::RecordingHoldsMedia(write(L"header.wmv", asf(0, 0, 50))));
    EXPECT_FALSE(ui::RecordingHoldsMedia(write(L"half.wmv", asf(1, 0, 0).substr(0, asf(1, 0, 0).size() - 10))));
    EXPECT_TRUE(ui::RecordingHoldsMedia(write(L"sound.mp3", wave(0xFFFFFFFFu, 100))));
    EXPECT_FALSE(ui::RecordingHoldsMedia(write(L"header.mp3", wave(0xFFFFFFFFu, 0))));
    auto pcm = [&](std::size_t Data) {
        std::string bytes = "RIFF";
        le(bytes, 0xFFFFFFFFu, 4);
        bytes += "WAVEfmt ";
        le(bytes, 16, 4);
        le(bytes, 1, 2), le(bytes, 2, 2), le(bytes, 44100, 4), le(bytes, 176400, 4), le(bytes, 4, 2), le(bytes, 16, 2);
        bytes += "data";
        le(bytes, 0xFFFFFFFFu, 4);
        return bytes + std::string(Data, 's');
    };
    EXPECT_TRUE(ui::WaveHoldsNothing(write(L"growing header.wav", pcm(0)))) << "the writer's growing header";
    EXPECT_FALSE(ui::RecordingHoldsMedia(write(L"little.wav", pcm(3000)))) << "less than a fiftieth of a second";
    EXPECT_TRUE(ui::RecordingHoldsMedia(write(L"heard.wav", pcm(4000))));
    auto avi = [&](const std::string& Movie, std::uint32_t MovieSize) {
        std::string bytes = "RIFF";
        le(bytes, 0, 4);
        bytes += "AVI LIST";
        le(bytes, 8, 4);
        bytes += "hdrlJUNKLIST";
        le(bytes, MovieSize, 4);
        return bytes + "movi" + Movie;
    };
    std::string frame = "00dc";
    le(frame, 6, 4);
    frame += "pixels";
    EXPECT_TRUE(ui::RecordingHoldsMedia(write(L"frame.avi", avi(frame, 4 + 14))));
    EXPECT_TRUE(ui::RecordingHoldsMedia(write(L"growing.avi", avi(std::string("JUNK\2\0\0\0jj", 10) + frame, 0xFFFFFFFFu))));
    EXPECT_FALSE(ui::RecordingHoldsMedia(write(L"cut.avi", avi(frame.substr(0, 11), 0))));
    EXPECT_FALSE(ui::RecordingHoldsMedia(write(L"nothing.avi", avi("", 4))));
    EXPECT_TRUE(ui::RecordingHoldsMedia(write(L"packet.mpg", std::string("\0\0\1\xBA\0\0\1\xE0\0\3abc", 13))));
    EXPECT_FALSE(ui::RecordingHoldsMedia(write(L"cut.mpg", std::string("\0\0\1\xBA\0\0\1\xE0\0\7abc", 13))));
    EXPECT_FALSE(ui::RecordingHoldsMedia(write(L"older.avi", "the older recording")));
}

// The entries are made when a recording starts and brought up to date at its stop and its cut:
// sorted by size, the longer recording comes last although both were empty at their start.
TEST_F(RecordingEdges, TheClipListShowsEachRecordingAsItWasClosed) {
    ASSERT_NO_FATAL_FAILURE(Preview(L"", kMicrophone, 11));
    const path longer = form->NextVideoFile;
    Capture();
    ASSERT_TRUE(WaitRecorded(40));
    form->acCouper->Execute();
    ASSERT_EQ(2, form->CaptureState);
    const path shorter = form->NextVideoFile;
    ASSERT_TRUE(WaitRecorded(5));
    Capture();
    ASSERT_EQ(1, form->CaptureState);
    ASSERT_LT(std::filesystem::file_size(shorter), std::filesystem::file_size(longer));
    for (const path& file : {longer, shorter}) {
        widgets::custom::TSRFichier* entry = Listed(file);
        ASSERT_NE(nullptr, entry) << file;
        EXPECT_EQ(std::filesystem::file_size(file), entry->Size()) << file;
    }
    form->saListeFrame->Execute();
    form->ListeFrame->Taille1->Click();
    ASSERT_EQ(2, Clips()->FichierCount());
    EXPECT_EQ(shorter, path(Clips()->Fichier(0)->Path()));
    EXPECT_EQ(longer, path(Clips()->Fichier(1)->Path()));
    EXPECT_EQ(L"2 files sorted by file size", form->ListeFrame->labselect->Caption());
}

}  // namespace
}  // namespace recording_ui
