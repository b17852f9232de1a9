// The deinterlacer and the mirror on pictures built in the test.
#include <gtest/gtest.h>

#include "filters/deinterlace.h"

#include <cstring>

namespace ftest {
namespace {

using filters::TPictureBitmap;

void Fill(TPictureBitmap& b, BYTE v)
{
    for (int y = 0; y < b.Height(); ++y) {
        std::memset(b.ScanLine(y), v, static_cast<size_t>(b.Width()) * 3);
    }
}

void SetPixel(TPictureBitmap& b, int x, int y, BYTE blue, BYTE green, BYTE red)
{
    BYTE* p = b.ScanLine(y) + 3 * x;
    p[0] = blue;
    p[1] = green;
    p[2] = red;
}

// Rows alternate: even rows black, odd rows white.
void Comb(TPictureBitmap& b)
{
    for (int y = 0; y < b.Height(); ++y) {
        std::memset(b.ScanLine(y), y % 2 ? 255 : 0, static_cast<size_t>(b.Width()) * 3);
    }
}

bool RowIs(const TPictureBitmap& b, int y, BYTE v)
{
    const BYTE* row = b.ScanLine(y);
    for (int i = 0; i < b.Width() * 3; ++i) {
        if (row[i] != v) {
            return false;
        }
    }
    return true;
}

bool SamePixels(const TPictureBitmap& a, const TPictureBitmap& b)
{
    if (a.Width() != b.Width() || a.Height() != b.Height() || a.BitCount() != b.BitCount()) {
        return false;
    }
    for (int y = 0; y < a.Height(); ++y) {
        if (std::memcmp(a.ScanLine(y), b.ScanLine(y), static_cast<size_t>(a.Width()) * (a.BitCount() / 8)) != 0) {
            return false;
        }
    }
    return true;
}

TEST(Deinterlace, ACombIsRepairedAndTheLastRowOfAnEvenHeightIsNot)
{
    TPictureBitmap src, dst;
    src.SetSize(9, 8);
    Comb(src);
    Deinterlace(src, dst);
    ASSERT_EQ(9, dst.Width());
    ASSERT_EQ(8, dst.Height());
    for (int y = 0; y < 7; ++y) {
        EXPECT_TRUE(RowIs(dst, y, 0)) << "row " << y;
    }
    EXPECT_TRUE(RowIs(dst, 7, 255)) << "the last row is never scored";
    // Odd height, in place, with colours: the repair is the mean of the rows above and below.
    src.SetSize(4, 5);
    for (int y = 0; y < 5; ++y) {
        for (int x = 0; x < 4; ++x) {
            if (y % 2) {
                SetPixel(src, x, y, 200, 200, 200);
            } else {
                SetPixel(src, x, y, static_cast<BYTE>(y * 10), 21, 0);
            }
        }
    }
    Deinterlace(src, src);
    EXPECT_EQ(10, src.ScanLine(1)[0]);
    EXPECT_EQ(21, src.ScanLine(1)[1]);
    EXPECT_EQ(0, src.ScanLine(1)[2]);
    EXPECT_EQ(30, src.ScanLine(3)[9]);
    EXPECT_EQ(40, src.ScanLine(4)[0]) << "even rows stay";
}

TEST(Deinterlace, UniformPicturesLonePixelsAndOneColumnStayAsTheyAre)
{
    TPictureBitmap src, dst;
    src.SetSize(16, 9);
    Fill(src, 0x80);
    Deinterlace(src, dst);
    EXPECT_TRUE(SamePixels(src, dst));

    Fill(src, 10);
    SetPixel(src, 5, 3, 250, 250, 250);  // alone: no marked neighbour
    Deinterlace(src, dst);
    EXPECT_TRUE(SamePixels(src, dst));

    SetPixel(src, 6, 3, 250, 250, 250);  // a run of two: its pixels whose right neighbour is marked
    Deinterlace(src, dst);
    EXPECT_EQ(10, dst.ScanLine(3)[15]);
    EXPECT_EQ(250, dst.ScanLine(3)[18]) << "the run's last pixel has no marked right neighbour";

    SetPixel(src, 15, 5, 250, 250, 250);  // the last column looks left
    SetPixel(src, 14, 5, 250, 250, 250);
    Deinterlace(src, dst);
    EXPECT_EQ(10, dst.ScanLine(5)[45]);

    TPictureBitmap narrow, out;
    narrow.SetSize(1, 7);
    Comb(narrow);
    Deinterlace(narrow, out);
    EXPECT_TRUE(SamePixels(narrow, out)) << "one column is only copied";
}

TEST(Deinterlace, OtherFormatsAreOnlyCopied)
{
    TPictureBitmap src, dst;
    src.SetBitCount(32);
    src.SetSize(6, 6);
    for (int y = 0; y < 6; ++y) {
        std::memset(src.ScanLine(y), y % 2 ? 255 : 0, 24);
    }
    dst.SetSize(3, 3);
    Deinterlace(src, dst);
    EXPECT_EQ(32, dst.BitCount());
    EXPECT_TRUE(SamePixels(src, dst));
}

TEST(Mirror, RowsAreReversedAndTwiceGivesThePictureBack)
{
    TPictureBitmap b;
    b.SetSize(5, 3);
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 5; ++x) {
            SetPixel(b, x, y, static_cast<BYTE>(x), static_cast<BYTE>(y), static_cast<BYTE>(x * 10 + y));
        }
    }
    TPictureBitmap original;
    original.Assign(b);
    filters::MirrorBitmap(b);
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 5; ++x) {
            const BYTE* p = b.ScanLine(y) + 3 * x;
            EXPECT_EQ(4 - x, p[0]);
            EXPECT_EQ(y, p[1]);
            EXPECT_EQ((4 - x) * 10 + y, p[2]);
        }
    }
    filters::MirrorBitmap(b);
    EXPECT_TRUE(SamePixels(original, b));

    TPictureBitmap one;
    one.SetSize(1, 4);
    Comb(one);
    TPictureBitmap copy;
    copy.Assign(one);
    filters::MirrorBitmap(one);
    EXPECT_TRUE(SamePixels(copy, one));
}

}  // namespace
}  // namespace ftest
