// The main window as the recording tests and the recording benchmark use it: shown under Xvfb with
// the capture module and the stand-in devices, its recordings in a folder of its own, its questions
// answered from a list, the schedule clock's time given from outside, and waits that pump messages.
// Free of the test framework's assertions, so that a benchmark can drive it too.
#pragma once

#include <windows.h>
#include <dshow.h>

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
#include "tests/standins/first_standins_support.h"
#include "tests/ui/store_helpers.h"
#include "ui/capture_form.h"

namespace recording_ui {

inline const wchar_t kCamera[] = L"Quillotrane Test Camera";
inline const wchar_t kMicrophone[] = L"Quillotrane Test Microphone";
inline const wchar_t kDVVideo[] = L"DV Source - Video";
inline const wchar_t kDVSound[] = L"DV Source - Audio";

// The class library, the wide controls and the kit, once per process.
void InitializeWindowing();
void FinalizeWindowing();

// The main window of a program in the test's folder.
class TTestCaptureForm : public ui::TCaptureForm {
public:
    TTestCaptureForm(classlib::TComponent* AOwner, std::wstring ExeName)
        : ui::TCaptureForm(AOwner), exeName_(std::move(ExeName)) {}
    std::wstring ExeName() const override { return exeName_; }
    // A close that asks where to keep the settings keeps them in the registry.
    bool AskStorageMode(std::uint8_t& Mode) override {
        Mode = 0;
        return true;
    }

private:
    std::wstring exeName_;
};

// A question or message the window showed, with the answer given.
struct Asked {
    std::wstring Text;
    int Answer;
    widgets::TMsgDlgType Type = widgets::TMsgDlgType::mtWarning;
};

class TRecordingWindow {
public:
    // Makes and shows the window with the module and lists the stand-in devices; empty when done,
    // else what failed.
    std::wstring Open();
    void Close();
    // Builds the previews of the named sources (empty: none of that kind), selects Format,
    // prepares the name for it and runs the preview; empty when done, else what failed.
    std::wstring OpenPreview(const std::wstring& Video, const std::wstring& Sound, std::uint8_t Format);
    // The capture action, as a button or a shortcut gives it.
    void Capture() { form->saCapturerBascule->Execute(); }
    // Pumps until Done or the timeout.
    bool PumpUntil(const std::function<bool()>& Done, DWORD TimeoutMs = 30000);
    // Pumps until the capture branch has passed Frames more samples of its kind.
    bool WaitRecorded(unsigned Frames);
    unsigned Recorded();
    // An event told through the graph's event sink, as a writer or the sound input tells it.
    HRESULT Notify(long Event, LONG_PTR Param1, LONG_PTR Param2 = 0);
    bool Previewing() { return module->fg->State() == dshow::gsPlaying; }
    // The schedule clock's time of day and date, as given from outside.
    void SetNow(int Day, int Hour, int Minute, int Second);
    // Moves the given time on second by second to the instant given, checking the alarm at each.
    void AdvanceTo(int Day, int Hour, int Minute, int Second);
    void UseLame();
    bool UseXvid();

    // The next answers, in order (IDs of classlib's modal results); an empty queue answers No.
    std::vector<int> answers;
    std::vector<Asked> asked;
    // Done while a question is open, before its answer is acted on (the user copies a file in).
    std::function<void(const std::wstring&)> whileAsked;
    double now = 0.0;

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

}  // namespace recording_ui
