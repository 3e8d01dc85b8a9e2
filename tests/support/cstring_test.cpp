#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "support/cstring.h"
#include "system_owned.h"
#include "tests/support/string_ids.h"

namespace {

// Sets the block allocator to fail after `successes` more allocations, for
// the life of the object.
class AllocationFailure {
public:
    explicit AllocationFailure(int successes) { FailTextBlockAllocationsAfter(successes); }
    ~AllocationFailure() { FailTextBlockAllocationsAfter(-1); }
};

void ExpectSharedEmpty(const CString& s)
{
    EXPECT_TRUE(s.IsSharedEmpty());
    EXPECT_EQ(0, s.Length());
    EXPECT_EQ(-1, s.RefCount());
    EXPECT_EQ(L'\0', s.Text()[0]);
}

// A private block whose capacity exceeds its length.
CString WithRoom(const wchar_t* text, int capacity)
{
    CString s;
    wchar_t* buffer = s.OpenBuffer(capacity);
    lstrcpyW(buffer, text);
    s.CloseBuffer();
    return s;
}

}  // namespace

TEST(CStringEmpty, EveryEmptyStringIsTheSharedEmptyBlock)
{
    const wchar_t* empty = CString().Text();
    {
        CString byDefault, fromNull(static_cast<const wchar_t*>(nullptr)), fromLiteral(L"");
        CString copy(byDefault), assigned;
        assigned = fromLiteral;
        for (const CString* s : {&byDefault, &fromNull, &fromLiteral, &copy, &assigned}) {
            ExpectSharedEmpty(*s);
            EXPECT_EQ(empty, s->Text());
        }
    }
    // Releasing all of them neither freed nor counted the shared block.
    ExpectSharedEmpty(CString());
    EXPECT_EQ(empty, CString().Text());
}

TEST(CStringEmpty, ReleasedStringPointsAtSharedEmpty)
{
    CString s(L"abc");
    CString moved(static_cast<CString&&>(s));
    ExpectSharedEmpty(s);
    s = L"";
    ExpectSharedEmpty(s);
    EXPECT_STREQ(L"abc", moved.Text());
}

TEST(CStringAssignment, AssigningAnEmptyStringEmptiesAPrivateBlockInPlace)
{
    CString s(L"x");
    const wchar_t* block = s.Text();
    const CString empty;
    s = empty;  // SharedEmpty is never shared: its text is copied
    EXPECT_EQ(block, s.Text());
    EXPECT_EQ(0, s.Length());
    EXPECT_EQ(1, s.Capacity());
    EXPECT_EQ(L'\0', s.Text()[0]);
}

TEST(CStringBlock, TextGetsABlockOfExactlyItsLength)
{
    CString s(L"hello");
    EXPECT_EQ(5, s.Length());
    EXPECT_EQ(5, s.Capacity());
    EXPECT_EQ(1, s.RefCount());
    EXPECT_STREQ(L"hello", s.Text());
}

TEST(CStringSharing, CopiesShareOneBlockAndCountIt)
{
    CString a(L"abc");
    {
        CString b(a), c;
        c = b;
        EXPECT_EQ(a.Text(), b.Text());
        EXPECT_EQ(a.Text(), c.Text());
        EXPECT_EQ(3, a.RefCount());
    }
    EXPECT_EQ(1, a.RefCount());

    CString d(L"other"), keep(d);
    d = a;  // releases its old block, which keep still holds
    EXPECT_EQ(1, keep.RefCount());
    EXPECT_STREQ(L"other", keep.Text());
    EXPECT_EQ(2, a.RefCount());
}

