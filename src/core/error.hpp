#pragma once
// Error values of the core. An operation that can fail returns Result<T>: either
// its value or an Error that names the Python exception type the binding layer
// raises and carries the message.

#include <cstdint>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>

namespace vorel {

enum class ErrorKind : std::uint8_t {
    Value,      // ValueError
    Type,       // TypeError
    Attribute,  // AttributeError
    Overflow,   // OverflowError
    Runtime,    // RuntimeError
    System,     // SystemError
    Memory,     // MemoryError
    // The host's interrupt poll stopped the work (core/interrupt.hpp): the
    // exception the poll raised stands as it is, KeyboardInterrupt if none.
    Interrupted,
};

struct Error {
    ErrorKind kind;
    std::string message;

    static Error value(std::string message) { return {ErrorKind::Value, std::move(message)}; }
    static Error type(std::string message) { return {ErrorKind::Type, std::move(message)}; }
    static Error overflow(std::string message) { return {ErrorKind::Overflow, std::move(message)}; }
    static Error memory(std::string message) { return {ErrorKind::Memory, std::move(message)}; }
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
