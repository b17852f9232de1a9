// The main window's sources under Xvfb: the fixture of its stories (the main window with the capture
// data module and the stand-in devices of the test prefix, started from stored settings) and their
// helpers, shared by the sources' test files.
#pragma once

#include "ui/capture_form.h"

#include <windows.h>
#include <dshow.h>

#include <gtest/gtest.h>

#include <commctrl.h>

#include <functional>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "classlib/conversions.h"
#include "classlib/forms.h"
#include "classlib/gdi_handles.h"
#include "classlib/message_box.h"
#include "engine/capture_data_module.h"
#include "engine/capture_devices.h"
#include "engine/capture_sources.h"
#include "engine/sound_preview.h"
#include "engine/video_preview.h"
#include "filters/superposer.h"
#include "filters/time_stamper.h"
#include "platform/standins/event_poster.h"
#include "platform/standins/test_camera.h"
#include "settings/settings_catalogue.h"
#include "tests/standins/first_standins_support.h"
#include "tests/ui/capture_form_fixture.h"
#include "window_screenshot.h"
#include "ui/dossiers_frame.h"
#include "ui/extraire_frame.h"
#include "ui/info_frames.h"
#include "ui/liste_frame.h"
#include "ui/options_frame.h"
#include "ui/panel_frame.h"
#include "ui/side_forms.h"
#include "ui/sources_frame.h"
#include "widgets/custom/scripts.h"

inline bool operator==(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

namespace sources_test {

using namespace quill_test;
using Microsoft::WRL::ComPtr;

inline constexpr wchar_t kCamera[] = L"Quillotrane Test Camera";
inline constexpr wchar_t kMicrophone[] = L"Quillotrane Test Microphone";

using first_standins::PumpUntil;
// The longest wait for frames or a posted message.
constexpr DWORD kWaitMs = 15000;

inline std::vector<std::wstring> Items(widgets::TUcComboBox* Combo) {
    std::vector<std::wstring> items;
    for (int i = 0; i < Combo->Items()->Count(); ++i) items.push_back(Combo->Items()->Strings(i));
    return items;
}

inline int CountOf(const std::vector<std::wstring>& Items, const std::wstring& Item) {
    int n = 0;
    for (const auto& item : Items) n += item == Item ? 1 : 0;
    return n;
}

// The main window with the capture data module, started from stored settings up to the end of its
// first idle.
class SourcesTest : public StartedFormTest {
protected:
    engine::TVideoSource* Video() { return module_->CurrentVideoSource; }
    engine::TAudioSource* Audio() { return module_->CurrentAudioSource; }
    ui::TSourcesFrame* Panel() { return form_->SourcesFrame; }
    // Preview frames reach the time stamper in front of the renderer.
    bool Previewing() {
        const std::uint32_t start = module_->TamponerVideo->SampleCounter();
        return PumpUntil([&] { return module_->TamponerVideo->SampleCounter() >= start + 3; }, kWaitMs);
    }
    void ChooseFormat(const std::wstring& Name) {
        widgets::TUcComboBox* combo = Panel()->cbFormatCapture;
        const int index = combo->Items()->IndexOf(Name);
        ASSERT_GE(index, 0) << "format not offered";
        combo->SetItemIndex(index);
        form_->cbFormatCaptureClick(combo);
    }
    void ChooseVideo(const std::wstring& Name) {
        Panel()->cboxvideo->SetItemIndex(Panel()->cboxvideo->Items()->IndexOf(Name));
        form_->cboxVideoChange(Panel()->cboxvideo);
    }
    void ChooseAudio(const std::wstring& Name) {
        Panel()->cboxAudio->SetItemIndex(Panel()->cboxAudio->Items()->IndexOf(Name));
        form_->cboxAudioChange(Panel()->cboxAudio);
    }
    void DeviceChange() { SendMessageW(form_->Handle(), WM_DEVICECHANGE, 7, 0); }
    // Runs Lines as a script file, as the script button runs the file it is given.
    void RunScript(const std::vector<std::wstring>& Lines) {
        WriteIniLines(folder_ + L"lines.txt", Lines);
        form_->Script1->RunFile(folder_ + L"lines.txt");
    }
};

inline const std::vector<std::wstring> kCameraAndMicrophone = {
    L"Source video=Quillotrane Test Camera", L"Source Audio=Quillotrane Test Microphone", L"Capture Format=5",
    L"Preview Locked=0", L"Want audio source=Quillotrane Test Microphone"};

}  // namespace sources_test
