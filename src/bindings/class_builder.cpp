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
        PyRef module = type_name_part(as_object, globals().type_fields.module);
        PyRef qualname = module ? type_name_part(as_object, globals().type_fields.qualname) : PyRef{};
        if (qualname) {
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
    // Immutable: Python code can neither replace a class's `__new__` (which
    // would let object.__new__ make an instance whose C++ value never existed)
    // nor its other attributes, nor assign an instance's `__class__`.
    PyType_Spec type_spec{def.name, def.basicsize, 0, Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE, slots.data()};
    return PyRef::steal(PyType_FromSpec(&type_spec));
}

bool add_class_attribute(const PyRef& type, const char* name, const PyRef& value) {
    if (!value) return false;
    PyRef key = PyRef::steal(PyUnicode_InternFromString(name));
    if (!key) return false;
    // The class refuses assignment through its type; the generic setter writes
    // its dictionary directly, once, while the class is being made.
    if (PyObject_GenericSetAttr(type.get(), key.get(), value.get()) != 0) return false;
    PyType_Modified(as_type(type));
    return true;
}

}  // namespace vorel::py
