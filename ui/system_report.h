// The system report of the help panel: what the program found on this computer (Windows and
// DirectX versions, the Windows Media profile manager and writer, the DivX and MP3 encoders, the
// capture sources and plug-ins), gathered by the main window and written line by line, in colours,
// into the panel.
#pragma once

#include <string>
#include <vector>

namespace ui {

class THelpFrame;

struct TSystemFacts {
    std::wstring WindowsVersion;
    std::wstring DirectXVersion;
    // Windows Media recording needs both: the profile manager (made at start) and the ASF writer.
    bool WindowsMediaFound = false;
    bool WindowsMediaWriterFound = false;
    bool DivxAvailable = false;
    std::vector<std::wstring> DivxEncoders;
    bool Mp3EncoderPresent = false;
    // The encoder's server as the classes key names it; Mp3ServerKnown false without that key.
    bool Mp3ServerKnown = false;
    std::wstring Mp3ServerPath;
    // "FileVersion = ..." of the server, or the text that there is none.
    std::wstring Mp3ServerVersion;
    struct TSource {
        std::wstring Name;
        bool Checked = true;
    };
    std::vector<TSource> Sources;
    struct TPlugin {
        std::wstring DriverName;
        std::wstring FileName;  // without its folder
        bool Enabled = true;
    };
    std::vector<TPlugin> Plugins;
};

// The MP3 encoder's class as the report looks it up.
inline constexpr wchar_t kMp3EncoderServerKey[] = L"CLSID\\{B8D27088-FF5F-4B7C-98DC-0E91A1696286}\\InprocServer32";

// Whether the Windows Media ASF writer filter can be made here (its class is registered and
// loads); Wine has none.
bool WindowsMediaWriterInstalled();

// Reads the encoder's server path from the classes root (without creating anything) and the file
// version of that server; false when the key is not there.
bool ReadMp3EncoderServer(std::wstring& Path, std::wstring& Version);

// Rebuilds the report and its mail copy in the panel.
void WriteSystemReport(THelpFrame& Frame, const TSystemFacts& Facts);

}  // namespace ui
