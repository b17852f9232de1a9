// Quillotrane's entry point. For now the program starts and exits cleanly.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, PWSTR /*commandLine*/, int /*showCommand*/)
{
    return 0;
}
