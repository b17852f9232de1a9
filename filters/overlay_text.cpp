#include "filters/overlay_text.h"

#include <algorithm>
#include <cstring>

namespace filters {

namespace {

constexpr int kMaxProbePixels = 4 << 20;  // texts with a larger mask are left to GDI
constexpr int kMaxLearnings = 64;         // a font that keeps showing new levels is left to GDI
constexpr int kNone = 255;                // the level of a pixel the text does not cover

void Fill(TRgbPicture& picture, BYTE value)
{
    GdiFlush();
    std::memset(picture.ScanLine(0), value, static_cast<size_t>(picture.Stride()) * static_cast<size_t>(picture.Height()));
}

}  // namespace

TOutlinedText::TOutlinedText()
    : black_(3 * 256 * 256), colored_(3 * 256 * 256), known_(3 * 256), solidLevel_(3 * 256), colorSolid_(3 * 256)
{
    Forget();
}

void TOutlinedText::Forget()
{
    std::fill(known_.begin(), known_.end(), 0);
    std::fill(solidLevel_.begin(), solidLevel_.end(), 0);
    std::fill(colorSolid_.begin(), colorSolid_.end(), 0);
    for (int ch = 0; ch < 3; ++ch) {
        // No coverage leaves every value as it is.
        for (int v = 0; v < 256; ++v) {
            black_[At(ch, kNone, v)] = colored_[At(ch, kNone, v)] = static_cast<std::uint8_t>(v);
        }
        known_[static_cast<size_t>(ch) * 256 + kNone] = 1;
    }
    solid_ = {-1, -1, -1};
    color_ = CLR_INVALID;
    usable_ = true;
    learnings_ = 0;
    ++generation_;
    probes_ = {};
    plans_ = {};
}

void TOutlinedText::DrawByGdi(HDC dc, const std::wstring& text, int x, int y, int r, COLORREF color)
{
    const int length = static_cast<int>(text.size());
    if (r > 0) {
        SetTextColor(dc, RGB(0, 0, 0));  // the outline is always black
        for (int dy = -r; dy <= r; ++dy) {
            for (int dx = -r; dx <= r; ++dx) {
                TextOutW(dc, x + dx, y + dy, text.c_str(), length);
            }
        }
    }
    SetTextColor(dc, color);
    TextOutW(dc, x, y, text.c_str(), length);
}

bool TOutlinedText::Probe(HDC fontDC, const std::wstring& text, TProbe& probe)
{
    probe = {};
    classlib::TSelectedObject font(dc_.Get(), GetCurrentObject(fontDC, OBJ_FONT));
    SIZE size{};
    TEXTMETRICW metrics{};
    const int length = static_cast<int>(text.size());
    if (!GetTextExtentPoint32W(dc_.Get(), text.c_str(), length, &size) || !GetTextMetricsW(dc_.Get(), &metrics)) {
        return false;
    }
    // Ink may stand past the measured cell (italics, overhangs): a margin of a cell height and a
    // widest character on every side, and a probe whose ink reaches its edge is not trusted.
    const int cell = std::max<int>(size.cy, metrics.tmHeight);
    const int margin = std::max({8, cell, static_cast<int>(metrics.tmMaxCharWidth)});
    const long long width = static_cast<long long>(size.cx) + 2LL * margin;
    const long long height = static_cast<long long>(cell) + 2LL * margin;
    if (width * height > kMaxProbePixels) {
        return false;
    }
    if (!scratch_.SetSize(static_cast<int>(width), static_cast<int>(height))) {
        return false;
    }
    classlib::TSelectedObject bitmap(dc_.Get(), scratch_.Handle());
    Fill(scratch_, 255);
    SetTextColor(dc_.Get(), RGB(0, 0, 0));
    TextOutW(dc_.Get(), margin, margin, text.c_str(), length);
    GdiFlush();
    probe.width = static_cast<int>(width);
    probe.height = static_cast<int>(height);
    probe.margin = margin;
    probe.level.resize(static_cast<size_t>(width * height * 3));
    probe.ink.resize(static_cast<size_t>(width * height));
    for (int y = 0; y < probe.height; ++y) {
        const BYTE* row = scratch_.ScanLine(y);
        std::memcpy(&probe.level[static_cast<size_t>(y) * probe.width * 3], row, static_cast<size_t>(probe.width) * 3);
        for (int x = 0; x < probe.width; ++x) {
            const bool ink = row[x * 3] != kNone || row[x * 3 + 1] != kNone || row[x * 3 + 2] != kNone;
            probe.ink[static_cast<size_t>(y) * probe.width + x] = ink ? 1 : 0;
            if (ink && (x == 0 || y == 0 || x == probe.width - 1 || y == probe.height - 1)) {
                probe = {};
                return false;
            }
        }
    }
    probe.text = text;
    return true;
}

bool TOutlinedText::Known(const TProbe& probe) const
{
    const size_t pixels = probe.ink.size();
    for (size_t i = 0; i < pixels; ++i) {
        if (probe.ink[i] != 0) {
            for (int ch = 0; ch < 3; ++ch) {
                if (known_[static_cast<size_t>(ch) * 256 + probe.level[i * 3 + ch]] == 0) {
                    return false;
                }
            }
        }
    }
    return true;
}

bool TOutlinedText::Learn(HDC fontDC, const TProbe& probe, int r, COLORREF color)
{
    if (++learnings_ > kMaxLearnings) {
        usable_ = false;
        return false;
    }
    // What each draw makes of each value, for the levels this text shows: the text drawn in black,
    // then in its colour, over each of the 256 plain grey backgrounds. Levels known already must
    // come out the same; two pixels of one level that disagree mean the level does not name the
    // blending, and the system's own drawing is used from then on.
    std::vector<std::int16_t> table[2] = {std::vector<std::int16_t>(black_.size(), -1),
                                          std::vector<std::int16_t>(colored_.size(), -1)};
    for (size_t i = 0; i < known_.size(); ++i) {
        if (known_[i] != 0) {
            std::copy_n(&black_[i * 256], 256, &table[0][i * 256]);
            std::copy_n(&colored_[i * 256], 256, &table[1][i * 256]);
        }
    }
    std::vector<int> inked;
    for (size_t i = 0; i < probe.ink.size(); ++i) {
        if (probe.ink[i] != 0) {
            inked.push_back(static_cast<int>(i));
        }
    }
    const int length = static_cast<int>(probe.text.size());
    bool agree = scratch_.SetSize(probe.width, probe.height);
    {
        classlib::TSelectedObject font(dc_.Get(), GetCurrentObject(fontDC, OBJ_FONT));
        classlib::TSelectedObject bitmap(dc_.Get(), scratch_.Handle());
        for (int pass = 0; pass < 2 && agree; ++pass) {
            SetTextColor(dc_.Get(), pass == 0 ? RGB(0, 0, 0) : color);
            std::vector<std::int16_t>& t = table[pass];
            for (int v = 0; v < 256 && agree; ++v) {
                Fill(scratch_, static_cast<BYTE>(v));
                TextOutW(dc_.Get(), probe.margin, probe.margin, probe.text.c_str(), length);
                GdiFlush();
                for (int i : inked) {
                    const BYTE* out = scratch_.ScanLine(i / probe.width) + (i % probe.width) * 3;
                    for (int ch = 0; ch < 3; ++ch) {
                        std::int16_t& slot = t[At(ch, probe.level[static_cast<size_t>(i) * 3 + ch], v)];
                        if (slot < 0) {
                            slot = out[ch];
                        } else if (slot != out[ch]) {
                            agree = false;
                        }
                    }
                }
                if (v % 51 == 0) {  // now and then: pixels without coverage are left alone
                    for (int y = 0; y < probe.height && agree; ++y) {
                        const BYTE* row = scratch_.ScanLine(y);
                        for (int x = 0; x < probe.width; ++x) {
                            if (probe.ink[static_cast<size_t>(y) * probe.width + x] == 0 &&
                                (row[x * 3] != v || row[x * 3 + 1] != v || row[x * 3 + 2] != v)) {
                                agree = false;
                                break;
                            }
                        }
                    }
                }
            }
        }
    }
    if (!agree) {
        usable_ = false;
        return false;
    }
    for (size_t i = 0; i < known_.size(); ++i) {
        if (known_[i] == 0 && table[0][i * 256] >= 0) {
            for (size_t v = 0; v < 256; ++v) {
                black_[i * 256 + v] = static_cast<std::uint8_t>(table[0][i * 256 + v]);
                colored_[i * 256 + v] = static_cast<std::uint8_t>(table[1][i * 256 + v]);
            }
            known_[i] = 1;
        }
    }
    // Fully covered pixels turn every value into one: that value must be the same for every such
    // level of a channel, and no later partial draw may change it, so that a pixel with any solid
    // cover in its neighbourhood is known without following the draws' order.
    for (int ch = 0; ch < 3 && usable_; ++ch) {
        for (int level = 0; level < kNone; ++level) {
            const size_t i = static_cast<size_t>(ch) * 256 + level;
            if (known_[i] == 0) {
                continue;
            }
            const std::uint8_t first = black_[i * 256];
            if (std::all_of(&black_[i * 256], &black_[i * 256 + 256], [first](std::uint8_t b) { return b == first; })) {
                solidLevel_[i] = 1;
                if (solid_[ch] >= 0 && solid_[ch] != first) {
                    usable_ = false;
                }
                solid_[ch] = first;
            }
        }
        for (int level = 0; level < 256 && solid_[ch] >= 0; ++level) {
            const size_t i = static_cast<size_t>(ch) * 256 + level;
            if (known_[i] != 0 && black_[i * 256 + static_cast<size_t>(solid_[ch])] != solid_[ch]) {
                usable_ = false;
            }
        }
    }
    for (size_t i = 0; i < known_.size(); ++i) {
        const std::uint8_t first = colored_[i * 256];
        colorSolid_[i] = known_[i] != 0 && std::all_of(&colored_[i * 256], &colored_[i * 256 + 256],
                                                       [first](std::uint8_t b) { return b == first; });
    }
    color_ = color;
    ++generation_;
    return usable_ && Check(fontDC, probe, r, color);
}

bool TOutlinedText::Check(HDC fontDC, const TProbe& probe, int r, COLORREF color)
{
    // The system's drawing and ours over the same noise must agree to the last bit.
    const int x = probe.margin + r;
    const int y = probe.margin + r;
    if (!scratch_.SetSize(probe.width + 2 * r, probe.height + 2 * r)) {
        usable_ = false;
        return false;
    }
    std::uint32_t seed = 0x2545F491u;
    GdiFlush();
    for (int row = 0; row < scratch_.Height(); ++row) {
        BYTE* p = scratch_.ScanLine(row);
        for (int i = 0; i < scratch_.Stride(); ++i) {
            seed = seed * 1664525u + 1013904223u;
            p[i] = static_cast<BYTE>(seed >> 24);
        }
    }
    const size_t bytes = static_cast<size_t>(scratch_.Stride()) * static_cast<size_t>(scratch_.Height());
    std::vector<BYTE> ours(scratch_.ScanLine(0), scratch_.ScanLine(0) + bytes);
    {
        classlib::TSelectedObject font(dc_.Get(), GetCurrentObject(fontDC, OBJ_FONT));
        classlib::TSelectedObject bitmap(dc_.Get(), scratch_.Handle());
        DrawByGdi(dc_.Get(), probe.text, x, y, r, color);
        GdiFlush();
    }
    TPlan plan;
    BuildPlan(probe, x, y, r, scratch_.Width(), scratch_.Height(), plan);
    Apply(plan, ours.data(), scratch_.Stride(), black_, colored_);
    for (int row = 0; row < scratch_.Height(); ++row) {
        if (std::memcmp(scratch_.ScanLine(row), &ours[static_cast<size_t>(row) * scratch_.Stride()],
                        static_cast<size_t>(scratch_.Width()) * 3) != 0) {
            usable_ = false;
            return false;
        }
    }
    return true;
}

void TOutlinedText::BuildPlan(const TProbe& probe, int x, int y, int r, int width, int height, TPlan& plan) const
{
    plan.ops.clear();
    plan.steps.clear();
    const int bx = x - probe.margin;  // the probe's top left in picture coordinates
    const int by = y - probe.margin;
    const int x0 = std::max(0, bx - r), y0 = std::max(0, by - r);
    const int x1 = std::min(width, bx + probe.width + r), y1 = std::min(height, by + probe.height + r);
    if (x0 >= x1 || y0 >= y1) {
        return;
    }
    const int rw = x1 - x0, rh = y1 - y0;
    const int span = 2 * r + 1;
    auto inkAt = [&](int px, int py) -> int {  // 0 none, 1 partial, 2 solid in every channel
        const int u = px - bx, v = py - by;
        if (u < 0 || v < 0 || u >= probe.width || v >= probe.height) {
            return 0;
        }
        const size_t i = static_cast<size_t>(v) * probe.width + u;
        if (probe.ink[i] == 0) {
            return 0;
        }
        for (int ch = 0; ch < 3; ++ch) {
            if (solidLevel_[static_cast<size_t>(ch) * 256 + probe.level[i * 3 + ch]] == 0) {
                return 1;
            }
        }
        return 2;
    };
    // Window counts of any ink and of solid ink over the black draws' offsets: rows first, then
    // columns, over the region widened by r.
    const int ew = rw + 2 * r, eh = rh + 2 * r;
    std::vector<std::uint16_t> rowAny(static_cast<size_t>(eh) * rw), rowSolid(rowAny.size());
    if (r > 0) {
        std::vector<int> kind(static_cast<size_t>(ew));
        for (int ey = 0; ey < eh; ++ey) {
            for (int ex = 0; ex < ew; ++ex) {
                kind[static_cast<size_t>(ex)] = inkAt(x0 - r + ex, y0 - r + ey);
            }
            int any = 0, solid = 0;
            for (int ex = 0; ex < ew; ++ex) {
                any += kind[static_cast<size_t>(ex)] != 0;
                solid += kind[static_cast<size_t>(ex)] == 2;
                if (ex >= span) {
                    any -= kind[static_cast<size_t>(ex - span)] != 0;
                    solid -= kind[static_cast<size_t>(ex - span)] == 2;
                }
                if (ex >= span - 1) {
                    rowAny[static_cast<size_t>(ey) * rw + (ex - span + 1)] = static_cast<std::uint16_t>(any);
                    rowSolid[static_cast<size_t>(ey) * rw + (ex - span + 1)] = static_cast<std::uint16_t>(solid);
                }
            }
        }
    }
    std::vector<int> colAny(static_cast<size_t>(rw), 0), colSolid(static_cast<size_t>(rw), 0);
    for (int ry = 0; ry < rh; ++ry) {
        if (r > 0) {
            // Column sums over the rows ry .. ry + 2r of the widened region.
            if (ry == 0) {
                for (int ey = 0; ey < span; ++ey) {
                    for (int rx = 0; rx < rw; ++rx) {
                        colAny[static_cast<size_t>(rx)] += rowAny[static_cast<size_t>(ey) * rw + rx];
                        colSolid[static_cast<size_t>(rx)] += rowSolid[static_cast<size_t>(ey) * rw + rx];
                    }
                }
            } else {
                const size_t out = static_cast<size_t>(ry - 1) * rw, in = static_cast<size_t>(ry - 1 + span) * rw;
                for (int rx = 0; rx < rw; ++rx) {
                    colAny[static_cast<size_t>(rx)] += rowAny[in + rx] - rowAny[out + rx];
                    colSolid[static_cast<size_t>(rx)] += rowSolid[in + rx] - rowSolid[out + rx];
                }
            }
        }
        const int py = y0 + ry;
        for (int rx = 0; rx < rw; ++rx) {
            const int px = x0 + rx;
            const bool anyBlack = r > 0 && colAny[static_cast<size_t>(rx)] > 0;
            const bool solidBlack = r > 0 && colSolid[static_cast<size_t>(rx)] > 0;
            std::array<std::uint8_t, 3> colorLevel{kNone, kNone, kNone};
            const bool covered = inkAt(px, py) != 0;
            if (covered) {
                const size_t i = (static_cast<size_t>(py - by) * probe.width + static_cast<size_t>(px - bx)) * 3;
                colorLevel = {probe.level[i], probe.level[i + 1], probe.level[i + 2]};
            }
            if (!anyBlack && !covered) {
                continue;
            }
            TOp op{px, py, static_cast<std::uint32_t>(plan.steps.size()), 0, 0, 0, {0, 0, 0}};
            if (solidBlack) {
                for (int ch = 0; ch < 3; ++ch) {
                    op.value[static_cast<size_t>(ch)] =
                        colored_[At(ch, colorLevel[static_cast<size_t>(ch)], solid_[static_cast<size_t>(ch)])];
                }
                op.constant = 1;
                plan.ops.push_back(op);
                continue;
            }
            bool colorSolid = covered;
            for (int ch = 0; ch < 3 && colorSolid; ++ch) {
                colorSolid = colorSolid_[static_cast<size_t>(ch) * 256 + colorLevel[static_cast<size_t>(ch)]] != 0;
            }
            if (colorSolid) {
                for (int ch = 0; ch < 3; ++ch) {
                    op.value[static_cast<size_t>(ch)] = colored_[At(ch, colorLevel[static_cast<size_t>(ch)], 0)];
                }
                op.constant = 1;
                plan.ops.push_back(op);
                continue;
            }
            if (anyBlack) {
                // The pixel under each black draw, in the order they are drawn.
                for (int dy = -r; dy <= r; ++dy) {
                    for (int dx = -r; dx <= r; ++dx) {
                        const int u = px - dx - bx, v = py - dy - by;
                        if (u < 0 || v < 0 || u >= probe.width || v >= probe.height) {
                            continue;
                        }
                        const size_t i = static_cast<size_t>(v) * probe.width + u;
                        if (probe.ink[i] != 0) {
                            plan.steps.push_back({probe.level[i * 3], probe.level[i * 3 + 1], probe.level[i * 3 + 2]});
                            ++op.count;
                        }
                    }
                }
            }
            op.hasColor = covered ? 1 : 0;
            op.value = colorLevel;
            plan.ops.push_back(op);
        }
    }
}

void TOutlinedText::Apply(const TPlan& plan, BYTE* bits, std::ptrdiff_t stride, const std::vector<std::uint8_t>& black,
                          const std::vector<std::uint8_t>& colored)
{
    for (const TOp& op : plan.ops) {
        BYTE* p = bits + op.y * stride + static_cast<std::ptrdiff_t>(op.x) * 3;
        if (op.constant != 0) {
            p[0] = op.value[0];
            p[1] = op.value[1];
            p[2] = op.value[2];
            continue;
        }
        for (int ch = 0; ch < 3; ++ch) {
            int v = p[ch];
            for (std::uint32_t s = op.start; s < op.start + op.count; ++s) {
                v = black[At(ch, plan.steps[s][static_cast<size_t>(ch)], v)];
            }
            if (op.hasColor != 0) {
                v = colored[At(ch, op.value[static_cast<size_t>(ch)], v)];
            }
            p[ch] = static_cast<BYTE>(v);
        }
    }
}

bool TOutlinedText::Draw(int line, HDC fontDC, const std::wstring& text, int x, int y, int r, COLORREF color,
                         const TPictureView& picture)
{
    if (line < 0 || line >= kLines || picture.top == nullptr) {
        return false;
    }
    if (text.empty()) {
        return true;  // an empty text leaves no ink
    }
    r = std::max(r, 0);
    if (r > kMaxFastBorder) {
        return false;
    }
    if (color_ != CLR_INVALID && color != color_) {
        Forget();
    }
    if (!usable_) {
        return false;
    }
    if (!dc_) {
        dc_.Reset(CreateCompatibleDC(nullptr));
        if (!dc_) {
            return false;
        }
        SetBkMode(dc_.Get(), TRANSPARENT);
    }
    TProbe& probe = probes_[static_cast<size_t>(line)];
    if (probe.text != text || !probe.Valid()) {
        if (!Probe(fontDC, text, probe)) {
            return false;
        }
        if ((color_ == CLR_INVALID || !Known(probe)) && !Learn(fontDC, probe, r, color)) {
            return false;
        }
    }
    TPlan& plan = plans_[static_cast<size_t>(line)];
    if (plan.text != text || plan.x != x || plan.y != y || plan.r != r || plan.width != picture.width ||
        plan.height != picture.height || plan.generation != generation_) {
        BuildPlan(probe, x, y, r, picture.width, picture.height, plan);
        plan.text = text;
        plan.x = x;
        plan.y = y;
        plan.r = r;
        plan.width = picture.width;
        plan.height = picture.height;
        plan.generation = generation_;
    }
    GdiFlush();
    Apply(plan, picture.top, picture.step, black_, colored_);
    return true;
}

}  // namespace filters
