// The overlay and font records: plain values shared by the settings store (which keeps them field
// by field), the overlay filter and the overlay panel. No storage code here.
#pragma once

#include <cstdint>
#include <string>

namespace settings {

struct TfontRecord {
    std::wstring Name;
    std::int32_t Size = 0;
    std::int32_t Color = 0;  // 0x00BBGGRR
    bool Bold = false;
    bool Italic = false;
    bool Underline = false;
    bool StrikeOut = false;
    bool operator==(const TfontRecord&) const = default;
};

// The overlay record, shared with the overlay filter and the overlay panel.
struct TincrustRec {
    std::wstring Incrust1;
    std::wstring Incrust2;
    std::wstring FormatDate1;
    std::wstring FormatDate2;
    double DecalageHoraire = 0;  // stored as "Decalage Horaire": time shift in days
    TfontRecord FontRec;
    bool Autofontsize = false;
    std::int32_t BorderSize = 0;
    std::uint8_t WhatIncrust = 0;  // stored as "What Incrust"
    std::uint8_t Alignement = 0;
    std::int32_t BorderColor = 0;
    std::int32_t Xpos = 0;
    std::int32_t Ypos = 0;
    bool operator==(const TincrustRec&) const = default;
};

// The program's default overlay record (Arial 21 white, "ddddd"/"tt", border 1, 914/914, ...).
const TincrustRec& DefaultIncrustRec();

// The ranges of the record's fields, as the overlay panel offers them.
constexpr std::int32_t kMaxBorderSize = 5;  // "No border" to "5 pixels"
// The panel lists sizes up to 72 and takes any typed size above 0; beyond 500 points (667 pixels
// at 96 dpi, more than half a full-HD picture's height) a line no longer fits a picture.
constexpr std::int32_t kMaxFontSize = 500;
constexpr std::int32_t kMaxPosition = 1000;       // per mille of the picture's width or height
constexpr std::uint8_t kMaxWhatIncrust = 3;       // DV date, timecode, own texts, clock
constexpr std::uint8_t kMaxAlignement = 3;        // left, centred, right, subtitle
// Days between the first and the last date a date-time holds (1 January 1 to 31 December 9999).
constexpr double kMaxTimeShift = 3652059.0;

// The border as drawn: Size brought into 0..kMaxBorderSize. The outline costs (2r + 1)² draws of
// the text, so a border from a store is never used as it stands.
std::int32_t BorderSizeInRange(std::int32_t Size);

// Rec as the overlay filter draws it: the border in 0..kMaxBorderSize, the font size within
// kMaxFontSize either side of 0 (a negative size is a height in pixels); the rest as given.
TincrustRec DrawableIncrustRec(const TincrustRec& Rec);

// Rec with every field in its range: a quantity beyond its range takes the nearest bound (border,
// position, font size above kMaxFontSize, time shift); a choice outside its list, a font size of 0
// or less, a time shift that is no number take the field of Default. Texts, colours and flags are
// kept as they are.
TincrustRec IncrustRecInRange(const TincrustRec& Rec, const TincrustRec& Default = DefaultIncrustRec());

}  // namespace settings
