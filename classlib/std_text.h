// What the standard controls share about their texts: alignments, accelerator characters, ANSI
// drawing and the notification code of a reflected command.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "classlib/hidden_window.h"

namespace classlib {

enum class TAlignment { taLeftJustify, taRightJustify, taCenter };
enum class TLeftRight { taLeftJustify, taRightJustify };

// The character that makes Text an accelerator: the one after a single "&" ("&&" is a plain
// ampersand); 0 when there is none.
char AccelChar(const std::string& Text);
// True when Key is the accelerator of Text (compared without case in the user's locale).
bool IsAccel(WPARAM Key, const std::string& Text);
// Draws (or with DT_CALCRECT measures) ANSI text into Rect.
inline int DrawTextAnsi(HDC DC, const std::string& Text, RECT& Rect, UINT Flags) {
    return DrawTextA(DC, Text.c_str(), static_cast<int>(Text.size()), &Rect, Flags);
}

// How far past its reported width a text in Font may ink: Wine's stand-in for "MS Sans Serif"
// places its glyphs at fractional positions but reports whole widths, so a long text runs a few
// pixels further than measured. Half an average character, plus one.
int TextInkSlack(HDC DC, HFONT Font);

// The notification code of a WM_COMMAND (or CN_COMMAND) message.
inline WORD NotifyCode(const TMessage& Message) { return HIWORD(Message.WParam); }

}  // namespace classlib
