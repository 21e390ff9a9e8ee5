#pragma once
// Binding of call arguments to a method's parameters, with the interpreter's own
// wording for binding errors. Every parameter is positional-or-keyword; the
// first `required` are required and the rest default to None.

#include <array>
#include <cstddef>
#include <optional>

#include "bindings/python.hpp"

namespace vorel::py {

template <std::size_t N>
struct Signature {
    const char* qualname;  // "<Class>.<method>", "__new__" for constructors
    std::array<const char*, N> names;
    std::size_t required = N;
};

// Borrowed argument per parameter; null for an absent optional one (omitted or None).
template <std::size_t N>
using Bound = std::array<PyObject*, N>;

namespace detail {
struct SignatureView {
    const char* qualname;
    const char* const* names;
    std::size_t count;
    std::size_t required;
};
bool bind_vector(const SignatureView& sig, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                 PyObject** out);
bool bind_tuple(const SignatureView& sig, PyObject* args, PyObject* kwargs, PyObject** out);
}  // namespace detail

// Vector calling convention: positional values, then the values of `kwnames`.
template <std::size_t N>
std::optional<Bound<N>> bind(const Signature<N>& sig, PyObject* const* args, Py_ssize_t nargs,
                             PyObject* kwnames) {
    Bound<N> out{};
    if (!detail::bind_vector({sig.qualname, sig.names.data(), N, sig.required}, args, nargs, kwnames,
                             out.data())) {
        return std::nullopt;
    }
    return out;
}

// Tuple-and-dictionary convention (constructors).
template <std::size_t N>
std::optional<Bound<N>> bind(const Signature<N>& sig, PyObject* args, PyObject* kwargs) {
    Bound<N> out{};
    if (!detail::bind_tuple({sig.qualname, sig.names.data(), N, sig.required}, args, kwargs, out.data())) {
        return std::nullopt;
    }
    return out;
}

}  // namespace vorel::py
