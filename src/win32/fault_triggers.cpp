#include "fault_triggers.h"

#include <windows.h>

#include <cstdint>
#include <deque>

#include "catalogue/catalogue.h"
#include "core/state.h"
#include "diagnostics/crash_report.h"
#include "install/download.h"
#include "install/install.h"
#include "platform/threads.h"
#include "win32_ui.h"
#include "window/ui.h"

namespace qvk::win32 {
namespace {

const char kOption[] = "-faulttest=";

std::deque<std::string> mainFaults, installFaults, workerFaults;
platform::Mutex workerMutex;
DWORD mainThread = 0;
volatile int sink = 0;
volatile int zero = 0;
volatile uintptr_t invalidAddress = 0x10;  // never mapped: the first page of a process
volatile bool deeper = true;
HANDLE together = nullptr;
volatile LONG reportFault = 0;

__attribute__((noinline)) void ReadInvalidAddress() {
    sink = *reinterpret_cast<volatile int*>(invalidAddress);
}

__attribute__((noinline)) void DivideByZero() { sink = 1000 / zero; }

__attribute__((noinline)) void JumpIntoNothing() {
    reinterpret_cast<void (*)()>(invalidAddress)();
}

__attribute__((noinline)) int Recurse(int depth) {
    volatile char frame[1024];
    frame[0] = static_cast<char>(depth);
    return deeper ? Recurse(depth + 1) + frame[0] : 0;
}

void FaultTogether(void*) {
    WaitForSingleObject(together, 10000);
    ReadInvalidAddress();
}

void Fire(const std::string& kind) {
    if (kind == "access") ReadInvalidAddress();
    else if (kind == "divide") DivideByZero();
    else if (kind == "jump") JumpIntoNothing();
    else if (kind == "overflow") sink = Recurse(0);
    else if (kind == "assert") AssertionFailed();
    else if (kind == "report") InterlockedExchange(&reportFault, 1);
    else if (kind == "nojob") {
        platform::StartThread([](void*) { CatalogueThread(nullptr); }, nullptr);
        platform::StartThread([](void*) { DownloadThread(nullptr); }, nullptr);
        platform::StartThread([](void*) { InstallThread(nullptr); }, nullptr);
    }
    else if (kind == "together") {
        together = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        platform::StartThread(FaultTogether, nullptr);
        platform::StartThread(FaultTogether, nullptr);
        Sleep(200);  // both threads wait at the event by then
        SetEvent(together);
    }
}

// The Ui in use before the faults were armed (the window's, or the unattended mode's own),
// which every call goes on to.
Ui* inner = nullptr;

// The Ui as the workers see it, with a fault before each of their first writes.
class FaultingUi : public Ui {
public:
    int Message(const std::string& t, const std::string& c, int s, const MessageTopic& m) override {
        return inner->Message(t, c, s, m);
    }
    void SetText(int control, const std::string& text) override {
        if (GetCurrentThreadId() != mainThread) {
            std::string kind;
            {
                platform::MutexLock lock(workerMutex);
                if (!workerFaults.empty()) {
                    kind = workerFaults.front();
                    workerFaults.pop_front();
                }
            }
            if (!kind.empty()) Fire(kind);
        }
        inner->SetText(control, text);
    }
    std::string GetText(int c) override { return inner->GetText(c); }
    void SetProgress(int c, int v) override { inner->SetProgress(c, v); }
    void SetProgressMax(int c, int m) override { inner->SetProgressMax(c, m); }
    void Enable(int c, bool e) override { inner->Enable(c, e); }
    void AddLine(int c, const std::string& l) override { inner->AddLine(c, l); }
    void Show(int c, bool v) override { inner->Show(c, v); }
    void Free(int c) override { inner->Free(c); }
    int GetState(int c) override { return inner->GetState(c); }
    void SetState(int c, int s) override { inner->SetState(c, s); }
    void Move(int c, int x, int y, int w, int h) override { inner->Move(c, x, y, w, h); }
};

FaultingUi faultingUi;

void FireAll(std::deque<std::string>& faults) {
    while (!faults.empty()) {
        const std::string kind = faults.front();
        faults.pop_front();
        Fire(kind);
    }
}

}  // namespace

void ArmFaults(const std::vector<std::string>& args) {
    mainThread = GetCurrentThreadId();
    for (const std::string& arg : args) {
        if (arg.compare(0, sizeof kOption - 1, kOption) != 0) continue;
        std::string list = arg.substr(sizeof kOption - 1) + ",";
        for (std::size_t at; (at = list.find(',')) != std::string::npos; list.erase(0, at + 1)) {
            const std::string item = list.substr(0, at);
            const std::size_t cut = item.find('@');
            if (cut == std::string::npos) continue;
            const std::string kind = item.substr(0, cut), place = item.substr(cut + 1);
            if (place == "main") mainFaults.push_back(kind);
            else if (place == "install") installFaults.push_back(kind);
            else if (place == "worker") workerFaults.push_back(kind);
        }
    }
    inner = CurrentUi() ? CurrentUi() : &TheUi();
    SetUi(&faultingUi);
}

void FaultInReportWhenArmed() {
    if (InterlockedExchange(&reportFault, 0)) ReadInvalidAddress();
}

void FaultsAfterNext(int step) {
    if (step == 1) FireAll(mainFaults);
    if (step == 5) FireAll(installFaults);
}

}  // namespace qvk::win32
