// Shared pieces of the end-to-end tests: the running program on a desktop of
// the test's own, simulated devices that are always removed again, and the
// devices the program should show, read from the Setup API by the kit's
// reference walk.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "devsim.h"
#include "driver.h"
#include "tests/kit/expected_blocks.h"
#include "tests/kit/reference_walk.h"
#include "ui/resources/resource.h"

namespace e2e {

constexpr DWORD kWaitMs = 10000;

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
    ExpectedDevice Add(const std::wstring& description, const std::wstring& hardwareId)
    {
        devsim::DevicePlan plan;
        if (!description.empty())
            plan.description = description;
        plan.hardwareIds = {hardwareId, L"USB\\E2E_SECOND_ID"};
        std::wstring id;
        if (!devsim::AddDevice(plan, &id))
            return ExpectedDevice();
        ids_.push_back(id);
        std::wstring upper = hardwareId;
        CharUpperBuffW(&upper[0], static_cast<DWORD>(upper.size()));
        return ExpectedDevice{description, upper};
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
// when this object goes. Every program of a test process runs on one desktop
// of that process's own, so programs that other tests show meanwhile cannot
// take the foreground from it.
class Program {
public:
    bool Start()
    {
        static driver::PrivateDesktop desktop;
        static bool entered = desktop.Enter(L"ostrivo-e2e");
        if (!entered)
            return false;
        process_ = driver::Process::Start(L"Z:" OSTRIVO_EXE);
        if (!process_.Valid())
            return false;
        dialog_ = driver::WaitForDialog(process_, MAIN_DIALOG_TITLE, nullptr, kWaitMs);
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
