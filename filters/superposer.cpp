#include "filters/superposer.h"

#include "classlib/graphics.h"
#include "dshow/ds_helpers.h"
#include "filters/deinterlace.h"
#include "unicode/wide_codecs.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <cwctype>

#include <dvdmedia.h>

using Microsoft::WRL::ComPtr;

namespace filters {

const CLSID CLSID_qz_Superposer = {0xe97f14a9, 0x9eb5, 0x486f, {0x82, 0x35, 0xb2, 0x9f, 0x93, 0x98, 0x34, 0x33}};
const wchar_t kSuperposerFilterName[] = L"Marbrecq qz_Superposer";

namespace {

constexpr double kTwoSeconds = 2.0 / 86400.0;
constexpr int kMaxDimension = 16384;  // larger frames are refused rather than overflow a size

// The bitmap header of a video format block (VIDEOINFOHEADER or VIDEOINFOHEADER2), or nullptr.
const BITMAPINFOHEADER* HeaderOf(const AM_MEDIA_TYPE* mt)
{
    if (mt == nullptr || mt->pbFormat == nullptr) {
        return nullptr;
    }
    if (mt->formattype == FORMAT_VideoInfo && mt->cbFormat >= sizeof(VIDEOINFOHEADER)) {
        return &reinterpret_cast<const VIDEOINFOHEADER*>(mt->pbFormat)->bmiHeader;
    }
    if (mt->formattype == FORMAT_VideoInfo2 && mt->cbFormat >= sizeof(VIDEOINFOHEADER2)) {
        return &reinterpret_cast<const VIDEOINFOHEADER2*>(mt->pbFormat)->bmiHeader;
    }
    return nullptr;
}

bool UsableHeader(const BITMAPINFOHEADER* h)
{
    return h != nullptr && h->biWidth > 0 && h->biWidth <= kMaxDimension && h->biHeight != 0 &&
           h->biHeight >= -kMaxDimension && h->biHeight <= kMaxDimension &&
           h->biBitCount == 24 && h->biCompression == BI_RGB;
}

bool IsRgb24Video(const AM_MEDIA_TYPE* mt)
{
    return mt != nullptr && mt->majortype == MEDIATYPE_Video && mt->subtype == MEDIASUBTYPE_RGB24;
}

// ---- Date-time values -------------------------------------------------------------------------

// Days from 1 January 1970 of a civil date (proleptic Gregorian).
long long DaysFromCivil(long long y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

void CivilFromDays(long long z, long long& y, unsigned& m, unsigned& d)
{
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    y = static_cast<long long>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y += m <= 2;
}

constexpr long long kDaysTo1970 = 25569;  // 30 December 1899 to 1 January 1970

struct TDateParts {
    SYSTEMTIME st{};
    bool valid = false;
};

TDateParts Decode(double value)
{
    TDateParts r;
    if (!std::isfinite(value) || std::fabs(value) > 2958466.0) {  // beyond 31 December 9999
        return r;
    }
    double whole = std::trunc(value);
    long long ms = std::llround(std::fabs(value - whole) * 86400000.0);
    if (ms >= 86400000) {
        ms -= 86400000;
        whole += value < 0 ? -1 : 1;
    }
    long long y = 0;
    unsigned m = 0, d = 0;
    const long long days = static_cast<long long>(whole) - kDaysTo1970;
    CivilFromDays(days, y, m, d);
    if (y < 1 || y > 9999) {
        return r;
    }
    r.st.wYear = static_cast<WORD>(y);
    r.st.wMonth = static_cast<WORD>(m);
    r.st.wDay = static_cast<WORD>(d);
    r.st.wDayOfWeek = static_cast<WORD>(((days % 7) + 11) % 7);  // 1 January 1970 was a Thursday
    r.st.wHour = static_cast<WORD>(ms / 3600000);
    r.st.wMinute = static_cast<WORD>(ms / 60000 % 60);
    r.st.wSecond = static_cast<WORD>(ms / 1000 % 60);
    r.st.wMilliseconds = static_cast<WORD>(ms % 1000);
    r.valid = true;
    return r;
}

std::wstring LocaleText(LCTYPE type)
{
    wchar_t buffer[128];
    const int n = GetLocaleInfoW(LOCALE_USER_DEFAULT, type, buffer, 128);
    return n > 1 ? std::wstring(buffer, static_cast<size_t>(n - 1)) : std::wstring();
}

std::wstring SystemDate(const SYSTEMTIME& st, DWORD flags)
{
    wchar_t buffer[128];
    const int n = GetDateFormatW(LOCALE_USER_DEFAULT, flags, &st, nullptr, buffer, 128);
    return n > 1 ? std::wstring(buffer, static_cast<size_t>(n - 1)) : std::wstring();
}

std::wstring SystemTime(const SYSTEMTIME& st, DWORD flags)
{
    wchar_t buffer[128];
    const int n = GetTimeFormatW(LOCALE_USER_DEFAULT, flags, &st, nullptr, buffer, 128);
    return n > 1 ? std::wstring(buffer, static_cast<size_t>(n - 1)) : std::wstring();
}

std::wstring Number(int value, int digits)
{
    wchar_t buffer[16];
    std::swprintf(buffer, 16, L"%0*d", digits, value);
    return buffer;
}

bool StartsWithNoCase(const std::wstring& s, size_t at, const wchar_t* word)
{
    for (size_t i = 0; word[i] != 0; ++i) {
        if (at + i >= s.size() || std::towlower(s[at + i]) != word[i]) {
            return false;
        }
    }
    return true;
}

}  // namespace

double DateTimeNow()
{
    SYSTEMTIME st{};
    GetLocalTime(&st);
    const long long days = DaysFromCivil(st.wYear, st.wMonth, st.wDay) + kDaysTo1970;
    const double ms = ((st.wHour * 60.0 + st.wMinute) * 60.0 + st.wSecond) * 1000.0 + st.wMilliseconds;
    return static_cast<double>(days) + ms / 86400000.0;
}

std::wstring FormatOverlayDateTime(const std::wstring& format, double value)
{
    if (format.empty()) {
        return {};
    }
    const TDateParts parts = Decode(value);
    if (!parts.valid) {
        return {};
    }
    const SYSTEMTIME& st = parts.st;
    // A 12-hour clock when the format holds an am/pm specifier outside quotes.
    bool twelve = false;
    {
        wchar_t quote = 0;
        for (size_t i = 0; i < format.size(); ++i) {
            if (quote != 0) {
                quote = format[i] == quote ? 0 : quote;
            } else if (format[i] == L'"' || format[i] == L'\'') {
                quote = format[i];
            } else if (StartsWithNoCase(format, i, L"am/pm") || StartsWithNoCase(format, i, L"a/p") ||
                       StartsWithNoCase(format, i, L"ampm")) {
                twelve = true;
            }
        }
    }
    std::wstring out;
    bool afterHour = false;  // an m right after an h specifier means minutes
    size_t i = 0;
    while (i < format.size()) {
        const wchar_t c = format[i];
        const wchar_t lc = static_cast<wchar_t>(std::towlower(c));
        if (c == L'"' || c == L'\'') {
            const size_t end = format.find(c, i + 1);
            const size_t stop = end == std::wstring::npos ? format.size() : end;
            out.append(format, i + 1, stop - i - 1);
            i = stop + 1;
            continue;
        }
        size_t run = 1;
        while (i + run < format.size() && std::towlower(format[i + run]) == lc) {
            ++run;
        }
        if (StartsWithNoCase(format, i, L"am/pm")) {
            out += st.wHour < 12 ? L"am" : L"pm";
            i += 5;
            continue;
        }
        if (StartsWithNoCase(format, i, L"a/p")) {
            out += st.wHour < 12 ? L"a" : L"p";
            i += 3;
            continue;
        }
        if (StartsWithNoCase(format, i, L"ampm")) {
            out += LocaleText(st.wHour < 12 ? LOCALE_S1159 : LOCALE_S2359);
            i += 4;
            continue;
        }
        switch (lc) {
        case L'd': {
            const int day = (st.wDayOfWeek + 6) % 7;  // the locale's names start on Monday
            if (run == 1 || run == 2) {
                out += Number(st.wDay, static_cast<int>(run));
            } else if (run == 3) {
                out += LocaleText(static_cast<LCTYPE>(LOCALE_SABBREVDAYNAME1 + day));
            } else if (run == 4) {
                out += LocaleText(static_cast<LCTYPE>(LOCALE_SDAYNAME1 + day));
            } else if (run == 5) {
                out += SystemDate(st, DATE_SHORTDATE);
            } else {
                out += SystemDate(st, DATE_LONGDATE);
            }
            afterHour = false;
            break;
        }
        case L'm':
            if (afterHour && run <= 2) {
                out += Number(st.wMinute, static_cast<int>(run));
            } else if (run <= 2) {
                out += Number(st.wMonth, static_cast<int>(run));
            } else if (run == 3) {
                out += LocaleText(static_cast<LCTYPE>(LOCALE_SABBREVMONTHNAME1 + st.wMonth - 1));
            } else {
                out += LocaleText(static_cast<LCTYPE>(LOCALE_SMONTHNAME1 + st.wMonth - 1));
            }
            afterHour = false;
            break;
        case L'y':
            out += run <= 2 ? Number(st.wYear % 100, 2) : Number(st.wYear, 4);
            afterHour = false;
            break;
        case L'h': {
            int hour = st.wHour;
            if (twelve) {
                hour = hour % 12 == 0 ? 12 : hour % 12;
            }
            out += Number(hour, run >= 2 ? 2 : 1);
            afterHour = true;
            break;
        }
        case L'n':
            out += Number(st.wMinute, run >= 2 ? 2 : 1);
            afterHour = false;
            break;
        case L's':
            out += Number(st.wSecond, run >= 2 ? 2 : 1);
            afterHour = false;
            break;
        case L'z':
            out += Number(st.wMilliseconds, run >= 3 ? 3 : 1);
            afterHour = false;
            break;
        case L't':
            out += run >= 2 ? SystemTime(st, 0) : SystemTime(st, TIME_NOSECONDS);
            afterHour = false;
            break;
        case L'c':
            out += SystemDate(st, DATE_SHORTDATE);
            if (st.wHour != 0 || st.wMinute != 0 || st.wSecond != 0) {
                out += L' ';
                out += SystemTime(st, 0);
            }
            afterHour = false;
            run = 1;
            break;
        case L'/':
            out += LocaleText(LOCALE_SDATE);
            run = 1;
            break;
        case L':':
            out += LocaleText(LOCALE_STIME);
            run = 1;
            break;
        default:
            out += c;
            run = 1;
            break;
        }
        i += run;
    }
    return out;
}

// ---- Pictures ---------------------------------------------------------------------------------

TRgbPicture::~TRgbPicture()
{
    Free();
}

void TRgbPicture::Free()
{
    if (bitmap_ != nullptr) {
        DeleteObject(bitmap_);
    }
    bitmap_ = nullptr;
    bits_ = nullptr;
    width_ = height_ = stride_ = 0;
}

bool TRgbPicture::SetSize(int width, int height)
{
    if (width == width_ && height == height_ && (bitmap_ != nullptr || width == 0 || height == 0)) {
        return true;
    }
    Free();
    if (width <= 0 || height <= 0) {
        return width >= 0 && height >= 0;
    }
    BITMAPINFO bmi{};
    bmi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bmi.bmiHeader.biWidth = width;
    bmi.bmiHeader.biHeight = -height;  // top row first
    bmi.bmiHeader.biPlanes = 1;
    bmi.bmiHeader.biBitCount = 24;
    bmi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &bmi, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap == nullptr || bits == nullptr) {
        if (bitmap != nullptr) {
            DeleteObject(bitmap);
        }
        return false;
    }
    bitmap_ = bitmap;
    bits_ = static_cast<BYTE*>(bits);
    width_ = width;
    height_ = height;
    stride_ = static_cast<int>(Rgb24Stride(width));
    return true;
}

bool TRgbPicture::Assign(const TRgbPicture& source)
{
    if (!SetSize(source.width_, source.height_)) {
        return false;
    }
    if (bits_ != nullptr) {
        GdiFlush();  // drawing into the source may still be batched
        std::memcpy(bits_, source.bits_, static_cast<size_t>(stride_) * static_cast<size_t>(height_));
    }
    return true;
}

void MirrorRows(TRgbPicture& picture)
{
    if (picture.Height() > 0)
        MirrorRows(picture.ScanLine(0), picture.Width(), picture.Height(), picture.Stride());
}

// ---- The filter -------------------------------------------------------------------------------

Tqz_Superposer::Tqz_Superposer(Tqz_SceneDetect* detector)
    : TBCTransformFilter("Marbrecq qz_Superposer", nullptr, CLSID_qz_Superposer)
{
    rec_ = settings::DefaultIncrustRec();
    fontHeight_ = MulDiv(21, classlib::ScreenPixelsPerInch(), 72);  // Arial size -21: a cell height
    SetSceneDetector(detector);
}

Tqz_Superposer::~Tqz_Superposer()
{
    if (dc_ != nullptr) {
        SelectObject(dc_, oldBitmap_);
        SelectObject(dc_, oldFont_);
        DeleteDC(dc_);
    }
    if (font_ != nullptr) {
        DeleteObject(font_);
    }
}

void Tqz_Superposer::SetSceneDetector(Tqz_SceneDetect* detector)
{
    ComPtr<IBaseFilter> hold;
    if (detector != nullptr) {
        hold = detector->BaseFilterInterface();
    }
    detector_.store(detector);
    detectorHold_ = hold;
}

void Tqz_Superposer::SetIncrustRec(const settings::TincrustRec& rec)
{
    std::lock_guard<std::mutex> lock(canvas_);
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

void Tqz_Superposer::SetDisplayMode(std::uint8_t mode, std::uint32_t seconds)
{
    displayMode_.store(mode);
    displaySeconds_.store(seconds);
    const LONGLONG frameTime = HostFrameTime();
    if (frameTime > 0) {
        // Rounded to the nearest, halves to the even neighbour.
        const double frames = std::nearbyint(static_cast<double>(seconds) * 10000000.0 / static_cast<double>(frameTime));
        displayFrames_.store(static_cast<std::int32_t>(std::min(frames, 2147483647.0)));
    }
    if (mode == 0) {
        RestartCountdown();
    }
}

void Tqz_Superposer::SetOverlayEnabled(bool flag)
{
    overlayEnabled_.store(flag);
    RestartCountdown();
}

void Tqz_Superposer::SetVerticalFlip(bool flag) { verticalFlip_.store(flag); }

void Tqz_Superposer::SetHorizontalFlip(bool flag) { horizontalFlip_.store(flag); }

void Tqz_Superposer::SetSourceInverted(bool flag) { sourceInverted_.store(flag); }

void Tqz_Superposer::StopExtraction() { extractionActive_.store(false, std::memory_order_release); }

void Tqz_Superposer::RequestGrab() { grabRequested_.store(true); }

void Tqz_Superposer::ReleaseSlot(int slot)
{
    if (slot >= 0 && slot < kSuperposerSlots) {
        slotBusy_[static_cast<size_t>(slot)].store(false, std::memory_order_release);
    }
}

bool Tqz_Superposer::SlotBusy(int slot) const
{
    return slot >= 0 && slot < kSuperposerSlots && slotBusy_[static_cast<size_t>(slot)].load(std::memory_order_acquire);
}

void Tqz_Superposer::StartExtraction(std::uint32_t interval)
{
    extractionInterval_.store(static_cast<std::int64_t>(interval));
    nextDue_.store(0);
    extractionActive_.store(true);
}

settings::TincrustRec Tqz_Superposer::IncrustRec()
{
    std::lock_guard<std::mutex> lock(canvas_);
    return rec_;
}

std::pair<std::wstring, std::wstring> Tqz_Superposer::Lines()
{
    std::lock_guard<std::mutex> lock(canvas_);
    return {line1_, line2_};
}

int Tqz_Superposer::XPos()
{
    std::lock_guard<std::mutex> lock(canvas_);
    return xPos_;
}

int Tqz_Superposer::YPos()
{
    std::lock_guard<std::mutex> lock(canvas_);
    return yPos_;
}

int Tqz_Superposer::FontHeight()
{
    std::lock_guard<std::mutex> lock(canvas_);
    return std::abs(fontHeight_);
}

// Media types and buffers.

HRESULT Tqz_Superposer::CheckInputType(const AM_MEDIA_TYPE* mediaType)
{
    if (!IsRgb24Video(mediaType)) {
        return VFW_E_TYPE_NOT_ACCEPTED;
    }
    // A format block without a usable 24-bit picture header would make every frame's size wrong.
    return UsableHeader(HeaderOf(mediaType)) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT Tqz_Superposer::CheckTransform(const AM_MEDIA_TYPE* in, const AM_MEDIA_TYPE* out)
{
    if (in == nullptr || out == nullptr || in->majortype != out->majortype || in->subtype != out->subtype) {
        return VFW_E_TYPE_NOT_ACCEPTED;
    }
    return S_OK;
}

HRESULT Tqz_Superposer::GetMediaType(int position, AM_MEDIA_TYPE* mediaType)
{
    if (position < 0) {
        return E_INVALIDARG;
    }
    if (position > 0) {
        return VFW_S_NO_MORE_ITEMS;
    }
    if (mediaType == nullptr) {
        return E_POINTER;
    }
    GetPin(0);  // the pins exist from here on
    if (InputPin() == nullptr || !InputPin()->IsConnected()) {
        return VFW_E_NOT_CONNECTED;
    }
    dshow::FreeMediaType(*mediaType);
    dshow::CopyMediaType(mediaType, &InputPin()->CurrentMediaType());
    mediaType->majortype = MEDIATYPE_Video;
    mediaType->subtype = MEDIASUBTYPE_RGB24;
    auto* header = const_cast<BITMAPINFOHEADER*>(HeaderOf(mediaType));
    if (header == nullptr) {
        return VFW_E_TYPE_NOT_ACCEPTED;
    }
    // The output is always written bottom-up with rows padded to 4 bytes.
    header->biHeight = std::abs(header->biHeight);
    header->biBitCount = 24;
    header->biSizeImage = static_cast<DWORD>(Rgb24Stride(header->biWidth) * header->biHeight);
    mediaType->lSampleSize = header->biSizeImage;
    mediaType->bFixedSizeSamples = TRUE;
    return S_OK;
}

HRESULT Tqz_Superposer::DecideBufferSize(IMemAllocator* alloc, ALLOCATOR_PROPERTIES* properties)
{
    if (alloc == nullptr || properties == nullptr) {
        return E_POINTER;
    }
    GetPin(0);
    if (InputPin() == nullptr || !InputPin()->IsConnected() || InputPin()->Allocator() == nullptr) {
        return E_UNEXPECTED;
    }
    ALLOCATOR_PROPERTIES inProps{};
    HRESULT hr = InputPin()->Allocator()->GetProperties(&inProps);
    if (FAILED(hr)) {
        return hr;
    }
    // Never below the output picture, whatever the upstream allocator holds.
    long needed = 1;
    if (const BITMAPINFOHEADER* h = HeaderOf(&InputPin()->CurrentMediaType()); UsableHeader(h)) {
        needed = Rgb24Stride(h->biWidth) * std::abs(h->biHeight);
    }
    properties->cBuffers = std::max(1L, inProps.cBuffers);
    properties->cbBuffer = std::max({1L, inProps.cbBuffer, needed});
    properties->cbAlign = std::max(1L, inProps.cbAlign);
    properties->cbPrefix = 0;
    ALLOCATOR_PROPERTIES actual{};
    hr = alloc->SetProperties(properties, &actual);
    if (FAILED(hr)) {
        return hr;
    }
    if (actual.cBuffers < properties->cBuffers || actual.cbBuffer < properties->cbBuffer ||
        actual.cbAlign < properties->cbAlign) {
        return E_FAIL;
    }
    return S_OK;
}

bool Tqz_Superposer::SetupFrame(const BITMAPINFOHEADER& header)
{
    if (!UsableHeader(&header)) {
        return false;
    }
    std::lock_guard<std::mutex> lock(canvas_);
    frameWidth_ = header.biWidth;
    frameHeight_ = std::abs(header.biHeight);
    inputTopDown_ = header.biHeight < 0;
    inputImageSize_ = Rgb24Stride(frameWidth_) * frameHeight_;
    outputImageSize_ = inputImageSize_;
    dibHeader_ = header;
    dibHeader_.biSize = sizeof(BITMAPINFOHEADER);
    dibHeader_.biBitCount = 24;
    dibHeader_.biCompression = BI_RGB;
    dibHeader_.biClrUsed = 0;
    dibHeader_.biSizeImage = static_cast<DWORD>(inputImageSize_);
    if (dc_ == nullptr) {
        dc_ = CreateCompatibleDC(nullptr);
        if (dc_ == nullptr) {
            return false;
        }
        SetBkMode(dc_, TRANSPARENT);  // a clear brush: text without background
        oldFont_ = GetCurrentObject(dc_, OBJ_FONT);
        oldBitmap_ = GetCurrentObject(dc_, OBJ_BITMAP);
    }
    SelectObject(dc_, oldBitmap_);
    if (!work_.SetSize(frameWidth_, frameHeight_)) {
        return false;
    }
    SelectObject(dc_, work_.Handle());
    SetStretchBltMode(dc_, COLORONCOLOR);
    return true;
}

HRESULT Tqz_Superposer::StartStreaming()
{
    RestartCountdown();
    GetPin(0);
    const BITMAPINFOHEADER* header = InputPin() != nullptr ? HeaderOf(&InputPin()->CurrentMediaType()) : nullptr;
    if (header == nullptr) {
        return S_FALSE;
    }
    if (!SetupFrame(*header)) {
        return E_OUTOFMEMORY;
    }
    nextDue_.store(0);
    return TBCTransformFilter::StartStreaming();
}

// Frames.

bool Tqz_Superposer::DrawInput(const BYTE* in, long inLength, bool flipped)
{
    if (dc_ == nullptr || work_.Handle() == nullptr || in == nullptr || inLength < inputImageSize_) {
        return false;  // a short buffer is not read past its end
    }
    BITMAPINFO bmi{};
    bmi.bmiHeader = dibHeader_;
    // Upright is +height for a bottom-up input and -height for a top-down one; flipped turns it.
    bmi.bmiHeader.biHeight = (inputTopDown_ != flipped) ? -frameHeight_ : frameHeight_;
    const int lines = StretchDIBits(dc_, 0, 0, work_.Width(), work_.Height(), 0, 0, frameWidth_, frameHeight_, in,
                                    &bmi, DIB_RGB_COLORS, SRCCOPY);
    GdiFlush();
    return lines != 0 && lines != static_cast<int>(GDI_ERROR);
}

void Tqz_Superposer::WriteOutput(BYTE* out) const
{
    // Bottom-up: the work picture's top row is the output's last row. Both have padded rows.
    const size_t stride = static_cast<size_t>(work_.Stride());
    for (int y = 0; y < work_.Height(); ++y) {
        std::memcpy(out + static_cast<size_t>(work_.Height() - 1 - y) * stride, work_.ScanLine(y), stride);
    }
}

void Tqz_Superposer::DecreaseCountdown()
{
    std::int32_t value = countdown_.load();
    // A restart by the main thread between the load and the store wins.
    while (value > 0 && !countdown_.compare_exchange_weak(value, value - 1)) {
    }
}

void Tqz_Superposer::ComposeLines(const TDVInfoRec* entry)
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

void Tqz_Superposer::UpdateFont()
{
    if (!fontDirty_ && font_ != nullptr) {
        return;
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
        return;  // keep the old font
    }
    SelectObject(dc_, font);
    if (font_ != nullptr) {
        DeleteObject(font_);
    }
    font_ = font;
    fontDirty_ = false;
}

void Tqz_Superposer::DrawOutlined(int x, int y, const std::wstring& text)
{
    const int length = static_cast<int>(text.size());
    const int r = rec_.BorderSize;
    if (r > 0) {
        SetTextColor(dc_, RGB(0, 0, 0));  // the outline is always black
        for (int dy = -r; dy <= r; ++dy) {
            for (int dx = -r; dx <= r; ++dx) {
                TextOutW(dc_, x + dx, y + dy, text.c_str(), length);
            }
        }
    }
    SetTextColor(dc_, fontColor_);
    TextOutW(dc_, x, y, text.c_str(), length);
}

void Tqz_Superposer::DrawLines()
{
    UpdateFont();
    const int w = work_.Width();
    const int h = work_.Height();
    const int f = std::abs(fontHeight_);
    const int baseY = static_cast<int>(static_cast<long long>(h) * yPos_ / 1000);
    const int pointX = static_cast<int>(static_cast<long long>(w) * xPos_ / 1000);
    auto xFor = [&](const std::wstring& text, int& x) {
        SIZE size{};
        GetTextExtentPoint32W(dc_, text.c_str(), static_cast<int>(text.size()), &size);
        const int t = size.cx;
        switch (rec_.Alignement) {
        case 0: x = pointX; return true;
        case 1: x = pointX - t / 2; return true;
        case 2: x = pointX - t; return true;
        case 3: x = (w - t) / 2; return true;
        default: return false;
        }
    };
    int x = 0;
    if (xFor(line1_, x)) {
        DrawOutlined(x, baseY - f, line1_);
    }
    if (xFor(line2_, x)) {
        DrawOutlined(x, baseY, line2_);
    }
    GdiFlush();
}

bool Tqz_Superposer::TakePicture(const BYTE* in, long inLength)
{
    std::int32_t slot = slotIndex_.load() + 1;
    if (slot >= kSuperposerSlots) {
        slot = 0;
    }
    slotIndex_.store(slot);
    if (slotBusy_[static_cast<size_t>(slot)].load(std::memory_order_acquire)) {
        return false;  // the main window still holds that picture: this one is lost
    }
    {
        std::lock_guard<std::mutex> lock(canvas_);
        if (!HostOverlayPreference()) {
            // The work picture does not hold this frame yet: draw it as it leaves the filter, upright
            // (the output is the input, turned when the source delivers upside down).
            if (!DrawInput(in, inLength, sourceInverted_.load())) {
                return false;
            }
        }
        if (!slots_[static_cast<size_t>(slot)].Assign(work_)) {
            return false;
        }
    }
    slotBusy_[static_cast<size_t>(slot)].store(true, std::memory_order_release);
    PostToMainWindow(kWMFrameGrabbed, 0, slot);
    return true;
}

void Tqz_Superposer::Extract(const BYTE* in, long inLength, bool hasTime, REFERENCE_TIME start)
{
    if (extractionActive_.load(std::memory_order_acquire)) {
        const std::int64_t t = (hasTime ? start : 0) / 1000;
        const std::int64_t interval = extractionInterval_.load();
        std::int64_t due = nextDue_.load();
        if (due <= t) {
            due += interval;
            if (due <= t) {
                due = t + interval;  // after a pause: one picture, then the schedule starts again
            }
            nextDue_.store(due);
            if (TakePicture(in, inLength)) {
                grabRequested_.store(false);
            }
        } else {
            const std::int32_t s = static_cast<std::int32_t>((due - t) / 10000);
            if (s != secondsLeft_.load()) {
                secondsLeft_.store(s);
                PostToMainWindow(kWMIntervalometerCount, static_cast<WPARAM>(s), 0);
            }
        }
    }
    if (grabRequested_.exchange(false)) {
        TakePicture(in, inLength);
    }
}

HRESULT Tqz_Superposer::ProcessFrame(const BYTE* in, long inLength, bool hasTime, REFERENCE_TIME start, BYTE* out,
                                     long outSize, long& outLength)
{
    outLength = 0;
    HRESULT result = S_OK;
    if (!HostOverlayPreference()) {
        // A plain copy, turned upside down on the way when the source delivers so (or when the
        // input is top-down: the output is always bottom-up). Padded rows, never past either buffer.
        const long stride = Rgb24Stride(frameWidth_);
        const long size = std::min(inLength, outSize);
        if (sourceInverted_.load() != inputTopDown_) {
            if (size >= inputImageSize_) {
                for (int i = 0; i < frameHeight_; ++i) {
                    std::memcpy(out + static_cast<size_t>(frameHeight_ - 1 - i) * static_cast<size_t>(stride),
                                in + static_cast<size_t>(i) * static_cast<size_t>(stride), static_cast<size_t>(stride));
                }
                outLength = inputImageSize_;
            } else {
                result = S_FALSE;
            }
        } else if (size > 0) {
            std::memcpy(out, in, static_cast<size_t>(size));
            outLength = size;
        }
    } else {
        std::unique_lock<std::mutex> lock(canvas_);
        const bool flipped = verticalFlip_.load() != sourceInverted_.load();
        if (!DrawInput(in, inLength, flipped)) {
            result = S_FALSE;
        } else {
            if (horizontalFlip_.load()) {
                MirrorRows(work_);
            }
            prevRefDate_ = refDate_;
            refDate_ = 0;
            if (rec_.WhatIncrust == 3) {
                refDate_ = DateTimeNow();
            }
            TDVInfoRec entry{};
            bool haveEntry = false;
            if (Tqz_SceneDetect* detector = detector_.load()) {
                prevTapeDate_ = shownTapeDate_;
                const int index = detector->LookupRing(hasTime ? start : 0);
                haveEntry = detector->ReadInfo(index, entry);
                shownTapeDate_ = entry.Date;
                if (rec_.WhatIncrust == 0) {
                    refDate_ = entry.Date;
                }
            }
            bool draw = overlayEnabled_.load();
            const std::uint8_t mode = displayMode_.load();
            if (draw && mode != 0) {
                DecreaseCountdown();
                if (mode == 2 && shownTapeDate_ > 0 &&
                    (shownTapeDate_ - prevTapeDate_ > kTwoSeconds || shownTapeDate_ < prevTapeDate_)) {
                    RestartCountdown();
                } else if (mode == 3 && refDate_ > 0) {
                    const TDateParts now = Decode(refDate_);
                    const TDateParts before = Decode(prevRefDate_);
                    if (now.st.wDay != before.st.wDay || std::fabs(refDate_ - prevRefDate_) > 1.0) {
                        RestartCountdown();
                    }
                }
                draw = countdown_.load() > 0;
            }
            if (draw) {
                ComposeLines(haveEntry ? &entry : nullptr);
                DrawLines();
            }
            if (outSize >= outputImageSize_) {
                WriteOutput(out);
                outLength = outputImageSize_;
            } else {
                result = S_FALSE;  // a garbage frame is not delivered
            }
        }
    }
    Extract(in, inLength, hasTime, start);
    return result;
}

HRESULT Tqz_Superposer::Transform(IMediaSample* in, IMediaSample* out)
{
    REFERENCE_TIME start = 0, stop = 0;
    const bool hasTime = in->GetTime(&start, &stop) == S_OK;
    if (hasTime) {
        out->SetTime(&start, &stop);
    }
    LONGLONG mediaStart = 0, mediaStop = 0;
    if (in->GetMediaTime(&mediaStart, &mediaStop) == S_OK) {
        out->SetMediaTime(&mediaStart, &mediaStop);
    }
    out->SetSyncPoint(in->IsSyncPoint() == S_OK ? TRUE : FALSE);
    out->SetPreroll(in->IsPreroll() == S_OK ? TRUE : FALSE);
    out->SetDiscontinuity(in->IsDiscontinuity() == S_OK ? TRUE : FALSE);
    BYTE* from = nullptr;
    BYTE* to = nullptr;
    if (FAILED(in->GetPointer(&from)) || FAILED(out->GetPointer(&to)) || from == nullptr || to == nullptr) {
        return E_UNEXPECTED;
    }
    const long inLength = std::min(in->GetActualDataLength(), in->GetSize());
    long outLength = 0;
    const HRESULT hr = ProcessFrame(from, inLength, hasTime, start, to, out->GetSize(), outLength);
    out->SetActualDataLength(outLength);
    return hr;
}

}  // namespace filters
