#include "patterns/path_table.h"

#include <algorithm>
#include <cstring>

#include "patterns/path_syntax.h"
#include "patterns/text.h"

namespace tamsel {

LoweredPath::LoweredPath(std::string_view path) : raw_(path) {
    const size_t n = path.size();
    char* out = inline_;
    if (n >= kInline) {
        heap_.reset(new char[n]);
        out = heap_.get();
    }
    unsigned char high = 0;
    for (size_t i = 0; i < n; ++i) {
        out[i] = AsciiLower(path[i]);
        high |= static_cast<unsigned char>(path[i]);
    }
    lowered_ = std::string_view(out, n);
    ascii_ = high < 0x80;
}

PathTable::~PathTable() {
    for (Cached& cached : cache_) delete cached.regex.load();
}

bool PathTable::Add(std::string_view path, uint32_t* slot, std::string* error) {
    // The scan, not the engine, decides at load: a path it accepts compiles.
    const std::string expression = AnchoredExpression(path);
    if (auto fault = PathSyntaxFault(expression)) {
        *error = std::move(*fault);
        return false;
    }
    const PathShortcut shortcut = AnalysePath(std::string_view(expression).substr(2, expression.size() - 3));
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

bool PathTable::Matches(uint32_t slot, std::string_view path, const LoweredPath& request) const {
    const Record& record = records_[slot];
    const std::string_view lowered = request.lowered();
    const std::string_view program = Literal(record.programOffset, record.programLength);
    const auto kind = static_cast<PathShortcut::Kind>(program[0]);
    // Outside ASCII, what "." and case folding mean depends on the locale.
    if (kind != PathShortcut::Kind::Engine && request.ascii()) {
        return ShortcutMatches(kind, program.substr(1), Required(slot), lowered);
    }
    if (lowered.find(Required(slot)) == std::string_view::npos) return false;
    std::unique_ptr<PathRegex> own;
    const PathRegex* regex = Compiled(slot, path, kind == PathShortcut::Kind::Engine, &own);
    // A path that compiled at load but not now (memory ran out) matches nothing.
    return regex != nullptr && regex->Matches(request.raw(), lowered);
}

// The slot's compiled expression if one is kept.
const PathRegex* PathTable::Kept(uint32_t slot) const {
    const int filled = std::min(live_.load(std::memory_order_acquire), kMaxLiveCompiled);
    for (int i = 0; i < filled; ++i) {
        if (cache_[i].slot.load(std::memory_order_acquire) == slot) return cache_[i].regex.load(std::memory_order_relaxed);
    }
    return nullptr;
}

// The slot's kept compiled expression, compiling it on its first use and,
// if `keep`, keeping it while there is room. Otherwise (past the cap, or for
// a path with a shortcut, which meets the engine only for a path outside
// ASCII) the expression is compiled into `own` for this match only. Two
// threads compiling one slot at once may both keep theirs, which only
// spends a place.
const PathRegex* PathTable::Compiled(uint32_t slot, std::string_view path, bool keep,
                                     std::unique_ptr<PathRegex>* own) const {
    if (const PathRegex* kept = keep ? Kept(slot) : nullptr) return kept;
    *own = PathRegex::Compile(path);
    if (!*own || !keep || live_.load(std::memory_order_relaxed) >= kMaxLiveCompiled) return own->get();
    const int place = live_.fetch_add(1, std::memory_order_acq_rel);
    if (place >= kMaxLiveCompiled) return own->get();
    cache_[place].regex.store(own->release(), std::memory_order_relaxed);
    cache_[place].slot.store(slot, std::memory_order_release);
    return cache_[place].regex.load(std::memory_order_relaxed);
}

}  // namespace tamsel
