// Where an exported address leads. On x86_64 an export entry that cannot
// reach the replacement leads to a jump stub (`jmp [slot]`) placed near its
// module instead; the tests compare what the stub jumps to.
#pragma once

#include <cstdint>
#include <cstring>

namespace tamsel::testing {

// The target of a `jmp [slot]` at `address` (FF 25 and a 32-bit operand:
// the slot's offset from the next instruction on x86_64, its address on
// i686), or `address` itself when no such jump starts there.
template <typename Function>
Function JumpTarget(Function address) {
    const auto* code = reinterpret_cast<const unsigned char*>(address);
    if (code == nullptr || code[0] != 0xFF || code[1] != 0x25) return address;
    int32_t operand = 0;
    std::memcpy(&operand, code + 2, sizeof operand);
    const unsigned char* slot =
        sizeof(void*) == 8
            ? code + 6 + operand
            : reinterpret_cast<const unsigned char*>(static_cast<uintptr_t>(static_cast<uint32_t>(operand)));
    Function target = nullptr;
    std::memcpy(&target, slot, sizeof target);
    return target;
}

}  // namespace tamsel::testing
