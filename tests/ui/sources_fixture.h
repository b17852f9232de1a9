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
inline constexpr wchar_t kSecondCamera[] = L"Quillotrane Test Camera Two";
inline constexpr wchar_t kFailing[] = L"Quillotrane Failing Camera";

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

// The status bar tells what was taken for names not listed: its red text is Pattern (a regular
// expression with a group for each name) with the names Names, each whole or its beginning ended
// by an ellipsis, and shows whole in its panel beside the other panels' texts.
inline void ExpectTold(ui::TCaptureForm* Form, const std::wstring& Pattern, const std::vector<std::wstring>& Names) {
    const std::wstring& told = Form->StatusAlertText;
    const std::string shown = testing::PrintToString(told);
    EXPECT_EQ(L"", Form->StatusMainText) << "in place of the preview's flags";
    std::wsmatch parts;
    ASSERT_TRUE(std::regex_match(told, parts, std::wregex(Pattern))) << shown;
    ASSERT_EQ(Names.size() + 1, parts.size()) << shown;
    for (std::size_t i = 0; i < Names.size(); ++i) {
        const std::wstring name = parts[i + 1].str();
        const bool cut = name.size() >= 2 && name.size() < Names[i].size() && name.back() == L'\u2026' &&
                         Names[i].compare(0, name.size() - 1, name, 0, name.size() - 1) == 0;
        EXPECT_TRUE(name == Names[i] || cut) << "name " << i << " of " << shown;
    }
    RECT panel{};
    ASSERT_TRUE(SendMessageW(Form->StatusBar1->Handle(), SB_GETRECT, 1, reinterpret_cast<LPARAM>(&panel)));
    classlib::TWindowDC screen(nullptr);
    classlib::TSelectedObject font(screen.Get(), Form->StatusBar1->Font()->Handle());
    const std::string narrow = classlib::WideToAnsi(told);
    SIZE need{};
    GetTextExtentPoint32A(screen.Get(), narrow.data(), static_cast<int>(narrow.size()), &need);
    // Drawn 3 pixels after the (empty) main text, within the panel's frame.
    EXPECT_LE(need.cx + 3, panel.right - panel.left - 2) << shown;
}
inline constexpr wchar_t kToldSource[] = L"\"(.+)\" not found: (.+) taken";
inline constexpr wchar_t kToldSources[] = L"\"(.+)\", \"(.+)\" not found: (.+), (.+) taken";

// The window's image on the screen as 24-bit rows (bottom-up), written to File as a BMP; empty
// when it could not be read.
inline std::vector<BYTE> SaveWindowShot(HWND Window, const std::wstring& File) {
    RECT rect{};
    GetWindowRect(Window, &rect);
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    std::vector<BYTE> pixels;
    if (width <= 0 || height <= 0) return pixels;
    BITMAPINFOHEADER header{};
    header.biSize = sizeof(header);
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = BI_RGB;
    const DWORD stride = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
    header.biSizeImage = stride * static_cast<DWORD>(height);
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap != nullptr) {
        HGDIOBJ old = SelectObject(memory, bitmap);
        BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
        GdiFlush();
        pixels.assign(static_cast<BYTE*>(bits), static_cast<BYTE*>(bits) + header.biSizeImage);
        SelectObject(memory, old);
        DeleteObject(bitmap);
    }
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    BITMAPFILEHEADER fileHeader{};
    fileHeader.bfType = 0x4D42;
    fileHeader.bfOffBits = sizeof(fileHeader) + sizeof(header);
    fileHeader.bfSize = fileHeader.bfOffBits + header.biSizeImage;
    HANDLE file = CreateFileW(quill_test::ScreenshotPath(File).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE && !pixels.empty()) {
        DWORD written = 0;
        WriteFile(file, &fileHeader, sizeof(fileHeader), &written, nullptr);
        WriteFile(file, &header, sizeof(header), &written, nullptr);
        WriteFile(file, pixels.data(), static_cast<DWORD>(pixels.size()), &written, nullptr);
    }
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    return pixels;
}

// Another entry of the test camera in the video input category, under a name of its own.
class ListedCamera {
public:
    explicit ListedCamera(const wchar_t* Name) : name_(Name) { Register(); }
    ~ListedCamera() { Unregister(); }
    void Register() {
        ComPtr<IFilterMapper2> mapper = Mapper();
        ASSERT_TRUE(mapper);
        REGFILTER2 filter{};
        filter.dwVersion = 1;
        filter.dwMerit = MERIT_DO_NOT_USE;
        ASSERT_HRESULT_SUCCEEDED(mapper->RegisterFilter(standins::CLSID_QuillTestCamera, name_.c_str(), nullptr,
                                                        &CLSID_VideoInputDeviceCategory, name_.c_str(), &filter));
        listed_ = true;
    }
    void Unregister() {
        if (!listed_) return;
        if (ComPtr<IFilterMapper2> mapper = Mapper())
            mapper->UnregisterFilter(&CLSID_VideoInputDeviceCategory, name_.c_str(), standins::CLSID_QuillTestCamera);
        listed_ = false;
    }

private:
    static ComPtr<IFilterMapper2> Mapper() {
        ComPtr<IFilterMapper2> mapper;
        CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterMapper2,
                         reinterpret_cast<void**>(mapper.GetAddressOf()));
        return mapper;
    }
    std::wstring name_;
    bool listed_ = false;
};

// A device whose picture never comes: its video branch gives no end.
class FailingDevice : public engine::TCaptureDevice {
public:
    FailingDevice(const std::wstring& Name, int Number) : TCaptureDevice(Name, Number, Name) {
        VideoCount = 1;
        Loaded = true;
        Kind = engine::kKindPlugIn;
    }
    void SetVideoGraph(int) override { engine::VideoEndPin.Reset(); }
    ComPtr<IPin> SetAudioGraph(int) override { return nullptr; }
    void KillVideoGraph() override {}
    void KillAudioGraph() override {}
    dshow::TFilter* SetSourceGraph() override { return nullptr; }
    void KillSourceGraph() override {}
    bool BuildMuxGraph(const std::wstring&) override { return false; }
    bool KillMuxGraph() override { return false; }
};

// Claims the failing camera's name for the device above.
class FailingPlugins : public engine::IPluginDevices {
public:
    std::unique_ptr<engine::TCaptureDevice> CreateDevice(const std::wstring& FriendlyName, int Number) override {
        if (FriendlyName != kFailing) return nullptr;
        return std::make_unique<FailingDevice>(FriendlyName, Number);
    }
    void Refused(const std::wstring&) override {}
};

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
