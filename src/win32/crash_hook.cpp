// The fault hook. It runs on the faulting thread, which may have almost no stack left and may
// hold locks, so it only captures the record, hands it to the reporter thread and waits for the
// verdict. The reporter writes the report, asks the user and ends the program where needed; then
// the faulting thread resumes after its instruction, or, where that cannot be done, is ended
// (a worker) or left stopped while the program ends in order (the main thread).
#include "crash_hook.h"

#include <windows.h>

#include <string>

#include "core/cleanup.h"
#include "core/log.h"
#include "core/shutdown_gate.h"
#include "diagnostics/crash_report.h"
#include "diagnostics/disassembly.h"
#include "platform/process.h"
#include "thread_frame.h"
#ifdef QVK_FAULT_TRIGGERS
#include "fault_triggers.h"
#endif

namespace qvk::win32 {
namespace {

enum class Verdict { Pending, Resume, EndThread };

// One fault in flight. Slots keep the faults of several threads apart; a thread that finds all
// of them taken waits for one.
struct Slot {
    volatile LONG taken;    // 0 free, 1 in use
    volatile LONG waiting;  // 1 while the record waits for the reporter
    HANDLE answered;        // set when the verdict is in
    DWORD thread;
    bool mainThread;
    bool resumable;         // the system allows going on (not a stack overflow, not flagged)
    FaultRecord record;
    uintptr_t pc;
    Verdict verdict;
    unsigned length;        // of the faulting instruction
};

constexpr int kSlots = 8;
Slot slots[kSlots];
HANDLE wake = nullptr;  // one count per record waiting
DWORD reporterThread = 0;
DWORD mainThread = 0;
volatile LONG errorCount = 0;

const char* const kEndLine = "End... Goodbye !";

bool HeldStill(uint32_t thread) {
    for (const Slot& slot : slots)
        if (slot.taken && slot.thread == thread) return true;
    return false;
}

// Reads what can be read of the instruction at `pc`: an unreadable address gives no bytes.
std::size_t ReadCode(uintptr_t pc, unsigned char* bytes, std::size_t size) {
    SIZE_T got = 0;
    if (ReadProcessMemory(GetCurrentProcess(), reinterpret_cast<void*>(pc), bytes, size, &got))
        return got;
    // The instruction may end at the edge of a readable page.
    std::size_t n = 0;
    for (; n < size; ++n)
        if (!ReadProcessMemory(GetCurrentProcess(), reinterpret_cast<void*>(pc + n), bytes + n, 1,
                               &got))
            break;
    return n;
}

void Handle(Slot& slot) {
    unsigned char code[15];
    const std::size_t readable = ReadCode(slot.pc, code, sizeof code);
    const DecodedInstruction instruction =
        DecodeInstruction(code, readable, slot.pc, sizeof(void*) == 8);
    const std::string text = readable == 0         ? "(no readable instruction at this address)"
                             : !instruction.valid ? "(no valid instruction at this address)"
                                                  : instruction.text;
    const bool assertion = slot.record.code == kAssertionFailed;
    // Going on means: after the raise for the assertion, after the faulting instruction
    // otherwise. Neither a stack overflow nor an address that holds no instruction allows it.
    const bool canResume = slot.resumable && (assertion || instruction.valid);

    CrashReport(slot.record, platform::ProgramFilePath(), text);  // returns only when the program goes on
#ifdef QVK_FAULT_TRIGGERS
    FaultInReportWhenArmed();
#endif

    if (canResume) {
        slot.length = assertion ? 0 : instruction.length;
        slot.verdict = Verdict::Resume;
    } else if (slot.mainThread) {
        Log("Can't resume after this error: the program ends");
        CleanUpAndExit(kEndLine);
    } else {
        Log("Can't resume after this error: the thread is ended");
        slot.verdict = Verdict::EndThread;
    }
    // On disk before the thread goes on: what follows a fault may end the process without a word.
    FlushLog();
    SetEvent(slot.answered);
}

DWORD WINAPI Reporter(void*) {
    for (;;) {
        WaitForSingleObject(wake, INFINITE);
        // The oldest fault first, so that the reports follow the count.
        Slot* next = nullptr;
        for (Slot& slot : slots)
            if (slot.waiting && (!next || slot.record.errorCount < next->record.errorCount))
                next = &slot;
        if (!next) continue;
        next->waiting = 0;
        Handle(*next);
    }
}

// Where an ended worker continues: on a fresh part of its own stack, it gives back what it held
// and leaves.
[[noreturn]] void EndFaultedThread() {
    LeaveLogLockOfThisThread();
    LeaveWorkSectionsOfThisThread();
    ExitThread(0);
}

void Capture(Slot& slot, EXCEPTION_POINTERS* info) {
    const EXCEPTION_RECORD& e = *info->ExceptionRecord;
    const CONTEXT& c = *info->ContextRecord;
    slot.thread = GetCurrentThreadId();
    FaultRecord& r = slot.record;
    r.code = e.ExceptionCode;
    slot.pc = reinterpret_cast<uintptr_t>(e.ExceptionAddress);
    r.address = static_cast<uint32_t>(slot.pc);
#ifdef _WIN64
    r.eax = uint32_t(c.Rax), r.ebx = uint32_t(c.Rbx), r.ecx = uint32_t(c.Rcx);
    r.edx = uint32_t(c.Rdx), r.ebp = uint32_t(c.Rbp), r.esi = uint32_t(c.Rsi);
    r.esp = uint32_t(c.Rsp), r.edi = uint32_t(c.Rdi);
#else
    r.eax = c.Eax, r.ebx = c.Ebx, r.ecx = c.Ecx, r.edx = c.Edx, r.ebp = c.Ebp, r.esi = c.Esi;
    r.esp = c.Esp, r.edi = c.Edi;
#endif
    r.eflags = c.EFlags, r.cs = c.SegCs, r.ss = c.SegSs;
    r.position = sourcePosition.load(std::memory_order_relaxed);
    r.errorCount = InterlockedIncrement(&errorCount);
    slot.mainThread = slot.thread == mainThread;
    slot.resumable = e.ExceptionCode != EXCEPTION_STACK_OVERFLOW &&
                     !(e.ExceptionFlags & EXCEPTION_NONCONTINUABLE);
    slot.verdict = Verdict::Pending;
}

// Moves the thread to EndFaultedThread on the upper part of its stack, which the frames that
// faulted never reached.
void SendToEnd(CONTEXT& c) {
    const ThreadFrame* frame = StartedThreadFrame();
    const uintptr_t top = reinterpret_cast<uintptr_t>(frame->stackTop);
#ifdef _WIN64
    c.Rsp = ((top - 512) & ~uintptr_t(15)) - 8;  // as after a call
    c.Rip = reinterpret_cast<uintptr_t>(&EndFaultedThread);
#else
    // The handler chain (its head is at fs:0) goes back to what it was when the thread started.
    asm volatile("movl %0, %%fs:0" : : "r"(frame->exceptionList) : "memory");
    c.Esp = ((top - 512) & ~uintptr_t(15)) - 4;
    c.Eip = reinterpret_cast<uintptr_t>(&EndFaultedThread);
#endif
}

LONG WINAPI Filter(EXCEPTION_POINTERS* info) {
    const DWORD self = GetCurrentThreadId();
    // A fault inside the report or inside the end: ending in order is all that is left, and the
    // end itself skips to the bare exit when it faults again.
    if (self == reporterThread) {
        Log("Error inside the crash report");
        CleanUpAndExit(kEndLine);
    }
    if (EndingOnThisThread()) CleanUpAndExit(kEndLine);

    Slot* slot = nullptr;
    while (!slot) {
        for (Slot& s : slots)
            if (InterlockedCompareExchange(&s.taken, 1, 0) == 0) {
                slot = &s;
                break;
            }
        if (!slot) Sleep(10);
    }
    Capture(*slot, info);
    InterlockedExchange(&slot->waiting, 1);
    ReleaseSemaphore(wake, 1, nullptr);
    WaitForSingleObject(slot->answered, INFINITE);

    const Verdict verdict = slot->verdict;
    const uintptr_t next = slot->pc + slot->length;
    const bool canEnd = StartedThreadFrame() != nullptr;
    CONTEXT& c = *info->ContextRecord;
    const bool assertion = slot->record.code == kAssertionFailed;
    if (verdict == Verdict::EndThread && canEnd) SendToEnd(c);
    slot->thread = 0;
    InterlockedExchange(&slot->taken, 0);
    if (verdict == Verdict::EndThread) {
        if (!canEnd) {
            // A thread of the system's own: it stays stopped rather than run on a broken state.
            LeaveLogLockOfThisThread();
            LeaveWorkSectionsOfThisThread();
            Sleep(INFINITE);
        }
        return EXCEPTION_CONTINUE_EXECUTION;
    }
    // The raise of an assertion simply returns; a faulting instruction is stepped over.
#ifdef _WIN64
    if (!assertion) c.Rip = next;
#else
    if (!assertion) c.Eip = static_cast<DWORD>(next);
#endif
    return EXCEPTION_CONTINUE_EXECUTION;
}

// A stack overflow leaves too little stack for the system's whole search for a handler (under
// Wine a couple of kilobytes): it is taken here, at the start of that search, where the rest
// of the hook still fits. Every other fault goes the usual way to the unhandled-fault filter.
LONG WINAPI FirstLook(EXCEPTION_POINTERS* info) {
    if (info->ExceptionRecord->ExceptionCode != EXCEPTION_STACK_OVERFLOW)
        return EXCEPTION_CONTINUE_SEARCH;
    return Filter(info);
}

}  // namespace

void InstallCrashHook() {
    mainThread = GetCurrentThreadId();
    for (Slot& slot : slots) slot.answered = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    wake = CreateSemaphoreA(nullptr, 0, kSlots, nullptr);
    SetHeldStillTest(HeldStill);
    if (!CreateThread(nullptr, 0, Reporter, nullptr, 0, &reporterThread)) return;
    SetUnhandledExceptionFilter(Filter);
    AddVectoredExceptionHandler(1, FirstLook);
}

}  // namespace qvk::win32
