// Dialog hosting under the real dialog manager: binding on the first message,
// dispatch records, deferred clean-up, results, thunk memory, creation list.
#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <vector>

#include "app/dialog_host.h"
#include "app/modules.h"
#include "hosting_ids.h"
#include "tests/kit/child_process.h"

namespace {

const UINT kEnd = WM_APP + 1;    // ends a modal test dialog with kSentinel
const UINT kProbe = WM_APP + 2;  // free for each test's own use
const INT_PTR kSentinel = 0x5EED;

struct Seen {
    UINT message;
    HWND window;         // as HandleMessage received it
    UINT currentAtEntry;  // the object's CurrentMessage while the map runs
    HWND currentWindow;
};

class RecordingDialog : public DialogBase {
public:
    using Handler = std::function<bool(RecordingDialog&, UINT, WPARAM, LPARAM, LRESULT&)>;

    bool HandleMessage(HWND w, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result,
                       DWORD mapId) override
    {
        EXPECT_EQ(0u, mapId);
        seen.push_back({message, w, currentMessage ? currentMessage->message : 0,
                        currentMessage ? currentMessage->window : nullptr});
        if (message == kEnd) {
            EndDialog(window, kSentinel);
            return true;
        }
        return handler ? handler(*this, message, wParam, lParam, result) : false;
    }
    void OnWindowGone(HWND w) override
    {
        ++goneCalls;
        goneWith = w;
    }

    size_t IndexOf(UINT message) const
    {
        for (size_t i = 0; i < seen.size(); ++i)
            if (seen[i].message == message)
                return i;
        return seen.size();
    }

