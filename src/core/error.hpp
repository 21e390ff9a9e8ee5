#pragma once
// Error values of the core. An operation that can fail returns Result<T>: either
// its value or an Error that says what kind of failure it is and carries the
// message. The binding layer maps each kind to an exception of the host.

#include <cstdint>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>

namespace vorel {

enum class ErrorKind : std::uint8_t {
    // The inputs admit no result: a setting or a market value outside its
    // domain, inputs that disagree, a case not supported, or a solve that finds
    // no answer for them.
    InvalidInput,
    // Date arithmetic left the range of the calendar.
    OutOfRange,
    // The work asked for needs more memory than the process may use; nothing
    // was allocated.
    TooLarge,
    // The host's interrupt poll stopped the work (core/interrupt.hpp).
    Interrupted,
};

struct Error {
    ErrorKind kind;
    std::string message;

    static Error invalid_input(std::string message) { return {ErrorKind::InvalidInput, std::move(message)}; }
    static Error out_of_range(std::string message) { return {ErrorKind::OutOfRange, std::move(message)}; }
    static Error too_large(std::string message) { return {ErrorKind::TooLarge, std::move(message)}; }
    static Error interrupted() { return {ErrorKind::Interrupted, "interrupted"}; }
};

// The failure alternative of a Result, so that `return Err{e};` reads plainly and
// a Result<E, E> stays unambiguous.
template <class E>
struct Err {
    E error;
};
template <class E>
Err(E) -> Err<E>;

template <class T, class E = Error>
class [[nodiscard]] Result {
public:
    Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}
    Result(Err<E> failure) : state_(std::in_place_index<1>, std::move(failure.error)) {}

    bool ok() const noexcept { return state_.index() == 0; }
    explicit operator bool() const noexcept { return ok(); }

    T& value() & { return std::get<0>(state_); }
    const T& value() const& { return std::get<0>(state_); }
    T&& value() && { return std::get<0>(std::move(state_)); }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }
    T&& operator*() && { return std::move(*this).value(); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }

    E& error() & { return std::get<1>(state_); }
    const E& error() const& { return std::get<1>(state_); }
    E&& error() && { return std::get<1>(std::move(state_)); }

private:
    std::variant<T, E> state_;
};

// Success without a value.
struct Unit {};

}  // namespace vorel
