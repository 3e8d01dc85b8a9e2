// The text the device lists must show, worked out the way a reader of the
// lists would: the expectation the product is checked against, with no
// product code in it.
#pragma once

#include <string>
#include <vector>

// "VID = 046D ,PID = C52B" for ids that begin "USB\VID" (upper-cased first),
// "VID = 0000 ,PID = 0000" for any other.
std::wstring ExpectedVidPidLine(const std::wstring& hardwareId);

// One device's four lines, each ended by CR LF: its description, the VID/PID
// line, "硬件ID = " with the id as given, and 47 dashes.
std::wstring ExpectedBlock(const std::wstring& description, const std::wstring& vidPidLine,
                           const std::wstring& hardwareId);

struct ExpectedDevice {
    std::wstring description;
    std::wstring hardwareId;  // as the list shows it: upper-cased
};

// The blocks of `devices` in order, VID/PID lines worked out from their ids.
std::wstring ExpectedBlocks(const std::vector<ExpectedDevice>& devices);
