// Test helper: walks a window's controls and finds the captions that do not fit their controls at
// the screen's resolution (the text's extent in the control's font against the room the control
// draws it in), the buttons and tool buttons that show neither a caption nor a picture, and the bit
// and speed buttons that show a caption without a picture.
#pragma once

#include <string>
#include <vector>

#include "classlib/controls.h"
#include "classlib/image_list.h"

namespace quill_test {

class TCaptionFit {
public:
    // Checks Control and every control inside it, shown or hidden (a hidden control shows in
    // another state of the window); Where names the window in the problems.
    void Walk(classlib::TControl* Control, const std::wstring& Where);

    // One line per problem: where, the control's name and class, its text, what it needs and has.
    std::vector<std::string> Problems;
    // Captions measured and buttons that show a picture: what the walk saw.
    int Captions = 0;
    int Pictures = 0;

private:
    void Check(classlib::TControl* Control, const std::wstring& Path);
    void Report(const std::wstring& Path, classlib::TControl* Control, const std::wstring& Text, SIZE Need, SIZE Room);
    void Blank(const std::wstring& Path, classlib::TControl* Control);
    void TextOnly(const std::wstring& Path, classlib::TControl* Control, const std::wstring& Text);
    // Text's extent in Control's font; Width > 0 breaks the lines at that width.
    SIZE Extent(classlib::TControl* Control, const std::wstring& Text, UINT Flags, int Width = 0);
    // Glyph and caption side by side (Horizontal) or above each other, Spacing apart, within Room.
    void CheckGlyphAndText(const std::wstring& Path, classlib::TControl* Control, SIZE Glyph, const std::wstring& Text,
                           bool Horizontal, int Spacing, SIZE Room, int Extra = 0);
    // A speed or bit button of the class library: its glyph (or caption) laid out within Room.
    template <typename TGlyphButton>
    void CheckGlyphButton(const std::wstring& Path, TGlyphButton* Button, const std::wstring& Text, SIZE Room);
};

// Whether image Index of Images exists and shows something (pixels other than its background).
bool PictureShown(classlib::TCustomImageList* Images, int Index);
// Whether a glyph bitmap shows something besides the colour of its bottom-left pixel.
bool GlyphShown(HBITMAP Glyph);

}  // namespace quill_test
