// Outlined text at the cost of one drawing: the result of drawing a text through GDI in black at
// every offset up to r pixels and then once in its colour, without the (2r + 1)² draws. The text is
// drawn once into a mask; how the system blends each level of glyph coverage into a picture is
// learnt from the system itself, once per font and colour, and checked against its own drawing.
#pragma once

#include "classlib/gdi_handles.h"
#include "filters/overlay_picture.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace filters {

class TOutlinedText {
public:
    static constexpr int kLines = 2;
    // Borders above this many pixels are left to GDI.
    static constexpr int kMaxFastBorder = 16;

    TOutlinedText();
    TOutlinedText(const TOutlinedText&) = delete;
    TOutlinedText& operator=(const TOutlinedText&) = delete;

    // Forgets what was learnt: the font or the colour changed.
    void Forget();
    // Draws text with the top left of its cell at (x, y) into picture: as black at every offset
    // (dx, dy), dy and then dx from -r to r, then in color at (x, y), in the font selected into
    // fontDC. line (0 or 1) keeps each line's mask between frames. False when this cannot give
    // exactly what GDI gives (the caller then draws through GDI); picture is then untouched. The
    // picture may be any view: a bottom-up output buffer too.
    bool Draw(int line, HDC fontDC, const std::wstring& text, int x, int y, int r, COLORREF color,
              const TPictureView& picture);
    // The drawing itself, through GDI: (2r + 1)² black draws, then the text in color at (x, y).
    static void DrawByGdi(HDC dc, const std::wstring& text, int x, int y, int r, COLORREF color);
    // How many times the blending was learnt since the last Forget (for tests and benchmarks).
    int Learnings() const { return learnings_; }

private:
    // The text drawn once in black on white, its top left cell corner at (margin, margin): per
    // pixel and channel the value left, which names the coverage (255: none).
    struct TProbe {
        std::wstring text;
        int width = 0, height = 0, margin = 0;
        std::vector<std::uint8_t> level;  // width * height * 3
        std::vector<std::uint8_t> ink;    // width * height: any coverage
        bool Valid() const { return width > 0; }
    };
    // Operations on the pixels of one placement: constants, and per-pixel chains of table lookups.
    struct TOp {
        std::int32_t x, y;         // picture coordinates
        std::uint32_t start;       // first step in steps (programs)
        std::uint16_t count;       // black steps
        std::uint8_t constant;     // 1: value holds the result
        std::uint8_t hasColor;     // programs: the colour draw covers the pixel
        std::array<std::uint8_t, 3> value;  // constant result, or the colour draw's levels
    };
    struct TPlan {
        std::wstring text;
        int x = 0, y = 0, r = -1, width = 0, height = 0;
        std::uint32_t generation = 0;
        std::vector<TOp> ops;
        std::vector<std::array<std::uint8_t, 3>> steps;
    };

    bool Probe(HDC fontDC, const std::wstring& text, TProbe& probe);
    bool Learn(HDC fontDC, const TProbe& probe, int r, COLORREF color);
    bool Check(HDC fontDC, const TProbe& probe, int r, COLORREF color);
    bool Known(const TProbe& probe) const;
    void BuildPlan(const TProbe& probe, int x, int y, int r, int width, int height, TPlan& plan) const;
    static void Apply(const TPlan& plan, BYTE* bits, std::ptrdiff_t stride, const std::vector<std::uint8_t>& black,
                      const std::vector<std::uint8_t>& colored);
    static std::size_t At(int channel, int level, int value)
    {
        return (static_cast<std::size_t>(channel) * 256 + static_cast<std::size_t>(level)) * 256 +
               static_cast<std::size_t>(value);
    }

    classlib::TOwnedDC dc_;
    TRgbPicture scratch_;
    // Per channel and coverage level, what a black and a coloured draw make of each value.
    std::vector<std::uint8_t> black_, colored_;
    std::vector<std::uint8_t> known_;  // per channel and level
    // Per channel: the value of fully covered pixels after a black draw, -1 when none is known.
    std::array<int, 3> solid_{-1, -1, -1};
    std::vector<std::uint8_t> solidLevel_;  // per channel and level: a black draw gives solid_
    std::vector<std::uint8_t> colorSolid_;  // per channel and level: a coloured draw gives one value
    COLORREF color_ = CLR_INVALID;
    bool usable_ = true;
    int learnings_ = 0;
    std::uint32_t generation_ = 1;
    std::array<TProbe, kLines> probes_;
    std::array<TPlan, kLines> plans_;
};

}  // namespace filters
