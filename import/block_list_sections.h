// The imported sections of a block list: each source's lines stand between
// two marker comments, after the list's own lines, so that importing the
// same source again replaces exactly its section.
#pragma once

#include <string>
#include <string_view>

#include "base/status.h"
#include "import/list_source.h"

namespace tamsel::import {

// The section text for `converted`: the begin marker, a note on where the
// lines came from, the block lines, the exceptions, the important blocks
// and the end marker. `name` identifies the source; `origin` describes it.
std::string RenderSection(std::string_view name, std::string_view origin, const ConvertedSource& converted);

// Puts `section` (from RenderSection under `name`) in place of the section
// of that name in `list`, or after everything when there is none. Fails,
// leaving `list` as it was, when its markers do not pair up.
Status PutSection(std::string* list, std::string_view name, std::string_view section);

}  // namespace tamsel::import
