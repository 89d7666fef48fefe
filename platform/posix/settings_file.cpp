// The switch in a registry-format file: see settings_file.h.
#include "platform/posix/settings_file.h"

#include <stdlib.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "patterns/file_bytes.h"
#include "patterns/text.h"
#include "platform/native.h"

namespace tamsel {

namespace {

constexpr std::string_view kHeader = "REGEDIT4";
constexpr std::string_view kKey = "HKEY_CURRENT_USER\\Software\\Tamsel\\BHO";
constexpr std::string_view kValueName = "\"Status\"";

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsCSpace(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsCSpace(s.back())) s.remove_suffix(1);
    return s;
}

bool EqualsNoCase(std::string_view a, std::string_view b) { return a.size() == b.size() && StartsWithNoCase(a, b); }

// The key a "[...]" line opens, or nullopt for any other line.
std::optional<std::string_view> SectionOf(std::string_view line) {
    line = Trim(line);
    if (line.size() < 2 || line.front() != '[' || line.back() != ']') return std::nullopt;
    return Trim(line.substr(1, line.size() - 2));
}

// What a line inside the key says about "Status".
enum class ValueLine { Other, Set, Deleted };

ValueLine ParseStatusLine(std::string_view line, uint32_t* value) {
    line = Trim(line);
    if (!StartsWithNoCase(line, kValueName)) return ValueLine::Other;
    line = Trim(line.substr(kValueName.size()));
    if (line.empty() || line.front() != '=') return ValueLine::Other;
    line = Trim(line.substr(1));
    if (line == "-") return ValueLine::Deleted;
    if (!StartsWithNoCase(line, "dword:")) return ValueLine::Other;
    const std::string_view digits = line.substr(6);
    if (digits.empty() || digits.size() > 8) return ValueLine::Other;
    uint32_t result = 0;
    for (const char c : digits) {
        const char l = AsciiLower(c);
        const int digit = IsAsciiDigit(l) ? l - '0' : (l >= 'a' && l <= 'f') ? l - 'a' + 10 : -1;
        if (digit < 0) return ValueLine::Other;
        result = result * 16 + static_cast<uint32_t>(digit);
    }
    *value = result;
    return ValueLine::Set;
}

// Calls `visit(line, raw, insideKey)` for each line: `raw` is its bytes as
// they stand, line end included; `line` is without its LF and the one CR
// before it.
template <class Visit>
void ForEachLine(std::string_view text, Visit visit) {
    bool insideKey = false;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        const std::string_view raw = text.substr(0, end == std::string_view::npos ? text.size() : end + 1);
        text.remove_prefix(raw.size());
        std::string_view line = raw.substr(0, end == std::string_view::npos ? raw.size() : end);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (const auto section = SectionOf(line)) insideKey = EqualsNoCase(*section, kKey);
        visit(line, raw, insideKey);
    }
}

std::string StatusLine(uint32_t value) {
    char line[32];
    std::snprintf(line, sizeof line, "\"Status\"=dword:%08x", static_cast<unsigned>(value));
    return line;
}

}  // namespace

std::optional<uint32_t> FindStatusValue(std::string_view text) {
    std::optional<uint32_t> found;
    ForEachLine(text, [&](std::string_view line, std::string_view, bool insideKey) {
        uint32_t value = 0;
        if (!insideKey) return;
        switch (ParseStatusLine(line, &value)) {
            case ValueLine::Set: found = value; break;
            case ValueLine::Deleted: found.reset(); break;
            case ValueLine::Other: break;
        }
    });
    return found;
}

std::string WithStatusValue(std::string_view text, uint32_t value) {
    // New lines follow the file's own line ends, so a file written on
    // Windows stays one.
    const size_t firstEnd = text.find('\n');
    const std::string eol =
        (firstEnd != std::string_view::npos && firstEnd > 0 && text[firstEnd - 1] == '\r') ? "\r\n" : "\n";
    std::string out;
    bool firstLine = true, replaced = false;
    std::optional<size_t> afterKeyHeader;
    // Every line keeps its bytes and its own line end; only a last line
    // without one is given the file's.
    const auto ended = [&](std::string_view raw) { return std::string(raw) + (raw.ends_with('\n') ? "" : eol); };
    ForEachLine(text, [&](std::string_view line, std::string_view raw, bool insideKey) {
        if (firstLine && !StartsWithNoCase(Trim(line), kHeader) &&
            !StartsWithNoCase(Trim(line), "Windows Registry Editor")) {
            out.append(kHeader).append(eol).append(eol);
        }
        firstLine = false;
        uint32_t old = 0;
        if (insideKey && ParseStatusLine(line, &old) != ValueLine::Other) {
            out.append(StatusLine(value)).append(ended(raw.substr(raw.find_last_not_of("\r\n") + 1)));
            replaced = true;
            return;
        }
        out.append(ended(raw));
        if (insideKey && SectionOf(line)) afterKeyHeader = out.size();
    });
    if (replaced) return out;
    if (afterKeyHeader) return out.insert(*afterKeyHeader, StatusLine(value) + eol);
    if (out.empty()) out.append(kHeader).append(eol);
    out.append(eol).append("[").append(kKey).append("]").append(eol);
    return out.append(StatusLine(value)).append(eol);
}

std::optional<std::string> SettingsFilePath() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    std::string folder;
    // A relative XDG_CONFIG_HOME is invalid and must be ignored.
    if (xdg != nullptr && xdg[0] == '/') {
        folder = xdg;
    } else {
        const char* home = std::getenv("HOME");
        if (home == nullptr || home[0] != '/') return std::nullopt;
        folder = std::string(home) + "/.config";
    }
    return folder + "/Tamsel/settings.reg";
}

namespace {

// The whole file; nullopt when it is absent (`*absent` set) or unreadable.
std::optional<std::string> ReadFile(const std::string& path, bool* absent) {
    Result<std::string> text = ReadFileBytes(path);
    *absent = !text && text.failure().errorNumber == ENOENT;
    if (!text) return std::nullopt;
    return std::move(*text);
}

}  // namespace

Result<uint32_t> ReadStoredSwitch() {
    const auto path = SettingsFilePath();
    if (!path) return 0u;
    const Result<std::string> text = ReadFileBytes(*path);
    if (!text && text.failure().errorNumber != ENOENT) return text.failure();
    return text ? FindStatusValue(*text).value_or(0) : 0u;
}

uint32_t native::ReadAllowAdsSwitch() {
    try {
        const Result<uint32_t> stored = ReadStoredSwitch();
        return stored.ok() ? *stored : 0;
    } catch (...) {
        return 0;
    }
}

bool native::WriteAllowAdsSwitch(uint32_t value) {
    try {
        const auto path = SettingsFilePath();
        if (!path) return false;
        std::error_code ec;
        std::filesystem::create_directories(std::filesystem::path(*path).parent_path(), ec);
        if (ec) return false;
        bool absent = false;
        const auto old = ReadFile(*path, &absent);
        // A file that exists but cannot be read may hold more than the
        // switch: leave it alone rather than write over what we cannot see.
        if (!old && !absent) return false;
        return native::ReplaceFileContents(*path, WithStatusValue(old.value_or(""), value), NewFileAccess::AsBefore)
            .ok();
    } catch (...) {
        return false;
    }
}

}  // namespace tamsel
