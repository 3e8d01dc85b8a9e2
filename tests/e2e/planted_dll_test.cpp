// The program run from a folder anyone can drop files into (a Downloads
// folder): a DLL planted there under a system DLL's name must never run in
// it. Wine's loader is told to prefer such a file over its own DLL of that
// name, as Windows does for any DLL that is not a KnownDLL.
//
// Wine reads WINEDLLOVERRIDES from the environment it was started with, not
// from the one a program passes to its child, so the overrides are the
// per-program ones of Wine's registry, for a copy of the program under a
// name of its own.
#include "e2e_support.h"

#include <tlhelp32.h>

#include <algorithm>
#include <cwctype>

#include "app/modules.h"

using namespace e2e;

namespace {

std::wstring Lower(std::wstring text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](wchar_t c) { return static_cast<wchar_t>(std::towlower(c)); });
    return text;
}

std::wstring FolderOf(const std::wstring& path) { return path.substr(0, path.find_last_of(L'\\') + 1); }

std::wstring NameOf(const std::wstring& path) { return path.substr(path.find_last_of(L'\\') + 1); }

std::wstring ProgramFile() { return BesideThisProgram(L"Ostrivo.exe"); }

// A fresh folder of the temporary folder holding a copy of the program,
// under a name of its own, and whatever the test plants beside it; removed
// with its files at the end.
class DownloadFolder {
public:
    DownloadFolder()
    {
        static int made = 0;
        std::wstring unique = L"ostrivo-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                              std::to_wstring(++made);
        wchar_t temp[MAX_PATH];
        DWORD length = GetTempPathW(MAX_PATH, temp);
        wchar_t longTemp[MAX_PATH];
        if (GetLongPathNameW(std::wstring(temp, length).c_str(), longTemp, MAX_PATH) == 0)
            return;
        path_ = std::wstring(longTemp) + unique + L"\\";
        programName_ = unique + L".exe";
        made_ = CreateDirectoryW(path_.c_str(), nullptr) &&
                CopyFileW(ProgramFile().c_str(), Program().c_str(), TRUE);
    }
    ~DownloadFolder()
    {
        for (const std::wstring& name : Files())
            DeleteFileW((path_ + name).c_str());
        RemoveDirectoryW(path_.c_str());
    }
    DownloadFolder(const DownloadFolder&) = delete;
    DownloadFolder& operator=(const DownloadFolder&) = delete;

    bool Made() const { return made_; }
    const std::wstring& Path() const { return path_; }
    const std::wstring& ProgramName() const { return programName_; }
    std::wstring Program() const { return path_ + programName_; }

    // The marker DLL under `name`; when anything loads it, it leaves
    // "<name>.loaded" here.
    bool Plant(const std::wstring& name) const
    {
        return CopyFileW(BesideThisProgram(L"ostrivo_marker.dll").c_str(),
                         (path_ + name).c_str(), TRUE) != FALSE;
    }

    std::vector<std::wstring> Files() const
    {
        std::vector<std::wstring> names;
        WIN32_FIND_DATAW found;
        HANDLE search = FindFirstFileW((path_ + L"*").c_str(), &found);
        if (search == INVALID_HANDLE_VALUE)
            return names;
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                names.push_back(found.cFileName);
        } while (FindNextFileW(search, &found));
        FindClose(search);
        return names;
    }

// What the markers left: the names of the planted DLLs that were loaded.
    std::vector<std::wstring> LoadedMarkers() const
    {
        std::vector<std::wstring> loaded;
        for (const std::wstring& name : Files())
            if (name.size() > 7 && Lower(name.substr(name.size() - 7)) == L".loaded")
                loaded.push_back(name.substr(0, name.size() - 7));
        return loaded;
    }

private:
    std::wstring path_;
    std::wstring programName_;
    bool made_ = false;
};

