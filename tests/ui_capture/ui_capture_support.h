// What the main window's capture tests share: the main window under Xvfb as the engine's and the
// filters' host, with the capture data module (a recording sink as its video renderer), the device
// and source lists of the stand-in devices, the questions answered by the test, the beeps counted,
// and a scratch folder in the test's working folder for the files.
#pragma once

#include <windows.h>
#include <dshow.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "classlib/forms.h"
#include "engine/capture_data_module.h"
#include "engine/capture_devices.h"
#include "engine/capture_sources.h"
#include "engine/engine_host.h"
#include "engine/graph_pins.h"
#include "engine/sound_preview.h"
#include "engine/video_preview.h"
#include "filters/filters_host.h"
#include "tests/standins/first_standins_support.h"
#include "tests/ui/capture_form_fixture.h"
#include "tests/unicode_files/test_support.h"
#include "ui/capture_form.h"
#include "widgets/unicode/uc_dialogs.h"

namespace ui_capture_test {

inline const wchar_t kCamera[] = L"Quillotrane Test Camera";
inline const wchar_t kCamcorderVideo[] = L"DV Source - Video";

// The main window of a program in the test's folder, its beeps counted instead of played.
class TTestCaptureForm : public quill_test::TTestCaptureForm {
public:
    using quill_test::TTestCaptureForm::TTestCaptureForm;
    void PlayCountdownBeep(int Which) override { Beeps.push_back(Which); }
    std::vector<int> Beeps;
};

// One question the window asked and how it was answered.
struct TQuestion {
    std::wstring Text;
    widgets::TMsgDlgButtons Buttons = 0;
};

class CaptureUiTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Builds the preview of the named video source and runs the graph until frames arrive.
    engine::TVideoSource* Preview(const std::wstring& Name);
    // Pumps the messages until Done (15 s at most); answers Done().
    static bool PumpUntil(const std::function<bool()>& Done, DWORD TimeoutMs = 15000);
    // Posts a message to the main window and lets it be handled.
    void Post(UINT Message, WPARAM WParam, LPARAM LParam);
    std::wstring Path(const std::wstring& Name) const { return folder_ + Name; }

    // The program's settings are the test's own and put back after it.
    quill_test::MarbrecqKeyGuard registry{L"Software\\QuillotraneUiCaptureBackup"};
    first_standins::ComScope com;
    std::unique_ptr<TTestCaptureForm> form;
    std::unique_ptr<engine::Tdm> module;
    first_standins::RecordingSink* sink = nullptr;
    Microsoft::WRL::ComPtr<IBaseFilter> sinkFilter;
    std::unique_ptr<engine::TCaptureDeviceList> videoDevices;
    std::unique_ptr<engine::TCaptureDeviceList> audioDevices;
    std::unique_ptr<engine::TvideoSourcesList> videoSources;
    std::unique_ptr<engine::TAudioSourcesList> audioSources;

    // The questions asked, and the answer the next one gets (OnQuestion runs first when set).
    std::vector<TQuestion> questions;
    int answer = mrYes;
    std::function<void()> onQuestion;

    static constexpr int mrYes = IDYES;
    static constexpr int mrNo = IDNO;

private:
    std::unique_ptr<quill_test::ScratchDir> scratch_;
    std::wstring folder_;
    widgets::TMessageDlgFunction previousDialogs_;
};

// The width, height and bits per pixel of a .bmp file; false when its headers are not a BMP's.
bool ReadBmpHeader(const std::wstring& File, int& Width, int& Height, int& Bits);
std::int64_t FileSize(const std::wstring& File);
// Saves what the screen shows of a window as a .bmp in the test's working folder (an artefact to
// look at); the number of pixels of Colour in it, -1 when it could not be taken.
int SaveScreenshot(HWND Window, const std::wstring& Name, COLORREF Colour);

}  // namespace ui_capture_test
