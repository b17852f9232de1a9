#include "settings/overlay_records.h"

#include <algorithm>
#include <cmath>

namespace settings {

const TincrustRec& DefaultIncrustRec() {
    static const TincrustRec rec = [] {
        TincrustRec r;
        r.Incrust1 = L"";
        r.Incrust2 = L"";
        r.FormatDate1 = L"ddddd";
        r.FormatDate2 = L"tt";
        r.DecalageHoraire = 0;
        r.FontRec.Name = L"Arial";
        r.FontRec.Size = 21;
        r.FontRec.Color = 0xFFFFFF;
        r.FontRec.Bold = false;
        r.FontRec.Italic = false;
        r.FontRec.Underline = false;
        r.FontRec.StrikeOut = false;
        r.Autofontsize = true;
        r.BorderSize = 1;
        r.WhatIncrust = 0;
        r.Alignement = 2;
        r.BorderColor = 0;
        r.Xpos = 914;
        r.Ypos = 914;
        return r;
    }();
    return rec;
}

std::int32_t BorderSizeInRange(std::int32_t Size) { return std::clamp<std::int32_t>(Size, 0, kMaxBorderSize); }

TincrustRec DrawableIncrustRec(const TincrustRec& Rec) {
    TincrustRec r = Rec;
    r.BorderSize = BorderSizeInRange(Rec.BorderSize);
    r.FontRec.Size = std::clamp(Rec.FontRec.Size, -kMaxFontSize, kMaxFontSize);
    return r;
}

TincrustRec IncrustRecInRange(const TincrustRec& Rec, const TincrustRec& Default) {
    TincrustRec r = Rec;
    r.BorderSize = BorderSizeInRange(Rec.BorderSize);
    r.Xpos = std::clamp<std::int32_t>(Rec.Xpos, 0, kMaxPosition);
    r.Ypos = std::clamp<std::int32_t>(Rec.Ypos, 0, kMaxPosition);
    if (Rec.FontRec.Size <= 0) r.FontRec.Size = Default.FontRec.Size;
    if (Rec.FontRec.Size > kMaxFontSize) r.FontRec.Size = kMaxFontSize;
    if (Rec.WhatIncrust > kMaxWhatIncrust) r.WhatIncrust = Default.WhatIncrust;
    if (Rec.Alignement > kMaxAlignement) r.Alignement = Default.Alignement;
    r.DecalageHoraire = std::isfinite(Rec.DecalageHoraire)
                            ? std::clamp(Rec.DecalageHoraire, -kMaxTimeShift, kMaxTimeShift)
                            : Default.DecalageHoraire;
    return r;
}

}  // namespace settings
