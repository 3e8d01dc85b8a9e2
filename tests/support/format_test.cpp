#include <gtest/gtest.h>
#include <windows.h>

#include <cstdarg>
#include <string>
#include <vector>

#include "support/cstring.h"
#include "support/text_format.h"

namespace {

constexpr wchar_t kGuard = 0xFDFD;
constexpr int kGuardUnits = 16;

struct Outcome {
    bool formatted = false;
    std::wstring text;  // as FormatText left it
    int length = 0;
    int capacity = 0;
    int estimate = -1;
    int natural = -1;         // units written when the room is far larger than the estimate
    bool guardIntact = false;  // nothing written past the estimated room and its terminator
};

Outcome Format(const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    Outcome o;
    CString s;
    o.formatted = s.FormatTextV(format, args);
    o.text = s.Text();
    o.length = s.Length();
    o.capacity = s.Capacity();
    if (EstimateFormattedLength(format, args, &o.estimate)) {
        std::vector<wchar_t> wide(o.estimate + 4096 + 1);
        o.natural = FormatBounded(wide.data(), o.estimate + 4096, format, args);
        std::vector<wchar_t> exact(o.estimate + 1 + kGuardUnits, kGuard);
        FormatBounded(exact.data(), o.estimate, format, args);
        o.guardIntact = true;
        for (int i = o.estimate + 1; i < o.estimate + 1 + kGuardUnits; ++i) o.guardIntact &= exact[i] == kGuard;
    }
    va_end(args);
    return o;
}

std::wstring Repeated(wchar_t c, int n) { return std::wstring(n, c); }

}  // namespace

TEST(FormatText, WritesWhatPrintfWouldAndStaysInsideTheEstimate)
{
    static const std::wstring longText = Repeated(L'w', 5000);
    struct Case {
        std::wstring expected;
        Outcome (*run)();
    };
    const Case cases[] = {
        {L"001f", [] { return Format(L"%0.4x", 0x1F); }},
        {L"ffff8000", [] { return Format(L"%0.4x", static_cast<short>(0x8000)); }},  // widened with sign
        {L"ffff", [] { return Format(L"%0.4x", static_cast<unsigned short>(0xFFFF)); }},
        {L"259", [] { return Format(L"%d", 259); }},
        {L"-2147483648", [] { return Format(L"%d", INT_MIN); }},
        {L"%", [] { return Format(L"%%"); }},
        {L"100% sure", [] { return Format(L"100%% sure"); }},
        {L"(null)", [] { return Format(L"%s", static_cast<const wchar_t*>(nullptr)); }},
        {L"[]", [] { return Format(L"[%s]", L""); }},
        {L"VID = 046D ,PID = C52B", [] { return Format(L"VID = %s ,PID = %s", L"046D", L"C52B"); }},
        {L"\\\\?\\E:", [] { return Format(L"\\\\?\\%c:", L'E'); }},
        {L"\\\\?\\", [] { return Format(L"\\\\?\\%c:", 0); }},  // a 0 character ends the text
        {L"  abc", [] { return Format(L"%5.3s", L"abcdef"); }},
        {L"abc  |", [] { return Format(L"%-5.3s|", L"abcdef"); }},
        {L"      ab", [] { return Format(L"%8s", L"ab"); }},
        {L"ab", [] { return Format(L"%.*s", 2, L"abc"); }},
        {L"    x|x   ", [] { return Format(L"%5c|%-4c", L'x', L'x'); }},
        {L"   42|42   |", [] { return Format(L"%*d|%*d|", 5, 42, -5, 42); }},
        {L"+5| 5|-0042|00042", [] { return Format(L"%+d|% d|%05d|%.5d", 5, 5, -42, 42); }},
        {L"0xff|0XFF|010|10|0", [] { return Format(L"%#x|%#X|%#o|%o|%#x", 255, 255, 8, 8, 0); }},
        {L"4294967295|ABC|abc", [] { return Format(L"%u|%X|%x", -1, 0xABC, 0xABC); }},
        {L"-1234567890123|123456789ab|7", [] { return Format(L"%I64d|%I64x|%d", -1234567890123LL, 0x123456789ABULL, 7); }},
        {L"4464|65535|7", [] { return Format(L"%hd|%hu|%ld", 70000, -1, 7); }},
        {L"narrow|narrow|wide|a|b", [] { return Format(L"%hs|%S|%lS|%hc|%C", "narrow", "narrow", L"wide", 'a', 'b'); }},
        {L"00001234", [] { return Format(L"%p", reinterpret_cast<void*>(0x1234)); }},
        {L"-" + Repeated(L'0', 39) + L"1", [] { return Format(L"%.40d", -1); }},
        {Repeated(L' ', 1999) + L"7", [] { return Format(L"%2000d", 7); }},
        {L"<" + longText + L">", [] { return Format(L"<%s>", longText.c_str()); }},
        {L"ab", [] { return Format(L"a%y%I64sb%"); }},  // unknown conversions write nothing
    };
    for (const Case& c : cases) {
        Outcome o = c.run();
        EXPECT_TRUE(o.formatted) << c.expected;
        EXPECT_EQ(c.expected, o.text);
        EXPECT_EQ(static_cast<int>(c.expected.size()), o.length) << c.expected;
        EXPECT_LE(o.natural, o.estimate) << c.expected;
        EXPECT_TRUE(o.guardIntact) << c.expected;
    }
}

