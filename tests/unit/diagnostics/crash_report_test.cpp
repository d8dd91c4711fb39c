#include <gtest/gtest.h>

#include <vector>

#include "diagnostics/crash_report.h"
#include "diagnostics/disassembly.h"
#include "diagnostics/source_position.h"

namespace qvk {
namespace {

const SourceMark kCatalogueMark{"catalogue.cpp", 141};

struct ReportCase {
    const char* name;
    FaultRecord fault;
    std::vector<std::string> lines;
};

TEST(CrashReport, LinesOfARecord) {
    FaultRecord access;
    access.code = 0xC0000005u;
    access.address = 4660;
    access.eax = 0x10, access.ebx = 0x1f, access.ecx = 0x0244fa40, access.edx = 0xffffffff;
    access.ebp = 6699, access.esi = 2, access.esp = 0x0244fa08, access.edi = 0xdeadbeef;
    access.eflags = 0x10206, access.cs = 0x23, access.ss = 0x2b;
    access.position = &kCatalogueMark;
    access.errorCount = 1;
    FaultRecord assertion;
    assertion.code = kAssertionFailed;
    assertion.errorCount = 2;
    FaultRecord unknown;
    unknown.code = 0xE0000001u;
    unknown.errorCount = 3;

    const ReportCase cases[] = {
        {"access violation", access,
         {"\r\n! Entered into critical section before crash !",
          "Error: Invalid memory access(-1073741819)",
          "Address: 00001234   file: C:\\qvk\\qvk.exe",
          "EAX: 00000010   EBX: 0000001f   ECX: 0244fa40   EDX: ffffffff",
          "EBP: 00001a2b   ESI: 00000002   ESP: 0244fa08   EDI: deadbeef",
          "FFLags: 00010206        SegCS: 00000023        SegSS: 0000002b",
          "File: catalogue.cpp   line: 141", "ASM: mov eax, [eax]",
          "Total number of errors: 1"}},
        {"assertion, no position yet", assertion,
         {"\r\n! Entered into critical section before crash !", "Error: Assertion failed",
          "Address: 00000000   file: C:\\qvk\\qvk.exe",
          "EAX: 00000000   EBX: 00000000   ECX: 00000000   EDX: 00000000",
          "EBP: 00000000   ESI: 00000000   ESP: 00000000   EDI: 00000000",
          "FFLags: 00000000        SegCS: 00000000        SegSS: 00000000",
          "File: unknown   line: 0", "ASM: mov eax, [eax]", "Total number of errors: 2"}},
    };
    for (const ReportCase& c : cases)
        EXPECT_EQ(ReportLines(c.fault, "C:\\qvk\\qvk.exe", "mov eax, [eax]"), c.lines) << c.name;
    EXPECT_EQ(ReportLines(unknown, "", "")[1], "Error: Unknown error(-536870911)");
    EXPECT_EQ(ReportLines(unknown, "", "")[8], "Total number of errors: 3");
}

TEST(CrashReport, DescriptionsAndHexWords) {
    EXPECT_EQ(HexWord(6699), "00001a2b");
    EXPECT_EQ(HexWord(0), "00000000");
    EXPECT_EQ(HexWord(0xFFFFFFFFu), "ffffffff");
    EXPECT_EQ(FaultDescription(0xC0000094u), "Integer division by zero");
    EXPECT_EQ(FaultDescription(0xC00000FDu), "Stack overflow");
}

TEST(CrashReport, SourcePositionNamesTheUnitAndLine) {
    EXPECT_STREQ(UnitName("/src/catalogue/catalogue.cpp"), "catalogue.cpp");
    EXPECT_STREQ(UnitName("C:\\src\\win32\\main.cpp"), "main.cpp");
    EXPECT_STREQ(UnitName("wizard.cpp"), "wizard.cpp");
    QVK_AT(); const int line = __LINE__;
    const SourceMark* mark = sourcePosition.load();
    ASSERT_NE(mark, nullptr);
    EXPECT_STREQ(mark->unit, "crash_report_test.cpp");
    EXPECT_EQ(mark->line, line);
}

struct DecodeCase {
    std::vector<unsigned char> bytes;
    bool longMode;
    bool valid;
    unsigned length;
    const char* text;
};

TEST(CrashReport, InstructionTextAndLength) {
    const DecodeCase cases[] = {
        {{0x8B, 0x00, 0x90}, false, true, 2, "mov eax, dword ptr [eax]"},
        {{0xF7, 0x7D, 0xFC}, false, true, 3, "idiv dword ptr [ebp-0x04]"},
        {{0xA1, 0x10, 0x00, 0x00, 0x00}, false, true, 5, "mov eax, dword ptr [0x00000010]"},
        {{0x48, 0xF7, 0xF9}, true, true, 3, "idiv rcx"},
        {{0x8B, 0x00}, true, true, 2, "mov eax, dword ptr [rax]"},
        {{0xFF, 0xFF}, false, false, 0, ""},       // no such instruction
        {{0xA1, 0x10}, false, false, 0, ""},       // cut short by unreadable memory
        {{}, false, false, 0, ""},
    };
    for (const DecodeCase& c : cases) {
        const DecodedInstruction d =
            DecodeInstruction(c.bytes.data(), c.bytes.size(), 0x401000, c.longMode);
        EXPECT_EQ(d.valid, c.valid) << c.text;
        EXPECT_EQ(d.length, c.length) << c.text;
        EXPECT_EQ(d.text, c.text);
    }
}

}  // namespace
}  // namespace qvk