    Handler handler;
    std::vector<Seen> seen;
    int goneCalls = 0;
    HWND goneWith = nullptr;
};

// Ends the dialog once it is up and running its modal loop.
bool EndAfterInit(RecordingDialog& d, UINT message, WPARAM, LPARAM, LRESULT& result)
{
    if (message != WM_INITDIALOG)
        return false;
    PostMessageW(d.window, kEnd, 0, 0);
    result = TRUE;
    return true;
}

HWND CreateModeless(RecordingDialog& d)
{
    AddCreateRecord(&ProcessWindowModule(), &d.createRecord, &d);
    return CreateDialogParamW(ProcessBaseModule().resourceInstance,
                              MAKEINTRESOURCEW(IDD_HOSTING_TEST), nullptr, StartDialogProcedure, 0);
}

bool Listed(const CreateRecord* record)
{
    for (CreateRecord* r = ProcessWindowModule().createList; r != nullptr; r = r->next)
        if (r == record)
            return true;
    return false;
}

TEST(DialogHosting, FirstMessageReachesTheMapAndBindsTheWindow)
{
    RecordingDialog d;
    d.handler = EndAfterInit;
    EXPECT_EQ(kSentinel, RunDialogModal(d, IDD_HOSTING_TEST));

    ASSERT_FALSE(d.seen.empty());
    // The font comes before WM_INITDIALOG, while the start procedure still
    // stands in as the dialog procedure.
    EXPECT_EQ(UINT(WM_SETFONT), d.seen[0].message);
    size_t init = d.IndexOf(WM_INITDIALOG);
    ASSERT_LT(init, d.seen.size());
    HWND bound = d.seen[init].window;
    EXPECT_TRUE(bound != nullptr);
    EXPECT_EQ(bound, d.seen[0].window);
    EXPECT_EQ(UINT(WM_SETFONT), d.seen[0].currentAtEntry);
    EXPECT_EQ(bound, d.seen[0].currentWindow);
    // Gone with the window: handle cleared once, record off the list.
    EXPECT_EQ(UINT(WM_NCDESTROY), d.seen.back().message);
    EXPECT_EQ(1, d.goneCalls);
    EXPECT_EQ(bound, d.goneWith);
    EXPECT_TRUE(d.window == nullptr);
    EXPECT_TRUE(d.currentMessage == nullptr);
    EXPECT_EQ(0u, d.state);
    EXPECT_FALSE(Listed(&d.createRecord));
}

TEST(DialogHosting, MessageSentDuringAnotherGetsItsOwnRecord)
{
    RecordingDialog d;
    UINT outerAfter = 0;
    bool outerWParamRestored = false;
    d.handler = [&](RecordingDialog& self, UINT message, WPARAM wParam, LPARAM, LRESULT& result) {
        if (message == WM_INITDIALOG) {
            SendMessageW(self.window, kProbe, 7, 8);
            outerAfter = self.currentMessage->message;
            outerWParamRestored = self.currentMessage->wParam == wParam;
            PostMessageW(self.window, kEnd, 0, 0);
            result = TRUE;
            return true;
        }
        if (message == kProbe) {
            EXPECT_EQ(7u, self.currentMessage->wParam);
            EXPECT_EQ(8, self.currentMessage->lParam);
            return true;
        }
        return false;
    };
    EXPECT_EQ(kSentinel, RunDialogModal(d, IDD_HOSTING_TEST));

    size_t probe = d.IndexOf(kProbe);
    ASSERT_LT(probe, d.seen.size());
    EXPECT_EQ(kProbe, d.seen[probe].currentAtEntry);
    EXPECT_EQ(UINT(WM_INITDIALOG), outerAfter);
    EXPECT_TRUE(outerWParamRestored);
    EXPECT_TRUE(d.currentMessage == nullptr);
}

TEST(DialogHosting, WindowGoneWaitsForTheOuterDispatch)
{
    // Destroyed inside a handler: the object keeps its handle until that
    // handler's dispatch has returned.
    RecordingDialog inside;
    HWND w = CreateModeless(inside);
    ASSERT_TRUE(w != nullptr);
    HWND duringHandler = nullptr;
    int goneDuringHandler = -1;
    inside.handler = [&](RecordingDialog& self, UINT message, WPARAM, LPARAM, LRESULT&) {
        if (message != kProbe)
            return false;
        DestroyWindow(self.window);
        duringHandler = self.window;
        goneDuringHandler = self.goneCalls;
        EXPECT_EQ(kWindowGonePending, self.state);
        return true;
    };
    SendMessageW(w, kProbe, 0, 0);
    EXPECT_FALSE(IsWindow(w));
    EXPECT_EQ(w, duringHandler);
    EXPECT_EQ(0, goneDuringHandler);
    EXPECT_EQ(1, inside.goneCalls);
    EXPECT_EQ(w, inside.goneWith);
    EXPECT_TRUE(inside.window == nullptr);
    EXPECT_EQ(0u, inside.state);

    // Destroyed from outside: clean-up at once.
    RecordingDialog outside;
    HWND v = CreateModeless(outside);
    ASSERT_TRUE(v != nullptr);
    DestroyWindow(v);
    EXPECT_EQ(1, outside.goneCalls);
    EXPECT_EQ(v, outside.goneWith);
    EXPECT_TRUE(outside.window == nullptr);
}

TEST(DialogHosting, AnswersReachTheDialogManagerAsItExpects)
{
    const LONG kUntouched = 0xBAD;
    struct Case {
        UINT message;
        bool handled;
        LRESULT result;
        INT_PTR returned;
        LONG msgResult;
    };
    const Case cases[] = {
        {WM_COMMAND, true, 0x77, TRUE, 0x77},
        {WM_NOTIFY, true, 0, TRUE, 0},
        {WM_INITDIALOG, true, 0x55, 0x55, kUntouched},
        {WM_CTLCOLORSTATIC, true, 0x1234, 0x1234, kUntouched},
        {WM_CTLCOLORMSGBOX, true, 0x4321, 0x4321, kUntouched},
        {WM_VKEYTOITEM, true, -2, -2, kUntouched},
        {WM_COMPAREITEM, true, -1, -1, kUntouched},
        {WM_CTLCOLORSTATIC + 1, true, 0x99, TRUE, 0x99},  // just past the range
        {WM_USER + 5, false, 0x66, 0, kUntouched},
    };
    RecordingDialog d;
    HWND w = CreateModeless(d);
    ASSERT_TRUE(w != nullptr);
    const Case* current = nullptr;
    d.handler = [&](RecordingDialog&, UINT message, WPARAM, LPARAM, LRESULT& result) {
        if (current == nullptr || message != current->message)
            return false;
        result = current->result;
        return current->handled;
    };
    DLGPROC procedure = reinterpret_cast<DLGPROC>(d.thunk);
    ASSERT_TRUE(procedure != nullptr);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        current = &c;
        SetWindowLongPtrW(w, DWLP_MSGRESULT, kUntouched);
        EXPECT_EQ(c.returned, procedure(w, c.message, 0, 0));
        EXPECT_EQ(c.msgResult, GetWindowLongPtrW(w, DWLP_MSGRESULT));
    }
    // Through the dialog manager, a handled command answers with its result.
    current = &cases[0];
    EXPECT_EQ(0x77, SendMessageW(w, WM_COMMAND, 0, 0));
    current = nullptr;
    DestroyWindow(w);
}

