#include "diagnostics/disassembly.h"

#include <Zydis/Zydis.h>

namespace qvk {

DecodedInstruction DecodeInstruction(const unsigned char* bytes, std::size_t size,
                                     uint64_t address, bool longMode) {
    DecodedInstruction result;
    if (!bytes || size == 0) return result;
    ZydisDecoder decoder;
    if (longMode)
        ZydisDecoderInit(&decoder, ZYDIS_MACHINE_MODE_LONG_64, ZYDIS_STACK_WIDTH_64);
    else
        ZydisDecoderInit(&decoder, ZYDIS_MACHINE_MODE_LEGACY_32, ZYDIS_STACK_WIDTH_32);
    ZydisDecodedInstruction instruction;
    ZydisDecodedOperand operands[ZYDIS_MAX_OPERAND_COUNT];
    if (!ZYAN_SUCCESS(ZydisDecoderDecodeFull(&decoder, bytes, size, &instruction, operands)))
        return result;
    ZydisFormatter formatter;
    ZydisFormatterInit(&formatter, ZYDIS_FORMATTER_STYLE_INTEL);
    // "idiv [ebp-4]" leaves the reader guessing the operand's size.
    ZydisFormatterSetProperty(&formatter, ZYDIS_FORMATTER_PROP_FORCE_SIZE, ZYAN_TRUE);
    char text[96];
    if (!ZYAN_SUCCESS(ZydisFormatterFormatInstruction(&formatter, &instruction, operands,
                                                      instruction.operand_count_visible, text,
                                                      sizeof text, address, ZYAN_NULL)))
        return result;
    result.valid = true;
    result.length = instruction.length;
    result.text = text;
    return result;
}

}  // namespace qvk
