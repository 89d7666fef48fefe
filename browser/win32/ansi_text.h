// Wide text from the browser as the lists read it: narrow text in the
// system's ANSI code page, lower-cased with the code page's own rules.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace tamsel {

// The text in the ANSI code page; nullopt when it cannot be converted. The
// buffer lives on the heap, so a walk over many elements uses no more stack
// for the thousandth conversion than for the first.
std::optional<std::string> NarrowAnsi(const wchar_t* text, UINT length);

// Lower-cases `text` in place, double-byte characters included; false when
// the code page could not lower-case all of it.
bool LowerAnsi(std::string& text);

}  // namespace tamsel
