// Measures Ostrivo against its floor and prints one "key value" line per
// figure for scripts/bench.sh. Exits non-zero only when it could not measure.
//   bench_measure compare OSTRIVO FLOOR ROUNDS
//   bench_measure lines DEVICES
//   bench_measure memory OSTRIVO MESSAGES
//   bench_measure image OSTRIVO
//   bench_measure check OSTRIVO TAG COUNT
//   bench_measure arrival OSTRIVO FLOOR ROUNDS
#include <windows.h>
#include <dbt.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "harness/devsim/devsim.h"
#include "harness/driver/driver.h"
#include "lines.h"
#include "testbus.h"
#include "ui/resources/resource.h"

namespace {

const DWORD kLongTimeoutMs = 120000;

double Now()
{
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * double(now.QuadPart) / double(frequency.QuadPart);
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    size_t n = values.size();
    return n == 0 ? -1 : n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// A running dialog program, started and timed until its count is filled in.
struct Running {
    driver::Process process;
    HWND dialog = nullptr;
    double startMs = -1;
};

bool Start(const wchar_t* exe, Running* running)
{
    double start = Now();
    running->process = driver::Process::Start(exe);
    if (!running->process.Valid())
        return false;
    for (;;) {
        HWND dialog = driver::FindDialog(running->process.Id(), MAIN_DIALOG_TITLE);
        std::wstring count;
        if (dialog && driver::ReadControlText(dialog, IDC_DEVICE_COUNT, &count) && !count.empty()) {
            running->startMs = Now() - start;
            running->dialog = dialog;
            return true;
        }
        if (!running->process.Running() || Now() - start > kLongTimeoutMs)
            return false;
        Sleep(1);
    }
}

void Stop(Running& running)
{
    driver::Close(running.dialog);
    DWORD code;
    if (!running.process.WaitForExit(10000, &code))
        running.process.Kill();
}

double TimedSend(HWND dialog, UINT message, WPARAM wParam)
{
    DWORD_PTR result;
    double start = Now();
    if (!SendMessageTimeoutW(dialog, message, wParam, 0, SMTO_NORMAL, kLongTimeoutMs, &result))
        return -1;
    return Now() - start;
}

bool AllMeasured(const std::vector<double>& values)
{
    return std::none_of(values.begin(), values.end(), [](double v) { return v < 0; });
}

int Compare(const wchar_t* ours, const wchar_t* floor, int rounds)
{
    const wchar_t* exes[2] = {ours, floor};
    std::vector<double> startMs[2], refreshMs[2], baselineMs[2];
    std::wstring counts[2];
    for (int round = 0; round < rounds; ++round) {
        for (int side = 0; side < 2; ++side) {
            Running r;
            if (!Start(exes[side], &r)) {
                fprintf(stderr, "bench: %ls did not start\n", exes[side]);
                return 1;
            }
            driver::ReadControlText(r.dialog, IDC_DEVICE_COUNT, &counts[side]);
            startMs[side].push_back(r.startMs);
            refreshMs[side].push_back(TimedSend(r.dialog, WM_DEVICECHANGE, DBT_DEVNODES_CHANGED));
            baselineMs[side].push_back(
                TimedSend(r.dialog, WM_COMMAND, MAKEWPARAM(IDC_SET_BASELINE, BN_CLICKED)));
            Stop(r);
        }
    }
    printf("count_ours %ls\ncount_floor %ls\n", counts[0].c_str(), counts[1].c_str());
    const char* names[3] = {"refresh", "baseline", "start"};
    std::vector<double>* figures[3] = {refreshMs, baselineMs, startMs};
    for (int i = 0; i < 3; ++i) {
        printf("%s_ours %.1f\n%s_floor %.1f\n", names[i], Median(figures[i][0]), names[i],
               Median(figures[i][1]));
        if (!AllMeasured(figures[i][0]) || !AllMeasured(figures[i][1]))
            return 1;
    }
    return 0;
}

struct Usage {
    PROCESS_MEMORY_COUNTERS_EX memory = {};
    DWORD gdi = 0, user = 0, kernel = 0;
    DWORD probed = 0;  // handles found open by duplicating each value in turn
    DWORD windows = 0; // the dialog and its controls: USER objects Wine can show
};

BOOL CALLBACK CountWindow(HWND, LPARAM count)
{
    ++*reinterpret_cast<DWORD*>(count);
    return TRUE;
}

DWORD CountWindows(HWND dialog)
{
    DWORD count = 0;
    EnumThreadWindows(GetWindowThreadProcessId(dialog, nullptr), CountWindow,
                      reinterpret_cast<LPARAM>(&count));
    EnumChildWindows(dialog, CountWindow, reinterpret_cast<LPARAM>(&count));
    return count;
}

// Counts the target's open kernel handles by trying to duplicate every
// handle value: a check that does not rely on GetProcessHandleCount.
DWORD ProbeHandles(HANDLE process)
{
    DWORD open = 0;
    for (UINT_PTR value = 4; value < 4 * 16384; value += 4) {
        HANDLE copy;
        if (DuplicateHandle(process, reinterpret_cast<HANDLE>(value), GetCurrentProcess(), &copy,
                            0, FALSE, DUPLICATE_SAME_ACCESS)) {
            ++open;
            SystemHandle closing(copy);
        }
    }
    return open;
}

bool Read(HANDLE process, HWND dialog, Usage* usage)
{
    usage->windows = CountWindows(dialog);
    usage->memory.cb = sizeof(usage->memory);
    usage->gdi = GetGuiResources(process, GR_GDIOBJECTS);
    usage->user = GetGuiResources(process, GR_USEROBJECTS);
    usage->probed = ProbeHandles(process);
    return GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&usage->memory),
                                sizeof(usage->memory)) &&
           GetProcessHandleCount(process, &usage->kernel);
}

