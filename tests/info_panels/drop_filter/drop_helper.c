/* A library that the dropped test filter library needs beside it: found only through the folder
   the help panel adds to "path" while it registers the filter library. */
#include <windows.h>

__declspec(dllexport) const wchar_t* QuillDropHelperName(void) { return L"Quillotrane Dropped Test Filter"; }
