// For a test program that links allocation_count.cpp, which replaces the
// global operator new: how many times it has been called so far.
#pragma once

namespace tamsel::testing {

long AllocationCount();

}  // namespace tamsel::testing