TEST(FormatText, EstimatesTheRoomOfEachConversion)
{
    struct Case {
        const char* format;
        int estimate;
        Outcome (*run)();
    };
    const Case cases[] = {
        {"%0.4x", 32, [] { return Format(L"%0.4x", 0x1F); }},
        {"%d", 32, [] { return Format(L"%d", 259); }},
        {"%40.10d", 50, [] { return Format(L"%40.10d", 1); }},
        {"%#x", 34, [] { return Format(L"%#x", 1); }},
        {"%s null", 6, [] { return Format(L"%s", static_cast<const wchar_t*>(nullptr)); }},
        {"%s empty", 1, [] { return Format(L"%s", L""); }},
        {"%s", 4, [] { return Format(L"%s", L"text"); }},
        {"%hs", 6, [] { return Format(L"%hs", "narrow"); }},
        {"%5.3s", 5, [] { return Format(L"%5.3s", L"abcdef"); }},
        {"%c", 2, [] { return Format(L"%c", L'c'); }},
        {"%%", 1, [] { return Format(L"%%"); }},
        {"ab%n", 2, [] { int n; return Format(L"ab%n", &n); }},
    };
    for (const Case& c : cases) {
        Outcome o = c.run();
        EXPECT_EQ(c.estimate, o.estimate) << c.format;
        EXPECT_EQ(c.estimate, o.capacity) << c.format;  // the room taken from an empty string
    }
}

TEST(FormatText, CountConversionStoresTheUnitsWrittenSoFar)
{
    int count = -1;
    CString s;
    ASSERT_TRUE(s.FormatText(L"abc%nde", &count));
    EXPECT_EQ(3, count);
    EXPECT_STREQ(L"abcde", s.Text());

    CString empty;
    ASSERT_TRUE(empty.FormatText(L"%n", &count));
    EXPECT_EQ(0, count);
    EXPECT_TRUE(empty.IsSharedEmpty());
}

TEST(FormatText, ReplacesTheTextOfAStringThatHadOne)
{
    CString s(L"a much longer previous text");
    CString copy(s);
    ASSERT_TRUE(s.FormatText(L"%d", 42));
    EXPECT_STREQ(L"42", s.Text());
    EXPECT_EQ(2, s.Length());
    EXPECT_STREQ(L"a much longer previous text", copy.Text());
}

namespace {

int FormatInto(wchar_t* out, int room, const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    int written = FormatBounded(out, room, format, args);
    va_end(args);
    return written;
}

}  // namespace

TEST(FormatBounded, NeverWritesPastTheRoomItIsGiven)
{
    struct Case {
        const char* name;
        int room;
        int (*run)(wchar_t* out, int room);
    };
    const Case cases[] = {
        {"%s", 3, [](wchar_t* out, int room) { return FormatInto(out, room, L"%s", L"abcdef"); }},
        {"%10s", 5, [](wchar_t* out, int room) { return FormatInto(out, room, L"%10s", L"abcdef"); }},
        {"x%dy", 0, [](wchar_t* out, int room) { return FormatInto(out, room, L"x%dy", 12345); }},
        {"%-8d", 2, [](wchar_t* out, int room) { return FormatInto(out, room, L"%-8d", 1); }},
        {"literal", 4, [](wchar_t* out, int room) { return FormatInto(out, room, L"plain text"); }},
    };
    for (const Case& c : cases) {
        wchar_t buffer[32];
        for (wchar_t& unit : buffer) unit = kGuard;
        int written = c.run(buffer, c.room);
        EXPECT_EQ(c.room, written) << c.name;
        EXPECT_EQ(L'\0', buffer[c.room]) << c.name;
        for (int i = c.room + 1; i < 32; ++i) EXPECT_EQ(kGuard, buffer[i]) << c.name << " at " << i;
    }
}

namespace {

std::string debugOutput;

LONG CALLBACK CaptureDebugOutput(EXCEPTION_POINTERS* info)
{
    const EXCEPTION_RECORD* r = info->ExceptionRecord;
    if (r->ExceptionCode == DBG_PRINTEXCEPTION_C && r->NumberParameters >= 2) {
        debugOutput += reinterpret_cast<const char*>(r->ExceptionInformation[1]);
    }
    return EXCEPTION_CONTINUE_SEARCH;
}

}  // namespace

TEST(FormatText, RefusesFloatingPointWithItsDiagnostic)
{
    for (const wchar_t* format : {L"%f", L"x%e", L"%5.2E", L"%g", L"%G"}) {
        CString s(L"unchanged");
        const wchar_t* block = s.Text();
        debugOutput.clear();
        PVOID handler = AddVectoredExceptionHandler(1, CaptureDebugOutput);
        bool formatted = s.FormatText(format, 1.5);
        RemoveVectoredExceptionHandler(handler);
        EXPECT_FALSE(formatted);
        EXPECT_EQ(block, s.Text());
        EXPECT_STREQ(L"unchanged", s.Text());
        EXPECT_EQ("Floating point (%%e, %%f, %%g, and %%G) is not supported by the CString class.", debugOutput);
    }
}
