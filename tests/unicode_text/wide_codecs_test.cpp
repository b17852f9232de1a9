// Wide text codecs and string utilities: UTF-7, UTF-8 and code pages with malformed input,
// zero-terminated text, replacement, line breaks, splitting, reentrancy.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <random>
#include <thread>
#include <vector>

#include "classlib/conversions.h"
#include "unicode/wide_codecs.h"
#include "unicode/wide_files.h"

using namespace unicode;

namespace {
std::wstring RandomText(std::mt19937& rng, std::size_t length, bool asciiHeavy) {
    std::wstring s;
    for (std::size_t i = 0; i < length; ++i)
        s.push_back(static_cast<wchar_t>(asciiHeavy && rng() % 4 != 0 ? rng() % 0x80 : rng() % 0x10000));
    return s;
}
}  // namespace

TEST(Utf7, EncodesAndDecodes) {
    const std::pair<const wchar_t*, const char*> cases[] = {
        {L"a+b", "a+-b"}, {L"\u00e9", "+AOk"}, {L"\u00e9a", "+AOk-a"}, {L"\u00e9 ", "+AOk "},
        {L"\u00e9-", "+AOk--"}, {L"!\"#$%&*;<=>@[]^_`{|}\t\r\n", "!\"#$%&*;<=>@[]^_`{|}\t\r\n"},
        {L"\\~", "+AFwAfg"}, {L"\u00e9+\u00e9", "+AOkAKwDp"}, {L"\u65e5\u672c\u8a9e", "+ZeVnLIqe"}, {L"", ""}};
    for (const auto& [wide, utf7] : cases) {
        EXPECT_EQ(WideStringToUTF7(wide), utf7);
        EXPECT_EQ(UTF7ToWideString(utf7), wide) << utf7;
    }
    EXPECT_EQ(UTF7ToWideString("+-"), L"+");
    EXPECT_EQ(UTF7ToWideString("+AOk-"), L"\u00e9");
    EXPECT_EQ(UTF7ToWideString("+ZeVnLIqe-!~"), L"\u65e5\u672c\u8a9e!~");
    // A lone plus, "++", a plus before a byte that is neither base64 nor "-", a run without a whole
    // code unit, non-zero leftover bits, bytes above 0x7F.
    for (const char* bad : {"+", "a+", "++", "+ x", "+.", "+A-", "+AOl-", "caf\xE9", "+AO\xE9"}) {
        try {
            UTF7ToWideString(bad);
            ADD_FAILURE() << "accepted: " << bad;
        } catch (const EUcGeneralError& e) {
            EXPECT_EQ(e.Message(), L"Invalid UTF7") << bad;
        }
    }
    std::mt19937 rng(7);
    for (int i = 0; i < 300; ++i) {
        std::wstring text = RandomText(rng, static_cast<std::size_t>(i % 40), i % 2 == 0);
        std::string encoded = WideStringToStringEx(text, CP_UTF7_NUMBER);
        for (char c : encoded) ASSERT_LT(static_cast<unsigned char>(c), 0x80u);
        ASSERT_EQ(StringToWideStringEx(encoded, CP_UTF7_NUMBER), text) << encoded;
    }
}

TEST(Utf8, EncodesPairsAsFourBytesAndLoneSurrogatesAsThree) {
    EXPECT_EQ(UTF8EncodeWide(L"\u20ac"), "\xE2\x82\xAC");
    EXPECT_EQ(UTF8EncodeWide(L"a\u00e9\u07ff\u0800"), "a\xC3\xA9\xDF\xBF\xE0\xA0\x80");
    EXPECT_EQ(UTF8EncodeWide(L"\U0001F600\U0010FFFF"), "\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF");
    EXPECT_EQ(UTF8EncodeWide(std::wstring{wchar_t(0xDC00), wchar_t(0xD800)}), "\xED\xB0\x80\xED\xA0\x80");
    std::mt19937 rng(11);
    for (int i = 0; i < 300; ++i) {
        std::wstring text = RandomText(rng, static_cast<std::size_t>(i % 50), i % 3 == 0);
        ASSERT_EQ(StringToWideStringEx(WideStringToStringEx(text, CP_UTF8_NUMBER), CP_UTF8_NUMBER), text);
    }
    const std::wstring sample = L"d\u00e9j\u00e0 \u20ac \u65e5 \U0001F600";
    EXPECT_EQ(UTF8EncodeWide(sample), classlib::WideToAnsi(sample, CP_UTF8));
}

