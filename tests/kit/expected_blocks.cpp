#include "tests/kit/expected_blocks.h"

#include <cwchar>
#include <cwctype>

std::wstring ExpectedVidPidLine(const std::wstring& hardwareId)
{
    std::wstring id = hardwareId;
    for (wchar_t& c : id)
        c = static_cast<wchar_t>(std::towupper(c));
    unsigned vendor = 0, product = 0;
    if (id.compare(0, 7, L"USB\\VID") == 0)
        swscanf(id.c_str(), L"USB\\VID_%x&PID_%x", &vendor, &product);
    wchar_t line[64];
    swprintf(line, 64, L"VID = %04X ,PID = %04X", vendor & 0xFFFF, product & 0xFFFF);
    return line;
}

std::wstring ExpectedBlock(const std::wstring& description, const std::wstring& vidPidLine,
                           const std::wstring& hardwareId)
{
    return description + L"\r\n" + vidPidLine + L"\r\n" + L"硬件ID = " + hardwareId + L"\r\n" +
           std::wstring(47, L'-') + L"\r\n";
}

std::wstring ExpectedBlocks(const std::vector<ExpectedDevice>& devices)
{
    std::wstring text;
    for (const ExpectedDevice& d : devices)
        text += ExpectedBlock(d.description, ExpectedVidPidLine(d.hardwareId), d.hardwareId);
    return text;
}
