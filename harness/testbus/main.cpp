// testbus: installs the test bus driver in the prefix and adds, removes and
// cleans up its children and drive letters.
#include <cstdio>
#include <cwchar>
#include <string>

#include <objbase.h>

#include "testbus.h"

namespace {

int Usage()
{
    fputs("usage: testbus install IMAGE.sys   prints \"changed\" (restart the prefix, then start)\n"
          "                                   or \"unchanged\"\n"
          "       testbus start               starts the driver, waits for its control device\n"
          "       testbus running             exit status 0 when the control device opens\n"
          "       testbus add --hwid ID [--hwid ID]... [--desc TEXT] [--class GUID]\n"
          "                   [--interface GUID|disk|volume|usb] [--disk NUMBER] [--removable]\n"
          "                                   prints the serial and the instance id\n"
          "       testbus remove SERIAL...\n"
          "       testbus remove-all\n"
          "       testbus letter X FOLDER [--removable]   prints the volume's device number\n"
          "       testbus unletter X\n"
          "       testbus number X            the device number of X:'s volume\n"
          "       testbus clean               removes every child, letter and leftover\n",
          stderr);
    return 2;
}

int Report(const testbus::Status& status)
{
    if (status)
        return 0;
    fprintf(stderr, "testbus: %s\n", status.Describe().c_str());
    return 1;
}

bool ParseGuid(const std::wstring& text, GUID* guid)
{
    if (text == L"disk")
        *guid = testbus::kDiskInterface;
    else if (text == L"volume")
        *guid = testbus::kVolumeInterface;
    else if (text == L"usb")
        *guid = testbus::kUsbDeviceInterface;
    else
        return CLSIDFromString(const_cast<wchar_t*>(text.c_str()), guid) == S_OK;
    return true;
}

int Add(int argc, wchar_t** argv)
{
    testbus::ChildPlan plan;
    for (int i = 2; i < argc; ++i) {
        std::wstring option = argv[i];
        bool hasValue = i + 1 < argc;
        if (option == L"--removable") {
            plan.removable = true;
        } else if (option == L"--hwid" && hasValue) {
            plan.hardwareIds.push_back(argv[++i]);
        } else if (option == L"--desc" && hasValue) {
            plan.description = argv[++i];
        } else if (option == L"--class" && hasValue) {
            if (!ParseGuid(argv[++i], &plan.setupClass))
                return Usage();
        } else if (option == L"--interface" && hasValue) {
            if (!ParseGuid(argv[++i], &plan.interfaceClass))
                return Usage();
        } else if (option == L"--disk" && hasValue) {
            plan.disk = true;
            plan.deviceNumber = wcstoul(argv[++i], nullptr, 10);
        } else {
            return Usage();
        }
    }
    testbus::Child child;
    testbus::Status status = testbus::AddChild(plan, &child);
    if (status)
        printf("%lu\t%ls\n", child.serial, child.instanceId.c_str());
    return Report(status);
}

int Letter(int argc, wchar_t** argv)
{
    if (argc < 4 || argc > 5 || (argc == 5 && wcscmp(argv[4], L"--removable") != 0))
        return Usage();
    testbus::Status status = testbus::DefineLetter(argv[2][0], argv[3], argc == 5);
    DWORD number = 0;
    if (status)
        status = testbus::VolumeDeviceNumber(argv[2][0], &number);
    if (status)
        printf("%lu\n", number);
    return Report(status);
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2)
        return Usage();
    std::wstring command = argv[1];
    if (command == L"install" && argc == 3) {
        bool changed = false;
        testbus::Status status = testbus::Install(argv[2], &changed);
        if (status)
            puts(changed ? "changed" : "unchanged");
        return Report(status);
    }
    if (command == L"start" && argc == 2)
        return Report(testbus::Start());
    if (command == L"running" && argc == 2)
        return testbus::Running() ? 0 : 1;
    if (command == L"add")
        return Add(argc, argv);
    if (command == L"remove" && argc >= 3) {
        for (int i = 2; i < argc; ++i) {
            int rc = Report(testbus::RemoveChild(wcstoul(argv[i], nullptr, 10)));
            if (rc != 0)
                return rc;
        }
        return 0;
    }
    if (command == L"remove-all" && argc == 2)
        return Report(testbus::RemoveAllChildren());
    if (command == L"letter")
        return Letter(argc, argv);
    if (command == L"unletter" && argc == 3)
        return Report(testbus::RemoveLetter(argv[2][0]));
    if (command == L"number" && argc == 3) {
        DWORD number = 0;
        testbus::Status status = testbus::VolumeDeviceNumber(argv[2][0], &number);
        if (status)
            printf("%lu\n", number);
        return Report(status);
    }
    if (command == L"clean" && argc == 2)
        return Report(testbus::Clean());
    return Usage();
}
