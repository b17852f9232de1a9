// The kit's shared drawing and window routines: resource bitmaps, embossed disabled images,
// transparent copies, a parent's image under a transparent control, rectangle helpers, screen
// centring, taking a queued message back and the active-window test.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <string>
#include <vector>

#include "classlib/controls.h"
#include "classlib/gdi_handles.h"
#include "classlib/graphics.h"

namespace widgets::kit {

// The system has the new-style shell and controls (Windows 95 and NT 4 on). It follows the class
// library's flag, which tests lower to take the branches of the older systems.
bool NewStyleShell();

// The system's combo-box arrow bitmap (OBM_COMBO, declared by windows.h only with OEMRESOURCE).
constexpr int kObmCombo = 32738;

// A bitmap resource of Module by name; with Module nullptr the system's predefined bitmap of
// that number (OBM_COMBO, ...). Raises EResNotFound "Resource %s not found" with the name or the
// decimal number.
classlib::TOwnedBitmap LoadResBitmap(HMODULE Module, const std::wstring& Name);
classlib::TOwnedBitmap LoadResBitmap(HMODULE Module, int Id);

// The pixel size of a bitmap ({0, 0} for none).
SIZE BitmapSize(HBITMAP Bitmap);
// The colour of a bitmap's bottom-left pixel (a glyph's transparent colour by default).
classlib::TColor BottomLeftColor(HBITMAP Bitmap);
// A copy of a bitmap as a 24-bit screen-compatible bitmap.
classlib::TOwnedBitmap CopyBitmap(HBITMAP Bitmap);

// A bitmap as the bytes of a .bmp file (24 bits a pixel), and back. Reading checks every size
// against the bytes there are and raises EReadError "Bitmap image is not valid" for anything else.
std::vector<std::uint8_t> BitmapToBmpBytes(HBITMAP Bitmap);
classlib::TOwnedBitmap BitmapFromBmpBytes(const std::uint8_t* Data, size_t Size);

// A bitmap of the source's size filled with Back, where the source's pixels of colour Outline are
// stamped in Highlight one pixel right and down (when DrawHighlight) and then in Shadow.
classlib::TOwnedBitmap MakeDisabledBitmap(HBITMAP Source, classlib::TColor Outline, classlib::TColor Back,
                                          classlib::TColor Highlight, classlib::TColor Shadow, bool DrawHighlight);
// Button face, highlight and shadow, with the highlight.
classlib::TOwnedBitmap MakeDisabledBitmapStd(HBITMAP Source, classlib::TColor Outline);
// Draws image Index's mask embossed the same way.
void PaintImageDisabled(HIMAGELIST Images, classlib::TCanvas* Canvas, int X, int Y, int Index,
                        classlib::TColor Highlight, classlib::TColor Grey, bool DrawHighlight);

// Copies SourceRect of Source into DestRect of Dest leaving out the pixels of TransparentColor
// (a mask of that colour, inverted; the source ANDed in, the destination ORed).
void StretchTransparent(HDC Dest, const RECT& DestRect, HDC Source, const RECT& SourceRect, HPALETTE Palette,
                        COLORREF TransparentColor);
// Draws SourceRect of Bitmap at X, Y in Width x Height (the bitmap's size when below 1); clNone
// copies plainly with the canvas's copy mode, clDefault takes the bottom-left pixel's colour and a
// monochrome bitmap uses white.
void PaintBitmapTransparentPart(classlib::TCanvas* Canvas, int X, int Y, int Width, int Height,
                                const RECT& SourceRect, HBITMAP Bitmap, classlib::TColor TransparentColor);
void PaintBitmapTransparent(classlib::TCanvas* Canvas, int X, int Y, HBITMAP Bitmap,
                            classlib::TColor TransparentColor);
// Paints into Dest what lies under Control: its parent's background and own painting (not its
// other controls), then the visible graphic siblings placed before it that overlap it.
void DrawParentImage(classlib::TControl* Control, classlib::TCanvas* Dest);

int WidthOfRect(const RECT& R);
int HeightOfRect(const RECT& R);
// Edges included.
bool PointInRectInclusive(POINT P, const RECT& R);
// Moves the rectangle back onto the screen where it runs off it.
void KeepRectOnScreen(RECT& R);
// Centres the window on the primary screen without resizing, re-ordering or activating it.
void CenterWindowOnScreen(HWND Window);
// Removes one queued message Msg of Window; a quit message taken that way is posted again.
void RemovePendingMessage(HWND Window, UINT Msg);
// The active window is a top-level window of the calling thread.
bool ThreadOwnsActiveWindow();
// Pastes the clipboard's text into a multi-line edit that holds one line (the kit's edits are
// multi-line only for their text rectangle) as a single-line edit would: up to its first line
// break. A read-only edit takes nothing.
void PasteOneLine(HWND Edit);
// A colour for palettes: its RGB value with the palette-relative flag.
COLORREF PaletteColor(classlib::TColor Color);

}  // namespace widgets::kit
