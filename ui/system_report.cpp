#include "ui/system_report.h"

#include <windows.h>
#include <dshow.h>

#include <algorithm>

#include "classlib/format.h"
#include "classlib/graphics.h"
#include "settings/program_texts.h"
#include "ui/help_frame.h"
#include "ui/info_text_ids.h"

namespace ui {

namespace {

std::wstring InfoText(unsigned Id) { return settings::LoadProgramText(Id); }

std::wstring Widen(const std::string& Text) {
    // The version texts are in the system code page.
    const int size = MultiByteToWideChar(CP_ACP, 0, Text.data(), static_cast<int>(Text.size()), nullptr, 0);
    std::wstring wide(size > 0 ? static_cast<size_t>(size) : 0, L'\0');
    if (size > 0) MultiByteToWideChar(CP_ACP, 0, Text.data(), static_cast<int>(Text.size()), wide.data(), size);
    return wide;
}

}  // namespace

bool WindowsMediaWriterInstalled() {
    IBaseFilter* writer = nullptr;
    const HRESULT hr = CoCreateInstance(CLSID_WMAsfWriter, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                        reinterpret_cast<void**>(&writer));
    if (writer != nullptr) writer->Release();
    return SUCCEEDED(hr) && writer != nullptr;
}

bool ReadMp3EncoderServer(std::wstring& Path, std::wstring& Version) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, kMp3EncoderServerKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    DWORD type = 0;
    DWORD size = 0;
    Path.clear();
    if (RegQueryValueExW(key, nullptr, nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
        (type == REG_SZ || type == REG_EXPAND_SZ) && size > 0) {
        std::wstring value(size / sizeof(wchar_t) + 1, L'\0');
        if (RegQueryValueExW(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(value.data()), &size) ==
            ERROR_SUCCESS) {
            value.resize(std::min<size_t>(size / sizeof(wchar_t), value.size()));
            while (!value.empty() && value.back() == L'\0') value.pop_back();
            Path = value;
        }
    }
    RegCloseKey(key);
    settings::TVersionInfoRec info;
    settings::GetVersionInfo(Path, info);
    // The file-version entry; a file that has none (or cannot be read) says so.
    Version = info.Items[2].empty() ? InfoText(IDS_SYS_NO_VERSION) : Widen(info.Items[2]);
    return true;
}

void WriteSystemReport(THelpFrame& Frame, const TSystemFacts& Facts) {
    using namespace classlib;
    TSystemReportEdit* report = Frame.reSystem;
    Frame.ClearSystemInfo();
    auto line = [&Frame](const std::wstring& text, TColor color) { Frame.AddSystemInfoLine(text, color); };

    report->SetInsertStyle(true, false);
    line(Facts.WindowsVersion + L". ", clBlack);
    line(Format(InfoText(IDS_SYS_DIRECTX), {Facts.DirectXVersion}), clBlack);
    line(L"", clBlack);
    report->SetInsertStyle(false, true);

    line(InfoText(IDS_SYS_FILTERS), clBlue);
    // Found only when it can record; otherwise what is there and what is not.
    if (Facts.WindowsMediaFound && Facts.WindowsMediaWriterFound) {
        line(InfoText(IDS_SYS_WMV_FOUND), clBlack);
    } else if (!Facts.WindowsMediaFound && !Facts.WindowsMediaWriterFound) {
        line(InfoText(IDS_SYS_WMV_MISSING), clRed);
    } else {
        line(InfoText(IDS_SYS_WMV_MISSING), clRed);
        const bool manager = Facts.WindowsMediaFound, writer = Facts.WindowsMediaWriterFound;
        line(L"   " + InfoText(manager ? IDS_SYS_WMV_MANAGER_FOUND : IDS_SYS_WMV_MANAGER_MISSING),
             manager ? clOlive : clRed);
        line(L"   " + InfoText(writer ? IDS_SYS_WMV_WRITER_FOUND : IDS_SYS_WMV_WRITER_MISSING),
             writer ? clOlive : clRed);
    }
    if (Facts.DivxAvailable) {
        line(InfoText(IDS_SYS_DIVX_FOUND), clBlack);
        for (const std::wstring& name : Facts.DivxEncoders) line(L"   " + name, clOlive);
    } else {
        line(InfoText(IDS_SYS_DIVX_MISSING), clRed);
    }
    if (Facts.Mp3EncoderPresent) {
        line(InfoText(IDS_SYS_MP3_FOUND), clBlack);
        if (Facts.Mp3ServerKnown) {
            line(L"    " + Facts.Mp3ServerPath, clOlive);
            line(L"    " + Facts.Mp3ServerVersion, clOlive);
        }
    } else {
        line(InfoText(IDS_SYS_MP3_MISSING), clRed);
    }
    line(L"", clBlack);
    report->SetInsertStyle(false, true);

    line(InfoText(IDS_SYS_SOURCES), clBlue);
    for (const TSystemFacts::TSource& source : Facts.Sources)
        line(source.Name + (source.Checked ? L" +" : L" -"), source.Checked ? clBlack : clRed);
    line(L"", clBlack);
    report->SetInsertStyle(false, true);

    if (!Facts.Plugins.empty()) {
        line(InfoText(IDS_SYS_PLUGINS), clBlue);
        for (const TSystemFacts::TPlugin& plugin : Facts.Plugins)
            line(plugin.DriverName + InfoText(IDS_SYS_PLUGIN_IN) + plugin.FileName, plugin.Enabled ? clBlack : clRed);
    }
}

}  // namespace ui