TEST(CStringSharing, ChangingACopyLeavesTheOriginalAlone)
{
    struct Case {
        const char* change;
        void (*apply)(CString&);
        const wchar_t* changed;
    };
    const Case cases[] = {
        {"ToUpperInPlace", [](CString& s) { s.ToUpperInPlace(); }, L"ABC"},
        {"OpenBuffer", [](CString& s) { s.OpenBuffer(3)[0] = L'x'; s.CloseBuffer(); }, L"xbc"},
        {"OpenBuffer larger", [](CString& s) { lstrcpyW(s.OpenBuffer(8), L"abcdefgh"); s.CloseBuffer(); }, L"abcdefgh"},
        {"OpenBufferWithLength", [](CString& s) { s.OpenBufferWithLength(2); }, L"ab"},
        {"CloseBuffer", [](CString& s) { s.CloseBuffer(); }, L"abc"},
        {"AppendText", [](CString& s) { s.AppendText(CString(L"d")); }, L"abcd"},
        {"AssignText", [](CString& s) { s.AssignText(L"z"); }, L"z"},
        {"FormatText", [](CString& s) { s.FormatText(L"%d", 7); }, L"7"},
    };
    for (const Case& c : cases) {
        CString original(L"abc");
        CString copy(original);
        ASSERT_EQ(original.Text(), copy.Text());
        c.apply(copy);
        EXPECT_STREQ(L"abc", original.Text()) << c.change;
        EXPECT_STREQ(c.changed, copy.Text()) << c.change;
        EXPECT_NE(original.Text(), copy.Text()) << c.change;
        EXPECT_EQ(1, original.RefCount()) << c.change;
        EXPECT_EQ(1, copy.RefCount()) << c.change;
    }
}

TEST(CStringAssignment, SelfAssignmentChangesNothingAndAllocatesNothing)
{
    CString s(L"abc");
    const wchar_t* before = s.Text();
    AllocationFailure noAllocation(0);
    CString& alias = s;
    s = alias;
    CString copy(s);
    s = copy;
    EXPECT_EQ(before, s.Text());
    EXPECT_STREQ(L"abc", s.Text());
    EXPECT_EQ(2, s.RefCount());
}

TEST(CStringAssignment, AssignTextReusesAPrivateBlockThatHasRoom)
{
    CString s(L"hello");
    const wchar_t* block = s.Text();
    s.AssignText(L"hi");
    EXPECT_EQ(block, s.Text());
    EXPECT_STREQ(L"hi", s.Text());
    EXPECT_EQ(2, s.Length());
    EXPECT_EQ(5, s.Capacity());

    s.AssignText(L"longer text");
    EXPECT_STREQ(L"longer text", s.Text());
    EXPECT_EQ(11, s.Capacity());

    s.AssignText(nullptr);
    EXPECT_EQ(0, s.Length());
    EXPECT_EQ(L'\0', s.Text()[0]);
}

TEST(CStringBuffer, OpenBufferGivesRoomAndCloseBufferFindsTheEnd)
{
    CString s(L"ab");
    wchar_t* buffer = s.OpenBuffer(10);
    ASSERT_NE(nullptr, buffer);
    EXPECT_EQ(10, s.Capacity());
    EXPECT_EQ(2, s.Length());
    EXPECT_STREQ(L"ab", buffer);
    lstrcpyW(buffer, L"abcdef");
    s.CloseBuffer();
    EXPECT_EQ(6, s.Length());
    EXPECT_STREQ(L"abcdef", s.Text());

    // A smaller request keeps the block and the text.
    EXPECT_EQ(buffer, s.OpenBuffer(1));
    EXPECT_EQ(6, s.Length());

    EXPECT_EQ(buffer, s.OpenBufferWithLength(3));
    EXPECT_EQ(3, s.Length());
    EXPECT_STREQ(L"abc", s.Text());
}

TEST(CStringBuffer, CloseBufferStaysInsideAFullRoomWithoutTerminator)
{
    CString s;
    wchar_t* buffer = s.OpenBuffer(4);
    for (int i = 0; i <= 4; ++i) buffer[i] = L'x';  // the terminator's slot too
    s.CloseBuffer();
    EXPECT_EQ(4, s.Length());
    EXPECT_STREQ(L"xxxx", s.Text());
}

TEST(CStringBuffer, OpenBufferForNothingOnEmptyAllocatesNothing)
{
    CString s;
    AllocationFailure noAllocation(0);
    ASSERT_NE(nullptr, s.OpenBuffer(0));
    s.CloseBuffer();
    ExpectSharedEmpty(s);
}

