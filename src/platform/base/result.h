#pragma once
// A value or a one-line error text, in the manner of std::expected (which clang cannot use
// with libstdc++ 12). Failures the user can cause travel as values, never as exceptions.
#include <cassert>
#include <optional>
#include <string>
#include <utility>
#include <variant>

namespace mail {

struct Error {
    std::string message;
};

inline Error make_error(std::string message) { return Error{std::move(message)}; }

template <typename T>
class [[nodiscard]] Result {
public:
    Result(T value) : data_(std::in_place_index<0>, std::move(value)) {}
    Result(Error error) : data_(std::in_place_index<1>, std::move(error)) {}

    bool ok() const { return data_.index() == 0; }
    explicit operator bool() const { return ok(); }

    T& value() & { assert(ok()); return std::get<0>(data_); }
    const T& value() const& { assert(ok()); return std::get<0>(data_); }
    T&& value() && { assert(ok()); return std::get<0>(std::move(data_)); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }

    const Error& error() const { assert(!ok()); return std::get<1>(data_); }
    const std::string& error_text() const { return error().message; }

    T value_or(T fallback) const& { return ok() ? value() : std::move(fallback); }

private:
    std::variant<T, Error> data_;
};

template <>
class [[nodiscard]] Result<void> {
public:
    Result() = default;
    Result(Error error) : error_(std::move(error)) {}

    bool ok() const { return !error_.has_value(); }
    explicit operator bool() const { return ok(); }
    const Error& error() const { assert(!ok()); return *error_; }
    const std::string& error_text() const { return error().message; }

private:
    std::optional<Error> error_;
};

using Status = Result<void>;

}  // namespace mail

// Passes an error of a Result<…> expression up to the caller.
#define MAIL_TRY(expr)                                       \
    do {                                                     \
        auto&& mail_try_result_ = (expr);                    \
        if (!mail_try_result_.ok()) return mail_try_result_.error(); \
    } while (0)
