// Shared pieces of the end-to-end tests: the running program, simulated
// devices that are always removed again, and the device blocks the program
// should show, worked out here from the Setup API on its own.
#pragma once

#include <windows.h>
#include <setupapi.h>

#include <cwchar>
#include <string>
#include <vector>

#include "devsim.h"
#include "driver.h"

namespace e2e {

constexpr wchar_t kMainTitle[] = L"VID、PID获取工具";
constexpr DWORD kWaitMs = 10000;

enum ControlId {
    kExit = IDCANCEL,
    kAllDevices = 1000,
    kRefresh = 1001,
    kChangedDevices = 1002,
    kSetBaseline = 1003,
    kDeviceCount = 1004,
    kDriveLetter = 1005,
    kGetHardwareId = 1006,
    kDriveLabel = 1007,
    kShowAbout = 57664,
};

struct Device {
    std::wstring description;
    std::wstring hardwareId;  // first id, upper-cased
};

inline std::wstring ReadProperty(HDEVINFO set, SP_DEVINFO_DATA* data, DWORD property)
{
    DWORD size = 0;
    SetupDiGetDeviceRegistryPropertyW(set, data, property, nullptr, nullptr, 0, &size);
    if (size == 0)
        return std::wstring();
    std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 2, L'\0');
    if (!SetupDiGetDeviceRegistryPropertyW(set, data, property, nullptr,
                                           reinterpret_cast<BYTE*>(buffer.data()), size, nullptr))
        return std::wstring();
    return std::wstring(buffer.data());
}

// Present devices with a hardware id, in the platform's order.
inline std::vector<Device> PresentDevices()
{
    std::vector<Device> devices;
    HDEVINFO set = SetupDiGetClassDevsW(nullptr, nullptr, nullptr,
                                        DIGCF_PRESENT | DIGCF_ALLCLASSES);
    if (set == INVALID_HANDLE_VALUE)
        return devices;
    SP_DEVINFO_DATA data = {};
    data.cbSize = sizeof(data);
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &data); ++i) {
        Device device;
        device.hardwareId = ReadProperty(set, &data, SPDRP_HARDWAREID);
        if (device.hardwareId.empty())
            continue;
        CharUpperBuffW(&device.hardwareId[0], static_cast<DWORD>(device.hardwareId.size()));
        device.description = ReadProperty(set, &data, SPDRP_DEVICEDESC);
        devices.push_back(device);
    }
    SetupDiDestroyDeviceInfoList(set);
    return devices;
}

inline std::wstring VidPidLine(const std::wstring& hardwareId)
{
    unsigned vendor = 0, product = 0;
    if (hardwareId.compare(0, 7, L"USB\\VID") == 0)
        swscanf(hardwareId.c_str(), L"USB\\VID_%x&PID_%x", &vendor, &product);
    wchar_t line[64];
    swprintf(line, 64, L"VID = %04X ,PID = %04X", vendor & 0xFFFF, product & 0xFFFF);
    return line;
}

inline std::wstring Blocks(const std::vector<Device>& devices)
{
    std::wstring text;
    for (const Device& d : devices) {
        text += d.description + L"\r\n";
        text += VidPidLine(d.hardwareId) + L"\r\n";
        text += L"硬件ID = " + d.hardwareId + L"\r\n";
        text += std::wstring(47, L'-') + L"\r\n";
    }
    return text;
}

// Simulated devices added by one test; whatever is left is removed at the end.
class SimulatedDevices {
public:
    SimulatedDevices() = default;
    ~SimulatedDevices()
    {
        if (!ids_.empty())
            devsim::RemoveDevices(ids_);
    }
    SimulatedDevices(const SimulatedDevices&) = delete;
    SimulatedDevices& operator=(const SimulatedDevices&) = delete;

    // The device as the program should show it; an empty hardware id on failure.
    Device Add(const std::wstring& description, const std::wstring& hardwareId)
    {
        devsim::DevicePlan plan;
        if (!description.empty())
            plan.description = description;
        plan.hardwareIds = {hardwareId, L"USB\\E2E_SECOND_ID"};
        std::wstring id;
        if (!devsim::AddDevice(plan, &id))
            return Device();
        ids_.push_back(id);
        std::wstring upper = hardwareId;
        CharUpperBuffW(&upper[0], static_cast<DWORD>(upper.size()));
        return Device{description, upper};
    }

    bool RemoveLast()
    {
        if (ids_.empty() || !devsim::RemoveDevice(ids_.back()))
            return false;
        ids_.pop_back();
        return true;
    }

    bool RemoveFirst()
    {
        if (ids_.empty() || !devsim::RemoveDevice(ids_.front()))
            return false;
        ids_.erase(ids_.begin());
        return true;
    }

private:
    std::vector<std::wstring> ids_;
};

// The real program, started and found by its dialog; ended at the latest
// when this object goes.
class Program {
public:
    bool Start()
    {
        process_ = driver::Process::Start(L"Z:" OSTRIVO_EXE);
        if (!process_.Valid())
            return false;
        dialog_ = driver::WaitForDialog(process_, kMainTitle, nullptr, kWaitMs);
        return dialog_ != nullptr;
    }

    HWND Dialog() const { return dialog_; }
    const driver::Process& Process() const { return process_; }

    std::wstring Text(int controlId) const
    {
        std::wstring text;
        if (!driver::ReadControlText(dialog_, controlId, &text))
            return L"<unreadable>";
        return text;
    }

    // Whether the dialog's thread still handles messages.
    bool Answers() const
    {
        DWORD_PTR result = 0;
        return SendMessageTimeoutW(dialog_, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, driver::kMessageTimeoutMs,
                                   &result) != 0;
    }

    // The exit code, or a value no dialog ends with when it does not end in time.
    DWORD ExitCode() const
    {
        DWORD code = 0;
        if (!process_.WaitForExit(kWaitMs, &code))
            return 0xDEAD;
        return code;
    }

private:
    driver::Process process_;
    HWND dialog_ = nullptr;
};

}  // namespace e2e
