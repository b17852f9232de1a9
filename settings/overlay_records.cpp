#include "settings/overlay_records.h"

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

}  // namespace settings
