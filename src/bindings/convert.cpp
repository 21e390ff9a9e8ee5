#include "bindings/convert.hpp"

namespace vorel::py {
namespace {

constexpr const char kOutOfRange[] = "out of range integral type conversion attempted";

}  // namespace

PyRef type_name_part(PyObject* type, const Field& part) {
    PyRef value = PyRef::steal(part.read(type));
    if (!value || PyUnicode_Check(value.get())) return value;
    return PyRef::steal(PyObject_Str(value.get()));
}

void detail::raise_out_of_range() { raise(PyExc_OverflowError, kOutOfRange); }

bool detail::check_type_in_full(PyObject* object, PyTypeObject* (*type_object)()) {
    PyTypeObject* type = type_object();
    if (type == nullptr) return false;
    if (is_instance_of(object, type)) return true;
    raise_cast_error(object, type);
    return false;
}

void raise_cast_error(PyObject* object, const char* expected) {
    PyRef from = type_name_part(reinterpret_cast<PyObject*>(Py_TYPE(object)), globals().type_fields.qualname);
    if (!from) return;
    PyErr_Format(PyExc_TypeError, "'%U' object cannot be cast as '%s'", from.get(), expected);
}

void raise_cast_error(PyObject* object, PyTypeObject* expected) {
    const Field& qualname = globals().type_fields.qualname;
    PyRef from = type_name_part(reinterpret_cast<PyObject*>(Py_TYPE(object)), qualname);
    if (!from) return;
    PyRef to = type_name_part(reinterpret_cast<PyObject*>(expected), qualname);
    if (!from || !to) return;
    PyErr_Format(PyExc_TypeError, "'%U' object cannot be cast as '%U'", from.get(), to.get());
}

PyRef from_str(std::string_view text) {
    return PyRef::steal(PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size())));
}

}  // namespace vorel::py
