#include <gtest/gtest.h>

#include <vector>

#include "diagnostics/crash_report.h"
#include "diagnostics/disassembly.h"
#include "diagnostics/source_position.h"

namespace qvk {
namespace {

TEST(CrashReport, LinesOfARecord) {
    static const SourceMark mark{"catalogue.cpp", 141};
    FaultRecord f;
    f.code = 0xC0000005u, f.address = 4660, f.errorCount = 1, f.position = &mark;
    f.eax = 0x10, f.ebx = 0x1f, f.ecx = 0x0244fa40, f.edx = 0xffffffff, f.ebp = 6699, f.esi = 2;
    f.esp = 0x0244fa08, f.edi = 0xdeadbeef, f.eflags = 0x10206, f.cs = 0x23, f.ss = 0x2b;
    EXPECT_EQ(ReportLines(f, "C:\\qvk\\qvk.exe", "mov eax, dword ptr [eax]"),
              (std::vector<std::string>{
                  "\r\n! Entered into critical section before crash !", "Error: Invalid memory access(-1073741819)",
                  "Address: 00001234   file: C:\\qvk\\qvk.exe",
                  "EAX: 00000010   EBX: 0000001f   ECX: 0244fa40   EDX: ffffffff",
                  "EBP: 00001a2b   ESI: 00000002   ESP: 0244fa08   EDI: deadbeef",
                  "FFLags: 00010206        SegCS: 00000023        SegSS: 0000002b",
                  "File: catalogue.cpp   line: 141", "ASM: mov eax, dword ptr [eax]", "Total number of errors: 1"}));
    const std::pair<uint32_t, const char*> codes[] = {{kAssertionFailed, "Error: Assertion failed"},
                                                      {0xE0000001u, "Error: Unknown error(-536870911)"}};
    for (const auto& [code, error] : codes) {
        FaultRecord bare;  // and no position recorded yet
        bare.code = code, bare.errorCount = 2;
        const std::vector<std::string> lines = ReportLines(bare, "", "");
        EXPECT_EQ(lines[1] + "|" + lines[6] + "|" + lines[8], std::string(error) + "|File: unknown   line: 0|Total number of errors: 2");
    }
    EXPECT_STREQ(UnitName("/src/catalogue/catalogue.cpp"), "catalogue.cpp");
    QVK_AT(); const int line = __LINE__;
    ASSERT_NE(sourcePosition.load(), nullptr);
    EXPECT_EQ(sourcePosition.load()->unit + (":" + std::to_string(sourcePosition.load()->line)),
              "crash_report_test.cpp:" + std::to_string(line));
}

TEST(CrashReport, InstructionTextAndLength) {
    const struct {
        std::vector<unsigned char> bytes;
        bool longMode;
        unsigned length;  // 0: no instruction (none such, or cut short by unreadable memory)
        const char* text;
    } cases[] = {
        {{0x8B, 0x00, 0x90}, false, 2, "mov eax, dword ptr [eax]"}, {{0xF7, 0x7D, 0xFC}, false, 3, "idiv dword ptr [ebp-0x04]"},
        {{0xA1, 0x10, 0, 0, 0}, false, 5, "mov eax, dword ptr [0x00000010]"}, {{0x48, 0xF7, 0xF9}, true, 3, "idiv rcx"},
        {{0xFF, 0xFF}, false, 0, ""}, {{0xA1, 0x10}, false, 0, ""}, {{}, false, 0, ""},
    };
    for (const auto& c : cases) {
        const DecodedInstruction d = DecodeInstruction(c.bytes.data(), c.bytes.size(), 0x401000, c.longMode);
        EXPECT_EQ(d.valid, c.length != 0) << c.text;
        EXPECT_EQ(d.length, c.length) << c.text;
        EXPECT_EQ(d.text, c.text);
    }
}

}  // namespace
}  // namespace qvk
