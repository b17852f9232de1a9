// The runtime core's text formatting and conversions.
#include <gtest/gtest.h>

#include <climits>

#include "classlib/conversions.h"
#include "classlib/exceptions.h"
#include "classlib/format.h"

using namespace classlib;

namespace {

class FormatTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = FormatSettings();
        FormatSettings().DecimalSeparator = L'.';
        FormatSettings().ThousandSeparator = L',';
    }
    void TearDown() override { FormatSettings() = saved_; }
    TFormatSettings saved_;
};

TEST_F(FormatTest, IntegersAndPadding) {
    EXPECT_EQ(Format(L"%d|%d|%d", {0, -42, INT32_MIN}), L"0|-42|-2147483648");
    EXPECT_EQ(Format(L"%d", {INT64_MAX}), L"9223372036854775807");
    EXPECT_EQ(Format(L"%.2d:%.2d", {5, 123}), L"05:123");
    EXPECT_EQ(Format(L"%.3d", {-7}), L"-007");
    EXPECT_EQ(Format(L"%u", {-1}), L"4294967295");
    EXPECT_EQ(Format(L"%x %x %.4x", {255, -1, 10}), L"FF FFFFFFFF 000A");
    EXPECT_EQ(Format(L"[%5d][%-5d]", {42, 42}), L"[   42][42   ]");
    EXPECT_EQ(Format(L"100%%", {}), L"100%");
}

TEST_F(FormatTest, TextsWidthsAndIndexes) {
    EXPECT_EQ(Format(L"[%5s][%-5s][%.2s]", {L"ab", L"ab", L"abcdef"}), L"[   ab][ab   ][ab]");
    EXPECT_EQ(Format(L"[%s]", {L"toolongforwidth"}), L"[toolongforwidth]");
    EXPECT_EQ(Format(L"%s", {std::wstring(L"\u00e9\u4e2d")}), L"\u00e9\u4e2d");
    EXPECT_EQ(Format(L"%1:s %0:s %s", {L"a", L"b", L"c"}), L"b a b");
    EXPECT_EQ(Format(L"[%*d]", {4, 7}), L"[   7]");
    EXPECT_EQ(Format(L"[%-*s]", {3, L"x"}), L"[x  ]");
    EXPECT_EQ(Format(L"%s=%d", {std::string("ansi"), 3}), L"ansi=3");
}

TEST_F(FormatTest, FloatsAndPointers) {
    EXPECT_EQ(Format(L"%f", {3.14159}), L"3.14");
    EXPECT_EQ(Format(L"%.3f|%.0f", {1.23456, 2.7}), L"1.235|3");
    EXPECT_EQ(Format(L"%g|%g", {0.5, 29.97}), L"0.5|29.97");
    // The scientific form always has a signed exponent of at least three digits.
    EXPECT_EQ(Format(L"%e|%.3e", {1500.0, -0.00012}), L"1.50000000000000E+003|-1.20E-004");
    EXPECT_EQ(Format(L"%n", {1234567.891}), L"1,234,567.89");
    EXPECT_EQ(Format(L"%.1n", {-1000.0}), L"-1,000.0");
    FormatSettings().DecimalSeparator = L',';
    FormatSettings().ThousandSeparator = L'.';
    EXPECT_EQ(Format(L"%f|%n", {1.5, 12345.5}), L"1,50|12.345,50");
    int local = 0;
    const void* p = &local;
    std::wstring text = Format(L"%p", {p});
    ASSERT_EQ(text.size(), sizeof(void*) * 2);
    EXPECT_EQ(std::stoull(text, nullptr, 16), reinterpret_cast<std::uintptr_t>(p));
}

TEST_F(FormatTest, BadFormatsAndMismatchesRaise) {
    EXPECT_THROW(Format(L"%", {1}), EConvertError);
    EXPECT_THROW(Format(L"%z", {1}), EConvertError);
    EXPECT_THROW(Format(L"%d", {L"text"}), EConvertError);
    EXPECT_THROW(Format(L"%s", {5}), EConvertError);
    EXPECT_THROW(Format(L"%f", {5}), EConvertError);
    EXPECT_THROW(Format(L"%p", {5}), EConvertError);
    EXPECT_THROW(Format(L"%d %d", {5}), EConvertError);
    EXPECT_THROW(Format(L"%5:s", {L"a"}), EConvertError);
    EXPECT_THROW(Format(L"%*d", {L"x", 5}), EConvertError);
    try {
        Format(L"%d", {L"x"});
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), L"Format '%d' invalid or incompatible with argument");
    }
}

