#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "devices/baseline.h"
#include "support/platform/platform.h"
#include "tests/kit/scripted_platform.h"

namespace {

using Ids = std::vector<std::wstring>;

DeviceEntry Entry(const std::wstring& hardwareId)
{
    DeviceEntry entry;
    entry.hardwareId = hardwareId.c_str();
    entry.description = (L"was " + hardwareId).c_str();
    return entry;
}

void Fill(DeviceList& list, const Ids& ids)
{
    for (const std::wstring& id : ids)
        list.Append(Entry(id));
}

Ids IdsOf(const DeviceList& list)
{
    Ids ids;
    for (unsigned i = 0; i < list.Size(); ++i)
        ids.push_back(list.At(i).hardwareId.Text());
    return ids;
}

// The present devices, as the scripted platform reports them (the
// description says it came from the fresh walk).
void Present(ScriptedPlatform& platform, const Ids& ids)
{
    for (const std::wstring& id : ids)
        platform.devices.push_back({TextProperty(id), TextProperty(L"now " + id)});
}

struct CompareCase {
    const char* name;
    Ids baseline;
    Ids present;
    Ids expected;
    bool fromBaseline;  // whether the result's entries are the baseline's
};

TEST(CompareWithBaseline, ReportsConnectedOrRemovedByLength)
{
    const CompareCase cases[] = {
        {"identical", {L"A", L"B", L"C"}, {L"A", L"B", L"C"}, {}, false},
        {"connected, in walk order", {L"A", L"B"}, {L"X", L"A", L"B", L"Y"}, {L"X", L"Y"}, false},
        {"removed, in baseline order", {L"A", L"B", L"C", L"D"}, {L"D", L"B"}, {L"A", L"C"}, true},
        {"one out, one in, same count", {L"A", L"B"}, {L"A", L"C"}, {L"C"}, false},
        {"fewer now: new ones not told", {L"A", L"B", L"C"}, {L"A", L"X"}, {L"B", L"C"}, true},
        {"second device with a known id", {L"A", L"B"}, {L"A", L"B", L"A"}, {}, false},
        {"unknown id told each time", {L"A"}, {L"X", L"A", L"X"}, {L"X", L"X"}, false},
        {"empty baseline", {}, {L"A", L"B"}, {L"A", L"B"}, false},
        {"nothing anywhere", {}, {}, {}, false},
        {"exact comparison", {L"USB\\VID_0001&PID_0001"}, {L"USB\\VID_0001&PID_00010"},
         {L"USB\\VID_0001&PID_00010"}, false},
    };
    for (const CompareCase& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedPlatform platform;
        Present(platform, c.present);
        ScopedPlatform scope(platform);
        DeviceList baseline;
        Fill(baseline, c.baseline);
        DeviceList result;
        result.Append(Entry(L"stale"));

        EXPECT_TRUE(CompareWithBaseline(baseline, result));
        EXPECT_EQ(c.expected, IdsOf(result));
        EXPECT_EQ(c.baseline, IdsOf(baseline));
        for (unsigned i = 0; i < result.Size(); ++i) {
            std::wstring origin = c.fromBaseline ? L"was " : L"now ";
            EXPECT_EQ(origin + IdsOf(result)[i], result.At(i).description.Text());
        }
        EXPECT_TRUE(platform.NothingLeft());
    }
}

// A failed walk would otherwise show its partial list as "removed" devices.
TEST(CompareWithBaseline, FailedEnumerationGivesEmptyResultAndFalse)
{
    for (bool openFails : {true, false}) {
        SCOPED_TRACE(openFails ? "set fails to open" : "walk fails part way");
        ScriptedPlatform platform;
        Present(platform, {L"A", L"X", L"Y"});
        if (openFails)
            platform.FailCalls(L"SetupDiGetClassDevsW", ERROR_INVALID_PARAMETER);
        platform.BreakWalk(2, ERROR_INVALID_HANDLE);
        ScopedPlatform scope(platform);
        DeviceList baseline;
        Fill(baseline, {L"A", L"B", L"C"});
        DeviceList result;
        result.Append(Entry(L"stale"));

        EXPECT_FALSE(CompareWithBaseline(baseline, result));
        EXPECT_EQ(0u, result.Size());
        EXPECT_EQ((Ids{L"A", L"B", L"C"}), IdsOf(baseline));
        EXPECT_TRUE(platform.NothingLeft());
    }
}

}  // namespace
