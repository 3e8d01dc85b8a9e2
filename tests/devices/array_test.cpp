#include <gtest/gtest.h>

#include <vector>

#include "devices/device_entry.h"
#include "tests/kit/child_process.h"

namespace {

DeviceEntry EntryNumbered(unsigned i)
{
    DeviceEntry entry;
    entry.productId = static_cast<uint16_t>(i);
    entry.hardwareId.FormatText(L"USB\\VID_0001&PID_%04X", i);
    return entry;
}

TEST(DeviceList, GrowsByTheRuleAndKeepsEntriesInOrder)
{
    const unsigned expected[] = {1, 5, 9, 13, 17, 21, 25, 29, 33, 37, 41, 46, 51, 57};
    DeviceList list;
    EXPECT_EQ(0u, list.Size());
    EXPECT_EQ(0u, list.Capacity());
    std::vector<unsigned> seen;
    for (unsigned i = 0; i < 57; ++i) {
        list.Append(EntryNumbered(i));
        if (seen.empty() || seen.back() != list.Capacity())
            seen.push_back(list.Capacity());
    }
    EXPECT_EQ(std::vector<unsigned>(std::begin(expected), std::end(expected)), seen);
    ASSERT_EQ(57u, list.Size());
    for (unsigned i = 0; i < list.Size(); ++i) {
        CString want = EntryNumbered(i).hardwareId;
        EXPECT_TRUE(list.At(i).hardwareId.Equals(want)) << i;
        EXPECT_EQ(i, list.At(i).productId);
    }
}

TEST(DeviceList, StepIsCappedAt1024)
{
    GrowableArray<int> list;
    unsigned previous = 0;
    unsigned lastStep = 0;
    for (int i = 0; i < 12000; ++i) {
        list.Append(i);
        if (list.Capacity() != previous) {
            lastStep = list.Capacity() - previous;
            EXPECT_LE(lastStep, 1024u);
            previous = list.Capacity();
        }
    }
    EXPECT_EQ(1024u, lastStep);
    EXPECT_EQ(11999, list.At(11999));
}

// Moving entries into new storage must neither copy nor drop a reference.
TEST(DeviceList, GrowthAndClearReleaseEveryString)
{
    CString shared(L"USB\\VID_046D&PID_C52B");
    DeviceEntry entry;
    entry.hardwareId = shared;
    DeviceList list;
    for (int i = 0; i < 20; ++i)
        list.Append(entry);
    EXPECT_EQ(22, shared.RefCount());  // shared, entry and twenty list entries

    list.Clear();
    EXPECT_EQ(2, shared.RefCount());
    EXPECT_EQ(0u, list.Size());
    EXPECT_EQ(0u, list.Capacity());

    list.Clear();  // on an empty list
    EXPECT_EQ(0u, list.Size());

    list.Append(entry);  // usable again, and starts small again
    EXPECT_EQ(1u, list.Capacity());
    EXPECT_EQ(3, shared.RefCount());
}

// Appending one of the list's own entries when the storage is full: the
// entry must be copied before its storage is released.
TEST(DeviceList, AppendsItsOwnEntryWhileGrowing)
{
    DeviceList list;
    for (unsigned i = 0; i < 5; ++i)
        list.Append(EntryNumbered(i));
    ASSERT_EQ(list.Size(), list.Capacity());
    list.Append(list.At(2));
    ASSERT_EQ(6u, list.Size());
    EXPECT_TRUE(list.At(5).hardwareId.Equals(EntryNumbered(2).hardwareId));
    EXPECT_EQ(2, list.At(5).hardwareId.RefCount());
}

TEST(DeviceList, AtOutOfRangeEndsTheProcess)
{
    DWORD beyond = RunInChildProcess("beyond", [] {
        DeviceList list;
        list.Append(EntryNumbered(0));
        list.Append(EntryNumbered(1));
        list.At(2);
    });
    EXPECT_EQ(0xC000001Du, beyond);

    DWORD empty = RunInChildProcess("empty", [] {
        const DeviceList list;
        list.At(0);
    });
    EXPECT_EQ(0xC000001Du, empty);

    DWORD negative = RunInChildProcess("negative", [] {
        DeviceList list;
        list.Append(EntryNumbered(0));
        list.At(static_cast<unsigned>(-1));
    });
    EXPECT_EQ(0xC000001Du, negative);
}

// An element this large can never be allocated: in a 32-bit process the
// address space lacks the room, in a 64-bit one it is beyond the list's limit.
struct Huge {
#ifdef _WIN64
    char bytes[0x100000010ull];
#else
    char bytes[0x7FFFFFF0];
#endif
};

TEST(DeviceList, FailedGrowthEndsTheProcessOutOfMemory)
{
    DWORD code = RunInChildProcess("no_room", [] {
        // Never read: growth fails before the copy. Through a volatile
        // pointer so the compiler does not judge the cast.
        static char room[16];
        char* volatile source = room;
        GrowableArray<Huge> list;
        list.Append(*reinterpret_cast<const Huge*>(source));
    });
    EXPECT_EQ(0xC0000017u, code);
}

}  // namespace