int Memory(const wchar_t* ours, int messages)
{
    Running r;
    if (!Start(ours, &r))
        return 1;
    Usage before, after;
    // One refresh first, so what a first refresh allocates once is not counted as growth.
    bool ok = TimedSend(r.dialog, WM_DEVICECHANGE, DBT_DEVNODES_CHANGED) >= 0 &&
              Read(r.process.Handle(), r.dialog, &before);
    for (int i = 0; ok && i < messages; ++i)
        ok = TimedSend(r.dialog, WM_DEVICECHANGE, DBT_DEVNODES_CHANGED) >= 0;
    ok = ok && Read(r.process.Handle(), r.dialog, &after);
    double answerMs = TimedSend(r.dialog, WM_NULL, 0);
    std::wstring count;
    driver::ReadControlText(r.dialog, IDC_DEVICE_COUNT, &count);
    Stop(r);
    if (!ok)
        return 1;
    printf("devices %ls\nmessages %d\n", count.c_str(), messages);
    printf("peak_working_set_kb %lu\nprivate_kb %lu\n",
           static_cast<unsigned long>(after.memory.PeakWorkingSetSize / 1024),
           static_cast<unsigned long>(after.memory.PrivateUsage / 1024));
    printf("gdi %lu %lu\nuser %lu %lu\nkernel %lu %lu\nprobed %lu %lu\n", before.gdi, after.gdi,
           before.user, after.user, before.kernel, after.kernel, before.probed, after.probed);
    printf("windows %lu %lu\n", before.windows, after.windows);
    printf("pagefile_kb %lu %lu\n", static_cast<unsigned long>(before.memory.PagefileUsage / 1024),
           static_cast<unsigned long>(after.memory.PagefileUsage / 1024));
    printf("private_growth_kb %ld\n",
           long((long long)after.memory.PrivateUsage - (long long)before.memory.PrivateUsage) / 1024);
    printf("answer_ms %.1f\n", answerMs);
    return answerMs < 0;
}

int Lines(int devices)
{
    double lineByLine = WriteLineByLineMs(devices);
    double whole = WriteWholeOnceMs(devices);
    printf("line_by_line_ms %.1f\nwhole_once_ms %.1f\n", lineByLine, whole);
    return lineByLine < 0 || whole < 0;
}

BOOL CALLBACK AddIcon(HMODULE module, LPCWSTR type, LPWSTR name, LONG_PTR total)
{
    HRSRC found = FindResourceW(module, name, type);
    *reinterpret_cast<DWORD*>(total) += found ? SizeofResource(module, found) : 0;
    return TRUE;
}

int Image(const wchar_t* ours)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(ours, GetFileExInfoStandard, &data))
        return 1;
    ModuleHandle module(LoadLibraryExW(ours, nullptr, LOAD_LIBRARY_AS_DATAFILE));
    if (!module)
        return 1;
    DWORD icons = 0;
    EnumResourceNamesW(module.Get(), MAKEINTRESOURCEW(3) /* RT_ICON */, AddIcon,
                       reinterpret_cast<LONG_PTR>(&icons));
    printf("image_bytes %lu\nicon_bytes %lu\n", data.nFileSizeLow, icons);
    return 0;
}

