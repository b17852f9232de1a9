// The overlay's frame composer: the work picture a frame is copied into (turned and mirrored on the
// way), the overlay font, the two text lines composed from the overlay record, and their drawing
// with a black outline. Pure picture work: it knows nothing of media samples or of threads; its
// owner serialises every call.
#pragma once

#include "filters/dv_codes.h"
#include "classlib/gdi_handles.h"
#include "filters/overlay_picture.h"
#include "filters/overlay_text.h"
#include "settings/overlay_records.h"

#include <optional>
#include <string>

namespace filters {

class TOverlayComposer {
public:
    TOverlayComposer();
    TOverlayComposer(const TOverlayComposer&) = delete;
    TOverlayComposer& operator=(const TOverlayComposer&) = delete;

    // Takes the overlay record: position clamped to 0..1000, font name, size (points; with the
    // automatic size, 28/720 of the picture's width and at least 16 pixels), colour and style.
    void SetRecord(const settings::TincrustRec& rec);
    const settings::TincrustRec& Record() const { return rec_; }
    int XPos() const { return xPos_; }
    int YPos() const { return yPos_; }
    // Absolute font height in pixels.
    int FontHeight() const;

    // Sizes the work picture; false when it cannot be made.
    bool SetFrameSize(int width, int height);
    TRgbPicture& Work() { return work_; }
    const TRgbPicture& Work() const { return work_; }
    // Copies a frame of that layout (turned upside down, mirrored) into the work picture, or into
    // another view of its size: the output buffer, so that a frame is copied only once. False when
    // the buffer is shorter than the layout says or the sizes differ.
    bool LoadFrame(const BYTE* frame, long length, const TFrameLayout& layout, bool turned, bool mirrored);
    bool LoadFrame(const BYTE* frame, long length, const TFrameLayout& layout, bool turned, bool mirrored,
                   const TPictureView& to);

    // Composes the two lines from the record, the frame's DV entry (nullptr: none) and the clock.
    void ComposeLines(const TDVInfoRec* entry);
    const std::wstring& Line1() const { return line1_; }
    const std::wstring& Line2() const { return line2_; }
    // Sets the lines directly (tests and benchmarks).
    void SetLines(const std::wstring& line1, const std::wstring& line2);

    // Draws both lines into the work picture, each placed by the alignment rules: an outline of
    // (2r + 1)² black draws, then the text in its colour. Exactly what GDI gives, in one pass per
    // line when the font allows it. Into the work picture, or into another view of its size (a
    // line that needs GDI then goes through the work picture and the result is copied back).
    void DrawLines();
    void DrawLines(const TPictureView& target);
    // The same drawing through GDI alone, draw by draw.
    void DrawLinesByGdi();
    // Lines drawn the quick way by the last DrawLines (0, 1 or 2).
    int QuickLines() const { return quickLines_; }
    int Learnings() const { return text_.Learnings(); }

private:
    bool UpdateFont();
    template <typename Draw>
    void PlaceLines(Draw&& draw);

    settings::TincrustRec rec_;
    int xPos_ = 900;
    int yPos_ = 900;
    std::wstring fontName_ = L"Arial";
    int fontHeight_ = 28;  // signed as a font height: positive cell height, negative character height
    COLORREF fontColor_ = 0xFFFFFF;
    bool bold_ = true, italic_ = false, underline_ = false, strikeOut_ = false;
    bool fontDirty_ = true;
    std::wstring line1_, line2_;
    int quickLines_ = 0;

    classlib::TOwnedDC dc_;
    classlib::TOwnedFont font_;
    TRgbPicture work_;
    TOutlinedText text_;
    // Declared last: put back before the DC, the font and the picture go.
    std::optional<classlib::TSelectedObject> fontSelection_;
    std::optional<classlib::TSelectedObject> bitmapSelection_;
};

}  // namespace filters
