// One owner type for every handle the code opens: a value of type T, the
// function that closes it, and the value that means "nothing to close".
// File descriptors, FILE*, registry keys, Windows handles and BSTRs are all
// instances of it.
#pragma once

#include <optional>
#include <utility>

namespace tamsel {

template <class T, auto CloseFunction, T kEmpty = T{}>
class UniqueAny {
public:
    UniqueAny() = default;
    explicit UniqueAny(T value) : value_(value) {}
    ~UniqueAny() { reset(); }
    UniqueAny(UniqueAny&& other) noexcept : value_(other.release()) {}
    UniqueAny& operator=(UniqueAny&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    UniqueAny(const UniqueAny&) = delete;
    UniqueAny& operator=(const UniqueAny&) = delete;

    T get() const { return value_; }
    explicit operator bool() const { return value_ != kEmpty; }

    // For a function that hands back a new handle through a pointer: closes
    // what is held first.
    T* put() {
        reset();
        return &value_;
    }
    T release() { return std::exchange(value_, kEmpty); }
    void reset(T value = kEmpty) {
        const T old = std::exchange(value_, value);
        if (old != kEmpty) CloseFunction(old);
    }

    // Closes now and gives the close function's answer (nullopt when nothing
    // was held): for a file just written, a failed close can mean lost data.
    auto CloseNow() {
        using Answer = decltype(CloseFunction(value_));
        const T old = release();
        return old == kEmpty ? std::optional<Answer>() : std::optional<Answer>(CloseFunction(old));
    }

private:
    T value_ = kEmpty;
};

}  // namespace tamsel
