// Quillotrane's entry point. For now the program runs its start-up initialisation (platform flags,
// default code page, locale formats) and exits cleanly; the windows come with the later layers.
#include <windows.h>

#include "classlib/format.h"
#include "unicode/wide_platform.h"

int WINAPI wWinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, PWSTR /*commandLine*/, int /*showCommand*/)
{
    try {
        unicode::InitializeWidePlatform();
        classlib::LoadFormatSettingsFromLocale();
    } catch (...) {
        return 1;
    }
    return 0;
}