// Every simulated device of `tag` listed once, and the count matching the list.
int Check(const wchar_t* ours, const wchar_t* tag, unsigned expected)
{
    Running r;
    if (!Start(ours, &r))
        return 1;
    std::wstring text, count;
    bool read = driver::ReadControlText(r.dialog, IDC_ALL_DEVICES, &text, kLongTimeoutMs) &&
                driver::ReadControlText(r.dialog, IDC_DEVICE_COUNT, &count);
    Stop(r);
    if (!read)
        return 1;
    std::wstring prefix = L"\r\n" + devsim::TagDescriptionPrefix(tag);
    text = L"\r\n" + text;
    unsigned blocks = 0, tagged = 0;
    for (size_t at = 0; (at = text.find(L"\r\n-----", at)) != std::wstring::npos; at += 2)
        ++blocks;
    std::vector<bool> seen(expected, false);
    for (size_t at = 0; (at = text.find(prefix, at)) != std::wstring::npos; at += prefix.size()) {
        unsigned i = wcstoul(text.c_str() + at + prefix.size(), nullptr, 10);
        if (i < expected && !seen[i]) {
            seen[i] = true;
            ++tagged;
        }
    }
    printf("check_count %ls\ncheck_blocks %u\ncheck_tagged %u\ncheck_ok %d\n", count.c_str(),
           blocks, tagged, int(tagged == expected && count == std::to_wstring(blocks)));
    return 0;
}


// The upper list of `dialog` polled until it holds `id` (holds true) or no
// longer does; the time its length first changed to such a text, or -1 past
// the broadcast bound. The length is asked first: the whole list crosses
// the process only when it changed, so polling costs the dialog little.
double WaitForList(HWND dialog, const std::wstring& id, bool holds)
{
    HWND list = GetDlgItem(dialog, IDC_ALL_DEVICES);
    bounds::Wait wait(bounds::kBroadcast);
    DWORD_PTR seen = DWORD_PTR(-1);
    for (;;) {
        DWORD_PTR length;
        if (!SendMessageTimeoutW(list, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, wait.Ms(), &length))
            return -1;
        double at = Now();
        if (length != seen) {
            std::wstring text;
            if (!driver::ReadText(list, &text))
                return -1;
            if ((text.find(id) != std::wstring::npos) == holds)
                return at;
            seen = length;
        }
        if (wait.Left() == 0)
            return -1;
        Sleep(1);
    }
}

// A hidden top-level window of this process that notes when Wine's
// WM_DEVICECHANGE broadcasts reach it. Wine tells every top-level window
// without waiting for any, so the dialog hears of an arrival about when
// this window does; a list that shows the device well before that was
// written by a refresh the broadcast did not start.
class Listener {
public:
    bool Open()
    {
        InitializeCriticalSection(&lock_);
        ready_ = SystemHandle(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        SystemHandle thread(CreateThread(nullptr, 0, Run, this, 0, nullptr));
        if (!thread)
            return false;
        return WaitForSingleObject(ready_.Get(), bounds::Ms(bounds::kWindow)) == WAIT_OBJECT_0 && window_;
    }

    size_t Count()
    {
        EnterCriticalSection(&lock_);
        size_t count = times_.size();
        LeaveCriticalSection(&lock_);
        return count;
    }

    // The time broadcast number `index` (from 0) came; -1 if it did not
    // come within the broadcast bound.
    double WaitFor(size_t index)
    {
        bounds::Wait wait(bounds::kBroadcast);
        for (;;) {
            EnterCriticalSection(&lock_);
            double at = index < times_.size() ? times_[index] : -1;
            LeaveCriticalSection(&lock_);
            if (at >= 0 || wait.Left() == 0)
                return at;
            Sleep(1);
        }
    }

private:
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        if (message != WM_DEVICECHANGE)
            return DefWindowProcW(window, message, wParam, lParam);
        Listener* self = reinterpret_cast<Listener*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        EnterCriticalSection(&self->lock_);
        self->times_.push_back(Now());
        LeaveCriticalSection(&self->lock_);
        return TRUE;
    }

    static DWORD WINAPI Run(void* param)
    {
        Listener* self = static_cast<Listener*>(param);
        WNDCLASSW wc = {};
        wc.lpfnWndProc = Proc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"OstrivoBenchListener";
        RegisterClassW(&wc);
        HWND window = CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, wc.lpszClassName, L"",
                                      WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, wc.hInstance, nullptr);
        if (window)
            SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        self->window_ = window;
        SetEvent(self->ready_.Get());
        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0) > 0)
            DispatchMessageW(&msg);
        return 0;
    }

    CRITICAL_SECTION lock_;
    SystemHandle ready_;
    HWND window_ = nullptr;
    std::vector<double> times_;
};

// One child of the test bus added on a thread of its own, so that the list
// is polled from the moment of the call, whether Wine tells the windows
// before the call returns or after.
struct Addition {
    testbus::Scope bus;
    testbus::ChildPlan plan;
    testbus::Child child;
    testbus::Status status;
    double calledMs = -1, returnedMs = -1;

    static DWORD WINAPI Run(void* self)
    {
        Addition* a = static_cast<Addition*>(self);
        a->calledMs = Now();
        a->status = a->bus.Add(a->plan, &a->child);
        a->returnedMs = Now();
        return 0;
    }
};

