#pragma once
// Conversions of single arguments. Failures leave the interpreter's own
// exception (or the library's) set; callers wrap them with the argument name
// through named().

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "bindings/globals.hpp"
#include "bindings/object.hpp"
#include "bindings/py_ref.hpp"
#include "bindings/python.hpp"

namespace vorel::py {

// float, int, or anything with __float__ or __index__.
std::optional<double> to_f64(PyObject* object);
// int or anything with __index__; float is refused.
std::optional<std::int32_t> to_i32(PyObject* object);
std::optional<std::uint32_t> to_u32(PyObject* object);
std::optional<std::uint64_t> to_u64(PyObject* object);

PyRef from_f64(double value);
PyRef from_i64(std::int64_t value);
PyRef from_str(std::string_view text);

// An optional argument: absent (omitted, or None) gives `fallback`, anything
// else goes through `convert`.
template <class T, class Convert>
std::optional<T> convert_or(PyObject* object, T fallback, Convert convert) {
    if (object == nullptr || object == Py_None) return fallback;
    return convert(object);
}

// Any sequence except str, items converted in order by `convert_item`
// (PyObject* -> std::optional<Item>); the first failing item stops.
template <class ConvertItem>
auto to_vector(PyObject* object, ConvertItem convert_item)
    -> std::optional<std::vector<typename std::invoke_result_t<ConvertItem, PyObject*>::value_type>> {
    using Item = typename std::invoke_result_t<ConvertItem, PyObject*>::value_type;
    if (PyUnicode_Check(object)) {
        raise(PyExc_TypeError, "Can't extract `str` to `Vec`");
        return std::nullopt;
    }
    if (!PySequence_Check(object)) {
        const int is_sequence = PyObject_IsInstance(object, globals().sequence_abc);
        if (is_sequence < 0) return std::nullopt;
        if (is_sequence == 0) {
            raise_cast_error(object, "Sequence");
            return std::nullopt;
        }
    }
    const Py_ssize_t length = PySequence_Size(object);
    if (length < 0) return std::nullopt;
    // The length is the object's own claim: reserve no more than a sane amount
    // up front, so that a sequence lying about its size cannot ask for memory.
    constexpr Py_ssize_t kReserveLimit = 1024;
    std::vector<Item> items;
    items.reserve(static_cast<std::size_t>(length < kReserveLimit ? length : kReserveLimit));
    for (Py_ssize_t i = 0; i < length; ++i) {
        PyRef item = PyRef::steal(PySequence_GetItem(object, i));
        if (!item) return std::nullopt;
        std::optional<Item> converted = convert_item(item.get());
        if (!converted) return std::nullopt;
        items.push_back(std::move(*converted));
    }
    return items;
}

}  // namespace vorel::py
