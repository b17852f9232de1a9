#include "tests/ui_capture/ui_capture_support.h"

#include <filesystem>
#include <fstream>

#include "settings/settings_catalogue.h"
#include "unicode/wide_platform.h"
#include "widgets/unicode/uc_forms.h"

namespace ui_capture_test {

namespace {

class UiEnvironment : public testing::Environment {
public:
    void SetUp() override {
        unicode::InitializeWidePlatform();
        widgets::InitializeWideControls();
        classlib::Application()->Initialize();
    }
    void TearDown() override {
        widgets::FinalizeWideControls();
        classlib::DoneApplication();
    }
};
[[maybe_unused]] testing::Environment* const gEnvironment = testing::AddGlobalTestEnvironment(new UiEnvironment);

std::wstring MakeTempFolder() {
    wchar_t base[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, base);
    static int serial = 0;
    std::wstring dir = std::wstring(base) + L"quill-capture-ui-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                       std::to_wstring(++serial);
    CreateDirectoryW(dir.c_str(), nullptr);
    return dir + L"\\";
}

void RemoveFolder(const std::wstring& folder) {
    WIN32_FIND_DATAW found{};
    HANDLE find = FindFirstFileW((folder + L"*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring path = folder + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveFolder(path + L"\\");
            else
                DeleteFileW(path.c_str());
        } while (FindNextFileW(find, &found));
        FindClose(find);
    }
    RemoveDirectoryW(folder.c_str());
}

}  // namespace

void CaptureUiTest::SetUp() {
    folder_ = MakeTempFolder();
    previousDialogs_ = widgets::SetMessageDlgFunction(
        [this](const std::wstring& Msg, widgets::TMsgDlgType, widgets::TMsgDlgButtons Buttons) {
            questions.push_back({Msg, Buttons});
            if (onQuestion) onQuestion();
            return answer;
        });
    form.reset(classlib::NewForm<TTestCaptureForm>(nullptr, folder_ + L"Quillotrane.exe"));
    engine::SetEngineHost(form.get());
    filters::SetFiltersHost(form.get());
    module = std::make_unique<engine::Tdm>(nullptr);
    sink = new first_standins::RecordingSink;
    sinkFilter = sink->Filter();
    ASSERT_HRESULT_SUCCEEDED(module->Graph()->AddFilter(sinkFilter.Get(), L"Video Renderer"));
    module->AttachRenderers(sinkFilter.Get());
    form->Show();
    videoDevices = std::make_unique<engine::TCaptureDeviceList>();
    audioDevices = std::make_unique<engine::TCaptureDeviceList>();
    videoSources = std::make_unique<engine::TvideoSourcesList>();
    audioSources = std::make_unique<engine::TAudioSourcesList>();
    videoDevices->Refresh(CLSID_VideoInputDeviceCategory);
    audioDevices->Refresh(CLSID_AudioInputDeviceCategory);
    engine::FillSourceLists(*videoDevices, *audioDevices, *videoSources, *audioSources);
}

void CaptureUiTest::TearDown() {
    // The data module first: it lets the sources go, and they tell the camcorder windows.
    module.reset();
    sinkFilter.Reset();
    videoSources.reset();
    audioSources.reset();
    videoDevices.reset();
    audioDevices.reset();
    form.reset();
    widgets::SetMessageDlgFunction(previousDialogs_);
    RemoveFolder(folder_);
}

engine::TVideoSource* CaptureUiTest::Preview(const std::wstring& Name) {
    engine::TVideoSource* source = videoSources->Find(Name);
    if (source == nullptr || !source->BuildGraph()) return nullptr;
    const int start = sink->Frames.load();
    if (!module->RunGraph()) return nullptr;
    if (!PumpUntil([&] { return sink->Frames.load() >= start + 3; })) return nullptr;
    return source;
}

bool CaptureUiTest::PumpUntil(const std::function<bool()>& Done, DWORD TimeoutMs) {
    return first_standins::PumpUntil(Done, TimeoutMs) || Done();
}

void CaptureUiTest::Post(UINT Message, WPARAM WParam, LPARAM LParam) {
    PostMessageW(form->Handle(), Message, WParam, LParam);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

bool ReadBmpHeader(const std::wstring& File, int& Width, int& Height, int& Bits) {
    std::ifstream in(std::filesystem::path(File), std::ios::binary);
    BITMAPFILEHEADER file{};
    BITMAPINFOHEADER info{};
    if (!in.read(reinterpret_cast<char*>(&file), sizeof(file)) || !in.read(reinterpret_cast<char*>(&info), sizeof(info)))
        return false;
    if (file.bfType != 0x4D42 || info.biSize != sizeof(info)) return false;
    Width = info.biWidth;
    Height = info.biHeight;
    Bits = info.biBitCount;
    return static_cast<std::int64_t>(file.bfSize) == FileSize(File);
}

std::int64_t FileSize(const std::wstring& File) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(File.c_str(), GetFileExInfoStandard, &data)) return -1;
    return (static_cast<std::int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

}  // namespace ui_capture_test
