#pragma once
// Binding of call arguments to a method's parameters, with the interpreter's own
// wording for binding errors. Every parameter is positional-or-keyword; the
// first `required` are required and the rest default to None.

#include <array>
#include <atomic>
#include <cstddef>
#include <optional>

#include "bindings/python.hpp"

namespace vorel::py {

// A method's parameters. Signatures are objects of static storage duration
// (`static constinit const`), never temporaries: each keeps its parameter names
// as interned strings for the life of the process.
template <std::size_t N>
struct Signature {
    const char* qualname;  // "<Class>.<method>", "__new__" for constructors
    std::array<const char*, N> names;
    std::size_t required = N;
    // `names` as interned strings, made when a call first passes keywords. The
    // interpreter interns the keywords written in a call, so these match them
    // by identity.
    mutable std::array<std::atomic<PyObject*>, N> interned{};
};

// Borrowed argument per parameter; null for an absent optional one (omitted or None).
template <std::size_t N>
using Bound = std::array<PyObject*, N>;

namespace detail {
struct SignatureView {
    const char* qualname;
    const char* const* names;
    std::atomic<PyObject*>* interned;
    std::size_t count;
    std::size_t required;
};
bool bind_vector(const SignatureView& sig, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                 PyObject** out);
bool bind_tuple(const SignatureView& sig, PyObject* args, PyObject* kwargs, PyObject** out);

template <std::size_t N>
SignatureView view(const Signature<N>& sig) noexcept {
    return {sig.qualname, sig.names.data(), sig.interned.data(), N, sig.required};
}
}  // namespace detail

// Vector calling convention: positional values, then the values of `kwnames`.
template <std::size_t N>
std::optional<Bound<N>> bind(const Signature<N>& sig, PyObject* const* args, Py_ssize_t nargs,
                             PyObject* kwnames) {
    Bound<N> out{};
    // The usual call: positional arguments only, as many as the method takes or
    // fewer but all the required ones. An optional one given as None is absent.
    if (kwnames == nullptr && nargs >= static_cast<Py_ssize_t>(sig.required) &&
        nargs <= static_cast<Py_ssize_t>(N)) {
        for (std::size_t i = 0; i < static_cast<std::size_t>(nargs); ++i) {
            out[i] = i >= sig.required && args[i] == Py_None ? nullptr : args[i];
        }
        return out;
    }
    if (!detail::bind_vector(detail::view(sig), args, nargs, kwnames, out.data())) return std::nullopt;
    return out;
}

// Tuple-and-dictionary convention (constructors).
template <std::size_t N>
std::optional<Bound<N>> bind(const Signature<N>& sig, PyObject* args, PyObject* kwargs) {
    Bound<N> out{};
    if (!detail::bind_tuple(detail::view(sig), args, kwargs, out.data())) return std::nullopt;
    return out;
}

// A temporary signature would intern its names at every call.
template <std::size_t N>
void bind(const Signature<N>&&, PyObject* const*, Py_ssize_t, PyObject*) = delete;
template <std::size_t N>
void bind(const Signature<N>&&, PyObject*, PyObject*) = delete;

}  // namespace vorel::py
