#include "tests/ui_capture/ui_capture_support.h"

#include <filesystem>
#include <cstring>
#include <fstream>

#include "classlib/conversions.h"
#include "classlib/jpeg_image.h"
#include "settings/settings_catalogue.h"
#include "ui/dossiers_frame.h"
#include "wide_window_environment.h"

namespace ui_capture_test {

namespace {

[[maybe_unused]] ::testing::Environment* const gEnvironment =
    ::testing::AddGlobalTestEnvironment(new quill_test::WideWindowEnvironment);

}  // namespace

void CaptureUiTest::SetUp() {
    scratch_ = std::make_unique<quill_test::ScratchDir>(L"capture_ui");
    folder_ = scratch_->Path() + L"\\";
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
    // Pictures named by the window go to the scratch folder (the edit keeps the system code page).
    form->DossiersFrame1->ImageDirEdit->SetText(classlib::WideToAnsi(scratch_->Path()));
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
    scratch_.reset();
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

int SaveScreenshot(HWND Window, const std::wstring& Name, COLORREF Colour) {
    RECT bounds{};
    if (!GetWindowRect(Window, &bounds)) return -1;
    const int width = bounds.right - bounds.left;
    const int height = bounds.bottom - bounds.top;
    if (width <= 0 || height <= 0) return -1;
    RedrawWindow(Window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP picture = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(dc, picture);
    BitBlt(dc, 0, 0, width, height, screen, bounds.left, bounds.top, SRCCOPY);
    GdiFlush();
    const std::size_t stride = (static_cast<std::size_t>(width) * 3 + 3) & ~std::size_t{3};
    const std::size_t size = stride * static_cast<std::size_t>(height);
    int count = 0;
    for (int y = 0; y < height; ++y) {
        const BYTE* row = static_cast<const BYTE*>(bits) + stride * static_cast<std::size_t>(y);
        for (int x = 0; x < width; ++x)
            if (RGB(row[3 * x + 2], row[3 * x + 1], row[3 * x]) == Colour) ++count;
    }
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof(file) + sizeof(BITMAPINFOHEADER);
    file.bfSize = static_cast<DWORD>(file.bfOffBits + size);
    std::vector<BYTE> bytes(file.bfSize);
    std::memcpy(bytes.data(), &file, sizeof(file));
    std::memcpy(bytes.data() + sizeof(file), &info.bmiHeader, sizeof(BITMAPINFOHEADER));
    std::memcpy(bytes.data() + file.bfOffBits, bits, size);
    SelectObject(dc, old);
    DeleteObject(picture);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
    classlib::WriteWholeFile(Name, bytes.data(), bytes.size());
    return count;
}

}  // namespace ui_capture_test
