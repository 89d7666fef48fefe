// How a step inside Tamsel reports failure. A Status is success, or a
// failure with a message for the user; a Result<T> is a value, or such a
// failure. The entry points that C or COM code calls turn them into their
// own error answers (base/boundary.h); inside, a failure travels as one of
// these rather than as an empty optional, a bool beside an out-string or an
// error number.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <variant>

namespace tamsel {

// What went wrong, in words for the user.
struct Failure {
    std::string message;
    // The C library's error number behind it, for a caller that decides by
    // it (ENOENT: nothing there yet); 0 when there is none.
    int errorNumber = 0;
    // The line of a list file it stands on; 0 when the file itself failed.
    int32_t lineNumber = 0;
};

class [[nodiscard]] Status {
public:
    Status() = default;  // success
    Status(Failure failure) : failed_(true), message_(std::move(failure.message)) {}

    bool ok() const { return !failed_; }
    // Empty for success.
    const std::string& message() const { return message_; }

private:
    bool failed_ = false;
    std::string message_;
};

template <class T>
class [[nodiscard]] Result {
public:
    Result(T value) : held_(std::in_place_index<0>, std::move(value)) {}
    Result(Failure failure) : held_(std::in_place_index<1>, std::move(failure)) {}

    bool ok() const { return held_.index() == 0; }
    explicit operator bool() const { return ok(); }

    // Only for a result that is ok.
    T& value() & { return std::get<0>(held_); }
    const T& value() const& { return std::get<0>(held_); }
    // Takes the value out of a result that is going away.
    T&& value() && { return std::get<0>(std::move(held_)); }
    T& operator*() { return value(); }
    const T& operator*() const { return value(); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }

    // Empty for a result that is ok.
    const std::string& message() const {
        static const std::string none;
        return ok() ? none : std::get<1>(held_).message;
    }
    // Only for a result that is not ok.
    const Failure& failure() const { return std::get<1>(held_); }
    Status status() const { return ok() ? Status() : Status(std::get<1>(held_)); }

private:
    std::variant<T, Failure> held_;
};

}  // namespace tamsel
