#include "patterns/path_table.h"

#include <cstring>

#include "patterns/path_syntax.h"
#include "patterns/text.h"

namespace tamsel {

LoweredPath::LoweredPath(const char* path) : raw_(path) {
    const size_t n = std::strlen(path);
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
    for (size_t i = 0; compiled_ && i < records_.size(); ++i) delete compiled_[i].load();
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
    record.kind = shortcut.kind;
    record.programOffset = static_cast<uint32_t>(literalsBuilt_.size());
    record.programLength = static_cast<uint16_t>(shortcut.program.size());
    literalsBuilt_ += shortcut.program;
    record.requiredOffset = static_cast<uint32_t>(literalsBuilt_.size());
    record.requiredLength = static_cast<uint16_t>(shortcut.required.size());
    literalsBuilt_ += shortcut.required;
    *slot = static_cast<uint32_t>(recordsBuilt_.size());
    recordsBuilt_.push_back(record);
    return true;
}

void PathTable::Seal() {
    literals_.Adopt(std::move(literalsBuilt_));
    records_.Adopt(std::move(recordsBuilt_));
    ClearCompiled();
}

void PathTable::ClearCompiled() {
    compiled_.reset(new std::atomic<const PathRegex*>[records_.size()]);
    for (size_t i = 0; i < records_.size(); ++i) compiled_[i].store(nullptr, std::memory_order_relaxed);
}

std::string_view PathTable::Required(uint32_t slot) const {
    return Literal(records_[slot].requiredOffset, records_[slot].requiredLength);
}

bool PathTable::Matches(uint32_t slot, std::string_view path, const LoweredPath& request) const {
    const Record& record = records_[slot];
    const std::string_view lowered = request.lowered();
    // Outside ASCII, what "." and case folding mean depends on the locale.
    if (record.kind == PathShortcut::Kind::Glob && request.ascii()) {
        return GlobMatches(Literal(record.programOffset, record.programLength), lowered);
    }
    if (lowered.find(Required(slot)) == std::string_view::npos) return false;
    std::unique_ptr<PathRegex> own;
    const PathRegex* regex = Compiled(slot, path, &own);
    // A path that compiled at load but not now (memory ran out) matches nothing.
    return regex != nullptr && regex->Matches(request.raw(), lowered);
}

// The slot's shared compiled expression, compiling it if this is its first
// use. Past the cap the expression is compiled into `own` for this match only.
const PathRegex* PathTable::Compiled(uint32_t slot, std::string_view path, std::unique_ptr<PathRegex>* own) const {
    std::atomic<const PathRegex*>& shared = compiled_[slot];
    if (const PathRegex* ready = shared.load(std::memory_order_acquire)) return ready;
    *own = PathRegex::Compile(path);
    if (!*own) return nullptr;
    if (live_.fetch_add(1, std::memory_order_relaxed) >= kMaxLiveCompiled) {
        live_.fetch_sub(1, std::memory_order_relaxed);
        return own->get();
    }
    const PathRegex* expected = nullptr;
    if (shared.compare_exchange_strong(expected, own->get(), std::memory_order_acq_rel)) return own->release();
    live_.fetch_sub(1, std::memory_order_relaxed);  // another thread installed it first
    return expected;
}

}  // namespace tamsel
