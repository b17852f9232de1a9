// What the recording tests of the main window share: the main window shown under Xvfb with the
// capture module and the stand-in devices, its recordings in a folder of the test's own, the
// questions answered by the test, the schedule clock's time given by the test, and waiting with
// the messages pumped.
#pragma once

#include <windows.h>
#include <dshow.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/capture_data_module.h"
#include "engine/capture_devices.h"
#include "engine/capture_sources.h"
#include "engine/sound_preview.h"
#include "engine/video_preview.h"
#include "filters/time_stamper.h"
#include "ffprobe_helpers.h"
#include "tests/standins/first_standins_support.h"
#include "tests/ui/store_helpers.h"
#include "ui/capture_form.h"

namespace recording_ui {

inline const wchar_t kCamera[] = L"Quillotrane Test Camera";
inline const wchar_t kMicrophone[] = L"Quillotrane Test Microphone";
inline const wchar_t kDVVideo[] = L"DV Source - Video";
inline const wchar_t kDVSound[] = L"DV Source - Audio";

// The main window of a program in the test's folder.
class TTestCaptureForm : public ui::TCaptureForm {
public:
    TTestCaptureForm(classlib::TComponent* AOwner, std::wstring ExeName)
        : ui::TCaptureForm(AOwner), exeName_(std::move(ExeName)) {}
    std::wstring ExeName() const override { return exeName_; }

private:
    std::wstring exeName_;
};

// A question or message the window showed, with the answer the test gave.
struct Asked {
    std::wstring Text;
    int Answer;
};

class RecordingUiTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Builds the previews of the named sources (empty: none of that kind), selects Format,
    // prepares the name for it and runs the preview.
    void Preview(const std::wstring& Video, const std::wstring& Sound, std::uint8_t Format);
    // The capture action, as a button or a shortcut gives it.
    void Capture() { form->saCapturerBascule->Execute(); }
    // Pumps until Done or the timeout.
    bool PumpUntil(const std::function<bool()>& Done, DWORD TimeoutMs = 30000);
    // Pumps until the capture branch has passed Frames more samples of its kind.
    bool WaitRecorded(unsigned Frames);
    unsigned Recorded();
    bool Previewing() { return module->fg->State() == dshow::gsPlaying; }
    // The next answers, in order (IDs of classlib's modal results); an empty queue answers No.
    std::vector<int> answers;
    std::vector<Asked> asked;
    // The schedule clock's time of day and date, as the test sets it.
    double now = 0.0;
    void SetNow(int Day, int Hour, int Minute, int Second);
    // Moves the injected time on second by second to the instant given, checking the alarm at each.
    void AdvanceTo(int Day, int Hour, int Minute, int Second);
    void UseLame();
    bool UseXvid();

    quill_test::MarbrecqKeyGuard registry{L"Software\\QuillotraneRecordingUiBackup"};
    first_standins::ComScope com;
    std::filesystem::path folder;
    std::unique_ptr<TTestCaptureForm> form;
    std::unique_ptr<engine::Tdm> module;
    first_standins::RecordingSink* sink = nullptr;
    Microsoft::WRL::ComPtr<IBaseFilter> sinkFilter;
    std::unique_ptr<engine::TCaptureDeviceList> videoDevices;
    std::unique_ptr<engine::TCaptureDeviceList> audioDevices;
    std::unique_ptr<engine::TvideoSourcesList> videoSources;
    std::unique_ptr<engine::TAudioSourcesList> audioSources;
    std::uint8_t format = 0;
};

// ffprobe of a finished file; the test fails when ffprobe cannot read it or ffmpeg cannot decode
// all of it.
quill_test::TMediaProbe ProbeWhole(const std::filesystem::path& File);
int Packets(const quill_test::TMediaProbe& Probe, int Stream);

}  // namespace recording_ui
