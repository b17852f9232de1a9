// The pictures of the main window's image list (22 x 22), drawn by the program itself: a coloured
// tile with a short sign per image number that the actions and buttons use.
#pragma once

#include "classlib/image_list.h"

namespace ui {

constexpr int kActionImageSize = 22;
// The image numbers run from 0 to kActionImageCount - 1.
constexpr int kActionImageCount = 61;

// Replaces the pictures of List (22 x 22) with the program's.
void FillActionImages(classlib::TImageList* List);

}  // namespace ui
