#include "diagnostics/disassembly.h"

#include <Zydis/Zydis.h>

namespace qvk {

DecodedInstruction DecodeInstruction(const unsigned char* bytes, std::size_t size,
                                     uint64_t address, bool longMode) {
    DecodedInstruction result;
    if (!bytes || size == 0) return result;
    ZydisDisassembledInstruction instruction;
    const ZydisMachineMode mode =
        longMode ? ZYDIS_MACHINE_MODE_LONG_64 : ZYDIS_MACHINE_MODE_LEGACY_32;
    if (!ZYAN_SUCCESS(ZydisDisassembleIntel(mode, address, bytes, size, &instruction)))
        return result;
    result.valid = true;
    result.length = instruction.info.length;
    result.text = instruction.text;
    return result;
}

}  // namespace qvk