TEST_F(FormatTest, FloatToStrUsesFifteenDigits) {
    EXPECT_EQ(FloatToStr(25.0), L"25");
    EXPECT_EQ(FloatToStr(29.97), L"29.97");
    EXPECT_EQ(FloatToStr(0.1 + 0.2), L"0.3");
    EXPECT_EQ(FloatToStr(1.0 / 3.0), L"0.333333333333333");
    EXPECT_EQ(FloatToStr(-2.5), L"-2.5");
    EXPECT_EQ(FloatToStr(0.0), L"0");
    EXPECT_EQ(FloatToStr(123456789012345.0), L"123456789012345");
    FormatSettings().DecimalSeparator = L',';
    EXPECT_EQ(FloatToStr(12.25), L"12,25");
}

TEST(Conversions, TryStrToInt) {
    std::int32_t v = 99;
    EXPECT_TRUE(TryStrToInt(L"123", v));
    EXPECT_EQ(v, 123);
    EXPECT_TRUE(TryStrToInt(L"-2147483648", v));
    EXPECT_EQ(v, INT32_MIN);
    EXPECT_TRUE(TryStrToInt(L"+7", v));
    EXPECT_EQ(v, 7);
    EXPECT_TRUE(TryStrToInt(L"$FF", v));
    EXPECT_EQ(v, 255);
    EXPECT_TRUE(TryStrToInt(L"0x7fffffff", v));
    EXPECT_EQ(v, INT32_MAX);
    EXPECT_TRUE(TryStrToInt(L"$FFFFFFFF", v));
    EXPECT_EQ(v, -1);
    v = 99;
    for (const wchar_t* bad : {L"", L"abc", L"12a", L" 12", L"12 ", L"1 2", L"-", L"$", L"0x", L"2147483648",
                               L"-2147483649", L"$1FFFFFFFF", L"99999999999999999999999", L"$G"}) {
        EXPECT_FALSE(TryStrToInt(bad, v)) << bad;
    }
    EXPECT_EQ(v, 99);  // untouched by failures
    EXPECT_EQ(StrToIntDef(L"zz", -5), -5);
    try {
        StrToInt(L"zz");
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), L"'zz' is not a valid integer value");
    }
    std::int64_t big = 0;
    EXPECT_TRUE(TryStrToInt64(L"-9223372036854775808", big));
    EXPECT_EQ(big, INT64_MIN);
    EXPECT_FALSE(TryStrToInt64(L"9223372036854775808", big));
}

TEST(Conversions, TryStrToFloat) {
    double v = 0;
    EXPECT_TRUE(TryStrToFloat(L"1.5", v, L'.'));
    EXPECT_DOUBLE_EQ(v, 1.5);
    EXPECT_TRUE(TryStrToFloat(L" -2.5e3 ", v, L'.'));
    EXPECT_DOUBLE_EQ(v, -2500);
    EXPECT_TRUE(TryStrToFloat(L".5", v, L'.'));
    EXPECT_DOUBLE_EQ(v, 0.5);
    EXPECT_TRUE(TryStrToFloat(L"1,25", v, L','));
    EXPECT_DOUBLE_EQ(v, 1.25);
    v = 7;
    for (const wchar_t* bad : {L"", L"abc", L"1,5", L"1e", L"1e400", L"-", L".", L"1.2.3", L"0x10", L"1e+"}) {
        EXPECT_FALSE(TryStrToFloat(bad, v, L'.')) << bad;
    }
    EXPECT_EQ(v, 7);
    EXPECT_THROW(StrToFloat(L"x"), EConvertError);
}

TEST(Conversions, TrimAndCase) {
    EXPECT_EQ(Trim(L"\t a b \r\n"), L"a b");
    EXPECT_EQ(Trim(L"\x01x\x1f"), L"x");
    EXPECT_EQ(Trim(L"   "), L"");
    EXPECT_EQ(Trim(L""), L"");
    EXPECT_EQ(TrimLeft(L"  a "), L"a ");
    EXPECT_EQ(TrimRight(L"  a "), L"  a");
    EXPECT_EQ(Trim(L"\u00a0x\u00a0"), L"\u00a0x\u00a0");  // only characters up to U+0020
    EXPECT_EQ(UpperCase(L"ab\u00e9"), L"AB\u00e9");
    EXPECT_TRUE(SameText(L"Caption", L"CAPTION"));
    EXPECT_FALSE(SameText(L"Caption", L"Captions"));
}

TEST(Conversions, AnsiRoundTrip) {
    EXPECT_EQ(AnsiToWide(WideToAnsi(L"plain text")), L"plain text");
    EXPECT_EQ(AnsiToWide(std::string()), L"");
    EXPECT_EQ(WideToUtf8(L"\u00e9"), "\xc3\xa9");
    EXPECT_EQ(AnsiToWide("\xc3\xa9", 65001), L"\u00e9");
}

}  // namespace
