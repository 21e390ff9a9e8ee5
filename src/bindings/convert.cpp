#include "bindings/convert.hpp"

#include <utility>

namespace vorel::py {
namespace {

constexpr const char kOutOfRange[] = "out of range integral type conversion attempted";

PyRef qualname_of(PyObject* type) { return PyRef::steal(PyObject_GetAttr(type, globals().names.qualname)); }

// The integer behind `object` through __index__, as a C long (64 bits on the
// platforms the module is built for).
static_assert(sizeof(long) == 8);
std::optional<long> index_as_long(PyObject* object) {
    PyRef index = PyRef::steal(PyNumber_Index(object));
    if (!index) return std::nullopt;
    const long value = PyLong_AsLong(index.get());
    if (value == -1 && PyErr_Occurred()) return std::nullopt;
    return value;
}

std::optional<unsigned long long> index_as_unsigned(PyObject* object) {
    PyRef index = PyRef::steal(PyNumber_Index(object));
    if (!index) return std::nullopt;
    const unsigned long long value = PyLong_AsUnsignedLongLong(index.get());
    if (value == static_cast<unsigned long long>(-1) && PyErr_Occurred()) return std::nullopt;
    return value;
}

// A wider integer narrowed to Target; OverflowError when it does not fit.
template <class Target, class Source>
std::optional<Target> narrow(std::optional<Source> value) {
    if (!value) return std::nullopt;
    if (!std::in_range<Target>(*value)) {
        raise(PyExc_OverflowError, kOutOfRange);
        return std::nullopt;
    }
    return static_cast<Target>(*value);
}

}  // namespace

void raise_cast_error(PyObject* object, const char* expected) {
    PyRef from = qualname_of(reinterpret_cast<PyObject*>(Py_TYPE(object)));
    if (!from) return;
    PyErr_Format(PyExc_TypeError, "'%U' object cannot be cast as '%s'", from.get(), expected);
}

void raise_cast_error(PyObject* object, PyTypeObject* expected) {
    PyRef from = qualname_of(reinterpret_cast<PyObject*>(Py_TYPE(object)));
    PyRef to = qualname_of(reinterpret_cast<PyObject*>(expected));
    if (!from || !to) return;
    PyErr_Format(PyExc_TypeError, "'%U' object cannot be cast as '%U'", from.get(), to.get());
}

std::optional<double> to_f64(PyObject* object) {
    const double value = PyFloat_AsDouble(object);
    if (value == -1.0 && PyErr_Occurred()) return std::nullopt;
    return value;
}

std::optional<std::int32_t> to_i32(PyObject* object) { return narrow<std::int32_t>(index_as_long(object)); }

std::optional<std::uint32_t> to_u32(PyObject* object) { return narrow<std::uint32_t>(index_as_unsigned(object)); }

std::optional<std::uint64_t> to_u64(PyObject* object) {
    const std::optional<unsigned long long> value = index_as_unsigned(object);
    if (!value) return std::nullopt;
    return static_cast<std::uint64_t>(*value);
}

PyRef from_f64(double value) { return PyRef::steal(PyFloat_FromDouble(value)); }
PyRef from_i64(std::int64_t value) { return PyRef::steal(PyLong_FromLongLong(value)); }
PyRef from_str(std::string_view text) {
    return PyRef::steal(PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size())));
}

}  // namespace vorel::py
