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

}  // namespace settings
