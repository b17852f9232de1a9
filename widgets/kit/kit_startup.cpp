#include "widgets/kit/kit_startup.h"

#include "widgets/kit/date_util.h"
#include "widgets/kit/kit_timer.h"

namespace widgets::kit {

namespace {

bool gStarted = false;
TRichEditState gRichEdit;
HCURSOR gCursors[2] = {nullptr, nullptr};

// Very old systems answered small numbers instead of a null handle on failure.
HMODULE LoadQuietly(const std::wstring& Name) {
    HMODULE h = LoadLibraryW(Name.c_str());
    if (reinterpret_cast<UINT_PTR>(h) < 32) return nullptr;
    return h;
}

}  // namespace

TRichEditState LoadRichEditLibrary(const std::wstring& Version2Library, const std::wstring& Version1Library) {
    TRichEditState state;
    UINT oldMode = SetErrorMode(SEM_NOOPENFILEERRORBOX);
    state.Library = LoadQuietly(Version2Library);
    if (state.Library != nullptr) {
        state.Version = 2;
        OSVERSIONINFOA info{};
        info.dwOSVersionInfoSize = sizeof(info);  // 148 bytes
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
        if (GetVersionExA(&info) && info.dwPlatformId == VER_PLATFORM_WIN32_NT && info.dwMajorVersion >= 5)
            state.Version = 3;
#pragma GCC diagnostic pop
    } else {
        state.Library = LoadQuietly(Version1Library);
    }
    SetErrorMode(oldMode);
    state.CFEmbeddedObject = RegisterClipboardFormatW(L"Embedded Object");
    state.CFLinkSource = RegisterClipboardFormatW(L"Link Source");
    state.CFRtf = RegisterClipboardFormatW(L"Rich Text Format");
    state.CFRtfNoObjects = RegisterClipboardFormatW(L"Rich Text Format Without Objects");
    return state;
}

void InitializeKit() {
    if (gStarted) return;
    gStarted = true;
    HMODULE program = GetModuleHandleW(nullptr);
    gCursors[0] = LoadCursorW(program, L"KIT_HANDCUR");
    gCursors[1] = LoadCursorW(program, L"KIT_DRAGCUR");
    classlib::SetCursorHandle(crKitHand, gCursors[0]);
    classlib::SetCursorHandle(crKitDrag, gCursors[1]);
    gRichEdit = LoadRichEditLibrary(L"RICHED20.DLL", L"RICHED32.DLL");
    InitializeDateUtil();
    RegisterKitTimerProperties();
}

void FinalizeKit() {
    if (!gStarted) return;
    gStarted = false;
    if (gRichEdit.Library != nullptr) FreeLibrary(gRichEdit.Library);
    gRichEdit = TRichEditState();
    classlib::SetCursorHandle(crKitHand, nullptr);
    classlib::SetCursorHandle(crKitDrag, nullptr);
    // Cursors loaded from resources are shared and never destroyed.
    gCursors[0] = gCursors[1] = nullptr;
}

const TRichEditState& RichEditState() { return gRichEdit; }

int RichEditVersion() { return gRichEdit.Version; }

}  // namespace widgets::kit
