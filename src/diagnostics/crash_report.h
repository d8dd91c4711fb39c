// The report of a fault that nothing else handled, in any thread, and of the program's own
// assertion error. The system's fault hook captures the record; the report writes it to the log
// and decides whether the program goes on.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "diagnostics/source_position.h"

namespace qvk {

// The error code of the program's own assertion.
inline constexpr uint32_t kAssertionFailed = 54;

// What the hook captured at the moment of one fault. A 64-bit build gives the low 32 bits of
// its registers under the same names.
struct FaultRecord {
    uint32_t code = 0;
    uint32_t address = 0;
    uint32_t eax = 0, ebx = 0, ecx = 0, edx = 0, ebp = 0, esi = 0, esp = 0, edi = 0;
    uint32_t eflags = 0, cs = 0, ss = 0;
    const SourceMark* position = nullptr;
    int32_t errorCount = 0;  // this fault's number in the run, from 1
};

// Eight lower-case hexadecimal digits: 6699 gives "00001a2b".
std::string HexWord(uint32_t value);
// One line of English for a fault code.
std::string FaultDescription(uint32_t code);
// The report as the log gets it, one entry per Log line (the first starts with an empty line).
std::vector<std::string> ReportLines(const FaultRecord& fault, const std::string& programFile,
                                     const std::string& instruction);

// Writes the report and asks or tells the user (debug mode: Yes/No; safe mode: nothing; neither:
// OK, then the orderly end). Returns only when the program is to go on.
void CrashReport(const FaultRecord& fault, const std::string& programFile,
                 const std::string& instruction);

// Raises the assertion error through the fault hook; returns once the report let the program
// go on.
void AssertionFailed();
// A worker started without its job block: the assertion report, then true, and the worker
// ends there, since without its block it has nothing to work on. False when the block is there.
bool MissingJobBlock(const void* job);

}  // namespace qvk
