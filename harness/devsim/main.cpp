// devsim: adds, lists and removes simulated devices in the Wine prefix.
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

#include "harness/devsim/devsim.h"

namespace {

int Usage()
{
    fputs("usage: devsim add [--desc D] [--hwid A]...   prints the instance id\n"
          "       devsim add-many N [--tag T]           prints the number added\n"
          "       devsim remove INSTANCE_ID...\n"
          "       devsim list [--all]                   instance id, hardware id, description\n"
          "       devsim count [--tag T]\n"
          "       devsim clear                          removes every simulated device\n",
          stderr);
    return 2;
}

int Add(int argc, wchar_t** argv)
{
    devsim::DevicePlan plan;
    for (int i = 2; i + 1 < argc; i += 2) {
        if (wcscmp(argv[i], L"--desc") == 0)
            plan.description = argv[i + 1];
        else if (wcscmp(argv[i], L"--hwid") == 0)
            plan.hardwareIds.push_back(argv[i + 1]);
        else
            return Usage();
    }
    if (argc % 2 != 0)
        return Usage();
    std::wstring id;
    if (!devsim::AddDevice(plan, &id)) {
        fprintf(stderr, "devsim: adding failed, error %lu\n", GetLastError());
        return 1;
    }
    printf("%ls\n", id.c_str());
    return 0;
}

std::wstring TagOption(int argc, wchar_t** argv, int from)
{
    if (argc == from + 2 && wcscmp(argv[from], L"--tag") == 0)
        return argv[from + 1];
    return L"devsim";
}

int AddMany(int argc, wchar_t** argv)
{
    if (argc < 3 || (argc != 3 && argc != 5))
        return Usage();
    unsigned count = wcstoul(argv[2], nullptr, 10);
    DWORD start = GetTickCount();
    std::vector<std::wstring> ids;
    bool added = devsim::AddDevices(devsim::TaggedPlans(count, TagOption(argc, argv, 3)), &ids);
    fprintf(stderr, "devsim: %u devices in %lu ms\n", unsigned(ids.size()), GetTickCount() - start);
    printf("%u\n", unsigned(ids.size()));
    return added ? 0 : 1;
}

int Count(int argc, wchar_t** argv)
{
    std::vector<devsim::SimulatedDevice> devices;
    if (!devsim::ListDevices(&devices))
        return 1;
    unsigned count = 0;
    std::wstring prefix = devsim::TagDescriptionPrefix(TagOption(argc, argv, 2));
    bool anyTag = argc == 2;
    for (const devsim::SimulatedDevice& device : devices) {
        if (anyTag || device.description.compare(0, prefix.size(), prefix) == 0)
            ++count;
    }
    printf("%u\n", count);
    return 0;
}

int List(int argc, wchar_t** argv)
{
    std::vector<devsim::SimulatedDevice> devices;
    bool all = argc == 3 && wcscmp(argv[2], L"--all") == 0;
    if (!devsim::ListDevices(&devices, !all))
        return 1;
    for (const devsim::SimulatedDevice& device : devices)
        printf("%ls\t%ls\t%ls\n", device.instanceId.c_str(), device.firstHardwareId.c_str(),
               device.description.c_str());
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2)
        return Usage();
    std::wstring command = argv[1];
    if (command == L"add")
        return Add(argc, argv);
    if (command == L"add-many")
        return AddMany(argc, argv);
    if (command == L"remove" && argc >= 3)
        return devsim::RemoveDevices(std::vector<std::wstring>(argv + 2, argv + argc)) ? 0 : 1;
    if (command == L"count")
        return Count(argc, argv);
    if (command == L"list")
        return List(argc, argv);
    if (command == L"clear") {
        int removed = devsim::ClearDevices();
        if (removed < 0)
            return 1;
        printf("%d\n", removed);
        return 0;
    }
    return Usage();
}