// Wine's load order for the DLLs `dlls` ("native,builtin": the file found
// first on the search path, as Windows takes a DLL that is not a KnownDLL;
// "": none at all) in the program named `program`, while it lives. On
// Windows nothing is written: it searches that way already.
class LoaderOverrides {
public:
    LoaderOverrides(const std::wstring& program, const std::vector<const wchar_t*>& dlls,
                    const wchar_t* order)
        : key_(L"Software\\Wine\\AppDefaults\\" + program)
    {
        if (!driver::UnderWine()) {
            key_.clear();
            set_ = true;
            return;
        }
        HKEY created = nullptr;
        set_ = RegCreateKeyExW(HKEY_CURRENT_USER, (key_ + L"\\DllOverrides").c_str(), 0, nullptr,
                               0, KEY_SET_VALUE, nullptr, &created, nullptr) == ERROR_SUCCESS;
        RegistryKey overrides(created);
        for (const wchar_t* dll : dlls)
            set_ = set_ && RegSetValueExW(overrides.Get(), dll, 0, REG_SZ, reinterpret_cast<const BYTE*>(order),
                                          DWORD((wcslen(order) + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
    }
    ~LoaderOverrides()
    {
        if (!key_.empty())
            RegDeleteTreeW(HKEY_CURRENT_USER, key_.c_str());
    }
    LoaderOverrides(const LoaderOverrides&) = delete;
    LoaderOverrides& operator=(const LoaderOverrides&) = delete;

    bool Set() const { return set_; }

private:
    std::wstring key_;
    bool set_ = false;
};

struct Module {
    std::wstring path;
    BYTE* base;
};

// The modules loaded in process `id` now.
std::vector<Module> ModulesOf(DWORD id)
{
    std::vector<Module> modules;
    SystemHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, id));
    MODULEENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    if (!snapshot || !Module32FirstW(snapshot.Get(), &entry))
        return modules;
    do {
        modules.push_back({entry.szExePath, entry.modBaseAddr});
    } while (Module32NextW(snapshot.Get(), &entry));
    return modules;
}

// The modules of process `id` loaded from `folder`, apart from the program.
std::vector<std::wstring> ModulesFrom(DWORD id, const std::wstring& folder)
{
    std::vector<std::wstring> found;
    bool first = true;  // the program's own image
    for (const Module& module : ModulesOf(id)) {
        if (!first && Lower(FolderOf(module.path)) == Lower(folder))
            found.push_back(NameOf(module.path));
        first = false;
    }
    return found;
}

std::string Names(const std::vector<std::wstring>& names)
{
    std::wstring all;
    for (const std::wstring& name : names)
        all += (all.empty() ? L"" : L", ") + name;
    return driver::ToUtf8(all.empty() ? L"none" : all);
}

// Makes the running program call LoadLibraryW(`name`) on a thread of its
// own, as any later load by bare name inside it would. True when the call
// returned in time; `loaded` tells whether it found a module.
::testing::AssertionResult LoadByNameInside(const driver::Process& process, const std::wstring& name,
                                            bool* loaded)
{
    // LoadLibraryW lies in the same system DLL at the same offset in the
    // program as here (same architecture); that DLL's base there is asked.
    FARPROC local = GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "LoadLibraryW");
    HMODULE owner = nullptr;
    wchar_t ownerPath[MAX_PATH];
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<const wchar_t*>(local), &owner) ||
        GetModuleFileNameW(owner, ownerPath, MAX_PATH) == 0)
        return ::testing::AssertionFailure() << "no module holds LoadLibraryW here";
    BYTE* remoteBase = nullptr;
    for (const Module& module : ModulesOf(process.Id()))
        if (Lower(NameOf(module.path)) == Lower(NameOf(ownerPath)))
            remoteBase = module.base;
    if (remoteBase == nullptr)
        return ::testing::AssertionFailure() << driver::ToUtf8(NameOf(ownerPath)) << " not found in the program";
    BYTE* start = remoteBase + (reinterpret_cast<BYTE*>(local) - reinterpret_cast<BYTE*>(owner));

    SIZE_T bytes = (name.size() + 1) * sizeof(wchar_t);
    void* text = VirtualAllocEx(process.Handle(), nullptr, bytes, MEM_COMMIT, PAGE_READWRITE);
    if (text == nullptr || !WriteProcessMemory(process.Handle(), text, name.c_str(), bytes, nullptr))
        return ::testing::AssertionFailure() << "the name not written into the program (" << GetLastError() << ")";
    SystemHandle thread(CreateRemoteThread(process.Handle(), nullptr, 0,
                                           reinterpret_cast<LPTHREAD_START_ROUTINE>(reinterpret_cast<void*>(start)),
                                           text, 0, nullptr));
    if (!thread)
        return ::testing::AssertionFailure() << "no thread in the program (" << GetLastError() << ")";
    ::testing::AssertionResult ended = Within(bounds::kAnswer, "the load to return", [&](DWORD ms) {
        return WaitForSingleObject(thread.Get(), ms) == WAIT_OBJECT_0;
    });
    DWORD result = 0;
    GetExitCodeThread(thread.Get(), &result);
    *loaded = result != 0;  // a module's base is 64 KB aligned, never 0 in its low half here
    VirtualFreeEx(process.Handle(), text, 0, MEM_RELEASE);
    return ended;
}