enum class Round { measured, early, failed };

// A real device's arrival until the dialog lists it: the child is removed
// again (and gone from the list) before the program closes.
Round ArrivalRound(const wchar_t* exe, const std::wstring& hardwareId, Listener& listener,
                   double* shownMs, double* addMs)
{
    Running r;
    if (!Start(exe, &r) || TimedSend(r.dialog, WM_NULL, 0) < 0) {
        fprintf(stderr, "bench: %ls did not start\n", exe);
        return Round::failed;
    }
    Addition add;
    add.plan.hardwareIds = {hardwareId};
    add.plan.description = L"bench arrival";
    add.plan.setupClass = testbus::kUsbSetupClass;
    add.plan.interfaceClass = testbus::kUsbDeviceInterface;
    size_t broadcasts = listener.Count();
    SystemHandle thread(CreateThread(nullptr, 0, Addition::Run, &add, 0, nullptr));
    if (!thread)
        return Round::failed;
    double shown = WaitForList(r.dialog, hardwareId, true);
    // The add is bounded by itself; this bound only catches one that is not.
    DWORD ended = WaitForSingleObject(thread.Get(), bounds::Ms(bounds::kDevice) + bounds::Ms(bounds::kAnswer));
    if (ended != WAIT_OBJECT_0) {
        fprintf(stderr, "bench: adding a child did not return\n");
        ExitProcess(1);  // the adding thread still uses `add`; harness/wine/stop cleans the bus
    }
    if (!add.status) {
        fprintf(stderr, "bench: test bus: %s\n", add.status.Describe().c_str());
        return Round::failed;
    }
    double told = listener.WaitFor(broadcasts);
    if (shown < 0 || told < 0) {
        fprintf(stderr, "bench: %ls %s\n", exe,
                shown < 0 ? "did not list the arrived device" : "heard of no arrival");
        return Round::failed;
    }
    *shownMs = shown - add.calledMs;
    *addMs = add.returnedMs - add.calledMs;
    testbus::Status removed = add.bus.Remove(add.child.serial);
    if (!removed || WaitForList(r.dialog, hardwareId, false) < 0) {
        fprintf(stderr, "bench: the removed device stayed listed (%s)\n", removed.Describe().c_str());
        return Round::failed;
    }
    Stop(r);
    if (shown < told) {
        fprintf(stderr, "bench: %ls listed the device %.1f ms after the call, %.1f ms before"
                        " Wine's broadcast reached this process; round not counted\n",
                exe, *shownMs, told - shown);
        return Round::early;
    }
    return Round::measured;
}

int Arrival(const wchar_t* ours, const wchar_t* floor, int rounds)
{
    Listener listener;
    if (!listener.Open())
        return 1;
    const wchar_t* exes[2] = {ours, floor};
    std::vector<double> shownMs[2], addMs;
    int early[2] = {0, 0};
    unsigned next = 0;
    for (int side = 0; shownMs[0].size() < size_t(rounds) || shownMs[1].size() < size_t(rounds);
         side = 1 - side) {
        if (shownMs[side].size() >= size_t(rounds))
            continue;
        // A new id each time: nothing one round left can answer for the next.
        wchar_t id[64];
        swprintf(id, 64, L"USB\\VID_BE7C&PID_%04X", next++ & 0xFFFF);
        double shown, add;
        Round round = ArrivalRound(exes[side], id, listener, &shown, &add);
        if (round == Round::failed)
            return 1;
        if (round == Round::early && ++early[side] > rounds)
            return 1;  // more rounds lost than counted: this is no measurement
        if (round == Round::measured) {
            shownMs[side].push_back(shown);
            addMs.push_back(add);
        }
    }
    printf("arrival_ours %.1f\narrival_floor %.1f\narrival_add %.1f\n", Median(shownMs[0]),
           Median(shownMs[1]), Median(addMs));
    printf("arrival_early %d %d\n", early[0], early[1]);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    std::wstring mode = argc > 1 ? argv[1] : L"";
    if (mode == L"compare" && argc == 5)
        return Compare(argv[2], argv[3], _wtoi(argv[4]));
    if (mode == L"lines" && argc == 3)
        return Lines(_wtoi(argv[2]));
    if (mode == L"memory" && argc == 4)
        return Memory(argv[2], _wtoi(argv[3]));
    if (mode == L"image" && argc == 3)
        return Image(argv[2]);
    if (mode == L"check" && argc == 5)
        return Check(argv[2], argv[3], wcstoul(argv[4], nullptr, 10));
    if (mode == L"arrival" && argc == 5)
        return Arrival(argv[2], argv[3], _wtoi(argv[4]));
    fputs("usage: see the head of measure.cpp\n", stderr);
    return 2;
}