TEST(CStringReading, TakeRightClampsItsCount)
{
    struct Case {
        const wchar_t* text;
        int n;
        const wchar_t* expected;
    };
    const Case cases[] = {
        {L"0000046D", 4, L"046D"}, {L"AB", 4, L"AB"}, {L"AB", 2, L"AB"},
        {L"AB", -1, L""},          {L"AB", 0, L""},   {L"", 3, L""},
    };
    for (const Case& c : cases) {
        CString source(c.text);
        CString right = source.TakeRight(c.n);
        EXPECT_STREQ(c.expected, right.Text()) << c.text << " " << c.n;
        EXPECT_EQ(lstrlenW(c.expected), right.Capacity()) << c.text << " " << c.n;
        EXPECT_EQ(*c.expected == 0, right.IsSharedEmpty()) << c.text << " " << c.n;
        EXPECT_STREQ(c.text, source.Text());
    }
}

TEST(CStringReading, EqualsAndIndexOf)
{
    CString s(L"USB\\VID_046D&PID_C52B");
    EXPECT_TRUE(s.Equals(L"USB\\VID_046D&PID_C52B"));
    EXPECT_TRUE(s.Equals(CString(L"USB\\VID_046D&PID_C52B")));
    EXPECT_FALSE(s.Equals(L"usb\\vid_046d&pid_c52b"));
    EXPECT_FALSE(s.Equals(L"USB\\VID_046D&PID_C52"));
    EXPECT_TRUE(CString().Equals(L""));

    EXPECT_EQ(0, s.IndexOf(L"USB\\VID"));
    EXPECT_EQ(13, s.IndexOf(L"PID_"));
    EXPECT_EQ(-1, s.IndexOf(L"HID"));
    EXPECT_EQ(-1, CString().IndexOf(L"a"));
}

TEST(CStringBuilding, ConcatenateMakesAnExactBlock)
{
    CString both = CString::Concatenate(CString(L"VID"), CString(L" = 1"));
    EXPECT_STREQ(L"VID = 1", both.Text());
    EXPECT_EQ(7, both.Capacity());
    EXPECT_STREQ(L"ab", CString::Concatenate(CString(L"ab"), static_cast<const wchar_t*>(nullptr)).Text());
    EXPECT_STREQ(L"cd", CString::Concatenate(CString(), L"cd").Text());
    ExpectSharedEmpty(CString::Concatenate(CString(), CString()));
    ExpectSharedEmpty(CString::Concatenate(CString(), L""));
}

TEST(CStringBuilding, AppendTextUsesSpareRoomElseAnExactBlock)
{
    CString roomy = WithRoom(L"ab", 8);
    const wchar_t* block = roomy.Text();
    roomy.AppendText(CString(L"cd"));
    EXPECT_EQ(block, roomy.Text());
    EXPECT_STREQ(L"abcd", roomy.Text());
    roomy.AppendText(roomy);
    EXPECT_STREQ(L"abcdabcd", roomy.Text());
    EXPECT_EQ(block, roomy.Text());
    roomy.AppendText(CString(L"!"));
    EXPECT_STREQ(L"abcdabcd!", roomy.Text());
    EXPECT_EQ(9, roomy.Capacity());

    CString tight(L"x");
    tight.AppendText(CString());
    EXPECT_STREQ(L"x", tight.Text());
    tight.AppendText(tight);
    EXPECT_STREQ(L"xx", tight.Text());
    EXPECT_EQ(2, tight.Capacity());

    CString empty;
    empty.AppendText(CString());
    ExpectSharedEmpty(empty);
}

TEST(CStringBuilding, ToUpperInPlaceKeepsTheLength)
{
    CString s(L"usb\\vid_046d&pid_c52b\\6&2a");
    s.ToUpperInPlace();
    EXPECT_STREQ(L"USB\\VID_046D&PID_C52B\\6&2A", s.Text());
    EXPECT_EQ(26, s.Length());
    CString empty;
    empty.ToUpperInPlace();
    ExpectSharedEmpty(empty);
}

