#include "diagnostics/crash_report.h"

#include "core/cleanup.h"
#include "core/log.h"
#include "core/state.h"
#include "platform/dialogs.h"
#include "platform/process.h"

namespace qvk {

std::atomic<const SourceMark*> sourcePosition{nullptr};

namespace {

const char* const kEndLine = "End... Goodbye !";
const char* const kAskText =
    "QVK has encountered a critical error and shouldn't continue to work. However do you want to "
    "continue ? (Only for advanced users)";
const char* const kTellText =
    "QVK has encountered a critical error and can't continue to work. You should try again and "
    "activate debug mode.";

struct CodeText {
    uint32_t code;
    const char* text;
};

const CodeText kDescriptions[] = {
    {0xC0000005u, "Invalid memory access"},
    {0xC0000006u, "Page of a mapped file could not be read"},
    {0xC000001Du, "Invalid instruction"},
    {0xC0000025u, "Error that can't be continued"},
    {0xC000008Cu, "Array index out of bounds"},
    {0xC000008Du, "Floating-point operand too small"},
    {0xC000008Eu, "Floating-point division by zero"},
    {0xC000008Fu, "Floating-point result not exact"},
    {0xC0000090u, "Invalid floating-point operation"},
    {0xC0000091u, "Floating-point overflow"},
    {0xC0000092u, "Floating-point stack fault"},
    {0xC0000093u, "Floating-point underflow"},
    {0xC0000094u, "Integer division by zero"},
    {0xC0000095u, "Integer overflow"},
    {0xC0000096u, "Privileged instruction"},
    {0xC00000FDu, "Stack overflow"},
    {0x80000001u, "Guard page reached"},
    {0x80000002u, "Misaligned data access"},
    {0x80000003u, "Breakpoint"},
    {0x80000004u, "Single step"},
};

}  // namespace

std::string HexWord(uint32_t value) {
    static const char kDigits[] = "0123456789abcdef";
    std::string text(8, '0');
    for (int i = 7; i >= 0; --i, value >>= 4) text[i] = kDigits[value & 0xF];
    return text;
}

std::string FaultDescription(uint32_t code) {
    for (const CodeText& entry : kDescriptions)
        if (entry.code == code) return entry.text;
    return "Unknown error";
}

std::vector<std::string> ReportLines(const FaultRecord& f, const std::string& programFile,
                                     const std::string& instruction) {
    const std::string error =
        f.code == kAssertionFailed
            ? std::string("Error: Assertion failed")
            : "Error: " + FaultDescription(f.code) + "(" +
                  std::to_string(static_cast<int32_t>(f.code)) + ")";
    const std::string file = f.position ? std::string(f.position->unit) : std::string("unknown");
    const int line = f.position ? f.position->line : 0;
    return {
        "\r\n! Entered into critical section before crash !",
        error,
        "Address: " + HexWord(f.address) + "   file: " + programFile,
        "EAX: " + HexWord(f.eax) + "   EBX: " + HexWord(f.ebx) + "   ECX: " + HexWord(f.ecx) +
            "   EDX: " + HexWord(f.edx),
        "EBP: " + HexWord(f.ebp) + "   ESI: " + HexWord(f.esi) + "   ESP: " + HexWord(f.esp) +
            "   EDI: " + HexWord(f.edi),
        "FFLags: " + HexWord(f.eflags) + "        SegCS: " + HexWord(f.cs) +
            "        SegSS: " + HexWord(f.ss),
        "File: " + file + "   line: " + std::to_string(line),
        "ASM: " + instruction,
        "Total number of errors: " + std::to_string(f.errorCount),
    };
}

void CrashReport(const FaultRecord& fault, const std::string& programFile,
                 const std::string& instruction) {
    if (!state.debugMode && !state.safeMode) {
        platform::CriticalErrorBox(kTellText, false);
        CleanUpAndExit(kEndLine);
    }
    LogLines(ReportLines(fault, programFile, instruction));
    if (state.safeMode) {
        Log("! Error ignored by safemode !\r\n");
        return;
    }
    if (!platform::CriticalErrorBox(kAskText, true)) CleanUpAndExit(kEndLine);
    Log("! Error ignored by user !\r\n");
}

void AssertionFailed() { platform::RaiseFault(kAssertionFailed); }

bool MissingJobBlock(const void* job) {
    if (job) return false;
    AssertionFailed();
    Log("No job block: thread finished");
    return true;
}

}  // namespace qvk
