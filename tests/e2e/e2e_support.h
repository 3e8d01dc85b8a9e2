// Shared pieces of the end-to-end tests: the running program on a desktop of
// the test's own, simulated devices that are always removed again, and the
// devices the program should show, read from the Setup API by the kit's
// reference walk.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "bounds.h"
#include "devsim.h"
#include "driver.h"
#include "tests/kit/beside.h"
#include "tests/kit/expected_blocks.h"
#include "tests/kit/reference_walk.h"
#include "ui/resources/resource.h"

namespace e2e {

// An ASCII report, for a text the test compares as wide.
inline std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

// "0xC0000017": a test's message streams each value apart, so std::hex
// would not reach the number.
inline std::string Hex(DWORD value)
{
    char text[16];
    snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(value));
    return text;
}

// One wait of the driver (`wait` takes its bound in ms and says whether the
// event came) against `bound`; a failure names what was waited for, the
// bound and how long it waited.
template <class Wait>
::testing::AssertionResult Within(const bounds::Bound& bound, const char* what, Wait wait)
{
    bounds::Wait measured(bound);
    if (wait(measured.Ms()))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << what << ": not within " << measured.Report();
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
// Moves the calling thread, once, to the desktop of the test process's own
// on which its programs run.
inline ::testing::AssertionResult EnterTestDesktop()
{
    static driver::PrivateDesktop desktop;
    static std::string why;
    static bool entered = desktop.Enter(L"ostrivo-e2e", &why);
    if (!entered)
        return ::testing::AssertionFailure() << "no desktop of the test's own: " << why;
    return ::testing::AssertionSuccess();
}

class Program {
public:
    // Starts the program built with the tests, or the copy at `exe`.
    ::testing::AssertionResult Start(const std::wstring& exe = BesideThisProgram(L"Ostrivo.exe"))
    {
        ::testing::AssertionResult desktop = EnterTestDesktop();
        if (!desktop)
            return desktop;
        process_ = driver::Process::Start(exe);
        if (!process_.Valid())
            return ::testing::AssertionFailure() << "the program did not start (" << GetLastError() << ")";
        ::testing::AssertionResult up = Within(bounds::kWindow, "the main dialog to appear", [this](DWORD ms) {
            dialog_ = driver::WaitForDialog(process_, MAIN_DIALOG_TITLE, nullptr, ms);
            return dialog_ != nullptr;
        });
        DWORD code = 0;
        if (!up && process_.WaitForExit(0, &code))
            up << "; the program had ended, with exit code " << Hex(code);
        return up;
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
    ::testing::AssertionResult Answers() const
    {
        return Within(bounds::kAnswer, "the dialog to answer", [this](DWORD ms) {
            DWORD_PTR result = 0;
            return SendMessageTimeoutW(dialog_, WM_NULL, 0, 0, SMTO_NORMAL, ms, &result) != 0;
        });
    }

    // The exit code, or a value no dialog ends with when it does not end in
    // time (a failure that says how long it waited).
    DWORD ExitCode() const
    {
        DWORD code = 0xDEAD;
        EXPECT_TRUE(Within(bounds::kExit, "the program to end", [&](DWORD ms) {
            return process_.WaitForExit(ms, &code);
        }));
        return code;
    }

private:
    driver::Process process_;
    HWND dialog_ = nullptr;
};

// The count and the upper list show every present device, as the platform
// lists them now.
inline void ExpectAllDevicesShown(const Program& program)
{
    std::vector<ExpectedDevice> present = ExpectedPresentDevices();
    EXPECT_EQ(driver::ToUtf8(std::to_wstring(present.size())),
              driver::ToUtf8(program.Text(IDC_DEVICE_COUNT)));
    EXPECT_EQ(driver::ToUtf8(ExpectedBlocks(present)),
              driver::ToUtf8(program.Text(IDC_ALL_DEVICES)));
}

// The hidden drive lookup of a running program: sets the field, presses the
// button, and returns the box's text after closing it; a text in angle
// brackets says what went wrong instead. `whileShown` sees the box first.
inline std::wstring LookupDrive(const Program& program, const std::wstring& field,
                                const std::function<void(HWND)>& whileShown = nullptr)
{
    HWND dialog = program.Dialog();
    if (!driver::WriteControlText(dialog, IDC_DRIVE_LETTER, field))
        return L"<not written>";
    if (!driver::PostCommand(dialog, IDC_GET_HARDWARE_ID, BN_CLICKED))
        return L"<not posted>";
    driver::MessageBoxTexts box;
    bounds::Wait appear(bounds::kWindow);
    if (!driver::WaitForMessageBox(program.Process(), dialog, appear.Ms(), &box))
        return L"<no box within " + Wide(appear.Report()) + L">";
    EXPECT_EQ(L"", box.caption);
    if (whileShown)
        whileShown(box.window);
    bounds::Wait gone(bounds::kWindow);
    if (!driver::ClickButton(box.window, IDOK) || !driver::WaitForWindowGone(box.window, gone.Ms()))
        return L"<box stays: " + Wide(gone.Report()) + L">";
    EXPECT_TRUE(program.Answers());
    return box.text;
}

}  // namespace e2e
