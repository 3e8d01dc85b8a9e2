// Where the reader's place in a list falls once its text is rebuilt, on
// plain texts built the way a reader of the lists would write them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "devices/view_place.h"
#include "tests/kit/expected_blocks.h"

namespace {

const ExpectedDevice kMouse = {L"Mouse", L"USB\\VID_046D&PID_C52B"};
const ExpectedDevice kStick = {L"USB 大容量存储设备", L"USB\\VID_0781&PID_5567"};
const ExpectedDevice kMonitor = {L"Monitor", L"MONITOR\\DEL4065"};
const ExpectedDevice kHub = {L"Hub", L"USB\\ROOT_HUB30"};
const ExpectedDevice kNoName = {L"", L"PCI\\VEN_8086&DEV_100E"};
const ExpectedDevice kPad = {L"Pad \U0001F3AE", L"USB\\VID_045E&PID_028E"};  // a surrogate pair

int Length(const std::vector<ExpectedDevice>& devices)
{
    return static_cast<int>(ExpectedBlocks(devices).size());
}

// Characters before device `index` of `devices`.
int Start(const std::vector<ExpectedDevice>& devices, size_t index)
{
    return Length(std::vector<ExpectedDevice>(devices.begin(), devices.begin() + index));
}

struct Case {
    const char* name;
    std::vector<ExpectedDevice> before;
    std::vector<ExpectedDevice> after;
    ViewPlace place;
    ViewPlace kept;
};

TEST(ViewPlace, FollowsTheDeviceAtTheTopAndTheSelectedText)
{
    const std::vector<ExpectedDevice> three = {kMouse, kStick, kMonitor};
    const int mouse = Length({kMouse});
    const int stick = Length({kStick});
    const Case cases[] = {
        {"nothing changed", three, three, {5, 40, 75}, {5, 40, 75}},
        {"a device arrives above the top one: all moves down by its block",
         three, {kHub, kMouse, kStick, kMonitor}, {5, mouse + 3, mouse + 9},
         {9, Length({kHub}) + mouse + 3, Length({kHub}) + mouse + 9}},
        {"a device arrives below the view: nothing moves",
         three, {kMouse, kStick, kMonitor, kHub}, {4, mouse + 2, mouse + 12},
         {4, mouse + 2, mouse + 12}},
        {"a device above leaves: the top one and the selection move up",
         three, {kStick, kMonitor}, {8, mouse + stick + 1, mouse + stick + 6},
         {4, stick + 1, stick + 6}},
        {"the device at the top leaves: the line number stays, the selection in it becomes a caret",
         three, {kMouse, kMonitor}, {5, mouse + 3, mouse + 9}, {5, mouse + 3, mouse + 3}},
        {"a selection over two blocks that both stay moves with them",
         three, {kHub, kMouse, kStick, kMonitor}, {0, 2, mouse + 4},
         {4, Length({kHub}) + 2, Length({kHub}) + mouse + 4}},
        {"a selection ending on a block's edge keeps its block",
         three, {kMouse, kHub, kStick, kMonitor}, {0, 0, mouse}, {0, 0, mouse}},
        {"a caret at the very end stays inside the shorter text",
         three, {kMouse}, {0, Length(three), Length(three)}, {0, mouse, mouse}},
        {"the list shrinks under the view: the last line at most",
         three, {kMouse}, {11, 0, 0}, {4, 0, 0}},
        {"a block without a description is found like any other",
         {kNoName, kMouse}, {kHub, kNoName, kMouse}, {4, 1, 1}, {8, Length({kHub}) + 1, Length({kHub}) + 1}},
        {"the top line is a separator and a device arrives above it: it stays on top",
         three, {kHub, kMouse, kStick, kMonitor}, {3, 0, 0}, {7, Length({kHub}), Length({kHub})}},
        {"a caret on a block's first character, a device arriving just before that block",
         three, {kMouse, kHub, kStick, kMonitor}, {0, mouse, mouse},
         {0, mouse + Length({kHub}), mouse + Length({kHub})}},
        {"a selection whose end's device leaves: a caret where its start went",
         three, {kHub, kMouse, kMonitor}, {0, 2, mouse + 4},
         {4, Length({kHub}) + 2, Length({kHub}) + 2}},
        {"a selection whose start's device leaves: a caret where its end went",
         three, {kMouse, kMonitor}, {0, mouse + 3, mouse + stick + 5},
         {0, mouse + 5, mouse + 5}},
        {"a whole device selected leaves as one arrives on top: a caret before the next one",
         three, {kHub, kMouse, kMonitor}, {0, mouse, mouse + stick},
         {4, Length({kHub}) + mouse, Length({kHub}) + mouse}},
        {"the selected device leaves: a caret at the selection's start, never inside CR LF",
         three, {kHub}, {0, 4, 6}, {0, 3, 3}},
        {"the selected device leaves: a caret never splits a surrogate pair",
         {kMouse}, {kPad}, {0, 5, 5}, {0, 4, 4}},
        {"from an empty list", {}, three, {0, 0, 0}, {0, 0, 0}},
        {"to an empty list", three, {}, {6, 10, 20}, {0, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::wstring before = ExpectedBlocks(c.before);
        std::wstring after = ExpectedBlocks(c.after);
        ViewPlace kept = KeepPlace({before.c_str(), static_cast<int>(before.size())},
                                   {after.c_str(), static_cast<int>(after.size())}, c.place);
        EXPECT_EQ(c.kept.firstLine, kept.firstLine);
        EXPECT_EQ(c.kept.selectionStart, kept.selectionStart);
        EXPECT_EQ(c.kept.selectionEnd, kept.selectionEnd);
    }
}

// Equal blocks (two identical devices) are told apart by their order: the
// second stays the second while other devices arrive between and after them.
TEST(ViewPlace, EqualBlocksMatchInOrder)
{
    const std::vector<ExpectedDevice> before = {kMouse, kStick, kMouse};
    const std::vector<ExpectedDevice> after = {kMouse, kHub, kStick, kMouse, kMonitor};
    std::wstring b = ExpectedBlocks(before);
    std::wstring a = ExpectedBlocks(after);
    const int secondMouse = Start(before, 2);
    ViewPlace kept = KeepPlace({b.c_str(), static_cast<int>(b.size())},
                               {a.c_str(), static_cast<int>(a.size())},
                               {9, secondMouse + 1, secondMouse + 5});
    EXPECT_EQ(13, kept.firstLine);
    EXPECT_EQ(Start(after, 3) + 1, kept.selectionStart);
    EXPECT_EQ(Start(after, 3) + 5, kept.selectionEnd);
}

}  // namespace
