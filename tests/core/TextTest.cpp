// Tests of the text and collection helpers (core/Text.h) and the clocks (core/TimeUtil.h).
#include <gtest/gtest.h>
#include <time.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "core/Text.h"
#include "core/TimeUtil.h"

using namespace OrvCore;

namespace {

std::string U8(const wxString& text)
{
    return text.utf8_string();
}

std::string Bytes(std::initializer_list<unsigned char> list)
{
    return std::string(list.begin(), list.end());
}

}  // namespace

// ---- toString

TEST(TextToString, BooleansAndIntegers)
{
    struct Case
    {
        const char* name;
        wxString actual;
        const char* expected;
    };
    const Case cases[] = {
        {"true", toString(true), "true"},
        {"false", toString(false), "false"},
        {"int zero", toString(0), "0"},
        {"int negative", toString(-42), "-42"},
        {"int min", toString(INT_MIN), "-2147483648"},
        {"int max", toString(INT_MAX), "2147483647"},
        {"long min", toString(LONG_MIN), "-9223372036854775808"},
        {"long long max", toString(LLONG_MAX), "9223372036854775807"},
        {"long long min", toString(LLONG_MIN), "-9223372036854775808"},
        {"unsigned max", toString(UINT_MAX), "4294967295"},
        {"unsigned long max", toString(ULONG_MAX), "18446744073709551615"},
        {"unsigned long long max", toString(ULLONG_MAX), "18446744073709551615"},
        {"unsigned long long small", toString(7ULL), "7"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(U8(c.actual), c.expected);
    }
}

TEST(TextToString, DoublesAreShortest)
{
    struct Case
    {
        double value;
        const char* expected;
    };
    const Case cases[] = {
        {0.0, "0"},       {-0.0, "-0"},          {1.0, "1"},           {0.1, "0.1"},
        {-2.5, "-2.5"},   {123.456, "123.456"},  {1e100, "1e+100"},    {1e-7, "1e-07"},
        {0.3, "0.3"},     {1.0 / 3.0, "0.3333333333333333"},           {5e-324, "5e-324"},
        {1e21, "1e+21"},  {100.0, "100"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        EXPECT_EQ(U8(toString(c.value)), c.expected);
    }
}

TEST(TextToString, DoublesRoundTrip)
{
    const double values[] = {0.1 + 0.2, DBL_MAX, DBL_MIN, -DBL_MAX, 2.0 / 3.0, 1e-300, 6.02214076e23,
                             9007199254740993.0, 4.35, std::nextafter(1.0, 2.0)};
    for (double value : values) {
        const std::string text = U8(toString(value));
        SCOPED_TRACE(text);
        EXPECT_EQ(std::strtod(text.c_str(), nullptr), value);
        // Shortest: never longer than the 17 significant digits a double can need.
        EXPECT_LE(text.size(), 24u);
    }
    EXPECT_EQ(U8(toString(std::numeric_limits<double>::infinity())), "inf");
    EXPECT_EQ(U8(toString(-std::numeric_limits<double>::infinity())), "-inf");
}

// ---- hexadecimal

TEST(TextHex, EncodeKnownVectors)
{
    struct Case
    {
        const char* name;
        std::string bytes;
        const char* lower;
        const char* upper;
    };
    const Case cases[] = {
        {"empty", "", "", ""},
        {"foobar", "foobar", "666f6f626172", "666F6F626172"},
        {"all nibbles", Bytes({0x01, 0x23, 0x45, 0x67, 0x89, 0xab, 0xcd, 0xef}), "0123456789abcdef",
         "0123456789ABCDEF"},
        {"zero and high bytes", Bytes({0x00, 0xff, 0x10, 0x80}), "00ff1080", "00FF1080"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(U8(toHexString(c.bytes)), c.lower);
        EXPECT_EQ(U8(toHexString(c.bytes, false)), c.upper);
        EXPECT_EQ(U8(toHexString(c.bytes.data(), c.bytes.size())), c.lower);
        EXPECT_EQ(U8(toHexString(c.bytes.data(), c.bytes.size(), false)), c.upper);
    }
}

TEST(TextHex, DecodeTable)
{
    struct Case
    {
        const char* name;
        wxString hex;
        bool ok;
        std::string bytes;
    };
    const Case cases[] = {
        {"empty", wxString(), true, ""},
        {"lower", wxT("666f6f626172"), true, "foobar"},
        {"upper", wxT("666F6F626172"), true, "foobar"},
        {"mixed case", wxT("aBcD"), true, Bytes({0xab, 0xcd})},
        {"zero byte", wxT("00ff"), true, Bytes({0x00, 0xff})},
        {"odd length", wxT("abc"), false, ""},
        {"not a digit", wxT("0g"), false, ""},
        {"space", wxT("0 "), false, ""},
        {"prefix", wxT("0x12"), false, ""},
        {"non-ASCII", wxString::FromUTF8("\xc3\xa9" "0"), false, ""},
        {"fullwidth digit", wxString::FromUTF8("\xef\xbc\x91" "1"), false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string bytes = "left over";
        EXPECT_EQ(fromHexString(c.hex, bytes), c.ok);
        EXPECT_EQ(bytes, c.bytes);
    }
}

TEST(TextHex, RoundTripAllByteValues)
{
    std::string all;
    for (int i = 0; i < 256; ++i) all.push_back(static_cast<char>(i));
    for (bool lower : {true, false}) {
        SCOPED_TRACE(lower ? "lower" : "upper");
        const wxString hex = toHexString(all, lower);
        EXPECT_EQ(hex.length(), 512u);
        EXPECT_TRUE(isHexString(hex));
        std::string back;
        ASSERT_TRUE(fromHexString(hex, back));
        EXPECT_EQ(back, all);
    }
}

TEST(TextHex, IsHexStringTable)
{
    struct Case
    {
        const char* name;
        wxString text;
        bool expected;
    };
    const Case cases[] = {
        {"empty", wxString(), false},
        {"digits", wxT("0123456789"), true},
        {"letters both cases", wxT("abcdefABCDEF"), true},
        {"odd length is still hex", wxT("abc"), true},
        {"g", wxT("abg"), false},
        {"space", wxT("ab cd"), false},
        {"minus", wxT("-1"), false},
        {"non-ASCII", wxString::FromUTF8("a\xc3\xa9"), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(isHexString(c.text), c.expected);
    }
}

// ---- Base64

TEST(TextBase64, Rfc4648Vectors)
{
    struct Case
    {
        const char* input;
        const char* expected;
    };
    const Case cases[] = {
        {"", ""},           {"f", "Zg=="},         {"fo", "Zm8="},        {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input);
        EXPECT_EQ(U8(toBase64String(c.input, std::strlen(c.input))), c.expected);
        EXPECT_EQ(U8(toBase64String(wxString::FromUTF8(c.input))), c.expected);
    }
}

TEST(TextBase64, BinaryAndUtf8Input)
{
    struct Case
    {
        const char* name;
        std::string bytes;
        const char* expected;
    };
    const Case cases[] = {
        {"plus and slash", Bytes({0xfb, 0xff}), "+/8="},
        {"all ones", Bytes({0xff, 0xff, 0xff}), "////"},
        {"zeros", Bytes({0x00, 0x00, 0x00, 0x00}), "AAAAAA=="},
        {"e acute as UTF-8", "\xc3\xa9", "w6k="},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(U8(toBase64String(c.bytes.data(), c.bytes.size())), c.expected);
    }
    // The wxString form encodes the text's UTF-8 bytes.
    EXPECT_EQ(U8(toBase64String(wxString::FromUTF8("\xc3\xa9"))), "w6k=");
    EXPECT_EQ(U8(toBase64String(wxString(L"\u20ac"))), "4oKs");
}

// ---- UTF-8 validation

TEST(TextUtf8, ValidityTable)
{
    struct Case
    {
        const char* name;
        std::string bytes;
        bool legal;
    };
    const Case cases[] = {
        {"empty", "", true},
        {"ASCII", "hello, world", true},
        {"embedded NUL", std::string("a\0b", 3), true},
        {"two bytes U+00E9", "\xc3\xa9", true},
        {"smallest two bytes U+0080", "\xc2\x80", true},
        {"largest two bytes U+07FF", "\xdf\xbf", true},
        {"smallest three bytes U+0800", "\xe0\xa0\x80", true},
        {"euro sign", "\xe2\x82\xac", true},
        {"last before surrogates U+D7FF", "\xed\x9f\xbf", true},
        {"first after surrogates U+E000", "\xee\x80\x80", true},
        {"U+FFFF", "\xef\xbf\xbf", true},
        {"smallest four bytes U+10000", "\xf0\x90\x80\x80", true},
        {"largest U+10FFFF", "\xf4\x8f\xbf\xbf", true},
        {"mixed text", "a\xc3\xa9z\xe2\x82\xac\xf0\x9f\x98\x80!", true},
        {"lone continuation byte", "\x80", false},
        {"continuation after ASCII", "a\xbf", false},
        {"C0 overlong", "\xc0\x80", false},
        {"C1 overlong", "\xc1\xbf", false},
        {"three-byte overlong", "\xe0\x9f\xbf", false},
        {"four-byte overlong", "\xf0\x8f\xbf\xbf", false},
        {"surrogate U+D800", "\xed\xa0\x80", false},
        {"surrogate U+DFFF", "\xed\xbf\xbf", false},
        {"above U+10FFFF", "\xf4\x90\x80\x80", false},
        {"F5 lead", "\xf5\x80\x80\x80", false},
        {"FE byte", "\xfe", false},
        {"FF byte", "\xff", false},
        {"truncated two bytes", "\xc3", false},
        {"truncated three bytes", "\xe2\x82", false},
        {"truncated four bytes", "\xf0\x9f\x98", false},
        {"truncated in the middle", "\xe2\x82" "a", false},
        {"bad second continuation", "\xe2\x82\x41", false},
        {"bad fourth byte", "\xf0\x9f\x98\xc0", false},
        {"old five-byte form", "\xf8\x88\x80\x80\x80", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(isLegalUTF8String(c.bytes), c.legal);
        EXPECT_EQ(isLegalUTF8String(c.bytes.data(), c.bytes.size()), c.legal);
    }
}

TEST(TextUtf8, LengthLimitsTheCheck)
{
    // Only the given length counts: a truncated view of a valid sequence is illegal,
    // and bytes past the length are not examined.
    const char data[] = "ab\xe2\x82\xac\xff";
    EXPECT_TRUE(isLegalUTF8String(data, 5));
    EXPECT_FALSE(isLegalUTF8String(data, 4));
    EXPECT_FALSE(isLegalUTF8String(data, 6));
    EXPECT_TRUE(isLegalUTF8String(nullptr, 0));
}

// ---- ReplaceBars

TEST(TextReplaceBars, Table)
{
    struct Case
    {
        const char* name;
        const char* input;
        const char* expected;
    };
    const Case cases[] = {
        {"empty", "", ""},
        {"plain", "abc", "abc"},
        {"bar", "a|b", "a\\|b"},
        {"backslash", "a\\b", "a\\\\b"},
        {"backslash before bar", "\\|", "\\\\\\|"},
        {"only bars", "||", "\\|\\|"},
        {"non-ASCII kept", "\xc3\xa9|\xe2\x82\xac", "\xc3\xa9\\|\xe2\x82\xac"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(U8(ReplaceBars(wxString::FromUTF8(c.input))), c.expected);
    }
}

TEST(TextReplaceBars, RecordSplitsAtUnescapedBars)
{
    const wxString fields[] = {wxT("a|b"), wxT("c\\"), wxT("\\|d"), wxT("")};
    wxString record;
    for (size_t i = 0; i < 4; ++i) {
        if (i) record += wxT('|');
        record += ReplaceBars(fields[i]);
    }
    // Splitting: a backslash escapes the next character, a bare bar separates.
    std::vector<wxString> parts(1);
    for (size_t i = 0; i < record.length(); ++i) {
        wxUniChar c = record[i];
        if (c == wxT('\\') && i + 1 < record.length()) {
            parts.back() += record[++i];
        } else if (c == wxT('|')) {
            parts.emplace_back();
        } else {
            parts.back() += c;
        }
    }
    ASSERT_EQ(parts.size(), 4u);
    for (size_t i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(parts[i], fields[i]);
    }
}

// ---- maps of sets and lists

TEST(TextMapSet, AddToMapSetCreatesAndAccumulates)
{
    MapStringToInt64Set map;
    AddToMapSet(map, wxT("a"), 1);
    AddToMapSet(map, wxT("a"), 2);
    AddToMapSet(map, wxT("a"), 1);
    AddToMapSet(map, wxT("b"), -5);
    AddToMapSet(map, wxString::FromUTF8("\xc3\xa9"), LLONG_MAX);

    struct Case
    {
        const char* key;
        Int64Set expected;
    };
    const Case cases[] = {
        {"a", {1, 2}},
        {"b", {-5}},
        {"\xc3\xa9", {LLONG_MAX}},
    };
    EXPECT_EQ(map.size(), 3u);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        auto it = map.find(wxString::FromUTF8(c.key));
        ASSERT_NE(it, map.end());
        EXPECT_EQ(it->second, c.expected);
    }
}

TEST(TextToList, SetsAndVectors)
{
    struct Case
    {
        const char* name;
        std::vector<long long> ids;
        wxChar separator;
        bool parentheses;
        const char* expected;
    };
    const Case cases[] = {
        {"doc example", {12, 3, 7}, wxT(','), true, "(3,7,12)"},
        {"no parentheses", {12, 3, 7}, wxT(','), false, "3,7,12"},
        {"empty with parentheses", {}, wxT(','), true, "()"},
        {"empty without", {}, wxT(','), false, ""},
        {"single", {42}, wxT(','), true, "(42)"},
        {"negative and large", {LLONG_MAX, -1, LLONG_MIN, 0}, wxT(' '), false,
         "-9223372036854775808 -1 0 9223372036854775807"},
        {"numeric not text order", {100, 20, 3}, wxT(';'), false, "3;20;100"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(U8(toList(c.ids, c.separator, c.parentheses)), c.expected);
        Int64Set set(c.ids.begin(), c.ids.end());
        EXPECT_EQ(U8(toList(set, c.separator, c.parentheses)), c.expected);
    }
    // A vector keeps repeated ids; a set cannot hold them.
    EXPECT_EQ(U8(toList(std::vector<long long>{2, 1, 2}, wxT(','), false)), "1,2,2");
    EXPECT_EQ(U8(toList(Int64Set{2, 1}, wxChar(0x2022), false)), "1\xe2\x80\xa2" "2");
}

// ---- clocks

namespace {

unsigned long long ClockMillis(clockid_t clock)
{
    struct timespec ts;
    clock_gettime(clock, &ts);
    return static_cast<unsigned long long>(ts.tv_sec) * 1000ULL + static_cast<unsigned long long>(ts.tv_nsec) / 1000000ULL;
}

}  // namespace

TEST(TimeUtil, TickCountFollowsTheMonotonicClock)
{
    for (int i = 0; i < 100; ++i) {
        SCOPED_TRACE(i);
        const uint32_t before = static_cast<uint32_t>(ClockMillis(CLOCK_MONOTONIC));
        const uint32_t tick = SystemTickCount();
        const uint32_t after = static_cast<uint32_t>(ClockMillis(CLOCK_MONOTONIC));
        // Unsigned differences survive the wrap at 2^32.
        EXPECT_LE(static_cast<uint32_t>(tick - before), static_cast<uint32_t>(after - before));
    }
}

TEST(TimeUtil, TickCountNeverGoesBack)
{
    uint32_t previous = SystemTickCount();
    const uint32_t start = previous;
    // Spin until the clock has advanced a few milliseconds.
    while (static_cast<uint32_t>(previous - start) < 3) {
        const uint32_t now = SystemTickCount();
        ASSERT_LT(static_cast<uint32_t>(now - previous), 1000u) << "tick went backwards";
        previous = now;
    }
}

TEST(TimeUtil, NowMillisFollowsTheWallClock)
{
    const long long before = static_cast<long long>(ClockMillis(CLOCK_REALTIME));
    const long long now = TimeNowMillis();
    const long long after = static_cast<long long>(ClockMillis(CLOCK_REALTIME));
    EXPECT_LE(before, now);
    EXPECT_LE(now, after);
    // Sanity: after 2020-01-01 and in milliseconds, not seconds or microseconds.
    EXPECT_GT(now, 1577836800000LL);
    EXPECT_LT(now, 32503680000000LL);
}
