#include "patterns/path_table.h"

#include <cstring>

#include "patterns/path_regex.h"
#include "patterns/text.h"

namespace tamsel {

LoweredPath::LoweredPath(std::string_view path) {
    const size_t n = path.size();
    char* out = inline_;
    if (n >= kInline) {
        heap_.reset(new char[n]);
        out = heap_.get();
    }
    const void* nul = n > 0 ? std::memchr(path.data(), '\0', n) : nullptr;
    const size_t end = nul != nullptr ? static_cast<size_t>(static_cast<const char*>(nul) - path.data()) : n;
    for (size_t i = 0; i < end; ++i) out[i] = AsciiLower(path[i]);
    lowered_ = std::string_view(out, end);
}

bool PathTable::Add(std::string_view path, uint32_t* slot, std::string* error) {
    PathShortcut shortcut;
    if (auto fault = PathProgram(path, &shortcut)) {
        *error = std::move(*fault);
        return false;
    }
    Record record;
    record.programOffset = static_cast<uint32_t>(literalsBuilt_.size());
    record.programLength = static_cast<uint16_t>(shortcut.program.size() + 1);
    literalsBuilt_.push_back(static_cast<char>(shortcut.kind));
    literalsBuilt_ += shortcut.program;
    const size_t within = shortcut.required.empty() ? 0 : shortcut.program.find(shortcut.required);
    if (within == std::string::npos) {
        record.requiredOffset = static_cast<uint32_t>(literalsBuilt_.size());
        literalsBuilt_ += shortcut.required;
    } else {
        record.requiredOffset = record.programOffset + 1 + static_cast<uint32_t>(within);
    }
    record.requiredLength = static_cast<uint16_t>(shortcut.required.size());
    *slot = static_cast<uint32_t>(recordsBuilt_.size());
    recordsBuilt_.push_back(record);
    return true;
}

void PathTable::Seal() {
    literalsBuilt_.shrink_to_fit();
    recordsBuilt_.shrink_to_fit();
    literals_.Adopt(std::move(literalsBuilt_));
    records_.Adopt(std::move(recordsBuilt_));
}

std::string_view PathTable::Required(uint32_t slot) const {
    return Literal(records_[slot].requiredOffset, records_[slot].requiredLength);
}

bool PathTable::Matches(uint32_t slot, const LoweredPath& request) const {
    const Record& record = records_[slot];
    const std::string_view program = Literal(record.programOffset, record.programLength);
    return ShortcutMatches(static_cast<PathShortcut::Kind>(program[0]), program.substr(1), Required(slot),
                           request.lowered());
}

}  // namespace tamsel