TEST(Utf8, EachBadSequenceCostsOneReplacementOnly) {
    const std::pair<const char*, const wchar_t*> cases[] = {
        {"\xF0\x9F\x98\x80!", L"\U0001F600!"},
        {"\xED\xA0\xBD\xED\xB8\x80", L"\U0001F600"},  // a pair as two three-byte sequences
        {"\xC3", L"\uFFFD"},
        {"Key=caf\xE9\r\nNext=1", L"Key=caf\uFFFD\r\nNext=1"},
        {"a\xE2\x82" "b", L"a\uFFFDb"},
        {"\x80\xBF" "x", L"\uFFFD\uFFFDx"},
        {"\xC0\xAF\xE0\x80\xAF", L"\uFFFD\uFFFD\uFFFD"},  // overlong forms
        {"\xF4\x90\x80\x80", L"\uFFFD"},                    // above U+10FFFF
        {"\xF0\x9F\x98", L"\uFFFD"},
        {"\xF8\x88\x80", L"\uFFFD\uFFFD\uFFFD"},
        {"\xC3\xC3\xA9", L"\uFFFD\u00e9"}};
    for (const auto& [utf8, wide] : cases) EXPECT_EQ(UTF8DecodeWide(utf8), wide) << utf8;
    EXPECT_EQ(UTF8DecodeWide("\xED\xA0\x80"), std::wstring(1, wchar_t(0xD800)));
}

TEST(CodePages, ConversionsKeysAndMappableCharacters) {
    EXPECT_EQ(StringToWideStringEx("caf\xE9 \x80", 1252), L"caf\u00e9 \u20ac");
    EXPECT_EQ(WideStringToStringEx(L"caf\u00e9 \u20ac \u0416", 1252), "caf\xE9 \x80 ?");
    EXPECT_EQ(StringToWideStringEx("\x93\xFA\x96\x7B", 932), L"\u65e5\u672c");
    EXPECT_EQ(WideStringToStringEx(L"\u65e5\u672c", 932), "\x93\xFA\x96\x7B");

    EXPECT_EQ(KeyCharToWideChar(0xE9), L'\u00e9');  // the US layout's code page 1252
    EXPECT_EQ(KeyCharToWideChar(0x263A), L'\u263a');
    EXPECT_TRUE(IsWideCharMappableToAnsi(L'\u20ac'));
    EXPECT_FALSE(IsWideCharMappableToAnsi(L'\u0416'));
    EXPECT_FALSE(IsWideCharMappableToAnsi(L'\u0101'));  // its best fit "a" is a loss

    wchar_t text[] = {0x4100, wchar_t(0xAC20), 0, 0x4400, 0};
    StrSwapByteOrder(text);
    EXPECT_EQ(text[0], 0x0041);
    EXPECT_EQ(text[1], 0x20AC);
    EXPECT_EQ(text[3], 0x4400);  // after the zero: untouched
}

TEST(WideZeroTerminated, BlocksCopiesAndScans) {
    wchar_t* copy = WStrNew(L"caf\u00e9");
    ASSERT_NE(copy, nullptr);
    std::uint32_t prefix = 0;
    std::memcpy(&prefix, reinterpret_cast<unsigned char*>(copy) - 4, 4);
    EXPECT_EQ(prefix, 5u * 2 + 4);
    EXPECT_STREQ(copy, L"caf\u00e9");
    EXPECT_EQ(WStrEnd(copy), copy + 4);
    EXPECT_EQ(WStrScan(copy, L'\u00e9'), copy + 3);
    EXPECT_EQ(WStrScan(copy, L'\0'), nullptr);
    WStrDispose(copy);
    EXPECT_EQ(WStrNew(nullptr), nullptr);

    wchar_t dest[16];
    std::wmemset(dest, L'#', 16);
    EXPECT_STREQ(WStrLCopy(dest, L"abcdef", 3), L"abc");
    EXPECT_STREQ(WStrPLCopy(dest, "caf\xE9", 4), L"caf\u00e9");
    // The whole ANSI text, widened with the default code page and terminated; nothing past it.
    std::wmemset(dest, L'#', 16);
    EXPECT_EQ(WStrPCopy(dest, "na\xEFve \x80"), dest);
    EXPECT_STREQ(dest, L"na\u00efve \u20ac");
    EXPECT_EQ(dest[8], L'#');
    EXPECT_STREQ(WStrPCopy(dest, nullptr), L"");
    wchar_t overlap[] = L"abcdef";
    WStrMove(overlap + 1, overlap, 4);
    EXPECT_STREQ(overlap, L"aabcdf");
    EXPECT_EQ(WLastChar(L""), nullptr);
}

TEST(WideUtilities, UpperCaseClassesAndPositions) {
    EXPECT_EQ(WideStrUpper(L"caf\u00e9 \u0436\u00df"), L"CAF\u00c9 \u0416\u00df");  // same length
    EXPECT_TRUE(IsWideCharSpace(L'\t'));
    EXPECT_TRUE(IsWideCharPunct(L','));
    EXPECT_FALSE(IsWideCharPunct(L'7'));
    for (wchar_t c : {L'\0', L'.', L' ', L'\u3000'}) EXPECT_TRUE(IsWideWordDelimiter(c)) << int(c);
    for (wchar_t c : {L'x', L'\u00e9', L'5'}) EXPECT_FALSE(IsWideWordDelimiter(c)) << int(c);
    EXPECT_EQ(WideTextPos(L"\u00c9T", L"caf\u00e9t\u00e9"), 4);
    EXPECT_EQ(WideTextPos(L"zz", L"abc"), 0);
    EXPECT_EQ(WideTextPos(L"", L"abc"), 0);
}

