// One machine instruction as text, and its length: the crash report's "ASM: " line and the
// point where a thread resumes after its faulting instruction.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace qvk {

struct DecodedInstruction {
    bool valid = false;
    unsigned length = 0;  // bytes
    std::string text;     // mnemonic and operands, Intel syntax
};

// Decodes the instruction at the start of `bytes` (the readable bytes found at `address`), as
// 32-bit code or, with `longMode`, as 64-bit code.
DecodedInstruction DecodeInstruction(const unsigned char* bytes, std::size_t size,
                                     uint64_t address, bool longMode);

}  // namespace qvk
