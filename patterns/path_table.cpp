#include "patterns/path_table.h"

#include <cstring>

#include "patterns/byte_words.h"
#include "patterns/text.h"

namespace tamsel {

LoweredPath::LoweredPath(std::string_view path) {
    char* out = inline_;
    if (path.size() >= kInline) {
        heap_.reset(new char[path.size()]);
        out = heap_.get();
    }
    lowered_ = std::string_view(out, LowerInto(path, out));
}

Result<uint32_t> PathTable::Add(std::string_view path) {
    Result<PathShortcut> program = PathProgram(path);
    if (!program) return program.failure();
    const PathShortcut& shortcut = *program;
    // A record's length has two bytes; the largest programs (every position
    // and class of a 512-position pattern) stay below that.
    if (3 + shortcut.runs.size() + shortcut.program.size() > UINT16_MAX) return Failure{"too large to match"};
    Record record;
    record.programOffset = static_cast<uint32_t>(literalsBuilt_.size());
    literalsBuilt_.push_back(static_cast<char>(shortcut.kind));
    literalsBuilt_.push_back(static_cast<char>(shortcut.runs.size() & 0xff));
    literalsBuilt_.push_back(static_cast<char>(shortcut.runs.size() >> 8));
    literalsBuilt_ += shortcut.runs;
    literalsBuilt_ += shortcut.program;
    const std::string_view stored = std::string_view(literalsBuilt_).substr(record.programOffset);
    record.programLength = static_cast<uint16_t>(stored.size());
    const size_t within = shortcut.required.empty() ? 0 : stored.find(shortcut.required);
    if (within == std::string::npos) {
        record.requiredOffset = static_cast<uint32_t>(literalsBuilt_.size());
        literalsBuilt_ += shortcut.required;
    } else {
        record.requiredOffset = record.programOffset + static_cast<uint32_t>(within);
    }
    record.requiredLength = static_cast<uint16_t>(shortcut.required.size());
    const auto slot = static_cast<uint32_t>(recordsBuilt_.size());
    recordsBuilt_.push_back(record);
    return slot;
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

StoredProgram PathTable::Program(uint32_t slot) const {
    const Record& record = records_[slot];
    return SplitStoredProgram(Literal(record.programOffset, record.programLength));
}

bool PathTable::Matches(uint32_t slot, const LoweredPath& request) const {
    const StoredProgram program = Program(slot);
    return ShortcutMatches(program.kind, program.code, program.runs, request.lowered());
}

StoredProgram SplitStoredProgram(std::string_view stored) {
    StoredProgram out;
    if (stored.size() < 3) return out;
    const auto byte = [&](size_t i) { return static_cast<size_t>(static_cast<unsigned char>(stored[i])); };
    const size_t runs = byte(1) | byte(2) << 8;
    if (runs > stored.size() - 3) return out;
    out.kind = static_cast<PathShortcut::Kind>(stored[0]);
    out.runs = stored.substr(3, runs);
    out.code = stored.substr(3 + runs);
    return out;
}

}  // namespace tamsel
