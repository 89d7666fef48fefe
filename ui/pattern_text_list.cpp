#include "ui/pattern_text_list.h"

#include <algorithm>

#include "patterns/file_bytes.h"
#include "patterns/text.h"
#include "module/replace_file.h"

namespace tamsel {

std::vector<std::string> PatternTextList::Texts() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return texts_;
}

void PatternTextList::Rebuild(std::vector<std::string> items) {
    std::lock_guard<std::mutex> lock(mutex_);
    texts_ = std::move(items);
}

void PatternTextList::LoadIfEmpty(const ListFilePath& where) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!texts_.empty()) return;
    const std::optional<std::string> path = where(fileName_);
    if (!path) return;
    if (const auto bytes = ReadFileBytes(*path)) texts_ = SplitPatternWords(*bytes);
    TheSharedState().RenewIfPresent(kind_, *path);
}

ListWriteResult PatternTextList::Close(const ListFilePath& where) {
    std::lock_guard<std::mutex> lock(mutex_);
    ListWriteResult result;
    const std::optional<std::string> path = where(fileName_);
    if (!path) {
        result.path = fileName_;
        result.error = "the folder of the list files cannot be found";
        return result;
    }
    result.path = *path;
    result.written = WritePatternTextFile(*path, texts_, &result.error);
    TheSharedState().RenewIfPresent(kind_, *path);
    return result;
}

PatternTextList& WhiteListTexts() {
    static PatternTextList* const list = new PatternTextList(kUserTrustListFile, ListKind::UserTrust);
    return *list;
}

PatternTextList& BlackListTexts() {
    static PatternTextList* const list = new PatternTextList(kUserBlockListFile, ListKind::UserBlock);
    return *list;
}

void LoadPatternTextLists(const ListFilePath& where) {
    WhiteListTexts().LoadIfEmpty(where);
    BlackListTexts().LoadIfEmpty(where);
}

std::vector<std::string> ShownOrder(std::vector<std::string> texts) {
    std::reverse(texts.begin(), texts.end());
    return texts;
}

std::vector<std::string> SplitPatternWords(std::string_view bytes) {
    std::vector<std::string> words;
    size_t pos = 0;
    while (pos < bytes.size()) {
        while (pos < bytes.size() && IsCSpace(bytes[pos])) ++pos;
        size_t end = pos;
        while (end < bytes.size() && !IsCSpace(bytes[end])) ++end;
        if (end > pos) words.emplace_back(bytes.substr(pos, end - pos));
        pos = end;
    }
    return words;
}

std::string PatternTextFileBytes(const std::vector<std::string>& texts) {
    if (texts.empty()) return "\r\n";
    std::string bytes;
    for (const std::string& text : texts) bytes.append(text).append("\r\n");
    return bytes;
}

bool WritePatternTextFile(const std::string& path, const std::vector<std::string>& texts, std::string* error) {
    return ReplaceFileContents(path, PatternTextFileBytes(texts), error);
}

}  // namespace tamsel