TEST(DialogHosting, ThunkIsNeverWritableAndLeavesWithTheObject)
{
    auto* d = new RecordingDialog;
    HWND w = CreateModeless(*d);
    ASSERT_TRUE(w != nullptr);
    BYTE* thunk = d->thunk;
    ASSERT_TRUE(thunk != nullptr);

    MEMORY_BASIC_INFORMATION info = {};
    ASSERT_NE(0u, VirtualQuery(thunk, &info, sizeof info));
    EXPECT_EQ(DWORD(MEM_COMMIT), info.State);
    EXPECT_EQ(DWORD(PAGE_EXECUTE_READ), info.Protect);

#ifdef _WIN64
    // mov rcx, object ; mov rax, DispatchDialogMessage ; jmp rax
    UINT_PTR object, target;
    memcpy(&object, thunk + 2, 8);
    memcpy(&target, thunk + 12, 8);
    const BYTE loads[] = {0x48, 0xB9};
    const BYTE loadTarget[] = {0x48, 0xB8};
    const BYTE jump[] = {0xFF, 0xE0};
    EXPECT_EQ(0, memcmp(loads, thunk, 2));
    EXPECT_EQ(0, memcmp(loadTarget, thunk + 10, 2));
    EXPECT_EQ(0, memcmp(jump, thunk + 20, 2));
    EXPECT_EQ(reinterpret_cast<UINT_PTR>(d), object);
    EXPECT_EQ(reinterpret_cast<UINT_PTR>(DispatchDialogMessage), target);
#else
    // mov dword ptr [esp+4], object ; jmp DispatchDialogMessage
    const BYTE store[] = {0xC7, 0x44, 0x24, 0x04};
    EXPECT_EQ(0, memcmp(store, thunk, 4));
    DWORD object, displacement;
    memcpy(&object, thunk + 4, 4);
    memcpy(&displacement, thunk + 9, 4);
    EXPECT_EQ(reinterpret_cast<DWORD>(d), object);
    EXPECT_EQ(0xE9, thunk[8]);
    EXPECT_EQ(reinterpret_cast<DWORD>(DispatchDialogMessage),
              reinterpret_cast<DWORD>(thunk) + kThunkSize + displacement);
#endif
    EXPECT_EQ(reinterpret_cast<LONG_PTR>(thunk), GetWindowLongPtrW(w, DWLP_DLGPROC));

    // Writing it again reuses the memory and seals it again.
    EXPECT_EQ(reinterpret_cast<DLGPROC>(thunk), d->BuildThunk(DispatchDialogMessage));
    ASSERT_NE(0u, VirtualQuery(thunk, &info, sizeof info));
    EXPECT_EQ(DWORD(PAGE_EXECUTE_READ), info.Protect);

    DestroyWindow(w);
    delete d;
    ASSERT_NE(0u, VirtualQuery(thunk, &info, sizeof info));
    EXPECT_EQ(DWORD(MEM_FREE), info.State);
}

TEST(DialogHosting, NestedDialogTakesItsOwnRecord)
{
    RecordingDialog outer;
    RecordingDialog inner;
    inner.handler = EndAfterInit;
    INT_PTR innerResult = 0;
    HWND outerDuringInner = nullptr;
    outer.handler = [&](RecordingDialog& self, UINT message, WPARAM, LPARAM, LRESULT& result) {
        if (message == WM_INITDIALOG) {
            PostMessageW(self.window, kProbe, 0, 0);
            result = TRUE;
            return true;
        }
        if (message != kProbe)
            return false;
        innerResult = RunDialogModal(inner, IDD_HOSTING_TEST);
        outerDuringInner = self.window;
        EndDialog(self.window, kSentinel);
        return true;
    };
    EXPECT_EQ(kSentinel, RunDialogModal(outer, IDD_HOSTING_TEST));
    EXPECT_EQ(kSentinel, innerResult);

    size_t outerInit = outer.IndexOf(WM_INITDIALOG);
    size_t innerInit = inner.IndexOf(WM_INITDIALOG);
    ASSERT_LT(outerInit, outer.seen.size());
    ASSERT_LT(innerInit, inner.seen.size());
    EXPECT_NE(outer.seen[outerInit].window, inner.seen[innerInit].window);
    EXPECT_EQ(outer.seen[outerInit].window, outerDuringInner);
    // Each object saw its own window only.
    for (const Seen& s : inner.seen)
        EXPECT_EQ(inner.seen[innerInit].window, s.window);
    EXPECT_EQ(1, inner.goneCalls);
    EXPECT_EQ(1, outer.goneCalls);
}

