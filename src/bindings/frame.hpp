#pragma once
// The call frame every entry point runs its body in. A body reports failure by
// leaving a Python exception set and returning an empty value (a null PyRef, an
// empty optional, false). Core error values are raised with raise_error(); a
// Panic thrown anywhere below becomes PanicException here and never crosses
// into the interpreter.

#include <optional>
#include <string>
#include <utility>

#include "bindings/py_ref.hpp"
#include "bindings/python.hpp"
#include "core/error.hpp"

// Unwraps an optional-like result into `var`, or returns the failure (the
// Python exception stays set).
#define VOREL_LET(var, expr)                  \
    auto var##_maybe_ = (expr);               \
    if (!var##_maybe_) return {};             \
    auto var = std::move(*var##_maybe_)

#define VOREL_CHECK(expr) \
    if (!(expr)) return {}

namespace vorel::py {

// Sets the Python exception for a core error value.
void raise_error(const Error& error);
void raise(PyObject* type, const char* message);
void raise(PyObject* type, const std::string& message);

// The value of a core result, or nullopt with its error raised.
template <class T>
std::optional<T> unwrap(Result<T> result) {
    if (result) return std::move(*result);
    raise_error(result.error());
    return std::nullopt;
}

// After an interpreter call reported failure: makes sure an exception is set.
void ensure_error_set() noexcept;

// Replaces a pending exception of exactly TypeError by
// TypeError("argument '<name>': <message>"), keeping the original's cause.
// Other exceptions stay as they are.
void wrap_argument_error(const char* name) noexcept;

// Converts the C++ exception being handled (a Panic, or anything else) into the
// pending Python exception. Aborts if even that fails.
void raise_active_exception() noexcept;

// The PanicException class, created on first use; borrowed, null on failure.
PyObject* panic_exception_type() noexcept;

template <class Body>
PyObject* run_frame(Body&& body) noexcept {
    try {
        PyRef result = body();
        if (!result) {
            ensure_error_set();
            return nullptr;
        }
        return result.release();
    } catch (...) {
        raise_active_exception();
        return nullptr;
    }
}

// For setters: 0 on success, -1 with an exception set.
template <class Body>
int run_status_frame(Body&& body) noexcept {
    try {
        if (body()) return 0;
        ensure_error_set();
        return -1;
    } catch (...) {
        raise_active_exception();
        return -1;
    }
}

// Wraps a conversion result of argument `name`: on failure the pending
// TypeError is re-worded with the argument name.
template <class T>
std::optional<T> named(const char* name, std::optional<T> converted) noexcept {
    if (!converted) wrap_argument_error(name);
    return converted;
}

}  // namespace vorel::py
