#include "ui/pattern_text_list.h"

namespace tamsel {

std::vector<std::string> PatternTextList::Texts() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return texts_;
}

std::vector<std::string> PatternTextList::Shown() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return std::vector<std::string>(texts_.rbegin(), texts_.rend());
}

void PatternTextList::Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    texts_.clear();
}

bool PatternTextList::Add(const std::string& text) {
    if (text.empty()) return false;
    std::lock_guard<std::mutex> lock(mutex_);
    texts_.push_back(text);
    return true;
}

bool PatternTextList::Edit(size_t index, const std::string& text) {
    if (text.empty()) return false;
    std::lock_guard<std::mutex> lock(mutex_);
    if (index >= texts_.size()) return false;
    texts_.erase(texts_.end() - 1 - static_cast<std::ptrdiff_t>(index));
    texts_.push_back(text);
    return true;
}

bool PatternTextList::Delete(size_t index) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (index >= texts_.size()) return false;
    texts_.erase(texts_.end() - 1 - static_cast<std::ptrdiff_t>(index));
    return true;
}

void PatternTextList::LoadIfEmpty(const ListStore& store) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!texts_.empty()) return;
    if (auto entries = store.ReadEntries(kind_)) texts_ = std::move(*entries);
    store.RenewIfPresent(kind_);
}

ListWriteResult PatternTextList::Close(const ListStore& store) {
    std::lock_guard<std::mutex> lock(mutex_);
    ListWriteResult result = store.WriteEntries(kind_, texts_);
    store.RenewIfPresent(kind_);
    return result;
}

}  // namespace tamsel