TEST(WideUtilities, StringReplace) {
    const std::wstring text = L"cat concat cat";
    EXPECT_EQ(WideStringReplace(text, L"cat", L"dog", rfReplaceAll, true), L"dog concat dog");
    EXPECT_EQ(WideStringReplace(text, L"cat", L"dog", rfReplaceAll, false), L"dog condog dog");
    EXPECT_EQ(WideStringReplace(text, L"cat", L"dog", 0, false), L"dog concat cat");
    EXPECT_EQ(WideStringReplace(L"concat cat", L"cat", L"dog", 0, true), L"concat dog");
    EXPECT_EQ(WideStringReplace(L"Cat CAT", L"caT", L"x", rfReplaceAll | rfIgnoreCase, false), L"x x");
    EXPECT_EQ(WideStringReplace(L"Cat CAT", L"cat", L"x", rfReplaceAll, false), L"Cat CAT");
    EXPECT_EQ(WideStringReplace(text, L"", L"x", rfReplaceAll, false), text);
    EXPECT_EQ(WideStringReplace(L"(date),date.dates\r\ndate", L"date", L"1", rfReplaceAll, true),
              L"(1),1.dates\r\n1");
    // Before a match at the start of the rest stands the last character already written.
    EXPECT_EQ(WideStringReplace(L",x,x", L",x", L"Q.", rfReplaceAll, true), L"Q.Q.");
    EXPECT_EQ(WideStringReplace(L",x,x", L",x", L"Q", rfReplaceAll, true), L"Q,x");
    EXPECT_EQ(WideStringReplace(L"a a", L"a", L"aa", rfReplaceAll, false), L"aa aa");
}

TEST(WideUtilities, LineBreaksAndSplitting) {
    const std::wstring text = L"a\rb\nc\r\nd\u2028e\n\r";
    EXPECT_EQ(WideAdjustLineBreaks(text, tlbsCRLF), L"a\r\nb\r\nc\r\nd\r\ne\r\n\r\n");
    EXPECT_EQ(WideAdjustLineBreaks(text, tlbsLF), L"a\nb\nc\nd\ne\n\n");
    EXPECT_EQ(WideAdjustLineBreaks(text, tlbsCR), L"a\rb\rc\rd\re\r\r");
    EXPECT_EQ(WideAdjustLineBreaksLength(text, tlbsCRLF), 17u);
    EXPECT_EQ(WideAdjustLineBreaksLength(text, tlbsCR), 11u);

    const wchar_t* p = L"ab;cd";
    std::wstring token;
    WideExtractToken(p, L';', token);
    EXPECT_EQ(token, L"ab");
    WideExtractToken(p, L';', token);
    EXPECT_EQ(token, L"cd");
    EXPECT_EQ(*p, L'\0');
    EXPECT_EQ(WideSplitString(L"a;b;c", L';'), (TWideStringDynArray{L"a", L"b", L"c"}));
    EXPECT_EQ(WideSplitString(L"a;;b", L';'), (TWideStringDynArray{L"a"}));
    EXPECT_EQ(WideSplitString(L"a;b;", L';'), (TWideStringDynArray{L"a", L"b"}));
    EXPECT_TRUE(WideSplitString(L";a", L';').empty());
    EXPECT_TRUE(WideSplitString(nullptr, L';').empty());
    std::wstring many;
    for (int i = 0; i < 600; ++i) many += L"t" + std::to_wstring(i) + L",";
    TWideStringDynArray parts = WideSplitString(many.c_str(), L',');
    ASSERT_EQ(parts.size(), 600u);
    EXPECT_EQ(parts[599], L"t599");
}

TEST(WideUtilities, ReplaceAndUpperAreReentrant) {
    const std::wstring text = L"Date: date, DATE; dated (date) \u00e9t\u00e9 date";
    const std::wstring expected = L"1-2: 1-2, 1-2; dated (1-2) \u00e9t\u00e9 1-2";
    const std::wstring upper = WideStrUpper(text);
    std::atomic<int> mismatches{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 6; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 400; ++i) {
                if (WideStringReplace(text, L"date", L"1-2", rfReplaceAll | rfIgnoreCase, true) != expected) ++mismatches;
                if (WideStrUpper(text) != upper || !IsWideWordDelimiter(L',')) ++mismatches;
            }
        });
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(mismatches.load(), 0);
}
