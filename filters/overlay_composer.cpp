#include "filters/overlay_composer.h"

#include "classlib/graphics.h"
#include "filters/overlay_dates.h"
#include "unicode/wide_codecs.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cwchar>

namespace filters {

TOverlayComposer::TOverlayComposer()
{
    rec_ = settings::DefaultIncrustRec();
    fontHeight_ = MulDiv(21, classlib::ScreenPixelsPerInch(), 72);  // Arial size -21: a cell height
    dc_.Reset(CreateCompatibleDC(nullptr));
    if (dc_) {
        SetBkMode(dc_.Get(), TRANSPARENT);  // a clear brush: text without background
    }
}

void TOverlayComposer::SetRecord(const settings::TincrustRec& rec)
{
    rec_ = rec;
    xPos_ = std::clamp<std::int32_t>(rec.Xpos, 0, 1000);
    yPos_ = std::clamp<std::int32_t>(rec.Ypos, 0, 1000);
    fontName_ = rec.FontRec.Name;
    // A size in points; a negative one is a cell height (the usual font sign rules).
    fontHeight_ = -MulDiv(rec.FontRec.Size, classlib::ScreenPixelsPerInch(), 72);
    if (rec.Autofontsize) {
        fontHeight_ = std::max(16, work_.Width() * 28 / 720);
    }
    fontColor_ = static_cast<COLORREF>(rec.FontRec.Color) & 0xFFFFFF;
    bold_ = rec.FontRec.Bold;
    italic_ = rec.FontRec.Italic;
    underline_ = rec.FontRec.Underline;
    strikeOut_ = rec.FontRec.StrikeOut;
    fontDirty_ = true;
}

int TOverlayComposer::FontHeight() const
{
    return std::abs(fontHeight_);
}

bool TOverlayComposer::SetFrameSize(int width, int height)
{
    if (!dc_) {
        return false;
    }
    if (width == work_.Width() && height == work_.Height() && work_.Handle() != nullptr) {
        return true;
    }
    bitmapSelection_.reset();  // a picture is never resized while selected
    if (!work_.SetSize(width, height)) {
        return false;
    }
    bitmapSelection_.emplace(dc_.Get(), work_.Handle());
    SetStretchBltMode(dc_.Get(), COLORONCOLOR);
    return true;
}

bool TOverlayComposer::LoadFrame(const BYTE* frame, long length, const TFrameLayout& layout, bool turned, bool mirrored)
{
    return LoadFrame(frame, length, layout, turned, mirrored, work_.View());
}

bool TOverlayComposer::LoadFrame(const BYTE* frame, long length, const TFrameLayout& layout, bool turned, bool mirrored,
                                 const TPictureView& to)
{
    if (frame == nullptr || to.top == nullptr || layout.width != to.width || layout.height != to.height ||
        length < layout.ImageSize()) {
        return false;  // a short buffer is not read past its end
    }
    GdiFlush();  // text of the last frame may still be queued for the picture
    CopyFrame(frame, layout, turned, mirrored, to);
    return true;
}

void TOverlayComposer::ComposeLines(const TDVInfoRec* entry)
{
    static const std::wstring kNA = L"N/A";
    const double shift = rec_.DecalageHoraire;
    std::wstring a1 = kNA, a2 = kNA, tc = kNA;
    if (entry != nullptr && entry->DateValid) {
        a1 = FormatOverlayDateTime(rec_.FormatDate1, entry->Date + shift);
        a2 = FormatOverlayDateTime(rec_.FormatDate2, entry->Date + shift);
    }
    if (entry != nullptr && entry->TimecodeValid) {
        wchar_t buffer[48];
        std::swprintf(buffer, 48, L"%d:%.2d:%.2d:%.2d", static_cast<int>(static_cast<std::int8_t>(entry->Timecode.Hours)),
                      entry->Timecode.Minutes, entry->Timecode.Seconds, entry->Timecode.Frames);
        tc = buffer;
    }
    auto clock = [&](const std::wstring& format) { return FormatOverlayDateTime(format, DateTimeNow() + shift); };
    auto replace = [](const std::wstring& s, const wchar_t* pattern, const std::wstring& with) {
        return unicode::WideStringReplace(s, pattern, with, unicode::rfReplaceAll | unicode::rfIgnoreCase, false);
    };
    switch (rec_.WhatIncrust) {
    case 0:
        line1_ = a1;
        line2_ = a2;
        break;
    case 1:
        line1_.clear();
        line2_ = tc;
        break;
    case 2:
        line1_ = replace(replace(replace(rec_.Incrust1, L"%D", a1), L"%T", tc), L"%R", clock(rec_.FormatDate1));
        line2_ = replace(replace(replace(rec_.Incrust2, L"%D", a2), L"%T", tc), L"%R", clock(rec_.FormatDate2));
        break;
    case 3:
        line1_ = clock(rec_.FormatDate1);
        line2_ = clock(rec_.FormatDate2);
        break;
    default:
        line1_.clear();
        line2_.clear();
        break;
    }
}

void TOverlayComposer::SetLines(const std::wstring& line1, const std::wstring& line2)
{
    line1_ = line1;
    line2_ = line2;
}

bool TOverlayComposer::UpdateFont()
{
    if (!dc_) {
        return false;
    }
    if (!fontDirty_ && font_) {
        return true;
    }
    LOGFONTW lf{};
    lf.lfHeight = fontHeight_;
    lf.lfWeight = bold_ ? FW_BOLD : FW_NORMAL;
    lf.lfItalic = italic_ ? TRUE : FALSE;
    lf.lfUnderline = underline_ ? TRUE : FALSE;
    lf.lfStrikeOut = strikeOut_ ? TRUE : FALSE;
    lf.lfCharSet = DEFAULT_CHARSET;
    lf.lfOutPrecision = OUT_DEFAULT_PRECIS;
    lf.lfClipPrecision = CLIP_DEFAULT_PRECIS;
    lf.lfQuality = DEFAULT_QUALITY;
    lf.lfPitchAndFamily = DEFAULT_PITCH;
    const size_t n = std::min<size_t>(fontName_.size(), LF_FACESIZE - 1);
    std::wmemcpy(lf.lfFaceName, fontName_.c_str(), n);
    lf.lfFaceName[n] = 0;
    HFONT font = CreateFontIndirectW(&lf);
    if (font == nullptr) {
        return font_ ? true : false;  // keep the old font
    }
    fontSelection_.reset();  // the old font back in the DC first: it can go now
    fontSelection_.emplace(dc_.Get(), font);
    font_.Reset(font);
    fontDirty_ = false;
    text_.Forget();  // what was learnt of the old font's blending does not hold for the new one
    return true;
}

template <typename Draw>
void TOverlayComposer::PlaceLines(Draw&& draw)
{
    if (!UpdateFont() || work_.Handle() == nullptr) {
        return;
    }
    const int w = work_.Width();
    const int h = work_.Height();
    const int f = std::abs(fontHeight_);
    const int baseY = static_cast<int>(static_cast<long long>(h) * yPos_ / 1000);
    const int pointX = static_cast<int>(static_cast<long long>(w) * xPos_ / 1000);
    auto place = [&](int line, const std::wstring& text, int y) {
        SIZE size{};
        GetTextExtentPoint32W(dc_.Get(), text.c_str(), static_cast<int>(text.size()), &size);
        const int t = size.cx;
        switch (rec_.Alignement) {
        case 0: draw(line, text, pointX, y); break;
        case 1: draw(line, text, pointX - t / 2, y); break;
        case 2: draw(line, text, pointX - t, y); break;
        case 3: draw(line, text, (w - t) / 2, y); break;
        default: break;  // any other alignment draws nothing
        }
    };
    place(0, line1_, baseY - f);
    place(1, line2_, baseY);
    GdiFlush();
}

void TOverlayComposer::DrawLines()
{
    DrawLines(work_.View());
}

void TOverlayComposer::DrawLines(const TPictureView& target)
{
    quickLines_ = 0;
    if (target.width != work_.Width() || target.height != work_.Height()) {
        return;
    }
    const TPictureView work = work_.View();
    TPictureView into = target;
    bool throughWork = false;
    PlaceLines([&](int line, const std::wstring& text, int x, int y) {
        if (text_.Draw(line, dc_.Get(), text, x, y, rec_.BorderSize, fontColor_, into)) {
            ++quickLines_;
            return;
        }
        if (into.top != work.top) {
            // GDI draws only into the work picture: the frame goes there and comes back at the end.
            GdiFlush();
            CopyPixels(target, work);
            into = work;
            throughWork = true;
        }
        TOutlinedText::DrawByGdi(dc_.Get(), text, x, y, rec_.BorderSize, fontColor_);
    });
    if (throughWork) {
        GdiFlush();
        CopyPixels(work, target);
    }
}

void TOverlayComposer::DrawLinesByGdi()
{
    quickLines_ = 0;
    PlaceLines([this](int, const std::wstring& text, int x, int y) {
        TOutlinedText::DrawByGdi(dc_.Get(), text, x, y, rec_.BorderSize, fontColor_);
    });
}

}  // namespace filters
