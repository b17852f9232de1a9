// The pictures of the program's image lists, read from the resources that the build makes from
// the Tango icon theme (ui/pictures.txt): the actions' pictures of the main window (22 x 22), the
// overlay panel's format pictures (20 x 20) and the small glyphs of the panels and camcorder windows.
#pragma once

#include <windows.h>

#include "classlib/image_list.h"

namespace ui {

constexpr int kActionImageSize = 22;
// The image numbers of the actions run from 0 to kActionImageCount - 1.
constexpr int kActionImageCount = 61;

// One strip of pictures in the resources.
enum class TPictureSet {
    psActions,  // ImageList1, by the numbers of the action table
    psFormat,   // the overlay panel's ilFormat
    psSmall,    // glyphs of the panels' speed buttons and of the camcorder windows
};

// The numbers of the overlay panel's pictures.
namespace format_picture {
constexpr int kBold = 0, kItalic = 1, kUnderline = 2, kLeft = 3, kCenter = 4, kRight = 5, kSubtitle = 6,
              kBorder = 7, kRealDate = 8, kDatecode = 9, kTimecode = 10, kPerso = 11, kReset = 12;
constexpr int kCount = 13;
}

// The numbers of the small pictures.
namespace small_picture {
constexpr int kSettings = 0, kRefresh = 1, kFolder = 2, kCamcorder = 3, kShortcutsMarker = 4, kBackFast = 5,
              kBackSlow = 6, kAdvanceSlow = 7, kAdvanceFast = 8, kPlay = 9, kPause = 10, kStop = 11, kVersion = 12,
              kStoreRegistry = 13, kStorePortable = 14, kStoreNone = 15, kEndIsStart = 16, kQuit = 17;
constexpr int kCount = 18;
}

// The size of the pictures of Set (their width and height). Raises classlib::EResNotFound when
// the program carries no such pictures, and EInvalidGraphic when they are not a row of 32-bit squares.
int PictureSize(TPictureSet Set);
// Replaces the pictures of List with those of Set, at their size. Raises as PictureSize.
void FillPictures(classlib::TImageList* List, TPictureSet Set);
// The main window's ImageList1.
inline void FillActionImages(classlib::TImageList* List) { FillPictures(List, TPictureSet::psActions); }
// Picture Index of Set as a new bitmap (owned by the caller) on the button face, whose bottom-left
// pixel is of that colour: a glyph for a button. Raises as PictureSize, or EInvalidGraphic for an
// index out of range.
HBITMAP PictureGlyph(TPictureSet Set, int Index);

}  // namespace ui