TEST(CStringFailure, FailedAllocationLeavesTheDocumentedState)
{
    CString s(L"abc");
    const wchar_t* block = s.Text();
    AllocationFailure failing(0);

    EXPECT_EQ(nullptr, s.OpenBuffer(10));
    EXPECT_EQ(nullptr, s.OpenBufferWithLength(10));
    EXPECT_FALSE(s.FormatText(L"%d", 12345));
    s.AppendText(CString(L"d"));
    EXPECT_EQ(block, s.Text());  // all of these leave the string unchanged
    EXPECT_STREQ(L"abc", s.Text());
    EXPECT_EQ(3, s.Capacity());

    ExpectSharedEmpty(CString::Concatenate(s, L"d"));
    ExpectSharedEmpty(s.TakeRight(2));
    ExpectSharedEmpty(CString(L"new"));
    ExpectSharedEmpty(CString(MAKEINTRESOURCEW(IDS_SHORT)));

    CString assigned(s);
    assigned.AssignText(L"xyz");  // shared, so it needs a block of its own
    ExpectSharedEmpty(assigned);
    EXPECT_EQ(1, s.RefCount());
}

TEST(CStringFailure, FailedUnshareLeavesTheCopyEmptyAndTheOriginalIntact)
{
    CString original(L"abc");
    CString copy(original);
    AllocationFailure failing(0);
    copy.ToUpperInPlace();
    ExpectSharedEmpty(copy);
    EXPECT_STREQ(L"abc", original.Text());
    EXPECT_EQ(1, original.RefCount());
}

TEST(CStringFailure, FailedFormatKeepsTheOldTextEvenWhenItWouldFit)
{
    CString s;
    AllocationFailure failing(0);
    EXPECT_FALSE(s.FormatText(L"%s", L"text"));
    ExpectSharedEmpty(s);
}

DWORD WINAPI CopyRepeatedly(void* source)
{
    for (int i = 0; i < 20000; ++i) {
        CString copy(*static_cast<const CString*>(source));
        CString other;
        other = copy;
    }
    return 0;
}

TEST(CStringConcurrency, CopiesOnManyThreadsKeepTheCountExact)
{
    CString shared(L"shared text");
    SystemHandle owners[4];
    HANDLE threads[4];
    for (int i = 0; i < 4; ++i) {
        owners[i] = SystemHandle(CreateThread(nullptr, 0, CopyRepeatedly, &shared, 0, nullptr));
        threads[i] = owners[i].Get();
    }
    WaitForMultipleObjects(4, threads, TRUE, INFINITE);
    EXPECT_EQ(1, shared.RefCount());
}

TEST(CStringStringTable, LoadsShortLongAndBrimFullEntries)
{
    struct Case {
        UINT id;
        std::wstring expected;
    };
    std::wstring longText;
    for (int i = 0; i < 300; ++i) longText += static_cast<wchar_t>(L'A' + i % 10);
    const Case cases[] = {
        {IDS_SHORT, L"VID\x3001PID\x83b7\x53d6\x5de5\x5177"},
        {IDS_LONG, longText},
        {IDS_EXACT_FIRST_BUFFER, std::wstring(255, L'x')},
    };
    for (const Case& c : cases) {
        CString loaded(L"previous");
        EXPECT_TRUE(loaded.LoadFromStringTable(c.id)) << c.id;
        EXPECT_EQ(c.expected, loaded.Text()) << c.id;
        EXPECT_EQ(static_cast<int>(c.expected.size()), loaded.Length()) << c.id;

        CString constructed(MAKEINTRESOURCEW(c.id));
        EXPECT_EQ(c.expected, constructed.Text()) << c.id;
    }
}

TEST(CStringStringTable, MissingEntryGivesFalseAndAnEmptyString)
{
    CString s(L"previous");
    EXPECT_FALSE(s.LoadFromStringTable(IDS_MISSING));
    EXPECT_EQ(0, s.Length());
    EXPECT_EQ(0, CString(MAKEINTRESOURCEW(IDS_MISSING)).Length());
}

TEST(CStringStringTable, FailedGrowthGivesFalse)
{
    CString s;
    AllocationFailure failing(0);
    EXPECT_FALSE(s.LoadFromStringTable(IDS_LONG));
    EXPECT_FALSE(s.LoadFromStringTable(IDS_SHORT));  // the short entry needs a block as well
    ExpectSharedEmpty(s);
}