TEST(PlantedDll, SystemDllNamesBesideTheProgramAreNeverLoaded)
{
    DownloadFolder folder;
    ASSERT_TRUE(folder.Made()) << driver::ToUtf8(folder.Path());
    ASSERT_TRUE(folder.Plant(L"setupapi.dll"));
    ASSERT_TRUE(folder.Plant(L"uxtheme.dll"));
    LoaderOverrides prefer(folder.ProgramName(), {L"setupapi", L"uxtheme"}, L"native,builtin");
    ASSERT_TRUE(prefer.Set());

    Program program;
    ASSERT_TRUE(program.Start(folder.Program()))
        << "markers loaded: " << Names(folder.LoadedMarkers());
    ExpectAllDevicesShown(program);
    EXPECT_EQ("none", Names(ModulesFrom(program.Process().Id(), folder.Path())));
    ASSERT_TRUE(driver::ClickButton(program.Dialog(), IDCANCEL));
    EXPECT_EQ(DWORD(IDCANCEL), program.ExitCode());
    EXPECT_EQ("none", Names(folder.LoadedMarkers()));
}

TEST(PlantedDll, LoadByBareNameAfterStartUpDoesNotSearchTheProgramsFolder)
{
    DownloadFolder folder;
    ASSERT_TRUE(folder.Made()) << driver::ToUtf8(folder.Path());
    // A name no system has: only the program's folder holds it.
    ASSERT_TRUE(folder.Plant(L"ostrivo_planted.dll"));

    Program program;
    ASSERT_TRUE(program.Start(folder.Program()));
    bool loaded = true;
    ASSERT_TRUE(LoadByNameInside(program.Process(), L"ostrivo_planted.dll", &loaded));
    EXPECT_FALSE(loaded);
    EXPECT_EQ("none", Names(ModulesFrom(program.Process().Id(), folder.Path())));
    EXPECT_TRUE(program.Answers());
    ASSERT_TRUE(driver::ClickButton(program.Dialog(), IDCANCEL));
    EXPECT_EQ(DWORD(IDCANCEL), program.ExitCode());
    EXPECT_EQ("none", Names(folder.LoadedMarkers()));
}

// The system's own text for `error`, as the program quotes it.
std::wstring SystemText(DWORD error)
{
    wchar_t* text = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    SystemLocalMemory owned(text);
    return text != nullptr ? text : L"";
}

TEST(PlantedDll, MissingSetupApiIsReportedAndEndsWithItsOwnCode)
{
    ASSERT_TRUE(EnterTestDesktop());
    DownloadFolder folder;
    ASSERT_TRUE(folder.Made()) << driver::ToUtf8(folder.Path());
    LoaderOverrides disable(folder.ProgramName(), {L"setupapi"}, L"");
    ASSERT_TRUE(disable.Set());
    driver::Process process = driver::Process::Start(folder.Program());
    ASSERT_TRUE(process.Valid()) << GetLastError();

    HWND box = nullptr;
    ASSERT_TRUE(Within(bounds::kWindow, "the message box to appear", [&](DWORD ms) {
        box = driver::WaitForDialog(process, L"Ostrivo", nullptr, ms);
        return box != nullptr;
    })) << (process.Running() ? "" : "; the program had ended");
    std::wstring text;
    ASSERT_TRUE(driver::ReadControlText(box, 0xFFFF, &text));
    EXPECT_NE(std::wstring::npos, text.find(L"setupapi.dll")) << driver::ToUtf8(text);
    EXPECT_NE(std::wstring::npos, text.find(L"无法列出设备")) << driver::ToUtf8(text);
    // The code it names, and the system's text for that code.
    size_t at = text.find(L"错误代码 ");
    ASSERT_NE(std::wstring::npos, at) << driver::ToUtf8(text);
    DWORD error = wcstoul(text.c_str() + at + 5, nullptr, 10);
    EXPECT_NE(DWORD(ERROR_SUCCESS), error);
    EXPECT_FALSE(SystemText(error).empty()) << error;
    EXPECT_NE(std::wstring::npos, text.find(SystemText(error))) << driver::ToUtf8(text);

    ASSERT_TRUE(driver::ClickButton(box, IDOK));
    DWORD code = 0xDEAD;
    EXPECT_TRUE(Within(bounds::kExit, "the program to end", [&](DWORD ms) {
        return process.WaitForExit(ms, &code);
    }));
    EXPECT_EQ(DWORD(kExitSetupApiMissing), code);
}

}  // namespace
