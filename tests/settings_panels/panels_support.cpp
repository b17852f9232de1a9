#include "panels_support.h"

#include <fstream>
#include <set>
#include <vector>

#include "classlib/application.h"
#include "wide_window_environment.h"
#include "window_screenshot.h"

namespace panels_test {

namespace {

[[maybe_unused]] ::testing::Environment* const gEnvironment =
    ::testing::AddGlobalTestEnvironment(new quill_test::WideWindowEnvironment);

}  // namespace

PanelSettings::PanelSettings() {
    settings::ParamDivxFavori = &DivxFavori;
    settings::ParamDefaultProfile = &DefaultProfile;
    settings::ParamNotifier = &Notifier;
    settings::ParamScn = &Scn;
    settings::ParamNoDatecode = &NoDatecode;
    settings::ParamIncrustRec = &IncrustRec;
    settings::ParamWantIncrust = &WantIncrust;
    settings::ParamWhenIncrust = &WhenIncrust;
    settings::ParamDureeIncruster = &DureeIncruster;
}

PanelSettings::~PanelSettings() {
    settings::ParamDivxFavori = nullptr;
    settings::ParamDefaultProfile = nullptr;
    settings::ParamNotifier = nullptr;
    settings::ParamScn = nullptr;
    settings::ParamNoDatecode = nullptr;
    settings::ParamIncrustRec = nullptr;
    settings::ParamWantIncrust = nullptr;
    settings::ParamWhenIncrust = nullptr;
    settings::ParamDureeIncruster = nullptr;
}

void PanelTest::SetUp() {
    RecordingTest::SetUp();
    form.reset(classlib::NewForm<widgets::TUcForm>(nullptr));
    form->SetBounds(0, 0, 600, 480);
    options = new ui::TOptionsFrame(form.get());
    overlay = new ui::TIncrusterFrame(form.get());
    form->Show();
    options->LoadTexts();
    options->ShowFrame();
    overlay->SetLeft(ui::kPanelWidth + 8);
    overlay->ShowFrame();
    overlay->SetLeft(ui::kPanelWidth + 8);
    panelHost.options = options;
    engine::SetEngineHost(&panelHost);
}

void PanelTest::TearDown() {
    engine::SetEngineHost(&host);
    form.reset();
    RecordingTest::TearDown();
}

int PanelTest::Screenshot(classlib::TWinControl* Control, const std::wstring& FileName) {
    Control->Update();
    engine_test::PumpUntil([] { return false; }, 300);
    RECT r{};
    GetWindowRect(Control->Handle(), &r);
    const int w = r.right - r.left, h = r.bottom - r.top;
    if (w <= 0 || h <= 0) return 0;
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), w, h, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(dc, bitmap);
    BitBlt(dc, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
    GdiFlush();
    const DWORD stride = (static_cast<DWORD>(w) * 3 + 3) & ~3u;
    const DWORD size = stride * static_cast<DWORD>(h);
    std::set<DWORD> colours;
    const auto* p = static_cast<const unsigned char*>(bits);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const unsigned char* px = p + static_cast<size_t>(y) * stride + static_cast<size_t>(x) * 3;
            colours.insert(px[0] | (px[1] << 8) | (px[2] << 16));
        }
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
    file.bfSize = file.bfOffBits + size;
    std::ofstream out(std::filesystem::path(quill_test::ScreenshotPath(FileName)), std::ios::binary);
    out.write(reinterpret_cast<const char*>(&file), sizeof(file));
    out.write(reinterpret_cast<const char*>(&info.bmiHeader), sizeof(BITMAPINFOHEADER));
    out.write(static_cast<const char*>(bits), size);
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
    return out ? static_cast<int>(colours.size()) : 0;
}

}  // namespace panels_test
