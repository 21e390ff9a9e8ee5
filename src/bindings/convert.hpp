#pragma once
// Conversions of single arguments. Failures leave the interpreter's own
// exception (or the library's) set; callers wrap them with the argument name
// through named().

#include <array>
#include <cstdint>
#include <iterator>
#include <optional>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "bindings/globals.hpp"
#include "bindings/object.hpp"
#include "bindings/py_ref.hpp"
#include "bindings/python.hpp"

namespace vorel::py {

namespace detail {

// The integer behind `object` through __index__, as a C long (64 bits on the
// platforms the module is built for). An exact int is its own __index__, and is
// read without asking for it.
static_assert(sizeof(long) == 8);
inline std::optional<long> index_as_long(PyObject* object) {
    PyRef index;
    if (!PyLong_CheckExact(object)) {
        index = PyRef::steal(PyNumber_Index(object));
        if (!index) return std::nullopt;
        object = index.get();
    }
    const long value = PyLong_AsLong(object);
    if (value == -1 && PyErr_Occurred()) return std::nullopt;
    return value;
}

inline std::optional<unsigned long long> index_as_unsigned(PyObject* object) {
    PyRef index;
    if (!PyLong_CheckExact(object)) {
        index = PyRef::steal(PyNumber_Index(object));
        if (!index) return std::nullopt;
        object = index.get();
    }
    const unsigned long long value = PyLong_AsUnsignedLongLong(object);
    if (value == static_cast<unsigned long long>(-1) && PyErr_Occurred()) return std::nullopt;
    return value;
}

// OverflowError for an integer that does not fit the target type.
void raise_out_of_range();

// A wider integer narrowed to Target; OverflowError when it does not fit.
template <class Target, class Source>
std::optional<Target> narrow(std::optional<Source> value) {
    if (!value) return std::nullopt;
    if (!std::in_range<Target>(*value)) {
        raise_out_of_range();
        return std::nullopt;
    }
    return static_cast<Target>(*value);
}

}  // namespace detail

// The scalar conversions are inline: out of line, their optional results would
// be written to memory and read back at every call.

// float, int, or anything with __float__ or __index__.
inline std::optional<double> to_f64(PyObject* object) {
    const double value = PyFloat_AsDouble(object);
    if (value == -1.0 && PyErr_Occurred()) return std::nullopt;
    return value;
}

// int or anything with __index__; float is refused.
inline std::optional<std::int32_t> to_i32(PyObject* object) {
    return detail::narrow<std::int32_t>(detail::index_as_long(object));
}
inline std::optional<std::uint32_t> to_u32(PyObject* object) {
    return detail::narrow<std::uint32_t>(detail::index_as_unsigned(object));
}
inline std::optional<std::uint64_t> to_u64(PyObject* object) {
    const std::optional<unsigned long long> value = detail::index_as_unsigned(object);
    if (!value) return std::nullopt;
    return static_cast<std::uint64_t>(*value);
}

inline PyRef from_f64(double value) { return PyRef::steal(PyFloat_FromDouble(value)); }
inline PyRef from_i64(std::int64_t value) { return PyRef::steal(PyLong_FromLongLong(value)); }
inline PyRef from_u64(std::uint64_t value) { return PyRef::steal(PyLong_FromUnsignedLongLong(value)); }
PyRef from_str(std::string_view text);

// A tuple of new references; null when any of them is null (its failure stays set).
template <class... Items>
PyRef tuple_of(Items... items) {
    const std::array<PyObject*, sizeof...(Items)> raw{items.get()...};
    for (PyObject* item : raw) {
        if (item == nullptr) return {};
    }
    PyRef tuple = PyRef::steal(PyTuple_New(sizeof...(Items)));
    if (!tuple) return {};
    Py_ssize_t i = 0;
    for (PyObject* item : raw) {
        Py_INCREF(item);
        PyTuple_SetItem(tuple.get(), i++, item);  // steals the reference just added
    }
    return tuple;
}

// A tuple of make(value) for each of `values`; null when one of them fails.
template <class Values, class Make>
PyRef tuple_from(const Values& values, Make make) {
    PyRef tuple = PyRef::steal(PyTuple_New(static_cast<Py_ssize_t>(std::size(values))));
    if (!tuple) return {};
    Py_ssize_t i = 0;
    for (const auto& value : values) {
        PyRef item = make(value);
        if (!item) return {};
        PyTuple_SetItem(tuple.get(), i++, item.release());  // steals the reference
    }
    return tuple;
}

// A new object of the class wrapping the value's type, for tuple_from().
inline constexpr auto kWrapped = [](const auto& value) { return wrap(value); };

inline PyRef object_or_none(PyObject* object) { return PyRef::borrow(object != nullptr ? object : Py_None); }

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
