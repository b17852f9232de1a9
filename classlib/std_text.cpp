// Accelerator characters of control texts.
#include "classlib/std_text.h"

#include "classlib/gdi_handles.h"

namespace classlib {

int TextInkSlack(HDC DC, HFONT Font) {
    TSelectedObject font(DC, Font);
    TEXTMETRICA metrics{};
    if (!GetTextMetricsA(DC, &metrics)) return 1;
    return metrics.tmAveCharWidth / 2 + 1;
}

char AccelChar(const std::string& Text) {
    for (size_t i = 0; i + 1 < Text.size(); ++i) {
        if (Text[i] != '&') continue;
        if (Text[i + 1] == '&') {
            ++i;  // "&&" is a plain ampersand
            continue;
        }
        return Text[i + 1];
    }
    return 0;
}

bool IsAccel(WPARAM Key, const std::string& Text) {
    char a = AccelChar(Text);
    if (a == 0 || Key == 0 || Key > 0xFF) return false;
    char k = static_cast<char>(Key);
    return CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, &a, 1, &k, 1) == CSTR_EQUAL;
}

}  // namespace classlib
