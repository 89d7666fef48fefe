// An array a loaded list holds: its own elements after a parse, or a view of
// a snapshot whose storage the list keeps (patterns/list_snapshot.h).
#pragma once

#include <cstddef>
#include <string_view>
#include <utility>
#include <vector>

namespace tamsel {

// Bytes a list is read from in place, kept for as long as the list lives.
class ListStorage {
public:
    virtual ~ListStorage() = default;
    virtual std::string_view bytes() const = 0;
};

template <typename T, typename Owner = std::vector<T>>
class StoredArray {
public:
    StoredArray() = default;
    StoredArray(const StoredArray&) = delete;
    StoredArray& operator=(const StoredArray&) = delete;
    StoredArray(StoredArray&& other) noexcept { *this = std::move(other); }
    StoredArray& operator=(StoredArray&& other) noexcept {
        if (other.view_) {
            View(other.data_, other.size_);
        } else {
            Adopt(std::move(other.owned_));  // point at the bytes where they are now
        }
        other.View(nullptr, 0);
        return *this;
    }

    // Takes the elements built by a parse.
    void Adopt(Owner elements) {
        owned_ = std::move(elements);
        data_ = owned_.data();
        size_ = owned_.size();
        view_ = false;
    }
    // Shows `size` elements kept elsewhere, by storage that outlives this.
    void View(const T* data, size_t size) {
        owned_ = Owner();
        data_ = data;
        size_ = size;
        view_ = true;
    }

    const T* data() const { return data_; }
    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    const T& operator[](size_t i) const { return data_[i]; }
    const T* begin() const { return data_; }
    const T* end() const { return data_ + size_; }
    // Bytes of the array's own (heap) elements; none for a view.
    size_t ownedBytes() const {
        if constexpr (requires { owned_.capacity(); }) {
            return owned_.capacity() * sizeof(T);
        } else {
            return owned_.size() * sizeof(T);
        }
    }

private:
    Owner owned_;
    const T* data_ = nullptr;
    size_t size_ = 0;
    bool view_ = false;
};

}  // namespace tamsel