TEST(DialogHosting, DialogThatCannotBeCreatedLeavesNoRecordBehind)
{
    RecordingDialog d;
    SetLastError(0xdeadbeef);
    EXPECT_EQ(-1, RunDialogModal(d, 999));  // no such template
    EXPECT_EQ(DWORD(ERROR_RESOURCE_NAME_NOT_FOUND), GetLastError());
    EXPECT_TRUE(d.seen.empty());
    EXPECT_FALSE(Listed(&d.createRecord));
}

TEST(CreateRecords, TakeUnlinksTheNewestRecordOfThisThread)
{
    WindowModule module;
    RecordingDialog a, b, c, e;
    const DWORD otherThread = GetCurrentThreadId() + 4;
    AddCreateRecord(&module, &a.createRecord, &a);
    a.createRecord.threadId = otherThread;
    AddCreateRecord(&module, &b.createRecord, &b);
    AddCreateRecord(&module, &c.createRecord, &c);
    AddCreateRecord(&module, &e.createRecord, &e);
    e.createRecord.threadId = otherThread;
    EXPECT_EQ(GetCurrentThreadId(), b.createRecord.threadId);

    // List: e(other) c b a(other). Records of other threads stay in place.
    EXPECT_EQ(&c, TakeCreateRecord(&module));
    EXPECT_EQ(&b, TakeCreateRecord(&module));
    EXPECT_TRUE(TakeCreateRecord(&module) == nullptr);
    ASSERT_EQ(&e.createRecord, module.createList);
    ASSERT_EQ(&a.createRecord, module.createList->next);
    EXPECT_TRUE(module.createList->next->next == nullptr);

    EXPECT_TRUE(TakeCreateRecord(nullptr) == nullptr);
}

TEST(CreateRecords, AddingWithoutModuleIsAnAccessViolation)
{
    RecordingDialog d;
    EXPECT_EQ(DWORD(EXCEPTION_ACCESS_VIOLATION), RunInChildProcess("no-module", [&] {
                  AddCreateRecord(nullptr, &d.createRecord, &d);
              }));
    EXPECT_EQ(DWORD(EXCEPTION_ACCESS_VIOLATION), RunInChildProcess("no-object", [&] {
                  AddCreateRecord(&ProcessWindowModule(), &d.createRecord, nullptr);
              }));
}

TEST(WindowModuleTermination, UnregistersClassesOnceAndChecksTheMarker)
{
    HINSTANCE instance = ProcessBaseModule().moduleInstance;
    WNDCLASSEXW cls = {};
    cls.cbSize = sizeof cls;
    cls.lpfnWndProc = DefWindowProcW;
    cls.hInstance = instance;
    cls.lpszClassName = L"OstrivoHostingTestClass";
    WNDCLASSEXW found = {};
    found.cbSize = sizeof found;

    WindowModule module;
    EXPECT_EQ(UINT(sizeof(WindowModule)), module.sizeMarker);
    ATOM atom = RegisterClassExW(&cls);
    ASSERT_NE(0, atom);
    module.classAtoms = static_cast<ATOM*>(malloc(sizeof(ATOM)));
    module.classAtoms[0] = atom;
    module.atomCount = module.atomCapacity = 1;

    // A marker of 0 means terminated already: nothing is touched.
    module.sizeMarker = 0;
    EXPECT_EQ(S_OK, TerminateWindowModule(&module, instance));
    EXPECT_EQ(1, module.atomCount);
    EXPECT_TRUE(GetClassInfoExW(instance, cls.lpszClassName, &found));

    // A marker that is no size of this record is refused.
    module.sizeMarker = sizeof(WindowModule) + 4;
    EXPECT_EQ(E_INVALIDARG, TerminateWindowModule(&module, instance));
    EXPECT_EQ(1, module.atomCount);
    EXPECT_EQ(E_INVALIDARG, TerminateWindowModule(nullptr, instance));

    module.sizeMarker = sizeof(WindowModule);
    EXPECT_EQ(S_OK, TerminateWindowModule(&module, instance));
    EXPECT_EQ(0u, module.sizeMarker);
    EXPECT_EQ(0, module.atomCount);
    EXPECT_TRUE(module.classAtoms == nullptr);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(GetClassInfoExW(instance, cls.lpszClassName, &found));
    EXPECT_EQ(DWORD(ERROR_CLASS_DOES_NOT_EXIST), GetLastError());
    // The exit-time run finds nothing left to do.
    EXPECT_EQ(S_OK, TerminateWindowModule(&module, instance));
}

}  // namespace
