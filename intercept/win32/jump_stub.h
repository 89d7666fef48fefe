// Jump stubs: a few bytes of code that jump to a fixed address, placed at an
// address the caller chooses the bounds of. An export entry is a 32-bit
// offset from its module's base; on x86_64 a replacement may lie further
// away than that, and the entry then holds the offset of a stub placed
// within reach, which jumps on to the replacement.
#pragma once

#include <cstdint>

namespace tamsel::hook {

// Code that jumps to `target`, placed somewhere in [low, high); its pages are
// executable, not writable. Null when no memory in the window can be had.
// Stubs live for the rest of the process: an export entry may lead to one
// at any time. Thread-safe.
void* PlaceJumpStub(uint64_t low, uint64_t high, void* target);

// Where a stub made by PlaceJumpStub jumps; `address` itself when it is no
// such stub.
void* ThroughJumpStub(void* address);

}  // namespace tamsel::hook
