#pragma once
// Method table entries. Methods with parameters use the vector calling
// convention with keywords; methods without parameters take no arguments.

#include "bindings/python.hpp"

namespace vorel::py {

using VectorMethod = PyObject* (*)(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
using NoArgsMethod = PyObject* (*)(PyObject* self, PyObject* unused);

inline PyMethodDef method(const char* name, VectorMethod function, const char* doc) {
    return {name, reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(function)),
            METH_FASTCALL | METH_KEYWORDS, doc};
}
inline PyMethodDef method(const char* name, NoArgsMethod function, const char* doc) {
    return {name, function, METH_NOARGS, doc};
}
inline PyMethodDef static_method(const char* name, VectorMethod function, const char* doc) {
    PyMethodDef def = method(name, function, doc);
    def.ml_flags |= METH_STATIC;
    return def;
}
inline PyMethodDef static_method(const char* name, NoArgsMethod function, const char* doc) {
    PyMethodDef def = method(name, function, doc);
    def.ml_flags |= METH_STATIC;
    return def;
}
inline constexpr PyMethodDef kEndOfMethods{nullptr, nullptr, 0, nullptr};

}  // namespace vorel::py
