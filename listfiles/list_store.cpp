#include "listfiles/list_store.h"

#include <new>

#include "listfiles/list_cache.h"
#include "patterns/file_bytes.h"
#include "patterns/text.h"
#include "platform/env.h"

namespace tamsel {

namespace {

constexpr const char* kNoListFolder = "the folder of the list files cannot be found";

}  // namespace

const ListFileInfo& ListFileOf(ListKind kind) {
    for (const ListFileInfo& file : kListFiles) {
        if (file.kind == kind) return file;
    }
    return kListFiles[0];  // unreachable: every kind has its row
}

ListStore::ListStore(ListSlots& slots, ListFilePath where, std::optional<std::string> cacheFolder)
    : slots_(slots), where_(std::move(where)), cacheFolder_(std::move(cacheFolder)) {}

std::optional<std::string> ListStore::PathOf(ListKind kind) const { return where_(ListFileOf(kind).fileName); }

Result<std::vector<std::string>> ListStore::ReadEntries(ListKind kind) const {
    const std::optional<std::string> path = PathOf(kind);
    if (!path) return Failure{kNoListFolder};
    const Result<std::string> bytes = ReadFileBytes(*path);
    if (!bytes) return bytes.failure();
    return SplitListLines(*bytes);
}

ListWriteResult ListStore::WriteEntries(ListKind kind, const std::vector<std::string>& entries) const {
    ListWriteResult result;
    const std::optional<std::string> path = PathOf(kind);
    if (!path) {
        result.path = ListFileOf(kind).fileName;
        result.error = kNoListFolder;
        return result;
    }
    result.path = *path;
    const Status written = TheEnv().ReplaceFileContents(*path, ListFileBytes(entries));
    result.written = written.ok();
    result.error = written.message();
    if (result.written && cacheFolder_) WriteListSnapshot(*path, *cacheFolder_);
    return result;
}

ListLoadResult ListStore::Load(ListKind kind) const {
    const std::optional<std::string> path = PathOf(kind);
    if (!path) return Failure{kNoListFolder};
    // Every load of the module, the editors and the tool comes through here:
    // a list too large for the memory left fails like any other, and the
    // list in use stays.
    try {
        return cacheFolder_ ? LoadListThroughCache(*path, *cacheFolder_) : LoadPatternListChecked(*path);
    } catch (const std::bad_alloc&) {
        return Failure{"out of memory"};
    }
}

std::optional<Failure> ListStore::Publish(ListKind kind) const {
    ListLoadResult loaded = Load(kind);
    if (!loaded) return loaded.failure();
    slots_.Replace(kind, std::move(*loaded));
    return std::nullopt;
}

std::optional<Failure> ListStore::RenewIfPresent(ListKind kind) const {
    // Without a path there is no file to take up: the list in place stays.
    if (!slots_.Present(kind) || !PathOf(kind)) return std::nullopt;
    return Publish(kind);
}

std::optional<Failure> EntryFault(std::string_view entry) {
    // A line's verdict does not depend on the lines around it.
    const ListLoadResult parsed = ParsePatternListText(entry, "entry");
    if (parsed) return std::nullopt;
    return parsed.failure();
}

std::string ListFileBytes(const std::vector<std::string>& entries) {
    if (entries.empty()) return "\r\n";
    std::string bytes;
    for (const std::string& entry : entries) bytes.append(entry).append("\r\n");
    return bytes;
}

std::vector<std::string> SplitListLines(std::string_view bytes) {
    std::vector<std::string> lines;
    size_t pos = 0;
    while (pos < bytes.size()) {
        // A line ends at an LF, a CR, or both, as the loader reads it.
        size_t end = bytes.find_first_of("\r\n", pos);
        if (end == std::string_view::npos) end = bytes.size();
        const std::string_view line = bytes.substr(pos, end - pos);
        bool blank = true;
        for (const char c : line) blank = blank && IsCSpace(c);
        if (!blank) lines.emplace_back(line);
        pos = end + (bytes.substr(end).starts_with("\r\n") ? 2 : 1);
    }
    return lines;
}

}  // namespace tamsel
