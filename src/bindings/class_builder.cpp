#include "bindings/class_builder.hpp"

#include <vector>

#include "bindings/frame.hpp"
#include "bindings/globals.hpp"
#include "bindings/py_ref.hpp"

namespace vorel::py {
namespace {

PyObject* no_constructor(PyTypeObject* type, PyObject*, PyObject*) {
    return run_frame([&]() -> PyRef {
        PyObject* as_object = reinterpret_cast<PyObject*>(type);
        PyRef module = PyRef::steal(PyObject_GetAttr(as_object, globals().names.module));
        PyRef qualname = PyRef::steal(PyObject_GetAttr(as_object, globals().names.qualname));
        if (module && qualname) {
            PyErr_Format(PyExc_TypeError, "cannot create '%U.%U' instances", module.get(), qualname.get());
        }
        return {};
    });
}

}  // namespace

PyRef create_class(const ClassDef& def) {
    std::vector<PyType_Slot> slots;
    slots.push_back({Py_tp_new, reinterpret_cast<void*>(def.constructor != nullptr ? def.constructor : no_constructor)});
    slots.push_back({Py_tp_dealloc, reinterpret_cast<void*>(def.dealloc)});
    slots.push_back({Py_tp_doc, const_cast<char*>(def.doc)});
    if (def.repr != nullptr) slots.push_back({Py_tp_repr, reinterpret_cast<void*>(def.repr)});
    if (def.to_int != nullptr) slots.push_back({Py_nb_int, reinterpret_cast<void*>(def.to_int)});
    if (def.methods != nullptr) slots.push_back({Py_tp_methods, def.methods});
    if (def.getset != nullptr) slots.push_back({Py_tp_getset, def.getset});
    slots.push_back({0, nullptr});
    PyType_Spec type_spec{def.name, def.basicsize, 0, Py_TPFLAGS_DEFAULT, slots.data()};
    return PyRef::steal(PyType_FromSpec(&type_spec));
}

bool add_class_attribute(const PyRef& type, const char* name, const PyRef& value) {
    return value && PyObject_SetAttrString(type.get(), name, value.get()) == 0;
}

}  // namespace vorel::py
